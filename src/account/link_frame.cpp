// The secure link's handshake and sealed lines (X25519, Ed25519, SHA-512, XSalsa20-Poly1305).
#include "account/link_frame.h"

#include <sodium.h>
#include <string.h>

#include "core/codecs.h"

static const char SIGN_CONTEXT[] = "TOLVEN-LINK-1\n";
static const char KEY_CONTEXT[] = "TOLVEN-LINK-KEYS-1\n";

bool link_hello_from_random(SecureLink* link, const uint8_t random[LINK_RANDOM_BYTES], char* out,
                            size_t capacity) {
    if (capacity < LINK_HELLO_CAP || link->hello_sent) return false;
    memcpy(link->client_secret, random, 32);
    memcpy(link->client_nonce, random + 32, 16);
    if (crypto_scalarmult_base(link->client_public, link->client_secret) != 0) return false;
    char public_hex[65], nonce_hex[33];
    hex_encode(link->client_public, 32, public_hex);
    hex_encode(link->client_nonce, 16, nonce_hex);
    format_text(out, capacity, "SECURE1\t%s\t%s", public_hex, nonce_hex);
    link->hello_sent = true;
    return true;
}

// Finds the pinned key of an id; when several carry it, the last one counts.
static const LinkKey* find_key(const LinkKey* keys, size_t key_count, uint64_t key_id) {
    const LinkKey* found = nullptr;
    for (size_t i = 0; i < key_count; i++) {
        if (keys[i].key_id == key_id) found = &keys[i];
    }
    return found;
}

static bool verify_hello_signature(const SecureLink* link, const char* line, size_t signed_length,
                                   const uint8_t* signature, const uint8_t* public_key) {
    char message[sizeof SIGN_CONTEXT + 64 + 1 + 32 + 1 + LINK_SERVER_HELLO_MAX];
    char public_hex[65], nonce_hex[33];
    hex_encode(link->client_public, 32, public_hex);
    hex_encode(link->client_nonce, 16, nonce_hex);
    size_t length = format_text(message, sizeof message, "%s%s\t%s\t", SIGN_CONTEXT, public_hex, nonce_hex);
    memcpy(message + length, line, signed_length);
    length += signed_length;
    return crypto_sign_verify_detached(signature, (const unsigned char*)message, length, public_key) == 0;
}

static bool derive_keys(SecureLink* link, const uint8_t server_public[32], const uint8_t server_nonce[16]) {
    uint8_t shared[32];
    uint8_t digest[64];
    crypto_hash_sha512_state state;
    bool ok = crypto_scalarmult(shared, link->client_secret, server_public) == 0 &&
              !sodium_is_zero(shared, sizeof shared);
    if (ok) {
        ok = crypto_hash_sha512_init(&state) == 0 &&
             crypto_hash_sha512_update(&state, (const uint8_t*)KEY_CONTEXT, strlen(KEY_CONTEXT)) == 0 &&
             crypto_hash_sha512_update(&state, shared, 32) == 0 &&
             crypto_hash_sha512_update(&state, link->client_public, 32) == 0 &&
             crypto_hash_sha512_update(&state, server_public, 32) == 0 &&
             crypto_hash_sha512_update(&state, link->client_nonce, 16) == 0 &&
             crypto_hash_sha512_update(&state, server_nonce, 16) == 0 &&
             crypto_hash_sha512_final(&state, digest) == 0;
    }
    if (ok) {
        memcpy(link->send_key, digest, 32);
        memcpy(link->receive_key, digest + 32, 32);
    }
    wipe(shared, sizeof shared);
    wipe(digest, sizeof digest);
    wipe(&state, sizeof state);
    return ok;
}

