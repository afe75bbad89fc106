// The update protocol against the reference update server (tests/peers/update_server.py).
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "core/socket_lines.h"
#include "support/signed_manifest.h"
#include "support/update_server_control.h"
#include "updates/update_protocol.h"

namespace {

class UpdateProtocol : public ::testing::Test {
protected:
    void SetUp() override {
        port = update_server_port();
        ASSERT_NE(port, 0) << "run this program through tests/updates/run.sh";
        ASSERT_EQ(update_server_command("RESET"), "OK");
    }

    void serve_manifest(const std::string& channel, const std::string& text) {
        ASSERT_EQ(update_server_command("MANIFEST " + channel + " " + base64_of(text)), "OK");
    }

    void mode(const std::string& name, const std::string& value = "") {
        ASSERT_EQ(update_server_command("MODE " + name + (value.empty() ? "" : " " + value)), "OK");
    }

    // Connects (expecting success), fetches the manifest of channel and says goodbye.
    bool fetch(const std::string& channel, uint64_t highest_seen, UpdateManifest* manifest) {
        UpdateConnection sock;
        error[0] = 0;
        if (!update_connect("127.0.0.1", port, &sock, error, sizeof error, nullptr)) {
            ADD_FAILURE() << "connect: " << error;
            return false;
        }
        bool ok = update_fetch_manifest(&sock, channel.c_str(), highest_seen, manifest, error, sizeof error, nullptr);
        update_bye(&sock);
        EXPECT_EQ(sock.reader.socket, INVALID_SOCKET);
        return ok;
    }

    std::string not_a_server() const { return "127.0.0.1:" + std::to_string(port) + " is not a ZANDOR update server"; }

    int port = 0;
    char error[400] = "";
};

std::string release_manifest(uint64_t release, const std::string& channel = "client") {
    std::vector<std::string> lines = full_manifest_lines();
    lines[1] = "channel\t" + channel;
    lines[2] = "release\t" + std::to_string(release);
    return signed_manifest(body_of(lines));
}

}  // namespace

TEST_F(UpdateProtocol, HelloAnswers) {
    struct Case {
        const char* name;
        std::string answer;
        bool accepted;
    } cases[] = {
        {"exact", "ZANDOR-UPDATE-OK 1\n", true},
        {"CR LF", "ZANDOR-UPDATE-OK 1\r\n", true},
        {"other version", "ZANDOR-UPDATE-OK 2\n", false},
        {"trailing space", "ZANDOR-UPDATE-OK 1 \n", false},
        {"lower case", "zandor-update-ok 1\n", false},
        {"no line end before hanging up", "ZANDOR-UPDATE-OK 1", false},
        {"63 characters", std::string(63, 'Z') + "\n", false},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(update_server_command("HELLO " + base64_of(c.answer)), "OK");
        UpdateConnection sock;
        bool ok = update_connect("127.0.0.1", port, &sock, error, sizeof error, nullptr);
        EXPECT_EQ(ok, c.accepted) << c.name;
        if (ok) {
            EXPECT_NE(sock.reader.socket, INVALID_SOCKET);
            update_bye(&sock);
        } else {
            EXPECT_EQ(sock.reader.socket, INVALID_SOCKET) << c.name;
            EXPECT_EQ(error, not_a_server()) << c.name;
        }
    }
    mode("refuse_hello");
    UpdateConnection sock;
    EXPECT_FALSE(update_connect("127.0.0.1", port, &sock, error, sizeof error, nullptr));
    EXPECT_EQ(error, not_a_server());
    // The hello line went out as it should, on every connection, and the two accepted ones said
    // goodbye. (The server records each connection on its own thread, so lines of two connections
    // may interleave: count them instead of reading them in order.)
    std::string record = update_server_record();
    auto count = [&record](const std::string& line) {
        size_t n = 0;
        for (size_t at = 0; (at = record.find(line, at)) != std::string::npos; at += line.size()) n++;
        return n;
    };
    EXPECT_EQ(count("CONNECT"), 8u) << record;
    EXPECT_EQ(count("ZANDOR-UPDATE 1"), 8u) << record;
    EXPECT_EQ(count("BYE"), 2u) << record;
}

