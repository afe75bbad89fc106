// Painting, sampled from the screen: the header band, the accent strip, card frames, primary, focused
// and disabled button faces, the log-in status colour; the background's texture and its cache; the
// texts of the server line and the players line.
#include "ui_test_support.h"

#include <string>
#include <vector>

#include "core/launcher_state.h"
#include "core/text.h"
#include "support/test_support.h"
#include "ui/background.h"
#include "ui/pages.h"
#include "ui/paint_pages.h"
#include "ui/paint_tools.h"
#include "ui/server_cards.h"
#include "ui/window_state.h"

namespace {

// A background built off screen, as 32-bit pixels.
std::vector<unsigned> background_pixels(int width, int height) {
    SIZE size = {width, height};
    return draw_off_screen(
        width, height,
        [](void* dc, const void* context) {
            const SIZE* size = (const SIZE*)context;
            build_background((HDC)dc, size->cx, size->cy);
        },
        &size);
}

// Whether any pixel in the rect is close to the colour.
bool shows_colour(const Shot& shot, RECT rect, COLORREF colour, int tolerance) {
    for (int y = rect.top; y < rect.bottom; y++) {
        for (int x = rect.left; x < rect.right; x++) {
            if (near_colour(shot.at(x, y), colour, tolerance)) return true;
        }
    }
    return false;
}

}  // namespace

struct Paint : WindowTest {};

TEST_F(Paint, HeaderBandScanLinesAndAccentStrip) {
    Shot shot = take_shot();
    int h = scale(76), x = scale(300);
    EXPECT_EQ(shot.at(x, 0), RGB(27, 27, 29)) << "the first scan line: " << colour_text(shot.at(x, 0));
    EXPECT_TRUE(near_colour(shot.at(x, 1), RGB(60, 60, 62), 4)) << colour_text(shot.at(x, 1));
    int low = h - scale(4) - 2;
    if (low % 3 == 0) low--;
    EXPECT_TRUE(near_colour(shot.at(x, low), RGB(22, 22, 24), 6)) << colour_text(shot.at(x, low));
    EXPECT_TRUE(near_colour(shot.at(x, h - scale(4)), RGB(255, 236, 122), 12)) << colour_text(shot.at(x, h - scale(4)));
    // The strip's last row is (n - 1) / n of the way from its top colour to its bottom colour.
    int n = scale(4);
    COLORREF last = RGB(255 - 15 * (n - 1) / n, 236 - 60 * (n - 1) / n, 122 - 98 * (n - 1) / n);
    EXPECT_TRUE(near_colour(shot.at(x, h - 1), last, 6)) << colour_text(shot.at(x, h - 1));
    // Just below the header the body starts in its warm top colour, give or take a streak.
    int warm = 0;
    for (int i = 0; i < shot.width; i++) warm += near_colour(shot.at(i, h), RGB(242, 204, 146), 16);
    EXPECT_GT(warm, shot.width / 2) << colour_text(shot.at(2, h));
}

TEST_F(Paint, CardFramesOnTheMainAndServerPages) {
    Shot main = take_shot();
    EXPECT_EQ(main.at(scale(24), scale(180)), RGB(74, 70, 64)) << "the main card's plain border";
    EXPECT_TRUE(near_colour(main.at(scale(300), scale(94)), RGB(255, 255, 255), 3)) << "its gloss";

    show_page(PAGE_SERVER);
    Shot server = take_shot();
    int left = scale(24), y = scale(232);
    EXPECT_EQ(server.at(left, y), RGB(122, 78, 0)) << "outer frame";
    EXPECT_EQ(server.at(left + scale(3) - 1, y), RGB(122, 78, 0));
    EXPECT_EQ(server.at(left + scale(3), y), RGB(240, 176, 24)) << "inner frame";
    EXPECT_EQ(server.at(left + scale(5) - 1, y), RGB(240, 176, 24));
    // The card has the focus, so its face is highlighted; the badge is dark.
    EXPECT_GT(GetRValue(server.at(scale(300), scale(320))), 230);
    EXPECT_LT(GetBValue(server.at(scale(300), scale(320))), 80);
    EXPECT_TRUE(near_colour(server.at(scale(576 - 150 + 4), scale(132 + 38)), RGB(16, 16, 18), 10));
}

