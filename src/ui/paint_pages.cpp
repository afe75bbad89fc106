// The paint routine: cached background, header, then the current page's cards, texts, links and the
// progress bar, into a memory bitmap that is copied to the window at the end.
#include "ui/paint_pages.h"

#include "core/launcher_state.h"
#include "core/shared_counter.h"
#include "core/text.h"
#include "core/text_table.h"
#include "ui/background.h"
#include "ui/keyboard_focus.h"
#include "ui/paint_tools.h"
#include "ui/window_state.h"
#include "updates/update_worker.h"

static HFONT font(int id) {
    return window_ui.fonts[id];
}

static void draw_header(HDC dc) {
    draw_outlined_text(dc, scale(22), scale(12), "ZANDOR", font(FONT_WORDMARK), WHITE, OUTLINE, scale(3));
    const char* right = (login_view.logged_in && window_ui.page == PAGE_MAIN) ? login_view.display_name : "LAUNCHER";
    draw_text(dc, right, scaled_rect(330, 30, 578, 58), font(FONT_SMALL_BOLD), HEADER_TEXT,
              DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
}

static void draw_title(HDC dc, const char* source) {
    draw_outlined_text(dc, scale(26), scale(88), lookup_text(source), font(FONT_TITLE), WHITE, OUTLINE, scale(2));
}

static COLORREF login_status_colour() {
    return window_ui.login_status_error ? ERROR_TEXT : MUTED;
}

static void paint_login_page(HDC dc) {
    draw_title(dc, "Log in");
    draw_face(dc, scaled_rect(24, 128, 576, 384), false);
    if (login_view.browser_waiting) {
        draw_text(dc,
                  lookup_text("Your browser is open: sign in with Google there. The page shows this code - check that "
                              "it is the same:"),
                  scaled_rect(44, 142, 556, 190), font(FONT_BODY), INK, DT_WORDBREAK);
        draw_text(dc, login_view.user_code, scaled_rect(44, 192, 556, 250), font(FONT_BIG), INK,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        draw_text(dc, lookup_text("Waiting for your browser..."), scaled_rect(44, 252, 556, 274), font(FONT_BODY), MUTED,
                  DT_VCENTER | DT_SINGLELINE);
        draw_link(dc, LINK_REOPEN_LOGIN, lookup_text("Open the page again"), 44, 284);
    } else {
        draw_text(dc,
                  lookup_text("ZANDOR accounts log in with Google. Your browser opens; sign in there, then come back "
                              "here."),
                  scaled_rect(44, 142, 556, 196), font(FONT_BODY), INK, DT_WORDBREAK);
        draw_text(dc, window_ui.login_status, scaled_rect(44, 254, 556, 310), font(FONT_BODY), login_status_colour(),
                  DT_WORDBREAK);
    }
    draw_link(dc, LINK_SIGNUP, lookup_text("No account yet? Make one"), 44, 322);
    draw_link(dc, LINK_HELP, lookup_text("Need help?"), 44, 346);

    const char* terms = lookup_text("By logging in you accept the ZANDOR terms.");
    draw_text(dc, terms, scaled_rect(24, 394, 400, 414), font(FONT_SMALL), INK, DT_VCENTER | DT_SINGLELINE);
    HGDIOBJ old = SelectObject(dc, font(FONT_SMALL));
    SIZE size = {};
    GetTextExtentPoint32A(dc, terms, lstrlenA(terms), &size);
    SelectObject(dc, old);
    draw_link(dc, LINK_TERMS, lookup_text("Read the terms"), 32 + MulDiv(size.cx, 96, window_ui.dpi), 396);
    draw_link(dc, LINK_UNINSTALL, lookup_text("Uninstall ZANDOR"), 24, 424);
}

static void paint_server_page(HDC dc) {
    draw_title(dc, "Where do you want to play?");
    draw_text(dc,
              lookup_text("Your game keeps the server it uses now. The ZANDOR extras (8-player rooms, the relay, bot "
                          "takeover, the calm camera ...) still work there, and updates still come from ZANDOR."),
              scaled_rect(24, 408, 576, 460), font(FONT_SMALL), INK, DT_WORDBREAK);
    draw_text(dc, lookup_text("You can change this later: \"Change server\" in this window."),
              scaled_rect(24, 464, 576, 484), font(FONT_SMALL), MUTED, DT_SINGLELINE);
}

RECT main_card_rect() {
    return scaled_rect(24, 92, 576, 276);
}

RECT progress_track_rect() {
    return scaled_rect(44, 242, 556, 258);
}

bool progress_fill_rect(RECT track, bool run_done, unsigned long long done_bytes, unsigned long long total_bytes,
                        RECT* fill) {
    unsigned long long percent = 0;
    if (run_done) {
        percent = 100;
    } else if (total_bytes > 0) {
        percent = (done_bytes < total_bytes ? done_bytes : total_bytes) * 100 / total_bytes;
    }
    if (percent == 0) return false;
    *fill = RECT{track.left + 1, track.top + 1, track.left + 1 + (track.right - track.left - 2) * (int)percent / 100,
                 track.bottom - 1};
    return true;
}

static void draw_progress_bar(HDC dc) {
    RECT track = progress_track_rect();
    fill_gradient(dc, track, TRACK_TOP, TRACK_BOTTOM);
    frame_rect(dc, track, PLAIN_BORDER, 1);
    RECT fill;
    if (progress_fill_rect(track, update_done != 0, counter_read(&update_progress.done_bytes),
                           counter_read(&update_progress.total_bytes), &fill)) {
        fill_gradient(dc, fill, ACCENT_TOP, ACCENT_BOTTOM);
    }
}

static void paint_main_page(HDC dc) {
    draw_face(dc, main_card_rect(), false);
    char account[200];
    if (login_view.logged_in) {
        format_text(account, sizeof account, lookup_text("Logged in as %s"), login_view.display_name);
    } else {
        copy_text(account, sizeof account, lookup_text("Not logged in"));
    }
    draw_text(dc, account, scaled_rect(44, 104, 556, 126), font(FONT_BUTTON), INK, DT_VCENTER | DT_SINGLELINE);
    draw_text(dc, window_ui.server_line, scaled_rect(44, 128, 556, 150), font(FONT_BODY), MUTED,
              DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    draw_text(dc, window_ui.status_text, scaled_rect(44, 156, 556, 236), font(FONT_BODY), INK, DT_WORDBREAK);
    if (launcher.update_checked) draw_progress_bar(dc);
    draw_link(dc, LINK_UNINSTALL, lookup_text("Uninstall ZANDOR"), 24, 340);
    if (login_view.not_you_offered) draw_link(dc, LINK_NOT_YOU, lookup_text("Not you? Log in with another account"), 300, 340);
}

static void paint_terms_page(HDC dc) {
    draw_title(dc, "New ZANDOR terms");
    draw_face(dc, scaled_rect(24, 128, 576, 326), false);
    draw_text(dc,
              lookup_text("The ZANDOR terms have changed. New: match data. When you play with ZANDOR, your matches are "
                          "recorded (match events, your controller inputs, the players' and the ball's positions, the "
                          "results and the connection quality) and sent to the ZANDOR server, to find cheating and to "
                          "train the ZANDOR bots. No files are taken from your PC. Please read the terms and accept "
                          "them to go on."),
              scaled_rect(44, 142, 556, 284), font(FONT_BODY), INK, DT_WORDBREAK);
    draw_link(dc, LINK_TERMS, lookup_text("Read the terms"), 44, 294);
    draw_text(dc, window_ui.login_status, scaled_rect(24, 384, 576, 400), font(FONT_SMALL), login_status_colour(),
              DT_SINGLELINE);
}

static void paint_folder_page(HDC dc) {
    draw_title(dc, "Where is your PES6?");
    draw_face(dc, scaled_rect(24, 128, 576, 304), false);
    draw_text(dc,
              lookup_text("ZANDOR did not find pes6.exe next to the launcher or in the usual folder (Program Files "
                          "(x86)\\KONAMI\\Pro Evolution Soccer 6). Paste the folder where pes6.exe is (or the full "
                          "path of pes6.exe), or click Browse... to find it."),
              scaled_rect(44, 140, 556, 212), font(FONT_BODY), INK, DT_WORDBREAK);
    draw_text(dc, lookup_text("PES6 folder:"), scaled_rect(44, 214, 556, 232), font(FONT_SMALL), MUTED,
              DT_VCENTER | DT_SINGLELINE);
    if (window_ui.folder_message[0]) {
        draw_text(dc, window_ui.folder_message, scaled_rect(44, 274, 556, 296), font(FONT_SMALL), ERROR_TEXT,
                  DT_VCENTER | DT_SINGLELINE | DT_PATH_ELLIPSIS);
    }
}

static void paint_page(HDC dc) {
    switch (window_ui.page) {
        case PAGE_LOGIN: paint_login_page(dc); break;
        case PAGE_SERVER: paint_server_page(dc); break;
        case PAGE_MAIN: paint_main_page(dc); break;
        case PAGE_TERMS: paint_terms_page(dc); break;
        case PAGE_FOLDER: paint_folder_page(dc); break;
        default: break;  // only the header
    }
}

void paint_window(HWND window, HDC dc) {
    RECT client;
    GetClientRect(window, &client);
    int width = client.right, height = client.bottom;
    HBITMAP background = cached_background(dc, width, height);

    HDC memory = CreateCompatibleDC(dc);
    HBITMAP frame = CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ old_frame = SelectObject(memory, frame);
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old_source = SelectObject(source, background);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    SelectObject(source, old_source);
    DeleteDC(source);

    window_ui.link_count = 0;
    draw_header(memory);
    paint_page(memory);
    paint_link_focus(memory);

    BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old_frame);
    DeleteObject(frame);
    DeleteDC(memory);
}

void set_login_status(const char* text, bool is_error) {
    copy_text(window_ui.login_status, sizeof window_ui.login_status, text);
    window_ui.login_status_error = is_error;
    HWND window = main_window();
    if (window) InvalidateRect(window, nullptr, FALSE);
}