TEST_F(UpdateProtocol, UnreachableServers) {
    UpdateConnection sock;
    DWORD start = GetTickCount();
    EXPECT_FALSE(update_connect("127.0.0.1", 1, &sock, error, sizeof error, nullptr));
    EXPECT_STREQ(error, "the update server 127.0.0.1:1 does not answer");
    EXPECT_LT(GetTickCount() - start, 7000u);
    EXPECT_EQ(sock.reader.socket, INVALID_SOCKET);
    EXPECT_FALSE(update_connect("no-such-host.invalid", port, &sock, error, sizeof error, nullptr));
    EXPECT_STREQ(error, "the update server name no-such-host.invalid is not known");
    update_bye(&sock);  // nothing happens for an invalid socket
}

TEST_F(UpdateProtocol, TokenRules) {
    serve_manifest("client", release_manifest(7));
    const std::string long_token(119, 't');
    struct Case {
        std::string token;
        bool sent;
    } cases[] = {{"", false}, {"abc-123", true}, {long_token, true}, {long_token + "t", false}, {"ab\ncd", false}};
    for (const Case& c : cases) {
        ASSERT_EQ(update_server_command("RESET"), "OK");
        serve_manifest("client", release_manifest(7));
        UpdateConnection sock;
        ASSERT_TRUE(update_connect("127.0.0.1", port, &sock, error, sizeof error, nullptr)) << error;
        update_send_token(&sock, c.token.c_str());
        UpdateManifest manifest = {};
        EXPECT_TRUE(update_fetch_manifest(&sock, "client", 0, &manifest, error, sizeof error, nullptr)) << error;
        manifest_clear(&manifest);
        update_bye(&sock);
        std::string expected = "CONNECT\nZANDOR-UPDATE 1\n" + (c.sent ? "TOKEN " + c.token + "\n" : std::string()) +
                               "MANIFEST client\nBYE";
        // The server records on its connection's own thread: give it a moment to read the BYE.
        std::string record = update_server_record();
        for (int i = 0; i < 100 && record != expected; i++) {
            Sleep(100);
            record = update_server_record();
        }
        EXPECT_EQ(record, expected) << c.token.size();
    }
}

TEST_F(UpdateProtocol, ReleaseAndChannelChecks) {
    serve_manifest("client", release_manifest(7));
    serve_manifest("Client", release_manifest(7));  // what a server might hand out for the wrong case
    serve_manifest("beta", release_manifest(7, "client"));
    UpdateManifest manifest = {};
    EXPECT_TRUE(fetch("client", 7, &manifest)) << error;  // equal to the highest seen
    EXPECT_EQ(manifest.release, 7u);
    EXPECT_TRUE(fetch("client", 0, &manifest)) << error;
    EXPECT_FALSE(fetch("client", 8, &manifest));
    EXPECT_STREQ(error, "the server offers release 7, older than release 8 already seen (refused)");
    EXPECT_EQ(manifest.raw_text, nullptr);
    EXPECT_FALSE(fetch("Client", 0, &manifest));
    EXPECT_STREQ(error, "the manifest is for channel client, not Client");
    EXPECT_EQ(manifest.file_count, 0u);
    EXPECT_FALSE(fetch("beta", 0, &manifest));
    EXPECT_STREQ(error, "the manifest is for channel client, not beta");

    serve_manifest("client", release_manifest(18446744073709551609ull));
    EXPECT_TRUE(fetch("client", 18446744073709551609ull, &manifest)) << error;
    manifest_clear(&manifest);
}

