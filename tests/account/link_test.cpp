// The secure link against the reference account server: every failure row, the request size limit,
// fresh keys per exchange and the zeroed link state.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "account/link_exchange.h"
#include "support/account_server_control.h"

namespace {

const char NOT_OUR_SERVER[] = "This is not the zandor server (the secure link check failed).";
const char UNCHECKED[] = "The answer from zandor could not be checked.";
const char NO_ANSWER[] = "zandor did not answer. Please try again later.";
const char CANNOT_REACH[] = "Could not reach zandor. Please check your internet connection.";

struct Exchange {
    bool ok;
    AccountReply reply;
    std::string answer;
};

Exchange exchange(const std::string& request, size_t capacity = 4096, const char* host = "127.0.0.1",
                  unsigned short port = 0) {
    Exchange result = {};
    std::string buffer(capacity, 'x');
    result.ok = link_exchange(host, port ? port : account_port(), request.c_str(), &buffer[0], capacity,
                              &result.reply);
    result.answer = buffer.c_str();
    return result;
}

bool all_zero(const void* data, size_t size) {
    const unsigned char* p = (const unsigned char*)data;
    for (size_t i = 0; i < size; i++) {
        if (p[i]) return false;
    }
    return true;
}

class Link : public ::testing::Test {
protected:
    void SetUp() override { reset_account_server(); }
};

}  // namespace

TEST_F(Link, CarriesOneRequestAndOneAnswer) {
    push_answer("ok", "PONG\tfields\t1");
    Exchange e = exchange("PING\tone\ttwo");
    ASSERT_TRUE(e.ok) << e.reply.message;
    EXPECT_TRUE(e.reply.answered);
    EXPECT_EQ(e.answer, "PONG\tfields\t1");
    EXPECT_STREQ(e.reply.error_code, "");
    EXPECT_STREQ(e.reply.message, "");
    EXPECT_EQ(seen_exchange().request, "PING\tone\ttwo");
}

TEST_F(Link, HandshakeVariantsThatStillWork) {
    const char* behaviours[] = {"keyid:001", "upper_hex", "std_base64", "hello_len:400", "cr"};
    for (const char* behaviour : behaviours) {
        push_answer(behaviour, "FINE");
        Exchange e = exchange("HELLO");
        EXPECT_TRUE(e.ok) << behaviour << ": " << e.reply.message;
        EXPECT_EQ(e.answer, "FINE") << behaviour;
        EXPECT_EQ(seen_exchange().request, "HELLO") << behaviour;
    }
}

TEST_F(Link, FailureTable) {
    struct Row {
        const char* behaviour;
        std::string answer;
        const char* code;
        const char* message;
    } rows[] = {
        {"bad_signature", "", "not_our_server", NOT_OUR_SERVER},
        {"big_s", "", "not_our_server", NOT_OUR_SERVER},
        {"keyid:2", "", "not_our_server", NOT_OUR_SERVER},
        {"keyid:0", "", "not_our_server", NOT_OUR_SERVER},
        {"keyid:256", "", "not_our_server", NOT_OUR_SERVER},
        {"keyid:00000000000000000001", "", "not_our_server", NOT_OUR_SERVER},
        {"hello_len:401", "", "not_our_server", NOT_OUR_SERVER},
        {"seventh_field", "", "not_our_server", NOT_OUR_SERVER},
        {"empty_fifth", "", "not_our_server", NOT_OUR_SERVER},
        {"zero_key", "", "not_our_server", NOT_OUR_SERVER},
        {"no_hello", "", "no_connection", NO_ANSWER},
        {"no_answer", "", "no_connection", NO_ANSWER},
        {"answer_cut", "a long enough answer to be cut in the middle", "no_connection", NO_ANSWER},
        {"answer_garbage", "", "not_our_server", UNCHECKED},
        {"answer_bad_base64", "an answer of some length", "not_our_server", UNCHECKED},
        {"answer_bad_tag", "", "not_our_server", UNCHECKED},
        {"answer_wrong_counter", "", "not_our_server", UNCHECKED},
        {"answer_short", "", "not_our_server", UNCHECKED},
        {"ok", "two\nlines", "not_our_server", UNCHECKED},
        {"ok", std::string("nul\0inside", 10), "not_our_server", UNCHECKED},
        {"ok", std::string(4096, 'a'), "not_our_server", UNCHECKED},  // as long as the capacity
        {"ok", std::string(4097, 'a'), "not_our_server", UNCHECKED},  // a box over 4112 bytes
        {"ok", std::string(4200, 'a'), "no_connection", NO_ANSWER},   // a line over 5503 characters
    };
    for (const Row& row : rows) {
        if (row.answer.empty()) {
            push_behaviour(row.behaviour);
        } else {
            push_answer(row.behaviour, row.answer);
        }
        Exchange e = exchange("REQUEST\tx");
        EXPECT_FALSE(e.ok) << row.behaviour;
        EXPECT_FALSE(e.reply.answered) << row.behaviour;
        EXPECT_STREQ(e.reply.error_code, row.code) << row.behaviour;
        EXPECT_STREQ(e.reply.message, row.message) << row.behaviour;
        EXPECT_EQ(e.answer, "") << row.behaviour;
    }
}

