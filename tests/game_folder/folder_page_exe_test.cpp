// The folder page in the real launcher, placed outside the game folder, with the game registered in
// the registry: offered folder, refusal in the error colour, Enter, Browse..., the remembered folder
// and closing the page. Needs an X display.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <functional>
#include <string>

#include "core/settings.h"
#include "support/test_support.h"

namespace {

const char GAME_KEY[] = "SOFTWARE\\KONAMIPES6\\zandor_page_test";
const char PICKER_TITLE[] = "Choose your PES6 folder (the one with pes6.exe in it)";
const int FOLDER_EDIT = 132;
const int BROWSE = 131;
const COLORREF ERROR_COLOUR = RGB(168, 30, 14);

bool wait_until(const std::function<bool()>& done, DWORD timeout_ms = 15000) {
    for (DWORD waited = 0; waited < timeout_ms; waited += 50) {
        if (done()) return true;
        Sleep(50);
    }
    return done();
}

struct Search {
    DWORD process_id;
    const char* class_name;
    const char* title;
    HWND found;
};

BOOL CALLBACK find_window_of(HWND window, LPARAM context) {
    Search* search = (Search*)context;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[64] = "", title[128] = "";
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, title, sizeof title);
    if (owner == search->process_id && strcmp(name, search->class_name) == 0 &&
        (!search->title || strcmp(title, search->title) == 0)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND window_of(void* process, const char* class_name, const char* title = nullptr) {
    Search search = {GetProcessId(process), class_name, title, nullptr};
    EnumWindows(find_window_of, (LPARAM)&search);
    return search.found;
}

std::string text_of(HWND control) {
    char text[600] = "";
    SendMessageA(control, WM_GETTEXT, sizeof text, (LPARAM)text);
    return text;
}

void press_enter(HWND control) {
    PostMessageA(control, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageA(control, WM_KEYUP, VK_RETURN, 0xC01C0001);
}

// Pixels close to the error colour on the page's message line, read from the screen.
int error_pixels(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    int width = client.right, top = client.bottom * 268 / 374, height = client.bottom * 302 / 374 - top;
    int count = 0;
    for (unsigned long pixel : copy_screen(origin.x, origin.y + top, width, height)) {
        int distance = abs((int)GetRValue(pixel) - GetRValue(ERROR_COLOUR)) +
                       abs((int)GetGValue(pixel) - GetGValue(ERROR_COLOUR)) +
                       abs((int)GetBValue(pixel) - GetBValue(ERROR_COLOUR));
        if (distance < 60) count++;
    }
    return count;
}

std::string remembered(const std::string& ini) {
    char value[MAX_PATH] = "";
    GetPrivateProfileStringA("launcher", "game_folder", "", value, sizeof value, ini.c_str());
    return value;
}

std::string launcher_ini() {
    char path[MAX_PATH];
    return launcher_ini_path(path, sizeof path) ? path : "";
}

void register_game(const std::string& folder) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, GAME_KEY, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "installdir", 0, REG_SZ, (const BYTE*)folder.c_str(), (DWORD)folder.size() + 1);
    RegCloseKey(key);
}

struct FolderPageRun : testing::Test {
    std::string root = make_temp_folder("folder_page");
    std::string launcher_dir = root + "\\launcher";
    std::string exe = launcher_dir + "\\ZANDOR Launcher.exe";
    std::string game = root + "\\game";
    std::string other_game = root + "\\other game";
    std::string saved_launcher_ini;
    bool had_launcher_ini = false;
    void* process = nullptr;
    HWND window = nullptr;

    void SetUp() override {
        char display[64];
        if (!GetEnvironmentVariableA("DISPLAY", display, sizeof display)) GTEST_SKIP() << "no X display";
        for (const std::string& folder : {launcher_dir, game, other_game}) CreateDirectoryA(folder.c_str(), nullptr);
        write_file(game + "\\pes6.exe", "MZ");
        write_file(other_game + "\\pes6.exe", "MZ");
        ASSERT_TRUE(CopyFileA(launcher_exe().c_str(), exe.c_str(), FALSE));
        had_launcher_ini = read_file(launcher_ini(), &saved_launcher_ini);
        DeleteFileA(launcher_ini().c_str());
    }
    void TearDown() override {
        if (process) finish_program(process, 1000);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, GAME_KEY, KEY_WOW64_32KEY, 0);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KONAMIPES6", KEY_WOW64_32KEY, 0);  // only when empty
        DeleteFileA(launcher_ini().c_str());
        if (had_launcher_ini) write_file(launcher_ini(), saved_launcher_ini);
        remove_tree(root);
    }

    HWND edit() { return GetDlgItem(window, FOLDER_EDIT); }
    bool on_folder_page() { return IsWindowVisible(window) && IsWindowVisible(edit()); }
    bool on_first_page() { return IsWindowVisible(window) && !IsWindowVisible(edit()); }

