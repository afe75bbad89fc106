// D3D8 placement. The update run never overwrites a d3d8.dll it does not recognise; this module
// moves such a file out of the way and records where it went.
#include "game_setup/d3d8_placement.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "core/file_system.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/patient_files.h"
#include "core/settings.h"
#include "core/text.h"
#include "core/text_table.h"

static const DWORD MAX_DLL_SIZE = 67108863;  // 64 MiB less one byte
// The file is scanned in blocks of this size, so that its size does not decide the memory used.
static const DWORD SCAN_BLOCK_SIZE = 65536;

static const char* const DLL_MARKERS[] = {"ZANDOR-UPDATE-MANIFEST-1", "TOLVEN client started", "ombrix_dll.log"};

static bool holds_marker(const char* bytes, size_t size) {
    for (const char* marker : DLL_MARKERS) {
        size_t n = strlen(marker);
        for (size_t i = 0; i + n <= size; i++) {
            if (bytes[i] == marker[0] && memcmp(bytes + i, marker, n) == 0) return true;
        }
    }
    return false;
}

// Reads the first size bytes of the file block by block; true when they all arrived and hold a
// marker anywhere.
static bool scan_for_marker(HANDLE file, DWORD size) {
    // Each block is searched together with the end of the one before it (the longest marker less one
    // byte), so that a marker across the border of two blocks is found.
    size_t carry = 0;
    for (const char* marker : DLL_MARKERS) {
        if (strlen(marker) - 1 > carry) carry = strlen(marker) - 1;
    }
    char* buffer = (char*)malloc(carry + SCAN_BLOCK_SIZE);
    if (!buffer) return false;
    bool found = false, whole = true;
    size_t carried = 0;
    for (DWORD done = 0; done < size;) {
        DWORD wanted = size - done < SCAN_BLOCK_SIZE ? size - done : SCAN_BLOCK_SIZE;
        DWORD got = 0;
        if (!ReadFile(file, buffer + carried, wanted, &got, nullptr) || got != wanted) {
            whole = false;
            break;
        }
        done += got;
        size_t held = carried + got;
        if (!found) found = holds_marker(buffer, held);
        carried = held < carry ? held : carry;
        memmove(buffer, buffer + held - carried, carried);
    }
    free(buffer);
    return whole && found;
}

int classify_dll(const char* path) {
    HANDLE file = patient_open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING, 0);
    if (file == INVALID_HANDLE_VALUE) {
        return is_file(path) ? DLL_OTHER : DLL_MISSING;
    }
    int kind = DLL_OTHER;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart <= MAX_DLL_SIZE &&
        scan_for_marker(file, (DWORD)size.QuadPart)) {
        kind = DLL_ZANDOR;
    }
    CloseHandle(file);
    return kind;
}

static bool exports_direct3d8(const char* path) {
    HMODULE module = LoadLibraryExA(path, nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!module) return false;
    bool found = GetProcAddress(module, "Direct3DCreate8") != nullptr;
    FreeLibrary(module);
    return found;
}

// The first free name of the twenty: base+ending, then base_2+ending ... base_20+ending.
static bool choose_new_name(const SetAsideRecord* record, char* name, size_t cap) {
    const char* base = record->is_d3d8 ? "d3d8_real" : "d3d8.dll";
    const char* ending = record->is_d3d8 ? ".dll" : ".before_zandor";
    for (int i = 1; i <= 20; i++) {
        if (i == 1) {
            format_text(name, cap, "%s%s", base, ending);
        } else {
            format_text(name, cap, "%s_%d%s", base, i, ending);
        }
        char path[PATH_CAP];
        join_path(path, sizeof path, launcher.update_paths.game_folder, name);
        if (!path_exists(path)) return true;
    }
    return false;
}

bool set_aside_other_dll(SetAsideRecord* record) {
    memset(record, 0, sizeof *record);
    const char* dll = launcher.update_paths.dll_path;
    record->is_d3d8 = exports_direct3d8(dll);
    if (!choose_new_name(record, record->new_name, sizeof record->new_name)) return false;

    char target[PATH_CAP];
    join_path(target, sizeof target, launcher.update_paths.game_folder, record->new_name);
    if (!patient_move(dll, target, 0)) {
        log_line("another program's D3D8.dll could not be renamed to %s (error %lu) - left as it is", record->new_name,
                 GetLastError());
        return false;
    }
    record->moved = true;
    if (!record->is_d3d8) {
        (void)write_setting(launcher.settings_path, "launcher", "set_aside_d3d8", record->new_name);
    }
    log_line("another program's D3D8.dll renamed to %s (%s)", record->new_name,
             record->is_d3d8 ? "a Direct3D 8 file: the ZANDOR client passes the picture on to it"
                             : "NOT a Direct3D 8 file: kept, not used");
    return true;
}

void finish_set_aside(const SetAsideRecord* record) {
    if (!record->moved) return;
    const char* dll = launcher.update_paths.dll_path;
    if (is_file(dll)) {
        const char* text;
        if (record->is_d3d8) {
            (void)write_setting(launcher.settings_path, "display", "real_d3d8", record->new_name);
            text = "Your game folder already had a D3D8.dll from another program (for example dgVoodoo).\n\nIt is "
                   "kept safe as %s, and ZANDOR passes the picture on to it, so it keeps working.";
        } else {
            text = "Your game folder had a D3D8.dll from another program that ZANDOR cannot work together with.\n\n"
                   "It is kept safe as %s and is not used now. To use it again, close the game, delete D3D8.dll and "
                   "give that file back the name D3D8.dll.";
        }
        format_text(launcher.player_message, sizeof launcher.player_message, lookup_text(text), record->new_name);
        return;
    }
    char aside[PATH_CAP];
    join_path(aside, sizeof aside, launcher.update_paths.game_folder, record->new_name);
    if (patient_move(aside, dll, 0)) {
        log_line("the ZANDOR client was not installed: %s renamed back to D3D8.dll", record->new_name);
    } else {
        log_line("the ZANDOR client was not installed and %s could NOT be renamed back (error %lu)", record->new_name,
                 GetLastError());
    }
    (void)write_setting(launcher.settings_path, "launcher", "set_aside_d3d8", nullptr);
}
