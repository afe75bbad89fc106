// A real update run against the reference update server, started from the server page of a real
// window and followed by the real status timer: the download text and the bar move, the outcome
// shows, the countdown runs out and the start step starts a stub game.
#include <winsock2.h>  // before the windows.h of the window test support

#include "ui_test_support.h"

#include <set>
#include <string>
#include <vector>

#include "support/release_fixture.h"
#include "account/login_state.h"
#include "core/launcher_state.h"
#include "core/text.h"
#include "ui/pages.h"
#include "ui/paint_tools.h"
#include "ui/window.h"
#include "ui/window_state.h"
#include "updates/update_worker.h"

namespace {

struct Sample {
    std::string text;
    bool bar_partly_filled;
};

}  // namespace

struct RealRun : UpdateFixture {
    SavedLogin login = {};
    bool logged_in = true;

    void SetUp() override {
        UpdateFixture::SetUp();
        if (HasFatalFailure()) return;
        if (main_window()) DestroyWindow(main_window());
        pump_messages(20);
        launcher_state_reset();
        launcher.update_paths = paths;
        copy_text(launcher.update_paths.launcher_path, PATH_CAP, place("ZANDOR Launcher.exe").c_str());
        copy_text(launcher.settings_path, PATH_CAP, place("zandor.ini").c_str());
        copy_text(launcher.update_host, sizeof launcher.update_host, "127.0.0.1");
        copy_text(launcher.update_channel, sizeof launcher.update_channel, "client");
        copy_text(launcher.account_host, sizeof launcher.account_host, "127.0.0.1");
        set_update_port(port);
        copy_text(login.token, sizeof login.token, "pgt1.test-token");
        update_login = {&login, &logged_in, nullptr};
        update_started = false;
        window_ui.play_now_pressed = false;
        window_ui.outcome_tick = 0;
        window_ui.status_text[0] = 0;
        ASSERT_TRUE(CopyFileA(test_tool("stub_game").c_str(), place("pes6.exe").c_str(), FALSE));
    }
    void TearDown() override {
        wait_for_update_worker(20000);
        update_login = {};
        set_update_port(20292);
        update_started = false;
        Sleep(200);  // let the stub game end before its folder goes
        UpdateFixture::TearDown();
    }
};

TEST_F(RealRun, FromTheServerPageToTheStartedGame) {
    Release release;
    release.number = 7;
    release.versions = {{PART_DLL, 12}};
    release.files = {{PART_DLL, "d3d8.dll", client_dll(12) + std::string(2500000, 'x')}};
    serve(release);
    mode("short_pieces", "400");  // many small pieces: the download takes a number of ticks

    open_window(GetModuleHandleA(nullptr), PAGE_SERVER);
    HWND window = main_window();
    ASSERT_NE(window, nullptr);
    SendMessageA(window, WM_COMMAND, ID_SERVER_CARD, 0);
    pump_until_not_busy();  // zandor.ini is written on a worker
    EXPECT_EQ(window_ui.page, PAGE_MAIN);
    EXPECT_TRUE(update_started);

    // Follow the window as the player would, sampling the status line and the bar.
    std::vector<Sample> samples;
    RECT track = scaled_rect(44, 242, 556, 258);
    for (int i = 0; i < 600 && main_window(); i++) {
        pump_messages(50);
        if (!main_window()) break;
        Sample sample = {window_ui.status_text, false};
        if (sample.text.rfind("Updating ZANDOR:", 0) == 0) {
            Shot shot = take_shot();
            int y = (track.top + track.bottom) / 2;
            bool start_filled = GetBValue(shot.at(track.left + 1, y)) < 130;
            bool end_filled = GetBValue(shot.at(track.right - 2, y)) < 130;
            sample.bar_partly_filled = start_filled && !end_filled;
        }
        if (samples.empty() || samples.back().text != sample.text) samples.push_back(sample);
    }
    EXPECT_EQ(main_window(), nullptr) << "the start step ended the window";
    if (samples.back().text != window_ui.status_text) samples.push_back({window_ui.status_text, false});

    std::vector<std::string> texts;
    for (const Sample& s : samples) texts.push_back(s.text);
    std::string all;
    for (const std::string& t : texts) all += "[" + t + "] ";

    int downloads = 0, partly = 0;
    for (const Sample& s : samples) {
        if (s.text.rfind("Updating ZANDOR:", 0) == 0) {
            downloads++;
            partly += s.bar_partly_filled;
        }
    }
    EXPECT_GE(downloads, 2) << all;
    EXPECT_GE(partly, 1) << "the bar follows the download: " << all;
    EXPECT_NE(std::find(texts.begin(), texts.end(), "ZANDOR is up to date\nStarting the game in 3 s..."), texts.end())
        << all;
    EXPECT_NE(std::find(texts.begin(), texts.end(), "ZANDOR is up to date\nStarting the game in 1 s..."), texts.end())
        << all;
    EXPECT_EQ(texts.back(), "Starting the game...") << all;

    std::string record;
    for (int i = 0; i < 300 && !read_file(place("started.txt"), &record); i++) Sleep(100);
    EXPECT_EQ(record.rfind("ZANDOR_LAUNCHER=1\n", 0), 0u) << record;
    EXPECT_EQ(contents(place("d3d8.dll")), release.files[0].bytes);
    EXPECT_TRUE(launcher.update_ok);
}
