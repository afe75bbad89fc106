// Asks for the game account and writes login.txt in the game folder.
#include "game_setup/game_account.h"

#include <windows.h>

#include <string.h>

#include "account/account_requests.h"
#include "core/atomic_file.h"
#include "core/file_system.h"
#include "core/log.h"
#include "core/patient_files.h"

#define LOGIN_TXT_READ_LIMIT 599

static const char* const GAME_CODE_KEYS[] = {"SOFTWARE\\KONAMIPES6\\FLS7", "SOFTWARE\\KONAMIPES6\\PES6"};

void read_game_code(char* out, size_t capacity) {
    if (capacity == 0) return;
    out[0] = 0;
    for (const char* key_name : GAME_CODE_KEYS) {
        if (out[0]) break;
        HKEY key;
        // The game keeps its keys where a 32-bit process sees them.
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_name, 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) {
            continue;
        }
        char value[64] = {};
        DWORD type = 0, size = sizeof value - 1;
        if (RegQueryValueExA(key, "CODE", nullptr, &type, (BYTE*)value, &size) == ERROR_SUCCESS && type == REG_SZ) {
            value[size < sizeof value ? size : sizeof value - 1] = 0;
            (void)clean_game_code(value, out, capacity);
        }
        RegCloseKey(key);
    }
}

#define NOT_OPENED -1
#define NOT_READ -2

// Reads at most limit bytes of an existing file; NOT_OPENED or NOT_READ when that fails.
static long read_existing(const char* path, char* out, DWORD limit) {
    HANDLE file = patient_open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return NOT_OPENED;
    DWORD got = 0;
    BOOL read = ReadFile(file, out, limit, &got, nullptr);
    CloseHandle(file);
    return read ? (long)got : NOT_READ;
}

void write_login_txt(const char* game_folder, const GameAccount* account) {
    char content[LOGIN_TXT_CAP], old_text[LOGIN_TXT_READ_LIMIT + 1], path[PATH_CAP];
    size_t length = format_login_txt(account, content, sizeof content);
    join_path(path, sizeof path, game_folder, "login.txt");
    long old_length = read_existing(path, old_text, LOGIN_TXT_READ_LIMIT);
    bool done = false;
    if (old_length != NOT_OPENED) {
        // A file that opens but cannot be read is not known to be the launcher's: it is kept.
        bool launchers = old_length >= 0 && login_txt_is_launchers(old_text, (size_t)old_length);
        if (!launchers) {
            log_line("login.txt in the game folder is the player's own: kept (the game logs in with it)");
            done = true;
        } else if ((size_t)old_length == length && memcmp(old_text, content, length) == 0) {
            log_line("game account %s: login.txt is up to date", account->name);
            done = true;
        }
    }
    if (!done) {
        // Replaced whole: a kill or a full disk leaves the old login.txt or the new one, never an empty
        // or cut one.
        bool ok = write_file_atomic(path, content, length);
        DWORD error = ok ? 0 : GetLastError();
        if (ok) {
            log_line("game account %s: login.txt written - the game logs in by itself", account->name);
        } else {
            log_line("game account %s: login.txt could not be written (error %lu) - the game shows its log-in screen",
                     account->name, (unsigned long)error);
        }
    }
    wipe(content, sizeof content);
    wipe(old_text, sizeof old_text);
}

void write_game_account(const GameAccountStep* step) {
    if (!step->logged_in || !step->login || !step->login->token[0]) return;
    if (step->stop && InterlockedCompareExchange((volatile LONG*)step->stop, 0, 0) != 0) return;
    char code[GAME_CODE_CAP];
    read_game_code(code, sizeof code);
    GameAccount account;
    AccountReply reply;
    if (request_game_account(step->account_host, step->account_port, step->login, code[0] ? code : "-", &account,
                             &reply, step->stop)) {
        write_login_txt(step->game_folder, &account);
    } else {
        log_line("no game account (%s%s%s) - the game shows its log-in screen",
                 reply.answered ? reply.error_code : "no answer", reply.message[0] ? ": " : "", reply.message);
    }
    wipe(&account, sizeof account);
    wipe(&reply, sizeof reply);
}
