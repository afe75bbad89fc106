// The window's slower actions (log-out, "Not you?", the uninstall) against servers that stall: the
// window keeps answering throughout, shows that it is busy, and nothing counts down meanwhile. The
// uninstall from the window holds the countdown from its question to its summary, and ends the
// launcher without the game.
#include <winsock2.h>  // before the windows.h of the window test support

#include "ui_test_support.h"

#include <stdio.h>

#include <functional>
#include <string>
#include <vector>

#include "account/account_address.h"
#include "account/account_files.h"
#include "account/login_flow.h"
#include "account/login_state.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/message_box.h"
#include "core/text.h"
#include "support/stalling_server.h"
#include "support/test_support.h"
#include "support/window_probe.h"
#include "ui/busy_action.h"
#include "ui/links.h"
#include "ui/pages.h"
#include "ui/paint_pages.h"
#include "ui/window.h"
#include "ui/window_state.h"
#include "uninstall/uninstall.h"
#include "updates/update_paths.h"
#include "updates/update_worker.h"

namespace {

// How long the stalling server holds each connection: long enough that a wait on the window thread
// shows many times over in the probe.
const unsigned long STALL_MS = 4000;

std::vector<std::string> boxes;
std::function<int(const char*)> box_answer;

int answer_box(void*, const char* text, unsigned) {
    boxes.push_back(text);
    return box_answer ? box_answer(text) : IDOK;
}

bool starts_with(const std::string& text, const char* start) {
    return text.rfind(start, 0) == 0;
}

}  // namespace

struct BusyWindow : WindowTest {
    std::string root, game;
    SavedLogin saved_current = {};

    void SetUp() override {
        WindowTest::SetUp();
        if (HasFatalFailure()) return;
        root = make_temp_folder("busy");
        game = root + "\\game";
        CreateDirectoryA(game.c_str(), nullptr);
        ASSERT_TRUE(CopyFileA(test_tool("stub_game").c_str(), (game + "\\pes6.exe").c_str(), FALSE));
        write_file(game + "\\zandor.ini", "[online]\r\nserver=127.0.0.1\r\n");
        write_file(root + "\\ZANDOR Launcher.exe", "the launcher file");
        update_paths_init(&launcher.update_paths, game.c_str());
        copy_text(launcher.launcher_dir, PATH_CAP, root.c_str());
        copy_text(launcher.launcher_exe, PATH_CAP, (root + "\\ZANDOR Launcher.exe").c_str());
        copy_text(launcher.update_paths.launcher_path, PATH_CAP, launcher.launcher_exe);
        copy_text(launcher.settings_path, PATH_CAP, (game + "\\zandor.ini").c_str());
        copy_text(launcher.account_host, sizeof launcher.account_host, "127.0.0.1");
        copy_text(launcher.update_host, sizeof launcher.update_host, "127.0.0.1");
        copy_text(launcher.update_channel, sizeof launcher.update_channel, "client");
        launcher.server_choice = SERVER_ZANDOR;
        log_open((root + "\\test.log").c_str());

        memset(&current_login, 0, sizeof current_login);
        copy_text(current_login.token, sizeof current_login.token, "pgt1.busy-window");
        copy_text(current_login.display_name, sizeof current_login.display_name, "Ana");
        account_logged_in = true;
        login_flow_attach();
        uninstall_attach();
        window_hooks.link_action = run_link_action;
        boxes.clear();
        box_answer = nullptr;
        set_message_box_answer(answer_box);
    }
    void TearDown() override {
        wait_for_update_worker(UPDATE_WORKER_WAIT_MS);
        set_account_server_port(ACCOUNT_PORT);
        set_update_port(20292);
        memset(&current_login, 0, sizeof current_login);
        account_logged_in = false;
        log_close();
        remove_account_files();
        Sleep(200);  // let a started stub game end before its folder goes
        remove_tree(root);
        WindowTest::TearDown();
    }
    // The status timer as the launcher runs it, with the run over and its outcome due.
    void run_countdown() {
        update_started = true;
        update_done = 1;
        SetTimer(main_window(), TIMER_STATUS, TIMER_STATUS_MS, nullptr);
        pump_messages(400);
    }
    bool game_started() { return file_exists(game + "\\started.txt"); }
};

