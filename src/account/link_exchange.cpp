// The account server exchange: one TCP connection, one handshake, one request line, one answer line.
#include "account/link_exchange.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wincrypt.h>

#include "build_config.h"
#include "core/socket_lines.h"
#include "core/socket_waits.h"

#if ZANDOR_LINK_KEY_COUNT > 0
static const LinkKey PINNED_KEYS[] = {ZANDOR_LINK_KEY_INIT};
static const size_t PINNED_KEY_COUNT = COUNT_OF(PINNED_KEYS);
#else
static const LinkKey* const PINNED_KEYS = nullptr;
static const size_t PINNED_KEY_COUNT = 0;
#endif

// Each send and each receive of the exchange gives up after this long, and so does the connect.
static const DWORD LINK_TIMEOUT_MS = 20000;
// The whole exchange (connect, hello, answer) ends within this: a peer that sends a byte now and
// then would otherwise keep it going for hours.
static const DWORD LINK_EXCHANGE_LIMIT_MS = 60000;

static bool wait_for_line(SOCKET socket, const void* context) {
    return socket_wait_readable(socket, (const SocketBounds*)context, 0);
}

static bool read_link_line(SOCKET socket, char* line, const SocketBounds* bounds) {
    size_t length = 0;
    return read_line_waiting(socket, line, LINK_LINE_CAP, &length, wait_for_line, bounds);
}

static const char NO_NETWORK[] = "The network is not available.";
static const char CANNOT_REACH[] = "Could not reach zandor. Please check your internet connection.";
static const char NO_RANDOM[] = "Windows gave no random numbers for the secure link.";
static const char NO_ANSWER[] = "zandor did not answer. Please try again later.";
static const char NOT_OUR_SERVER[] = "This is not the zandor server (the secure link check failed).";
static const char NOT_SENT[] = "The log-in could not be sent.";
static const char UNCHECKED_ANSWER[] = "The answer from zandor could not be checked.";

// The system's random generator, through one provider for the whole process: opening a provider for
// every exchange cost more CPU than the rest of the exchange together. Several threads make exchanges
// (the account worker, the log-out thread, the update worker's game account request), so the provider
// is opened once under a one-time initialisation and never released.
static INIT_ONCE random_once = INIT_ONCE_STATIC_INIT;
static HCRYPTPROV random_provider;

static BOOL CALLBACK open_random_provider(PINIT_ONCE, void*, void**) {
    return CryptAcquireContextA(&random_provider, nullptr, nullptr, PROV_RSA_FULL,
                                CRYPT_VERIFYCONTEXT | CRYPT_SILENT);
}

static bool random_bytes(uint8_t* out, DWORD count) {
    if (!InitOnceExecuteOnce(&random_once, open_random_provider, nullptr, nullptr)) return false;
    return CryptGenRandom(random_provider, count, out) != 0;
}

bool link_make_hello(SecureLink* link, char* out, size_t capacity) {
    uint8_t random[LINK_RANDOM_BYTES];
    bool ok = random_bytes(random, sizeof random) && link_hello_from_random(link, random, out, capacity);
    wipe(random, sizeof random);
    return ok;
}

// The steps after the connection is made; the caller cleans up whatever the result.
static bool run_link(SOCKET socket, SecureLink* link, char* line, const char* request_text, char* answer,
                     size_t answer_capacity, const SocketBounds* bounds, AccountReply* reply) {
    if (!link_make_hello(link, line, LINK_LINE_CAP - 1)) {
        set_reply_error(reply, "no_connection", NO_RANDOM);
        return false;
    }
    append_text(line, LINK_LINE_CAP, "\n");
    if (!send_all(socket, line, strlen(line)) || !read_link_line(socket, line, bounds)) {
        set_reply_error(reply, "no_connection", NO_ANSWER);
        return false;
    }
    if (!link_accept_hello(link, line, PINNED_KEYS, PINNED_KEY_COUNT)) {
        set_reply_error(reply, "not_our_server", NOT_OUR_SERVER);
        return false;
    }
    if (!link_seal(link, request_text, line, LINK_LINE_CAP - 1)) {
        set_reply_error(reply, "bad_request", NOT_SENT);
        return false;
    }
    append_text(line, LINK_LINE_CAP, "\n");
    if (!send_all(socket, line, strlen(line)) || !read_link_line(socket, line, bounds)) {
        set_reply_error(reply, "no_connection", NO_ANSWER);
        return false;
    }
    if (!link_open(link, line, answer, answer_capacity)) {
        set_reply_error(reply, "not_our_server", UNCHECKED_ANSWER);
        return false;
    }
    return true;
}

bool link_exchange(const char* host, unsigned short port, const char* request_text, char* answer,
                   size_t answer_capacity, AccountReply* reply, const volatile long* stop) {
    SecureLink link = {};
    return link_exchange_with(&link, host, port, request_text, answer, answer_capacity, reply, stop);
}

bool link_exchange_with(SecureLink* link, const char* host, unsigned short port, const char* request_text,
                        char* answer, size_t answer_capacity, AccountReply* reply, const volatile long* stop) {
    SocketBounds bounds;
    socket_bounds_start(&bounds, LINK_EXCHANGE_LIMIT_MS, stop);
    wipe(link, sizeof *link);
    if (answer_capacity > 0) answer[0] = 0;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        set_reply_error(reply, "no_connection", NO_NETWORK);
        return false;
    }
    char line[LINK_LINE_CAP] = {};
    SOCKET socket_handle = INVALID_SOCKET;
    addrinfo* addresses = nullptr;
    bool ok = false;

    char service[8];
    format_text(service, sizeof service, "%u", (unsigned)port);
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host, service, &hints, &addresses) != 0 || !addresses) {
        set_reply_error(reply, "no_connection", CANNOT_REACH);
    } else {
        socket_handle = socket(addresses->ai_family, addresses->ai_socktype, addresses->ai_protocol);
        DWORD timeout_ms = LINK_TIMEOUT_MS;
        if (socket_handle == INVALID_SOCKET ||
            setsockopt(socket_handle, SOL_SOCKET, SO_RCVTIMEO, (const char*)&timeout_ms, sizeof timeout_ms) != 0 ||
            setsockopt(socket_handle, SOL_SOCKET, SO_SNDTIMEO, (const char*)&timeout_ms, sizeof timeout_ms) != 0 ||
            !socket_connect_bounded(socket_handle, addresses, LINK_TIMEOUT_MS, &bounds)) {
            set_reply_error(reply, "no_connection", CANNOT_REACH);
        } else {
            ok = run_link(socket_handle, link, line, request_text, answer, answer_capacity, &bounds, reply);
        }
    }
    if (ok) reply->answered = true;

    wipe(link, sizeof *link);
    if (socket_handle != INVALID_SOCKET) closesocket(socket_handle);
    if (addresses) freeaddrinfo(addresses);
    wipe(line, sizeof line);
    WSACleanup();
    return ok;
}
