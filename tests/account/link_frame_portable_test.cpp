// The link's messages without a network: a server side made here with libsodium checks the key table
// rule, the order of the states, the sealed line's size limits and the counters.
#include <gtest/gtest.h>
#include <sodium.h>

#include <string.h>

#include <string>

#include "core/codecs.h"
#include "account/link_frame.h"

namespace {

struct Server {
    uint8_t sign_public[32], sign_secret[64];
    uint8_t secret[32], public_key[32], nonce[16];
};

std::string hex(const uint8_t* bytes, size_t n) {
    std::string out(2 * n + 1, '\0');
    hex_encode(bytes, n, &out[0]);
    out.resize(2 * n);
    return out;
}

// A valid server hello for the client's hello, signed with the given key.
std::string server_hello(const SecureLink& client, Server* server, const char* key_id) {
    randombytes_buf(server->secret, 32);
    randombytes_buf(server->nonce, 16);
    EXPECT_EQ(crypto_scalarmult_base(server->public_key, server->secret), 0);
    std::string fields = std::string("SECURE1OK\t") + key_id + "\t" + hex(server->public_key, 32) + "\t" +
                         hex(server->nonce, 16) + "\t42";
    std::string message = "TOLVEN-LINK-1\n" + hex(client.client_public, 32) + "\t" + hex(client.client_nonce, 16) +
                          "\t" + fields;
    uint8_t signature[64];
    EXPECT_EQ(crypto_sign_detached(signature, nullptr, (const uint8_t*)message.data(), message.size(),
                                   server->sign_secret), 0);
    char text[100];
    base64url_encode(signature, 64, text);
    return fields + "\t" + text;
}

// The server's view of the keys: its receive key is the client's send key and back.
void server_keys(const SecureLink& client, const Server& server, SecureLink* mirror) {
    uint8_t shared[32], digest[64];
    ASSERT_EQ(crypto_scalarmult(shared, server.secret, client.client_public), 0);
    crypto_hash_sha512_state state;
    crypto_hash_sha512_init(&state);
    crypto_hash_sha512_update(&state, (const uint8_t*)"TOLVEN-LINK-KEYS-1\n", 19);
    crypto_hash_sha512_update(&state, shared, 32);
    crypto_hash_sha512_update(&state, client.client_public, 32);
    crypto_hash_sha512_update(&state, server.public_key, 32);
    crypto_hash_sha512_update(&state, client.client_nonce, 16);
    crypto_hash_sha512_update(&state, server.nonce, 16);
    crypto_hash_sha512_final(&state, digest);
    memset(mirror, 0, sizeof *mirror);
    memcpy(mirror->receive_key, digest, 32);
    memcpy(mirror->send_key, digest + 32, 32);
    mirror->established = true;
}

class LinkFrame : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(sodium_init(), 0);
        crypto_sign_keypair(server.sign_public, server.sign_secret);
        uint8_t random[LINK_RANDOM_BYTES];
        randombytes_buf(random, sizeof random);
        ASSERT_TRUE(link_hello_from_random(&client, random, hello, sizeof hello));
    }
    void establish() {
        LinkKey key = {1, {}};
        memcpy(key.public_key, server.sign_public, 32);
        ASSERT_TRUE(link_accept_hello(&client, server_hello(client, &server, "1").c_str(), &key, 1));
        server_keys(client, server, &mirror);
    }
    Server server;
    SecureLink client = {};
    SecureLink mirror = {};
    char hello[LINK_HELLO_CAP];
};

}  // namespace

TEST_F(LinkFrame, HelloLineForm) {
    EXPECT_EQ(strlen(hello), 105u);
    EXPECT_EQ(std::string(hello, 8), "SECURE1\t");
    EXPECT_EQ(std::string(hello + 8, 64), hex(client.client_public, 32));
    EXPECT_EQ(std::string(hello + 73), hex(client.client_nonce, 16));
    char again[LINK_HELLO_CAP];
    uint8_t random[LINK_RANDOM_BYTES] = {};
    EXPECT_FALSE(link_hello_from_random(&client, random, again, sizeof again));  // one hello per link
}

