// A connection's protocol: the hello, the requests in order, the answers sent without copying file
// data into the process.
#include "connection.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/sendfile.h>
#include <unistd.h>

#include "address_limits.h"
#include "core/codecs.h"
#include "core/text.h"
#include "server_log.h"
#include "updates/sha512_stream.h"

// sendfile is asked for at most this much at a time, so that one fast client does not hold its loop.
#define SENDFILE_CHUNK (1u << 20)
// How long and how much a connection ending on an error line reads before it closes.
#define DRAIN_MS 2000
#define DRAIN_MAX 65536u
// Answers finished per turn of the loop before the other connections get theirs.
#define ANSWERS_PER_TURN 4

void connection_init(Connection* c, int fd, const sockaddr_storage* peer, LoopCounters* counters,
                     const ConnectionLimits* limits, uint64_t now_ms) {
    memset(c, 0, sizeof *c);
    c->fd = fd;
    c->peer = *peer;
    c->counters = counters;
    c->limits = limits;
    c->started_ms = c->activity_ms = now_ms;
    c->file_fd = -1;
    c->set = served_set_hold();
    c->proxy_pending = limits->proxy_protocol;
    c->deadline_ms = now_ms + (uint64_t)limits->hello_timeout_ms;
}

static bool answer_pending(const Connection* c) {
    return c->head_sent < c->head_length || c->body_sent < c->body_length || c->file_left > 0;
}

static void queue_line(Connection* c, uint64_t now_ms, const char* text) {
    size_t length = copy_text(c->head, sizeof c->head - 1, text);
    c->head[length++] = '\n';
    c->head_length = (uint16_t)length;
    c->head_sent = 0;
    c->answer_serves = false;
    c->answer_started_ms = now_ms;
}

static void queue_error(Connection* c, uint64_t now_ms, ErrorKind kind, const char* text) {
    count(c->counters->errors[kind]);
    queue_line(c, now_ms, text);
}

// 1: the answer is out; 0: the socket is full; -1: the connection broke (close_reason set).
static int flush_answer(Connection* c) {
    while (c->head_sent < c->head_length) {
        int more = c->body_sent < c->body_length || c->file_left > 0 ? MSG_MORE : 0;
        ssize_t n = send(c->fd, c->head + c->head_sent, c->head_length - c->head_sent, MSG_NOSIGNAL | more);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            c->close_reason = "the connection broke while sending";
            return -1;
        }
        c->head_sent += (uint16_t)n;
        c->bytes_sent += (uint64_t)n;
        count(c->counters->bytes_sent, (uint64_t)n);
    }
    while (c->body_sent < c->body_length) {
        ssize_t n = send(c->fd, c->body + c->body_sent, c->body_length - c->body_sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            c->close_reason = "the connection broke while sending";
            return -1;
        }
        c->body_sent += (size_t)n;
        c->bytes_sent += (uint64_t)n;
        count(c->counters->bytes_sent, (uint64_t)n);
    }
    while (c->file_left > 0) {
        size_t want = c->file_left < SENDFILE_CHUNK ? (size_t)c->file_left : SENDFILE_CHUNK;
        ssize_t n = sendfile(c->fd, c->file_fd, &c->file_offset, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            c->close_reason = "the connection broke while sending a piece";
            return -1;
        }
        if (n == 0) {
            // The file is shorter than when it was checked: someone changed a served file in place.
            count(c->counters->errors[ERROR_FILE_CHANGED]);
            server_log("a served file is shorter on disk than when its release was checked: "
                       "files of a release must never be changed in place");
            c->close_reason = "a served file changed on disk";
            return -1;
        }
        c->file_left -= (uint64_t)n;
        c->bytes_sent += (uint64_t)n;
        count(c->counters->bytes_sent, (uint64_t)n);
    }
    c->body = nullptr;
    c->body_length = c->body_sent = 0;
    c->head_length = c->head_sent = 0;
    return 1;
}

