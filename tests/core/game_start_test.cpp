// Starting the game: the stub game records its environment and current folder; failures and the
// pending message are answered through the message-box seam.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "core/game_start.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/message_box.h"
#include "core/text.h"
#include "support/test_support.h"

namespace {

struct Box {
    std::string text;
    unsigned flags;
    bool game_started_before;  // started.txt already there when the box came up
};
std::vector<Box> boxes;
std::string game_folder;

int answer_box(void*, const char* text, unsigned flags) {
    boxes.push_back({text, flags, file_exists(game_folder + "\\started.txt")});
    return IDOK;
}

std::string wait_for_record() {
    std::string content;
    for (int i = 0; i < 100 && !(read_file(game_folder + "\\started.txt", &content) && !content.empty()); i++) {
        Sleep(100);
    }
    return content;
}

struct GameStartTest : testing::Test {
    void SetUp() override {
        game_folder = make_temp_folder("game_start");
        launcher_state_reset();
        copy_text(launcher.update_paths.game_folder, PATH_CAP, game_folder.c_str());
        boxes.clear();
        set_message_box_answer(answer_box);
    }
    void TearDown() override {
        set_message_box_answer(nullptr);
        Sleep(200);  // let the stub game end before its folder goes
        remove_tree(game_folder);
    }
    void install_stub_game() { ASSERT_TRUE(CopyFileA(test_tool("stub_game").c_str(), (game_folder + "\\pes6.exe").c_str(), FALSE)); }
};

}  // namespace

TEST_F(GameStartTest, TheGameGetsTheVariableAndItsFolderAsCurrentFolder) {
    install_stub_game();
    SetCurrentDirectoryA("C:\\");
    ASSERT_TRUE(start_game());
    EXPECT_EQ(wait_for_record(), "ZANDOR_LAUNCHER=1\ncurrent folder=" + game_folder + "\n");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(GameStartTest, MissingOrBrokenGameGivesAWarning) {
    EXPECT_FALSE(start_game());
    CreateDirectoryA((game_folder + "\\pes6.exe").c_str(), nullptr);  // a directory is not the game
    EXPECT_FALSE(start_game());
    RemoveDirectoryA((game_folder + "\\pes6.exe").c_str());
    write_file(game_folder + "\\pes6.exe", "not a program");
    EXPECT_FALSE(start_game());

    ASSERT_EQ(boxes.size(), 3u);
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(boxes[i].text, "pes6.exe was not found. Put ZANDOR Launcher in the game folder, next to pes6.exe.");
        EXPECT_EQ(boxes[i].flags, (unsigned)(MB_OK | MB_ICONWARNING));
    }
    EXPECT_EQ(boxes[2].text.rfind("Could not start the game (error ", 0), 0u) << boxes[2].text;
    EXPECT_EQ(boxes[2].text.find("(error 0)"), std::string::npos);
}

TEST_F(GameStartTest, APendingMessageComesBeforeTheGame) {
    install_stub_game();
    copy_text(launcher.player_message, sizeof launcher.player_message, "Your D3D8.dll was kept safe.");
    take_start_step();
    EXPECT_TRUE(launcher.start_step_taken);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Your D3D8.dll was kept safe.");
    EXPECT_EQ(boxes[0].flags, (unsigned)(MB_OK | MB_ICONINFORMATION));
    EXPECT_FALSE(boxes[0].game_started_before);
    EXPECT_NE(wait_for_record(), "");
}

TEST_F(GameStartTest, WithoutPlayingThePendingMessageIsOnlyLogged) {
    install_stub_game();
    launcher.play_game = false;
    copy_text(launcher.player_message, sizeof launcher.player_message, "kept safe");
    ASSERT_TRUE(log_open((game_folder + "\\test.log").c_str()));
    take_start_step();
    log_close();
    Sleep(300);
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(file_exists(game_folder + "\\started.txt"));
    std::string log;
    ASSERT_TRUE(read_file(game_folder + "\\test.log", &log));
    EXPECT_NE(log.find(" told the player: kept safe\r\n"), std::string::npos) << log;
}
