// The status line and the countdown, ticked by hand with a fake update run (the flags and records set
// directly): the download text, the countdown lengths, "Play now", --no-game, the server-page visit,
// and the start step at the end with a stub game.
#include "ui_test_support.h"

#include <string>

#include "core/launcher_state.h"
#include "core/text.h"
#include "support/test_support.h"
#include "ui/pages.h"
#include "ui/paint_tools.h"
#include "ui/status.h"
#include "ui/window_state.h"
#include "updates/update_worker.h"

namespace {

const unsigned long long MIB = 1ull << 20;

std::string outcome() {
    char text[600];
    update_outcome_text(text, sizeof text);
    return text;
}

std::string countdown_text(int seconds) {
    return outcome() + "\nStarting the game in " + std::to_string(seconds) + " s...";
}

bool game_started() {
    return file_exists(WindowTest::game_folder + "\\started.txt");
}

bool wait_for_game() {
    for (int i = 0; i < 300 && !game_started(); i++) Sleep(100);
    return game_started();
}

}  // namespace

struct Status : WindowTest {
    void SetUp() override {
        WindowTest::SetUp();
        DeleteFileA((game_folder + "\\started.txt").c_str());
        update_started = true;
    }
    void TearDown() override {
        if (game_started()) Sleep(200);  // let the stub game end
        DeleteFileA((game_folder + "\\pes6.exe").c_str());
        WindowTest::TearDown();
    }
    // The run finished and the outcome was first seen ms_ago; the main page showed no later.
    void finished_ago(DWORD ms_ago) {
        update_done = 1;
        if (window_ui.outcome_tick == 0) status_tick();
        window_ui.outcome_tick = GetTickCount() - ms_ago;
        window_ui.main_page_tick = window_ui.outcome_tick - 1;
    }
    void install_stub_game() {
        ASSERT_TRUE(CopyFileA(test_tool("stub_game").c_str(), (game_folder + "\\pes6.exe").c_str(), FALSE));
    }
};

