// The secure link from the server's side of the wire: the first input line is the server hello, the
// other lines are sealed lines. A hello of five fields (no signature) is signed here with a test
// hello key, so that the key derivation and the sealed lines are reached; sealing and opening then
// have to give back what was sealed, in both directions.
#include <sodium.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "../support/signed_manifest.h"
#include "core/codecs.h"
#include "account/link_frame.h"
#include "fuzz_check.h"

// The text the server signs before its hello fields (the link's protocol constant).
static const char SIGN_CONTEXT[] = "TOLVEN-LINK-1\n";

struct HelloKey {
    LinkKey pinned;
    uint8_t secret_key[64];
};

static const HelloKey* test_hello_key() {
    static HelloKey key;
    static bool made = false;
    if (!made) {
        uint8_t seed[32];
        for (int i = 0; i < 32; i++) seed[i] = (uint8_t)(0x5a ^ i);
        FUZZ_CHECK(sodium_init() >= 0);
        FUZZ_CHECK(crypto_sign_seed_keypair(key.pinned.public_key, key.secret_key, seed) == 0);
        key.pinned.key_id = 1;
        made = true;
    }
    return &key;
}

static std::string hex_text(const uint8_t* bytes, size_t n) {
    char out[2 * 32 + 1];
    hex_encode(bytes, n, out);
    return out;
}

static int count_fields(const std::string& line) {
    int count = 1;
    for (char c : line) count += c == '\t';
    return count;
}

// Sealed by one side, opened by the other: the same text, and the counters move together.
static void check_round_trip(SecureLink* from, SecureLink* to, const std::string& text) {
    static char sealed[LINK_LINE_CAP], opened[LINK_TEXT_MAX + 1];
    uint64_t sent = from->send_counter, received = to->receive_counter;
    bool fits = strlen(text.c_str()) <= LINK_TEXT_MAX && text.find('\n') == std::string::npos;
    bool was_sealed = link_seal(from, text.c_str(), sealed, sizeof sealed);
    FUZZ_CHECK(was_sealed == fits);
    if (!was_sealed) return;
    FUZZ_CHECK(from->send_counter == sent + 1);
    FUZZ_CHECK(strlen(sealed) < LINK_LINE_CAP);
    FUZZ_CHECK(link_open(to, sealed, opened, sizeof opened));
    FUZZ_CHECK(strcmp(opened, text.c_str()) == 0);
    FUZZ_CHECK(to->receive_counter == received + 1);
}

static const int SEALED_LINES = 8;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input((const char*)data, size);
    size_t lf = input.find('\n');
    std::string hello = input.substr(0, lf);
    const HelloKey* key = test_hello_key();

    // The client's side after its hello, made once: every input starts from a copy of it.
    static SecureLink hello_sent;
    if (!hello_sent.hello_sent) {
        uint8_t random[LINK_RANDOM_BYTES];
        for (int i = 0; i < LINK_RANDOM_BYTES; i++) random[i] = (uint8_t)(i * 7 + 1);
        char client_hello[LINK_HELLO_CAP];
        FUZZ_CHECK(link_hello_from_random(&hello_sent, random, client_hello, sizeof client_hello));
    }
    SecureLink client = hello_sent;

    if (count_fields(hello) == 5) {
        std::string message = std::string(SIGN_CONTEXT) + hex_text(client.client_public, 32) + "\t" +
                              hex_text(client.client_nonce, 16) + "\t" + hello;
        uint8_t signature[64];
        FUZZ_CHECK(crypto_sign_detached(signature, nullptr, (const uint8_t*)message.data(), message.size(),
                                        key->secret_key) == 0);
        hello += "\t" + base64_text(signature, 64, false, true);
    }
    if (!link_accept_hello(&client, hello.c_str(), &key->pinned, 1)) {
        FUZZ_CHECK(!client.established);
        return 0;
    }
    FUZZ_CHECK(client.established && client.key_id == 1);
    FUZZ_CHECK(sodium_is_zero(client.client_secret, sizeof client.client_secret));

    // The server's side of the same link: the keys the other way round.
    SecureLink server = {};
    server.established = true;
    memcpy(server.send_key, client.receive_key, 32);
    memcpy(server.receive_key, client.send_key, 32);

    size_t start = lf == std::string::npos ? input.size() : lf + 1;
    // A few lines per input: an input of thousands of short lines would only slow the search down.
    for (int lines = 0; lines < SEALED_LINES && start < input.size(); lines++) {
        size_t end = input.find('\n', start);
        if (end == std::string::npos) end = input.size();
        std::string line = input.substr(start, end - start);
        start = end + 1;
        // A line off the wire: almost always refused, and then nothing moves.
        char opened[LINK_TEXT_MAX + 1];
        uint64_t received = client.receive_counter;
        if (link_open(&client, line.c_str(), opened, sizeof opened)) {
            FUZZ_CHECK(client.receive_counter == received + 1 && !strchr(opened, '\n'));
            server.send_counter++;
        } else {
            FUZZ_CHECK(client.receive_counter == received && opened[0] == 0);
        }
        check_round_trip(&server, &client, line);
        check_round_trip(&client, &server, line);
    }
    return 0;
}
