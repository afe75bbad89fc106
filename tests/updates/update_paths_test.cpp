// The fixed update paths, derived from the game folder.
#include <gtest/gtest.h>

#include <windows.h>

#include "support/test_support.h"
#include "updates/update_paths.h"

TEST(UpdatePaths, AreDerivedFromTheGameFolderAndMakeTheUpdatesFolder) {
    std::string game = make_temp_folder("paths");
    UpdatePaths plain = {}, slashed = {};
    update_paths_init(&plain, game.c_str());
    update_paths_init(&slashed, (game + "\\").c_str());
    EXPECT_EQ(memcmp(&plain, &slashed, sizeof plain), 0);
    EXPECT_EQ(std::string(plain.game_folder), game);
    EXPECT_EQ(std::string(plain.updates_folder), game + "\\ombrix_data\\updates");
    EXPECT_EQ(std::string(plain.bots_folder), game + "\\ombrix_data\\bot_takeover");
    EXPECT_EQ(std::string(plain.runtime_folder), game + "\\ombrix_data\\bot_takeover\\jre");
    EXPECT_EQ(std::string(plain.dll_path), game + "\\d3d8.dll");
    EXPECT_EQ(std::string(plain.launcher_path), game + "\\ZANDOR Launcher.exe");
    EXPECT_TRUE(folder_exists(plain.updates_folder));
    remove_tree(game);
}

TEST(UpdatePaths, ADriveRootGivesPathsWithOneBackslash) {
    UpdatePaths paths;
    // The updates folder of a root is made on the drive; use the prefix's C: and clean up after.
    update_paths_init(&paths, "C:\\");
    EXPECT_STREQ(paths.game_folder, "C:");
    EXPECT_STREQ(paths.updates_folder, "C:\\ombrix_data\\updates");
    EXPECT_STREQ(paths.dll_path, "C:\\d3d8.dll");
    EXPECT_TRUE(folder_exists("C:\\ombrix_data\\updates"));
    remove_tree("C:\\ombrix_data");
}
