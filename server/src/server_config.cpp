// Settings from the command line and from a config file.
#include "server_config.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "core/codecs.h"
#include "core/text.h"

const char* const SERVER_USAGE =
    "usage: zandor-update-server --release-keys ID:HEX[,ID:HEX...] --release [CHANNEL=]DIR [options]\n"
    "\n"
    "Serves signed releases made by scripts/release to ZANDOR launchers (TCP line protocol).\n"
    "\n"
    "  --release [CHANNEL=]DIR   a release folder (manifest.txt, files/<sha512>); one per channel,\n"
    "                            repeatable; with CHANNEL= its manifest must be for that channel\n"
    "  --release-keys LIST       the release keys the launchers are built with (ZANDOR_RELEASE_KEYS form)\n"
    "  --listen ADDR:PORT        where launchers connect (repeatable; default 0.0.0.0:20292;\n"
    "                            IPv6 as [::]:20292, IPv4 and IPv6 listeners can be given together)\n"
    "  --metrics ADDR:PORT       Prometheus text metrics over HTTP (off unless given)\n"
    "  --threads N               event loops, one per core (default: the number of cores)\n"
    "  --max-connections N       connections open at once, all addresses (default 20000)\n"
    "  --max-per-address N       connections open at once from one address (default 32; 0: no cap)\n"
    "  --proxy-protocol yes|no   behind HAProxy (send-proxy): each connection starts with a PROXY line\n"
    "                            naming the client, whose address the log and the cap per address use;\n"
    "                            direct connections are then refused (default no)\n"
    "  --hello-timeout S         time to say the hello after connecting (default 10)\n"
    "  --line-timeout S          time to finish a request line once it has begun (default 10)\n"
    "  --idle-timeout S          time for the next manifest or piece to be asked for (default 120)\n"
    "  --send-timeout S          time for a client to take one whole answer (default 60)\n"
    "  --stop-timeout S          on SIGTERM, time for answers in flight to finish (default 20)\n"
    "  --ready-file PATH         written with \"PORT METRICS_PORT\" once listening (tests)\n"
    "  --config FILE             more settings, one \"name value\" per line (names as above, no --)\n"
    "  --check                   check the release folders as a reload would, say what it finds, end\n"
    "                            (status 0 when every folder passes)\n"
    "\n"
    "SIGHUP checks every release folder again and serves the ones that pass; SIGTERM stops.\n";

bool parse_listen_address(const char* text, ListenAddress* out) {
    char host[80];
    const char* port;
    if (text[0] == '[') {
        const char* close = strchr(text, ']');
        if (!close || close[1] != ':' || (size_t)(close - text - 1) >= sizeof host) return false;
        memcpy(host, text + 1, (size_t)(close - text - 1));
        host[close - text - 1] = 0;
        port = close + 2;
    } else {
        const char* colon = strrchr(text, ':');
        if (!colon || (size_t)(colon - text) >= sizeof host) return false;
        memcpy(host, text, (size_t)(colon - text));
        host[colon - text] = 0;
        port = colon + 1;
        if (strchr(host, ':')) return false;  // IPv6 goes in brackets
        if (strcmp(host, "*") == 0) copy_text(host, sizeof host, "0.0.0.0");
    }
    uint64_t number = 0;
    if (!parse_decimal_u64(port, &number) || number > 65535) return false;
    addrinfo hints = {};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    char port_text[8];
    format_text(port_text, sizeof port_text, "%u", (unsigned)number);
    if (getaddrinfo(host, port_text, &hints, &found) != 0 || !found) return false;
    memset(out, 0, sizeof *out);
    memcpy(&out->address, found->ai_addr, found->ai_addrlen);
    out->length = found->ai_addrlen;
    freeaddrinfo(found);
    copy_text(out->text, sizeof out->text, text);
    return true;
}

static bool parse_seconds(const char* text, int* ms) {
    uint64_t value = 0;
    if (!parse_decimal_u64(text, &value) || value < 1 || value > 86400) return false;
    *ms = (int)value * 1000;
    return true;
}

