// Test fixtures for the server: signed release folders made with a test key, a server process with
// its log, and a plain blocking client.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#include <string>
#include <vector>

struct TestFile {
    std::string kind;  // "dll", "bots", "runtime", "launcher"
    std::string path;
    std::string content;
};

// The public key list ("id:hex") of the test key with this id (1..3 are fixed seeds).
std::string test_key_list(int key_id);
std::string sha512_hex(const std::string& data);
// A signed manifest of the files (parts in the order their files come, version 1 each).
std::string make_manifest(const std::string& channel, uint64_t release, const std::vector<TestFile>& files,
                          int key_id = 1);
// Writes folder/manifest.txt and folder/files/<sha512> for every file; gives the manifest.
std::string write_release(const std::string& folder, const std::string& channel, uint64_t release,
                          const std::vector<TestFile>& files, int key_id = 1);
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& data);
// A fresh empty folder under the test's temporary folder.
std::string fresh_folder(const std::string& name);
// Deterministic bytes.
std::string pattern_bytes(size_t length, uint32_t seed);

struct ServerProcess {
    pid_t pid = -1;
    int port = 0;
    int metrics_port = 0;
    std::string log_path;
    std::string ready_path;
};

// Starts the server with the arguments (a ready file, a log and a loopback port are added) and
// waits until it listens; false when it did not start.
bool start_server(ServerProcess* server, const std::vector<std::string>& args);
void signal_server(const ServerProcess& server, int signal);
// Sends SIGTERM and waits for the exit; gives the exit status (-1 when it had to be killed).
int stop_server(ServerProcess* server);
std::string server_log_text(const ServerProcess& server);
// Waits until the log holds the text (at most 20 s).
bool wait_for_log(const ServerProcess& server, const std::string& text);
// The metrics page.
std::string scrape_metrics(const ServerProcess& server);

struct TestClient {
    int fd = -1;
    std::string buffered;
};

// receive_buffer > 0 sets SO_RCVBUF before connecting (a client that reads slowly); source binds an
// IPv4 source address (another loopback address: another client).
bool client_connect(TestClient* client, int port, const char* host = "127.0.0.1", int receive_buffer = 0,
                    const char* source = nullptr);
bool client_send(TestClient* client, const std::string& data);
// One line without its LF; false at the end of the stream or after 20 s.
bool client_line(TestClient* client, std::string* line);
bool client_bytes(TestClient* client, size_t length, std::string* data);
// True when the server closes the connection (reads and drops anything before it) within 20 s.
bool client_sees_close(TestClient* client);
void client_close(TestClient* client);
// Connects and says the hello; false when the hello answer is not the right one.
bool client_hello(TestClient* client, int port);
