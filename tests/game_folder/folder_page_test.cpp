// The folder page's checks: what the player types, pastes or picks, and where "Browse..." opens; the
// item dialog's start folder and result.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "core/text_table.h"
#include "game_folder/folder_page.h"
#include "game_folder/folder_picker.h"
#include "support/test_support.h"

namespace {

const char PASTE_MESSAGE[] = "Paste the folder where pes6.exe is, or click Browse...";
const char NOT_HERE[] = "pes6.exe is not in this folder: ";
const char NO_FOLDER[] = "This folder does not exist: ";

struct FolderTextTest : testing::Test {
    std::string root = make_temp_folder("page");
    std::string game = root + "\\game";
    std::string empty = root + "\\empty";
    std::string missing = root + "\\missing";

    void SetUp() override {
        forget_language();  // the page runs before the language is decided: English
        CreateDirectoryA(game.c_str(), nullptr);
        CreateDirectoryA(empty.c_str(), nullptr);
        write_file(game + "\\pes6.exe", "MZ");
        write_file(game + "\\settings.exe", "MZ");
        SetEnvironmentVariableA("ZANDOR_PAGE_ROOT", root.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("ZANDOR_PAGE_ROOT", nullptr);
        remove_tree(root);
    }
};

struct Case {
    std::string given;
    std::string folder;   // the accepted folder, or empty when refused
    std::string message;  // the message when refused
};

void check(const Case& c) {
    char folder[MAX_PATH] = "(untouched)";
    char error[FOLDER_ERROR_CAP] = "(earlier message)";
    bool ok = validate_folder_text(c.given.c_str(), folder, sizeof folder, error, sizeof error);
    if (c.folder.empty()) {
        EXPECT_FALSE(ok) << "[" << c.given << "]";
        EXPECT_EQ(std::string(error), c.message) << "[" << c.given << "]";
    } else {
        EXPECT_TRUE(ok) << "[" << c.given << "] " << error;
        EXPECT_EQ(std::string(folder), c.folder) << "[" << c.given << "]";
        EXPECT_STREQ(error, "") << "[" << c.given << "]";
    }
}

}  // namespace

TEST_F(FolderTextTest, WhatThePlayerGivesTable) {
    char program_files[MAX_PATH] = "";
    ASSERT_GT(GetEnvironmentVariableA("ProgramFiles", program_files, sizeof program_files), 0u);
    Case cases[] = {
        {game, game, ""},
        // "Copy as path" quotes the path; a paste brings blanks and tabs along.
        {"\"" + game + "\" ", game, ""},
        {" \t\"" + game + "\\\"\t ", game, ""},
        // Variables are expanded; an unknown one stays as it is.
        {"%ZANDOR_PAGE_ROOT%\\game", game, ""},
        {"\"%ZANDOR_PAGE_ROOT%\\game\\pes6.exe\"", game, ""},
        {"%ProgramFiles%\\zandor_no_such_game", "", NO_FOLDER + std::string(program_files) + "\\zandor_no_such_game"},
        // The path of pes6.exe or of any other program stands for its folder; slashes count too.
        {game + "\\pes6.exe", game, ""},
        {game + "\\PES6.EXE", game, ""},
        {game + "\\settings.exe", game, ""},
        {game + "\\not_there.exe", game, ""},
        {game + "/pes6.exe", game, ""},
        {root + "/game/pes6.exe", game, ""},
        {empty + "\\pes6.exe", "", NOT_HERE + empty},
        // Trailing separators go.
        {game + "\\", game, ""},
        {game + "\\\\", game, ""},
        {game + "/", game, ""},
        {root + "\\game\\..\\game", game, ""},
        // A folder without the game, and a path that is not there.
        {empty, "", NOT_HERE + empty},
        {empty + "\\", "", NOT_HERE + empty},
        {"\"" + empty + "\"", "", NOT_HERE + empty},
        {missing, "", NO_FOLDER + missing},
        {missing + "\\pes6.exe", "", NO_FOLDER + missing},
        {game + "\\pes6.exe\\", "", NO_FOLDER + game + "\\pes6.exe"},  // a file is not a folder
        // Nothing given.
        {"", "", PASTE_MESSAGE},
        {"   ", "", PASTE_MESSAGE},
        {"\t \"\" \t", "", PASTE_MESSAGE},
        {"\"", "", PASTE_MESSAGE},
    };
    for (const Case& c : cases) check(c);
}

TEST_F(FolderTextTest, ADriveRootKeepsItsBackslashAndCountsOnlyWithTheGame) {
    // C:\ of the Wine prefix: pes6.exe lies there only for this test.
    const std::string exe = "C:\\pes6.exe";
    ASSERT_FALSE(file_exists(exe));
    check({"C:\\", "", NOT_HERE + std::string("C:\\")});
    check({"C:\\\\", "", NOT_HERE + std::string("C:\\")});
    ASSERT_TRUE(write_file(exe, "MZ"));
    check({"C:\\", "C:\\", ""});
    check({"C:/", "C:\\", ""});
    // The program's path at the root stands for the root, not for drive C's current folder.
    SetEnvironmentVariableA("=C:", "C:\\windows");
    check({"C:\\pes6.exe", "C:\\", ""});
    check({"\"C:\\setup.exe\" ", "C:\\", ""});
    check({"C:", "", NOT_HERE + std::string("C:\\windows")});
    SetEnvironmentVariableA("=C:", nullptr);
    DeleteFileA(exe.c_str());
}

TEST_F(FolderTextTest, LongTextsAreNeverCutIntoAnotherFolder) {
    // 300 characters: cut at a path's 259 it would leave the game folder and some separators.
    std::string padded = game + std::string(300 - game.size() - 4, '\\') + "next";
    char folder[MAX_PATH] = "", error[FOLDER_ERROR_CAP] = "";
    EXPECT_FALSE(validate_folder_text(padded.c_str(), folder, sizeof folder, error, sizeof error));
    EXPECT_EQ(std::string(error).rfind(NO_FOLDER, 0), 0u) << error;

    // The box gives at most 519 characters; anything longer is cut there, never overrun.
    std::string huge(5000, 'x');
    EXPECT_FALSE(validate_folder_text(huge.c_str(), folder, sizeof folder, error, sizeof error));
    EXPECT_EQ(std::string(error).rfind(NO_FOLDER, 0), 0u);
    std::string quotes(5000, '"');
    EXPECT_FALSE(validate_folder_text(quotes.c_str(), folder, sizeof folder, error, sizeof error));
    EXPECT_STREQ(error, PASTE_MESSAGE);
    EXPECT_FALSE(validate_folder_text(nullptr, folder, sizeof folder, error, sizeof error));
    EXPECT_STREQ(error, PASTE_MESSAGE);
    // A small message buffer is cut, not overrun.
    char small[12] = "";
    EXPECT_FALSE(validate_folder_text(missing.c_str(), folder, sizeof folder, small, sizeof small));
    EXPECT_STREQ(small, "This folder");
}

TEST_F(FolderTextTest, StrangeInputIsRefusedWithAMessage) {
    const char* inputs[] = {"%",    "%%%",  "%ZANDOR_PAGE_ROOT", "\\\\?\\",  "CON",  "C:",   "::",   "\\\\",
                            "\\", "/",    ".exe",              "a\"b",  "*",    "?:\\", "\x01", "\xff\xfe",
                            ".",    "..\\", "pes6.exe",          "\\.exe"};
    for (const char* input : inputs) {
        char folder[MAX_PATH] = "", error[FOLDER_ERROR_CAP] = "";
        EXPECT_FALSE(validate_folder_text(input, folder, sizeof folder, error, sizeof error)) << input << " " << folder;
        EXPECT_NE(error[0], 0) << input;
    }
}

TEST_F(FolderTextTest, TheMessagesFollowTheLanguageOnceDecided) {
    decide_language_from_value("es");
    check({"", "", "Pega la carpeta donde est\xe1 pes6.exe, o haz clic en Examinar..."});
    check({empty, "", "pes6.exe no est\xe1 en esta carpeta: " + empty});
    forget_language();
}

TEST_F(FolderTextTest, BrowseStartsInTheBoxThenTheCandidateThenTheLaunchersFolder) {
    std::string launcher_dir = root + "\\launcher";
    struct BrowseCase {
        std::string box;
        const char* candidate;
        std::string start;
    } cases[] = {
        // What the box names, made absolute, when it exists.
        {game + "\\", "C:\\candidate", game},
        {root + "\\game\\..\\empty", "C:\\candidate", empty},
        {game + "\\pes6.exe", "C:\\candidate", game + "\\pes6.exe"},
        // Otherwise the first candidate...
        {missing, "C:\\candidate", "C:\\candidate"},
        {"", "C:\\candidate", "C:\\candidate"},
        {"\"" + game + "\"", "C:\\candidate", "C:\\candidate"},
        // ...and without one the launcher's folder.
        {missing, "", launcher_dir},
        {"", nullptr, launcher_dir},
    };
    for (const BrowseCase& c : cases) {
        char start[MAX_PATH] = "(untouched)";
        choose_browse_start(c.box.c_str(), c.candidate, launcher_dir.c_str(), start, sizeof start);
        EXPECT_EQ(std::string(start), c.start) << "[" << c.box << "]";
    }
}
