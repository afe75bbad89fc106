// The metrics page.
#include "metrics.h"

#include "core/text.h"
#include "release_store.h"

LoopCounters loop_counters[LOOPS_MAX];
std::atomic<int> connections_open;
std::atomic<uint64_t> reloads_ok;
std::atomic<uint64_t> reloads_refused;

static const char* const ERROR_KIND_NAMES[ERROR_KIND_COUNT] = {
    "bad_request",   "bad_range",      "unknown_file", "no_release",   "line_too_long",
    "bad_hello",     "hello_timeout",  "line_timeout", "idle_timeout", "send_timeout",
    "refused_per_address", "refused_total", "file_changed"};

const char* error_kind_name(ErrorKind kind) {
    return kind >= 0 && kind < ERROR_KIND_COUNT ? ERROR_KIND_NAMES[kind] : "?";
}

static uint64_t sum(int loops, std::atomic<uint64_t> LoopCounters::*field) {
    uint64_t total = 0;
    for (int i = 0; i < loops; i++) total += (loop_counters[i].*field).load(std::memory_order_relaxed);
    return total;
}

size_t metrics_text(char* out, size_t cap, int loops) {
    out[0] = 0;
    size_t n = 0;
    n = append_format(out, cap,
                      "# HELP zandor_update_connections_open Connections open now.\n"
                      "# TYPE zandor_update_connections_open gauge\n"
                      "zandor_update_connections_open %d\n",
                      connections_open.load());
    n = append_format(out, cap,
                      "# HELP zandor_update_connections_total Connections accepted.\n"
                      "# TYPE zandor_update_connections_total counter\n"
                      "zandor_update_connections_total %llu\n",
                      (unsigned long long)sum(loops, &LoopCounters::connections));
    n = append_format(out, cap,
                      "# HELP zandor_update_sent_bytes_total Bytes sent to clients (answer lines, manifests, pieces).\n"
                      "# TYPE zandor_update_sent_bytes_total counter\n"
                      "zandor_update_sent_bytes_total %llu\n",
                      (unsigned long long)sum(loops, &LoopCounters::bytes_sent));
    n = append_format(out, cap,
                      "# HELP zandor_update_gets_total GET requests answered with a piece.\n"
                      "# TYPE zandor_update_gets_total counter\n"
                      "zandor_update_gets_total %llu\n",
                      (unsigned long long)sum(loops, &LoopCounters::gets));
    n = append_format(out, cap,
                      "# HELP zandor_update_manifests_total MANIFEST requests answered with a manifest.\n"
                      "# TYPE zandor_update_manifests_total counter\n"
                      "zandor_update_manifests_total %llu\n",
                      (unsigned long long)sum(loops, &LoopCounters::manifests));
    n = append_format(out, cap,
                      "# HELP zandor_update_errors_total Error answers, refused connections and time-outs, by kind.\n"
                      "# TYPE zandor_update_errors_total counter\n");
    for (int k = 0; k < ERROR_KIND_COUNT; k++) {
        uint64_t total = 0;
        for (int i = 0; i < loops; i++) total += loop_counters[i].errors[k].load(std::memory_order_relaxed);
        n = append_format(out, cap, "zandor_update_errors_total{kind=\"%s\"} %llu\n", ERROR_KIND_NAMES[k],
                          (unsigned long long)total);
    }
    n = append_format(out, cap,
                      "# HELP zandor_update_reloads_total Release checks on SIGHUP, by result.\n"
                      "# TYPE zandor_update_reloads_total counter\n"
                      "zandor_update_reloads_total{result=\"served\"} %llu\n"
                      "zandor_update_reloads_total{result=\"refused\"} %llu\n",
                      (unsigned long long)reloads_ok.load(), (unsigned long long)reloads_refused.load());
    n = append_format(out, cap,
                      "# HELP zandor_update_release The release number served per channel.\n"
                      "# TYPE zandor_update_release gauge\n");
    ReleaseSet* set = served_set_hold();
    for (int i = 0; i < set->count; i++) {
        const Release* r = set->releases[i];
        if (!r) continue;
        n = append_format(out, cap, "zandor_update_release{channel=\"%s\"} %llu\n", r->channel,
                          (unsigned long long)r->number);
    }
    release_set_drop(set);
    return n;
}
