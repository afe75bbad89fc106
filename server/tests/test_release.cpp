// Test fixtures for the server.
#include "test_release.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sodium.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#ifndef SERVER_PROGRAM
#error "SERVER_PROGRAM names the server binary"
#endif

static void key_pair(int key_id, uint8_t public_key[32], uint8_t secret_key[64]) {
    uint8_t seed[32];
    memset(seed, 0x40 + key_id, sizeof seed);
    if (sodium_init() < 0) abort();
    crypto_sign_seed_keypair(public_key, secret_key, seed);
}

static std::string hex(const uint8_t* bytes, size_t n) {
    std::string out(n * 2, '0');
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < n; i++) {
        out[2 * i] = digits[bytes[i] >> 4];
        out[2 * i + 1] = digits[bytes[i] & 15];
    }
    return out;
}

std::string test_key_list(int key_id) {
    uint8_t pk[32], sk[64];
    key_pair(key_id, pk, sk);
    return std::to_string(key_id) + ":" + hex(pk, 32);
}

std::string sha512_hex(const std::string& data) {
    uint8_t digest[64];
    crypto_hash_sha512(digest, (const uint8_t*)data.data(), data.size());
    return hex(digest, 64);
}

std::string make_manifest(const std::string& channel, uint64_t release, const std::vector<TestFile>& files,
                          int key_id) {
    std::string body = "ZANDOR-UPDATE-MANIFEST\t1\nchannel\t" + channel + "\nrelease\t" + std::to_string(release) + "\n";
    std::string kind;
    for (const TestFile& f : files) {
        if (f.kind != kind) {
            kind = f.kind;
            body += "part\t" + kind + "\t1\trequired\n";
        }
        body += "file\t" + f.kind + "\t" + f.path + "\t" + std::to_string(f.content.size()) + "\t" +
                sha512_hex(f.content) + "\n";
    }
    std::string message = "ZANDOR-UPDATE-MANIFEST-1\n" + body;
    uint8_t pk[32], sk[64], signature[64];
    key_pair(key_id, pk, sk);
    crypto_sign_detached(signature, nullptr, (const uint8_t*)message.data(), message.size(), sk);
    char b64[100];
    sodium_bin2base64(b64, sizeof b64, signature, 64, sodium_base64_VARIANT_ORIGINAL);
    return body + "signature\t" + std::to_string(key_id) + "\t" + b64 + "\n";
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

std::string write_release(const std::string& folder, const std::string& channel, uint64_t release,
                          const std::vector<TestFile>& files, int key_id) {
    mkdir(folder.c_str(), 0755);
    mkdir((folder + "/files").c_str(), 0755);
    for (const TestFile& f : files) write_file(folder + "/files/" + sha512_hex(f.content), f.content);
    std::string manifest = make_manifest(channel, release, files, key_id);
    // The manifest last, as a release is published.
    write_file(folder + "/manifest.txt.new", manifest);
    rename((folder + "/manifest.txt.new").c_str(), (folder + "/manifest.txt").c_str());
    return manifest;
}

static std::string test_root;

static void remove_test_root() {
    std::string command = "rm -rf '" + test_root + "'";
    if (system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", test_root.c_str());
}

std::string fresh_folder(const std::string& name) {
    std::string& root = test_root;
    if (root.empty()) {
        const char* base = getenv("TMPDIR");
        root = std::string(base && *base ? base : "/tmp") + "/zandor-server-tests-" + std::to_string(getpid());
        mkdir(root.c_str(), 0755);
        atexit(remove_test_root);
    }
    std::string path = root + "/" + name;
    std::string command = "rm -rf '" + path + "'";
    if (system(command.c_str()) != 0) abort();
    mkdir(path.c_str(), 0755);
    return path;
}

std::string pattern_bytes(size_t length, uint32_t seed) {
    std::string out(length, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < length; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = (char)(x & 0xFF);
    }
    return out;
}

static uint64_t now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000 + (uint64_t)t.tv_nsec / 1000000;
}

bool start_server(ServerProcess* server, const std::vector<std::string>& args) {
    static int started = 0;
    std::string folder = fresh_folder("server-" + std::to_string(++started));
    server->log_path = folder + "/server.log";
    server->ready_path = folder + "/ready";
    std::vector<std::string> all = {SERVER_PROGRAM, "--ready-file", server->ready_path, "--metrics", "127.0.0.1:0"};
    bool has_listen = false;
    for (const std::string& a : args) has_listen = has_listen || a == "--listen";
    if (!has_listen) {
        all.push_back("--listen");
        all.push_back("127.0.0.1:0");
    }
    all.insert(all.end(), args.begin(), args.end());
    pid_t pid = fork();
    if (pid == 0) {
        int log = open(server->log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(log, 2);
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    server->pid = pid;
    uint64_t until = now_ms() + 20000;
    while (now_ms() < until) {
        std::string ready = read_file(server->ready_path);
        if (!ready.empty() && sscanf(ready.c_str(), "%d %d", &server->port, &server->metrics_port) == 2) return true;
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            server->pid = -1;
            return false;
        }
        usleep(20000);
    }
    return false;
}

void signal_server(const ServerProcess& server, int signal) {
    if (server.pid > 0) kill(server.pid, signal);
}

int stop_server(ServerProcess* server) {
    if (server->pid <= 0) return -1;
    kill(server->pid, SIGTERM);
    uint64_t until = now_ms() + 30000;
    int status = 0;
    while (now_ms() < until) {
        if (waitpid(server->pid, &status, WNOHANG) == server->pid) {
            server->pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        usleep(20000);
    }
    kill(server->pid, SIGKILL);
    waitpid(server->pid, &status, 0);
    server->pid = -1;
    return -1;
}

std::string server_log_text(const ServerProcess& server) {
    return read_file(server.log_path);
}

bool wait_for_log(const ServerProcess& server, const std::string& text) {
    uint64_t until = now_ms() + 20000;
    while (now_ms() < until) {
        if (server_log_text(server).find(text) != std::string::npos) return true;
        usleep(20000);
    }
    return false;
}

static bool wait_readable(int fd, uint64_t until) {
    for (;;) {
        uint64_t now = now_ms();
        if (now >= until) return false;
        pollfd p = {fd, POLLIN, 0};
        int n = poll(&p, 1, (int)(until - now));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

bool client_connect(TestClient* client, int port, const char* host, int receive_buffer, const char* source) {
    client->buffered.clear();
    bool v6 = strchr(host, ':') != nullptr;
    client->fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (client->fd < 0) return false;
    if (receive_buffer > 0) setsockopt(client->fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    if (source) {
        sockaddr_in from = {};
        from.sin_family = AF_INET;
        inet_pton(AF_INET, source, &from.sin_addr);
        if (bind(client->fd, (sockaddr*)&from, sizeof from) != 0) {
            close(client->fd);
            client->fd = -1;
            return false;
        }
    }
    sockaddr_storage address = {};
    socklen_t length;
    if (v6) {
        sockaddr_in6* a = (sockaddr_in6*)&address;
        a->sin6_family = AF_INET6;
        a->sin6_port = htons((uint16_t)port);
        inet_pton(AF_INET6, host, &a->sin6_addr);
        length = sizeof *a;
    } else {
        sockaddr_in* a = (sockaddr_in*)&address;
        a->sin_family = AF_INET;
        a->sin_port = htons((uint16_t)port);
        inet_pton(AF_INET, host, &a->sin_addr);
        length = sizeof *a;
    }
    if (connect(client->fd, (sockaddr*)&address, length) != 0) {
        close(client->fd);
        client->fd = -1;
        return false;
    }
    return true;
}

bool client_send(TestClient* client, const std::string& data) {
    size_t at = 0;
    while (at < data.size()) {
        ssize_t n = send(client->fd, data.data() + at, data.size() - at, MSG_NOSIGNAL);
        if (n <= 0) return false;
        at += (size_t)n;
    }
    return true;
}

// Reads more into the buffer; false at the end, on an error or after the time.
static bool fill(TestClient* client, uint64_t until) {
    if (!wait_readable(client->fd, until)) return false;
    char chunk[65536];
    ssize_t n = recv(client->fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    client->buffered.append(chunk, (size_t)n);
    return true;
}

bool client_line(TestClient* client, std::string* line) {
    uint64_t until = now_ms() + 20000;
    for (;;) {
        size_t lf = client->buffered.find('\n');
        if (lf != std::string::npos) {
            *line = client->buffered.substr(0, lf);
            client->buffered.erase(0, lf + 1);
            return true;
        }
        if (!fill(client, until)) return false;
    }
}

bool client_bytes(TestClient* client, size_t length, std::string* data) {
    uint64_t until = now_ms() + 20000;
    while (client->buffered.size() < length) {
        if (!fill(client, until)) return false;
    }
    *data = client->buffered.substr(0, length);
    client->buffered.erase(0, length);
    return true;
}

bool client_sees_close(TestClient* client) {
    uint64_t until = now_ms() + 20000;
    for (;;) {
        if (!wait_readable(client->fd, until)) return false;
        char chunk[65536];
        ssize_t n = recv(client->fd, chunk, sizeof chunk, 0);
        if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
        if (n < 0) return false;
    }
}

void client_close(TestClient* client) {
    if (client->fd >= 0) close(client->fd);
    client->fd = -1;
}

bool client_hello(TestClient* client, int port) {
    std::string line;
    return client_connect(client, port) && client_send(client, "ZANDOR-UPDATE 1\n") && client_line(client, &line) &&
           line == "ZANDOR-UPDATE-OK 1";
}

std::string scrape_metrics(const ServerProcess& server) {
    TestClient c;
    if (!client_connect(&c, server.metrics_port)) return "";
    client_send(&c, "GET /metrics HTTP/1.0\r\n\r\n");
    std::string all;
    uint64_t until = now_ms() + 20000;
    while (fill(&c, until)) {
    }
    all = c.buffered;
    client_close(&c);
    return all;
}
