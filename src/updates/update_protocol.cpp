// The update protocol over Winsock 2.2.
#include "updates/update_protocol.h"

#include <ws2tcpip.h>
#include <stdlib.h>
#include <string.h>

#include "core/socket_lines.h"

#define HELLO "ZANDOR-UPDATE 1\n"
#define HELLO_ANSWER "ZANDOR-UPDATE-OK 1"
#define HELLO_LINE_LIMIT 63
#define ANSWER_LINE_LIMIT 199


void update_wait_start(UpdateWait* wait, unsigned long limit_ms, const volatile long* stop) {
    socket_bounds_start(wait, limit_ms, stop);
}

static bool wait_stopped(const UpdateWait* wait) {
    return socket_stop_asked(wait);
}

// Waits until the socket has bytes (or its end) to read: false when no byte comes within the
// receive time-out, the wait's deadline passes or its stop flag is set. Without a wait the blocking
// receive's own time-out does the waiting.
static bool wait_for_bytes(SOCKET sock, const void* context) {
    const UpdateWait* wait = (const UpdateWait*)context;
    return !wait || socket_wait_readable(sock, wait, UPDATE_SOCKET_TIMEOUT_MS);
}

bool update_receive_exact(UpdateConnection* connection, void* buffer, size_t length, const UpdateWait* wait) {
    return reader_exact(&connection->reader, buffer, length, wait_for_bytes, wait);
}

// Reads one line: CR is dropped, LF ends it. False when a receive fails, the wait ends or limit
// characters arrive without an LF. The line is kept with its length (it may hold zero bytes).
static bool receive_line(UpdateConnection* connection, char* line, size_t limit, size_t* length,
                         const UpdateWait* wait) {
    return reader_line(&connection->reader, line, limit, length, wait_for_bytes, wait);
}

static void close_connection(UpdateConnection* connection) {
    if (connection->reader.socket != INVALID_SOCKET) closesocket(connection->reader.socket);
    reader_start(&connection->reader, INVALID_SOCKET);
}

static bool say_hello(UpdateConnection* connection, const UpdateWait* wait) {
    if (!send_all(connection->reader.socket, HELLO, strlen(HELLO))) return false;
    char line[HELLO_LINE_LIMIT + 1];
    size_t length = 0;
    return receive_line(connection, line, HELLO_LINE_LIMIT, &length, wait) && length == strlen(HELLO_ANSWER) &&
           memcmp(line, HELLO_ANSWER, length) == 0;
}

bool update_connect(const char* host, int port, UpdateConnection* connection, char* error, size_t error_size,
                    const volatile long* stop) {
    reader_start(&connection->reader, INVALID_SOCKET);
    if (error && error_size > 0) error[0] = 0;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        format_reason(error, error_size, "no Winsock");
        return false;
    }
    char service[16];
    format_text(service, sizeof service, "%d", port);
    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    struct addrinfo* found = nullptr;
    if (getaddrinfo(host, service, &hints, &found) != 0 || !found) {
        if (found) freeaddrinfo(found);
        format_reason(error, error_size, "the update server name %s is not known", host);
        WSACleanup();
        return false;
    }
    SOCKET sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (sock == INVALID_SOCKET) {
        freeaddrinfo(found);
        format_reason(error, error_size, "no socket");
        WSACleanup();
        return false;
    }
    reader_start(&connection->reader, sock);
    // The connect and the hello's answer share one bound, and a stop ends either.
    UpdateWait wait;
    update_wait_start(&wait, UPDATE_ANSWER_LIMIT_MS, stop);
    bool connected = socket_connect_bounded(sock, found, UPDATE_CONNECT_WAIT_MS, &wait);
    freeaddrinfo(found);
    if (!connected) {
        if (wait_stopped(&wait)) {
            format_reason(error, error_size, "stopped");
        } else {
            format_reason(error, error_size, "the update server %s:%d does not answer", host, port);
        }
        close_connection(connection);
        WSACleanup();
        return false;
    }
    DWORD timeout = UPDATE_SOCKET_TIMEOUT_MS;
    setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, (const char*)&timeout, sizeof timeout);
    setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, (const char*)&timeout, sizeof timeout);
    if (!say_hello(connection, &wait)) {
        if (wait_stopped(&wait)) {
            format_reason(error, error_size, "stopped");
        } else {
            format_reason(error, error_size, "%s:%d is not a ZANDOR update server", host, port);
        }
        close_connection(connection);
        WSACleanup();
        return false;
    }
    return true;
}