// Each action while an update run waits on a stalling server (and the account server stalls too):
// every WM_NULL is answered within 200 ms, the window says what it waits for, and the action ends
// as it always did.
TEST_F(BusyWindow, TheWindowAnswersThroughoutLogOutNotYouAndTheUninstall) {
    StallingServer server;
    ASSERT_TRUE(start_stalling_server(&server, STALL_MS));
    set_account_server_port(server.port);
    set_update_port(server.port);
    box_answer = [](const char* text) { return starts_with(text, "This removes everything") ? IDYES : IDOK; };

    struct Action {
        const char* name;
        const char* busy_status;  // on the status line while it waits
        std::function<void()> start;
        std::function<bool()> ended;
    };
    std::vector<Action> actions = {
        {"log out", "Logging out: waiting for the update to stop...",
         [] { SendMessageA(main_window(), WM_COMMAND, ID_LOGOUT, 0); },
         [] { return !window_busy() && window_ui.page == PAGE_LOGIN; }},
        {"Not you?", "Logging out: waiting for the update to stop and for the ZANDOR server...",
         [] {
             login_view.not_you_offered = true;
             run_link_action(LINK_NOT_YOU);
         },
         [] { return !window_busy() && window_ui.page == PAGE_LOGIN; }},
        {"uninstall", "Uninstalling ZANDOR: waiting for the update and the ZANDOR server...",
         [] { run_link_action(LINK_UNINSTALL); }, [] { return main_window() == nullptr; }},
    };
    for (const Action& action : actions) {
        SCOPED_TRACE(action.name);
        copy_text(current_login.token, sizeof current_login.token, "pgt1.busy-window");
        account_logged_in = true;
        update_started = false;
        show_page(PAGE_MAIN);
        start_update_run();
        ASSERT_TRUE(update_worker_started());
        pump_messages(1500);  // the worker is held by the stalling server

        WindowProbe probe;
        start_probe(&probe, main_window());
        action.start();
        EXPECT_TRUE(window_busy());
        EXPECT_FALSE(IsWindowEnabled(control_window(ID_PLAY_NOW)));
        EXPECT_FALSE(IsWindowEnabled(control_window(ID_LOGOUT)));
        EXPECT_STREQ(window_ui.status_text, action.busy_status);
        DWORD start = GetTickCount();
        while (!action.ended() && GetTickCount() - start < 90000) pump_messages(50);
        DWORD took = GetTickCount() - start;
        stop_probe(&probe);
        EXPECT_TRUE(action.ended());
        EXPECT_EQ(probe.unanswered, 0) << probe.sent << " sent";
        EXPECT_GT(probe.sent, 0);
        printf("[ figures  ] %s: %lu ms, %d WM_NULL sent, %d unanswered, longest wait %lu ms, longest silence %lu ms\n",
               action.name, took, probe.sent, probe.unanswered, probe.longest_ms, probe.longest_silence_ms);
        EXPECT_FALSE(game_started());
    }
    EXPECT_FALSE(file_exists(game + "\\zandor.ini"));  // the uninstall ran to its end
    ASSERT_FALSE(boxes.empty());
    EXPECT_TRUE(starts_with(boxes.back(), "ZANDOR is uninstalled: ")) << boxes.back();
    stop_stalling_server(&server);
}

// Declined: the question held the countdown (a box's own loop runs the window's timer), the window
// goes on as before and the countdown then runs out and starts the game.
TEST_F(BusyWindow, TheUninstallQuestionHoldsTheCountdownAndNoGoesOnAsBefore) {
    run_countdown();
    ASSERT_NE(std::string(window_ui.status_text).find("Starting the game in 3 s..."), std::string::npos)
        << window_ui.status_text;
    std::string before = window_ui.status_text;
    bool window_during_box = false;
    box_answer = [&](const char*) {
        pump_messages(4500);  // the player reads; the box runs the window's messages meanwhile
        window_during_box = main_window() != nullptr && !game_started();
        return IDNO;
    };
    run_link_action(LINK_UNINSTALL);
    EXPECT_TRUE(window_during_box);
    ASSERT_NE(main_window(), nullptr);
    EXPECT_FALSE(window_busy());
    EXPECT_TRUE(IsWindowEnabled(control_window(ID_PLAY_NOW)));
    EXPECT_TRUE(launcher.play_game);
    EXPECT_FALSE(launcher.start_step_taken);
    EXPECT_TRUE(file_exists(game + "\\zandor.ini"));
    pump_messages(300);
    // The countdown goes on where it was held, not from its start and not past its end.
    EXPECT_EQ(std::string(window_ui.status_text), before);
    for (int i = 0; i < 200 && main_window(); i++) pump_messages(50);
    EXPECT_EQ(main_window(), nullptr) << "the countdown ran out";
    for (int i = 0; i < 100 && !game_started(); i++) Sleep(100);
    EXPECT_TRUE(game_started());
}

