// zandor-loadgen: plays N launchers against an update server (or the same files over HTTP) and reports
// the throughput, the time of a piece and every failure. Figures for scripts/bench are printed as
// "@name value" lines after the readable summary.
#include <netdb.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>

#include <algorithm>

#include "load_engine.h"

namespace {

const char USAGE[] =
    "usage: zandor-loadgen --port PORT --digest HEX --size BYTES [options]\n"
    "  --host HOST            the server (default 127.0.0.1; IPv4 or IPv6)\n"
    "  --http                 HTTP/1.1 keep-alive with Range requests instead of the update protocol\n"
    "  --clients N            simulated launchers (default 100)\n"
    "  --threads N            event loops (default 1)\n"
    "  --channel NAME         the manifest's channel (default client)\n"
    "  --piece BYTES          bytes per request, 1 to 262144 (default 262144)\n"
    "  --file-path PATH       HTTP: the file's path (default /files/<digest>)\n"
    "  --manifest-path PATH   HTTP: the manifest's path (default /manifest.txt)\n"
    "  --connecting N         connections opened at once per thread (default 64)\n"
    "  --min-seconds S        clients start new downloads until S seconds have passed (default 0)\n"
    "                         or until SIGUSR1 (SIGTERM and SIGINT stop at once)\n"
    "  --stall-seconds S      a connection without progress this long counts as dropped (default 30)\n"
    "  --give-up N            reconnects in a row without progress before a client fails (default 40)\n"
    "  --idle                 only say hello and hold every connection open\n"
    "  --hold-seconds S       idle: how long to hold them once all are open (default 10)\n"
    "  --ready-file PATH      idle: written when every connection is open\n";

void on_signal(int) { stop_load(); }
void on_wind_down(int) { wind_down_load(); }

bool copy_option(char* target, size_t capacity, const char* value) {
    if (strlen(value) >= capacity) return false;
    memcpy(target, value, strlen(value) + 1);
    return true;
}

bool is_hex_digest(const char* text) {
    if (strlen(text) != 128) return false;
    for (const char* p = text; *p; p++)
        if (!((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f'))) return false;
    return true;
}

double percentile(std::vector<uint32_t>& values, double fraction) {
    if (values.empty()) return 0;
    size_t at = (size_t)(fraction * (double)(values.size() - 1) + 0.5);
    std::nth_element(values.begin(), values.begin() + (long)at, values.end());
    return values[at] / 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
    static LoadOptions o;
    const char* host = "127.0.0.1";
    const char* port = nullptr;
    o.protocol = PROTOCOL_LINE;
    o.clients = 100;
    o.threads = 1;
    copy_option(o.channel, sizeof o.channel, "client");
    o.piece = 262144;
    o.connecting = 64;
    o.stall_seconds = 30;
    o.give_up = 40;
    o.hold_seconds = 10;
    copy_option(o.manifest_path, sizeof o.manifest_path, "/manifest.txt");
    bool good = true;
    for (int i = 1; i < argc && good; i++) {
        const char* a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        bool takes = true;
        if (!strcmp(a, "--http")) { o.protocol = PROTOCOL_HTTP; takes = false; }
        else if (!strcmp(a, "--idle")) { o.idle = true; takes = false; }
        else if (!v) good = false;
        else if (!strcmp(a, "--host")) host = v;
        else if (!strcmp(a, "--port")) port = v;
        else if (!strcmp(a, "--clients")) o.clients = atoi(v);
        else if (!strcmp(a, "--threads")) o.threads = atoi(v);
        else if (!strcmp(a, "--channel")) good = copy_option(o.channel, sizeof o.channel, v);
        else if (!strcmp(a, "--digest")) good = copy_option(o.digest, sizeof o.digest, v);
        else if (!strcmp(a, "--size")) o.size = strtoull(v, nullptr, 10);
        else if (!strcmp(a, "--piece")) o.piece = (uint32_t)strtoul(v, nullptr, 10);
        else if (!strcmp(a, "--file-path")) good = copy_option(o.file_path, sizeof o.file_path, v);
        else if (!strcmp(a, "--manifest-path")) good = copy_option(o.manifest_path, sizeof o.manifest_path, v);
        else if (!strcmp(a, "--connecting")) o.connecting = atoi(v);
        else if (!strcmp(a, "--min-seconds")) o.min_seconds = atof(v);
        else if (!strcmp(a, "--stall-seconds")) o.stall_seconds = atof(v);
        else if (!strcmp(a, "--give-up")) o.give_up = atoi(v);
        else if (!strcmp(a, "--hold-seconds")) o.hold_seconds = atof(v);
        else if (!strcmp(a, "--ready-file")) good = copy_option(o.ready_file, sizeof o.ready_file, v);
        else {
            fprintf(stderr, "loadgen: unknown option %s\n", a);
            good = false;
        }
        if (takes) i++;
    }
    if (!good || !port || o.clients < 1 || o.threads < 1 || o.connecting < 1 ||
        (!o.idle && (!is_hex_digest(o.digest) || o.size == 0 || o.piece < 1 || o.piece > 262144))) {
        fputs(USAGE, stderr);
        return 2;
    }
    if (!o.file_path[0]) snprintf(o.file_path, sizeof o.file_path, "/files/%s", o.digest);
    snprintf(o.host_header, sizeof o.host_header, "%s", host);

    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, port, &hints, &found) != 0 || !found) {
        fprintf(stderr, "loadgen: the host %s (port %s) is not known\n", host, port);
        return 1;
    }
    memcpy(&o.address, found->ai_addr, found->ai_addrlen);
    o.address_size = found->ai_addrlen;
    freeaddrinfo(found);

    // Thousands of connections need as many descriptors: the soft limit goes up to the hard one.
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        if (limit.rlim_cur < (rlim_t)o.clients + 16)
            fprintf(stderr, "loadgen: only %llu descriptors for %d clients\n", (unsigned long long)limit.rlim_cur,
                    o.clients);
    }
    signal(SIGPIPE, SIG_IGN);
    signal(SIGINT, on_signal);
    signal(SIGTERM, on_signal);
    signal(SIGUSR1, on_wind_down);

    static LoadReport r;
    if (!run_load(o, &r)) {
        fprintf(stderr, "loadgen: %s\n", r.first_problem);
        return 1;
    }
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    double cpu = (double)usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + (double)usage.ru_stime.tv_sec +
                 usage.ru_stime.tv_usec / 1e6;
    if (o.idle) {
        printf("%llu of %d connections open after the hello; %llu closed by the server while held\n",
               (unsigned long long)r.idle_open, o.clients, (unsigned long long)r.idle_closed);
        printf("@idle_open %llu\n@idle_closed %llu\n@failed_clients %llu\n", (unsigned long long)r.idle_open,
               (unsigned long long)r.idle_closed, (unsigned long long)r.failed_clients);
        if (r.first_problem[0]) printf("first problem: %s\n", r.first_problem);
        return r.idle_open == (uint64_t)o.clients ? 0 : 1;
    }
    double mib_s = r.seconds > 0 ? (double)r.bytes / 1048576.0 / r.seconds : 0;
    double pieces_s = r.seconds > 0 ? (double)r.pieces / r.seconds : 0;
    double median = percentile(r.piece_us, 0.5);
    double p99 = percentile(r.piece_us, 0.99);
    printf("%d clients (%s): %llu files, %.1f MiB in %.2f s: %.1f MiB/s, %.0f pieces/s\n", o.clients,
           o.protocol == PROTOCOL_HTTP ? "HTTP" : "update protocol", (unsigned long long)r.downloads,
           (double)r.bytes / 1048576.0, r.seconds, mib_s, pieces_s);
    printf("piece time: median %.2f ms, 99th percentile %.2f ms\n", median, p99);
    printf("clients finished %llu, failed %llu; files with a wrong SHA-512 %llu; reconnects %llu; refusals %llu\n",
           (unsigned long long)r.finished_clients, (unsigned long long)r.failed_clients,
           (unsigned long long)r.bad_digest, (unsigned long long)r.reconnects, (unsigned long long)r.refusals);
    printf("generator CPU: %.2f s\n", cpu);
    if (r.first_problem[0]) printf("first problem: %s\n", r.first_problem);
    printf("@mib_s %.2f\n@pieces_s %.1f\n@piece_median_ms %.3f\n@piece_p99_ms %.3f\n", mib_s, pieces_s, median, p99);
    printf("@downloads %llu\n@bad_digest %llu\n@reconnects %llu\n@refusals %llu\n", (unsigned long long)r.downloads,
           (unsigned long long)r.bad_digest, (unsigned long long)r.reconnects, (unsigned long long)r.refusals);
    printf("@finished_clients %llu\n@failed_clients %llu\n@seconds %.3f\n@cpu_s %.2f\n",
           (unsigned long long)r.finished_clients, (unsigned long long)r.failed_clients, r.seconds, cpu);
    bool all_good = r.failed_clients == 0 && r.bad_digest == 0 && r.finished_clients == (uint64_t)o.clients;
    return all_good ? 0 : 1;
}
