// The log-in flow against the reference account server, with the real window in this process: the
// automatic log-in, the browser log-in with its code and polls, cancel and the generation rule,
// renewal outcomes, new terms, log-out and "Not you?". Polls are run by hand instead of by the timer.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "account/account_address.h"
#include "account/account_files.h"
#include "account/login_flow.h"
#include "account/login_state.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/message_box.h"
#include "core/open_address.h"
#include "core/text.h"
#include "support/account_server_control.h"
#include "support/test_support.h"
#include "ui/busy_action.h"
#include "ui/links.h"
#include "ui/pages.h"
#include "ui/paint_pages.h"
#include "ui/window.h"
#include "ui/window_state.h"
#include "updates/update_paths.h"
#include "uninstall/uninstall.h"
#include "updates/update_worker.h"

namespace {

const char MARKER[] = "pgm1.LOGINflowTESTmarker_0123";
// OK <token> <issued> <account id> <display name, base64> <marker> <terms version> <terms url>
const std::string OK_LOGIN = std::string("OK\tpgt1.flow-token\t5\t77\tQW5h\t") + MARKER + "\tv2\t";

int answer_box(void*, const char*, unsigned) {
    return IDOK;
}

struct LoginFlowTest : testing::Test {
    static std::string folder;

    static void SetUpTestSuite() {
        folder = make_temp_folder("login");
        launcher_state_reset();
        launcher.play_game = false;  // no server page, no countdown into a game
        update_paths_init(&launcher.update_paths, folder.c_str());
        copy_text(launcher.settings_path, PATH_CAP, (folder + "\\zandor.ini").c_str());
        copy_text(launcher.account_host, sizeof launcher.account_host, "127.0.0.1");
        set_account_server_port(account_port());
        set_message_box_answer(answer_box);
        login_flow_attach();
        open_window(GetModuleHandleA(nullptr), PAGE_LOGIN);
        KillTimer(main_window(), TIMER_STATUS);  // no countdown: these tests are about the log-in
    }
    static void TearDownTestSuite() {
        if (main_window()) DestroyWindow(main_window());
        remove_account_files();
        remove_tree(folder);
    }
    void SetUp() override {
        reset_account_server();
        remove_account_files();
        memset(&current_login, 0, sizeof current_login);
        account_logged_in = false;
        update_started = true;  // the update run is not what these tests look at
        show_page(PAGE_LOGIN);
        log_open((folder + "\\test.log").c_str());
    }
    void TearDown() override {
        if (login_view.browser_waiting) stop_browser_wait();
        log_close();
        DeleteFileA((folder + "\\test.log").c_str());
    }

    // Runs the window's messages until a busy action (log-out, "Not you?") has ended.
    static void wait_until_not_busy() {
        for (int i = 0; i < 1200 && window_busy(); i++) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            Sleep(25);
        }
    }
    // Runs the window's messages until the account worker's answer was handled (with the saving of
    // a new log-in that follows it).
    static void wait_for_answer() {
        for (int i = 0; i < 400; i++) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
                if (message.message == WM_LOGIN_DONE) {
                    wait_until_not_busy();
                    return;
                }
            }
            Sleep(10);
        }
    }
    std::string log_text() { return file_text(folder + "\\test.log"); }
    static bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
    static std::string login_status() { return window_ui.login_status; }
    static bool session_saved() {
        char path[MAX_PATH];
        return session_path(path, sizeof path) && file_exists(path);
    }
    static std::string last_request() { return seen_exchange(1).request; }
};

std::string LoginFlowTest::folder;

}  // namespace

