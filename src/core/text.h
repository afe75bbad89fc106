// Bounded text helpers: every copy and format into a fixed buffer cuts silently at its capacity and
// always leaves a terminating zero. Portable (no Windows headers).
#pragma once

#include <stdarg.h>
#include <stddef.h>

#define COUNT_OF(a) (sizeof(a) / sizeof((a)[0]))
#define MUST_USE __attribute__((warn_unused_result))

// Copies src (null counts as empty) into dst of cap bytes; gives the length written.
size_t copy_text(char* dst, size_t cap, const char* src);
// Appends src to the text already in dst; gives the new length.
size_t append_text(char* dst, size_t cap, const char* src);
// printf-style format into dst of cap bytes; gives the length written (after any cut).
size_t format_text(char* dst, size_t cap, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
size_t format_text_v(char* dst, size_t cap, const char* fmt, va_list args);
// format_text appended to the text already in dst; gives the new length.
size_t append_format(char* dst, size_t cap, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
// format_text into a caller's reason buffer that may be absent (null or of size 0).
void format_reason(char* reason, size_t cap, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
// Joins two path parts with one backslash between them ("%s\%s").
size_t join_path(char* dst, size_t cap, const char* folder, const char* name);
// A-Z to a-z; every other byte stays as it is.
char ascii_lower(char c);
// ascii_lower of every character of text, in place.
void ascii_lower_text(char* text);
// Compares two texts, letters A-Z and a-z alike.
bool text_equal_nocase(const char* a, const char* b);
bool text_starts_with(const char* text, const char* prefix);
// text_starts_with with letters A-Z and a-z alike.
bool text_starts_with_nocase(const char* text, const char* prefix);
bool text_ends_with_nocase(const char* text, const char* suffix);
// Overwrites a secret so that the compiler cannot drop the write.
void wipe(void* data, size_t size);
