// The manifest signer (tools/sign_manifest.py) writes manifests that the launcher accepts: run.sh
// signs tests/updates/sample_release with test key 2 and names the result in ZANDOR_SAMPLE_MANIFEST.
// It also signs one release per line of signer_names.txt and names the signer's verdicts in
// ZANDOR_SIGNER_NAMES.
#include <gtest/gtest.h>

#include <sodium.h>
#include <stdlib.h>
#include <string.h>

#include <sstream>
#include <string>

#include "support/test_support.h"
#include "support/signed_manifest.h"
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

// The signer refuses a release holding a file that Windows would open as a device, naming the path,
// and the launcher's parser agrees with it on every name.
TEST(Signer, RefusesWindowsDeviceNames) {
    const char* outcomes_path = getenv("ZANDOR_SIGNER_NAMES");
    ASSERT_NE(outcomes_path, nullptr) << "run this program through tests/updates/run.sh";
    std::string cases, outcomes;
    ASSERT_TRUE(read_file(source_path("tests/updates/signer_names.txt"), &cases));
    ASSERT_TRUE(read_file(outcomes_path, &outcomes));
    std::istringstream case_lines(cases), outcome_lines(outcomes);
    std::string line, outcome;
    int checked = 0;
    while (std::getline(case_lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        size_t space = line.find(' ');
        ASSERT_NE(space, std::string::npos) << line;
        bool refused = line.substr(0, space) == "refused";
        std::string path = line.substr(space + 1);
        ASSERT_TRUE(std::getline(outcome_lines, outcome)) << "no verdict for " << path;
        size_t tab = outcome.find('\t');
        size_t second_tab = outcome.find('\t', tab + 1);
        ASSERT_NE(second_tab, std::string::npos) << outcome;
        ASSERT_EQ(outcome.substr(0, tab), path);
        std::string status = outcome.substr(tab + 1, second_tab - tab - 1);
        std::string complaint = outcome.substr(second_tab + 1);
        if (refused) {
            EXPECT_EQ(status, "1") << path;
            EXPECT_EQ(complaint.rfind("sign_manifest: '" + path + "': '", 0), 0u) << complaint;
            EXPECT_NE(complaint.find("' is a Windows device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9"),
                      std::string::npos)
                << complaint;
        } else {
            EXPECT_EQ(status, "0") << path << ": " << complaint;
            EXPECT_EQ(complaint, "") << path;
        }

        // The launcher's own path rule gives the same verdict.
        std::string hex(128, 'a');
        std::string body = "ZANDOR-UPDATE-MANIFEST\t1\nchannel\tclient\nrelease\t1\npart\truntime\t1\toptional\n"
                           "file\truntime\t" + path + "\t13\t" + hex + "\n";
        UpdateManifest manifest = {};
        char error[400] = "";
        std::string text = signed_manifest(body);
        EXPECT_EQ(manifest_parse(text.data(), text.size(), &manifest, error, sizeof error), !refused) << path;
        if (refused) EXPECT_STREQ(error, "manifest line 5 is not valid") << path;
        manifest_clear(&manifest);
        checked++;
    }
    EXPECT_GE(checked, 8);
}