TEST(DownloadText, FiguresAreClampedAndAStartedMegabyteCounts) {
    struct {
        unsigned long long done, total;
        const char* text;
    } cases[] = {
        {MIB + MIB / 2, 10 * MIB, "Updating ZANDOR: 15 % (1 of 10 MB)"},
        {0, 10 * MIB + 1, "Updating ZANDOR: 0 % (0 of 11 MB)"},
        {20 * MIB, 10 * MIB, "Updating ZANDOR: 100 % (10 of 10 MB)"},
        {1, 1, "Updating ZANDOR: 100 % (0 of 1 MB)"},
        {5ull << 32, 10ull << 32, "Updating ZANDOR: 50 % (20480 of 40960 MB)"},
    };
    for (auto c : cases) {
        char text[200];
        format_download_text(c.done, c.total, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
}

TEST(CountdownLength, ByWhatThePlayerDid) {
    struct {
        bool play_game, play_now, not_you;
        DWORD since_outcome, length;
    } cases[] = {
        {true, false, false, 0, 3000},   {true, false, true, 0, 10000}, {false, false, false, 0, 1200},
        {false, false, true, 5000, 1200}, {true, true, false, 299, 1200}, {true, true, false, 300, 0},
        {false, true, true, 300, 0},
    };
    for (auto c : cases) {
        EXPECT_EQ(countdown_length(c.play_game, c.play_now, c.not_you, c.since_outcome), c.length)
            << c.play_game << c.play_now << c.not_you << " " << c.since_outcome;
    }
}

TEST_F(Status, NothingHappensBeforeTheRunStartsOrAwayFromTheMainPage) {
    set_status_text("Logging in as Alex...");
    update_started = false;
    update_done = 1;
    status_tick();
    EXPECT_STREQ(window_ui.status_text, "Logging in as Alex...");
    update_started = true;
    show_page(PAGE_SERVER);
    status_tick();
    EXPECT_STREQ(window_ui.status_text, "Logging in as Alex...");
    EXPECT_EQ(window_ui.outcome_tick, 0u);
}

TEST_F(Status, WhileTheRunWorksTheTextFollowsThePhaseAndTheBytes) {
    struct {
        long phase;
        unsigned long long done, total;
        const char* text;
    } cases[] = {
        {PHASE_EXAMINING, 5, 10, "Checking for updates..."},
        {PHASE_DOWNLOADING, 0, 0, "Checking for updates..."},
        {PHASE_DOWNLOADING, MIB + MIB / 2, 10 * MIB, "Updating ZANDOR: 15 % (1 of 10 MB)"},
        {PHASE_FINISHED, 10 * MIB, 10 * MIB, "Checking for updates..."},
    };
    for (auto c : cases) {
        update_progress.phase = c.phase;
        update_progress.done_bytes = c.done;
        update_progress.total_bytes = c.total;
        status_tick();
        EXPECT_STREQ(window_ui.status_text, c.text);
    }
}

TEST_F(Status, TheBarIsRepaintedEvenWhenTheTextStaysTheSame) {
    update_progress.phase = PHASE_DOWNLOADING;
    update_progress.total_bytes = 100 * MIB;
    update_progress.done_bytes = 10 * MIB;
    status_tick();
    ValidateRect(main_window(), nullptr);
    update_progress.done_bytes = 10 * MIB + 1000;  // the same text
    status_tick();
    RECT dirty;
    ASSERT_TRUE(GetUpdateRect(main_window(), &dirty, FALSE));
    RECT bar = scaled_rect(44, 242, 556, 258);
    EXPECT_TRUE(EqualRect(&dirty, &bar));
}

TEST_F(Status, AnUnchangedTextInvalidatesNothing) {
    ValidateRect(main_window(), nullptr);
    set_status_text("ZANDOR is up to date");
    RECT dirty;
    ASSERT_TRUE(GetUpdateRect(main_window(), &dirty, FALSE));
    RECT card = scaled_rect(24, 92, 576, 276);
    EXPECT_TRUE(EqualRect(&dirty, &card));
    ValidateRect(main_window(), nullptr);
    set_status_text("ZANDOR is up to date");
    EXPECT_FALSE(GetUpdateRect(main_window(), &dirty, FALSE));
}

TEST_F(Status, ThreeSecondsCountDownThenTheGameStarts) {
    install_stub_game();
    update_done = 1;
    status_tick();
    EXPECT_NE(window_ui.outcome_tick, 0u);
    EXPECT_EQ(window_ui.status_text, countdown_text(3));
    struct {
        DWORD elapsed;
        int seconds;
    } steps[] = {{0, 3}, {900, 3}, {1100, 2}, {1900, 2}, {2100, 1}, {2900, 1}};
    for (auto step : steps) {
        finished_ago(step.elapsed);
        status_tick();
        EXPECT_EQ(window_ui.status_text, countdown_text(step.seconds)) << step.elapsed;
    }
    EXPECT_FALSE(game_started());
    ASSERT_NE(main_window(), nullptr);

    finished_ago(3000);
    status_tick();
    EXPECT_TRUE(launcher.start_step_taken);
    EXPECT_EQ(main_window(), nullptr) << "the start step ends the window";
    EXPECT_TRUE(wait_for_game());
    EXPECT_STREQ(window_ui.status_text, "Starting the game...");
}

TEST_F(Status, AnAutomaticLogInCountsDownTenSeconds) {
    login_view.not_you_offered = true;
    finished_ago(0);
    status_tick();
    EXPECT_EQ(window_ui.status_text, countdown_text(10));
    finished_ago(9100);
    status_tick();
    EXPECT_EQ(window_ui.status_text, countdown_text(1));
    EXPECT_NE(main_window(), nullptr);
}

TEST_F(Status, WithoutTheGameTheOutcomeShowsForOnePointTwoSeconds) {
    install_stub_game();
    launcher.play_game = false;
    finished_ago(0);
    status_tick();
    EXPECT_EQ(window_ui.status_text, outcome());
    finished_ago(1100);
    status_tick();
    EXPECT_NE(main_window(), nullptr);
    finished_ago(1250);
    status_tick();
    EXPECT_EQ(main_window(), nullptr);
    Sleep(300);
    EXPECT_FALSE(game_started());
}

TEST_F(Status, PlayNowStopsTheRunAndStartsTheGameSoonAfterTheOutcome) {
    install_stub_game();
    update_progress.phase = PHASE_DOWNLOADING;
    update_progress.total_bytes = 10 * MIB;
    status_tick();
    SendMessageA(main_window(), WM_COMMAND, ID_PLAY_NOW, 0);
    EXPECT_EQ(update_progress.stop, 1);
    EXPECT_TRUE(window_ui.play_now_pressed);
    EXPECT_FALSE(IsWindowEnabled(control_window(ID_PLAY_NOW)));
    EXPECT_FALSE(IsWindowEnabled(control_window(ID_CHANGE_SERVER)));

    update_done = 1;
    status_tick();
    EXPECT_EQ(window_ui.status_text, outcome()) << "no countdown line after Play now";
    EXPECT_NE(main_window(), nullptr) << "not before 300 ms";
    window_ui.outcome_tick = GetTickCount() - 300;
    status_tick();
    EXPECT_EQ(main_window(), nullptr);
    EXPECT_TRUE(wait_for_game());
}

TEST_F(Status, TheCountdownStartsAgainAfterAVisitToTheServerPage) {
    finished_ago(2500);
    status_tick();
    EXPECT_EQ(window_ui.status_text, countdown_text(1));
    SendMessageA(main_window(), WM_COMMAND, ID_CHANGE_SERVER, 0);
    ASSERT_EQ(window_ui.page, PAGE_SERVER);
    window_ui.outcome_tick = GetTickCount() - 60000;
    status_tick();  // nothing moves while the server page shows
    EXPECT_NE(main_window(), nullptr);
    show_page(PAGE_MAIN);
    status_tick();
    EXPECT_EQ(window_ui.status_text, countdown_text(3));
}

TEST_F(Status, ANewRunIsFollowedFromItsStart) {
    finished_ago(1000);
    status_tick();
    update_done = 0;  // log-out and a new log-in started another run
    status_tick();
    EXPECT_STREQ(window_ui.status_text, "Checking for updates...");
    EXPECT_EQ(window_ui.outcome_tick, 0u);
}
