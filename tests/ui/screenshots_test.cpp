// Saves a picture of every page, in English and in Spanish, under the build tree (ui_screenshots/),
// for a person to look at; checks that each page drew its links inside the client.
#include "ui_test_support.h"

#include "account/login_state.h"
#include "core/launcher_state.h"
#include "core/text.h"
#include "core/text_table.h"
#include "support/test_support.h"
#include "ui/pages.h"
#include "ui/paint_pages.h"
#include "ui/status.h"
#include "ui/window.h"
#include "ui/window_state.h"
#include "updates/update_worker.h"

namespace {

void reopen_in(const char* language) {
    DestroyWindow(main_window());
    pump_messages(20);
    forget_language();
    decide_language_from_value(language);
    open_window(GetModuleHandleA(nullptr), PAGE_MAIN);
    KillTimer(main_window(), TIMER_STATUS);
}

std::string shot_folder() {
    std::string folder = std::string(ZANDOR_TEST_BUILD_DIR) + "/ui_screenshots";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

}  // namespace

struct Screenshots : WindowTest {
    void TearDown() override {
        DestroyWindow(main_window());  // the next test gets a window in the undecided language
        pump_messages(20);
        forget_language();
        WindowTest::TearDown();
    }
};

TEST_F(Screenshots, EveryPageInBothLanguages) {
    std::string folder = shot_folder();
    char dpi[16];
    format_text(dpi, sizeof dpi, "%d", expected_dpi());
    for (const char* language : {"en", "es"}) {
        reopen_in(language);
        std::string prefix = folder + "/" + language + "_" + dpi + "_";

        set_login_status(lookup_text("Looking for your ZANDOR account..."), false);
        show_page(PAGE_LOGIN);
        EXPECT_TRUE(save_window_bmp(prefix + "1_login.bmp"));
        EXPECT_EQ(window_ui.link_count, 4);

        login_view.browser_waiting = true;
        copy_text(login_view.user_code, sizeof login_view.user_code, "KQ7-M4X");
        show_page(PAGE_LOGIN);
        EXPECT_TRUE(save_window_bmp(prefix + "1_login_code.bmp"));
        EXPECT_EQ(window_ui.link_count, 5);
        login_view.browser_waiting = false;

        show_page(PAGE_SERVER);
        EXPECT_TRUE(save_window_bmp(prefix + "2_server.bmp"));

        account_logged_in = true;
        login_view.logged_in = true;
        login_view.not_you_offered = true;
        copy_text(login_view.display_name, sizeof login_view.display_name, "Alex Morgan");
        launcher.server_choice = SERVER_ZANDOR;
        launcher.update_checked = true;
        update_started = true;
        update_progress.phase = PHASE_DOWNLOADING;
        update_progress.total_bytes = 10u << 20;
        update_progress.done_bytes = 4u << 20;
        show_page(PAGE_MAIN);
        status_tick();
        EXPECT_TRUE(save_window_bmp(prefix + "3_main.bmp"));
        EXPECT_EQ(window_ui.link_count, 2);

        set_login_status(lookup_text("Saving..."), false);
        show_page(PAGE_TERMS);
        EXPECT_TRUE(save_window_bmp(prefix + "4_terms.bmp"));

        copy_text(window_ui.folder_message, sizeof window_ui.folder_message,
                  "pes6.exe is not in this folder: C:\\Games\\A very long folder name\\that goes on\\and on\\PES6");
        show_page(PAGE_FOLDER);
        EXPECT_TRUE(save_window_bmp(prefix + "5_folder.bmp"));
        window_ui.folder_message[0] = 0;

        // Every link lies inside the client.
        RECT client = client_rect();
        for (int i = 0; i < window_ui.link_count; i++) {
            RECT link = window_ui.links[i].rect;
            EXPECT_LE(link.right, client.right);
            EXPECT_LE(link.bottom, client.bottom);
        }
        login_view = LoginView{};
        account_logged_in = false;
        update_started = false;
    }
}