static void answer_manifest(Connection* c, const Request* request, uint64_t now_ms) {
    // A new manifest: the files come from what is served now, until the next MANIFEST.
    release_set_drop(c->set);
    c->set = served_set_hold();
    const Release* release = release_set_channel(c->set, request->argument, request->argument_length);
    if (!release) {
        char text[120];
        format_text(text, sizeof text, "ERR channel %.*s has no release on this server",
                    (int)request->argument_length, request->argument);
        queue_error(c, now_ms, ERROR_NO_RELEASE, text);
        return;
    }
    char head[40];
    format_text(head, sizeof head, "OK %zu", release->manifest_length);
    queue_line(c, now_ms, head);
    c->answer_serves = true;
    c->body = release->manifest;
    c->body_length = release->manifest_length;
    c->body_sent = 0;
    count(c->counters->manifests);
}

static void answer_get(Connection* c, const Request* request, uint64_t now_ms) {
    const ServedFile* file = release_set_file(c->set, request->digest);
    if (!file) {
        char hex[129];
        hex_encode(request->digest, 64, hex);
        char text[120];
        format_text(text, sizeof text, "ERR unknown file: the release served holds no file with SHA-512 %.16s...",
                    hex);
        queue_error(c, now_ms, ERROR_UNKNOWN_FILE, text);
        return;
    }
    if (request->offset > file->size) {
        char text[160];
        format_text(text, sizeof text, "ERR bad range: offset %llu is beyond the end of the file (%llu bytes)",
                    (unsigned long long)request->offset, (unsigned long long)file->size);
        queue_error(c, now_ms, ERROR_BAD_RANGE, text);
        return;
    }
    uint64_t left = file->size - request->offset;
    uint64_t length = request->length < left ? request->length : left;
    char head[40];
    format_text(head, sizeof head, "OK %llu", (unsigned long long)length);
    queue_line(c, now_ms, head);
    c->answer_serves = true;
    c->file_fd = file->fd;
    c->file_offset = (off_t)request->offset;
    c->file_left = length;
    c->pieces++;
    count(c->counters->gets);
}

// Behind a proxy the first line names the client: its address is logged and counted against the
// cap per address from here on.
static bool handle_proxy_line(Connection* c, const char* line, size_t length, uint64_t now_ms) {
    c->proxy_pending = false;
    sockaddr_storage source;
    bool known = false;
    if (!parse_proxy_line(line, length, &source, &known)) {
        queue_error(c, now_ms, ERROR_BAD_HELLO, "ERR the first line must be a PROXY line (this server sits behind a proxy)");
        c->close_after_answer = true;
        c->close_reason = "no PROXY line";
        return true;
    }
    if (!known) return true;  // the proxy's own check: its address stands
    if (!address_admit(&source, c->limits->max_per_address)) {
        c->peer = source;
        queue_error(c, now_ms, ERROR_REFUSED_PER_ADDRESS, "ERR too many connections from your address");
        c->close_after_answer = true;
        c->close_reason = "refused: too many connections from that address";
        return true;
    }
    c->peer = source;
    c->address_counted = c->limits->max_per_address > 0;
    return true;
}