TEST_F(UpdateProtocol, AnswerLines) {
    struct Case {
        std::string line;
        std::string error;
    } cases[] = {
        {"OK 1048577", "bad answer length 'OK 1048577'"},
        {"OK ", "bad answer length 'OK '"},
        {"OK -5", "bad answer length 'OK -5'"},
        {"OK 12ab", "bad answer length 'OK 12ab'"},
        {"OK 4294967296", "bad answer length 'OK 4294967296'"},
        {"OK  5", "bad answer length 'OK  5'"},
        {"OK", "the update server answered 'OK'"},
        {"ok 5", "the update server answered 'ok 5'"},
        {"ERR the channel is closed", "the update server answered 'ERR the channel is closed'"},
        {"OK 5\r", "the manifest did not arrive whole"},  // CR ignored; then no payload arrives
        {std::string(198, 'x'), "the update server answered '" + std::string(198, 'x') + "'"},
        {std::string(199, 'x'), "the update server closed the connection"},
    };
    for (const Case& c : cases) {
        mode("answer_line", base64_of(c.line));
        UpdateManifest manifest = {};
        EXPECT_FALSE(fetch("client", 0, &manifest)) << c.line;
        EXPECT_EQ(error, c.error) << c.line;
        // The server hangs up after the answer line, so a missing payload shows as a cut manifest.
    }
    ASSERT_EQ(update_server_command("RESET"), "OK");
    mode("error_line", "ERR no manifest today");
    UpdateManifest manifest = {};
    EXPECT_FALSE(fetch("client", 0, &manifest));
    EXPECT_STREQ(error, "the update server answered 'ERR no manifest today'");
}

TEST_F(UpdateProtocol, ManifestOfExactly1MiBAndCutOrBadManifests) {
    std::string body = body_of(full_manifest_lines());
    size_t signature_length = signed_manifest(body).size() - body.size();
    std::string big = signed_manifest(body + std::string(MANIFEST_MAX_BYTES - body.size() - signature_length, '\n'));
    ASSERT_EQ(big.size(), MANIFEST_MAX_BYTES);
    serve_manifest("client", big);
    UpdateManifest manifest = {};
    EXPECT_TRUE(fetch("client", 0, &manifest)) << error;
    EXPECT_EQ(manifest.raw_length, MANIFEST_MAX_BYTES);

    mode("cut_manifest", "1000");
    EXPECT_FALSE(fetch("client", 0, &manifest));
    EXPECT_STREQ(error, "the manifest did not arrive whole");
    EXPECT_EQ(manifest.raw_text, nullptr);

    ASSERT_EQ(update_server_command("RESET"), "OK");
    serve_manifest("client", signed_manifest(body, TEST_KEY_UNTRUSTED, "2"));
    EXPECT_FALSE(fetch("client", 0, &manifest));
    EXPECT_STREQ(error, "the manifest signature does not check out (not from the ZANDOR release key)");
}

// File pieces by digest, as the download asks for them: short pieces, a dropped connection and a
// corrupted byte all show at this level.
TEST_F(UpdateProtocol, FilePieces) {
    std::string data;
    for (int i = 0; i < 100000; i++) data += (char)(i * 7);
    std::string answer = update_server_command("FILE " + base64_of(data));
    ASSERT_EQ(answer.substr(0, 3), "OK ");
    const std::string digest = answer.substr(3);

    auto get_all = [&](std::string* out) {
        UpdateConnection sock;
        if (!update_connect("127.0.0.1", port, &sock, error, sizeof error, nullptr)) return false;
        bool ok = true;
        out->clear();
        while (ok && out->size() < data.size()) {
            std::string line = "GET " + digest + " " + std::to_string(out->size()) + " 65536\n";
            uint32_t length = 0;
            ok = send_all(sock.reader.socket, line.data(), line.size()) &&
                 update_read_answer(&sock, UPDATE_PIECE_MAX, &length, error, sizeof error, nullptr) && length > 0;
            std::string piece(length, '\0');
            ok = ok && update_receive_exact(&sock, &piece[0], length, nullptr);
            if (ok) *out += piece;
        }
        update_bye(&sock);
        return ok;
    };
    std::string got;
    ASSERT_TRUE(get_all(&got)) << error;
    EXPECT_EQ(got, data);
    mode("short_pieces", "777");
    ASSERT_TRUE(get_all(&got)) << error;
    EXPECT_EQ(got, data);
    mode("corrupt_byte", "5000");
    ASSERT_TRUE(get_all(&got)) << error;
    EXPECT_NE(got, data);
    EXPECT_EQ(got[5000], (char)~data[5000]);
    mode("drop_after", "3000");
    EXPECT_FALSE(get_all(&got));

    ASSERT_EQ(update_server_command("RESET"), "OK");
    UpdateConnection sock;
    ASSERT_TRUE(update_connect("127.0.0.1", port, &sock, error, sizeof error, nullptr));
    std::string line = "GET " + digest + " 0 10\n";
    uint32_t length = 0;
    ASSERT_TRUE(send_all(sock.reader.socket, line.data(), line.size()));
    EXPECT_FALSE(update_read_answer(&sock, UPDATE_PIECE_MAX, &length, error, sizeof error, nullptr));
    EXPECT_STREQ(error, "the update server answered 'ERR unknown file'");
    update_bye(&sock);
}

