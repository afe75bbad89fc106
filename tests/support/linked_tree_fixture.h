// Test fixture: a tree of our own (with a read-only file) and a folder outside it (with a read-only
// file too) that a test links into the tree; what lies outside must stay whole.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "core/file_system.h"
#include "support/folder_link.h"
#include "support/test_support.h"

struct LinkedTree : testing::Test {
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

