// Sending and line reading on a blocking socket with the time-outs set by the caller.
#include "core/socket_lines.h"

#include <string.h>

bool send_all(SOCKET socket, const char* bytes, size_t length) {
    size_t sent = 0;
    while (sent < length) {
        size_t chunk = length - sent;
        if (chunk > 0x40000000u) chunk = 0x40000000u;
        int n = send(socket, bytes + sent, (int)chunk, 0);
        if (n < 1) return false;
        sent += (size_t)n;
    }
    return true;
}

bool read_line(SOCKET socket, char* buffer, size_t capacity) {
    size_t length = 0;
    return read_line_waiting(socket, buffer, capacity, &length, nullptr, nullptr);
}

bool read_line_waiting(SOCKET socket, char* buffer, size_t capacity, size_t* length_out, LineWait wait,
                       const void* context) {
    *length_out = 0;
    if (capacity == 0) return false;
    size_t length = 0;
    buffer[0] = 0;
    // The bytes waiting are looked at first and only those up to the LF are taken, so nothing after
    // the line is consumed; this costs two calls per arrival instead of one per byte.
    char chunk[512];
    bool ended = false, failed = false;
    while (!ended && !failed) {
        if (wait && !wait(socket, context)) break;
        int waiting = recv(socket, chunk, (int)sizeof chunk, MSG_PEEK);
        if (waiting < 1) break;
        const char* lf = (const char*)memchr(chunk, '\n', (size_t)waiting);
        int take = lf ? (int)(lf - chunk) + 1 : waiting;
        int got = recv(socket, chunk, take, 0);
        if (got < 1) break;
        for (int i = 0; i < got && !ended && !failed; i++) {
            char c = chunk[i];
            if (c == '\n') {
                ended = true;
            } else if (c != '\r') {
                if (length + 1 >= capacity) {
                    failed = true;
                } else {
                    buffer[length++] = c;
                }
            }
        }
    }
    buffer[length] = 0;
    *length_out = length;
    wipe(chunk, sizeof chunk);
    return ended;
}