// Each connection keeps its own buffered bytes: a piece whose start came in with its answer line is
// read whole after another connection of the same thread fetched a manifest in between, and after a
// connection that took the same socket value came and went.
TEST_F(UpdateProtocol, BufferedBytesStayWithTheirConnection) {
    std::string data;
    for (int i = 0; i < 3000; i++) data += (char)(i * 13);
    std::string answer = update_server_command("FILE " + base64_of(data));
    ASSERT_EQ(answer.substr(0, 3), "OK ");
    serve_manifest("client", release_manifest(1));
    for (bool reuse_value : {false, true}) {
        SCOPED_TRACE(reuse_value ? "the other connection closed" : "the other connection open");
        UpdateConnection first, second;
        ASSERT_TRUE(update_connect("127.0.0.1", port, &first, error, sizeof error, nullptr)) << error;
        std::string get = "GET " + answer.substr(3) + " 0 3000\n";
        uint32_t length = 0;
        ASSERT_TRUE(send_all(first.reader.socket, get.data(), get.size()));
        ASSERT_TRUE(update_read_answer(&first, UPDATE_PIECE_MAX, &length, error, sizeof error, nullptr)) << error;
        ASSERT_EQ(length, data.size());
        ASSERT_TRUE(update_connect("127.0.0.1", port, &second, error, sizeof error, nullptr)) << error;
        UpdateManifest manifest = {};
        EXPECT_TRUE(update_fetch_manifest(&second, "client", 0, &manifest, error, sizeof error, nullptr)) << error;
        manifest_clear(&manifest);
        if (reuse_value) update_bye(&second);
        std::string piece(length, '\0');
        EXPECT_TRUE(update_receive_exact(&first, &piece[0], length, nullptr));
        EXPECT_EQ(piece, data);
        update_bye(&first);
        update_bye(&second);
    }
}

// A server that takes the connection and never answers: the hello waits for the 20-second time-out.
TEST_F(UpdateProtocol, SilentServerFailsAfterTheReceiveTimeout) {
    mode("silent");
    UpdateConnection sock;
    DWORD start = GetTickCount();
    EXPECT_FALSE(update_connect("127.0.0.1", port, &sock, error, sizeof error, nullptr));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(error, not_a_server());
    EXPECT_GE(elapsed, 19000u);
    EXPECT_LT(elapsed, 30000u);
}

namespace {

struct DelayedStop {
    volatile long* stop;
    DWORD delay_ms;
};

DWORD WINAPI stop_after_delay(void* context) {
    DelayedStop* d = (DelayedStop*)context;
    Sleep(d->delay_ms);
    InterlockedExchange(d->stop, 1);
    return 0;
}

}  // namespace

