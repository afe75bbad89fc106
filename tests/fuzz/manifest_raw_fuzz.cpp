// The update manifest as it comes from the update server: any bytes, signature line and all. Almost
// every input stops at the signature; what passes must hold a consistent table.
#include <stdint.h>
#include <string.h>

#include "fuzz_check.h"
#include "manifest_checks.h"
#include "updates/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UpdateManifest manifest = {};
    char error[256];
    if (manifest_parse((const char*)data, size, &manifest, error, sizeof error)) {
        check_parsed_manifest(&manifest, (const char*)data, size);
    } else {
        FUZZ_CHECK(error[0] != 0);
        FUZZ_CHECK(manifest.files == nullptr && manifest.raw_text == nullptr);
    }
    manifest_clear(&manifest);
    return 0;
}
