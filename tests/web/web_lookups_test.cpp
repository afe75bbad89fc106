// The web lookups against the reference web site (started by run.sh on the build's web address).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "build_config.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/text.h"
#include "core/window_messages.h"
#include "support/test_support.h"
#include "web/web_lookups.h"

namespace {

std::string site_root() {
    const char* root = getenv("ZANDOR_WEB_ROOT");
    return root ? root : "";
}

void put_page(const char* name, const std::string& body, int status = 200) {
    write_file(site_root() + "\\" + name, body);
    std::string status_file = site_root() + "\\" + name + ".status";
    if (status == 200) {
        DeleteFileA(status_file.c_str());
    } else {
        write_file(status_file, std::to_string(status));
    }
}

void drop_page(const char* name) {
    DeleteFileA((site_root() + "\\" + name).c_str());
    DeleteFileA((site_root() + "\\" + name + ".status").c_str());
}

struct WebTest : testing::Test {
    std::string folder = make_temp_folder("web");
    void SetUp() override {
        ASSERT_FALSE(site_root().empty()) << "run through tests/web/run.sh";
        launcher_state_reset();
        newest_launcher_version[0] = 0;
        drop_page("version.txt");
        drop_page("index.html");
        drop_page("players_online");
        log_open((folder + "\\test.log").c_str());
    }
    void TearDown() override {
        log_close();
        remove_tree(folder);
    }
    std::string log_text() { return file_text(folder + "\\test.log"); }
    std::string newest(const char* own) {
        copy_text(launcher.own_version, sizeof launcher.own_version, own);
        newest_launcher_version[0] = 0;
        look_up_newest_launcher();
        return newest_launcher_version;
    }
};

}  // namespace

TEST_F(WebTest, TheVersionPageNamesANewerLauncher) {
    put_page("version.txt", "bots=4\nlauncher=2.1.0\nmore");
    EXPECT_EQ(newest("2.0.7"), "2.1.0");
    EXPECT_EQ(newest("2.1.0"), "");
    EXPECT_EQ(newest(""), "");  // without a version of its own nothing is newer
    std::string log = log_text();
    EXPECT_NE(log.find(" newest launcher 2.1.0, this one is 2.0.7 - a newer one is ready\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" newest launcher 2.1.0, this one is 2.1.0\r\n"), std::string::npos) << log;
}

TEST_F(WebTest, TheHomePageIsTheFallBack) {
    put_page("version.txt", "launcher=9.9.9", 500);  // not a 200 answer: its body is not read
    put_page("index.html", "<html><meta name=\"zandor-launcher-version\" content=\"1.9.0\"></html>");
    EXPECT_EQ(newest("1.4.0"), "1.9.0");
    put_page("index.html", "<html>no tag</html>");
    EXPECT_EQ(newest("1.4.0"), "");
    EXPECT_NE(log_text().find(" newest launcher version: no answer (or no version given)\r\n"), std::string::npos);
}

TEST_F(WebTest, NoAnswerIsLogged) {
    char page[64] = "stale";
    fetch_url("http://127.0.0.1:1/version.txt", page, sizeof page);
    EXPECT_STREQ(page, "");
    EXPECT_NE(log_text().find(" http://127.0.0.1:1/version.txt: no answer (error "), std::string::npos);
    // A body longer than the buffer is cut.
    put_page("version.txt", std::string(100, 'x'));
    char url[128];
    snprintf(url, sizeof url, "%s/version.txt", ZANDOR_WEB_BASE);
    fetch_url(url, page, sizeof page);
    EXPECT_EQ(std::string(page), std::string(63, 'x'));
}

TEST_F(WebTest, OnePlayersFetchAtATimeAndTheWindowIsTold) {
    put_page("players_online", "{\"online\": 57}");
    HWND window = CreateWindowExA(0, "STATIC", "players", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    launcher.window = window;
    start_players_fetch();
    start_players_fetch();  // while the first one runs: nothing
    MSG message;
    bool told = false;
    for (int i = 0; i < 600 && !told; i++) {
        told = PeekMessageA(&message, window, WM_PLAYERS_ONLINE, WM_PLAYERS_ONLINE, PM_REMOVE);
        if (!told) Sleep(50);
    }
    EXPECT_TRUE(told) << "count " << players_online_count();
    EXPECT_EQ(players_online_count(), 57);
    std::string requests;
    read_file(site_root() + "\\requests.log", &requests);
    size_t count = 0;
    for (size_t at = 0; (at = requests.find("/players_online", at)) != std::string::npos; at++) count++;
    EXPECT_EQ(count, 1u);

    put_page("players_online", "{\"online\": \"many\"}");
    start_players_fetch();
    for (int i = 0; i < 600 && players_online_count() != -1; i++) Sleep(50);
    EXPECT_EQ(players_online_count(), -1);
    launcher.window = nullptr;
    DestroyWindow(window);
}
