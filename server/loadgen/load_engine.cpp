// The load generator's engine (see load_engine.h): one Worker record per thread, each with its own
// epoll set and its share of the clients. A client is a small record (a few KiB with its SHA-512
// state); payload bytes pass through the worker's one receive buffer into the hash and are not kept.
#include "load_engine.h"

#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sodium.h>
#include <stdio.h>
#include <string.h>
#include <sys/epoll.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "answer_parse.h"

namespace {

const uint64_t MANIFEST_LIMIT = 1048576;
const size_t RECEIVE_BUFFER = 262144;

enum ClientState {
    S_WAIT,           // not connected; connects at wake_us
    S_CONNECTING,     // connect() in progress
    S_HELLO,          // hello sent, its answer awaited (line protocol)
    S_MANIFEST_HEAD,  // manifest asked, its answer head awaited
    S_MANIFEST_BODY,
    S_PIECE_HEAD,     // a piece asked, its answer head awaited
    S_PIECE_BODY,
    S_HOLD,           // idle mode: open and quiet
    S_DONE,
    S_FAILED,
};

struct Client {
    int fd;
    uint32_t generation;  // bumped at every new connection: tells stale epoll events apart
    int index;
    ClientState state;
    uint64_t offset;      // file bytes received and hashed so far (kept across reconnects)
    uint64_t body_left;   // payload bytes of the current answer still to come
    uint32_t asked;
    bool http_close;      // the current answer announced Connection: close
    int drops_in_row;     // reconnects since the last file byte arrived
    int64_t piece_started_us;
    int64_t last_progress_us;
    int64_t wake_us;
    std::string manifest;
    char head[2048];
    size_t head_len;
    char out[640];
    size_t out_len;
    size_t out_sent;
    crypto_hash_sha512_state sha;
};

struct Worker {
    const LoadOptions* options;
    int epoll_fd;
    std::vector<Client> clients;
    int opening;  // clients in S_CONNECTING or S_HELLO
    LoadReport report;
    char* buffer;
};

std::atomic<bool> g_stop(false);
std::atomic<bool> g_wind_down(false);  // start no new download; finish the ones under way
std::atomic<int> g_settled(0);     // idle mode: clients holding their connection or given up
std::atomic<bool> g_ready(false);  // idle mode: every client settled, the ready file written
int64_t g_start_us;
int64_t g_ready_us;

int64_t now_us() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000000 + t.tv_nsec / 1000;
}

void note_problem(Worker* w, const Client& c, const char* what, const char* detail) {
    if (w->report.first_problem[0]) return;
    snprintf(w->report.first_problem, sizeof w->report.first_problem, "client %d: %s%s%.120s", c.index, what,
             detail[0] ? ": " : "", detail);
}

void set_interest(Worker* w, Client* c, bool want_write) {
    epoll_event event = {};
    event.events = want_write ? (uint32_t)(EPOLLIN | EPOLLOUT) : (uint32_t)EPOLLIN;
    event.data.u64 = ((uint64_t)c->generation << 32) | (uint32_t)c->index;
    epoll_ctl(w->epoll_fd, EPOLL_CTL_MOD, c->fd, &event);
}

void close_connection(Worker* w, Client* c) {
    if (c->fd >= 0) close(c->fd);  // also leaves the epoll set
    c->fd = -1;
    if (c->state == S_CONNECTING || c->state == S_HELLO) w->opening--;
    c->head_len = 0;
    c->out_len = c->out_sent = 0;
    c->body_left = 0;
    c->http_close = false;
    c->manifest.clear();
    c->manifest.shrink_to_fit();
}

void give_up(Worker* w, Client* c, const char* why) {
    close_connection(w, c);
    c->state = S_FAILED;
    w->report.failed_clients++;
    note_problem(w, *c, "gave up", why);
    if (w->options->idle) g_settled++;
}

