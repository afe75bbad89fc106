// The window's geometry read back from the real window at the dpi of the run (96, or 144 in the run
// script's private prefix): client sizes, the "Play now" button, the first position, the progress fill.
#include "ui_test_support.h"

#include "core/launcher_state.h"
#include "ui/pages.h"
#include "ui/window_state.h"
#include "updates/update_worker.h"

namespace {

struct Expected {
    int dpi;
    int server, login, terms, folder, main;  // client heights
    int width;
    RECT play_now;
    int quarter_fill_right, full_fill_right;  // right edges of the progress fill
    RECT track;
};

// Scaled by hand from the base values, so that a wrong scaling shows.
const Expected EXPECTED[] = {
    {96, 492, 452, 400, 374, 370, 600, {406, 290, 576, 328}, 172, 555, {44, 242, 556, 258}},
    {144, 738, 678, 600, 561, 555, 900, {609, 435, 864, 492}, 258, 833, {66, 363, 834, 387}},
};

const Expected& expected() {
    for (const Expected& e : EXPECTED) {
        if (e.dpi == expected_dpi()) return e;
    }
    return EXPECTED[0];
}

bool is_accent(COLORREF c) {
    return GetRValue(c) >= 235 && GetBValue(c) < 130;
}
bool is_track(COLORREF c) {
    return GetRValue(c) >= 175 && GetRValue(c) <= 205 && abs((int)GetRValue(c) - (int)GetBValue(c)) <= 14;
}

}  // namespace

struct Geometry : WindowTest {};

TEST_F(Geometry, TheWindowReadsTheScreenDpi) {
    EXPECT_EQ(window_ui.dpi, expected().dpi);
}

TEST_F(Geometry, EveryPageHasItsClientSizeAndTheTopLeftCornerStays) {
    const Expected& e = expected();
    RECT first;
    GetWindowRect(main_window(), &first);
    struct {
        int page, height;
    } pages[] = {{PAGE_SERVER, e.server}, {PAGE_LOGIN, e.login},   {PAGE_TERMS, e.terms},
                 {PAGE_FOLDER, e.folder}, {PAGE_MAIN, e.main},     {7, e.main}};
    for (auto p : pages) {
        show_page(p.page);
        RECT client = client_rect();
        EXPECT_EQ(client.right, e.width) << "page " << p.page;
        EXPECT_EQ(client.bottom, p.height) << "page " << p.page;
        RECT outer;
        GetWindowRect(main_window(), &outer);
        EXPECT_EQ(outer.left, first.left) << "page " << p.page;
        EXPECT_EQ(outer.top, first.top) << "page " << p.page;
    }
}

TEST_F(Geometry, PlayNowSitsWhereTheLayoutPutsIt) {
    RECT rect = control_rect(ID_PLAY_NOW);
    RECT want = expected().play_now;
    EXPECT_EQ(rect.left, want.left);
    EXPECT_EQ(rect.top, want.top);
    EXPECT_EQ(rect.right - rect.left, want.right - want.left);
    EXPECT_EQ(rect.bottom - rect.top, want.bottom - want.top);
}

TEST_F(Geometry, TheWindowIsFirstPlacedForTheTallestPage) {
    // The first position, as create_main_window placed it on this screen, does not change later.
    RECT outer;
    GetWindowRect(main_window(), &outer);
    int screen_width = GetSystemMetrics(SM_CXSCREEN), screen_height = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_EQ(screen_height, 1024) << "the run script's screen";
    int tallest = expected().server;
    EXPECT_EQ(outer.top, (1024 - tallest) / 2 - 40);  // 226 at 96 dpi, 103 at 144 dpi
    EXPECT_EQ(outer.left, (screen_width - (outer.right - outer.left)) / 2);
    show_page(PAGE_SERVER);
    RECT grown;
    GetWindowRect(main_window(), &grown);
    EXPECT_LE(grown.bottom, screen_height);
    EXPECT_EQ(grown.top, outer.top);
}

TEST_F(Geometry, TheProgressFillFollowsTheBytesAndIsFullWhenDone) {
    const Expected& e = expected();
    launcher.update_checked = true;
    update_started = true;
    update_progress.phase = PHASE_DOWNLOADING;
    update_progress.total_bytes = 400;
    update_progress.done_bytes = 100;
    int y = (e.track.top + e.track.bottom) / 2;

    Shot quarter = take_shot();
    EXPECT_TRUE(is_accent(quarter.at(e.track.left + 1, y))) << colour_text(quarter.at(e.track.left + 1, y));
    EXPECT_TRUE(is_accent(quarter.at(e.quarter_fill_right - 1, y)))
        << colour_text(quarter.at(e.quarter_fill_right - 1, y));
    EXPECT_TRUE(is_track(quarter.at(e.quarter_fill_right, y))) << colour_text(quarter.at(e.quarter_fill_right, y));
    // The fill's top and bottom rows stay inside the 1-pixel frame.
    EXPECT_TRUE(near_colour(quarter.at(e.track.left + 20, e.track.top), RGB(74, 70, 64), 2));
    EXPECT_TRUE(is_accent(quarter.at(e.track.left + 20, e.track.top + 1)));

    // Done says full, whatever the counts; a done count above the total is full too.
    for (int round = 0; round < 2; round++) {
        if (round == 0) {
            update_done = 1;
        } else {
            update_done = 0;
            update_progress.done_bytes = 999;
        }
        Shot full = take_shot();
        EXPECT_TRUE(is_accent(full.at(e.full_fill_right - 1, y))) << round << colour_text(full.at(e.full_fill_right - 1, y));
        EXPECT_TRUE(near_colour(full.at(e.full_fill_right, y), RGB(74, 70, 64), 2))
            << round << " the frame stays: " << colour_text(full.at(e.full_fill_right, y));
    }

    // Without a total and not done: the track only.
    update_progress.total_bytes = 0;
    Shot empty = take_shot();
    EXPECT_TRUE(is_track(empty.at(e.track.left + 1, y))) << colour_text(empty.at(e.track.left + 1, y));

    // No bar before an update check started.
    launcher.update_checked = false;
    Shot none = take_shot();
    EXPECT_FALSE(is_track(none.at(e.track.left + 1, y)));
}
