// Deleting a tree that holds links, or is one: what a link points to lies outside the tree and is
// never deleted, nor are its read-only flags cleared; the link itself goes where the system can
// remove it (Windows removes a junction; Wine cannot remove the Unix links it shows as links).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "core/file_tree.h"
#include "support/linked_tree_fixture.h"

TEST_F(LinkedTree, AFolderThatIsALinkIsOnlyUnlinked) {
    make(root + "\\runtime_v1", outside);
    bool removed = delete_tree(link_path.c_str());
    expect_outside_untouched();
    // Windows removes the junction; Wine cannot remove a Unix link, so it stays (and is reported so).
    EXPECT_EQ(removed, link == LINK_JUNCTION);
    EXPECT_EQ(folder_exists(link_path), link != LINK_JUNCTION);
}

TEST_F(LinkedTree, ALinkDeepInsideTheTreeIsOnlyUnlinked) {
    make(tree + "\\a\\b\\jre", outside);
    bool removed = delete_tree(tree.c_str());
    expect_outside_untouched();
    EXPECT_FALSE(file_exists(tree + "\\ours.txt"));
    EXPECT_FALSE(file_exists(tree + "\\a\\b\\ours.jar"));  // read-only, ours: gone
    EXPECT_EQ(removed, link == LINK_JUNCTION);
    EXPECT_EQ(folder_exists(tree), link != LINK_JUNCTION);
}

TEST_F(LinkedTree, AFileLinkGoesWithoutClearingItsTargetsReadOnlyFlag) {
    // Windows makes file links only with a privilege the tests do not have.
    link_path = tree + "\\a\\keep.lnk";
    link = make_link(link_path, outside + "\\keep.txt");
    if (link == LINK_NONE) GTEST_SKIP() << "no file link can be made here";
    EXPECT_TRUE(delete_tree(tree.c_str()));
    expect_outside_untouched();
    EXPECT_FALSE(folder_exists(tree));
}

TEST_F(LinkedTree, ALinkOnTheWayIsFoundButNotTheFoldersAtEitherEnd) {
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
