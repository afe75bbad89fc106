// The language of the run and the lookup of shown texts in the text table.
#include "core/text_table.h"

#include <string.h>

// Written once on the main thread before the window and the workers exist; only read afterwards.
static Language g_language = LANGUAGE_UNDECIDED;

void decide_language_from_value(const char* value) {
    if (g_language != LANGUAGE_UNDECIDED) return;
    bool spanish = value && value[0] == 'e' && value[1] == 's';
    g_language = spanish ? LANGUAGE_SPANISH : LANGUAGE_ENGLISH;
}

Language current_language() {
    return g_language;
}

void forget_language() {
    g_language = LANGUAGE_UNDECIDED;
}

const char* lookup_text_in(const TextRow* table, Language language, const char* text) {
    if (!text) return "";
    for (const TextRow* row = table; row->source; row++) {
        if (strcmp(row->source, text) != 0) continue;
        if (language == LANGUAGE_SPANISH && row->spanish && row->spanish[0]) return row->spanish;
        if (row->english && row->english[0]) return row->english;
        return text;
    }
    return text;
}

const char* lookup_text(const char* text) {
    return lookup_text_in(TEXT_TABLE, g_language, text);
}
