// Release folders checked as a launcher checks them: each fault is refused with a reason that names
// it, and a release record keeps serving its files whatever happens to the folder.
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <functional>

#include "release_store.h"
#include "server_keys.h"
#include "test_release.h"

class ReleaseCheck : public ::testing::Test {
protected:
    void SetUp() override {
        char error[200];
        ASSERT_TRUE(set_release_keys(test_key_list(1).c_str(), error, sizeof error)) << error;
    }
};

static std::vector<TestFile> sample_files() {
    return {{"dll", "d3d8.dll", pattern_bytes(70000, 1)},
            {"runtime", "bin/java.exe", pattern_bytes(300000, 2)},
            {"runtime", "lib/empty.txt", ""}};
}

TEST_F(ReleaseCheck, RefusesAFolderWithTheFirstProblemNamed) {
    struct Case {
        const char* name;
        std::function<void(const std::string& folder)> spoil;
        const char* expected_channel;
        uint64_t min_number;
        const char* reason_part;
    } cases[] = {
        {"sound", [](const std::string&) {}, "", 0, nullptr},
        {"sound, channel named", [](const std::string&) {}, "client", 7, nullptr},
        {"no manifest", [](const std::string& f) { unlink((f + "/manifest.txt").c_str()); }, "", 0,
         "cannot read"},
        {"other key",
         [](const std::string& f) { write_file(f + "/manifest.txt", make_manifest("client", 7, sample_files(), 2)); },
         "", 0, "signed with key 2"},
        {"body changed",
         [](const std::string& f) {
             std::string m = read_file(f + "/manifest.txt");
             m.replace(m.find("release\t7"), 9, "release\t8");
             write_file(f + "/manifest.txt", m);
         },
         "", 0, "signature does not check out"},
        {"other channel", [](const std::string&) {}, "beta", 0, "for channel client, not beta"},
        {"older release", [](const std::string&) {}, "", 8, "release 7 is older than release 8"},
        {"file missing",
         [](const std::string& f) { unlink((f + "/files/" + sha512_hex(pattern_bytes(300000, 2))).c_str()); }, "", 0,
         "runtime/bin/java.exe is missing"},
        {"file longer",
         [](const std::string& f) {
             write_file(f + "/files/" + sha512_hex(pattern_bytes(70000, 1)), pattern_bytes(70001, 1));
         },
         "", 0, "dll/d3d8.dll in files/ is 70001 bytes, the manifest says 70000"},
        {"file changed",
         [](const std::string& f) {
             std::string bytes = pattern_bytes(300000, 2);
             bytes[299999] ^= 1;
             write_file(f + "/files/" + sha512_hex(pattern_bytes(300000, 2)), bytes);
         },
         "", 0, "runtime/bin/java.exe in files/ does not have the SHA-512"},
    };
    for (const Case& c : cases) {
        std::string folder = fresh_folder("release-check");
        write_release(folder, "client", 7, sample_files());
        c.spoil(folder);
        Release* release = nullptr;
        char error[600] = "";
        bool ok = release_open(folder.c_str(), c.expected_channel, c.min_number, &release, error, sizeof error);
        if (!c.reason_part) {
            ASSERT_TRUE(ok) << c.name << ": " << error;
            EXPECT_STREQ(release->channel, "client");
            EXPECT_EQ(release->number, 7u);
            EXPECT_EQ(release->file_count, 3u);
            EXPECT_EQ(std::string(release->manifest, release->manifest_length), read_file(folder + "/manifest.txt"));
            release_drop(release);
        } else {
            EXPECT_FALSE(ok) << c.name;
            EXPECT_EQ(release, nullptr) << c.name;
            EXPECT_NE(strstr(error, c.reason_part), nullptr) << c.name << ": " << error;
        }
    }
}

TEST_F(ReleaseCheck, AHeldReleaseServesItsFilesAfterTheFolderIsGone) {
    std::string folder = fresh_folder("release-held");
    std::vector<TestFile> files = sample_files();
    write_release(folder, "client", 7, files);
    Release* release = nullptr;
    char error[600];
    ASSERT_TRUE(release_open(folder.c_str(), "", 0, &release, error, sizeof error)) << error;
    ReleaseSet* set = release_set_new();
    set->count = 1;
    set->releases[0] = release;
    fresh_folder("release-held");  // the folder is emptied
    for (const TestFile& f : files) {
        uint8_t digest[64];
        std::string hex = sha512_hex(f.content);
        for (int i = 0; i < 64; i++) digest[i] = (uint8_t)strtoul(hex.substr(2 * i, 2).c_str(), nullptr, 16);
        const ServedFile* served = release_set_file(set, digest);
        ASSERT_NE(served, nullptr) << f.path;
        std::string back(served->size, '\0');
        ASSERT_EQ(pread(served->fd, &back[0], back.size(), 0), (ssize_t)back.size());
        EXPECT_EQ(back, f.content) << f.path;
    }
    EXPECT_NE(release_set_channel(set, "client", 6), nullptr);
    EXPECT_EQ(release_set_channel(set, "clien", 5), nullptr);
    release_set_drop(set);
}

TEST(ReleaseKeys, ReadsTheLaunchersFormOnly) {
    std::string good = test_key_list(1) + "," + test_key_list(2);
    struct Case {
        std::string list;
        bool ok;
    } cases[] = {
        {good, true},
        {"", false},
        {"1:" + std::string(63, 'a'), false},
        {"0:" + std::string(64, 'a'), false},
        {"256:" + std::string(64, 'a'), false},
        {test_key_list(1) + "," + test_key_list(1), false},
        {good + "," + test_key_list(3) + ",4:" + std::string(64, 'a'), false},
        {good + ",", false},
    };
    for (const Case& c : cases) {
        char error[200] = "";
        EXPECT_EQ(set_release_keys(c.list.c_str(), error, sizeof error), c.ok) << c.list << ": " << error;
    }
}
