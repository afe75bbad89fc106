// Helpers shared by the test programs.
#include "support/test_support.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "core/codecs.h"
#include "support/launcher_window.h"

static std::string windows_path(const char* path) {
    std::string p = path;
    for (char& c : p) {
        if (c == '/') c = '\\';
    }
    return p;
}

std::string to_hex(const std::string& bytes) {
    std::string hex(2 * bytes.size() + 1, '\0');
    hex_encode((const uint8_t*)bytes.data(), bytes.size(), &hex[0]);
    hex.resize(2 * bytes.size());
    return hex;
}

std::string from_hex(const std::string& hex) {
    std::string bytes(hex.size() / 2, '\0');
    if (hex.size() % 2 || !hex_decode(hex.c_str(), (uint8_t*)&bytes[0], bytes.size())) return "";
    return bytes;
}

std::string make_temp_folder(const char* tag) {
    static unsigned counter = 0;
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    for (;;) {
        char path[MAX_PATH];
        snprintf(path, sizeof path, "%szandor_%s_%lu_%u", base, tag, GetCurrentProcessId(), counter++);
        if (CreateDirectoryA(path, nullptr)) return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return "";
    }
}

void remove_tree(const std::string& path) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = path + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(full);
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

bool write_file(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

bool read_file(const std::string& path, std::string* bytes) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    bytes->clear();
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes->append(buffer, n);
    fclose(f);
    return true;
}

std::string file_text(const std::string& path) {
    std::string text;
    return read_file(path, &text) ? text : "";
}

bool file_exists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool folder_exists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string launcher_exe() {
    return windows_path(ZANDOR_TEST_BUILD_DIR "/ZANDOR Launcher.exe");
}

std::string test_tool(const char* name) {
    std::string file = name;
    if (file.find('.') == std::string::npos) file += ".exe";
    return windows_path(ZANDOR_TEST_BUILD_DIR "/test_tools/") + file;
}

std::string source_path(const char* relative) {
    return windows_path(ZANDOR_TEST_SOURCE_DIR "/") + windows_path(relative);
}

bool run_program(const std::string& command_line, const std::string& folder, unsigned long* exit_code,
                 unsigned long timeout_ms) {
    void* process = start_program(command_line, folder);
    if (!process) return false;
    unsigned long code = finish_program(process, timeout_ms);
    if (exit_code) *exit_code = code;
    return code != STILL_ACTIVE;
}

std::string answer_message_box(int button, unsigned long timeout_ms) {
    HWND box = nullptr;
    for (unsigned long waited = 0; !box && waited < timeout_ms; waited += 100) {
        box = FindWindowA("#32770", "ZANDOR Launcher");
        if (!box) Sleep(100);
    }
    if (!box) return "(no message box)";
    char text[2000] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the static text of a message box
    PostMessageA(box, WM_COMMAND, button, 0);
    // Wait until it is gone, so the next call does not find the same box.
    for (int i = 0; i < 600 && IsWindow(box); i++) Sleep(50);
    return text;
}

void* start_program(const std::string& command_line, const std::string& folder) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string line = command_line;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

unsigned long finish_program(void* process, unsigned long timeout_ms) {
    if (!process) return 0xFFFFFFFF;
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process, timeout_ms) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process, &code);
    } else {
        TerminateProcess(process, STILL_ACTIVE);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
    return code;
}

void* wait_for_launcher_window(void* process, unsigned long timeout_ms) {
    DWORD process_id = GetProcessId(process);
    for (unsigned long waited = 0; waited < timeout_ms; waited += 100) {
        HWND found = find_launcher_window(process_id);
        if (found) return found;
        if (WaitForSingleObject(process, 100) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

bool close_launcher_window(void* process, unsigned long timeout_ms) {
    HWND window = (HWND)wait_for_launcher_window(process, timeout_ms);
    if (window) PostMessageA(window, WM_CLOSE, 0, 0);
    return window != nullptr;
}

bool run_launcher_closing_window(const std::string& command_line, const std::string& folder,
                                 unsigned long* exit_code, unsigned long timeout_ms) {
    void* process = start_program(command_line, folder);
    if (!process) return false;
    close_launcher_window(process, timeout_ms);
    unsigned long code = finish_program(process, timeout_ms);
    if (exit_code) *exit_code = code;
    return code != STILL_ACTIVE;
}

std::vector<unsigned> draw_off_screen(int width, int height, void (*draw)(void* dc, const void* context),
                                      const void* context) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    std::vector<unsigned> pixels;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        draw(memory, context);
        GdiFlush();
        pixels.assign((const unsigned*)bits, (const unsigned*)bits + (size_t)width * height);
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    return pixels;
}

namespace {

struct ScreenRect {
    int x, y, width, height;
};

void copy_from_screen(void* dc, const void* context) {
    const ScreenRect* rect = (const ScreenRect*)context;
    HDC screen = GetDC(nullptr);
    BitBlt((HDC)dc, 0, 0, rect->width, rect->height, screen, rect->x, rect->y, SRCCOPY);
    ReleaseDC(nullptr, screen);
}

}  // namespace

std::vector<unsigned long> copy_screen(int x, int y, int width, int height) {
    ScreenRect rect = {x, y, width, height};
    std::vector<unsigned> raw = draw_off_screen(width, height, copy_from_screen, &rect);
    std::vector<unsigned long> pixels(raw.size());
    for (size_t i = 0; i < raw.size(); i++) pixels[i] = RGB((raw[i] >> 16) & 0xFF, (raw[i] >> 8) & 0xFF, raw[i] & 0xFF);
    return pixels;
}