TEST_F(LoginFlowTest, AnUnknownPcSeesTheLogInPageAndTheBrowserLogInEndsLoggedIn) {
    push_answer("ok", "DENIED\tunknown_pc\t");
    start_login_worker(LOGIN_AUTO);
    wait_for_answer();
    EXPECT_EQ(window_ui.page, PAGE_LOGIN);
    EXPECT_EQ(login_status(), "");
    EXPECT_FALSE(account_logged_in);

    push_answer("ok", "REQUEST\tr-1\tk-1\tAB-CD\thttp://127.0.0.1:1/device\t600000");
    on_login_button();
    EXPECT_EQ(login_status(), "Logging in...");
    wait_for_answer();
    EXPECT_TRUE(login_view.browser_waiting);
    EXPECT_STREQ(login_view.user_code, "AB-CD");
    char caption[64];
    GetWindowTextA(control_window(ID_LOGIN), caption, sizeof caption);
    EXPECT_STREQ(caption, "Cancel");

    push_answer("ok", "PENDING");
    on_poll_timer();
    wait_for_answer();
    EXPECT_TRUE(login_view.browser_waiting) << "pending: the wait goes on";

    push_answer("ok", OK_LOGIN);
    on_poll_timer();
    wait_for_answer();
    EXPECT_FALSE(login_view.browser_waiting);
    EXPECT_TRUE(account_logged_in);
    EXPECT_STREQ(current_login.token, "pgt1.flow-token");
    EXPECT_STREQ(current_login.display_name, "Ana");
    EXPECT_TRUE(session_saved());
    EXPECT_EQ(window_ui.page, PAGE_MAIN) << "no game to start: the server page is skipped";
    GetWindowTextA(control_window(ID_LOGIN), caption, sizeof caption);
    EXPECT_STREQ(caption, "Log in with Google");
    std::string log = log_text();
    EXPECT_TRUE(has(log, " no automatic log-in by IP (unknown_pc)\r\n")) << log;
    EXPECT_TRUE(has(log, " browser log-in: the page is opened, code AB-CD\r\n")) << log;
    EXPECT_TRUE(has(log, " logged in with Google (browser) as account 77 (Ana), terms notice shown\r\n")) << log;
}

TEST_F(LoginFlowTest, ACancelledBrowserLogInIgnoresTheLateAnswer) {
    push_answer("ok", "REQUEST\tr-1\tk-1\tAB-CD\thttp://127.0.0.1:1/device\t600000");
    on_login_button();
    wait_for_answer();
    ASSERT_TRUE(login_view.browser_waiting);

    push_answer("slow:500", OK_LOGIN);  // the poll is in flight while the player cancels
    on_poll_timer();
    on_login_button();  // "Cancel"
    EXPECT_FALSE(login_view.browser_waiting);
    on_login_button();  // again at once: the poll still runs
    EXPECT_EQ(login_status(), "Please wait a moment and try again.");
    wait_for_answer();
    EXPECT_FALSE(account_logged_in);
    EXPECT_FALSE(session_saved());
    std::string log = log_text();
    EXPECT_TRUE(has(log, " browser log-in cancelled\r\n")) << log;
    EXPECT_TRUE(has(log, " an answer from before the log-out: ignored\r\n")) << log;
}

TEST_F(LoginFlowTest, TheBrowserWaitEndsAfterItsTimeOut) {
    push_answer("ok", "REQUEST\tr-1\tk-1\tAB-CD\thttp://127.0.0.1:1/device\t1");
    on_login_button();
    wait_for_answer();
    Sleep(20);
    push_answer("ok", "PENDING");
    on_poll_timer();
    wait_for_answer();
    EXPECT_FALSE(login_view.browser_waiting);
    EXPECT_EQ(login_status(), "The browser log-in timed out. Please try again.");
    EXPECT_TRUE(window_ui.login_status_error);
}