// Handles one whole line; false when the connection ends at once (BYE).
static bool handle_line(Connection* c, const char* line, size_t length, uint64_t now_ms) {
    if (c->proxy_pending) return handle_proxy_line(c, line, length, now_ms);
    Request request;
    parse_request_line(line, length, &request);
    if (!c->hello_done) {
        if (request.kind != REQUEST_HELLO) {
            queue_error(c, now_ms, ERROR_BAD_HELLO,
                        "ERR this is a ZANDOR update server: the first line must be ZANDOR-UPDATE 1");
            c->close_after_answer = true;
            c->close_reason = "no ZANDOR hello";
            return true;
        }
        c->hello_done = true;
        queue_line(c, now_ms, "ZANDOR-UPDATE-OK 1");
        c->answer_serves = true;
        return true;
    }
    switch (request.kind) {
    case REQUEST_HELLO:
        queue_error(c, now_ms, ERROR_BAD_REQUEST, "ERR bad request: the hello was said already");
        break;
    case REQUEST_TOKEN: {
        // Only a short digest of the token is kept, for the log.
        uint8_t digest[64];
        sha512_bytes(request.argument, request.argument_length, digest);
        hex_encode(digest, 8, c->token_digest);
        wipe(digest, sizeof digest);
        break;
    }
    case REQUEST_MANIFEST:
        answer_manifest(c, &request, now_ms);
        break;
    case REQUEST_GET:
        answer_get(c, &request, now_ms);
        break;
    case REQUEST_BYE:
        c->close_reason = "said BYE";
        return false;
    case REQUEST_BAD:
        queue_error(c, now_ms, strcmp(request.error_kind, "bad_range") == 0 ? ERROR_BAD_RANGE : ERROR_BAD_REQUEST,
                    request.error);
        break;
    }
    return true;
}

static void set_deadline(Connection* c) {
    const ConnectionLimits* l = c->limits;
    if (answer_pending(c)) {
        c->deadline_ms = c->answer_started_ms + (uint64_t)l->send_timeout_ms;
    } else if (!c->hello_done) {
        c->deadline_ms = c->started_ms + (uint64_t)l->hello_timeout_ms;
    } else if (c->in_used > 0) {
        c->deadline_ms = c->line_started_ms + (uint64_t)l->line_timeout_ms;
    } else {
        c->deadline_ms = c->activity_ms + (uint64_t)l->idle_timeout_ms;
    }
}

const char* connection_timeout_reason(Connection* c) {
    const ConnectionLimits* l = c->limits;
    char* reason = c->head;  // the answer is dropped anyway
    if (c->draining) return c->close_reason;
    if (answer_pending(c)) {
        count(c->counters->errors[ERROR_SEND_TIMEOUT]);
        format_text(reason, sizeof c->head, "the client took no whole answer within %d s (it stopped reading)",
                    l->send_timeout_ms / 1000);
    } else if (!c->hello_done) {
        count(c->counters->errors[ERROR_HELLO_TIMEOUT]);
        format_text(reason, sizeof c->head, "no hello within %d s", l->hello_timeout_ms / 1000);
    } else if (c->in_used > 0) {
        count(c->counters->errors[ERROR_LINE_TIMEOUT]);
        format_text(reason, sizeof c->head, "a request line not finished within %d s", l->line_timeout_ms / 1000);
    } else {
        count(c->counters->errors[ERROR_IDLE_TIMEOUT]);
        format_text(reason, sizeof c->head, "no manifest or piece asked for in %d s", l->idle_timeout_ms / 1000);
    }
    c->close_reason = reason;
    return reason;
}

// Reads and drops what the client still sends after the last answer, until it closes.
static PumpResult drain(Connection* c) {
    char scratch[4096];
    for (;;) {
        ssize_t n = recv(c->fd, scratch, sizeof scratch, 0);
        if (n == 0) return PUMP_CLOSE;
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return PUMP_WAIT;
            return PUMP_CLOSE;
        }
        c->drained += (uint32_t)n;
        if (c->drained > DRAIN_MAX) return PUMP_CLOSE;
    }
}

// Ends the connection gracefully: the answers sent so far go out followed by the end of the stream,
// and the client's unread requests are read and dropped, since closing a socket with unread input
// resets it and throws away what was still to be sent.
static PumpResult begin_drain(Connection* c, uint64_t now_ms) {
    shutdown(c->fd, SHUT_WR);
    c->draining = true;
    c->deadline_ms = now_ms + DRAIN_MS;
    return drain(c);
}