TEST_F(Link, AnswerOneByteShorterThanTheCapacityFits) {
    push_answer("ok", std::string(99, 'b'));
    Exchange e = exchange("X", 100);
    ASSERT_TRUE(e.ok) << e.reply.message;
    EXPECT_EQ(e.answer, std::string(99, 'b'));
}

TEST_F(Link, NoServerListening) {
    // The control port speaks no link: use a port where nothing listens at all.
    Exchange closed = exchange("X", 64, "127.0.0.1", 1);
    EXPECT_FALSE(closed.ok);
    EXPECT_STREQ(closed.reply.error_code, "no_connection");
    EXPECT_STREQ(closed.reply.message, CANNOT_REACH);

    Exchange unnamed = exchange("X", 64, "no-such-host.invalid");
    EXPECT_FALSE(unnamed.ok);
    EXPECT_STREQ(unnamed.reply.error_code, "no_connection");
    EXPECT_STREQ(unnamed.reply.message, CANNOT_REACH);
}

TEST_F(Link, RequestOf4096BytesGoesAnd4097IsRefusedAfterTheHandshake) {
    std::string longest(4096, 'r');
    Exchange sent = exchange(longest);
    ASSERT_TRUE(sent.ok) << sent.reply.message;
    EXPECT_EQ(seen_exchange().request, longest);

    int before = exchange_count();
    Exchange refused = exchange(longest + "r");
    EXPECT_FALSE(refused.ok);
    EXPECT_STREQ(refused.reply.error_code, "bad_request");
    EXPECT_STREQ(refused.reply.message, "The log-in could not be sent.");
    EXPECT_EQ(exchange_count(), before + 1);  // the handshake took place
    SeenExchange seen = seen_exchange();
    EXPECT_EQ(seen.client_public.size(), 64u);
    EXPECT_FALSE(seen.request_opened);

    Exchange with_lf = exchange("two\nlines");
    EXPECT_STREQ(with_lf.reply.error_code, "bad_request");
}

TEST_F(Link, EveryExchangeUsesFreshKeys) {
    ASSERT_TRUE(exchange("SAME").ok);
    ASSERT_TRUE(exchange("SAME").ok);
    SeenExchange first = seen_exchange(2), second = seen_exchange(1);
    EXPECT_EQ(first.request, "SAME");
    EXPECT_EQ(second.request, "SAME");
    EXPECT_EQ(first.client_public.size(), 64u);
    EXPECT_NE(first.client_public, second.client_public);
    EXPECT_NE(first.client_nonce, second.client_nonce);
}

TEST_F(Link, StateIsAllZeroAfterSuccessAndFailure) {
    const char* behaviours[] = {"ok", "bad_signature", "answer_bad_tag", "no_answer"};
    for (const char* behaviour : behaviours) {
        push_behaviour(behaviour);
        SecureLink link;
        memset(&link, 0x5a, sizeof link);
        AccountReply reply = {};
        char answer[64];
        bool ok = link_exchange_with(&link, "127.0.0.1", account_port(), "Q", answer, sizeof answer, &reply);
        EXPECT_EQ(ok, strcmp(behaviour, "ok") == 0) << behaviour;
        EXPECT_TRUE(all_zero(&link, sizeof link)) << behaviour;
    }
}
