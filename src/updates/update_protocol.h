// The update server's line protocol over one plain TCP connection: hello, optional token, the
// manifest of a channel, file pieces by digest, goodbye. Every answer is checked before use.
#pragma once

#include <winsock2.h>
#include <stddef.h>
#include <stdint.h>

#include "core/text.h"
#include "updates/manifest.h"

#define UPDATE_PORT 20292
#define UPDATE_CONNECT_WAIT_MS 6000
#define UPDATE_SOCKET_TIMEOUT_MS 20000
#define UPDATE_TOKEN_LIMIT 120  // tokens of this length or more are not sent
#define UPDATE_PIECE_MAX 262144u

// Connects to host:port within 6 s and says hello. On success sock is connected and blocking with
// 20 s send and receive time-outs, and Winsock stays started until update_bye; on failure sock is
// INVALID_SOCKET, everything is closed and error holds one text.
bool update_connect(const char* host, int port, SOCKET* sock, char* error, size_t error_size) MUST_USE;
// Sends "TOKEN %s" when the token is not empty, shorter than 120 characters and holds no LF; the
// server gives no answer, and send errors are ignored.
void update_send_token(SOCKET sock, const char* token);
// Reads one answer line "OK <length>" with a length of at most maximum; the payload is left for the
// caller. False with a text otherwise.
bool update_read_answer(SOCKET sock, uint32_t maximum, uint32_t* length, char* error,
                        size_t error_size) MUST_USE;
// Asks for the manifest of channel, verifies and parses it and checks its channel (exactly) and that
// its release is not below highest_seen. False with a text and an empty manifest otherwise.
bool update_fetch_manifest(SOCKET sock, const char* channel, uint64_t highest_seen,
                           UpdateManifest* manifest, char* error, size_t error_size) MUST_USE;
// Sends "BYE", closes the socket and stops Winsock; nothing for an invalid socket.
void update_bye(SOCKET* sock);

// Sends every byte; false when a send gives 0 or less.
bool update_send_line(SOCKET sock, const char* bytes, size_t length) MUST_USE;
// Receives exactly length bytes in reads of at most 65536; false when a receive gives 0 or less.
bool update_receive_exact(SOCKET sock, void* buffer, size_t length) MUST_USE;
