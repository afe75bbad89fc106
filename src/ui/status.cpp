// The status tick: progress while the update run works, then its outcome with a countdown, then the
// start step. The run never touches the window; the tick polls what it publishes.
#include "ui/status.h"

#include <string.h>

#include "core/game_start.h"
#include "core/launcher_state.h"
#include "core/shared_counter.h"
#include "core/text.h"
#include "core/text_table.h"
#include "ui/accessible.h"
#include "ui/busy_action.h"
#include "ui/paint_pages.h"
#include "ui/window_state.h"
#include "updates/update_worker.h"

void set_status_text(const char* text) {
    if (strcmp(text, window_ui.status_text) == 0) return;
    copy_text(window_ui.status_text, sizeof window_ui.status_text, text);
    HWND window = main_window();
    if (!window) return;
    RECT card = main_card_rect();
    InvalidateRect(window, &card, FALSE);
    announce_status_change();
}

void format_download_text(unsigned long long done_bytes, unsigned long long total_bytes, char* text, unsigned size) {
    unsigned long long done = done_bytes < total_bytes ? done_bytes : total_bytes;
    int percent = (int)(done * 100 / total_bytes);
    int done_mb = (int)(done >> 20);
    int total_mb = (int)((total_bytes + 0xFFFFF) >> 20);  // a started MB counts
    format_text(text, size, lookup_text("Updating ZANDOR: %d %% (%d of %d MB)"), percent, done_mb, total_mb);
}

DWORD countdown_length(bool play_game, bool play_now_pressed, bool not_you_offered, DWORD since_outcome) {
    if (play_game && !play_now_pressed) return not_you_offered ? 10000 : 3000;
    if (play_now_pressed && since_outcome >= 300) return 0;
    return 1200;
}

static void show_progress() {
    HWND window = main_window();
    unsigned long long total = counter_read(&update_progress.total_bytes);
    if (update_progress.phase == PHASE_DOWNLOADING && total > 0) {
        char text[200];
        format_download_text(counter_read(&update_progress.done_bytes), total, text, sizeof text);
        set_status_text(text);
        // The bar follows the bytes even when the text is unchanged.
        RECT bar = progress_track_rect();
        if (window) InvalidateRect(window, &bar, FALSE);
    } else {
        set_status_text(lookup_text("Checking for updates..."));
    }
}

static void take_outcome(DWORD now) {
    window_ui.outcome_tick = now ? now : 1;  // 0 means "not seen yet"
    update_outcome_text(window_ui.outcome_text, sizeof window_ui.outcome_text);
    HWND window = main_window();
    if (window) InvalidateRect(window, nullptr, FALSE);
}

void status_tick() {
    // A busy window holds the countdown: nothing starts the game while an action waits or asks.
    if (launcher.start_step_taken || window_busy() || window_ui.page != PAGE_MAIN || !update_started) return;
    if (update_done == 0) {
        window_ui.outcome_tick = 0;  // a restarted run is followed anew
        show_progress();
        return;
    }
    if (window_ui.outcome_tick == 0) take_outcome(GetTickCount());

    DWORD now = GetTickCount();
    DWORD start = window_ui.main_page_tick > window_ui.outcome_tick ? window_ui.main_page_tick : window_ui.outcome_tick;
    DWORD elapsed = now - start;
    DWORD length =
        countdown_length(launcher.play_game, window_ui.play_now_pressed, login_view.not_you_offered, now - window_ui.outcome_tick);

    if (launcher.play_game && !window_ui.play_now_pressed && elapsed < length) {
        char text[800];
        format_text(text, sizeof text, lookup_text("%s\nStarting the game in %d s..."), window_ui.outcome_text,
                    (int)((length - elapsed + 999) / 1000));
        set_status_text(text);
    } else {
        set_status_text(window_ui.outcome_text);
    }
    if (elapsed >= length) {
        KillTimer(main_window(), TIMER_STATUS);  // the step is taken once
        take_start_step();
    }
}
