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
// Keeps the letters and digits of a registration code, upper-cased (fewer than capacity of them);
// true when exactly 20 remain, else out is empty.
bool clean_game_code(const char* value, char* out, size_t capacity);