void update_send_token(UpdateConnection* connection, const char* token) {
    size_t length = strnlen(token, UPDATE_TOKEN_LIMIT);
    if (length == 0 || length >= UPDATE_TOKEN_LIMIT || memchr(token, '\n', length)) return;
    char line[UPDATE_TOKEN_LIMIT + 16];
    size_t n = format_text(line, sizeof line, "TOKEN %s\n", token);
    if (!send_all(connection->reader.socket, line, n)) {
        // The server gives no answer to the token; a failed send shows at the next request.
    }
    wipe(line, sizeof line);
}

bool update_read_answer(UpdateConnection* connection, uint32_t maximum, uint32_t* length, char* error, size_t error_size,
                        const UpdateWait* wait) {
    *length = 0;
    char line[ANSWER_LINE_LIMIT + 1];
    size_t line_length = 0;
    if (!receive_line(connection, line, ANSWER_LINE_LIMIT, &line_length, wait)) {
        format_reason(error, error_size, wait_stopped(wait) ? "stopped" : "the update server closed the connection");
        return false;
    }
    if (line_length < 3 || memcmp(line, "OK ", 3) != 0) {
        format_reason(error, error_size, "the update server answered '%s'", line);
        return false;
    }
    uint64_t value = 0;
    bool ok = line_length > 3;
    for (size_t i = 3; ok && i < line_length; i++) {
        ok = line[i] >= '0' && line[i] <= '9';
        if (ok) value = value * 10 + (uint64_t)(line[i] - '0');
        if (value > 0xFFFFFFFFu) ok = false;
    }
    if (!ok || value > maximum) {
        format_reason(error, error_size, "bad answer length '%s'", line);
        return false;
    }
    *length = (uint32_t)value;
    return true;
}

bool update_fetch_manifest(UpdateConnection* connection, const char* channel, uint64_t highest_seen,
                           UpdateManifest* manifest, char* error, size_t error_size, const volatile long* stop) {
    manifest_clear(manifest);
    UpdateWait wait;
    update_wait_start(&wait, UPDATE_ANSWER_LIMIT_MS, stop);
    char request[128];
    size_t n = format_text(request, sizeof request, "MANIFEST %s\n", channel);
    if (!send_all(connection->reader.socket, request, n)) {
        format_reason(error, error_size, "the update server closed the connection");
        return false;
    }
    uint32_t length = 0;
    if (!update_read_answer(connection, MANIFEST_MAX_BYTES, &length, error, error_size, &wait)) return false;
    char* text = (char*)malloc(length ? length : 1);
    if (!text || !update_receive_exact(connection, text, length, &wait)) {
        free(text);
        format_reason(error, error_size, wait_stopped(&wait) ? "stopped" : "the manifest did not arrive whole");
        return false;
    }
    bool parsed = manifest_parse(text, length, manifest, error, error_size);
    free(text);
    if (!parsed) return false;
    if (strcmp(manifest->channel, channel) != 0) {
        format_reason(error, error_size, "the manifest is for channel %s, not %s", manifest->channel, channel);
        manifest_clear(manifest);
        return false;
    }
    if (manifest->release < highest_seen) {
        format_reason(error, error_size,
                  "the server offers release %llu, older than release %llu already seen (refused)",
                  (unsigned long long)manifest->release, (unsigned long long)highest_seen);
        manifest_clear(manifest);
        return false;
    }
    return true;
}

void update_bye(UpdateConnection* connection) {
    if (connection->reader.socket == INVALID_SOCKET) return;
    if (!send_all(connection->reader.socket, "BYE\n", 4)) {
        // Nothing answers BYE; the connection is closed either way.
    }
    close_connection(connection);
    WSACleanup();
}
