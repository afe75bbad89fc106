// Line exchanges on a blocking socket, shared by the account link and the update protocol: sending
// every byte, reading one LF-ended line without taking anything after it, and a buffered reader for
// answers whose payload follows their line directly.
#pragma once

#include <winsock2.h>

#include <stddef.h>

#include "core/text.h"

// Called before each receive while a line is read: true to go on, false to give up (a deadline
// passed, a stop was asked). Without one, only the socket's own receive time-out limits the wait.
typedef bool (*LineWait)(SOCKET socket, const void* context);

// Calls send until every byte has gone; false when a call sends nothing or fails.
bool send_all(SOCKET socket, const char* bytes, size_t length) MUST_USE;
// Reads one line and nothing after it: LF ends it (not stored), CR bytes are dropped, at most
// capacity - 1 bytes are stored and a zero byte after them, and length gives the line's length (it
// may hold zero bytes). wait (when not null) is asked before each receive. False when the peer
// closes, an error, the time-out or the wait's refusal comes first, or the buffer fills up without
// an LF.
bool read_line_waiting(SOCKET socket, char* buffer, size_t capacity, size_t* length, LineWait wait,
                       const void* context) MUST_USE;

// What a line read took from the socket beyond its LF is kept here for the next line or payload, so
// a line and the start of what follows it arrive in one receive. Only the reader may receive from
// its socket while it holds bytes.
#define SOCKET_READER_BUFFER 4096
struct SocketReader {
    SOCKET socket;
    size_t start;  // the bytes held are buffer[start, end)
    size_t end;
    char buffer[SOCKET_READER_BUFFER];
};

// Binds the reader to a socket with nothing held.
void reader_start(SocketReader* reader, SOCKET socket);
// read_line_waiting through the reader: the bytes after the LF stay held.
bool reader_line(SocketReader* reader, char* buffer, size_t capacity, size_t* length, LineWait wait,
                 const void* context) MUST_USE;
// Exactly length bytes: the held ones first, the rest received straight into out, as much per
// receive as is still missing. False when a receive gives 0 or less or wait gives up first.
bool reader_exact(SocketReader* reader, void* out, size_t length, LineWait wait, const void* context) MUST_USE;