    // Starts the launcher as a player would and waits for its folder page.
    void start_to_folder_page() {
        process = start_program("\"" + exe + "\"", launcher_dir);
        ASSERT_NE(process, nullptr);
        ASSERT_TRUE(wait_until([&] {
            window = window_of(process, "ZANDOR_Launcher_Window", "ZANDOR Launcher");
            return window && on_folder_page();
        })) << "no folder page";
    }
    // Closes the window with its close box; the run's exit code.
    unsigned long close_window() {
        PostMessageA(window, WM_CLOSE, 0, 0);
        unsigned long code = finish_program(process, 20000);
        process = nullptr;
        return code;
    }
    HWND wait_for_picker() {
        HWND picker = nullptr;
        wait_until([&] { return (picker = window_of(process, "#32770", PICKER_TITLE)) != nullptr; });
        return picker;
    }
};

}  // namespace

TEST_F(FolderPageRun, TheOfferedFolderIsConfirmedWithEnterAndRemembered) {
    register_game(game + "\\");
    start_to_folder_page();
    EXPECT_EQ(text_of(edit()), game);

    // A wrong path: the page stays and paints the message in the error colour.
    EXPECT_EQ(error_pixels(window), 0);
    SendMessageA(edit(), WM_SETTEXT, 0, (LPARAM)(root + "\\nowhere").c_str());
    press_enter(edit());
    EXPECT_TRUE(wait_until([&] { return error_pixels(window) > 20; }, 30000)) << "no message in the error colour";
    EXPECT_TRUE(on_folder_page());

    // "Copy as path" of pes6.exe, confirmed with Enter: on to the first page.
    SendMessageA(edit(), WM_SETTEXT, 0, (LPARAM)("\"" + game + "\\pes6.exe\" ").c_str());
    press_enter(edit());
    ASSERT_TRUE(wait_until([&] { return on_first_page(); })) << "still on the folder page";
    EXPECT_EQ(remembered(launcher_dir + "\\zandor.ini"), game);
    EXPECT_FALSE(file_exists(launcher_ini()));
    EXPECT_EQ(close_window(), 0u);
    std::string log;
    EXPECT_TRUE(read_file(game + "\\ombrix_data\\updates\\launcher.log", &log));
    EXPECT_NE(log.find(" game folder: given on the folder page (typed, pasted or browsed)\r\n"), std::string::npos)
        << log;

    // The next start offers the remembered folder before the registry's; Browse... (Enter on it)
    // opens the picker, which the player cancels; closing the page ends the run without a log.
    register_game(other_game);
    start_to_folder_page();
    EXPECT_EQ(text_of(edit()), game);
    // Tab moves the focus to "Browse..." before Enter arrives: both go through the one queue in turn.
    PostMessageA(edit(), WM_KEYDOWN, VK_TAB, 0x000F0001);
    PostMessageA(edit(), WM_KEYUP, VK_TAB, 0xC00F0001);
    press_enter(GetDlgItem(window, BROWSE));
    HWND picker = wait_for_picker();
    ASSERT_NE(picker, nullptr) << "no picker";
    EXPECT_EQ(GetWindow(picker, GW_OWNER), window);
    PostMessageA(picker, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(wait_until([&] { return !IsWindow(picker); }));
    EXPECT_TRUE(on_folder_page());
    EXPECT_EQ(text_of(edit()), game);
    EXPECT_EQ(close_window(), 0u);
    std::string log_after;
    read_file(game + "\\ombrix_data\\updates\\launcher.log", &log_after);
    EXPECT_EQ(log_after, log);
    EXPECT_FALSE(folder_exists(other_game + "\\ombrix_data"));
    EXPECT_EQ(remembered(launcher_dir + "\\zandor.ini"), game);
}

TEST_F(FolderPageRun, ABrowsedFolderIsRememberedInLauncherIniWhenZandorIniCannotBeWritten) {
    register_game(game);
    CreateDirectoryA((launcher_dir + "\\zandor.ini").c_str(), nullptr);  // the write fails
    start_to_folder_page();
    EXPECT_EQ(text_of(edit()), game);

    // With an empty box the picker opens in the offered folder: a name typed there is one of its
    // sub-folders.
    std::string inner_game = game + "\\copy";
    CreateDirectoryA(inner_game.c_str(), nullptr);
    write_file(inner_game + "\\pes6.exe", "MZ");
    SendMessageA(edit(), WM_SETTEXT, 0, (LPARAM)"");
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(BROWSE, BN_CLICKED), (LPARAM)GetDlgItem(window, BROWSE));
    HWND picker = wait_for_picker();
    ASSERT_NE(picker, nullptr) << "no picker";
    HWND name = FindWindowExA(picker, nullptr, "Edit", nullptr);
    ASSERT_NE(name, nullptr);
    SendMessageA(name, WM_SETTEXT, 0, (LPARAM) "copy");
    PostMessageA(picker, WM_COMMAND, IDOK, 0);

    ASSERT_TRUE(wait_until([&] { return on_first_page(); })) << "still on the folder page";
    EXPECT_EQ(text_of(edit()), inner_game);  // kept, unseen
    EXPECT_EQ(remembered(launcher_ini()), inner_game);
    EXPECT_EQ(close_window(), 0u);
    EXPECT_TRUE(file_exists(inner_game + "\\ombrix_data\\updates\\launcher.log"));
}
