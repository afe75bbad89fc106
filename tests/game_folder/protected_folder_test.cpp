// The protected-folder step: the write check, the player's answer, the grant run of the real
// launcher, and the VirtualStore clean-up. Wine has no elevation prompt: "runas" simply starts the
// launcher, which is enough to see the grant run's answer reach the note.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "core/launcher_state.h"
#include "core/message_box.h"
#include "game_folder/protected_folder.h"
#include "support/test_support.h"

namespace {

std::vector<std::string> boxes;
int answer_no(void*, const char* text, unsigned) {
    boxes.push_back(text);
    return IDNO;
}

std::string virtual_store_of(const std::string& folder) {
    char local[MAX_PATH];
    SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, local);
    return std::string(local) + "\\VirtualStore\\" + folder.substr(3);
}

struct ProtectedFolderTest : testing::Test {
    std::string folder = make_temp_folder("protected");
    void SetUp() override {
        launcher_state_reset();
        boxes.clear();
    }
    void TearDown() override {
        set_message_box_answer(nullptr);
        remove_tree(folder);
    }
};

}  // namespace

TEST_F(ProtectedFolderTest, ALockedDllCountsAsProtection) {
    EXPECT_TRUE(folder_writable(folder.c_str()));
    EXPECT_FALSE(file_exists(folder + "\\zandor_write_check_" + std::to_string(GetCurrentProcessId()) + ".tmp"));
    write_file(folder + "\\d3d8.dll", "dll");
    EXPECT_TRUE(folder_writable(folder.c_str()));
    HANDLE in_use = CreateFileA((folder + "\\d3d8.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    EXPECT_FALSE(folder_writable(folder.c_str()));
    CloseHandle(in_use);
    EXPECT_FALSE(folder_writable((folder + "\\missing").c_str()));
}

TEST_F(ProtectedFolderTest, NoToTheQuestionWarnsAndStops) {
    write_file(folder + "\\d3d8.dll", "dll");
    HANDLE in_use = CreateFileA((folder + "\\d3d8.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    set_message_box_answer(answer_no);
    EXPECT_FALSE(ensure_writable(folder.c_str()));
    CloseHandle(in_use);
    EXPECT_STREQ(launcher.folder_note, "protected game folder: the player said no");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "Your PES6 folder is in a protected place:\n" + folder +
                            "\n\nZANDOR needs to put its files there (the ZANDOR DLL and its settings). Windows will "
                            "ask you once to allow this. ZANDOR then gives your own Windows account permission to "
                            "change this one folder, and does not ask again.\n\nContinue?");
    EXPECT_EQ(boxes[1].rfind("ZANDOR cannot install into this folder without that permission:\n" + folder, 0), 0u);
}

TEST_F(ProtectedFolderTest, VirtualStoreLeftoversAreCounted) {
    std::string copy = virtual_store_of(folder);
    EXPECT_EQ(clean_virtual_store(folder.c_str()), 0);  // no virtual copy
    make_dirs((copy + "\\ombrix_data\\updates").c_str());
    write_file(copy + "\\ombrix_data\\updates\\installed.json", "{}");
    write_file(copy + "\\zandor.ini", "");
    write_file(copy + "\\d3d8.dll", "");
    write_file(copy + "\\pes6.exe", "");  // not one of ours: stays
    EXPECT_EQ(clean_virtual_store(folder.c_str()), 3);
    EXPECT_FALSE(folder_exists(copy + "\\ombrix_data"));
    EXPECT_TRUE(file_exists(copy + "\\pes6.exe"));
    remove_tree(copy);
    EXPECT_EQ(clean_virtual_store("\\\\server\\share\\PES6"), 0);  // no drive letter
}

TEST_F(ProtectedFolderTest, TheLauncherAsksRunsTheGrantAndGoesOn) {
    std::string exe = folder + "\\ZANDOR Launcher.exe";
    ASSERT_TRUE(CopyFileA(launcher_exe().c_str(), exe.c_str(), FALSE));
    write_file(folder + "\\pes6.exe", "MZ");
    write_file(folder + "\\d3d8.dll", "dll");
    std::string copy = virtual_store_of(folder);
    make_dirs(copy.c_str());
    write_file(copy + "\\zandor.ini", "");
    write_file(copy + "\\tolven.ini", "");

    HANDLE in_use = CreateFileA((folder + "\\d3d8.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    void* process = start_program("\"" + exe + "\" --no-game", folder);
    ASSERT_NE(process, nullptr);
    std::string question = answer_message_box(IDYES);
    CloseHandle(in_use);  // the grant run "unlocks" the folder
    EXPECT_TRUE(close_launcher_window(process));
    EXPECT_EQ(question.rfind("Your PES6 folder is in a protected place:\n" + folder + "\n", 0), 0u) << question;
    EXPECT_EQ(finish_program(process), 0u);

    std::string log;
    ASSERT_TRUE(read_file(folder + "\\ombrix_data\\updates\\launcher.log", &log));
    EXPECT_NE(log.find(" protected game folder: permission asked, the elevated run answered 0 - the folder is "
                       "writable now; 2 VirtualStore leftover(s) removed\r\n"),
              std::string::npos)
        << log;
    remove_tree(copy);
}

TEST_F(ProtectedFolderTest, ADeclinedLauncherRunStopsBeforeWritingAnything) {
    std::string exe = folder + "\\ZANDOR Launcher.exe";
    ASSERT_TRUE(CopyFileA(launcher_exe().c_str(), exe.c_str(), FALSE));
    write_file(folder + "\\pes6.exe", "MZ");
    write_file(folder + "\\d3d8.dll", "dll");
    HANDLE in_use = CreateFileA((folder + "\\d3d8.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    void* process = start_program("\"" + exe + "\"", folder);
    EXPECT_NE(answer_message_box(IDNO), "(no message box)");
    std::string warning = answer_message_box(IDOK);
    EXPECT_EQ(warning.rfind("ZANDOR cannot install into this folder without that permission:", 0), 0u) << warning;
    EXPECT_EQ(finish_program(process), 0u);
    CloseHandle(in_use);
    EXPECT_FALSE(folder_exists(folder + "\\ombrix_data"));
}
