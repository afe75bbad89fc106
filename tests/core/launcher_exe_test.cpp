// The built launcher itself, run under Wine in temporary game folders.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

struct LauncherRun : testing::Test {
    std::string folder = make_temp_folder("exe");
    std::string exe = folder + "\\ZANDOR Launcher.exe";
    void SetUp() override { ASSERT_TRUE(CopyFileA(launcher_exe().c_str(), exe.c_str(), FALSE)); }
    void TearDown() override { remove_tree(folder); }

    unsigned long run(const std::string& arguments) {
        unsigned long code = 12345;
        EXPECT_TRUE(run_launcher_closing_window("\"" + exe + "\" " + arguments, "C:\\", &code));
        return code;
    }
    std::vector<std::string> log_lines() {
        std::string text;
        read_file(folder + "\\ombrix_data\\updates\\launcher.log", &text);
        std::vector<std::string> lines;
        static const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )");
        size_t start = 0, end;
        while ((end = text.find("\r\n", start)) != std::string::npos) {
            std::string line = text.substr(start, end - start);
            EXPECT_TRUE(std::regex_search(line, stamp)) << line;
            // The log-in worker's line comes whenever its answer arrives before the window
            // closes: not part of what these tests look at.
            if (line.find(" no automatic log-in by IP (") == std::string::npos) {
                lines.push_back(line.size() > 20 ? line.substr(20) : line);
            }
            start = end + 2;
        }
        EXPECT_EQ(start, text.size()) << "every line ends in CR LF";
        return lines;
    }
};

}  // namespace

TEST_F(LauncherRun, NoGameRunsInItsOwnFolderAndMigratesTheOlderSettings) {
    write_file(folder + "\\tolven.ini", "[overlay]\r\nlang=es\r\n");
    EXPECT_EQ(run("--no-game"), 0u);
    EXPECT_TRUE(folder_exists(folder + "\\ombrix_data\\updates"));
    EXPECT_TRUE(file_exists(folder + "\\zandor.ini"));
    EXPECT_FALSE(file_exists(folder + "\\tolven.ini"));
    std::vector<std::string> expected = {
        "ZANDOR Launcher 1.4.0 started in " + folder + " (game folder " + folder + ")",
        "settings: tolven.ini moved to zandor.ini",
        "game folder: given on the command line",
        "server choice in zandor.ini: none yet",
        "window closed by the player: the game is not started",
        "launcher closed",
    };
    EXPECT_EQ(log_lines(), expected);

    // A second run appends; nothing is migrated again.
    EXPECT_EQ(run("--NO-GAME --no-game"), 0u);
    std::vector<std::string> lines = log_lines();
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[7], "game folder: given on the command line");
}

TEST_F(LauncherRun, InTheGameFolderItFindsItsOwnFolder) {
    write_file(folder + "\\pes6.exe", "MZ");
    write_file(folder + "\\zandor.ini", "[online]\r\nserver=-\r\n");
    EXPECT_EQ(run(""), 0u);
    std::vector<std::string> lines = log_lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "game folder: the launcher's own folder");
    EXPECT_EQ(lines[2], "server choice in zandor.ini: any server");
}

TEST_F(LauncherRun, ClosingTheFolderPageEndsTheRunQuietly) {
    // Not a game folder and no --no-game: discovery shows the folder page, the player closes it, and
    // the run ends with 0 before anything is written.
    EXPECT_EQ(run("--uninstall"), 0u);
    EXPECT_FALSE(folder_exists(folder + "\\ombrix_data"));
}

TEST_F(LauncherRun, AnUnopenableLogLeavesTheRunGoing) {
    // A folder where the log file should be.
    CreateDirectoryA((folder + "\\ombrix_data").c_str(), nullptr);
    CreateDirectoryA((folder + "\\ombrix_data\\updates").c_str(), nullptr);
    CreateDirectoryA((folder + "\\ombrix_data\\updates\\launcher.log").c_str(), nullptr);
    write_file(folder + "\\tolven.ini", "");
    EXPECT_EQ(run("--no-game"), 0u);
    EXPECT_TRUE(file_exists(folder + "\\zandor.ini"));
}

TEST_F(LauncherRun, TheRunningGameStopsTheLauncher) {
    write_file(folder + "\\pes6.exe", "MZ");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "{87F2B5F7-09C3-4520-AB5E-16313ADB035B}");
    ASSERT_NE(mutex, nullptr);
    void* process = start_program("\"" + exe + "\"", "");
    ASSERT_NE(process, nullptr);
    // The notice is a message box of the launcher's: read its text and press OK.
    EXPECT_EQ(answer_message_box(IDOK), "The game is already running.");
    EXPECT_EQ(finish_program(process), 0u);
    CloseHandle(mutex);
    std::vector<std::string> lines = log_lines();
    ASSERT_EQ(lines.size(), 2u);  // the start lines only: no "launcher closed"
}

TEST_F(LauncherRun, TheGrantRunAnswersWithItsCode) {
    std::string game = folder + "\\game";
    CreateDirectoryA(game.c_str(), nullptr);
    EXPECT_EQ(run("--grant-folder \"" + game + "\" --grant-sid S-1-5-32-545"), 2u);
    write_file(game + "\\pes6.exe", "MZ");
    EXPECT_EQ(run("--grant-folder \"" + game + "\\\\\" --grant-sid not-a-sid"), 3u);
    EXPECT_EQ(run("--grant-folder \"" + game + "\" --grant-sid S-1-5-32-545"), 0u);
    // The grant run writes no log and makes no update folder.
    EXPECT_FALSE(folder_exists(folder + "\\ombrix_data"));
    EXPECT_FALSE(folder_exists(game + "\\ombrix_data"));

}
