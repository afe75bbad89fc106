// The texts shown to the player, in English or Spanish: the language of the run and the lookup by
// source text. Portable (no Windows headers).
#pragma once

enum Language { LANGUAGE_UNDECIDED, LANGUAGE_ENGLISH, LANGUAGE_SPANISH };

// One shown text: the source text the code passes, and what to show in each language
// (Windows-1252 bytes). An empty column falls back to the English text, then to the source.
struct TextRow {
    const char* source;
    const char* english;
    const char* spanish;
};

extern const TextRow TEXT_TABLE[];  // ended by a row whose source is null
extern const char ANY_SERVER_SUBTITLE[];  // the any-server card's subtitle, as its source text

// Decides the language from an `overlay` `lang` value (Spanish when it starts with "es", lower case);
// does nothing once decided. Called on the main thread before any worker starts.
void decide_language_from_value(const char* value);
Language current_language();
void forget_language();  // back to undecided: for tests only

// The text to show for a source text in the current language: null gives "", a text not in the
// table is returned as it is.
const char* lookup_text(const char* text);
// The same lookup in a given table and language (undecided counts as English).
const char* lookup_text_in(const TextRow* table, Language language, const char* text);
