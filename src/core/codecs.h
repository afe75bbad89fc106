// Text codecs of the account link, the update manifest and the machine identity: lower-case hex,
// unpadded base64url, a lenient base64 decoder, strict decimal numbers and TAB fields.
// Portable (no Windows headers).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "core/text.h"

// Writes 2*n lower-case hex characters and a terminating zero; out needs 2*n+1 bytes.
void hex_encode(const uint8_t* bytes, size_t n, char* out);
// Decodes exactly 2*n hex characters (either case) into n bytes; false for any other text.
bool hex_decode(const char* text, uint8_t* out, size_t n) MUST_USE;

// Size of the base64url text of n bytes (without the terminating zero): ceil(8n/6).
size_t base64url_length(size_t n);
// Writes the base64url text of n bytes (no "=") and a terminating zero; out needs
// base64url_length(n)+1 bytes. Gives the text's length.
size_t base64url_encode(const uint8_t* bytes, size_t n, char* out);
// Decodes base64 in either alphabet, trailing "=" ignored; gives the number of bytes made, or -1 when
// the text is not valid or would make more than capacity bytes.
long base64_decode(const char* text, uint8_t* out, size_t capacity) MUST_USE;

// The largest number that parse_decimal_u64 reads (19 digits); 10^19 and more do not read back.
#define DECIMAL_U64_MAX 9999999999999999999ull

// 1 to 19 decimal digits, nothing else; false otherwise.
bool parse_decimal_u64(const char* text, uint64_t* value) MUST_USE;

// Cuts text in place at every TAB into at most limit fields (an empty field counts); gives the number
// of fields, or -1 when there are more than limit.
int split_fields(char* text, char** fields, int limit) MUST_USE;
// Cuts text in place at TABs until limit fields exist; later TABs stay in the last field. Gives the
// number of fields (0 for a limit below 1).
int split_fields_keep_rest(char* text, char** fields, int limit);
