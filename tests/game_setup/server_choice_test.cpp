// The server choice in zandor.ini: reading every stored form and saving with its read-back.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "build_config.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/message_box.h"
#include "core/text.h"
#include "game_setup/server_choice.h"
#include "support/test_support.h"
#include "updates/update_paths.h"

namespace {

std::vector<std::string> boxes;
int answer_box(void*, const char* text, unsigned) {
    boxes.push_back(text);
    return IDOK;
}

struct ServerChoiceTest : testing::Test {
    std::string folder = make_temp_folder("server");
    std::string ini = folder + "\\zandor.ini";
    void SetUp() override {
        launcher_state_reset();
        update_paths_init(&launcher.update_paths, folder.c_str());
        copy_text(launcher.settings_path, PATH_CAP, ini.c_str());
        boxes.clear();
        set_message_box_answer(answer_box);
        log_open((folder + "\\test.log").c_str());
    }
    void TearDown() override {
        log_close();
        set_message_box_answer(nullptr);
        remove_tree(folder);
    }
    std::string log_text() { return file_text(folder + "\\test.log"); }
};

}  // namespace

TEST_F(ServerChoiceTest, StoredValuesReadAsTheirChoice) {
    struct Case {
        const char* content;  // of zandor.ini; null = no file
        int choice;
        const char* custom;
    } cases[] = {
        {nullptr, SERVER_NOT_CHOSEN, ""},
        {"[online]\nother=1\n", SERVER_NOT_CHOSEN, ""},
        {"[online]\nserver=\n", SERVER_ANY, ""},
        {"[online]\nserver=-\n", SERVER_ANY, ""},
        {"[online]\nserver=" ZANDOR_SERVER_ADDRESS "\n", SERVER_ZANDOR, ""},
        {"[online]\nserver=10.9.8.7\n", SERVER_CUSTOM, "10.9.8.7"},
        {"[online]\nserver=play.example.org\n", SERVER_CUSTOM, "play.example.org"},
    };
    for (const Case& c : cases) {
        DeleteFileA(ini.c_str());
        if (c.content) write_file(ini, c.content);
        EXPECT_EQ(read_server_choice(), c.choice) << (c.content ? c.content : "(no file)");
        EXPECT_STREQ(launcher.custom_server, c.custom);
    }
}

TEST_F(ServerChoiceTest, SavingWritesTheServerAndAHostOnlyWhenNoneIsSet) {
    ASSERT_TRUE(save_server_choice(SERVER_ZANDOR));
    EXPECT_EQ(launcher.server_choice, SERVER_ZANDOR);
    EXPECT_EQ(read_server_choice(), SERVER_ZANDOR);
    char host[128];
    GetPrivateProfileStringA("sync", "host", "", host, sizeof host, ini.c_str());
    EXPECT_STREQ(host, ZANDOR_SERVER_ADDRESS);

    WritePrivateProfileStringA("sync", "host", "updates.example", ini.c_str());
    ASSERT_TRUE(save_server_choice(SERVER_ANY));
    EXPECT_EQ(read_server_choice(), SERVER_ANY);
    GetPrivateProfileStringA("sync", "host", "", host, sizeof host, ini.c_str());
    EXPECT_STREQ(host, "updates.example");
    EXPECT_TRUE(boxes.empty());

    std::string log = log_text();
    EXPECT_NE(log.find(" server choice: the ZANDOR server -> zandor.ini [online] server=" ZANDOR_SERVER_ADDRESS
                       ", [sync] host=" ZANDOR_SERVER_ADDRESS "\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(" server choice: any server (the game's own) -> zandor.ini [online] server=, [sync] "
                       "host=updates.example\r\n"),
              std::string::npos)
        << log;
}

TEST_F(ServerChoiceTest, AnUnwritableFolderWarnsAndKeepsTheEarlierChoice) {
    CreateDirectoryA(ini.c_str(), nullptr);  // a folder where zandor.ini should be
    launcher.server_choice = SERVER_ANY;
    EXPECT_FALSE(save_server_choice(SERVER_ZANDOR));
    EXPECT_EQ(launcher.server_choice, SERVER_ANY);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("ZANDOR cannot save settings in the game folder:\n" + folder + "\n\n", 0), 0u) << boxes[0];
    EXPECT_NE(log_text().find(" - NOT WRITTEN (the game folder is not writable)\r\n"), std::string::npos);
}
