// Helpers of the window tests: one real window in this process, a game folder for it, a clean state
// before each test, pumping messages, and reading pixels and geometry back from the screen.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

// The dpi the window is expected to read (the run script sets ZANDOR_TEST_DPI for its 144 run).
int expected_dpi();

// A copy of the client area as it shows on the screen.
struct Shot {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[(size_t)y * width + x]; }
};

// Runs the window's messages (as the launcher's loop does) for about ms milliseconds.
void pump_messages(unsigned ms);
// Runs the window's messages until a busy action (saving the server choice, log-out...) has ended,
// at most about ms milliseconds.
void pump_until_not_busy(unsigned ms = 30000);
// Paints the window now and copies its client area from the screen.
Shot take_shot();
// Saves the window (frame and all) as a BMP file.
bool save_window_bmp(const std::string& path);
// A control's rect in the main window's client coordinates.
RECT control_rect(int id);
RECT client_rect();

// Each test starts with the window open on the main page, its status timer stopped (tests tick by
// hand), no run started and the countdown state cleared.
struct WindowTest : testing::Test {
    static std::string game_folder;
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;
};

// Colour checks with a little room for gradient steps.
bool near_colour(COLORREF actual, COLORREF expected, int tolerance = 6);
std::string colour_text(COLORREF colour);
