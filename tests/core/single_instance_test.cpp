// One launcher per game folder: the folder's key, a claim held by another thread (standing in for
// another launcher's main thread), and a second start while the first shows no window.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "core/single_instance.h"
#include "support/test_support.h"

namespace {

struct FolderKeys : testing::Test {
    void SetUp() override {
        parent = make_temp_folder("keys");
        ASSERT_FALSE(parent.empty());
        folder = parent + "\\a game folder with a long name";
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA((parent + "\\another folder").c_str(), nullptr));
    }
    void TearDown() override { remove_tree(parent); }
    std::string parent, folder;
};

// A claim made on a thread of its own, held until release is signalled.
struct OtherLauncher {
    std::string folder;
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE claimed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = nullptr;
    bool got = false;

    static DWORD WINAPI run(void* context) {
        OtherLauncher* other = (OtherLauncher*)context;
        other->got = claim_game_folder(other->folder.c_str());
        SetEvent(other->claimed);
        WaitForSingleObject(other->release, INFINITE);
        return 0;  // the thread's end gives the claim up
    }
    bool start(const std::string& game_folder) {
        folder = game_folder;
        thread = CreateThread(nullptr, 0, run, this, 0, nullptr);
        return thread && WaitForSingleObject(claimed, 30000) == WAIT_OBJECT_0 && got;
    }
    ~OtherLauncher() {
        SetEvent(release);
        if (thread) WaitForSingleObject(thread, INFINITE), CloseHandle(thread);
        CloseHandle(release);
        CloseHandle(claimed);
    }
};

}  // namespace

// Every spelling of one folder gives one key: its 8.3 short name, another letter case, a trailing
// backslash; another folder gives another. A folder that cannot be opened falls back to its path.
TEST_F(FolderKeys, EverySpellingOfOneFolderGivesOneKey) {
    char short_name[MAX_PATH];
    DWORD length = GetShortPathNameA(folder.c_str(), short_name, sizeof short_name);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof short_name);
    ASSERT_STRNE(short_name, folder.c_str()) << "no short name to compare with";
    std::string upper = folder;
    CharUpperBuffA(&upper[0], (DWORD)upper.size());
    uint64_t key = game_folder_key(folder.c_str());
    EXPECT_EQ(game_folder_key(short_name), key) << short_name;
    EXPECT_EQ(game_folder_key(upper.c_str()), key);
    EXPECT_EQ(game_folder_key((folder + "\\").c_str()), key);
    EXPECT_NE(game_folder_key((parent + "\\another folder").c_str()), key);
    std::string missing = parent + "\\Missing";
    EXPECT_EQ(game_folder_key(missing.c_str()), game_folder_key((parent + "\\MISSING\\").c_str()));
    EXPECT_NE(game_folder_key(missing.c_str()), game_folder_key((parent + "\\missing two").c_str()));
}

// The second launcher's steps, on a thread of their own so that its claim ends with the test.
struct SecondLauncher {
    std::string folder;
    HANDLE first_release;
    bool claimed = true, got_while_first_runs = true, got_after_first_ended = false;

    static DWORD WINAPI run(void* context) {
        SecondLauncher* second = (SecondLauncher*)context;
        second->claimed = claim_game_folder(second->folder.c_str());
        second->got_while_first_runs = wait_for_game_folder(300);
        SetEvent(second->first_release);
        second->got_after_first_ended = wait_for_game_folder(30000);
        return 0;
    }
};

// A launcher that claimed the folder under its short name keeps out one that names it in full; once
// the first ends, a waiting second start gets the folder.
TEST_F(FolderKeys, ASecondStartWaitsForTheFirstToEndUnderAnySpelling) {
    char short_name[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(folder.c_str(), short_name, sizeof short_name), 0u);
    OtherLauncher first;
    ASSERT_TRUE(first.start(short_name));
    SecondLauncher second;
    second.folder = folder;
    second.first_release = first.release;
    HANDLE thread = CreateThread(nullptr, 0, SecondLauncher::run, &second, 0, nullptr);
    ASSERT_TRUE(thread);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_FALSE(second.claimed);
    EXPECT_FALSE(second.got_while_first_runs) << "the first still ran";
    EXPECT_TRUE(second.got_after_first_ended);
}

// A second launcher started while the first holds the folder without a window waits a little and
// then tells the player in one sentence that the launcher is still closing, instead of ending
// without a word.
TEST_F(FolderKeys, ASecondStartWhileTheFirstShowsNoWindowTellsThePlayer) {
    std::string exe = folder + "\\ZANDOR Launcher.exe";
    ASSERT_TRUE(CopyFileA(launcher_exe().c_str(), exe.c_str(), FALSE));
    OtherLauncher first;
    ASSERT_TRUE(first.start(folder));
    void* second = start_program("\"" + exe + "\" --no-game", folder);
    ASSERT_TRUE(second);
    EXPECT_EQ(answer_message_box(IDOK, 120000),
              "The ZANDOR Launcher is still closing: please start it again in a moment.");
    EXPECT_EQ(finish_program(second, 60000), 0u);
}
