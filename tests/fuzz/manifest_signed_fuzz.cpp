// The manifest parser past its signature: the input is a body, which is signed here with a test
// release key that the test configuration trusts, so that every body line is read.
#include <sodium.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "../support/signed_manifest.h"
#include "fuzz_check.h"
#include "manifest_checks.h"
#include "updates/manifest.h"

static const uint8_t* test_secret_key() {
    static uint8_t secret_key[64];
    static bool made = false;
    if (!made) {
        uint8_t public_key[32];
        test_key_pair(TEST_KEY_1, public_key, secret_key);
        made = true;
    }
    return secret_key;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > MANIFEST_MAX_BYTES) return -1;
    std::string body((const char*)data, size);
    if (body.empty() || body.back() != '\n') body += '\n';
    std::string message = MANIFEST_SIGNED_PREFIX + body;
    uint8_t signature[64];
    FUZZ_CHECK(crypto_sign_detached(signature, nullptr, (const uint8_t*)message.data(), message.size(),
                                    test_secret_key()) == 0);
    std::string text = body + "signature\t1\t" + base64_text(signature, 64, true, false) + "\n";

    UpdateManifest manifest = {};
    char error[256];
    if (manifest_parse(text.data(), text.size(), &manifest, error, sizeof error)) {
        check_parsed_manifest(&manifest, text.data(), text.size());
        FUZZ_CHECK(manifest.key_id == 1);
    } else {
        FUZZ_CHECK(error[0] != 0);
        // The signature is good, so only the body can be at fault.
        FUZZ_CHECK(strstr(error, "signature") == nullptr);
    }
    manifest_clear(&manifest);
    return 0;
}
