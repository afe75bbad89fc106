// The launcher's minimal JSON (format 1) for its state files: a writer that puts one member per line
// and a lenient reader that finds a member by its quoted name anywhere in the text. Portable.
#pragma once

#include <stddef.h>
#include <stdint.h>

// At most this many bytes of a string value are written (a 259-character path with every
// backslash doubled).
#define JSON_VALUE_LIMIT 518

// Start a text with json_begin ("{" and LF), add members, end with json_put_end (the "format"
// member and "}"). Each appends to the text in buffer and cuts at size.
void json_begin(char* buffer, size_t size);
// One line: space, "name", colon, space, the value in quotes, comma, LF. Double quotes and bytes
// below 0x20 are left out, backslashes doubled; other bytes are written as they are.
void json_put_string(char* buffer, size_t size, const char* name, const char* value);
// One line with the value in unsigned decimal.
void json_put_number(char* buffer, size_t size, const char* name, uint64_t value);
// The "format" member with the value 1 (no comma), then "}" and LF.
void json_put_end(char* buffer, size_t size);

// The string member name of text into buffer (cut at size - 1); empty when it is missing or its value
// does not start with a double quote. A backslash takes the next character literally.
void json_get_string(const char* text, const char* name, char* buffer, size_t size);
// The run of digits of member name (unsigned, no overflow check); 0 when missing or not a number.
uint64_t json_get_number(const char* text, const char* name);