// A connection ended before the client was done: reconnect after a short wait and resume.
void drop(Worker* w, Client* c, const char* why) {
    if (c->state == S_HOLD) {
        close_connection(w, c);
        c->state = S_DONE;
        w->report.idle_closed++;
        return;
    }
    close_connection(w, c);
    w->report.reconnects++;
    c->drops_in_row++;
    if (c->drops_in_row > w->options->give_up) {
        c->state = S_WAIT;  // so that give_up does not count it as opening
        give_up(w, c, why);
        return;
    }
    int shift = c->drops_in_row - 1 < 7 ? c->drops_in_row - 1 : 7;
    c->state = S_WAIT;
    c->wake_us = now_us() + (10000 << shift) + (c->index % 10) * 1000;
}

// Sends what is queued; a send that would block leaves the rest for EPOLLOUT.
bool flush(Worker* w, Client* c) {
    while (c->out_sent < c->out_len) {
        ssize_t n = send(c->fd, c->out + c->out_sent, c->out_len - c->out_sent, MSG_NOSIGNAL);
        if (n > 0) {
            c->out_sent += (size_t)n;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            set_interest(w, c, true);
            return true;
        }
        drop(w, c, "the request could not be sent");
        return false;
    }
    c->out_len = c->out_sent = 0;
    return true;
}

bool queue_text(Worker* w, Client* c, const char* text) {
    size_t n = strlen(text);
    if (c->out_len + n > sizeof c->out) n = sizeof c->out - c->out_len;
    memcpy(c->out + c->out_len, text, n);
    c->out_len += n;
    return flush(w, c);
}

bool ask_manifest(Worker* w, Client* c) {
    const LoadOptions& o = *w->options;
    char request[512];
    if (o.protocol == PROTOCOL_LINE)
        snprintf(request, sizeof request, "TOKEN loadgen-%d\nMANIFEST %s\n", c->index, o.channel);
    else
        snprintf(request, sizeof request, "GET %s HTTP/1.1\r\nHost: %s\r\n\r\n", o.manifest_path, o.host_header);
    c->state = S_MANIFEST_HEAD;
    return queue_text(w, c, request);
}

bool ask_piece(Worker* w, Client* c) {
    const LoadOptions& o = *w->options;
    uint64_t left = o.size - c->offset;
    c->asked = left < o.piece ? (uint32_t)left : o.piece;
    char request[600];
    if (o.protocol == PROTOCOL_LINE)
        snprintf(request, sizeof request, "GET %s %llu %u\n", o.digest, (unsigned long long)c->offset, c->asked);
    else
        snprintf(request, sizeof request, "GET %s HTTP/1.1\r\nHost: %s\r\nRange: bytes=%llu-%llu\r\n\r\n",
                 o.file_path, o.host_header, (unsigned long long)c->offset,
                 (unsigned long long)(c->offset + c->asked - 1));
    c->state = S_PIECE_HEAD;
    c->piece_started_us = now_us();
    return queue_text(w, c, request);
}

