// The release key table of the server, filled from its command line, behind the lookup functions
// that the launcher's manifest parser calls.
#include "server_keys.h"

#include <sodium.h>
#include <stdlib.h>
#include <string.h>

#include "core/codecs.h"
#include "core/text.h"
#include "updates/release_keys.h"

static ReleaseKey server_release_keys[RELEASE_KEY_SLOTS];
static int server_release_key_count;

bool set_release_keys(const char* list, char* error, size_t error_size) {
    ReleaseKey keys[RELEASE_KEY_SLOTS];
    memset(keys, 0, sizeof keys);
    int count = 0;
    const char* at = list;
    // Entries up to each comma; an empty entry anywhere (a doubled or trailing comma) is refused.
    while (list[0] != 0) {
        const char* end = strchr(at, ',');
        size_t length = end ? (size_t)(end - at) : strlen(at);
        char entry[128];
        if (length == 0 || length >= sizeof entry) {
            format_reason(error, error_size, "a release key is id:64-hex");
            return false;
        }
        memcpy(entry, at, length);
        entry[length] = 0;
        char* colon = strchr(entry, ':');
        uint64_t id = 0;
        if (!colon) {
            format_reason(error, error_size, "release key '%s' is not id:64-hex", entry);
            return false;
        }
        *colon = 0;
        if (!parse_decimal_u64(entry, &id) || id < 1 || id > 255) {
            format_reason(error, error_size, "release key id '%s' is not a number from 1 to 255", entry);
            return false;
        }
        if (count == RELEASE_KEY_SLOTS) {
            format_reason(error, error_size, "at most %d release keys", RELEASE_KEY_SLOTS);
            return false;
        }
        if (strlen(colon + 1) != 64 || !hex_decode(colon + 1, keys[count].public_key, 32)) {
            format_reason(error, error_size, "release key %d is not 64 hex digits", (int)id);
            return false;
        }
        for (int i = 0; i < count; i++) {
            if (keys[i].id == id) {
                format_reason(error, error_size, "release key %d is given twice", (int)id);
                return false;
            }
        }
        keys[count].id = (uint32_t)id;
        count++;
        if (!end) break;
        at = end + 1;
    }
    if (count == 0) {
        format_reason(error, error_size, "no release key given");
        return false;
    }
    memcpy(server_release_keys, keys, sizeof keys);
    server_release_key_count = count;
    return true;
}

int trusted_key_count() {
    return server_release_key_count;
}

const ReleaseKey* find_release_key(uint32_t id) {
    if (id == 0 || id > 255) return nullptr;
    for (int i = 0; i < server_release_key_count; i++) {
        if (server_release_keys[i].id == id) return &server_release_keys[i];
    }
    return nullptr;
}

bool ed25519_verify(const uint8_t signature[64], const uint8_t* message, size_t length,
                    const uint8_t public_key[32]) {
    // libsodium refuses S >= L, a key that is not a point and a small-order key or R.
    if (sodium_init() < 0) return false;
    return crypto_sign_verify_detached(signature, message, length, public_key) == 0;
}
