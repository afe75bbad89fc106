// The state files on disk: atomic replacement, size limits, and stored manifests verified on reading.
#include <gtest/gtest.h>

#include <windows.h>
#include <string.h>

#include <string>

#include "support/signed_manifest.h"
#include "support/test_support.h"
#include "updates/state_files.h"

namespace {

struct StateFolder {
    std::string folder = make_temp_folder("state");
    UpdatePaths paths = {};
    StateFolder() { strcpy(paths.updates_folder, folder.c_str()); }
    ~StateFolder() { remove_tree(folder); }
    std::string path(const char* name) const { return folder + "\\" + name; }
};

std::string read_text(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(read_file(path, &bytes)) << path;
    return bytes;
}

}  // namespace

TEST(StateFiles, InstalledStateIsWrittenExactlyAndReadBack) {
    StateFolder dir;
    InstalledState state = {};
    strcpy(state.channel, "client");
    state.highest_release_seen = 9;
    state.version[PART_RUNTIME] = 4;
    ASSERT_TRUE(installed_state_save(&dir.paths, &state));
    char expected[STATE_TEXT_CAP];
    installed_state_to_text(&state, expected, sizeof expected);
    EXPECT_EQ(read_text(dir.path("installed.json")), expected);  // LF line ends, no CR
    EXPECT_FALSE(file_exists(dir.path("installed.json.new")));

    InstalledState back;
    ASSERT_TRUE(installed_state_load(&dir.paths, &back));
    EXPECT_EQ(memcmp(&state, &back, sizeof state), 0);
}

TEST(StateFiles, BootStateKeepsAnAccentedPath) {
    StateFolder dir;
    BootState state = {}, back;
    strcpy(state.pending_sha512, std::string(128, 'e').c_str());
    strcpy(state.previous_path, "C:\\Program Files\\KONAMI\\Pro Evolution Soccer 6 espa\xf1ol\\d3d8.dll");
    state.previous_version = 3;
    ASSERT_TRUE(boot_state_save(&dir.paths, &state));
    ASSERT_TRUE(boot_state_load(&dir.paths, &back));
    EXPECT_EQ(memcmp(&state, &back, sizeof state), 0);
}

TEST(StateFiles, MissingOrOversizedFilesReadAsAbsent) {
    StateFolder dir;
    InstalledState state;
    memset(&state, 0x5a, sizeof state);
    EXPECT_FALSE(installed_state_load(&dir.paths, &state));
    InstalledState zero = {};
    EXPECT_EQ(memcmp(&state, &zero, sizeof state), 0);

    std::string text = "{\"highest_release_seen\": 12}";
    std::string at_limit = text + std::string(STATE_FILE_LIMIT - text.size(), ' ');
    ASSERT_TRUE(write_file(dir.path("installed.json"), at_limit));
    EXPECT_TRUE(installed_state_load(&dir.paths, &state));
    EXPECT_EQ(state.highest_release_seen, 12u);
    ASSERT_TRUE(write_file(dir.path("installed.json"), at_limit + " "));
    EXPECT_FALSE(installed_state_load(&dir.paths, &state));
    EXPECT_EQ(state.highest_release_seen, 0u);
}

TEST(StateFiles, AtomicWriteReplacesALeftoverTemporaryFile) {
    StateFolder dir;
    ASSERT_TRUE(write_file(dir.path("boot.json.new"), std::string(5000, 'x')));
    ASSERT_TRUE(write_file_atomic(dir.path("boot.json").c_str(), "new", 3));
    EXPECT_EQ(read_text(dir.path("boot.json")), "new");
    EXPECT_FALSE(file_exists(dir.path("boot.json.new")));
    ASSERT_TRUE(write_file_atomic(dir.path("boot.json").c_str(), "", 0));
    EXPECT_EQ(read_text(dir.path("boot.json")), "");
}

// A write that cannot complete leaves the previous file as it was.
TEST(StateFiles, FailedWritesKeepThePreviousFile) {
    StateFolder dir;
    const std::string target = dir.path("installed.json");
    ASSERT_TRUE(write_file(target, "old"));

    // The temporary file cannot be made: a folder stands in its place.
    ASSERT_TRUE(CreateDirectoryA(dir.path("installed.json.new").c_str(), nullptr));
    InstalledState state = {};
    EXPECT_FALSE(installed_state_save(&dir.paths, &state));
    EXPECT_EQ(read_text(target), "old");
    RemoveDirectoryA(dir.path("installed.json.new").c_str());

    // The target is held open by someone who does not share deletion: the move fails.
    HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(installed_state_save(&dir.paths, &state));
    CloseHandle(held);
    EXPECT_EQ(read_text(target), "old");

    // A path so long that its temporary name would be cut is refused before anything is written.
    std::string long_path = dir.folder + "\\" + std::string(259 - dir.folder.size() - 1, 'n');
    ASSERT_EQ(long_path.size(), 259u);
    EXPECT_FALSE(write_file_atomic(long_path.c_str(), "data", 4));
    EXPECT_FALSE(file_exists(long_path));
}

TEST(StateFiles, StoredManifestsAreVerifiedOnEveryRead) {
    StateFolder dir;
    std::string text = signed_manifest(body_of(full_manifest_lines()), TEST_KEY_1, "1", "\r\n");
    UpdateManifest manifest = {};
    char error[300] = "";
    ASSERT_TRUE(manifest_parse(text.data(), text.size(), &manifest, error, sizeof error));
    ASSERT_TRUE(stored_manifest_save(&dir.paths, STAGED_MANIFEST_FILE, &manifest));
    EXPECT_EQ(read_text(dir.path("staged_manifest.txt")), text);  // byte for byte, line ends included
    manifest_clear(&manifest);

    ASSERT_TRUE(stored_manifest_load(&dir.paths, STAGED_MANIFEST_FILE, &manifest, error, sizeof error));
    EXPECT_EQ(manifest.release, 7u);
    EXPECT_EQ(manifest.file_count, 7u);

    EXPECT_FALSE(stored_manifest_load(&dir.paths, INSTALLED_MANIFEST_FILE, &manifest, error, sizeof error));
    EXPECT_STREQ(error, "no installed_manifest.txt");
    UpdateManifest zero = {};
    EXPECT_EQ(memcmp(&manifest, &zero, sizeof zero), 0);

    // Edited on disk: it no longer verifies and counts as missing.
    std::string edited = text;
    edited.replace(edited.find("release\t7"), 9, "release\t8");
    ASSERT_TRUE(write_file(dir.path("staged_manifest.txt"), edited));
    EXPECT_FALSE(stored_manifest_load(&dir.paths, STAGED_MANIFEST_FILE, &manifest, error, sizeof error));
    EXPECT_STREQ(error, "the manifest signature does not check out (not from the ZANDOR release key)");
    EXPECT_EQ(memcmp(&manifest, &zero, sizeof zero), 0);

    // Above the manifest limit the file is not even read.
    ASSERT_TRUE(write_file(dir.path("staged_manifest.txt"), std::string(MANIFEST_MAX_BYTES + 1, '\n')));
    EXPECT_FALSE(stored_manifest_load(&dir.paths, STAGED_MANIFEST_FILE, &manifest, error, sizeof error));
    EXPECT_STREQ(error, "no staged_manifest.txt");

    EXPECT_FALSE(stored_manifest_save(&dir.paths, STAGED_MANIFEST_FILE, &manifest));  // nothing to save
}