bool link_accept_hello(SecureLink* link, const char* line, const LinkKey* keys, size_t key_count) {
    if (!link->hello_sent || link->established) return false;
    if (strnlen(line, LINK_SERVER_HELLO_MAX + 1) > LINK_SERVER_HELLO_MAX) return false;
    char copy[LINK_SERVER_HELLO_MAX + 1];
    copy_text(copy, sizeof copy, line);
    char* fields[7];
    if (split_fields(copy, fields, 7) != 6) return false;

    uint64_t key_id = 0, server_value = 0;
    uint8_t server_public[32], server_nonce[16], signature[64];
    if (strcmp(fields[0], "SECURE1OK") != 0) return false;
    if (!parse_decimal_u64(fields[1], &key_id) || key_id < 1 || key_id > 255) return false;
    if (!hex_decode(fields[2], server_public, 32)) return false;
    if (!hex_decode(fields[3], server_nonce, 16)) return false;
    if (!parse_decimal_u64(fields[4], &server_value)) return false;  // checked, not used further
    if (base64_decode(fields[5], signature, sizeof signature) != 64) return false;

    const LinkKey* key = find_key(keys, key_count, key_id);
    if (!key) return false;
    // Signed: the line as received up to the TAB before the signature.
    size_t signed_length = (size_t)(fields[5] - copy) - 1;
    if (!verify_hello_signature(link, line, signed_length, signature, key->public_key)) return false;
    if (!derive_keys(link, server_public, server_nonce)) return false;

    wipe(link->client_secret, sizeof link->client_secret);
    link->key_id = (uint32_t)key_id;
    link->send_counter = 0;
    link->receive_counter = 0;
    link->established = true;
    return true;
}

// Nonce of a box: 16 zero bytes, then the direction's counter, most significant byte first.
static void counter_nonce(uint64_t counter, uint8_t nonce[crypto_secretbox_NONCEBYTES]) {
    memset(nonce, 0, crypto_secretbox_NONCEBYTES);
    for (int i = 0; i < 8; i++) nonce[16 + i] = (uint8_t)(counter >> (56 - 8 * i));
}

bool link_seal(SecureLink* link, const char* text, char* out, size_t capacity) {
    if (!link->established) return false;
    size_t length = strnlen(text, LINK_TEXT_MAX + 1);
    if (length > LINK_TEXT_MAX || memchr(text, '\n', length)) return false;
    size_t box_length = length + crypto_secretbox_MACBYTES;
    if (capacity < 4 + base64url_length(box_length) + 1) return false;
    static_assert(crypto_secretbox_MACBYTES == 16, "tag then ciphertext, 16-byte tag");
    uint8_t box[LINK_TEXT_MAX + crypto_secretbox_MACBYTES];
    uint8_t nonce[crypto_secretbox_NONCEBYTES];
    counter_nonce(link->send_counter, nonce);
    bool ok = crypto_secretbox_easy(box, (const uint8_t*)text, length, nonce, link->send_key) == 0;
    if (ok) {
        memcpy(out, "BOX\t", 4);
        base64url_encode(box, box_length, out + 4);
        link->send_counter += 1;
    }
    wipe(box, box_length);
    return ok;
}

bool link_open(SecureLink* link, const char* line, char* out, size_t capacity) {
    if (capacity > 0) out[0] = 0;
    if (!link->established || capacity == 0) return false;
    if (strncmp(line, "BOX\t", 4) != 0) return false;
    uint8_t box[LINK_TEXT_MAX + crypto_secretbox_MACBYTES];
    long box_length = base64_decode(line + 4, box, sizeof box);
    bool ok = box_length >= (long)crypto_secretbox_MACBYTES;
    size_t plain_length = ok ? (size_t)box_length - crypto_secretbox_MACBYTES : 0;
    ok = ok && plain_length < capacity;
    if (ok) {
        // The tag is checked (in constant time) before anything is decrypted.
        uint8_t nonce[crypto_secretbox_NONCEBYTES];
        counter_nonce(link->receive_counter, nonce);
        ok = crypto_secretbox_open_easy((uint8_t*)out, box, (size_t)box_length, nonce, link->receive_key) == 0;
    }
    if (ok) {
        out[plain_length] = 0;
        if (memchr(out, 0, plain_length) || memchr(out, '\n', plain_length)) ok = false;
    }
    if (ok) {
        link->receive_counter += 1;
    } else {
        wipe(out, plain_length < capacity ? plain_length + 1 : 1);
    }
    if (box_length > 0) wipe(box, (size_t)box_length);
    return ok;
}
