// The game account file: login.txt written, kept or left alone, the registration code from the
// registry, and the whole step with the reference account server.
#include <windows.h>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "support/account_server_control.h"
#include "core/log.h"
#include "game_setup/game_account.h"
#include "support/test_support.h"

namespace {

const char HEADER[] = "# ZANDOR game account - written by the ZANDOR Launcher, which logs the game in with it\r\n";
// "Player" and "pw12" in base64.
const char GAME_ANSWER[] = "GAME\tUGxheWVy\tcHcxMg\tSER-1";
const std::string PLAYER_FILE = std::string(HEADER) + "name=Player\r\npassword=pw12\r\nserial=SER-1\r\n";

GameAccount account_of(const char* name, const char* password, const char* serial) {
    GameAccount account = {};
    strcpy(account.name, name);
    strcpy(account.password, password);
    strcpy(account.serial, serial);
    return account;
}

class GameAccountFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder = make_temp_folder("game_account");
        ASSERT_FALSE(folder.empty());
        login_txt = folder + "\\login.txt";
        log_path = folder + "\\launcher.log";
        ASSERT_TRUE(log_open(log_path.c_str()));
        reset_account_server();
    }
    void TearDown() override {
        log_close();
        remove_tree(folder);
    }
    // The log written since the last call, without time stamps.
    std::string new_log() {
        std::string text, out;
        read_file(log_path, &text);
        std::string fresh = text.substr(log_seen);
        log_seen = text.size();
        size_t start = 0;
        while (start < fresh.size()) {
            size_t end = fresh.find("\r\n", start);
            out += fresh.substr(start + 20, end - start - 20) + "\n";
            start = end + 2;
        }
        return out;
    }
    std::string login_text() {
        std::string text;
        read_file(login_txt, &text);
        return text;
    }
    std::string folder, login_txt, log_path;
    size_t log_seen = 0;
};

}  // namespace