PumpResult connection_pump(Connection* c, uint64_t now_ms) {
    if (c->draining) return drain(c);
    int answered = 0;
    for (;;) {
        if (answer_pending(c)) {
            int sent = flush_answer(c);
            if (sent < 0) return PUMP_CLOSE;
            if (sent == 0) break;
            if (c->answer_serves) c->activity_ms = now_ms;
            if (c->close_after_answer) return begin_drain(c, now_ms);
            if (++answered == ANSWERS_PER_TURN) {
                set_deadline(c);
                return PUMP_AGAIN;
            }
        }
        if (c->stopping) {
            c->close_reason = "the server is stopping";
            return begin_drain(c, now_ms);
        }
        size_t line_length = 0, consumed = 0;
        LineState state = find_request_line(c->in, c->in_used, &line_length, &consumed);
        if (state == LINE_READY) {
            bool go_on = handle_line(c, c->in, line_length, now_ms);
            // The line may have held the token: nothing of it stays in the buffer.
            memmove(c->in, c->in + consumed, c->in_used - consumed);
            c->in_used -= (uint32_t)consumed;
            wipe(c->in + c->in_used, consumed);
            c->line_started_ms = now_ms;
            if (!go_on) return PUMP_CLOSE;
            continue;
        }
        if (state == LINE_TOO_LONG) {
            wipe(c->in, sizeof c->in);
            c->in_used = 0;
            queue_error(c, now_ms, ERROR_LINE_TOO_LONG, "ERR bad request: a line is at most 255 bytes");
            c->close_after_answer = true;
            c->close_reason = "a request line too long";
            continue;
        }
        ssize_t n = recv(c->fd, c->in + c->in_used, sizeof c->in - c->in_used, 0);
        if (n > 0) {
            if (c->in_used == 0) c->line_started_ms = now_ms;
            c->in_used += (uint32_t)n;
            continue;
        }
        if (n == 0) {
            c->close_reason = c->in_used > 0 ? "the client left in the middle of a line" : "the client left without BYE";
            return PUMP_CLOSE;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) break;
        c->close_reason = "the connection broke";
        return PUMP_CLOSE;
    }
    set_deadline(c);
    return PUMP_WAIT;
}

bool connection_begin_stop(Connection* c, uint64_t now_ms) {
    c->stopping = true;
    if (answer_pending(c) || c->draining) return false;
    c->close_reason = "the server is stopping";
    return begin_drain(c, now_ms) == PUMP_CLOSE;
}

void format_peer(const sockaddr_storage* peer, char* out, size_t cap) {
    char host[INET6_ADDRSTRLEN] = "?";
    unsigned port = 0;
    if (peer->ss_family == AF_INET) {
        const sockaddr_in* v4 = (const sockaddr_in*)peer;
        inet_ntop(AF_INET, &v4->sin_addr, host, sizeof host);
        port = ntohs(v4->sin_port);
        format_text(out, cap, "%s:%u", host, port);
        return;
    }
    const sockaddr_in6* v6 = (const sockaddr_in6*)peer;
    port = ntohs(v6->sin6_port);
    if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
        inet_ntop(AF_INET, v6->sin6_addr.s6_addr + 12, host, sizeof host);
        format_text(out, cap, "%s:%u", host, port);
    } else {
        inet_ntop(AF_INET6, &v6->sin6_addr, host, sizeof host);
        format_text(out, cap, "[%s]:%u", host, port);
    }
}

void connection_finish(Connection* c, uint64_t now_ms) {
    char peer[80];
    format_peer(&c->peer, peer, sizeof peer);
    uint64_t ms = now_ms - c->started_ms;
    server_log("connection %s ended: %s; %llu bytes sent, %llu pieces, %llu.%03llu s, token %s", peer,
               c->close_reason ? c->close_reason : "closed", (unsigned long long)c->bytes_sent,
               (unsigned long long)c->pieces, (unsigned long long)(ms / 1000), (unsigned long long)(ms % 1000),
               c->token_digest[0] ? c->token_digest : "none");
    close(c->fd);
    c->fd = -1;
    release_set_drop(c->set);
    c->set = nullptr;
}
