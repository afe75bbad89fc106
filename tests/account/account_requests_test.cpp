// The eight account requests against the reference account server: the lines it receives, the
// results, the markers stored, and the saved log-in removed by LOGOUT and NOTME.
#include <windows.h>

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "account/account_files.h"
#include "account/account_requests.h"
#include "account/machine_sources.h"
#include "support/account_server_control.h"
#include "support/test_support.h"

namespace {

const char HOST[] = "127.0.0.1";
const char MARKER[] = "pgm1.ABCDEFGHIJKLMNOPQRSTUVWX";
const std::string OK_ANSWER = std::string("OK\tpgt1.fresh\t5\t77\tQW5h\t") + MARKER + "\tv2\t";

std::vector<std::string> fields_of(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        out.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return out;
        start = tab + 1;
    }
}

std::string this_machine() {
    char id[MACHINE_ID_CAP];
    machine_id(id, sizeof id);
    return id;
}

SavedLogin saved_login() {
    SavedLogin login = {};
    strcpy(login.token, "pgt1.saved-token");
    strcpy(login.terms_version, "v2");
    return login;
}

bool session_exists() {
    char path[MAX_PATH];
    return session_path(path, sizeof path) && file_exists(path);
}

std::string markers_field() {
    char field[MARKERS_FIELD_CAP];
    collect_markers(field, sizeof field);
    return field;
}

class Requests : public ::testing::Test {
protected:
    void SetUp() override {
        reset_account_server();
        remove_account_files();
    }
    void TearDown() override { remove_account_files(); }
};

}  // namespace

TEST_F(Requests, ClientName) {
    char name[40];
    make_client_name("1.4.2", name, sizeof name);
    EXPECT_STREQ(name, "launcher-1.4.2");
    make_client_name("", name, sizeof name);
    EXPECT_STREQ(name, "launcher-0");
}

TEST_F(Requests, WebLoginAndPolls) {
    push_answer("ok", "REQUEST\tr-1\tk-1\tAB-CD\thttps://z.example/device\t600000");
    WebLoginRequest request;
    AccountReply reply;
    DWORD before = GetTickCount();
    ASSERT_TRUE(request_web_login(HOST, account_port(), "launcher-1.0.0", &request, &reply)) << reply.message;
    EXPECT_EQ(seen_exchange().request, "WEBLOGIN\t" + this_machine() + "\t-\tlauncher-1.0.0");
    EXPECT_STREQ(request.user_code, "AB-CD");
    EXPECT_EQ(request.timeout_ms, 600000u);
    EXPECT_GE(request.started_tick - before, 0u);
    EXPECT_LE(request.started_tick - before, 5000u);

    push_answer("ok", "PENDING");
    EXPECT_EQ(poll_web_login(HOST, account_port(), &request, &reply), 0);
    EXPECT_EQ(seen_exchange().request, "WEBPOLL\tr-1\tk-1\t" + this_machine());
    push_behaviour("no_hello");
    EXPECT_EQ(poll_web_login(HOST, account_port(), &request, &reply), 0);
    EXPECT_EQ(poll_web_login(HOST, 1, &request, &reply), 0);
    push_behaviour("bad_signature");
    EXPECT_EQ(poll_web_login(HOST, account_port(), &request, &reply), -1);
    push_answer("ok", "DENIED\texpired\t");
    EXPECT_EQ(poll_web_login(HOST, account_port(), &request, &reply), -1);
    EXPECT_STREQ(reply.message, "The log-in was refused.");

    push_answer("ok", OK_ANSWER);
    EXPECT_EQ(poll_web_login(HOST, account_port(), &request, &reply), 1);
    EXPECT_STREQ(reply.login.token, "pgt1.fresh");
    EXPECT_EQ(markers_field(), MARKER);  // stored in its places

    // The next log-in request carries the stored marker.
    push_answer("ok", "REQUEST\tr-2\tk-2\tEF\tHTTPS://z.example/\t1");
    EXPECT_FALSE(request_web_login(HOST, account_port(), "launcher-0", &request, &reply));
    EXPECT_TRUE(reply.answered);
    EXPECT_STREQ(reply.error_code, "");
    EXPECT_EQ(fields_of(seen_exchange().request)[2], MARKER);
}

