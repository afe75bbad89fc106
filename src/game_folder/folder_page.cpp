// The folder page: its own message loop during start-up, "Use this folder" (and Enter), "Browse..."
// and the check of what the player gave.
#include "game_folder/folder_page.h"

#include <windows.h>
#include <string.h>

#include "core/file_system.h"
#include "core/folder_path.h"
#include "core/text.h"
#include "core/text_table.h"
#include "game_folder/folder_picker.h"
#include "game_folder/folder_text.h"
#include "ui/pages.h"
#include "ui/window.h"
#include "ui/window_state.h"

static_assert(FOLDER_ERROR_CAP <= sizeof window_ui.folder_message, "the page paints the whole message");

static const size_t GIVEN_CAP = 520;  // what the player gives: 519 characters at most

// The page while it runs. UI thread only.
struct FolderPage {
    char first_candidate[PATH_CAP];
    char launcher_dir[PATH_CAP];
    char chosen_folder[PATH_CAP];
    bool chosen;  // set when a folder was confirmed: ends the page's loop
};

static FolderPage folder_page;

bool validate_folder_text(const char* text, char* folder, size_t cap, char* error, size_t error_cap) {
    char given[GIVEN_CAP];
    copy_text(given, sizeof given, text);
    strip_path_wrapping(given);
    if (!given[0]) {
        copy_text(error, error_cap, lookup_text("Paste the folder where pes6.exe is, or click Browse..."));
        return false;
    }

    char expanded[GIVEN_CAP];
    DWORD needed = ExpandEnvironmentStringsA(given, expanded, sizeof expanded);
    if (needed == 0 || needed > sizeof expanded) copy_text(expanded, sizeof expanded, given);
    cut_executable_name(expanded);

    // A path longer than a path can be is refused whole: cut short it could name another folder.
    char path[PATH_CAP];
    bool fits = copy_text(path, sizeof path, expanded) == strlen(expanded);
    apply_path_rule(path, sizeof path);
    if (fits && is_game_folder(path)) {
        if (error_cap) error[0] = 0;
        copy_text(folder, cap, path);
        return true;
    }
    bool existing_folder = fits && is_folder(path);
    format_text(error, error_cap,
                lookup_text(existing_folder ? "pes6.exe is not in this folder: %s" : "This folder does not exist: %s"),
                path);
    return false;
}

void choose_browse_start(const char* edit_text, const char* first_candidate, const char* launcher_dir, char* out,
                         size_t cap) {
    if (edit_text && edit_text[0] && path_exists(edit_text)) {
        copy_text(out, cap, edit_text);
        apply_path_rule(out, cap);
    } else if (first_candidate && first_candidate[0]) {
        copy_text(out, cap, first_candidate);
    } else {
        copy_text(out, cap, launcher_dir);
    }
}

// Confirms the folder when the text names one; otherwise the page shows why not.
static bool confirm_folder_text(const char* text) {
    char folder[PATH_CAP];
    if (!validate_folder_text(text, folder, sizeof folder, window_ui.folder_message, FOLDER_ERROR_CAP)) {
        InvalidateRect(main_window(), nullptr, FALSE);
        return false;
    }
    copy_text(folder_page.chosen_folder, sizeof folder_page.chosen_folder, folder);
    folder_page.chosen = true;
    return true;
}

static void on_use_folder() {
    HWND edit = control_window(ID_FOLDER_EDIT);
    char text[GIVEN_CAP] = "";
    GetWindowTextA(edit, text, sizeof text);
    if (!confirm_folder_text(text)) SetFocus(edit);
}

static void on_browse() {
    HWND edit = control_window(ID_FOLDER_EDIT);
    char text[GIVEN_CAP] = "";
    GetWindowTextA(edit, text, sizeof text);
    char start[PATH_CAP];
    choose_browse_start(text, folder_page.first_candidate, folder_page.launcher_dir, start, sizeof start);
    char picked[PATH_CAP];
    if (!pick_folder(main_window(), start, picked, sizeof picked)) return;  // cancelled: nothing changes
    SetWindowTextA(edit, picked);
    if (!confirm_folder_text(picked)) SetFocus(edit);
}

static void show_folder_page(HWND window, const char* first_candidate) {
    window_ui.folder_message[0] = 0;
    HWND edit = control_window(ID_FOLDER_EDIT);
    SetWindowTextA(edit, first_candidate);
    show_page(PAGE_FOLDER);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    // Showing activates the window, which may take the focus from the box.
    SetFocus(edit);
    SendMessageA(edit, EM_SETSEL, 0, -1);
}

bool run_folder_page(const char* first_candidate, const char* launcher_dir, char* folder, size_t cap) {
    memset(&folder_page, 0, sizeof folder_page);
    copy_text(folder_page.first_candidate, sizeof folder_page.first_candidate, first_candidate);
    copy_text(folder_page.launcher_dir, sizeof folder_page.launcher_dir, launcher_dir);

    if (!main_window()) create_main_window(GetModuleHandleA(nullptr));
    HWND window = main_window();
    if (!window) return false;
    window_hooks.use_folder = on_use_folder;
    window_hooks.browse_folder = on_browse;
    show_folder_page(window, folder_page.first_candidate);

    MSG message;
    while (!folder_page.chosen) {
        if (!IsWindow(window) || GetMessageA(&message, nullptr, 0, 0) <= 0) break;
        if (IsDialogMessageA(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // The page's buttons are hidden from now on; their actions go with them.
    window_hooks.use_folder = nullptr;
    window_hooks.browse_folder = nullptr;
    if (!folder_page.chosen) return false;
    copy_text(folder, cap, folder_page.chosen_folder);
    return true;
}
