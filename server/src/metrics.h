// Counters of the event loops and their text in the Prometheus exposition format. Each loop counts in
// its own record (no shared cache line is written by two loops); the metrics page sums them.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <atomic>

#define LOOPS_MAX 256

enum ErrorKind {
    ERROR_BAD_REQUEST,
    ERROR_BAD_RANGE,
    ERROR_UNKNOWN_FILE,
    ERROR_NO_RELEASE,
    ERROR_LINE_TOO_LONG,
    ERROR_BAD_HELLO,
    ERROR_HELLO_TIMEOUT,
    ERROR_LINE_TIMEOUT,
    ERROR_IDLE_TIMEOUT,
    ERROR_SEND_TIMEOUT,
    ERROR_REFUSED_PER_ADDRESS,
    ERROR_REFUSED_TOTAL,
    ERROR_FILE_CHANGED,
    ERROR_KIND_COUNT
};

struct alignas(64) LoopCounters {
    std::atomic<uint64_t> connections;
    std::atomic<uint64_t> bytes_sent;  // every byte written to clients
    std::atomic<uint64_t> gets;
    std::atomic<uint64_t> manifests;
    std::atomic<uint64_t> errors[ERROR_KIND_COUNT];
};

extern LoopCounters loop_counters[LOOPS_MAX];
extern std::atomic<int> connections_open;
extern std::atomic<uint64_t> reloads_ok;
extern std::atomic<uint64_t> reloads_refused;

inline void count(std::atomic<uint64_t>& counter, uint64_t n = 1) {
    counter.fetch_add(n, std::memory_order_relaxed);
}

const char* error_kind_name(ErrorKind kind);
// The metrics page (the body of the HTTP answer); gives its length.
size_t metrics_text(char* out, size_t cap, int loops);