TEST_F(Requests, RenewAndAuto) {
    SavedLogin login = saved_login();
    AccountReply reply;
    push_answer("ok", OK_ANSWER + "\t0");
    ASSERT_TRUE(renew_login(HOST, account_port(), &login, "launcher-2.0.1", &reply)) << reply.message;
    EXPECT_EQ(seen_exchange().request, "RENEW\tpgt1.saved-token\t" + this_machine() + "\t-\tlauncher-2.0.1");
    EXPECT_TRUE(reply.older_terms);
    EXPECT_EQ(reply.login.account_id, 77u);
    EXPECT_EQ(markers_field(), MARKER);

    push_answer("ok", "DENIED\tunknown_pc\tTm90IGtub3du");
    EXPECT_FALSE(auto_login(HOST, account_port(), "launcher-2.0.1", &reply));
    EXPECT_EQ(seen_exchange().request, "AUTO\t" + this_machine() + "\t" + MARKER + "\tlauncher-2.0.1");
    EXPECT_TRUE(reply.answered);
    EXPECT_STREQ(reply.error_code, "unknown_pc");
    EXPECT_STREQ(reply.message, "Not known");

    // An OK answer whose marker is not a marker logs in but stores nothing.
    remove_account_files();
    push_answer("ok", "OK\tpgt1.x\t1\t2\tQQ\tnot-a-marker\tv\tu");
    EXPECT_TRUE(auto_login(HOST, account_port(), "launcher-0", &reply));
    EXPECT_STREQ(reply.pc_marker, "not-a-marker");
    EXPECT_EQ(markers_field(), "-");

    EXPECT_FALSE(auto_login(HOST, 1, "launcher-0", &reply));
    EXPECT_FALSE(reply.answered);
    EXPECT_STREQ(reply.error_code, "no_connection");
}

TEST_F(Requests, AcceptTermsNeedsExactlyOk) {
    SavedLogin login = saved_login();
    push_answer("ok", "OK");
    EXPECT_TRUE(accept_terms(HOST, account_port(), &login, "v9"));
    EXPECT_EQ(seen_exchange().request, "ACCEPTTERMS\tpgt1.saved-token\tv9");
    push_answer("ok", "OK\t");
    EXPECT_FALSE(accept_terms(HOST, account_port(), &login, "v9"));
    push_answer("ok", std::string(64, 'O'));  // longer than the 63-byte answer
    EXPECT_FALSE(accept_terms(HOST, account_port(), &login, "v9"));
}

TEST_F(Requests, LogOutAndNotMeDeleteTheSavedLogInEvenWithoutServer) {
    SavedLogin login = saved_login();
    struct Case {
        const char* what;
        unsigned short port;
        std::string answer;
        bool ok;
    } cases[] = {
        {"answered OK", account_port(), "OK", true},
        {"refused", account_port(), "DENIED\tx\t", false},
        {"no server", 1, "", false},
    };
    for (const Case& c : cases) {
        if (!c.answer.empty()) push_answer("ok", c.answer);
        ASSERT_TRUE(save_login(&login));
        EXPECT_EQ(log_out_request(HOST, c.port, login.token), c.ok) << c.what;
        EXPECT_FALSE(session_exists()) << c.what;
        if (c.port != 1) EXPECT_EQ(seen_exchange().request, "LOGOUT\tpgt1.saved-token");

        if (!c.answer.empty()) push_answer("ok", c.answer);
        ASSERT_TRUE(save_login(&login));
        ASSERT_EQ(store_marker(MARKER), 4);
        EXPECT_EQ(not_me(HOST, c.port, &login, MARKER), c.ok) << c.what;
        EXPECT_FALSE(session_exists()) << c.what;
        EXPECT_EQ(markers_field(), "-") << c.what;
        if (c.port != 1) EXPECT_EQ(seen_exchange().request, "NOTME\tpgt1.saved-token");
    }
}

TEST_F(Requests, GameAccount) {
    SavedLogin login = saved_login();
    GameAccount account;
    AccountReply reply;
    // "Player" and "pw12".
    push_answer("ok", "GAME\tUGxheWVy\tcHcxMg\tABCD-1234");
    ASSERT_TRUE(request_game_account(HOST, account_port(), &login, "ABCDEFGHIJ1234567890", &account, &reply));
    EXPECT_EQ(seen_exchange().request, "GAMEACCOUNT\tpgt1.saved-token\tABCDEFGHIJ1234567890");
    EXPECT_TRUE(reply.ok);
    EXPECT_STREQ(account.name, "Player");
    EXPECT_STREQ(account.password, "pw12");
    EXPECT_STREQ(account.serial, "ABCD-1234");

    push_answer("ok", "DENIED\tno_game\t");
    EXPECT_FALSE(request_game_account(HOST, account_port(), &login, "", &account, &reply));
    EXPECT_EQ(seen_exchange().request, "GAMEACCOUNT\tpgt1.saved-token\t-");
    EXPECT_STREQ(reply.error_code, "no_game");
    EXPECT_STREQ(reply.message, "");
    EXPECT_FALSE(reply.ok);
    EXPECT_STREQ(account.name, "");

    push_answer("ok", "GAME\tUGxheWVy\tcHcxMg\t" + std::string(600, 'S'));  // over 511 bytes
    EXPECT_FALSE(request_game_account(HOST, account_port(), &login, nullptr, &account, &reply));
    EXPECT_STREQ(reply.error_code, "not_our_server");
}
