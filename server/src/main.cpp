// zandor-update-server: serves signed releases to ZANDOR launchers. The main thread checks the
// releases (at start and on SIGHUP), answers the metrics page and waits for SIGTERM; the event loops
// serve the connections.
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/text.h"
#include "event_loops.h"
#include "metrics.h"
#include "release_store.h"
#include "server_config.h"
#include "server_keys.h"
#include "server_log.h"

static ServerConfig config;
// The channel each release folder served last, so that a folder cannot switch channels on a reload.
static char folder_channels[RELEASE_CHANNELS_MAX][RELEASE_CHANNEL_CAP];

// Checks every release folder and serves the ones that pass; a folder that fails keeps what it
// served. Gives the number of folders refused.
static int check_releases(bool first) {
    ReleaseSet* old = served_set_hold();
    ReleaseSet* fresh = release_set_new();
    fresh->count = config.release_count;
    int refused = 0;
    for (int i = 0; i < config.release_count; i++) {
        const ReleaseFolder* folder = &config.releases[i];
        const char* channel = folder->channel[0] ? folder->channel : folder_channels[i];
        Release* previous = i < old->count ? old->releases[i] : nullptr;
        Release* release = nullptr;
        char reason[600];
        bool ok = release_open(folder->folder, channel, previous ? previous->number : 0, &release, reason,
                               sizeof reason);
        for (int j = 0; ok && j < i; j++) {
            if (fresh->releases[j] && strcmp(fresh->releases[j]->channel, release->channel) == 0) {
                format_text(reason, sizeof reason, "channel %s is served already from %s", release->channel,
                            fresh->releases[j]->folder);
                release_drop(release);
                release = nullptr;
                ok = false;
            }
        }
        if (ok && previous && release_same(previous, release)) {
            // Checked again and unchanged: the record served stays, with its open files.
            release_drop(release);
            release_hold(previous);
            release = previous;
        }
        if (ok) {
            fresh->releases[i] = release;
            copy_text(folder_channels[i], sizeof folder_channels[i], release->channel);
            if (!first) count(reloads_ok);
            server_log("serving release %llu of channel %s from %s (%u files, %llu bytes, checked)",
                       (unsigned long long)release->number, release->channel, folder->folder, release->file_count,
                       (unsigned long long)release->total_bytes);
        } else {
            refused++;
            if (!first) count(reloads_refused);
            if (previous) {
                release_hold(previous);
                fresh->releases[i] = previous;
                server_log("release %s refused: %s; still serving release %llu of channel %s", folder->folder,
                           reason, (unsigned long long)previous->number, previous->channel);
            } else {
                server_log("release %s refused: %s; nothing is served from it", folder->folder, reason);
            }
        }
    }
    release_set_drop(old);
    served_set_replace(fresh);
    return refused;
}

