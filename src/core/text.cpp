// Bounded copies and formats into fixed-capacity text buffers.
#include "core/text.h"

#include <stdio.h>
#include <string.h>

size_t copy_text(char* dst, size_t cap, const char* src) {
    if (cap == 0) return 0;
    size_t n = 0;
    if (src) {
        while (n + 1 < cap && src[n]) {
            dst[n] = src[n];
            n++;
        }
    }
    dst[n] = 0;
    return n;
}

size_t append_text(char* dst, size_t cap, const char* src) {
    if (cap == 0) return 0;
    size_t len = strnlen(dst, cap - 1);
    return len + copy_text(dst + len, cap - len, src);
}

size_t format_text_v(char* dst, size_t cap, const char* fmt, va_list args) {
    if (cap == 0) return 0;
    int n = vsnprintf(dst, cap, fmt, args);
    if (n < 0) {
        dst[0] = 0;
        return 0;
    }
    return (size_t)n < cap ? (size_t)n : cap - 1;
}

size_t format_text(char* dst, size_t cap, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    size_t n = format_text_v(dst, cap, fmt, args);
    va_end(args);
    return n;
}

size_t append_format(char* dst, size_t cap, const char* fmt, ...) {
    if (cap == 0) return 0;
    size_t len = strnlen(dst, cap - 1);
    va_list args;
    va_start(args, fmt);
    size_t n = format_text_v(dst + len, cap - len, fmt, args);
    va_end(args);
    return len + n;
}

void format_reason(char* reason, size_t cap, const char* fmt, ...) {
    if (!reason || cap == 0) return;
    va_list args;
    va_start(args, fmt);
    format_text_v(reason, cap, fmt, args);
    va_end(args);
}

size_t join_path(char* dst, size_t cap, const char* folder, const char* name) {
    return format_text(dst, cap, "%s\\%s", folder, name);
}

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

void ascii_lower_text(char* text) {
    for (; *text; text++) *text = ascii_lower(*text);
}

bool text_equal_nocase(const char* a, const char* b) {
    while (*a && ascii_lower(*a) == ascii_lower(*b)) {
        a++;
        b++;
    }
    return ascii_lower(*a) == ascii_lower(*b);
}

bool text_starts_with(const char* text, const char* prefix) {
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

bool text_starts_with_nocase(const char* text, const char* prefix) {
    for (; *prefix; text++, prefix++) {
        if (ascii_lower(*text) != ascii_lower(*prefix)) return false;
    }
    return true;
}

bool text_ends_with_nocase(const char* text, const char* suffix) {
    size_t n = strlen(text), m = strlen(suffix);
    return n >= m && text_equal_nocase(text + n - m, suffix);
}

void wipe(void* data, size_t size) {
    volatile unsigned char* p = (volatile unsigned char*)data;
    while (size--) *p++ = 0;
}
