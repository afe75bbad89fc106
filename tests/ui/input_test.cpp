// The keyboard through the dialog manager (keys posted to the focused control and run through the
// launcher's loop), the hand cursor over links, link clicks, the page commands and the close box.
#include "ui_test_support.h"

#include <string>
#include <vector>

#include "core/launcher_state.h"
#include "support/test_support.h"
#include "ui/keyboard_focus.h"
#include "ui/pages.h"
#include "ui/window_state.h"
#include "updates/update_worker.h"

namespace {

std::vector<std::string> calls;
std::vector<int> links_clicked;

void login_button() { calls.push_back("login"); }
void use_folder() { calls.push_back("use folder"); }
void browse_folder() { calls.push_back("browse"); }
void log_out() { calls.push_back("log out"); }
void accept_terms() { calls.push_back("accept terms"); }
void link_action(int action) { links_clicked.push_back(action); }

void press(UINT key) {
    HWND focus = GetFocus();
    PostMessageA(focus, WM_KEYDOWN, key, 1);
    PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
    pump_messages(30);
}

int focused_id() {
    return GetDlgCtrlID(GetFocus());
}

}  // namespace

struct Input : WindowTest {
    void SetUp() override {
        WindowTest::SetUp();
        calls.clear();
        links_clicked.clear();
        window_hooks.login_button = login_button;
        window_hooks.use_folder = use_folder;
        window_hooks.browse_folder = browse_folder;
        window_hooks.log_out = log_out;
        window_hooks.accept_terms_worker = accept_terms;
        window_hooks.link_action = link_action;
        DeleteFileA((game_folder + "\\zandor.ini").c_str());
    }
    void TearDown() override {
        wait_for_update_worker(20000);  // a card may have started a run
        WindowTest::TearDown();
    }
};

// The painted links come last: ID_LINK_FOCUS holds the focus while it is on one of them.
TEST_F(Input, TabMovesOverTheVisibleControlsInCreationOrderThenTheLinks) {
    struct {
        int page;
        std::vector<int> order;  // from the page's first focus, wrapping round
    } pages[] = {
        {PAGE_MAIN, {ID_PLAY_NOW, ID_LINK_FOCUS, ID_CHANGE_SERVER, ID_LOGOUT, ID_PLAY_NOW}},
        {PAGE_SERVER, {ID_SERVER_CARD, ID_ANY_SERVER, ID_SERVER_CARD}},
        {PAGE_TERMS, {ID_ACCEPT_TERMS, ID_TERMS_LOGOUT, ID_LINK_FOCUS, ID_ACCEPT_TERMS}},
        {PAGE_FOLDER, {ID_FOLDER_EDIT, ID_BROWSE, ID_USE_FOLDER, ID_FOLDER_EDIT}},
        {PAGE_LOGIN, {ID_LOGIN, ID_LINK_FOCUS, ID_LINK_FOCUS, ID_LINK_FOCUS, ID_LINK_FOCUS, ID_LOGIN}},
    };
    for (auto& p : pages) {
        show_page(p.page);
        pump_messages(20);
        std::vector<int> seen = {focused_id()};
        for (size_t i = 1; i < p.order.size(); i++) {
            press(VK_TAB);
            seen.push_back(focused_id());
        }
        EXPECT_EQ(seen, p.order) << "page " << p.page;
    }
}

TEST_F(Input, EnterDoesWhatThePageSays) {
    show_page(PAGE_LOGIN);
    press(VK_RETURN);
    show_page(PAGE_TERMS);
    press(VK_RETURN);  // nothing
    EXPECT_EQ(window_ui.page, PAGE_TERMS);
    show_page(PAGE_FOLDER);
    press(VK_RETURN);  // in the edit box
    press(VK_TAB);
    press(VK_RETURN);  // on "Browse..."
    press(VK_TAB);
    press(VK_RETURN);  // on "Use this folder"
    std::vector<std::string> expected = {"login", "use folder", "browse", "use folder"};
    EXPECT_EQ(calls, expected);

    // The server page: Enter chooses the ZANDOR server and goes on to the main page and the run.
    show_page(PAGE_SERVER);
    press(VK_TAB);  // even with the focus on the other card
    press(VK_RETURN);
    pump_until_not_busy();  // zandor.ini is written on a worker
    EXPECT_EQ(window_ui.page, PAGE_MAIN);
    EXPECT_EQ(launcher.server_choice, SERVER_ZANDOR);
    EXPECT_TRUE(update_started);
    EXPECT_EQ(focused_id(), ID_PLAY_NOW);

    // The main page: Enter is "Play now".
    press(VK_RETURN);
    EXPECT_TRUE(window_ui.play_now_pressed);
    EXPECT_EQ(update_progress.stop, 1);
    EXPECT_FALSE(IsWindowEnabled(control_window(ID_PLAY_NOW)));
}

