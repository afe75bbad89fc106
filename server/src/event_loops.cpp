// The event loops and the accepting of connections, with the caps on connections.
#include "event_loops.h"

#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "address_limits.h"
#include "connection.h"
#include "core/text.h"
#include "server_log.h"

enum HandleKind { HANDLE_CONNECTION = 1, HANDLE_LISTENER, HANDLE_WAKE };

struct Listener {
    int handle_kind;
    int fd;
    uint16_t port;
};

struct Refusals {
    uint64_t last_log_ms;
    uint64_t unlogged;
};

struct EventLoop {
    int index;
    int epoll_fd;
    int wake_fd;
    int wake_kind;  // HANDLE_WAKE, pointed at by the wake event
    pthread_t thread;
    Connection* connections;  // every connection of this loop, newest first
    Connection* ready;        // connections with work left over from their last turn
    int connection_count;
    LoopCounters* counters;
    Refusals refusals[2];  // by total, by address
    bool stopping;
    // Out of descriptors: the listeners are left alone for a moment (they would wake the loop without
    // end), then watched again.
    bool accept_paused;
    uint64_t accept_resume_ms;
    uint64_t last_accept_log_ms;
    uint64_t stop_deadline_ms;
};

static Listener listeners[LISTEN_MAX];
static int listener_count;
static EventLoop* loops;
static int loop_count;
static const ServerConfig* settings;
static ConnectionLimits limits;
static std::atomic<bool> stop_asked;

static uint64_t now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000 + (uint64_t)t.tv_nsec / 1000000;
}

