// The update protocol's request lines as the launcher sends them: cutting lines out of a connection's
// input and reading one line into a request. No system calls, no allocation: the fuzz target and the
// tests drive it directly.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The longest line the server accepts, its LF excluded. The launcher's longest line, a GET, is 160
// bytes; a TOKEN line is at most 125.
#define REQUEST_LINE_MAX 255
#define PIECE_MAX 262144u
#define HELLO_LINE "ZANDOR-UPDATE 1"
#define HELLO_ANSWER "ZANDOR-UPDATE-OK 1\n"
// The launcher sends a token only when it is shorter than this.
#define TOKEN_MAX 119
#define CHANNEL_MAX 31

enum LineState {
    LINE_READY,     // a whole line is in the buffer
    LINE_PARTIAL,   // bytes of a line, no LF yet
    LINE_NONE,      // the buffer is empty
    LINE_TOO_LONG,  // REQUEST_LINE_MAX bytes or more without an LF
};

// Looks for the first line in buffer[0..used). On LINE_READY, *line_length is the line without its
// LF (and without one CR before it) and *consumed the bytes to drop, LF included.
LineState find_request_line(const char* buffer, size_t used, size_t* line_length, size_t* consumed);

enum RequestKind {
    REQUEST_HELLO,
    REQUEST_TOKEN,
    REQUEST_MANIFEST,
    REQUEST_GET,
    REQUEST_BYE,
    REQUEST_BAD,     // a line the server answers with an error and then goes on
};

struct Request {
    RequestKind kind;
    // TOKEN and MANIFEST: the rest of the line (points into the caller's line).
    const char* argument;
    size_t argument_length;
    // GET.
    uint8_t digest[64];
    uint64_t offset;
    uint32_t length;
    // REQUEST_BAD: the error line to answer, without its LF ("ERR ...").
    char error[160];
    // REQUEST_BAD: the kind of error for the metrics: "bad_request" or "bad_range".
    const char* error_kind;
};

struct sockaddr_storage;

// The PROXY protocol's first line (version 1, as HAProxy's send-proxy writes it):
// "PROXY TCP4|TCP6 source destination source-port destination-port". Gives the client's address
// (AF_INET for TCP4, AF_INET6 for TCP6). "PROXY UNKNOWN ..." (a health check of the proxy itself)
// gives true with *known false.
bool parse_proxy_line(const char* line, size_t length, sockaddr_storage* source, bool* known);

// Reads one line (without its LF). Every line is one of the kinds above; a bad one says why in
// request->error.
void parse_request_line(const char* line, size_t length, Request* request);