static bool parse_count(const char* text, int minimum, int* out) {
    uint64_t value = 0;
    if (!parse_decimal_u64(text, &value) || value < (uint64_t)minimum || value > 10000000) return false;
    *out = (int)value;
    return true;
}

static bool read_config_file(const char* path, ServerConfig* config, int depth, char* error, size_t error_size);

// One setting by name (without the leading --).
static bool apply_setting(const char* name, const char* value, ServerConfig* config, int depth, char* error,
                          size_t error_size) {
    if (strcmp(name, "listen") == 0) {
        if (config->listen_count == LISTEN_MAX) {
            format_reason(error, error_size, "at most %d listen addresses", LISTEN_MAX);
            return false;
        }
        if (!parse_listen_address(value, &config->listen[config->listen_count])) {
            format_reason(error, error_size, "--listen %s is not ADDR:PORT (numeric; IPv6 in brackets)", value);
            return false;
        }
        config->listen_count++;
    } else if (strcmp(name, "metrics") == 0) {
        if (!parse_listen_address(value, &config->metrics)) {
            format_reason(error, error_size, "--metrics %s is not ADDR:PORT (numeric; IPv6 in brackets)", value);
            return false;
        }
        config->metrics_on = true;
    } else if (strcmp(name, "release") == 0) {
        if (config->release_count == RELEASE_CHANNELS_MAX) {
            format_reason(error, error_size, "at most %d releases", RELEASE_CHANNELS_MAX);
            return false;
        }
        ReleaseFolder* r = &config->releases[config->release_count];
        const char* equals = strchr(value, '=');
        const char* slash = strchr(value, '/');
        const char* folder = value;
        r->channel[0] = 0;
        if (equals && (!slash || equals < slash)) {
            size_t length = (size_t)(equals - value);
            bool good = length >= 1 && length < RELEASE_CHANNEL_CAP && value[0] >= 'a' && value[0] <= 'z';
            for (size_t i = 1; good && i < length; i++) {
                char c = value[i];
                good = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
            }
            if (!good) {
                format_reason(error, error_size, "--release %s: the channel before = is not a channel name", value);
                return false;
            }
            memcpy(r->channel, value, length);
            r->channel[length] = 0;
            folder = equals + 1;
        }
        if (!folder[0] || strlen(folder) >= RELEASE_FOLDER_CAP) {
            format_reason(error, error_size, "--release %s: no folder or a folder name too long", value);
            return false;
        }
        copy_text(r->folder, sizeof r->folder, folder);
        config->release_count++;
    } else if (strcmp(name, "release-keys") == 0) {
        copy_text(config->release_keys, sizeof config->release_keys, value);
    } else if (strcmp(name, "threads") == 0) {
        if (!parse_count(value, 1, &config->threads) || config->threads > 256) {
            format_reason(error, error_size, "--threads %s is not a number from 1 to 256", value);
            return false;
        }
    } else if (strcmp(name, "max-connections") == 0) {
        if (!parse_count(value, 1, &config->max_connections)) {
            format_reason(error, error_size, "--max-connections %s is not a number above 0", value);
            return false;
        }
    } else if (strcmp(name, "max-per-address") == 0) {
        if (!parse_count(value, 0, &config->max_per_address)) {
            format_reason(error, error_size, "--max-per-address %s is not a number", value);
            return false;
        }
    } else if (strcmp(name, "hello-timeout") == 0 || strcmp(name, "line-timeout") == 0 ||
               strcmp(name, "idle-timeout") == 0 || strcmp(name, "send-timeout") == 0 ||
               strcmp(name, "stop-timeout") == 0) {
        int* target = name[0] == 'h'   ? &config->hello_timeout_ms
                      : name[0] == 'l' ? &config->line_timeout_ms
                      : name[0] == 'i' ? &config->idle_timeout_ms
                      : name[1] == 'e' ? &config->send_timeout_ms
                                       : &config->stop_timeout_ms;
        if (!parse_seconds(value, target)) {
            format_reason(error, error_size, "--%s %s is not a number of seconds from 1 to 86400", name, value);
            return false;
        }
    } else if (strcmp(name, "proxy-protocol") == 0) {
        if (strcmp(value, "yes") != 0 && strcmp(value, "no") != 0) {
            format_reason(error, error_size, "--proxy-protocol takes yes or no, not %s", value);
            return false;
        }
        config->proxy_protocol = value[0] == 'y';
    } else if (strcmp(name, "ready-file") == 0) {
        copy_text(config->ready_file, sizeof config->ready_file, value);
    } else if (strcmp(name, "config") == 0) {
        if (depth > 0) {
            format_reason(error, error_size, "a config file cannot name another one");
            return false;
        }
        return read_config_file(value, config, depth + 1, error, error_size);
    } else {
        format_reason(error, error_size, "unknown setting --%s", name);
        return false;
    }
    return true;
}