TEST_F(LinkFrame, TheLastKeyOfAnIdCountsAndTheSecretIsWiped) {
    LinkKey keys[3] = {{1, {}}, {1, {}}, {7, {}}};
    memcpy(keys[1].public_key, server.sign_public, 32);  // keys[0] holds a wrong key of the same id
    keys[0].public_key[0] = 9;
    std::string line = server_hello(client, &server, "1");
    EXPECT_TRUE(link_accept_hello(&client, line.c_str(), keys, 3));
    EXPECT_TRUE(client.established);
    EXPECT_EQ(client.key_id, 1u);
    uint8_t zero[32] = {};
    EXPECT_EQ(memcmp(client.client_secret, zero, 32), 0);
    EXPECT_FALSE(link_accept_hello(&client, line.c_str(), keys, 3));  // already established

    SecureLink second = {};
    uint8_t random[LINK_RANDOM_BYTES] = {1, 2, 3};
    char text[LINK_HELLO_CAP];
    ASSERT_TRUE(link_hello_from_random(&second, random, text, sizeof text));
    std::swap(keys[0], keys[1]);  // now the wrong key is the last of id 1
    EXPECT_FALSE(link_accept_hello(&second, server_hello(second, &server, "1").c_str(), keys, 3));
}

TEST_F(LinkFrame, KeyIdsOutsideOneTo255AreRefusedEvenWhenPinned) {
    LinkKey keys[3] = {{0, {}}, {256, {}}, {255, {}}};
    for (LinkKey& key : keys) memcpy(key.public_key, server.sign_public, 32);
    const char* refused[] = {"0", "256", "4294967297"};
    for (const char* id : refused) {
        EXPECT_FALSE(link_accept_hello(&client, server_hello(client, &server, id).c_str(), keys, 3)) << id;
    }
    EXPECT_TRUE(link_accept_hello(&client, server_hello(client, &server, "0255").c_str(), keys, 3));
    EXPECT_EQ(client.key_id, 255u);
}

TEST_F(LinkFrame, NothingIsSealedOrOpenedBeforeTheHandshake) {
    char out[64];
    EXPECT_FALSE(link_seal(&client, "x", out, sizeof out));
    EXPECT_FALSE(link_open(&client, "BOX\tAAAA", out, sizeof out));
    SecureLink empty = {};
    EXPECT_FALSE(link_accept_hello(&empty, "SECURE1OK", nullptr, 0));
}

TEST_F(LinkFrame, SealedLinesOpenOnTheOtherSideWithCounters) {
    establish();
    static char line[LINK_LINE_CAP], opened[LINK_TEXT_MAX + 1];
    std::string longest(LINK_TEXT_MAX, 'q');
    ASSERT_TRUE(link_seal(&client, longest.c_str(), line, sizeof line));
    EXPECT_EQ(strlen(line), 5487u);
    EXPECT_EQ(client.send_counter, 1u);
    ASSERT_TRUE(link_open(&mirror, line, opened, sizeof opened));
    EXPECT_EQ(opened, longest);
    EXPECT_FALSE(link_seal(&client, (longest + "q").c_str(), line, sizeof line));
    EXPECT_FALSE(link_seal(&client, "a\nb", line, sizeof line));
    EXPECT_EQ(client.send_counter, 1u);

    // The answer: too long for the capacity, then a second line with the same counter is refused.
    ASSERT_TRUE(link_seal(&mirror, "12345", line, sizeof line));
    char small[6];
    EXPECT_FALSE(link_open(&client, line, small, 5));
    EXPECT_STREQ(small, "");
    ASSERT_TRUE(link_open(&client, line, small, sizeof small));
    EXPECT_STREQ(small, "12345");
    EXPECT_EQ(client.receive_counter, 1u);
    EXPECT_FALSE(link_open(&client, line, small, sizeof small));  // counter 1 now: the tag fails
}
