// The secure link's messages: the client hello, the check of the server hello with its key
// derivation, and sealing and opening of one line in each direction. Portable (no Windows headers);
// the connection around them is account/link_exchange.h.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "core/text.h"

#define LINK_RANDOM_BYTES 48    // client secret (32) and client nonce (16)
#define LINK_HELLO_CAP 128      // room for the client hello line
#define LINK_SERVER_HELLO_MAX 400
#define LINK_TEXT_MAX 4096      // longest plain text of one sealed line
#define LINK_LINE_CAP 5504      // read buffer of one line: the longest sealed line fits

// One pinned hello-signing key of the account server.
struct LinkKey {
    uint32_t key_id;
    uint8_t public_key[32];  // Ed25519
};

// The state of one link; lives for one exchange and is zeroed when it ends.
struct SecureLink {
    bool hello_sent;
    bool established;
    uint32_t key_id;
    uint8_t client_secret[32];  // zeroed as soon as the keys are derived
    uint8_t client_public[32];
    uint8_t client_nonce[16];
    uint8_t send_key[32];
    uint8_t receive_key[32];
    uint64_t send_counter;
    uint64_t receive_counter;
};

// Makes the client hello line (no LF) from 48 random bytes; out needs LINK_HELLO_CAP bytes.
bool link_hello_from_random(SecureLink* link, const uint8_t random[LINK_RANDOM_BYTES], char* out,
                            size_t capacity) MUST_USE;
// Checks the server hello (without its line end) against the pinned keys and derives the keys.
bool link_accept_hello(SecureLink* link, const char* line, const LinkKey* keys, size_t key_count) MUST_USE;
// Seals a text of at most 4096 bytes without LF into "BOX" TAB base64url (no LF at the end).
bool link_seal(SecureLink* link, const char* text, char* out, size_t capacity) MUST_USE;
// Opens a "BOX" line into out; the plain text must be shorter than capacity and hold no NUL or LF.
bool link_open(SecureLink* link, const char* line, char* out, size_t capacity) MUST_USE;