TEST_F(Paint, PrimaryFocusedPlainAndDisabledButtonFaces) {
    Shot shot = take_shot();
    RECT play = control_rect(ID_PLAY_NOW), change = control_rect(ID_CHANGE_SERVER);
    // "Play now" is primary and has the focus: accent face inside a highlight-border frame.
    COLORREF play_face = shot.at(play.left + scale(6), play.bottom - scale(6));
    EXPECT_GT(GetRValue(play_face), 235) << colour_text(play_face);
    EXPECT_LT(GetBValue(play_face), 90) << colour_text(play_face);
    EXPECT_EQ(shot.at(play.left + 1, (play.top + play.bottom) / 2), RGB(122, 78, 0)) << "focus frame";
    // "Change server" is plain.
    COLORREF change_face = shot.at(change.left + scale(6), change.bottom - scale(6));
    EXPECT_TRUE(near_colour(change_face, RGB(220, 220, 223), 8)) << colour_text(change_face);
    EXPECT_EQ(shot.at(change.left, (change.top + change.bottom) / 2), RGB(74, 70, 64));

    SendMessageA(main_window(), WM_COMMAND, ID_PLAY_NOW, 0);  // disables it
    Shot after = take_shot();
    COLORREF disabled_face = after.at(play.left + scale(6), play.bottom - scale(6));
    EXPECT_TRUE(near_colour(disabled_face, RGB(220, 220, 223), 8)) << colour_text(disabled_face);
    RECT caption = {play.left + scale(8), play.top + scale(6), play.right - scale(8), play.bottom - scale(6)};
    EXPECT_TRUE(shows_colour(after, caption, RGB(140, 136, 128), 10)) << "caption in the disabled colour";
    EXPECT_FALSE(shows_colour(after, caption, RGB(30, 28, 26), 10));
}

TEST_F(Paint, TheLogInStatusTurnsToTheErrorColour) {
    show_page(PAGE_LOGIN);
    RECT status = scaled_rect(44, 254, 556, 310);
    set_login_status("That did not work. Please try again.", false);
    Shot muted = take_shot();
    EXPECT_TRUE(shows_colour(muted, status, RGB(78, 68, 56), 12));
    EXPECT_FALSE(shows_colour(muted, status, RGB(168, 30, 14), 30));
    set_login_status("That did not work. Please try again.", true);
    Shot error = take_shot();
    EXPECT_TRUE(shows_colour(error, status, RGB(168, 30, 14), 12));
    EXPECT_STREQ(window_ui.login_status, "That did not work. Please try again.");
}

TEST_F(Paint, TheTextureIsFixedAndDependsOnTheHeight) {
    int width = scale(600), h = scale(76);
    std::vector<unsigned> first = background_pixels(width, scale(370));
    std::vector<unsigned> again = background_pixels(width, scale(370));
    EXPECT_TRUE(first == again);
    std::vector<unsigned> taller = background_pixels(width, scale(492));
    EXPECT_TRUE(std::equal(first.begin(), first.begin() + (size_t)width * h, taller.begin())) << "the same header";
    size_t differing = 0;
    for (size_t i = (size_t)width * h; i < first.size(); i++) differing += first[i] != taller[i];
    EXPECT_GT(differing, first.size() / 4);

    // Streaks: within one textured row the colour is not the plain gradient everywhere.
    size_t streaky_rows = 0;
    for (int y = h; y < scale(370); y++) {
        unsigned base = first[(size_t)y * width + width - 1];
        for (int x = 0; x < width; x++) {
            if (first[(size_t)y * width + x] != base) {
                streaky_rows++;
                break;
            }
        }
    }
    EXPECT_GT(streaky_rows, (size_t)(scale(370) - h) / 5);
}

TEST_F(Paint, TheBackgroundIsRebuiltOnlyForANewHeight) {
    take_shot();  // the main page's background exists
    int builds = window_ui.background_builds;
    show_page(PAGE_SERVER);
    take_shot();
    show_page(PAGE_MAIN);
    take_shot();
    EXPECT_EQ(window_ui.background_builds, builds + 2);
    show_page(PAGE_MAIN);
    take_shot();
    show_page(7);  // any other page has the main page's height
    take_shot();
    EXPECT_EQ(window_ui.background_builds, builds + 2);
}

TEST_F(Paint, ServerLineByChoice) {
    std::string long_server(127, 'x');
    struct {
        int choice;
        std::string text;
    } cases[] = {
        {0, "Server: not chosen yet"},
        {1, "Server: ZANDOR server"},
        {2, "Server: your current default server"},
        {3, "Server: " + long_server + " (set manually in zandor.ini)"},
        {9, "Server: not chosen yet"},
    };
    copy_text(launcher.custom_server, sizeof launcher.custom_server, long_server.c_str());
    for (auto c : cases) {
        launcher.server_choice = c.choice;
        update_server_line();
        EXPECT_EQ(window_ui.server_line, c.text);
    }
}

TEST(PlayersLine, CountsAndNone) {
    struct {
        long count;
        bool shown;
        const char* text;
    } cases[] = {{-1, false, ""}, {0, true, "0 players online now"}, {1, true, "1 player online now"},
                 {57, true, "57 players online now"}};
    for (auto c : cases) {
        char text[120];
        EXPECT_EQ(players_line(c.count, text, sizeof text), c.shown);
        EXPECT_STREQ(text, c.text);
    }
}
