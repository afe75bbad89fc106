// The release keys built into the launcher and the Ed25519 check of a detached signature against
// one of them. Portable (no Windows headers).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "core/text.h"

#define RELEASE_KEY_SLOTS 3

struct ReleaseKey {
    uint32_t id;  // 0 marks an empty slot
    uint8_t public_key[32];
};

// Number of release keys this build trusts; an update run needs at least one.
int trusted_key_count();
// The trusted key with this id (1..255), or null; id 0 never matches.
const ReleaseKey* find_release_key(uint32_t id);

// Standard detached Ed25519 verification (RFC 8032): true only when the signature is valid for the
// message and key, the key decodes to a curve point and the scalar half S is below the group order.
bool ed25519_verify(const uint8_t signature[64], const uint8_t* message, size_t length,
                    const uint8_t public_key[32]) MUST_USE;
