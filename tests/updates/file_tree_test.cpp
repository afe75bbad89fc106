// Deleting a tree that holds links, or is one: what a link points to lies outside the tree and is
// never deleted, nor are its read-only flags cleared; the link itself goes where the system can
// remove it (Windows removes a junction; Wine cannot remove the Unix links it shows as links).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "support/folder_link.h"
#include "support/test_support.h"
#include "updates/apply.h"
#include "core/file_tree.h"
#include "updates/part_kinds.h"
#include "updates/update_paths.h"

namespace {

struct FileTreeTest : testing::Test {
    std::string root = make_temp_folder("file_tree");
    std::string outside = root + "\\outside";
    std::string tree = root + "\\tree";
    std::string link_path;
    LinkKind link = LINK_NONE;

    void SetUp() override {
        CreateDirectoryA(outside.c_str(), nullptr);
        CreateDirectoryA((outside + "\\sub").c_str(), nullptr);
        write_file(outside + "\\keep.txt", "not ours");
        write_file(outside + "\\sub\\keep.jar", "not ours either");
        SetFileAttributesA((outside + "\\keep.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        make_dirs((tree + "\\a\\b").c_str());
        write_file(tree + "\\ours.txt", "ours");
        write_file(tree + "\\a\\b\\ours.jar", "ours");
        SetFileAttributesA((tree + "\\a\\b\\ours.jar").c_str(), FILE_ATTRIBUTE_READONLY);
    }
    void TearDown() override {
        remove_link(link_path, link);
        SetFileAttributesA((outside + "\\keep.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
        remove_tree(root);
    }
    void make(const std::string& at, const std::string& target) {
        link_path = at;
        link = make_link(at, target);
        ASSERT_NE(link, LINK_NONE) << "no link could be made at " << at;
    }
    void expect_outside_untouched() {
        EXPECT_EQ(file_text(outside + "\\keep.txt"), "not ours");
        EXPECT_EQ(file_text(outside + "\\sub\\keep.jar"), "not ours either");
        EXPECT_TRUE(GetFileAttributesA((outside + "\\keep.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
    }
};

}  // namespace

TEST_F(FileTreeTest, AFolderThatIsALinkIsOnlyUnlinked) {
    make(root + "\\runtime_v1", outside);
    bool removed = delete_tree(link_path.c_str());
    expect_outside_untouched();
    // Windows removes the junction; Wine cannot remove a Unix link, so it stays (and is reported so).
    EXPECT_EQ(removed, link == LINK_JUNCTION);
    EXPECT_EQ(folder_exists(link_path), link != LINK_JUNCTION);
}

TEST_F(FileTreeTest, ALinkDeepInsideTheTreeIsOnlyUnlinked) {
    make(tree + "\\a\\b\\jre", outside);
    bool removed = delete_tree(tree.c_str());
    expect_outside_untouched();
    EXPECT_FALSE(file_exists(tree + "\\ours.txt"));
    EXPECT_FALSE(file_exists(tree + "\\a\\b\\ours.jar"));  // read-only, ours: gone
    EXPECT_EQ(removed, link == LINK_JUNCTION);
    EXPECT_EQ(folder_exists(tree), link != LINK_JUNCTION);
}

TEST_F(FileTreeTest, AFileLinkGoesWithoutClearingItsTargetsReadOnlyFlag) {
    // Windows makes file links only with a privilege the tests do not have.
    link_path = tree + "\\a\\keep.lnk";
    link = make_link(link_path, outside + "\\keep.txt");
    if (link == LINK_NONE) GTEST_SKIP() << "no file link can be made here";
    EXPECT_TRUE(delete_tree(tree.c_str()));
    expect_outside_untouched();
    EXPECT_FALSE(folder_exists(tree));
}

TEST_F(FileTreeTest, ALinkOnTheWayIsFoundButNotTheFoldersAtEitherEnd) {
    make(tree + "\\linked", outside);
    struct Case {
        std::string base, path;
        bool linked;
    } cases[] = {
        {tree, tree + "\\linked\\sub", true},
        {tree, tree + "\\linked\\sub\\deeper", true},
        {tree + "\\", tree + "\\linked\\sub", true},
        {tree, tree + "\\linked", false},        // the folder itself: delete_tree unlinks it
        {tree + "\\linked", tree + "\\linked\\sub", false},  // the base is given, not checked
        {tree, tree + "\\a\\b", false},
        {tree, tree + "\\a\\missing\\x", false},
        {root + "\\elsewhere", tree + "\\linked\\sub", true},  // outside the base: the whole way is checked
    };
    for (const Case& c : cases) {
        EXPECT_EQ(reached_through_link(c.base.c_str(), c.path.c_str()), c.linked) << c.base << " -> " << c.path;
    }
}

// A previous version that is a link (an older swap set a linked runtime folder aside as it was):
// dropping it leaves the link's target whole, while a previous version of our own goes.
TEST_F(FileTreeTest, ALinkedPreviousVersionIsDroppedWithoutItsTarget) {
    UpdatePaths paths;
    std::string game = root + "\\game";
    CreateDirectoryA(game.c_str(), nullptr);
    update_paths_init(&paths, game.c_str());
    std::string previous = std::string(paths.updates_folder) + "\\previous";
    make_dirs((previous + "\\runtime_v0\\bin").c_str());
    write_file(previous + "\\runtime_v0\\bin\\java.exe", "an older runtime of ours");
    make(previous + "\\runtime_v1", outside);

    drop_previous_versions(&paths, PART_RUNTIME);
    expect_outside_untouched();
    EXPECT_FALSE(folder_exists(previous + "\\runtime_v0"));
    EXPECT_EQ(folder_exists(link_path), link != LINK_JUNCTION);
}
