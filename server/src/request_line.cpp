// Request lines: where a line ends and what it asks for.
#include "request_line.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>

#include "core/codecs.h"
#include "core/text.h"

LineState find_request_line(const char* buffer, size_t used, size_t* line_length, size_t* consumed) {
    if (used == 0) return LINE_NONE;
    size_t scan = used < REQUEST_LINE_MAX + 1 ? used : REQUEST_LINE_MAX + 1;
    const char* lf = (const char*)memchr(buffer, '\n', scan);
    if (!lf) return used > REQUEST_LINE_MAX ? LINE_TOO_LONG : LINE_PARTIAL;
    size_t length = (size_t)(lf - buffer);
    *consumed = length + 1;
    if (length > 0 && buffer[length - 1] == '\r') length--;
    *line_length = length;
    return LINE_READY;
}

static bool slice_is(const char* text, size_t length, const char* word) {
    size_t n = strlen(word);
    return length == n && memcmp(text, word, n) == 0;
}

static bool starts_with_word(const char* text, size_t length, const char* word) {
    size_t n = strlen(word);
    return length >= n && memcmp(text, word, n) == 0;
}

// Digits only, at most 20 of them, without overflow.
static bool slice_decimal(const char* text, size_t length, uint64_t* value) {
    if (length == 0 || length > 20) return false;
    uint64_t v = 0;
    for (size_t i = 0; i < length; i++) {
        if (text[i] < '0' || text[i] > '9') return false;
        uint64_t digit = (uint64_t)(text[i] - '0');
        if (v > (UINT64_MAX - digit) / 10) return false;
        v = v * 10 + digit;
    }
    *value = v;
    return true;
}

static bool slice_digest(const char* text, size_t length, uint8_t digest[64]) {
    if (length != 128) return false;
    for (size_t i = 0; i < length; i++) {
        char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    char hex[129];
    memcpy(hex, text, 128);
    hex[128] = 0;
    return hex_decode(hex, digest, 64);
}

static bool slice_channel(const char* text, size_t length) {
    if (length < 1 || length > CHANNEL_MAX) return false;
    if (text[0] < 'a' || text[0] > 'z') return false;
    for (size_t i = 1; i < length; i++) {
        char c = text[i];
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    }
    return true;
}

static void bad(Request* request, const char* kind, const char* text) {
    request->kind = REQUEST_BAD;
    request->error_kind = kind;
    copy_text(request->error, sizeof request->error, text);
}

static void parse_get(const char* line, size_t length, Request* request) {
    const char* field[4];
    size_t field_length[4];
    int count = 0;
    size_t start = 0;
    for (size_t i = 0; i <= length; i++) {
        if (i == length || line[i] == ' ') {
            if (count == 4) {
                count = 5;
                break;
            }
            field[count] = line + start;
            field_length[count] = i - start;
            count++;
            start = i + 1;
        }
    }
    if (count != 4) {
        bad(request, "bad_request", "ERR bad request: GET takes a digest, an offset and a length");
        return;
    }
    if (!slice_digest(field[1], field_length[1], request->digest)) {
        bad(request, "bad_request", "ERR bad request: the file digest is not 128 lower-case hex digits");
        return;
    }
    if (!slice_decimal(field[2], field_length[2], &request->offset)) {
        bad(request, "bad_request", "ERR bad request: the offset is not a decimal number");
        return;
    }
    uint64_t wanted = 0;
    if (!slice_decimal(field[3], field_length[3], &wanted)) {
        bad(request, "bad_request", "ERR bad request: the length is not a decimal number");
        return;
    }
    if (wanted < 1 || wanted > PIECE_MAX) {
        bad(request, "bad_range", "ERR bad range: a piece is 1 to 262144 bytes");
        return;
    }
    request->length = (uint32_t)wanted;
    request->kind = REQUEST_GET;
}

void parse_request_line(const char* line, size_t length, Request* request) {
    memset(request, 0, sizeof *request);
    if (slice_is(line, length, HELLO_LINE)) {
        request->kind = REQUEST_HELLO;
    } else if (slice_is(line, length, "BYE")) {
        request->kind = REQUEST_BYE;
    } else if (slice_is(line, length, "TOKEN") || starts_with_word(line, length, "TOKEN ")) {
        // No answer ever follows a TOKEN line, whatever it holds: the launcher reads none.
        request->kind = REQUEST_TOKEN;
        request->argument = length > 6 ? line + 6 : line + length;
        request->argument_length = length > 6 ? length - 6 : 0;
    } else if (starts_with_word(line, length, "MANIFEST ")) {
        if (!slice_channel(line + 9, length - 9)) {
            bad(request, "bad_request",
                "ERR bad request: a channel name is 1 to 31 characters of a-z, 0-9 and _, starting with a letter");
            return;
        }
        request->kind = REQUEST_MANIFEST;
        request->argument = line + 9;
        request->argument_length = length - 9;
    } else if (starts_with_word(line, length, "GET ")) {
        parse_get(line, length, request);
    } else {
        bad(request, "bad_request", "ERR bad request: unknown request (the requests are TOKEN, MANIFEST, GET and BYE)");
    }
}

bool parse_proxy_line(const char* line, size_t length, sockaddr_storage* source, bool* known) {
    *known = false;
    if (!starts_with_word(line, length, "PROXY ") || length > 107) return false;
    if (starts_with_word(line, length, "PROXY UNKNOWN")) return true;
    size_t spaces = 0;
    for (size_t i = 0; i < length; i++) spaces += line[i] == ' ';
    if (spaces != 5) return false;
    char text[108];
    memcpy(text, line, length);
    text[length] = 0;
    char* field[6];
    int count = 0;
    char* at = text;
    while (count < 6) {
        field[count++] = at;
        char* space = strchr(at, ' ');
        if (!space) break;
        *space = 0;
        at = space + 1;
    }
    if (count != 6) return false;
    uint64_t port = 0, destination_port = 0;
    if (!slice_decimal(field[4], strlen(field[4]), &port) || port > 65535) return false;
    if (!slice_decimal(field[5], strlen(field[5]), &destination_port) || destination_port > 65535) return false;
    memset(source, 0, sizeof *source);
    if (strcmp(field[1], "TCP4") == 0) {
        sockaddr_in* v4 = (sockaddr_in*)source;
        v4->sin_family = AF_INET;
        v4->sin_port = htons((uint16_t)port);
        if (inet_pton(AF_INET, field[2], &v4->sin_addr) != 1) return false;
    } else if (strcmp(field[1], "TCP6") == 0) {
        sockaddr_in6* v6 = (sockaddr_in6*)source;
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons((uint16_t)port);
        if (inet_pton(AF_INET6, field[2], &v6->sin6_addr) != 1) return false;
    } else {
        return false;
    }
    *known = true;
    return true;
}