void start_connect(Worker* w, Client* c) {
    const LoadOptions& o = *w->options;
    c->generation++;
    c->fd = socket(o.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    c->last_progress_us = now_us();
    if (c->fd < 0) {
        c->state = S_WAIT;
        drop(w, c, "no socket");
        return;
    }
    int one = 1;
    setsockopt(c->fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    c->state = S_CONNECTING;
    w->opening++;
    int result = connect(c->fd, (const sockaddr*)&o.address, o.address_size);
    if (result < 0 && errno != EINPROGRESS) {
        drop(w, c, "connect failed");
        return;
    }
    epoll_event event = {};
    event.events = EPOLLIN | EPOLLOUT;
    event.data.u64 = ((uint64_t)c->generation << 32) | (uint32_t)c->index;
    epoll_ctl(w->epoll_fd, EPOLL_CTL_ADD, c->fd, &event);
}

void on_connected(Worker* w, Client* c) {
    int error = 0;
    socklen_t size = sizeof error;
    getsockopt(c->fd, SOL_SOCKET, SO_ERROR, &error, &size);
    if (error != 0) {
        drop(w, c, "the connection was refused");
        return;
    }
    set_interest(w, c, false);
    if (w->options->protocol == PROTOCOL_LINE) {
        c->state = S_HELLO;
        queue_text(w, c, "ZANDOR-UPDATE 1\n");
    } else {
        w->opening--;
        c->state = S_MANIFEST_HEAD;  // so that a drop in ask_manifest does not count it as opening
        ask_manifest(w, c);
    }
}

// Starts the next download of this client, or ends it.
void next_download(Worker* w, Client* c, bool good) {
    const LoadOptions& o = *w->options;
    if (now_us() - g_start_us < (int64_t)(o.min_seconds * 1e6) && !g_stop && !g_wind_down) {
        c->offset = 0;
        crypto_hash_sha512_init(&c->sha);
        c->state = S_WAIT;
        c->wake_us = now_us();
        return;
    }
    c->state = good ? S_DONE : S_FAILED;
    if (good) w->report.finished_clients++;
    else w->report.failed_clients++;
}

void finish_download(Worker* w, Client* c) {
    const LoadOptions& o = *w->options;
    if (o.protocol == PROTOCOL_LINE) send(c->fd, "BYE\n", 4, MSG_NOSIGNAL);  // no answer; errors do not matter
    close_connection(w, c);
    unsigned char digest[crypto_hash_sha512_BYTES];
    crypto_hash_sha512_final(&c->sha, digest);
    char hex[2 * crypto_hash_sha512_BYTES + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    w->report.downloads++;
    bool good = strcmp(hex, o.digest) == 0;
    if (!good) {
        w->report.bad_digest++;
        note_problem(w, *c, "the file's SHA-512 is wrong", hex);
    }
    next_download(w, c, good);
}

// A whole answer head has arrived in c->head.
void on_head(Worker* w, Client* c) {
    const LoadOptions& o = *w->options;
    size_t n = c->head_len;
    c->head_len = 0;
    if (c->state == S_HELLO) {
        size_t m = 0;
        char line[64];
        for (size_t i = 0; i < n && m < sizeof line - 1; i++)
            if (c->head[i] != '\r' && c->head[i] != '\n') line[m++] = c->head[i];
        line[m] = 0;
        if (strcmp(line, "ZANDOR-UPDATE-OK 1") != 0) {
            w->report.refusals++;
            note_problem(w, *c, "a wrong hello answer", line);
            drop(w, c, "a wrong hello answer");
            return;
        }
        w->opening--;
        if (o.idle) {
            c->state = S_HOLD;
            w->report.idle_open++;
            g_settled++;
            return;
        }
        ask_manifest(w, c);
        return;
    }
    bool manifest = c->state == S_MANIFEST_HEAD;
    uint64_t maximum = manifest ? MANIFEST_LIMIT : c->asked;
    AnswerHead head = o.protocol == PROTOCOL_LINE ? parse_answer_line(c->head, n ? n - 1 : 0, maximum)
                                                  : parse_http_head(c->head, n, manifest ? 200 : 206, maximum);
    if (head.kind != ANSWER_OK || (!manifest && head.length == 0)) {
        w->report.refusals++;
        std::string text(c->head, n);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        note_problem(w, *c, manifest ? "the manifest was refused" : "a piece was refused", text.c_str());
        drop(w, c, "a refusal");
        return;
    }
    c->http_close = head.close;
    c->body_left = head.length;
    c->state = manifest ? S_MANIFEST_BODY : S_PIECE_BODY;
}

void on_body_done(Worker* w, Client* c) {
    const LoadOptions& o = *w->options;
    if (c->state == S_MANIFEST_BODY) {
        bool listed = c->manifest.find(o.digest) != std::string::npos;
        c->manifest.clear();
        c->manifest.shrink_to_fit();
        if (!listed) {
            w->report.refusals++;
            note_problem(w, *c, "the manifest does not list the file", "");
            drop(w, c, "the manifest does not list the file");
            return;
        }
    } else {
        w->report.pieces++;
        w->report.piece_us.push_back((uint32_t)(now_us() - c->piece_started_us));
        if (c->offset == o.size) {
            finish_download(w, c);
            return;
        }
    }
    if (c->http_close) {
        // The server ends keep-alive here: a new connection, not a fault.
        close_connection(w, c);
        c->state = S_WAIT;
        c->wake_us = now_us();
        return;
    }
    ask_piece(w, c);
}

// Bytes received on a client's connection.
void on_bytes(Worker* w, Client* c, const char* data, size_t n) {
    const LoadOptions& o = *w->options;
    c->last_progress_us = now_us();
    while (n > 0 && c->fd >= 0) {
        if (c->state == S_MANIFEST_BODY || c->state == S_PIECE_BODY) {
            size_t m = n < c->body_left ? n : (size_t)c->body_left;
            if (c->state == S_MANIFEST_BODY) {
                c->manifest.append(data, m);
            } else {
                crypto_hash_sha512_update(&c->sha, (const unsigned char*)data, m);
                c->offset += m;
                w->report.bytes += m;
                c->drops_in_row = 0;
            }
            c->body_left -= m;
            data += m;
            n -= m;
            if (c->body_left == 0) on_body_done(w, c);
            continue;
        }
        if (c->state != S_HELLO && c->state != S_MANIFEST_HEAD && c->state != S_PIECE_HEAD) {
            w->report.refusals++;
            note_problem(w, *c, "bytes nobody asked for", "");
            drop(w, c, "unasked bytes");
            return;
        }
        // The head: copied until its end, the rest of the bytes are payload.
        size_t room = sizeof c->head - c->head_len;
        size_t take = n < room ? n : room;
        memcpy(c->head + c->head_len, data, take);
        size_t scan_from = c->head_len > 3 ? c->head_len - 3 : 0;
        size_t end = o.protocol == PROTOCOL_HTTP && c->state != S_HELLO
                         ? http_head_end(c->head + scan_from, c->head_len + take - scan_from)
                         : line_end(c->head + c->head_len, take);
        if (end == 0) {
            c->head_len += take;
            data += take;
            n -= take;
            if (c->head_len == sizeof c->head) {
                w->report.refusals++;
                note_problem(w, *c, "an answer head without an end", "");
                drop(w, c, "an overlong answer head");
                return;
            }
            continue;
        }
        size_t used = o.protocol == PROTOCOL_HTTP && c->state != S_HELLO ? scan_from + end - c->head_len : end;
        c->head_len += used;
        data += used;
        n -= used;
        on_head(w, c);
    }
}

void on_event(Worker* w, Client* c, uint32_t events) {
    if (c->state == S_CONNECTING) {
        if (events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) on_connected(w, c);
        if (c->fd < 0 || c->state == S_CONNECTING) return;
    } else if ((events & EPOLLOUT) && c->out_len > 0) {
        if (!flush(w, c)) return;
        if (c->out_len == 0) set_interest(w, c, false);
    }
    if (!(events & (EPOLLIN | EPOLLHUP | EPOLLERR))) return;
    ssize_t n = recv(c->fd, w->buffer, RECEIVE_BUFFER, 0);
    if (n > 0) {
        on_bytes(w, c, w->buffer, (size_t)n);
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    drop(w, c, n == 0 ? "the server closed the connection" : "the connection broke");
}

void write_ready_file(const char* path) {
    if (!path[0]) return;
    std::string temporary = std::string(path) + ".tmp";
    FILE* f = fopen(temporary.c_str(), "w");
    if (!f) return;
    fputs("ready\n", f);
    fclose(f);
    rename(temporary.c_str(), path);
}

void worker_loop(Worker* w) {
    const LoadOptions& o = *w->options;
    epoll_event events[256];
    int64_t last_scan = 0;
    for (;;) {
        int64_t now = now_us();
        if (now - last_scan >= 5000) {
            last_scan = now;
            int active = 0;
            for (Client& c : w->clients) {
                if (c.state == S_DONE || c.state == S_FAILED) continue;
                active++;
                if (g_stop) {
                    close_connection(w, &c);
                    c.state = S_DONE;
                    continue;
                }
                if (c.state == S_WAIT) {
                    if (c.wake_us <= now && w->opening < o.connecting) start_connect(w, &c);
                } else if (c.state != S_HOLD && now - c.last_progress_us > (int64_t)(o.stall_seconds * 1e6)) {
                    drop(w, &c, "no progress");
                }
            }
            if (active == 0) break;
            if (o.idle) {
                if (!g_ready && g_settled == o.clients) {
                    bool expected = false;
                    if (g_ready.compare_exchange_strong(expected, true)) {
                        g_ready_us = now;
                        write_ready_file(o.ready_file);
                    }
                }
                if (g_ready && now - g_ready_us >= (int64_t)(o.hold_seconds * 1e6)) {
                    for (Client& c : w->clients) {
                        if (c.state == S_HOLD) {
                            close_connection(w, &c);
                            c.state = S_DONE;
                        }
                    }
                }
            }
        }
        int count = epoll_wait(w->epoll_fd, events, 256, 5);
        for (int i = 0; i < count; i++) {
            uint32_t index = (uint32_t)events[i].data.u64;
            uint32_t generation = (uint32_t)(events[i].data.u64 >> 32);
            Client* c = &w->clients[index];
            if (c->fd < 0 || c->generation != generation) continue;
            on_event(w, c, events[i].events);
        }
    }
}

}  // namespace

void stop_load() { g_stop = true; }

void wind_down_load() { g_wind_down = true; }

bool run_load(const LoadOptions& options, LoadReport* report) {
    if (sodium_init() < 0) {
        snprintf(report->first_problem, sizeof report->first_problem, "libsodium does not start");
        return false;
    }
    int threads = options.threads < 1 ? 1 : options.threads;
    std::vector<Worker> workers((size_t)threads);
    for (int t = 0; t < threads; t++) {
        Worker& w = workers[(size_t)t];
        w.options = &options;
        w.epoll_fd = epoll_create1(EPOLL_CLOEXEC);
        w.opening = 0;
        w.report = LoadReport();
        w.buffer = new char[RECEIVE_BUFFER];
        if (w.epoll_fd < 0) {
            snprintf(report->first_problem, sizeof report->first_problem, "no epoll set: %s", strerror(errno));
            return false;
        }
    }
    // Clients are spread over the threads; within a thread their index is their place in its list.
    for (int i = 0; i < options.clients; i++) {
        Worker& w = workers[(size_t)(i % threads)];
        w.clients.emplace_back();
        Client& c = w.clients.back();
        c.fd = -1;
        c.generation = 0;
        c.index = (int)w.clients.size() - 1;
        c.state = S_WAIT;
        c.offset = c.body_left = 0;
        c.asked = 0;
        c.http_close = false;
        c.drops_in_row = 0;
        c.piece_started_us = c.last_progress_us = c.wake_us = 0;
        c.head_len = c.out_len = c.out_sent = 0;
        crypto_hash_sha512_init(&c.sha);
    }
    g_start_us = now_us();
    std::vector<std::thread> running;
    for (int t = 0; t < threads; t++) running.emplace_back(worker_loop, &workers[(size_t)t]);
    for (std::thread& t : running) t.join();
    *report = LoadReport();
    report->seconds = (double)(now_us() - g_start_us) / 1e6;
    for (Worker& w : workers) {
        LoadReport& r = w.report;
        report->bytes += r.bytes;
        report->pieces += r.pieces;
        report->downloads += r.downloads;
        report->bad_digest += r.bad_digest;
        report->reconnects += r.reconnects;
        report->refusals += r.refusals;
        report->finished_clients += r.finished_clients;
        report->failed_clients += r.failed_clients;
        report->idle_open += r.idle_open;
        report->idle_closed += r.idle_closed;
        report->piece_us.insert(report->piece_us.end(), r.piece_us.begin(), r.piece_us.end());
        if (!report->first_problem[0] && r.first_problem[0])
            memcpy(report->first_problem, r.first_problem, sizeof report->first_problem);
        close(w.epoll_fd);
        delete[] w.buffer;
    }
    return true;
}
