// One client connection: its input line buffer, the answer being sent (a line, a manifest from
// memory or a piece of a file with sendfile), its deadlines and what it did, for the log line at its
// end.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/socket.h>
#include <sys/types.h>

#include "metrics.h"
#include "release_store.h"
#include "request_line.h"

struct EventLoop;

struct ConnectionLimits {
    int hello_timeout_ms;
    int line_timeout_ms;
    int idle_timeout_ms;
    int send_timeout_ms;
    int max_per_address;
    bool proxy_protocol;  // every connection starts with a PROXY line naming the client
};

struct Connection {
    int handle_kind;  // tells connections from listeners in epoll's data
    int fd;
    Connection* prev;
    Connection* next;
    Connection* ready_next;  // in its loop's list of connections with work left over
    bool queued_ready;
    sockaddr_storage peer;
    ReleaseSet* set;  // what this connection fetches from: held since its last MANIFEST
    LoopCounters* counters;
    const ConnectionLimits* limits;
    uint64_t started_ms;
    // The end of the hello or of the last manifest or piece sent: lines that ask for nothing (TOKEN,
    // bad requests) do not keep a connection alive.
    uint64_t activity_ms;
    uint64_t line_started_ms;   // the first byte of the line now in the buffer
    uint64_t answer_started_ms;
    uint64_t deadline_ms;
    bool hello_done;
    bool proxy_pending;     // the PROXY line has still to come
    bool address_counted;   // counted against the cap per address (to be uncounted at the end)
    bool close_after_answer;
    bool stopping;  // the server stops: end after the answer in flight
    // After a last error line: the sending side is shut and what the client still sends is read and
    // dropped for a moment, so that closing does not reset the connection before the line arrives.
    bool draining;
    uint32_t drained;
    const char* close_reason;
    char token_digest[17];
    uint64_t bytes_sent;
    uint64_t pieces;
    // The answer being sent: a line, then a manifest from memory or a stretch of a file.
    char head[200];
    uint16_t head_length;
    uint16_t head_sent;
    bool answer_serves;  // the answer is the hello, a manifest or a piece
    const char* body;
    size_t body_length;
    size_t body_sent;
    int file_fd;
    off_t file_offset;
    uint64_t file_left;
    uint32_t in_used;
    char in[REQUEST_LINE_MAX + 1];
};

// PUMP_AGAIN: the connection did its share for this turn and has work left (its pipelined requests):
// the loop comes back to it after the others, so that one client cannot hold a loop.
enum PumpResult { PUMP_WAIT, PUMP_CLOSE, PUMP_AGAIN };

void connection_init(Connection* c, int fd, const sockaddr_storage* peer, LoopCounters* counters,
                     const ConnectionLimits* limits, uint64_t now_ms);
// Does everything the connection can do now without blocking: sends what is pending, reads, answers
// the lines received. PUMP_CLOSE: the connection is to end, c->close_reason says why.
PumpResult connection_pump(Connection* c, uint64_t now_ms);
// The deadline passed: why it ends (and the kind counted).
const char* connection_timeout_reason(Connection* c);
// The server stops: an idle connection begins its graceful end, one with an answer in flight ends
// after it. True when the connection can be closed at once.
bool connection_begin_stop(Connection* c, uint64_t now_ms);
// Writes the log line of a connection's end and releases what it holds (not its memory).
void connection_finish(Connection* c, uint64_t now_ms);
// The text of an address, IPv4-mapped addresses as IPv4, with the port.
void format_peer(const sockaddr_storage* peer, char* out, size_t cap);
