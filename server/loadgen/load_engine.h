// The load generator's engine: N simulated launchers over non-blocking sockets, one epoll loop per
// thread. Each launcher connects, fetches the manifest, fetches one file in pieces with one request
// outstanding, checks the file's SHA-512, and after a dropped connection reconnects and resumes at the
// offset it had reached (as the launcher resumes its .part file).
#pragma once
#include <stdint.h>
#include <sys/socket.h>

#include <vector>

enum LoadProtocol {
    PROTOCOL_LINE,  // the update protocol: hello, TOKEN, MANIFEST, GET, BYE
    PROTOCOL_HTTP,  // HTTP/1.1 keep-alive: the manifest, then Range requests of the file
};

struct LoadOptions {
    sockaddr_storage address;
    socklen_t address_size;
    LoadProtocol protocol;
    int clients;
    int threads;
    char channel[32];
    char digest[129];          // the file's SHA-512, 128 lower-case hex digits
    uint64_t size;             // the file's size
    uint32_t piece;            // bytes asked per request (1 to 262144)
    char file_path[300];       // HTTP: the file's path
    char manifest_path[300];   // HTTP: the manifest's path
    char host_header[80];      // HTTP: the Host header
    int connecting;            // connections being opened at once, per thread
    double min_seconds;        // each client starts another download until this long after the start
    double stall_seconds;      // a connection that makes no progress this long counts as dropped
    int give_up;               // a client fails after this many reconnects in a row without progress
    bool idle;                 // idle mode: say hello, then hold the connection
    double hold_seconds;       // idle mode: how long to hold every connection once all are open
    char ready_file[300];      // idle mode: written when every connection is open
};

struct LoadReport {
    uint64_t bytes;             // file bytes received
    uint64_t pieces;            // piece answers completed
    uint64_t downloads;         // whole files received and checked
    uint64_t bad_digest;        // whole files whose SHA-512 was wrong
    uint64_t reconnects;        // connections dropped before the client finished, then resumed
    uint64_t refusals;          // answers that were refusals or not answers at all
    uint64_t finished_clients;  // clients whose last download ended with a good SHA-512
    uint64_t failed_clients;    // clients that gave up
    uint64_t idle_open;         // idle mode: connections open after the hello
    uint64_t idle_closed;       // idle mode: of those, closed by the server while held
    double seconds;             // from the start to the last client's end
    std::vector<uint32_t> piece_us;  // time of every piece, request sent to last byte, microseconds
    char first_problem[256];    // the first refusal or failure, for the report
};

// Runs the load; false with a reason in report->first_problem when it could not start at all.
bool run_load(const LoadOptions& options, LoadReport* report);

// Set by a signal handler: every loop ends soon after.
void stop_load();

// Set by a signal handler: no client starts another download; those under way finish.
void wind_down_load();