TEST_F(LoginFlowTest, RenewalOutcomes) {
    struct Case {
        std::string answer;        // "" = the server does not answer
        bool keeps_file;
        int page;
        const char* outcome_note;  // the sentence for the update outcome
    } cases[] = {
        {"DENIED\trate_limited\t", true, PAGE_LOGIN, ""},
        {"DENIED\tserver_error\t", true, PAGE_LOGIN, ""},
        {"DENIED\trevoked\tWW91IHdlcmUgbG9nZ2VkIG91dA", false, PAGE_LOGIN, ""},
        {"", true, PAGE_MAIN, "ZANDOR cannot be reached right now: the game starts without updates."},
    };
    for (const Case& c : cases) {
        SavedLogin saved = {};
        copy_text(saved.token, sizeof saved.token, "pgt1.saved");
        copy_text(saved.display_name, sizeof saved.display_name, "Ana");
        ASSERT_TRUE(save_login(&saved));
        current_login = saved;
        show_page(PAGE_MAIN);
        if (c.answer.empty()) {
            push_behaviour("no_hello");
        } else {
            push_answer("ok", c.answer);
        }
        start_login_worker(LOGIN_RENEW);
        wait_for_answer();
        EXPECT_EQ(session_saved(), c.keeps_file) << c.answer;
        EXPECT_EQ(window_ui.page, c.page) << c.answer;
        EXPECT_FALSE(account_logged_in) << c.answer;
        EXPECT_STREQ(login_outcome_note, c.outcome_note) << c.answer;
        login_outcome_note[0] = 0;
    }
    EXPECT_EQ(login_status(), "You were logged out") << "the server's own message is shown as it is";
}

TEST_F(LoginFlowTest, NewTermsAreShownAndAccepted) {
    push_answer("ok", OK_LOGIN + "\t0");  // the account accepted only older terms
    set_login_status("Looking for your ZANDOR account...", false);  // as start-up leaves it
    start_login_worker(LOGIN_AUTO);
    wait_for_answer();
    EXPECT_EQ(window_ui.page, PAGE_TERMS);
    EXPECT_EQ(login_status(), "");
    EXPECT_TRUE(login_view.not_you_offered);

    push_answer("ok", "OK");
    SendMessageA(main_window(), WM_COMMAND, ID_ACCEPT_TERMS, 0);
    EXPECT_EQ(login_status(), "Saving...");
    wait_for_answer();
    EXPECT_EQ(window_ui.page, PAGE_MAIN);
    EXPECT_TRUE(has(last_request(), "ACCEPTTERMS\tpgt1.flow-token\tv2")) << last_request();
    std::string log = log_text();
    EXPECT_TRUE(has(log, " the account accepted older terms: the new terms v2 are shown\r\n")) << log;
    EXPECT_TRUE(has(log, " new terms v2 accepted\r\n")) << log;
}

TEST_F(LoginFlowTest, LogOutKeepsTheMarkerAndNotYouRemovesIt) {
    push_answer("ok", OK_LOGIN);
    start_login_worker(LOGIN_AUTO);
    wait_for_answer();
    ASSERT_TRUE(account_logged_in);
    ASSERT_EQ(store_marker(MARKER), 4);

    log_out();
    wait_until_not_busy();
    EXPECT_FALSE(account_logged_in);
    EXPECT_FALSE(session_saved());
    EXPECT_EQ(window_ui.page, PAGE_LOGIN);
    EXPECT_EQ(login_status(), "You are logged out.");
    char markers[256];
    collect_markers(markers, sizeof markers);
    EXPECT_STREQ(markers, MARKER);
    for (int i = 0; i < 1500 && !has(last_request(), "LOGOUT"); i++) Sleep(20);  // the detached thread
    EXPECT_TRUE(has(last_request(), "LOGOUT\tpgt1.flow-token")) << last_request();

    push_answer("ok", OK_LOGIN);
    start_login_worker(LOGIN_AUTO);
    wait_for_answer();
    ASSERT_TRUE(login_view.not_you_offered);
    push_answer("ok", "OK");
    not_you();
    wait_until_not_busy();
    EXPECT_FALSE(account_logged_in);
    EXPECT_FALSE(login_view.not_you_offered);
    EXPECT_EQ(login_status(), "Log in with your own ZANDOR account.");
    collect_markers(markers, sizeof markers);
    EXPECT_STREQ(markers, "-");
    EXPECT_EQ(last_request(), "NOTME\tpgt1.flow-token");
}

