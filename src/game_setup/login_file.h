// The text of the game's login.txt and the clean-up of the game's registration code. Portable (no
// Windows headers); reading the registry and writing the file are game_setup/game_account.h.
#pragma once

#include <stddef.h>

#include "account/account_answers.h"

#define LOGIN_TXT_MARK "# ZANDOR game account"
#define LOGIN_TXT_CAP 300
#define GAME_CODE_CAP 32
#define GAME_CODE_LENGTH 20

// The four CR LF lines of login.txt for a game account (cut at capacity); gives the length.
size_t format_login_txt(const GameAccount* account, char* out, size_t capacity);
// Whether a login.txt (its first bytes, length of them) is the launcher's to rewrite: one that begins
// with the mark, or what only a write of the launcher's cut short leaves: a cut start of the mark, or
// zero bytes only (a power cut). Anything else is the player's own, an empty file too (a player may
// empty it to get the game's own log-in screen).
bool login_txt_is_launchers(const char* text, size_t length);
// Keeps the letters and digits of a registration code, upper-cased (fewer than capacity of them);
// true when exactly 20 remain, else out is empty.
bool clean_game_code(const char* value, char* out, size_t capacity);