// A server that trickles its answer, each byte well within the 20-second receive time-out: the
// answer must still be in by the deadline of its wait, line and payload alike, and a stop flag ends
// the wait between receives. (The update run uses UPDATE_ANSWER_LIMIT_MS; these waits are shorter.)
TEST_F(UpdateProtocol, TrickledAnswersEndAtTheDeadlineOrAtAStop) {
    std::string data(100000, 'p');
    std::string answer = update_server_command("FILE " + base64_of(data));
    ASSERT_EQ(answer.substr(0, 3), "OK ");
    const std::string get = "GET " + answer.substr(3) + " 0 100000\n";

    struct Case {
        const char* name;
        const char* trickle_ms;
        DWORD limit_ms;
        DWORD stop_after_ms;  // 0: nothing stops the wait
        bool line_arrives;    // the answer line "OK 100000" is in before the wait ends
        const char* line_error;
    } cases[] = {
        {"payload past the deadline", "100", 4000, 0, true, ""},
        {"line past the deadline", "1000", 3000, 0, false, "the update server closed the connection"},
        {"stopped inside the payload", "100", 60000, 2500, true, ""},
        {"stopped inside the line", "1000", 60000, 2500, false, "stopped"},
    };
    for (const Case& c : cases) {
        mode("trickle", c.trickle_ms);
        UpdateConnection sock;
        ASSERT_TRUE(update_connect("127.0.0.1", port, &sock, error, sizeof error, nullptr)) << error;
        volatile long stop = 0;
        DelayedStop delayed = {&stop, c.stop_after_ms};
        HANDLE stopper = c.stop_after_ms ? CreateThread(nullptr, 0, stop_after_delay, &delayed, 0, nullptr) : nullptr;
        UpdateWait wait;
        update_wait_start(&wait, c.limit_ms, &stop);
        DWORD start = GetTickCount();
        ASSERT_TRUE(send_all(sock.reader.socket, get.data(), get.size()));
        uint32_t length = 0;
        error[0] = 0;
        bool line = update_read_answer(&sock, UPDATE_PIECE_MAX, &length, error, sizeof error, &wait);
        EXPECT_EQ(line, c.line_arrives) << c.name << ": " << error;
        EXPECT_STREQ(error, c.line_error) << c.name;
        if (line) {
            EXPECT_EQ(length, data.size()) << c.name;
            std::string piece(length, '\0');
            EXPECT_FALSE(update_receive_exact(&sock, &piece[0], length, &wait)) << c.name;
        }
        DWORD elapsed = GetTickCount() - start;
        DWORD ends_at = c.stop_after_ms ? c.stop_after_ms : c.limit_ms;
        EXPECT_GE(elapsed + 200, ends_at) << c.name << ": the wait ends no earlier than asked";
        EXPECT_LT(elapsed, 19000u) << c.name << ": ended by the receive time-out, not by the wait";
        if (stopper) {
            WaitForSingleObject(stopper, INFINITE);
            CloseHandle(stopper);
        }
        update_bye(&sock);
    }
}

// A stop set while the server stalls in the hello or in the manifest answer ends the exchange within
// a look at the flag, with "stopped", long before any time-out.
TEST_F(UpdateProtocol, StopEndsAStalledHelloOrManifest) {
    serve_manifest("client", release_manifest(5));
    struct Case {
        const char* name;
        const char* mode;
        const char* value;
    } cases[] = {
        {"hello never answered", "silent", ""},
        {"manifest line stalled", "trickle_manifest", "4000"},
        {"manifest payload trickled", "trickle_manifest", "50"},
    };
    const DWORD stop_after_ms = 1500;
    for (const Case& c : cases) {
        mode(c.mode, c.value);
        volatile long stop = 0;
        DelayedStop delayed = {&stop, stop_after_ms};
        HANDLE stopper = CreateThread(nullptr, 0, stop_after_delay, &delayed, 0, nullptr);
        ASSERT_NE(stopper, nullptr);
        DWORD start = GetTickCount();
        UpdateConnection sock;
        error[0] = 0;
        bool ok = update_connect("127.0.0.1", port, &sock, error, sizeof error, &stop);
        if (ok) {
            UpdateManifest manifest = {};
            ok = update_fetch_manifest(&sock, "client", 0, &manifest, error, sizeof error, &stop);
            manifest_clear(&manifest);
            update_bye(&sock);
        }
        DWORD elapsed = GetTickCount() - start;
        EXPECT_FALSE(ok) << c.name;
        EXPECT_STREQ(error, "stopped") << c.name;
        EXPECT_EQ(sock.reader.socket, INVALID_SOCKET) << c.name;
        EXPECT_GE(elapsed + 200, stop_after_ms) << c.name;
        EXPECT_LT(elapsed, stop_after_ms + 3000) << c.name << ": the stop was not seen between receives";
        WaitForSingleObject(stopper, INFINITE);
        CloseHandle(stopper);
        ASSERT_EQ(update_server_command("RESET"), "OK");
        serve_manifest("client", release_manifest(5));
    }
}
