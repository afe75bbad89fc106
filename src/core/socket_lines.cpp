// Sending and line reading on a blocking socket with the time-outs set by the caller, unbuffered and
// through a SocketReader.
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

void reader_start(SocketReader* reader, SOCKET socket) {
    reader->socket = socket;
    reader->start = 0;
    reader->end = 0;
}

// Receives what has arrived into the empty buffer; false at the peer's end, an error or when wait
// gives up.
static bool reader_fill(SocketReader* reader, LineWait wait, const void* context) {
    reader->start = 0;
    reader->end = 0;
    if (wait && !wait(reader->socket, context)) return false;
    int got = recv(reader->socket, reader->buffer, (int)sizeof reader->buffer, 0);
    if (got < 1) return false;
    reader->end = (size_t)got;
    return true;
}

bool reader_line(SocketReader* reader, char* buffer, size_t capacity, size_t* length_out, LineWait wait,
                 const void* context) {
    *length_out = 0;
    if (capacity == 0) return false;
    size_t length = 0;
    bool ended = false, failed = false;
    while (!ended && !failed) {
        if (reader->start == reader->end && !reader_fill(reader, wait, context)) break;
        while (reader->start < reader->end && !ended && !failed) {
            char c = reader->buffer[reader->start++];
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
    return ended;
}

bool reader_exact(SocketReader* reader, void* out, size_t length, LineWait wait, const void* context) {
    char* at = (char*)out;
    size_t held = reader->end - reader->start;
    size_t take = held < length ? held : length;
    if (take) {
        memcpy(at, reader->buffer + reader->start, take);
        reader->start += take;
        at += take;
        length -= take;
    }
    while (length > 0) {
        if (wait && !wait(reader->socket, context)) return false;
        int chunk = length > 0x40000000u ? 0x40000000 : (int)length;
        int got = recv(reader->socket, at, chunk, 0);
        if (got < 1) return false;
        at += got;
        length -= (size_t)got;
    }
    return true;
}
