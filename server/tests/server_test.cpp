// The server as a process on loopback, talked to like launchers and hostile clients talk to it.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <functional>

#include "test_release.h"

static const size_t PIECE = 262144;

struct Served {
    std::string folder;
    std::vector<TestFile> files;
    std::string manifest;
};

// A release of a DLL of a few pieces (the last one short) and a small runtime.
static Served sample_release(const std::string& name, uint64_t number, uint32_t seed) {
    Served s;
    s.folder = fresh_folder(name);
    s.files = {{"dll", "d3d8.dll", pattern_bytes(2 * PIECE + 1000, seed)},
               {"runtime", "lib/rt.jar", pattern_bytes(5000, seed + 1)}};
    s.manifest = write_release(s.folder, "client", number, s.files);
    return s;
}

static std::string get_line(const std::string& content, uint64_t offset, uint64_t length) {
    return "GET " + sha512_hex(content) + " " + std::to_string(offset) + " " + std::to_string(length) + "\n";
}

// Reads an "OK n" answer and its bytes.
static bool read_payload(TestClient* c, std::string* payload) {
    std::string line;
    if (!client_line(c, &line) || line.compare(0, 3, "OK ") != 0) {
        *payload = line;
        return false;
    }
    return client_bytes(c, strtoull(line.c_str() + 3, nullptr, 10), payload);
}

static size_t count_entries(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    size_t n = 0;
    while (dir && readdir(dir)) n++;
    if (dir) closedir(dir);
    return n;
}

// Waits until the log holds the text at least n times.
static bool wait_for_count(const ServerProcess& server, const std::string& text, int n) {
    for (int tries = 0; tries < 1000; tries++) {
        std::string log = server_log_text(server);
        int found = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) found++;
        if (found >= n) return true;
        usleep(20000);
    }
    return false;
}

static std::vector<std::string> base_args(const Served& s) {
    return {"--release-keys", test_key_list(1), "--release", s.folder, "--threads", "2"};
}

class Server : public ::testing::Test {
protected:
    ServerProcess server;
    void TearDown() override {
        if (server.pid > 0) stop_server(&server);
    }
};