TEST_F(GameAccountFile, WrittenKeptOrLeftAlone) {
    GameAccount player = account_of("Player", "pw12", "SER-1");
    write_login_txt(folder.c_str(), &player);
    EXPECT_EQ(login_text(), PLAYER_FILE);
    EXPECT_EQ(new_log(), "game account Player: login.txt written - the game logs in by itself\n");

    // Unchanged: not rewritten (a writer would fail while the file is held open for reading).
    HANDLE held = CreateFileA(login_txt.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    write_login_txt(folder.c_str(), &player);
    CloseHandle(held);
    EXPECT_EQ(new_log(), "game account Player: login.txt is up to date\n");

    // Another account's launcher file, and an older one of over 599 bytes, are replaced.
    GameAccount other = account_of("Other", "pw", "S");
    write_login_txt(folder.c_str(), &other);
    EXPECT_EQ(new_log(), "game account Other: login.txt written - the game logs in by itself\n");
    ASSERT_TRUE(write_file(login_txt, PLAYER_FILE + std::string(700, '#')));
    write_login_txt(folder.c_str(), &player);
    EXPECT_EQ(login_text(), PLAYER_FILE);
    EXPECT_EQ(new_log(), "game account Player: login.txt written - the game logs in by itself\n");

    // The player's own file stays as it is.
    const std::string own[] = {"name=me\r\npassword=x\r\n", "", "# zandor game account\r\n"};
    for (const std::string& text : own) {
        ASSERT_TRUE(write_file(login_txt, text));
        write_login_txt(folder.c_str(), &player);
        EXPECT_EQ(login_text(), text);
        EXPECT_EQ(new_log(), "login.txt in the game folder is the player's own: kept (the game logs in with it)\n");
    }
}

// The file is replaced whole or not at all: a write that cannot finish keeps the old file as it was.
TEST_F(GameAccountFile, WriteFailureIsLoggedWithTheErrorAndKeepsTheOldFile) {
    ASSERT_TRUE(write_file(login_txt, PLAYER_FILE));
    HANDLE held = CreateFileA(login_txt.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    GameAccount other = account_of("Other", "pw", "S");
    write_login_txt(folder.c_str(), &other);
    CloseHandle(held);
    // The error is the failed move's (a sharing or access error, by platform), never 0.
    std::string log = new_log();
    const std::string start = "game account Other: login.txt could not be written (error ";
    const std::string end = ") - the game shows its log-in screen\n";
    ASSERT_EQ(log.substr(0, start.size()), start) << log;
    ASSERT_GT(log.size(), start.size() + end.size());
    EXPECT_EQ(log.substr(log.size() - end.size()), end) << log;
    EXPECT_GT(atol(log.c_str() + start.size()), 0) << log;
    EXPECT_EQ(login_text(), PLAYER_FILE);
    EXPECT_FALSE(file_exists(login_txt + ".new"));

    // No room for the new file (a folder stands where it would go): the same.
    ASSERT_TRUE(CreateDirectoryA((login_txt + ".new").c_str(), nullptr));
    write_login_txt(folder.c_str(), &other);
    RemoveDirectoryA((login_txt + ".new").c_str());
    EXPECT_EQ(login_text(), PLAYER_FILE);
    EXPECT_EQ(new_log().find("game account Other: login.txt could not be written (error "), 0u);
}

// What an interrupted write of the launcher's left behind: a cut or zero-filled login.txt is the
// launcher's to rewrite, and a ".new" beside it counts for nothing.
TEST_F(GameAccountFile, WhatAnInterruptedWriteLeftIsRewritten) {
    GameAccount player = account_of("Player", "pw12", "SER-1");
    const std::string left[] = {PLAYER_FILE.substr(0, 20), PLAYER_FILE.substr(0, 1), std::string(120, '\0')};
    for (const std::string& text : left) {
        ASSERT_TRUE(write_file(login_txt, text));
        write_login_txt(folder.c_str(), &player);
        EXPECT_EQ(login_text(), PLAYER_FILE) << text.size();
        EXPECT_EQ(new_log(), "game account Player: login.txt written - the game logs in by itself\n");
    }

    // A half-written ".new" with no login.txt: login.txt is written and the leftover is gone.
    DeleteFileA(login_txt.c_str());
    ASSERT_TRUE(write_file(login_txt + ".new", PLAYER_FILE.substr(0, 30)));
    SetFileAttributesA((login_txt + ".new").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    write_login_txt(folder.c_str(), &player);
    EXPECT_EQ(login_text(), PLAYER_FILE);
    EXPECT_FALSE(file_exists(login_txt + ".new"));
    EXPECT_EQ(new_log(), "game account Player: login.txt written - the game logs in by itself\n");

    // Beside the player's own file it changes nothing either.
    ASSERT_TRUE(write_file(login_txt, "name=me\r\n"));
    ASSERT_TRUE(write_file(login_txt + ".new", PLAYER_FILE));
    write_login_txt(folder.c_str(), &player);
    EXPECT_EQ(login_text(), "name=me\r\n");
    EXPECT_EQ(new_log(), "login.txt in the game folder is the player's own: kept (the game logs in with it)\n");
}

TEST_F(GameAccountFile, StepAsksOnlyWhenLoggedInWithTokenAndNotStopping) {
    SavedLogin login = {};
    strcpy(login.token, "pgt1.game-token");
    SavedLogin no_token = {};
    volatile long stop = 0, stopping = 1;
    GameAccountStep skipped[] = {
        {"127.0.0.1", account_port(), folder.c_str(), false, &login, &stop},
        {"127.0.0.1", account_port(), folder.c_str(), true, &no_token, &stop},
        {"127.0.0.1", account_port(), folder.c_str(), true, &login, &stopping},
    };
    int before = exchange_count();
    for (const GameAccountStep& step : skipped) write_game_account(&step);
    EXPECT_EQ(exchange_count(), before);
    EXPECT_EQ(new_log(), "");
    EXPECT_FALSE(file_exists(login_txt));

    GameAccountStep step = {"127.0.0.1", account_port(), folder.c_str(), true, &login, &stop};
    push_answer("ok", GAME_ANSWER);
    write_game_account(&step);
    EXPECT_EQ(login_text(), PLAYER_FILE);
    std::string sent = seen_exchange().request;
    EXPECT_EQ(sent.substr(0, sent.rfind('\t')), "GAMEACCOUNT\tpgt1.game-token");

    push_answer("ok", "DENIED\tno_game\tTm8gZ2FtZQ");
    write_game_account(&step);
    push_answer("ok", "DENIED\tno_game\t");
    write_game_account(&step);
    push_answer("ok", "GAME\tUGxheWVy\t\tS");
    write_game_account(&step);
    GameAccountStep unreachable = {"127.0.0.1", 1, folder.c_str(), true, &login, &stop};
    write_game_account(&unreachable);
    EXPECT_EQ(new_log(),
              "game account Player: login.txt written - the game logs in by itself\n"
              "no game account (no_game: No game) - the game shows its log-in screen\n"
              "no game account (no_game) - the game shows its log-in screen\n"
              "no game account (bad_request: Please update the ZANDOR Launcher.) - the game shows its log-in screen\n"
              "no game account (no answer: Could not reach zandor. Please check your internet connection.) - the "
              "game shows its log-in screen\n");
}

TEST_F(GameAccountFile, RegistrationCodeFromEitherKey) {
    // The game's keys in the 32-bit view; restored to how they were found.
    const char* keys[] = {"SOFTWARE\\KONAMIPES6\\FLS7", "SOFTWARE\\KONAMIPES6\\PES6"};
    HKEY handles[2];
    bool created[2];
    for (int i = 0; i < 2; i++) {
        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, keys[i], 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                                  nullptr, &handles[i], &disposition),
                  ERROR_SUCCESS);
        created[i] = disposition == REG_CREATED_NEW_KEY;
    }
    auto set_code = [&](int i, const char* value) {
        if (value) {
            RegSetValueExA(handles[i], "CODE", 0, REG_SZ, (const BYTE*)value, (DWORD)strlen(value) + 1);
        } else {
            RegDeleteValueA(handles[i], "CODE");
        }
    };
    struct Case {
        const char* first;
        const char* second;
        const char* code;
    } cases[] = {
        {"abcd-efgh-1234-5678-wxyz", "ZZZZ-ZZZZ-ZZZZ-ZZZZ-ZZZZ", "ABCDEFGH12345678WXYZ"},
        {nullptr, "1111-2222-3333-4444-5555", "11112222333344445555"},
        {"abcd-efgh-1234-5678-wxy", "1111-2222-3333-4444-5555", "11112222333344445555"},
        {"abcd-efgh-1234-5678-wxyz1", nullptr, ""},
        {nullptr, nullptr, ""},
    };
    for (const Case& c : cases) {
        set_code(0, c.first);
        set_code(1, c.second);
        char code[GAME_CODE_CAP];
        read_game_code(code, sizeof code);
        EXPECT_STREQ(code, c.code) << (c.first ? c.first : "-") << " / " << (c.second ? c.second : "-");
    }
    // A value of another type does not count.
    DWORD number = 7;
    RegSetValueExA(handles[0], "CODE", 0, REG_DWORD, (const BYTE*)&number, sizeof number);
    set_code(1, "1111-2222-3333-4444-5555");
    char code[GAME_CODE_CAP];
    read_game_code(code, sizeof code);
    EXPECT_STREQ(code, "11112222333344445555");

    for (int i = 1; i >= 0; i--) {
        set_code(i, nullptr);
        RegCloseKey(handles[i]);
        if (created[i]) RegDeleteKeyExA(HKEY_LOCAL_MACHINE, keys[i], KEY_WOW64_32KEY, 0);
    }
    if (created[0] && created[1]) RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KONAMIPES6", KEY_WOW64_32KEY, 0);
}