TEST_F(Input, SpacePressesTheFocusedButton) {
    press(VK_TAB);  // "Uninstall ZANDOR"
    press(VK_TAB);
    ASSERT_EQ(focused_id(), ID_CHANGE_SERVER);
    press(VK_SPACE);
    EXPECT_EQ(window_ui.page, PAGE_SERVER);
    press(VK_TAB);
    ASSERT_EQ(focused_id(), ID_ANY_SERVER);
    press(VK_SPACE);
    pump_until_not_busy();
    EXPECT_EQ(window_ui.page, PAGE_MAIN);
    EXPECT_EQ(launcher.server_choice, SERVER_ANY);
    std::string settings;
    read_file(game_folder + "\\zandor.ini", &settings);
    EXPECT_NE(settings.find("server="), std::string::npos) << settings;
}

TEST_F(Input, TheTermsPageAcceptsOnceAndTheLogOutButtonsReachTheLogInFlow) {
    show_page(PAGE_TERMS);
    SendMessageA(main_window(), WM_COMMAND, ID_ACCEPT_TERMS, 0);
    EXPECT_FALSE(IsWindowEnabled(control_window(ID_ACCEPT_TERMS)));
    EXPECT_STREQ(window_ui.login_status, "Saving...");
    EXPECT_FALSE(window_ui.login_status_error);
    SendMessageA(main_window(), WM_COMMAND, ID_TERMS_LOGOUT, 0);
    SendMessageA(main_window(), WM_COMMAND, ID_LOGOUT, 0);
    std::vector<std::string> expected = {"accept terms", "log out", "log out"};
    EXPECT_EQ(calls, expected);
    EnableWindow(control_window(ID_ACCEPT_TERMS), TRUE);
}

TEST_F(Input, TheHandCursorShowsOnlyOverALinkOfTheWindowItself) {
    show_page(PAGE_LOGIN);
    take_shot();  // the links exist after a paint
    ASSERT_EQ(window_ui.link_count, 4);
    HWND window = main_window();
    HCURSOR hand = LoadCursorA(nullptr, IDC_HAND);
    auto cursor_at = [&](POINT client_point, HWND under) {
        POINT screen = client_point;
        ClientToScreen(window, &screen);
        SetCursorPos(screen.x, screen.y);
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
        SendMessageA(window, WM_SETCURSOR, (WPARAM)under, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return GetCursor();
    };
    RECT link = window_ui.links[0].rect;
    POINT on_link = {(link.left + link.right) / 2, (link.top + link.bottom) / 2};
    EXPECT_EQ(cursor_at(on_link, window), hand);
    EXPECT_NE(cursor_at(POINT{scale(300), scale(20)}, window), hand) << "the header";
    EXPECT_NE(cursor_at(on_link, control_window(ID_LOGIN)), hand) << "reported for a child control";
}

TEST_F(Input, AClickOnALinkRunsItsActionAndElsewhereNothing) {
    show_page(PAGE_LOGIN);
    take_shot();
    for (int i = 0; i < window_ui.link_count; i++) {
        RECT r = window_ui.links[i].rect;
        SendMessageA(main_window(), WM_LBUTTONUP, 0, MAKELPARAM(r.left + 1, r.bottom - 2));
    }
    SendMessageA(main_window(), WM_LBUTTONUP, 0, MAKELPARAM(scale(300), scale(20)));
    SendMessageA(main_window(), WM_LBUTTONUP, 0, MAKELPARAM(-5, -5));
    std::vector<int> expected = {LINK_SIGNUP, LINK_HELP, LINK_TERMS, LINK_UNINSTALL};
    EXPECT_EQ(links_clicked, expected);

    show_page(PAGE_MAIN);
    take_shot();
    links_clicked.clear();
    RECT uninstall = window_ui.links[0].rect;
    SendMessageA(main_window(), WM_LBUTTONUP, 0, MAKELPARAM(uninstall.left + 2, uninstall.top + 2));
    EXPECT_EQ(links_clicked, std::vector<int>{LINK_UNINSTALL});
}

TEST_F(Input, TheCloseBoxStopsTheRunAndStartsNoGame) {
    update_started = true;
    SendMessageA(main_window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(main_window(), nullptr);
    EXPECT_FALSE(launcher.play_game);
    EXPECT_EQ(update_progress.stop, 1);
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the loop ends";
}
