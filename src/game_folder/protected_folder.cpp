// The protected-folder step. It runs before the log is open, so everything it has to say goes into
// launcher.folder_note, which start-up logs later.
#include "game_folder/protected_folder.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <string.h>

#include "core/command_line.h"
#include "core/file_system.h"
#include "core/file_tree.h"
#include "core/launcher_state.h"
#include "core/message_box.h"
#include "core/system_dll.h"
#include "core/text.h"
#include "core/text_table.h"

static const DWORD GRANT_WAIT_MS = 60000;

bool folder_writable(const char* folder) {
    char check[PATH_CAP];
    char name[64];
    format_text(name, sizeof name, "zandor_write_check_%lu.tmp", GetCurrentProcessId());
    join_path(check, sizeof check, folder, name);
    HANDLE file = CreateFileA(check, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);

    char dll[PATH_CAP];
    join_path(dll, sizeof dll, folder, "d3d8.dll");
    if (is_file(dll)) {
        HANDLE handle = CreateFileA(dll, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return false;
        CloseHandle(handle);
    }
    return true;
}

typedef BOOL(WINAPI* ConvertSidToStringSidAFn)(PSID, LPSTR*);

// The SID of the user running the launcher, as text; false when any step fails.
static bool own_sid_text(char* out, size_t cap) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    union {
        TOKEN_USER user;
        BYTE bytes[512];
    } info;
    DWORD size = 0;
    bool have_user = GetTokenInformation(token, TokenUser, &info, sizeof info, &size) != 0;
    CloseHandle(token);
    if (!have_user) return false;

    HMODULE advapi = load_system_dll("advapi32.dll");
    if (!advapi) return false;
    ConvertSidToStringSidAFn convert =
        (ConvertSidToStringSidAFn)(void*)GetProcAddress(advapi, "ConvertSidToStringSidA");
    char* text = nullptr;
    bool done = convert && convert(info.user.User.Sid, &text) && text;
    if (done) copy_text(out, cap, text);
    if (text) LocalFree(text);
    FreeLibrary(advapi);
    return done;
}

// Starts the grant run elevated and waits for it; leaves the outcome in folder_note.
static void run_grant(const char* folder, const char* sid) {
    char exe[PATH_CAP];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    exe[sizeof exe - 1] = 0;
    char parameters[560];
    if (!format_grant_parameters(parameters, sizeof parameters, folder, sid)) {
        copy_text(launcher.folder_note, sizeof launcher.folder_note,
                  "protected game folder: the folder cannot be named to the elevated run");
        return;
    }

    SHELLEXECUTEINFOA run = {};
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_NOCLOSEPROCESS;
    run.lpVerb = "runas";
    run.lpFile = exe;
    run.lpParameters = parameters;
    run.nShow = SW_HIDE;
    if (ShellExecuteExA(&run) && run.hProcess) {
        WaitForSingleObject(run.hProcess, GRANT_WAIT_MS);
        DWORD code = 1;
        if (!GetExitCodeProcess(run.hProcess, &code)) code = 1;
        CloseHandle(run.hProcess);
        format_text(launcher.folder_note, sizeof launcher.folder_note,
                    "protected game folder: permission asked, the elevated run answered %lu", code);
    } else {
        format_text(launcher.folder_note, sizeof launcher.folder_note,
                    "protected game folder: the permission prompt was declined or failed (error %lu)", GetLastError());
    }
}

bool ensure_writable(const char* folder) {
    if (folder_writable(folder)) return true;

    char question[1400];
    format_text(question, sizeof question,
                lookup_text("Your PES6 folder is in a protected place:\n%s\n\nZANDOR needs to put its files there (the "
                            "ZANDOR DLL and its settings). Windows will ask you once to allow this. ZANDOR then gives "
                            "your own Windows account permission to change this one folder, and does not ask "
                            "again.\n\nContinue?"),
                folder);
    if (show_message_box(nullptr, question, MB_YESNO | MB_ICONINFORMATION) != IDYES) {
        copy_text(launcher.folder_note, sizeof launcher.folder_note, "protected game folder: the player said no");
    } else {
        char sid[200];
        if (own_sid_text(sid, sizeof sid)) run_grant(folder, sid);
        if (folder_writable(folder)) {
            append_text(launcher.folder_note, sizeof launcher.folder_note, " - the folder is writable now");
            int removed = clean_virtual_store(folder);
            if (removed > 0) {
                char note[64];
                format_text(note, sizeof note, "; %d VirtualStore leftover(s) removed", removed);
                append_text(launcher.folder_note, sizeof launcher.folder_note, note);
            }
            return true;
        }
    }
    char warning[1400];
    format_text(warning, sizeof warning,
                lookup_text("ZANDOR cannot install into this folder without that permission:\n%s\n\nRun the ZANDOR "
                            "Launcher again and allow it, or copy your whole PES6 folder to a normal place (for "
                            "example C:\\Games\\PES6) and choose that folder."),
                folder);
    show_message_box(nullptr, warning, MB_OK | MB_ICONWARNING);
    return false;
}

int clean_virtual_store(const char* folder) {
    char local[PATH_CAP];
    if (SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local) != S_OK || !local[0]) {
        return 0;
    }
    if (strlen(folder) <= 3 || folder[1] != ':') return 0;
    char copy[PATH_CAP];
    format_text(copy, sizeof copy, "%s\\VirtualStore\\%s", local, folder + 3);
    DWORD attributes = GetFileAttributesA(copy);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
    // A virtual copy reached through a link lies elsewhere: nothing there is deleted.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) || reached_through_link(local, copy)) return 0;

    int count = 0;
    char path[PATH_CAP];
    static const char* const folders[] = {"tolven_data", "ombrix_data"};
    static const char* const files[] = {"zandor.ini", "tolven.ini", "ombrix.ini", "d3d8.dll"};
    for (const char* name : folders) {
        join_path(path, sizeof path, copy, name);
        if (is_folder(path) && delete_tree(path)) count++;
    }
    for (const char* name : files) {
        join_path(path, sizeof path, copy, name);
        if (DeleteFileA(path)) count++;
    }
    return count;
}