bool listeners_open(const ServerConfig* config, char* error, size_t error_size) {
    for (int i = 0; i < config->listen_count; i++) {
        const ListenAddress* a = &config->listen[i];
        int fd = socket(a->address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            format_reason(error, error_size, "cannot make a socket for %s (%s)", a->text, strerror(errno));
            return false;
        }
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        // An IPv6 listener takes IPv6 only, so that an IPv4 one can sit beside it on the same port.
        if (a->address.ss_family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        if (bind(fd, (const sockaddr*)&a->address, a->length) != 0 || listen(fd, 4096) != 0) {
            format_reason(error, error_size, "cannot listen on %s (%s)", a->text, strerror(errno));
            close(fd);
            return false;
        }
        sockaddr_storage bound;
        socklen_t length = sizeof bound;
        getsockname(fd, (sockaddr*)&bound, &length);
        listeners[i].handle_kind = HANDLE_LISTENER;
        listeners[i].fd = fd;
        listeners[i].port = ntohs(bound.ss_family == AF_INET ? ((sockaddr_in*)&bound)->sin_port
                                                             : ((sockaddr_in6*)&bound)->sin6_port);
        listener_count = i + 1;
    }
    return true;
}

uint16_t listener_port(int index) {
    return index < listener_count ? listeners[index].port : 0;
}

static void unlink_connection(EventLoop* loop, Connection* c) {
    if (c->prev) c->prev->next = c->next;
    else loop->connections = c->next;
    if (c->next) c->next->prev = c->prev;
    loop->connection_count--;
}

static void queue_ready(EventLoop* loop, Connection* c) {
    if (c->queued_ready) return;
    c->queued_ready = true;
    c->ready_next = loop->ready;
    loop->ready = c;
}

static void end_connection(EventLoop* loop, Connection* c, uint64_t now) {
    if (c->queued_ready) {
        Connection** at = &loop->ready;
        while (*at != c) at = &(*at)->ready_next;
        *at = c->ready_next;
    }
    // The place is free before the log line says the connection ended.
    if (c->address_counted) address_leave(&c->peer);
    connections_open.fetch_sub(1, std::memory_order_relaxed);
    connection_finish(c, now);
    unlink_connection(loop, c);
    free(c);
}

// A refused connection gets one error line (best effort) and is closed; the log gets one line a
// second at most per kind, with the number refused since the last one.
static void refuse(EventLoop* loop, int fd, const sockaddr_storage* peer, int which, uint64_t now) {
    static const char* const ANSWERS[2] = {"ERR the server is full: try again in a minute\n",
                                           "ERR too many connections from your address\n"};
    ssize_t sent = send(fd, ANSWERS[which], strlen(ANSWERS[which]), MSG_NOSIGNAL | MSG_DONTWAIT);
    (void)sent;
    close(fd);
    count(loop->counters->errors[which == 0 ? ERROR_REFUSED_TOTAL : ERROR_REFUSED_PER_ADDRESS]);
    Refusals* r = &loop->refusals[which];
    if (r->last_log_ms != 0 && now - r->last_log_ms < 1000) {
        r->unlogged++;
        return;
    }
    char text[80];
    format_peer(peer, text, sizeof text);
    server_log("refused a connection from %s: %s (cap %d; %llu more refused by this loop since the last such line)",
               text, which == 0 ? "the server is full" : "too many connections from that address",
               which == 0 ? settings->max_connections : settings->max_per_address, (unsigned long long)r->unlogged);
    r->last_log_ms = now;
    r->unlogged = 0;
}

static void watch_listeners(EventLoop* loop, bool watch) {
    for (int i = 0; i < listener_count; i++) {
        if (!watch) {
            epoll_ctl(loop->epoll_fd, EPOLL_CTL_DEL, listeners[i].fd, nullptr);
            continue;
        }
        // One loop wakes per new connection, and it accepts all that wait.
        epoll_event event = {};
        event.events = EPOLLIN | EPOLLEXCLUSIVE;
        event.data.ptr = &listeners[i];
        epoll_ctl(loop->epoll_fd, EPOLL_CTL_ADD, listeners[i].fd, &event);
    }
}

static void pause_accepting(EventLoop* loop, uint64_t now) {
    if (loop->accept_paused) return;
    watch_listeners(loop, false);
    loop->accept_paused = true;
    loop->accept_resume_ms = now + 100;
}

static void accept_connections(EventLoop* loop, Listener* listener) {
    for (;;) {
        sockaddr_storage peer;
        socklen_t length = sizeof peer;
        int fd = accept4(listener->fd, (sockaddr*)&peer, &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            // After a stop the listener is shut: accept fails with EINVAL until the loop sees the stop.
            if (errno == EAGAIN || errno == EWOULDBLOCK || stop_asked.load()) return;
            uint64_t now = now_ms();
            if (now - loop->last_accept_log_ms >= 1000) {
                server_log("accept failed: %s; new connections wait a moment", strerror(errno));
                loop->last_accept_log_ms = now;
            }
            pause_accepting(loop, now);
            return;
        }
        uint64_t now = now_ms();
        if (loop->stopping) {
            close(fd);
            continue;
        }
        if (connections_open.fetch_add(1, std::memory_order_relaxed) >= settings->max_connections) {
            connections_open.fetch_sub(1, std::memory_order_relaxed);
            refuse(loop, fd, &peer, 0, now);
            continue;
        }
        // Behind a proxy every connection comes from the proxy: the client's address is counted
        // when its PROXY line names it.
        bool by_address = !settings->proxy_protocol && settings->max_per_address > 0;
        if (by_address && !address_admit(&peer, settings->max_per_address)) {
            connections_open.fetch_sub(1, std::memory_order_relaxed);
            refuse(loop, fd, &peer, 1, now);
            continue;
        }
        Connection* c = (Connection*)malloc(sizeof(Connection));
        if (!c) {
            connections_open.fetch_sub(1, std::memory_order_relaxed);
            if (by_address) address_leave(&peer);
            close(fd);
            continue;
        }
        connection_init(c, fd, &peer, loop->counters, &limits, now);
        c->address_counted = by_address;
        c->handle_kind = HANDLE_CONNECTION;
        int one = 1;
        // Answers are whole when they are written; the last segment of a piece must not wait for an ACK.
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        c->prev = nullptr;
        c->next = loop->connections;
        if (c->next) c->next->prev = c;
        loop->connections = c;
        loop->connection_count++;
        count(loop->counters->connections);
        epoll_event event = {};
        event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
        event.data.ptr = c;
        if (epoll_ctl(loop->epoll_fd, EPOLL_CTL_ADD, fd, &event) != 0) {
            c->close_reason = "the server could not watch the connection";
            end_connection(loop, c, now);
        }
    }
}

static void begin_stop(EventLoop* loop, uint64_t now) {
    loop->stopping = true;
    loop->stop_deadline_ms = now + (uint64_t)settings->stop_timeout_ms;
    if (!loop->accept_paused) watch_listeners(loop, false);
    loop->accept_paused = false;
    Connection* c = loop->connections;
    while (c) {
        Connection* next = c->next;
        if (connection_begin_stop(c, now)) end_connection(loop, c, now);
        c = next;
    }
}

static void check_deadlines(EventLoop* loop, uint64_t now) {
    Connection* c = loop->connections;
    while (c) {
        Connection* next = c->next;
        if (loop->stopping && now >= loop->stop_deadline_ms) {
            c->close_reason = "the server stopped before the answer was sent";
            end_connection(loop, c, now);
        } else if (now >= c->deadline_ms) {
            connection_timeout_reason(c);
            end_connection(loop, c, now);
        }
        c = next;
    }
}

static void* run_loop(void* argument) {
    EventLoop* loop = (EventLoop*)argument;
    epoll_event events[256];
    uint64_t next_check = now_ms() + 250;
    for (;;) {
        if (loop->stopping && loop->connection_count == 0) break;
        int n = epoll_wait(loop->epoll_fd, events, 256, loop->ready ? 0 : 250);
        if (n < 0 && errno != EINTR) {
            server_log("event loop %d: epoll_wait failed: %s", loop->index, strerror(errno));
            break;
        }
        uint64_t now = now_ms();
        bool stop_seen = false;
        for (int i = 0; i < n; i++) {
            int kind = *(int*)events[i].data.ptr;
            if (kind == HANDLE_LISTENER) {
                if (!loop->stopping) accept_connections(loop, (Listener*)events[i].data.ptr);
            } else if (kind == HANDLE_WAKE) {
                uint64_t value;
                ssize_t got = read(loop->wake_fd, &value, sizeof value);
                (void)got;
                // The stop ends connections: it waits until this batch is done, since later events of
                // the batch may be theirs.
                stop_seen = stop_asked.load();
            } else {
                Connection* c = (Connection*)events[i].data.ptr;
                if (c->queued_ready) continue;  // its turn comes below
                PumpResult result = connection_pump(c, now);
                if (result == PUMP_CLOSE) end_connection(loop, c, now);
                else if (result == PUMP_AGAIN) queue_ready(loop, c);
            }
        }
        if (stop_seen && !loop->stopping) begin_stop(loop, now);
        // The connections that had work left over get their next turn, after the events above.
        Connection* turn = loop->ready;
        loop->ready = nullptr;
        while (turn) {
            Connection* c = turn;
            turn = c->ready_next;
            c->queued_ready = false;
            PumpResult result = connection_pump(c, now);
            if (result == PUMP_CLOSE) end_connection(loop, c, now);
            else if (result == PUMP_AGAIN) queue_ready(loop, c);
        }
        if (loop->accept_paused && !loop->stopping && now >= loop->accept_resume_ms) {
            watch_listeners(loop, true);
            loop->accept_paused = false;
        }
        if (now >= next_check) {
            check_deadlines(loop, now);
            next_check = now + 250;
        }
    }
    return nullptr;
}

bool loops_start(const ServerConfig* config, char* error, size_t error_size) {
    settings = config;
    limits.hello_timeout_ms = config->hello_timeout_ms;
    limits.line_timeout_ms = config->line_timeout_ms;
    limits.idle_timeout_ms = config->idle_timeout_ms;
    limits.send_timeout_ms = config->send_timeout_ms;
    limits.max_per_address = config->max_per_address;
    limits.proxy_protocol = config->proxy_protocol;
    address_limits_init(config->max_connections);
    loop_count = config->threads;
    loops = (EventLoop*)calloc((size_t)loop_count, sizeof(EventLoop));
    for (int i = 0; i < loop_count; i++) {
        EventLoop* loop = &loops[i];
        loop->index = i;
        loop->counters = &loop_counters[i];
        loop->epoll_fd = epoll_create1(EPOLL_CLOEXEC);
        loop->wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        loop->wake_kind = HANDLE_WAKE;
        if (loop->epoll_fd < 0 || loop->wake_fd < 0) {
            format_reason(error, error_size, "cannot make an event loop (%s)", strerror(errno));
            return false;
        }
        epoll_event event = {};
        event.events = EPOLLIN;
        event.data.ptr = &loop->wake_kind;
        epoll_ctl(loop->epoll_fd, EPOLL_CTL_ADD, loop->wake_fd, &event);
        watch_listeners(loop, true);
    }
    for (int i = 0; i < loop_count; i++) {
        if (pthread_create(&loops[i].thread, nullptr, run_loop, &loops[i]) != 0) {
            format_reason(error, error_size, "cannot start event loop %d", i);
            return false;
        }
    }
    return true;
}

void loops_stop() {
    stop_asked.store(true);
    // New connections are refused from now on; the sockets close when the loops have ended.
    for (int i = 0; i < listener_count; i++) shutdown(listeners[i].fd, SHUT_RDWR);
    for (int i = 0; i < loop_count; i++) {
        uint64_t one = 1;
        ssize_t written = write(loops[i].wake_fd, &one, sizeof one);
        (void)written;
    }
}

void loops_join() {
    for (int i = 0; i < loop_count; i++) pthread_join(loops[i].thread, nullptr);
    for (int i = 0; i < listener_count; i++) close(listeners[i].fd);
}
