// Folder creation: the missing folders of a path, or of a file's path.
#include <gtest/gtest.h>

#include <windows.h>

#include "core/file_system.h"
#include "support/test_support.h"

TEST(FileSystem, MakeDirsCreatesWhatIsMissing) {
    std::string base = make_temp_folder("dirs");
    EXPECT_TRUE(make_dirs((base + "\\a\\b\\c").c_str()));
    EXPECT_TRUE(folder_exists(base + "\\a\\b\\c"));
    EXPECT_TRUE(make_dirs((base + "\\a\\b\\c").c_str()));  // already there
    EXPECT_TRUE(make_parent_dirs((base + "\\x\\y\\file.txt").c_str()));
    EXPECT_TRUE(folder_exists(base + "\\x\\y"));
    EXPECT_FALSE(folder_exists(base + "\\x\\y\\file.txt"));
    // A file in the way: the folder cannot be made.
    write_file(base + "\\blocked", "");
    EXPECT_FALSE(make_dirs((base + "\\blocked\\sub").c_str()));
    remove_tree(base);
}
