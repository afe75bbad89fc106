// PC marker form, trimming of stored copies and the markers field.
#include "account/pc_marker.h"

#include <string.h>

static bool is_marker_char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

bool is_pc_marker(const char* text) {
    if (!text_starts_with(text, PC_MARKER_PREFIX)) return false;
    size_t prefix = strlen(PC_MARKER_PREFIX);
    for (size_t i = prefix; i < PC_MARKER_LENGTH; i++) {
        if (!is_marker_char(text[i])) return false;
    }
    return text[PC_MARKER_LENGTH] == 0;
}

void marker_list_add(MarkerList* list, const char* candidate) {
    while (*candidate == ' ') candidate++;
    char trimmed[64];
    size_t length = copy_text(trimmed, sizeof trimmed, candidate);
    while (length > 0 && strchr("\t\n\r ", trimmed[length - 1])) trimmed[--length] = 0;
    if (!is_pc_marker(trimmed)) return;
    for (int i = 0; i < list->count; i++) {
        if (strcmp(list->markers[i], trimmed) == 0) return;
    }
    if (list->count < (int)COUNT_OF(list->markers)) {
        copy_text(list->markers[list->count++], sizeof list->markers[0], trimmed);
    }
}

void marker_list_text(const MarkerList* list, char* out, size_t capacity) {
    copy_text(out, capacity, list->count == 0 ? "-" : "");
    for (int i = 0; i < list->count; i++) {
        if (i > 0) append_text(out, capacity, ",");
        append_text(out, capacity, list->markers[i]);
    }
}
