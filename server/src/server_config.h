// The server's settings: from its command line and, with --config, from a small file of the same
// settings, one "name value" per line.
#pragma once

#include <stddef.h>
#include <sys/socket.h>

#include "release_store.h"

#define LISTEN_MAX 8
#define CONFIG_PATH_CAP 512

struct ListenAddress {
    sockaddr_storage address;
    socklen_t length;
    char text[80];
};

struct ReleaseFolder {
    char folder[RELEASE_FOLDER_CAP];
    char channel[RELEASE_CHANNEL_CAP];  // empty: the channel the manifest names
};

struct ServerConfig {
    ListenAddress listen[LISTEN_MAX];
    int listen_count;
    ListenAddress metrics;
    bool metrics_on;
    ReleaseFolder releases[RELEASE_CHANNELS_MAX];
    int release_count;
    char release_keys[400];
    int threads;
    int max_connections;
    int max_per_address;  // 0: no cap per address
    bool proxy_protocol;  // connections come through a proxy that sends a PROXY line first
    int hello_timeout_ms;
    int line_timeout_ms;
    int idle_timeout_ms;
    int send_timeout_ms;
    int stop_timeout_ms;
    char ready_file[CONFIG_PATH_CAP];
    bool check_only;  // --check: check the release folders and end
};

extern const char* const SERVER_USAGE;

// Fills config from the arguments (argv[0] is skipped); false with a reason for a bad argument.
// *help is set when --help was asked for.
bool parse_server_args(int argc, char** argv, ServerConfig* config, bool* help, char* error, size_t error_size);
// Reads "1.2.3.4:20292", "[::]:20292" or "*:20292" (every IPv4 address).
bool parse_listen_address(const char* text, ListenAddress* out);
