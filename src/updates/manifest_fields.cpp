// Value rules of the manifest's body lines.
#include "updates/manifest_fields.h"

#include <string.h>

bool field_equals(Field field, const char* text) {
    size_t n = strlen(text);
    return field.length == n && memcmp(field.start, text, n) == 0;
}

bool field_decimal(Field field, uint64_t* value) {
    if (field.length == 0) return false;
    uint64_t result = 0;
    for (size_t i = 0; i < field.length; i++) {
        char c = field.start[i];
        if (c < '0' || c > '9') return false;
        uint64_t digit = (uint64_t)(c - '0');
        if (result > (MANIFEST_DECIMAL_MAX - digit) / 10) return false;
        result = result * 10 + digit;
    }
    *value = result;
    return true;
}

static bool is_lower(char c) {
    return c >= 'a' && c <= 'z';
}

static bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool field_channel_name(Field field) {
    if (field.length < 1 || field.length > 31 || !is_lower(field.start[0])) return false;
    for (size_t i = 1; i < field.length; i++) {
        char c = field.start[i];
        if (!is_lower(c) && !is_digit(c) && c != '_') return false;
    }
    return true;
}

static bool is_path_char(char c) {
    return is_lower(c) || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '.' || c == '_' || c == ' ' ||
           c == '+' || c == '-';
}

static char upper_ascii(char c) {
    return is_lower(c) ? (char)(c - 'a' + 'A') : c;
}

// Windows opens a device, not a file, for a name whose part before its first dot is CON, PRN, AUX,
// NUL, COM1-COM9 or LPT1-LPT9 in any letter case (spaces before the dot are ignored too).
static bool is_device_name(const char* start, size_t length) {
    size_t base = 0;
    while (base < length && start[base] != '.') base++;
    while (base > 0 && start[base - 1] == ' ') base--;
    char name[5];
    if (base < 3 || base > 4) return false;
    for (size_t i = 0; i < base; i++) name[i] = upper_ascii(start[i]);
    name[base] = 0;
    if (base == 3) {
        return strcmp(name, "CON") == 0 || strcmp(name, "PRN") == 0 || strcmp(name, "AUX") == 0 ||
               strcmp(name, "NUL") == 0;
    }
    return (memcmp(name, "COM", 3) == 0 || memcmp(name, "LPT", 3) == 0) && name[3] >= '1' && name[3] <= '9';
}

// A segment of a path: non-empty, not "." or "..", no leading space, no trailing space or dot, not
// a device name.
static bool segment_ok(const char* start, size_t length) {
    if (length == 0) return false;
    if (start[0] == ' ') return false;
    char last = start[length - 1];
    if (last == ' ' || last == '.') return false;  // also rules out "." and ".."
    return !is_device_name(start, length);
}

bool field_path(Field field) {
    if (field.length < 1 || field.length > 150) return false;
    size_t segment_start = 0;
    for (size_t i = 0; i <= field.length; i++) {
        if (i == field.length || field.start[i] == '/') {
            if (!segment_ok(field.start + segment_start, i - segment_start)) return false;
            segment_start = i + 1;
        } else if (!is_path_char(field.start[i])) {
            return false;
        }
    }
    return true;
}

static int hex_digit(char c, bool any_case) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (any_case && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool field_digest(Field field, bool any_case, uint8_t digest[64]) {
    if (field.length != 128) return false;
    for (size_t i = 0; i < 64; i++) {
        int high = hex_digit(field.start[2 * i], any_case);
        int low = hex_digit(field.start[2 * i + 1], any_case);
        if (high < 0 || low < 0) return false;
        digest[i] = (uint8_t)(high << 4 | low);
    }
    return true;
}
