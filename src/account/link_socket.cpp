// Sending and line reading on a blocking socket with the time-outs set by the caller.
#include "account/link_socket.h"

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
    if (capacity == 0) return false;
    size_t length = 0;
    buffer[0] = 0;
    for (;;) {
        char c;
        if (recv(socket, &c, 1, 0) < 1) break;
        if (c == '\n') {
            buffer[length] = 0;
            return true;
        }
        if (c == '\r') continue;
        if (length + 1 >= capacity) break;
        buffer[length++] = c;
    }
    buffer[length] = 0;
    return false;
}