TEST_F(Server, ServesALauncherSessionWithPipelinedRequestsInOrder) {
    Served s = sample_release("session", 3, 10);
    ASSERT_TRUE(start_server(&server, base_args(s)));
    TestClient c;
    ASSERT_TRUE(client_connect(&c, server.port));
    const std::string& dll = s.files[0].content;
    const std::string& jar = s.files[1].content;
    // Everything at once: the answers come back in the order of the requests.
    std::string requests = "ZANDOR-UPDATE 1\nTOKEN secret-token-of-the-player\nMANIFEST client\n" +
                           get_line(dll, 0, PIECE) + get_line(jar, 0, PIECE) + get_line(dll, PIECE, PIECE) +
                           get_line(dll, 2 * PIECE, PIECE) + get_line(dll, 100, 7) + get_line(dll, dll.size(), 5);
    ASSERT_TRUE(client_send(&c, requests));
    std::string line, payload;
    ASSERT_TRUE(client_line(&c, &line));
    EXPECT_EQ(line, "ZANDOR-UPDATE-OK 1");
    ASSERT_TRUE(read_payload(&c, &payload)) << payload;
    EXPECT_EQ(payload, s.manifest);
    struct Expect {
        const std::string* content;
        size_t offset, length;
    } pieces[] = {{&dll, 0, PIECE}, {&jar, 0, 5000}, {&dll, PIECE, PIECE}, {&dll, 2 * PIECE, 1000}, {&dll, 100, 7},
                  {&dll, dll.size(), 0}};
    for (const Expect& e : pieces) {
        ASSERT_TRUE(read_payload(&c, &payload)) << payload;
        EXPECT_EQ(payload, e.content->substr(e.offset, e.length)) << e.offset;
    }
    ASSERT_TRUE(client_send(&c, "BYE\n"));
    EXPECT_TRUE(client_sees_close(&c));
    client_close(&c);
    ASSERT_TRUE(wait_for_log(server, "ended: said BYE"));
    std::string log = server_log_text(server);
    EXPECT_NE(log.find("127.0.0.1:"), std::string::npos);
    EXPECT_NE(log.find(", 6 pieces, "), std::string::npos) << log;
    EXPECT_EQ(log.find("secret-token"), std::string::npos) << "the token is never logged in clear";
    EXPECT_NE(log.find("token " + sha512_hex("secret-token-of-the-player").substr(0, 16)), std::string::npos) << log;

    std::string metrics = scrape_metrics(server);
    EXPECT_NE(metrics.find("zandor_update_gets_total 6\n"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("zandor_update_manifests_total 1\n"), std::string::npos);
    EXPECT_NE(metrics.find("zandor_update_release{channel=\"client\"} 3\n"), std::string::npos);
    EXPECT_NE(metrics.find("zandor_update_connections_open 0\n"), std::string::npos);
    EXPECT_EQ(stop_server(&server), 0);
}

TEST_F(Server, AnswersBadRequestsWithAnErrorLineAndGoesOn) {
    Served s = sample_release("errors", 3, 20);
    ASSERT_TRUE(start_server(&server, base_args(s)));
    TestClient c;
    ASSERT_TRUE(client_hello(&c, server.port));
    const std::string& dll = s.files[0].content;
    struct Case {
        std::string line;
        const char* answer_start;
    } cases[] = {
        {"MANIFEST beta\n", "ERR channel beta has no release"},
        {"GET " + sha512_hex("not served") + " 0 10\n", "ERR unknown file"},
        {get_line(dll, dll.size() + 1, 10), "ERR bad range: offset"},
        {get_line(dll, 0, PIECE + 1), "ERR bad range"},
        {get_line(dll, 0, 0), "ERR bad range"},
        {"GET x 0 1\n", "ERR bad request"},
        {"HELLO\n", "ERR bad request"},
        {"ZANDOR-UPDATE 1\n", "ERR bad request: the hello was said already"},
        {get_line(dll, 5, 3), "OK 3"},  // and the connection still serves
    };
    for (const Case& k : cases) {
        ASSERT_TRUE(client_send(&c, k.line));
        std::string line;
        ASSERT_TRUE(client_line(&c, &line)) << k.line;
        EXPECT_EQ(line.compare(0, strlen(k.answer_start), k.answer_start), 0) << k.line << " -> " << line;
    }
    std::string metrics = scrape_metrics(server);
    EXPECT_NE(metrics.find("errors_total{kind=\"bad_range\"} 3\n"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("errors_total{kind=\"unknown_file\"} 1\n"), std::string::npos);
    EXPECT_NE(metrics.find("errors_total{kind=\"no_release\"} 1\n"), std::string::npos);
    client_close(&c);
}

TEST_F(Server, ClosesWhereGoingOnIsUnsafeAfterSayingWhy) {
    Served s = sample_release("closing", 3, 30);
    ASSERT_TRUE(start_server(&server, base_args(s)));
    struct Case {
        std::string sent;
        bool hello_first;
        const char* answer_start;
        const char* log_reason;
    } cases[] = {
        {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", false, "ERR this is a ZANDOR update server", "no ZANDOR hello"},
        {std::string(300, 'A'), true, "ERR bad request: a line is at most 255 bytes", "a request line too long"},
        {"TOKEN " + std::string(400, 't') + "\n", true, "ERR bad request: a line is at most", "a request line too long"},
    };
    for (const Case& k : cases) {
        TestClient c;
        ASSERT_TRUE(k.hello_first ? client_hello(&c, server.port) : client_connect(&c, server.port));
        ASSERT_TRUE(client_send(&c, k.sent));
        std::string line;
        ASSERT_TRUE(client_line(&c, &line)) << k.answer_start;
        EXPECT_EQ(line.compare(0, strlen(k.answer_start), k.answer_start), 0) << line;
        EXPECT_TRUE(client_sees_close(&c)) << k.answer_start;
        client_close(&c);
        EXPECT_TRUE(wait_for_log(server, std::string("ended: ") + k.log_reason));
    }
}

TEST_F(Server, ClosesClientsThatStallAfterTheirTimeOuts) {
    Served s = sample_release("stalls", 3, 40);
    std::vector<std::string> args = base_args(s);
    args.insert(args.end(), {"--hello-timeout", "1", "--line-timeout", "1", "--idle-timeout", "2", "--send-timeout", "1"});
    ASSERT_TRUE(start_server(&server, args));

    TestClient silent, trickle, idle, chatter, stopped_reading;
    ASSERT_TRUE(client_connect(&silent, server.port));
    ASSERT_TRUE(client_hello(&trickle, server.port));
    ASSERT_TRUE(client_hello(&idle, server.port));
    ASSERT_TRUE(client_hello(&chatter, server.port));
    // A client that asks for more than the socket buffers hold and reads none of it.
    ASSERT_TRUE(client_connect(&stopped_reading, server.port, "127.0.0.1", 4096));
    std::string many = "ZANDOR-UPDATE 1\n";
    for (int i = 0; i < 40; i++) many += get_line(s.files[0].content, 0, PIECE);
    ASSERT_TRUE(client_send(&stopped_reading, many));
    // A request line that trickles in a byte at a time, slower than the line time-out allows; and
    // whole lines that ask for nothing, which do not keep a connection alive either.
    bool trickle_cut = false, chatter_cut = false;
    std::string part = "MANIFEST client";
    for (size_t i = 0; i < part.size() && !trickle_cut; i++) {
        trickle_cut = !client_send(&trickle, part.substr(i, 1));
        chatter_cut = chatter_cut || !client_send(&chatter, i % 2 ? "TOKEN x\n" : "NOOP\n");
        usleep(300000);
    }
    EXPECT_TRUE(client_sees_close(&silent));
    EXPECT_TRUE(client_sees_close(&trickle));
    EXPECT_TRUE(client_sees_close(&idle));
    EXPECT_TRUE(client_sees_close(&chatter));
    EXPECT_TRUE(client_sees_close(&stopped_reading));
    for (TestClient* c : {&silent, &trickle, &idle, &chatter, &stopped_reading}) client_close(c);
    for (const char* reason : {"no hello within 1 s", "a request line not finished within 1 s",
                               "no manifest or piece asked for in 2 s",
                               "the client took no whole answer within 1 s (it stopped reading)"}) {
        EXPECT_TRUE(wait_for_log(server, reason)) << reason;
    }
    std::string metrics = scrape_metrics(server);
    for (const char* kind : {"hello_timeout", "line_timeout", "send_timeout"}) {
        EXPECT_NE(metrics.find(std::string("errors_total{kind=\"") + kind + "\"} 1\n"), std::string::npos) << kind;
    }
    EXPECT_NE(metrics.find("errors_total{kind=\"idle_timeout\"} 2\n"), std::string::npos) << metrics;
}

TEST_F(Server, RefusesConnectionsOverTheCapsAtAccept) {
    Served s = sample_release("caps", 3, 50);
    std::vector<std::string> args = base_args(s);
    args.insert(args.end(), {"--max-connections", "3", "--max-per-address", "2"});
    ASSERT_TRUE(start_server(&server, args));
    // Clients from other loopback source addresses stand for other players.
    TestClient a1, a2, a3, b1, c1, c2;
    std::string line, payload;
    ASSERT_TRUE(client_hello(&a1, server.port));
    ASSERT_TRUE(client_hello(&a2, server.port));
    ASSERT_TRUE(client_connect(&a3, server.port));
    ASSERT_TRUE(client_line(&a3, &line));
    EXPECT_EQ(line, "ERR too many connections from your address");
    EXPECT_TRUE(client_sees_close(&a3));
    EXPECT_TRUE(wait_for_log(server, "refused a connection from 127.0.0.1:"));
    EXPECT_TRUE(wait_for_log(server, "too many connections from that address (cap 2"));

    ASSERT_TRUE(client_connect(&b1, server.port, "127.0.0.1", 0, "127.0.0.2"));
    ASSERT_TRUE(client_send(&b1, "ZANDOR-UPDATE 1\n"));
    ASSERT_TRUE(client_line(&b1, &line));
    EXPECT_EQ(line, "ZANDOR-UPDATE-OK 1");
    ASSERT_TRUE(client_connect(&c1, server.port, "127.0.0.1", 0, "127.0.0.3"));
    ASSERT_TRUE(client_line(&c1, &line));
    EXPECT_EQ(line, "ERR the server is full: try again in a minute");
    EXPECT_TRUE(wait_for_log(server, "the server is full (cap 3"));

    // The connections let in work on, and a place that frees up is taken again.
    ASSERT_TRUE(client_send(&a1, "MANIFEST client\nBYE\n"));
    EXPECT_TRUE(read_payload(&a1, &payload));
    EXPECT_TRUE(client_sees_close(&a1));
    ASSERT_TRUE(wait_for_log(server, "ended: said BYE"));
    ASSERT_TRUE(client_connect(&c2, server.port, "127.0.0.1", 0, "127.0.0.3"));
    ASSERT_TRUE(client_send(&c2, "ZANDOR-UPDATE 1\n"));
    ASSERT_TRUE(client_line(&c2, &line));
    EXPECT_EQ(line, "ZANDOR-UPDATE-OK 1");
    for (TestClient* c : {&a1, &a2, &a3, &b1, &c1, &c2}) client_close(c);
}

TEST_F(Server, ReloadSwitchesReleasesAtomicallyAndKeepsServingWhenARefreshFails) {
    Served old_release = sample_release("reload", 3, 60);
    ASSERT_TRUE(start_server(&server, base_args(old_release)));
    const std::string& old_dll = old_release.files[0].content;
    TestClient early;
    std::string payload;
    ASSERT_TRUE(client_hello(&early, server.port));
    ASSERT_TRUE(client_send(&early, "MANIFEST client\n"));
    ASSERT_TRUE(read_payload(&early, &payload));
    EXPECT_EQ(payload, old_release.manifest);

    // Reloads that find nothing new keep the record served: no more descriptors, however many
    // connections hold the old one.
    std::string fd_folder = "/proc/" + std::to_string(server.pid) + "/fd";
    size_t fds_before = count_entries(fd_folder);
    for (int i = 0; i < 3; i++) {
        signal_server(server, SIGHUP);
        ASSERT_TRUE(wait_for_count(server, "serving release 3 of channel client", 2 + i));
    }
    EXPECT_EQ(count_entries(fd_folder), fds_before);

    // Release 4 is published the way every instance gets it: files first, the manifest last; then
    // the old files go and the server is told.
    std::vector<TestFile> new_files = {{"dll", "d3d8.dll", pattern_bytes(PIECE + 10, 61)}};
    std::string new_manifest = write_release(old_release.folder, "client", 4, new_files);
    unlink((old_release.folder + "/files/" + sha512_hex(old_dll)).c_str());
    signal_server(server, SIGHUP);
    ASSERT_TRUE(wait_for_log(server, "serving release 4 of channel client"));

    // The connection that fetched release 3 still gets release 3's files, until it asks again.
    ASSERT_TRUE(client_send(&early, get_line(old_dll, PIECE, PIECE)));
    ASSERT_TRUE(read_payload(&early, &payload)) << payload;
    EXPECT_EQ(payload, old_dll.substr(PIECE, PIECE));
    TestClient late;
    ASSERT_TRUE(client_hello(&late, server.port));
    ASSERT_TRUE(client_send(&late, "MANIFEST client\n" + get_line(old_dll, 0, 10) + get_line(new_files[0].content, PIECE, PIECE)));
    ASSERT_TRUE(read_payload(&late, &payload));
    EXPECT_EQ(payload, new_manifest);
    EXPECT_FALSE(read_payload(&late, &payload));
    EXPECT_EQ(payload.compare(0, 16, "ERR unknown file"), 0) << payload;
    ASSERT_TRUE(read_payload(&late, &payload));
    EXPECT_EQ(payload, new_files[0].content.substr(PIECE));

    // Refreshes that fail keep release 4 served, each refused in one line that names the problem.
    struct Bad {
        std::function<void()> publish;
        const char* reason;
    } bad[] = {
        {[&] {
             std::vector<TestFile> broken = {{"dll", "d3d8.dll", pattern_bytes(1000, 62)}};
             write_file(old_release.folder + "/manifest.txt", make_manifest("client", 5, broken));
         },
         "dll/d3d8.dll is missing from files/"},
        {[&] { write_release(old_release.folder, "client", 2, old_release.files); }, "release 2 is older than release 4"},
        {[&] { write_release(old_release.folder, "beta", 5, old_release.files); }, "the manifest is for channel beta, not client"},
        {[&] { write_release(old_release.folder, "client", 5, new_files, 2); }, "manifest.txt: signed with key 2"},
    };
    int refusals = 0;
    for (const Bad& b : bad) {
        b.publish();
        signal_server(server, SIGHUP);
        refusals++;
        std::string expected = std::string("refused: ") + b.reason;
        EXPECT_TRUE(wait_for_log(server, expected)) << b.reason;
        EXPECT_TRUE(wait_for_log(server, "; still serving release 4 of channel client"));
        TestClient c;
        ASSERT_TRUE(client_hello(&c, server.port));
        ASSERT_TRUE(client_send(&c, "MANIFEST client\n"));
        ASSERT_TRUE(read_payload(&c, &payload));
        EXPECT_EQ(payload, new_manifest) << b.reason;
        client_close(&c);
    }
    std::string metrics = scrape_metrics(server);
    EXPECT_NE(metrics.find("zandor_update_release{channel=\"client\"} 4\n"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("reloads_total{result=\"refused\"} " + std::to_string(refusals) + "\n"), std::string::npos);
    EXPECT_NE(metrics.find("reloads_total{result=\"served\"} 4\n"), std::string::npos);
    client_close(&early);
    client_close(&late);
}

TEST_F(Server, StopLetsTheAnswerInFlightFinishAndTakesNoNewConnections) {
    Served s = sample_release("stop", 3, 70);
    ASSERT_TRUE(start_server(&server, base_args(s)));
    const std::string& dll = s.files[0].content;
    TestClient idle, busy;
    ASSERT_TRUE(client_hello(&idle, server.port));
    // A slow reader with several pieces asked for: the first is in flight when the stop comes.
    ASSERT_TRUE(client_connect(&busy, server.port, "127.0.0.1", 4096));
    // More than the socket buffers of both ends hold.
    std::string requests = "ZANDOR-UPDATE 1\n";
    for (int i = 0; i < 60; i++) requests += get_line(dll, (i % 2) * PIECE, PIECE);
    ASSERT_TRUE(client_send(&busy, requests));
    std::string line, payload;
    ASSERT_TRUE(client_line(&busy, &line));
    usleep(200000);
    signal_server(server, SIGTERM);
    ASSERT_TRUE(wait_for_log(server, "SIGTERM: no new connections"));
    EXPECT_TRUE(client_sees_close(&idle));
    TestClient refused;
    EXPECT_FALSE(client_hello(&refused, server.port));
    client_close(&refused);
    // Whole pieces, in order, then the end: never a piece cut short.
    int pieces = 0;
    while (read_payload(&busy, &payload)) {
        EXPECT_EQ(payload, dll.substr((pieces % 2) * PIECE, PIECE)) << pieces;
        pieces++;
    }
    EXPECT_GE(pieces, 1);
    EXPECT_LT(pieces, 60);
    EXPECT_TRUE(payload.empty()) << payload;
    int status = stop_server(&server);
    EXPECT_EQ(status, 0);
    EXPECT_NE(server_log_text(server).find("ended: the server is stopping"), std::string::npos);
    client_close(&idle);
    client_close(&busy);
}

TEST_F(Server, ListensOnIPv6AndIPv4Together) {
    Served s = sample_release("ipv6", 3, 80);
    std::vector<std::string> args = base_args(s);
    args.insert(args.end(), {"--listen", "127.0.0.1:0", "--listen", "[::1]:0"});
    ASSERT_TRUE(start_server(&server, args));
    if (server_log_text(server).find("[::1]:0 (port ") == std::string::npos) GTEST_SKIP() << "no IPv6 loopback";
    std::string log = server_log_text(server);
    size_t at = log.find("[::1]:0 (port ") + 14;
    int v6_port = atoi(log.c_str() + at);
    TestClient c4, c6;
    std::string line;
    ASSERT_TRUE(client_hello(&c4, server.port));
    ASSERT_TRUE(client_connect(&c6, v6_port, "::1"));
    ASSERT_TRUE(client_send(&c6, "ZANDOR-UPDATE 1\nBYE\n"));
    ASSERT_TRUE(client_line(&c6, &line));
    EXPECT_EQ(line, "ZANDOR-UPDATE-OK 1");
    EXPECT_TRUE(wait_for_log(server, "connection [::1]:"));
    client_close(&c4);
    client_close(&c6);
}

TEST_F(Server, TakesItsSettingsFromAConfigFileAndNamesABadLine) {
    Served s = sample_release("config", 3, 90);
    std::string folder = fresh_folder("config-file");
    std::string config = folder + "/update-server.conf";
    write_file(config, "# settings\n\nrelease-keys " + test_key_list(1) + "\nrelease client=" + s.folder +
                           "\n  threads 1\nmax-per-address\t1\n");
    ASSERT_TRUE(start_server(&server, {"--config", config}));
    TestClient first, second;
    std::string line;
    ASSERT_TRUE(client_hello(&first, server.port));
    ASSERT_TRUE(client_connect(&second, server.port));
    ASSERT_TRUE(client_line(&second, &line));
    EXPECT_EQ(line, "ERR too many connections from your address");
    client_close(&first);
    client_close(&second);

    // A bad setting stops the start with the file, the line and the problem.
    write_file(config, "release-keys " + test_key_list(1) + "\nrelease " + s.folder + "\nlisten 127.0.0.1\n");
    ServerProcess refused;
    EXPECT_FALSE(start_server(&refused, {"--config", config}));
    std::string log = server_log_text(refused);
    EXPECT_NE(log.find(config + " line 3: --listen 127.0.0.1 is not ADDR:PORT"), std::string::npos) << log;
}

TEST_F(Server, BehindAProxyCountsAndLogsTheAddressItsProxyLineNames) {
    Served s = sample_release("proxy", 3, 100);
    std::vector<std::string> args = base_args(s);
    args.insert(args.end(), {"--proxy-protocol", "yes", "--max-per-address", "1"});
    ASSERT_TRUE(start_server(&server, args));
    struct Case {
        const char* first_lines;
        const char* answer;
    } cases[] = {
        {"PROXY TCP4 203.0.113.7 127.0.0.1 40000 20292\r\nZANDOR-UPDATE 1\n", "ZANDOR-UPDATE-OK 1"},
        {"PROXY TCP4 203.0.113.7 127.0.0.1 40001 20292\r\nZANDOR-UPDATE 1\n", "ERR too many connections from your address"},
        {"PROXY TCP6 2001:db8::5 ::1 40002 20292\r\nZANDOR-UPDATE 1\n", "ZANDOR-UPDATE-OK 1"},
        {"PROXY UNKNOWN\r\nZANDOR-UPDATE 1\n", "ZANDOR-UPDATE-OK 1"},
        {"ZANDOR-UPDATE 1\n", "ERR the first line must be a PROXY line"},
    };
    std::vector<TestClient> clients(sizeof cases / sizeof cases[0]);
    for (size_t i = 0; i < clients.size(); i++) {
        std::string line;
        ASSERT_TRUE(client_connect(&clients[i], server.port));
        ASSERT_TRUE(client_send(&clients[i], cases[i].first_lines));
        ASSERT_TRUE(client_line(&clients[i], &line));
        EXPECT_EQ(line.compare(0, strlen(cases[i].answer), cases[i].answer), 0) << line;
    }
    for (TestClient& c : clients) client_close(&c);
    EXPECT_TRUE(wait_for_log(server, "connection 203.0.113.7:40000 ended"));
    EXPECT_TRUE(wait_for_log(server, "connection [2001:db8::5]:40002 ended"));
    EXPECT_TRUE(wait_for_log(server, "connection 203.0.113.7:40001 ended: refused: too many connections"));
}
