// The game account file: asks the account server for the player's game account and writes the
// game's login.txt with it, never touching a login.txt that the player made.
#pragma once

#include <stddef.h>

#include "account/saved_login.h"
#include "game_setup/login_file.h"

// What the step needs from the launcher, passed in by the update worker.
struct GameAccountStep {
    const char* account_host;
    unsigned short account_port;
    const char* game_folder;
    bool logged_in;            // the player is logged in
    const SavedLogin* login;   // the saved log-in with its token
    const volatile long* stop; // the update run's stop flag (interlocked)
};

// The game's registration code from the registry (32-bit view), or the empty text.
void read_game_code(char* out, size_t capacity);
// Writes login.txt in the game folder unless it is the player's own or already up to date; logs.
void write_login_txt(const char* game_folder, const GameAccount* account);
// The whole step: when logged in and not stopping, GAMEACCOUNT then login.txt; logs a failure.
void write_game_account(const GameAccountStep* step);