static bool read_config_file(const char* path, ServerConfig* config, int depth, char* error, size_t error_size) {
    FILE* file = fopen(path, "r");
    if (!file) {
        format_reason(error, error_size, "cannot read the config file %s", path);
        return false;
    }
    char line[1024];
    int number = 0;
    bool ok = true;
    while (ok && fgets(line, sizeof line, file)) {
        number++;
        size_t length = strlen(line);
        while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r' || line[length - 1] == ' ' ||
                              line[length - 1] == '\t')) {
            line[--length] = 0;
        }
        char* name = line;
        while (*name == ' ' || *name == '\t') name++;
        if (!*name || *name == '#') continue;
        char* value = name;
        while (*value && *value != ' ' && *value != '\t') value++;
        if (*value) *value++ = 0;
        while (*value == ' ' || *value == '\t') value++;
        char reason[300];
        if (!*value) {
            format_reason(error, error_size, "%s line %d: %s has no value", path, number, name);
            ok = false;
        } else if (!apply_setting(name, value, config, depth, reason, sizeof reason)) {
            format_reason(error, error_size, "%s line %d: %s", path, number, reason);
            ok = false;
        }
    }
    fclose(file);
    return ok;
}

bool parse_server_args(int argc, char** argv, ServerConfig* config, bool* help, char* error, size_t error_size) {
    memset(config, 0, sizeof *config);
    *help = false;
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    config->threads = cores >= 1 && cores <= 256 ? (int)cores : 1;
    config->max_connections = 20000;
    config->max_per_address = 32;
    config->hello_timeout_ms = 10000;
    config->line_timeout_ms = 10000;
    config->idle_timeout_ms = 120000;
    config->send_timeout_ms = 60000;
    config->stop_timeout_ms = 20000;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0) {
            *help = true;
            return true;
        }
        if (strcmp(arg, "--check") == 0) {
            config->check_only = true;
            continue;
        }
        if (strncmp(arg, "--", 2) != 0) {
            format_reason(error, error_size, "unexpected argument %s", arg);
            return false;
        }
        char name[64];
        const char* value;
        const char* equals = strchr(arg, '=');
        if (equals) {
            format_text(name, sizeof name, "%.*s", (int)(equals - arg - 2), arg + 2);
            value = equals + 1;
        } else {
            copy_text(name, sizeof name, arg + 2);
            if (i + 1 >= argc) {
                format_reason(error, error_size, "%s needs a value", arg);
                return false;
            }
            value = argv[++i];
        }
        if (!apply_setting(name, value, config, 0, error, error_size)) return false;
    }
    if (config->listen_count == 0) {
        bool ok = parse_listen_address("0.0.0.0:20292", &config->listen[0]);
        (void)ok;
        config->listen_count = 1;
    }
    if (config->release_count == 0) {
        format_reason(error, error_size, "no release folder given (--release DIR)");
        return false;
    }
    if (!config->release_keys[0]) {
        format_reason(error, error_size, "no release keys given (--release-keys ID:HEX,...)");
        return false;
    }
    return true;
}