// Yes: the question and the summary each stay open as long as the player reads them; the window
// stays behind the summary, and the launcher ends without the game.
TEST_F(BusyWindow, AfterYesTheSummaryStaysAndNoGameStarts) {
    run_countdown();
    std::vector<bool> window_during_box;
    box_answer = [&](const char* text) {
        pump_messages(4500);
        window_during_box.push_back(main_window() != nullptr && !game_started());
        return starts_with(text, "This removes everything") ? IDYES : IDOK;
    };
    run_link_action(LINK_UNINSTALL);
    for (int i = 0; i < 600 && main_window(); i++) pump_messages(50);
    EXPECT_EQ(main_window(), nullptr);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(starts_with(boxes[1], "ZANDOR is uninstalled: ")) << boxes[1];
    EXPECT_EQ(window_during_box, (std::vector<bool>{true, true}));
    EXPECT_FALSE(launcher.play_game);
    EXPECT_TRUE(launcher.start_step_taken);
    Sleep(1500);
    EXPECT_FALSE(game_started());
    EXPECT_FALSE(file_exists(game + "\\zandor.ini"));
}

// While busy, the buttons and the commands are out of reach and a close waits for the end; then the
// buttons get the state they should have and the close is done.
TEST_F(BusyWindow, WhileBusyNothingStartsAndACloseWaitsForTheEnd) {
    enable_action_button(ID_CHANGE_SERVER, false);
    begin_busy(nullptr);
    EXPECT_FALSE(IsWindowEnabled(control_window(ID_PLAY_NOW)));
    enable_action_button(ID_CHANGE_SERVER, true);  // a change meanwhile takes effect at the end
    EXPECT_FALSE(IsWindowEnabled(control_window(ID_CHANGE_SERVER)));
    SendMessageA(main_window(), WM_COMMAND, ID_PLAY_NOW, 0);
    EXPECT_FALSE(window_ui.play_now_pressed);
    SendMessageA(main_window(), WM_CLOSE, 0, 0);
    pump_messages(100);
    ASSERT_NE(main_window(), nullptr);
    EXPECT_TRUE(launcher.play_game);
    end_busy();
    EXPECT_TRUE(IsWindowEnabled(control_window(ID_PLAY_NOW)));
    EXPECT_TRUE(IsWindowEnabled(control_window(ID_CHANGE_SERVER)));
    pump_messages(100);
    EXPECT_EQ(main_window(), nullptr);
    EXPECT_FALSE(launcher.play_game);
}

// The countdown's ticks after a hold: one taken before the hold moves on by the hold's length, one
// taken during it (a page shown meanwhile) counts from now; GetTickCount's wrap changes nothing.
TEST(CountdownHold, TicksMoveOnByTheHold) {
    struct Case {
        DWORD tick, held_since, now, expected;
    };
    for (const Case& c : std::vector<Case>{
             {1000, 5000, 9000, 5000},                   // 4 s before the hold of 4 s
             {5000, 5000, 9000, 9000},                   // at its start
             {7000, 5000, 9000, 9000},                   // during it
             {0xFFFFFA00u, 0xFFFFFC00u, 0x400u, 0x200u},  // across the wrap
             {0xFFFFFE00u, 0xFFFFFC00u, 0x400u, 0x400u},
         }) {
        EXPECT_EQ(tick_after_hold(c.tick, c.held_since, c.now), c.expected) << c.tick << " " << c.held_since;
    }
}
