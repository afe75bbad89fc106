// The manifest signer (tools/sign_manifest.py) writes manifests that the launcher accepts: run.sh
// signs tests/updates/sample_release with test key 2 and names the result in ZANDOR_SAMPLE_MANIFEST.
#include <gtest/gtest.h>

#include <sodium.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "support/test_support.h"
#include "updates/manifest.h"

namespace {

void sha512_of(const std::string& bytes, uint8_t digest[64]) {
    ASSERT_EQ(crypto_hash_sha512(digest, (const uint8_t*)bytes.data(), bytes.size()), 0);
}

}  // namespace

TEST(Signer, SampleReleaseManifestIsAccepted) {
    const char* path = getenv("ZANDOR_SAMPLE_MANIFEST");
    ASSERT_NE(path, nullptr) << "run.sh could not sign the sample release";
    std::string text;
    ASSERT_TRUE(read_file(path, &text));
    UpdateManifest manifest = {};
    char error[400] = "";
    ASSERT_TRUE(manifest_parse(text.data(), text.size(), &manifest, error, sizeof error)) << error;
    EXPECT_STREQ(manifest.channel, "client");
    EXPECT_EQ(manifest.release, 3u);
    EXPECT_EQ(manifest.issued_utc_ms, 1700000000000ull);
    EXPECT_EQ(manifest.key_id, 2u);
    const uint32_t versions[4] = {12, 2, 1, 5};
    for (int kind = 0; kind < PART_KIND_COUNT; kind++) {
        EXPECT_TRUE(manifest.parts[kind].present);
        EXPECT_EQ(manifest.parts[kind].version, versions[kind]);
    }
    EXPECT_TRUE(manifest.parts[PART_DLL].required);
    EXPECT_FALSE(manifest.parts[PART_BOTS].required);
    ASSERT_EQ(manifest.file_count, 5u);
    struct Expected {
        const char* path;
        const char* content;
    } files[] = {{"d3d8.dll", "sample client dll\n"},
                 {"bot.jar", "sample bot jar\n"},
                 {"bin/java.exe", "sample java\n"},
                 {"lib/rt.jar", "sample runtime jar\n"},
                 {"ZANDOR Launcher.exe", "sample launcher\n"}};
    for (uint32_t i = 0; i < 5; i++) {
        EXPECT_STREQ(manifest.files[i].path, files[i].path);
        EXPECT_EQ(manifest.files[i].size, strlen(files[i].content));
        uint8_t digest[64];
        sha512_of(files[i].content, digest);
        EXPECT_EQ(memcmp(manifest.files[i].sha512, digest, 64), 0) << files[i].path;
    }
    ASSERT_EQ(manifest.known_dll_count, 1u);
    EXPECT_EQ(memcmp(manifest.known_dlls[0], manifest.files[0].sha512, 64), 0);
    manifest_clear(&manifest);
}
