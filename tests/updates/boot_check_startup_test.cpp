// The boot check as start-up runs it: a launcher started with a DLL that failed twice rolls it back
// and logs why; without a previous DLL it says so at every start; a boot.json naming a file outside
// the updates folder is not acted on.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "core/file_system.h"
#include "support/release_fixture.h"
#include "support/test_support.h"

namespace {

std::string boot_json(int attempts, const std::string& previous_path,
                      const std::string& previous_sha = std::string(128, 'a')) {
    std::string escaped;
    for (char c : previous_path) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return "{\n \"pending_sha512\": \"" + std::string(128, 'b') + "\",\n \"pending_version\": 13,\n \"attempts\": " +
           std::to_string(attempts) + ",\n \"previous_path\": \"" + escaped + "\",\n \"previous_sha512\": \"" +
           previous_sha + "\",\n \"previous_version\": 12,\n \"format\": 1\n}\n";
}

}  // namespace

TEST(BootCheckAtStartup, RollsBackOrReportsAndLogs) {
    std::string game = make_temp_folder("bootcheck");
    std::string exe = game + "\\ZANDOR Launcher.exe";
    ASSERT_TRUE(CopyFileA(launcher_exe().c_str(), exe.c_str(), FALSE));
    std::string updates = game + "\\ombrix_data\\updates";
    ASSERT_TRUE(CreateDirectoryA((game + "\\ombrix_data").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(updates.c_str(), nullptr));
    auto run = [&] {
        unsigned long code = 99;
        EXPECT_TRUE(run_launcher_closing_window("\"" + exe + "\" --no-game", game, &code));
        return code;
    };
    auto log = [&] {
        std::string text;
        read_file(updates + "\\launcher.log", &text);
        return text;
    };

    ASSERT_TRUE(write_file(game + "\\d3d8.dll", "new dll"));
    ASSERT_TRUE(write_file(updates + "\\boot.json", boot_json(3, "")));
    EXPECT_EQ(run(), 0u);
    EXPECT_EQ(run(), 0u);
    const std::string stuck =
        "boot check: the new DLL (version 13) failed to start 3 times, but no previous DLL is kept\r\n";
    std::string text = log();
    size_t first = text.find(stuck);
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_NE(text.find(stuck, first + 1), std::string::npos) << "reported at every start";

    std::string previous = updates + "\\previous\\dll_v12\\d3d8.dll";
    make_parent_dirs(previous.c_str());
    ASSERT_TRUE(write_file(previous, "old dll"));
    ASSERT_TRUE(write_file(updates + "\\boot.json", boot_json(2, previous, sha512_hex("old dll"))));
    EXPECT_EQ(run(), 0u);
    EXPECT_NE(log().find("boot check: the new DLL (version 13) failed to start 2 times: the previous DLL (version 12) "
                         "is back from the next start"),
              std::string::npos);
    std::string dll;
    ASSERT_TRUE(read_file(game + "\\d3d8.dll", &dll));
    EXPECT_EQ(dll, "old dll");
    EXPECT_FALSE(file_exists(updates + "\\boot.json"));

    // A previous path outside the updates folder is not moved over the DLL: the probation ends, and
    // the log says why.
    ASSERT_TRUE(write_file(game + "\\d3d8.dll", "new dll"));
    ASSERT_TRUE(write_file(updates + "\\boot.json", boot_json(2, game + "\\other.dll")));
    ASSERT_TRUE(write_file(game + "\\other.dll", "another program's file"));
    EXPECT_EQ(run(), 0u);
    EXPECT_NE(log().find("boot check: boot.json is not acted on (its previous_path is not in the updates folder): the "
                         "probation ends and nothing is moved\r\n"),
              std::string::npos)
        << log();
    ASSERT_TRUE(read_file(game + "\\d3d8.dll", &dll));
    EXPECT_EQ(dll, "new dll");
    EXPECT_TRUE(file_exists(game + "\\other.dll"));
    EXPECT_FALSE(file_exists(updates + "\\boot.json"));
    remove_tree(game);
}
