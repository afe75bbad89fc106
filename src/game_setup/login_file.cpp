// login.txt content and the registration code's form.
#include "game_setup/login_file.h"

#include <ctype.h>
#include <string.h>

size_t format_login_txt(const GameAccount* account, char* out, size_t capacity) {
    return format_text(out, capacity,
                       "%s - written by the ZANDOR Launcher, which logs the game in with it\r\nname=%s\r\n"
                       "password=%s\r\nserial=%s\r\n",
                       LOGIN_TXT_MARK, account->name, account->password, account->serial);
}

bool login_txt_is_launchers(const char* text, size_t length) {
    if (length == 0) return false;
    size_t mark = strlen(LOGIN_TXT_MARK);
    if (memcmp(text, LOGIN_TXT_MARK, length < mark ? length : mark) == 0) return true;
    for (size_t i = 0; i < length; i++) {
        if (text[i] != 0) return false;
    }
    return true;
}

bool clean_game_code(const char* value, char* out, size_t capacity) {
    if (capacity == 0) return false;
    size_t count = 0;
    for (const unsigned char* p = (const unsigned char*)value; *p && count + 1 < capacity; p++) {
        if (isalnum(*p)) out[count++] = (char)toupper(*p);
    }
    out[count] = 0;
    if (count == GAME_CODE_LENGTH) return true;
    out[0] = 0;
    return false;
}
