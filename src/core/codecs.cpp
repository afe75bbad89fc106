// Text codecs shared by the account link, the update manifest and the machine identity.
#include "core/codecs.h"

#include <string.h>

static const char HEX_DIGITS[] = "0123456789abcdef";
static const char BASE64URL_ALPHABET[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

void hex_encode(const uint8_t* bytes, size_t n, char* out) {
    for (size_t i = 0; i < n; i++) {
        out[2 * i] = HEX_DIGITS[bytes[i] >> 4];
        out[2 * i + 1] = HEX_DIGITS[bytes[i] & 15];
    }
    out[2 * n] = 0;
}

static int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool hex_decode(const char* text, uint8_t* out, size_t n) {
    if (strnlen(text, 2 * n + 1) != 2 * n) return false;
    for (size_t i = 0; i < n; i++) {
        int high = hex_value(text[2 * i]), low = hex_value(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = (uint8_t)(high << 4 | low);
    }
    return true;
}

size_t base64url_length(size_t n) {
    return (8 * n + 5) / 6;
}

size_t base64url_encode(const uint8_t* bytes, size_t n, char* out) {
    size_t length = 0;
    uint32_t bits = 0;
    int bit_count = 0;
    for (size_t i = 0; i < n; i++) {
        bits = (bits << 8) | bytes[i];
        bit_count += 8;
        while (bit_count >= 6) {
            bit_count -= 6;
            out[length++] = BASE64URL_ALPHABET[(bits >> bit_count) & 63];
        }
    }
    if (bit_count > 0) out[length++] = BASE64URL_ALPHABET[(bits << (6 - bit_count)) & 63];
    out[length] = 0;
    return length;
}

static int base64_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '-' || c == '+') return 62;
    if (c == '_' || c == '/') return 63;
    return -1;
}

long base64_decode(const char* text, uint8_t* out, size_t capacity) {
    size_t length = strlen(text);
    while (length > 0 && text[length - 1] == '=') length--;
    if (length % 4 == 1) return -1;
    size_t produced = 0;
    uint32_t bits = 0;
    int bit_count = 0;
    for (size_t i = 0; i < length; i++) {
        int value = base64_value(text[i]);
        if (value < 0) return -1;
        bits = (bits << 6) | (uint32_t)value;
        bit_count += 6;
        if (bit_count >= 8) {
            bit_count -= 8;
            if (produced >= capacity) return -1;
            out[produced++] = (uint8_t)(bits >> bit_count);
        }
    }
    // The low bits left over from the last character must be zero.
    if (bit_count > 0 && (bits & ((1u << bit_count) - 1)) != 0) return -1;
    return (long)produced;
}

bool parse_decimal_u64(const char* text, uint64_t* value) {
    size_t length = strnlen(text, 20);
    if (length < 1 || length > 19) return false;
    uint64_t result = 0;
    for (size_t i = 0; i < length; i++) {
        if (text[i] < '0' || text[i] > '9') return false;
        result = result * 10 + (uint64_t)(text[i] - '0');
    }
    *value = result;
    return true;
}

// Cuts text in place at TABs into fields. With rest_in_last the cutting stops once limit fields
// exist (later TABs stay in the last one); without it a TAB after the last allowed field gives -1.
static int split_at_tabs(char* text, char** fields, int limit, bool rest_in_last) {
    if (limit < 1) return rest_in_last ? 0 : -1;
    int count = 0;
    char* start = text;
    for (;;) {
        fields[count++] = start;
        if (rest_in_last && count == limit) return count;
        char* tab = strchr(start, '\t');
        if (!tab) return count;
        *tab = 0;
        start = tab + 1;
        if (count >= limit) return -1;
    }
}

int split_fields(char* text, char** fields, int limit) {
    return split_at_tabs(text, fields, limit, false);
}

int split_fields_keep_rest(char* text, char** fields, int limit) {
    return split_at_tabs(text, fields, limit, true);
}
