// The trusted release keys (build data) and signature checks through libsodium.
#include "updates/release_keys.h"

#include <sodium.h>

#include "build_config.h"

static const ReleaseKey RELEASE_KEYS[RELEASE_KEY_SLOTS] = {ZANDOR_RELEASE_KEY_INIT};

static_assert(ZANDOR_RELEASE_KEY_COUNT <= RELEASE_KEY_SLOTS, "room for three release keys");

int trusted_key_count() {
    return ZANDOR_RELEASE_KEY_COUNT;
}

const ReleaseKey* find_release_key(uint32_t id) {
    if (id == 0 || id > 255) return nullptr;
    for (int i = 0; i < RELEASE_KEY_SLOTS; i++) {
        if (RELEASE_KEYS[i].id == id) return &RELEASE_KEYS[i];
    }
    return nullptr;
}

bool ed25519_verify(const uint8_t signature[64], const uint8_t* message, size_t length,
                    const uint8_t public_key[32]) {
    // libsodium refuses S >= L, a key that is not a point and a small-order key or R.
    if (sodium_init() < 0) return false;
    return crypto_sign_verify_detached(signature, message, length, public_key) == 0;
}
