// The language comes from overlay/lang, through the settings files' fall-back chain.
#include "core/language.h"

#include "core/settings.h"
#include "core/text_table.h"

void decide_language(const char* game_folder) {
    if (current_language() != LANGUAGE_UNDECIDED) return;
    char value[8];
    read_language_setting(game_folder, value, sizeof value);
    decide_language_from_value(value);
}
