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

// A line being read: what is stored of it so far, and whether an LF ended it or it did not fit.
struct LineSoFar {
    char* buffer;
    size_t capacity;
    size_t length;
    bool ended;
    bool failed;
};

// Stores received bytes (without CR) until an LF ends the line or the buffer is full, which fails it.
// Returns how many bytes were looked at: those after the LF are left to the caller.
static size_t take_line_bytes(LineSoFar* line, const char* bytes, size_t count) {
    size_t i = 0;
    while (i < count && !line->ended && !line->failed) {
        char c = bytes[i++];
        if (c == '\n') {
            line->ended = true;
        } else if (c != '\r') {
            if (line->length + 1 >= line->capacity) {
                line->failed = true;
            } else {
                line->buffer[line->length++] = c;
            }
        }
    }
    return i;
}

bool read_line_waiting(SOCKET socket, char* buffer, size_t capacity, size_t* length_out, LineWait wait,
                       const void* context) {
    *length_out = 0;
    if (capacity == 0) return false;
    LineSoFar line = {buffer, capacity, 0, false, false};
    // The bytes waiting are looked at first and only those up to the LF are taken, so nothing after
    // the line is consumed; this costs two calls per arrival instead of one per byte.
    char chunk[512];
    while (!line.ended && !line.failed) {
        if (wait && !wait(socket, context)) break;
        int waiting = recv(socket, chunk, (int)sizeof chunk, MSG_PEEK);
        if (waiting < 1) break;
        const char* lf = (const char*)memchr(chunk, '\n', (size_t)waiting);
        int take = lf ? (int)(lf - chunk) + 1 : waiting;
        int got = recv(socket, chunk, take, 0);
        if (got < 1) break;
        take_line_bytes(&line, chunk, (size_t)got);
    }
    buffer[line.length] = 0;
    *length_out = line.length;
    wipe(chunk, sizeof chunk);
    return line.ended;
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
    LineSoFar line = {buffer, capacity, 0, false, false};
    while (!line.ended && !line.failed) {
        if (reader->start == reader->end && !reader_fill(reader, wait, context)) break;
        reader->start += take_line_bytes(&line, reader->buffer + reader->start, reader->end - reader->start);
    }
    buffer[line.length] = 0;
    *length_out = line.length;
    return line.ended;
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