static int open_metrics_listener() {
    const ListenAddress* a = &config.metrics;
    int fd = socket(a->address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, (const sockaddr*)&a->address, a->length) != 0 || listen(fd, 16) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

static uint16_t socket_port(int fd) {
    sockaddr_storage bound;
    socklen_t length = sizeof bound;
    if (getsockname(fd, (sockaddr*)&bound, &length) != 0) return 0;
    return ntohs(bound.ss_family == AF_INET ? ((sockaddr_in*)&bound)->sin_port : ((sockaddr_in6*)&bound)->sin6_port);
}

// One scrape: the request is read (briefly) and any GET gets the page; the connection then closes.
static void answer_metrics(int listen_fd) {
    int fd = accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    timeval limit = {2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    char request[2048];
    size_t used = 0;
    while (used < sizeof request - 1) {
        ssize_t n = recv(fd, request + used, sizeof request - 1 - used, 0);
        if (n <= 0) break;
        used += (size_t)n;
        request[used] = 0;
        if (strstr(request, "\r\n\r\n") || strstr(request, "\n\n")) break;
    }
    static char body[32768];
    size_t length = metrics_text(body, sizeof body, config.threads);
    char head[200];
    size_t head_length = format_text(head, sizeof head,
                                     "HTTP/1.0 200 OK\r\nContent-Type: text/plain; version=0.0.4\r\n"
                                     "Content-Length: %zu\r\nConnection: close\r\n\r\n",
                                     length);
    if (used >= 4 && memcmp(request, "GET ", 4) == 0) {
        ssize_t sent = send(fd, head, head_length, MSG_NOSIGNAL | MSG_MORE);
        if (sent == (ssize_t)head_length) sent = send(fd, body, length, MSG_NOSIGNAL);
        (void)sent;
    }
    close(fd);
}

static void write_ready_file(uint16_t port, uint16_t metrics_port) {
    if (!config.ready_file[0]) return;
    char temporary[CONFIG_PATH_CAP + 8];
    format_text(temporary, sizeof temporary, "%s.tmp", config.ready_file);
    FILE* file = fopen(temporary, "w");
    if (!file) return;
    fprintf(file, "%u %u\n", port, metrics_port);
    fclose(file);
    rename(temporary, config.ready_file);
}

// Room for every connection and every served file; the cap on connections stays below it.
static void raise_file_limit() {
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
    uint64_t files = 0;
    ReleaseSet* set = served_set_hold();
    for (int i = 0; i < set->count; i++) files += set->releases[i] ? set->releases[i]->file_count : 0;
    release_set_drop(set);
    // The files of a release served and of one being checked beside it, the listeners and some spare.
    uint64_t reserve = 2 * files + 256;
    uint64_t room = limit.rlim_cur > reserve ? limit.rlim_cur - reserve : 0;
    if ((uint64_t)config.max_connections > room) {
        server_log("--max-connections %d lowered to %llu: the limit on open files is %llu", config.max_connections,
                   (unsigned long long)room, (unsigned long long)limit.rlim_cur);
        config.max_connections = room > 0 ? (int)room : 1;
    }
}

int main(int argc, char** argv) {
    char error[600];
    bool help = false;
    if (!parse_server_args(argc, argv, &config, &help, error, sizeof error)) {
        fprintf(stderr, "zandor-update-server: %s\n\n%s", error, SERVER_USAGE);
        return 2;
    }
    if (help) {
        fputs(SERVER_USAGE, stdout);
        return 0;
    }
    if (!set_release_keys(config.release_keys, error, sizeof error)) {
        fprintf(stderr, "zandor-update-server: --release-keys: %s\n", error);
        return 2;
    }
    if (config.check_only) {
        int refused = 0;
        for (int i = 0; i < config.release_count; i++) {
            Release* release = nullptr;
            if (release_open(config.releases[i].folder, config.releases[i].channel, 0, &release, error, sizeof error)) {
                printf("%s: release %llu of channel %s, %u files, %llu bytes: every file checks out\n",
                       config.releases[i].folder, (unsigned long long)release->number, release->channel,
                       release->file_count, (unsigned long long)release->total_bytes);
                release_drop(release);
            } else {
                printf("%s: refused: %s\n", config.releases[i].folder, error);
                refused++;
            }
        }
        return refused == 0 ? 0 : 1;
    }
    if (config.threads > LOOPS_MAX) config.threads = LOOPS_MAX;
    // Writes to a client that has gone give EPIPE, never a signal (sendfile cannot take MSG_NOSIGNAL).
    signal(SIGPIPE, SIG_IGN);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGHUP);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // the loops inherit the mask

    check_releases(true);
    raise_file_limit();
    if (!listeners_open(&config, error, sizeof error)) {
        server_log("%s", error);
        return 1;
    }
    int metrics_fd = -1;
    if (config.metrics_on) {
        metrics_fd = open_metrics_listener();
        if (metrics_fd < 0) {
            server_log("cannot serve metrics on %s (%s)", config.metrics.text, strerror(errno));
            return 1;
        }
    }
    if (!loops_start(&config, error, sizeof error)) {
        server_log("%s", error);
        return 1;
    }
    int signal_fd = signalfd(-1, &signals, SFD_CLOEXEC);
    char listening[300] = "";
    for (int i = 0; i < config.listen_count; i++) {
        append_format(listening, sizeof listening, "%s%s (port %u)", i ? ", " : "", config.listen[i].text,
                      listener_port(i));
    }
    server_log("listening on %s with %d event loops, at most %d connections (%d per address)%s%s", listening,
               config.threads, config.max_connections, config.max_per_address,
               metrics_fd >= 0 ? "; metrics on " : "", metrics_fd >= 0 ? config.metrics.text : "");
    write_ready_file(listener_port(0), metrics_fd >= 0 ? socket_port(metrics_fd) : 0);

    for (;;) {
        pollfd waits[2] = {{signal_fd, POLLIN, 0}, {metrics_fd, POLLIN, 0}};
        int n = poll(waits, metrics_fd >= 0 ? 2 : 1, -1);
        if (n < 0) continue;
        if (metrics_fd >= 0 && (waits[1].revents & POLLIN)) answer_metrics(metrics_fd);
        if (!(waits[0].revents & POLLIN)) continue;
        signalfd_siginfo info;
        if (read(signal_fd, &info, sizeof info) != (ssize_t)sizeof info) continue;
        if (info.ssi_signo == SIGHUP) {
            server_log("SIGHUP: checking the release folders again");
            check_releases(false);
            continue;
        }
        loops_stop();
        server_log("%s: no new connections; answers in flight get %d s to finish",
                   info.ssi_signo == SIGTERM ? "SIGTERM" : "SIGINT", config.stop_timeout_ms / 1000);
        break;
    }
    loops_join();
    server_log("stopped");
    return 0;
}
