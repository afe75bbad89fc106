// The PC marker's form and the markers field of the log-in requests. Portable (no Windows headers);
// the places where markers are kept are account/account_files.h.
#pragma once

#include <stddef.h>

#include "core/text.h"

#define PC_MARKER_PREFIX "pgm1."
#define PC_MARKER_LENGTH 29
#define MARKERS_FIELD_CAP 300

// "pgm1." followed by exactly 24 characters of A-Z, a-z, 0-9, "_" and "-".
bool is_pc_marker(const char* text);

// The markers found so far, each once, in the order found.
struct MarkerList {
    char markers[4][PC_MARKER_LENGTH + 1];
    int count;
};

// Trims a stored copy (leading spaces; trailing TAB, LF, CR and spaces) and adds it when it is a
// marker not yet listed.
void marker_list_add(MarkerList* list, const char* candidate);
// The markers joined by ",", or "-" when there is none.
void marker_list_text(const MarkerList* list, char* out, size_t capacity);
