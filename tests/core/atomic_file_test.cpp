// The atomic replacement of small files: the target is the old file or the new one at every moment,
// a ".new" left by a killed write counts for nothing, and no ".new" stays behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "core/atomic_file.h"
#include "support/test_support.h"

namespace {

struct AtomicFile : testing::Test {
    void SetUp() override {
        folder = make_temp_folder("atomic");
        ASSERT_FALSE(folder.empty());
        target = folder + "\\target.txt";
        leftover = target + ".new";
    }
    void TearDown() override { remove_tree(folder); }
    std::string text() { return file_text(target); }
    std::string folder, target, leftover;
};

}  // namespace

TEST_F(AtomicFile, WritesAndReplacesWholeFiles) {
    ASSERT_TRUE(write_file_atomic(target.c_str(), "first", 5));
    EXPECT_EQ(text(), "first");
    ASSERT_TRUE(write_file_atomic(target.c_str(), "", 0));
    EXPECT_EQ(text(), "");
    EXPECT_FALSE(file_exists(leftover));

    // A leftover of a killed write, larger, hidden and read-only, is simply replaced.
    ASSERT_TRUE(write_file(leftover, std::string(5000, 'x')));
    SetFileAttributesA(leftover.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(write_file_atomic(target.c_str(), "second", 6));
    EXPECT_EQ(text(), "second");
    EXPECT_FALSE(file_exists(leftover));
    EXPECT_EQ(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);

    // Hidden files, and a read-only target, are replaced as well.
    ASSERT_TRUE(write_file_atomic_with(target.c_str(), "hidden", 6, FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(text(), "hidden");
    EXPECT_NE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    ASSERT_TRUE(write_file_atomic_with(target.c_str(), "again", 5, FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(text(), "again");
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(write_file_atomic(target.c_str(), "third", 5));
    EXPECT_EQ(text(), "third");
    EXPECT_FALSE(file_exists(leftover));
}

TEST_F(AtomicFile, AWriteThatCannotFinishKeepsTheOldFileWhole) {
    ASSERT_TRUE(write_file(target, "old content"));
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_HIDDEN);

    // The target is held open by someone who does not share deletion: the move fails.
    HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(write_file_atomic(target.c_str(), "new", 3));
    EXPECT_NE(GetLastError(), (DWORD)NO_ERROR) << "the move's own error is kept for the caller";
    CloseHandle(held);
    EXPECT_EQ(text(), "old content");
    EXPECT_FALSE(file_exists(leftover));
    EXPECT_NE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u) << "its attributes are put back";

    // The temporary file cannot be made (a folder stands in its place).
    ASSERT_TRUE(CreateDirectoryA(leftover.c_str(), nullptr));
    EXPECT_FALSE(write_file_atomic(target.c_str(), "new", 3));
    RemoveDirectoryA(leftover.c_str());
    EXPECT_EQ(text(), "old content");

    // A path so long that its temporary name would be cut is refused before anything is written.
    std::string long_path = folder + "\\" + std::string(259 - folder.size() - 1, 'n');
    ASSERT_EQ(long_path.size(), 259u);
    EXPECT_FALSE(write_file_atomic(long_path.c_str(), "data", 4));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILENAME_EXCED_RANGE);
    EXPECT_FALSE(file_exists(long_path));
}
