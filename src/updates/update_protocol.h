// The update server's line protocol over one plain TCP connection: hello, optional token, the
// manifest of a channel, file pieces by digest, goodbye. Every answer is checked before use.
#pragma once

#include <winsock2.h>
#include <stddef.h>
#include <stdint.h>

#include "core/socket_lines.h"
#include "core/socket_waits.h"
#include "core/text.h"
#include "updates/manifest.h"

#define UPDATE_PORT 20292
#define UPDATE_CONNECT_WAIT_MS 6000
#define UPDATE_SOCKET_TIMEOUT_MS 20000
#define UPDATE_TOKEN_LIMIT 120  // tokens of this length or more are not sent
#define UPDATE_PIECE_MAX 262144u
// A whole answer (its line and its payload) must arrive within this time of its request, so a server
// that trickles bytes cannot hold the update worker without end.
#define UPDATE_ANSWER_LIMIT_MS 60000

// One connection to the update server: its socket (reader.socket, INVALID_SOCKET while closed) and
// the reader that keeps what a line read took from it beyond the line's LF for the payload after it.
// Made by update_connect, ended by update_bye; used by one thread at a time.
struct UpdateConnection {
    SocketReader reader;
};

// The time limit of one request's answer and the flag that ends waiting for it.
typedef SocketBounds UpdateWait;

// Connects to host:port within 6 s and says hello, both within UPDATE_ANSWER_LIMIT_MS (stop, when
// not null, is looked at while connecting and between receives and gives "stopped"). On success the
// connection's socket is connected and blocking with 20 s send and receive time-outs, and Winsock
// stays started until update_bye; on failure the connection is closed (INVALID_SOCKET), Winsock is
// stopped and error holds one text.
bool update_connect(const char* host, int port, UpdateConnection* connection, char* error, size_t error_size,
                    const volatile long* stop) MUST_USE;
// Sends "TOKEN %s" when the token is not empty, shorter than 120 characters and holds no LF; the
// server gives no answer, and send errors are ignored.
void update_send_token(UpdateConnection* connection, const char* token);
// A wait that ends limit_ms from now; stop may be null.
void update_wait_start(UpdateWait* wait, unsigned long limit_ms, const volatile long* stop);
// Reads one answer line "OK <length>" with a length of at most maximum; the payload is left for the
// caller. False with a text otherwise ("stopped" when the wait's stop flag ended it). With a wait,
// the line must be in by its deadline; without one only the 20 s receive time-out holds.
bool update_read_answer(UpdateConnection* connection, uint32_t maximum, uint32_t* length, char* error, size_t error_size,
                        const UpdateWait* wait) MUST_USE;
// Asks for the manifest of channel, verifies and parses it and checks its channel (exactly) and that
// its release is not below highest_seen. False with a text and an empty manifest otherwise. The
// whole answer must arrive within UPDATE_ANSWER_LIMIT_MS; stop (may be null) ends the wait with
// "stopped".
bool update_fetch_manifest(UpdateConnection* connection, const char* channel, uint64_t highest_seen,
                           UpdateManifest* manifest, char* error, size_t error_size,
                           const volatile long* stop) MUST_USE;
// Sends "BYE", closes the socket and stops Winsock; nothing for a closed connection.
void update_bye(UpdateConnection* connection);

// Receives exactly length bytes: those that came with the answer line first, then the rest straight
// into buffer; false when a receive gives 0 or less, no byte comes for 20 s, or (with a wait) its
// deadline passes or its stop flag is set. Answers are read only through these functions, which
// share the connection's reader.
bool update_receive_exact(UpdateConnection* connection, void* buffer, size_t length, const UpdateWait* wait) MUST_USE;