// Addresses from the account server reach the browser only when they are web addresses; anything
// else is logged and not opened.
TEST_F(LoginFlowTest, AddressesThatAreNotWebAddressesAreNotOpened) {
    push_answer("ok", "REQUEST\tr-1\tk-1\tAB-CD\thttp.exe\t600000");
    on_login_button();
    wait_for_answer();
    EXPECT_FALSE(login_view.browser_waiting);
    EXPECT_EQ(login_status(), "The log-in did not work. Please try again.");
    std::string log = log_text();
    EXPECT_TRUE(has(log, " browser log-in: the address \"http.exe\" is not a web address: not opened\r\n")) << log;
    EXPECT_TRUE(has(log, " browser log-in: no request ()\r\n")) << log;

    copy_text(login_view.terms_url, sizeof login_view.terms_url, "C:\\windows\\system32\\cmd.exe");
    run_link_action(LINK_TERMS);
    log = log_text();
    EXPECT_TRUE(has(log, " terms: the address \"C:\\windows\\system32\\cmd.exe\" is not a web address: not opened\r\n"))
        << log;
}

// A log-in answer that arrives while the uninstall asks its question waits for the answer: nothing
// changes under the box, and after No the log-in goes on as it would have.
TEST_F(LoginFlowTest, ALogInAnswerWaitsWhileTheUninstallAsks) {
    static bool changed_under_the_box;
    changed_under_the_box = false;
    set_message_box_answer([](void*, const char*, unsigned) {
        for (int i = 0; i < 120; i++) {  // the box's own loop runs the window's messages
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            Sleep(25);
        }
        changed_under_the_box = account_logged_in || window_ui.page != PAGE_LOGIN;
        return IDNO;
    });
    uninstall_attach();
    push_answer("ok", OK_LOGIN);
    start_login_worker(LOGIN_AUTO);
    Sleep(1500);  // the answer is on its way or there
    run_link_action(LINK_UNINSTALL);
    set_message_box_answer(answer_box);
    EXPECT_FALSE(changed_under_the_box);
    EXPECT_FALSE(account_logged_in);
    wait_for_answer();
    EXPECT_TRUE(account_logged_in);
    EXPECT_TRUE(session_saved());
}

// The terms link opens the terms address of the log-in, and the site's own terms page when there is
// none or when the shell could not open it.
TEST_F(LoginFlowTest, TheTermsLinkFallsBackToTheSitePageWhenTheShellFails) {
    static std::vector<std::string> opened;
    static std::string refused;
    set_shell_open_answer([](const char* address) {
        opened.push_back(address);
        return refused != address;
    });
    const std::string terms = "https://terms.example/v2";
    const std::string site = "http://127.0.0.1:20294/terms";
    struct Case {
        std::string terms_url, refused;
        std::vector<std::string> opened;
    };
    for (const Case& c : std::vector<Case>{
             {"", "", {site}},
             {terms, "", {terms}},
             {terms, terms, {terms, site}},
         }) {
        SCOPED_TRACE(c.terms_url + " refused: " + c.refused);
        opened.clear();
        refused = c.refused;
        copy_text(login_view.terms_url, sizeof login_view.terms_url, c.terms_url.c_str());
        run_link_action(LINK_TERMS);
        EXPECT_EQ(opened, c.opened);
    }
    set_shell_open_answer(nullptr);
    login_view.terms_url[0] = 0;
}

// A log-in answer whose numbers would not read back from session.dat is a bad answer: nobody is
// logged in and nothing is saved.
TEST_F(LoginFlowTest, ALogInWithANumberTooLargeToKeepIsRefused) {
    push_answer("ok", std::string("OK\tpgt1.flow-token\t5\t10000000000000000000\tQW5h\t") + MARKER + "\tv2\t");
    start_login_worker(LOGIN_AUTO);
    wait_for_answer();
    EXPECT_FALSE(account_logged_in);
    EXPECT_FALSE(session_saved());
    EXPECT_STREQ(current_login.token, "");
    std::string log = log_text();
    EXPECT_TRUE(has(log, " no automatic log-in by IP (bad_request)\r\n")) << log;
}
