// The value rules of manifest lines, applied to fields given as (start, length) slices of the body:
// decimal numbers, channel names, relative paths and SHA-512 digests in hex. Portable.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "core/text.h"

struct Field {
    const char* start;
    size_t length;
};

// The largest value a decimal field may hold.
#define MANIFEST_DECIMAL_MAX 18446744073709551609ull

bool field_equals(Field field, const char* text);
// One or more digits (leading zeros allowed) with a value of at most MANIFEST_DECIMAL_MAX.
bool field_decimal(Field field, uint64_t* value) MUST_USE;
// 1 to 31 characters, a-z first, then a-z, 0-9 or '_'.
bool field_channel_name(Field field);
// 1 to 150 characters of A-Z a-z 0-9 . _ space + -, '/' between non-empty segments that are not
// "." or "..", do not begin with a space, do not end with a space or a dot, and are no Windows
// device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9 before the first dot, any letter case).
bool field_path(Field field);
// Exactly 128 hex characters (lower case only unless any_case) decoded into 64 bytes.
bool field_digest(Field field, bool any_case, uint8_t digest[64]) MUST_USE;
