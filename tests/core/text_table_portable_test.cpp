// The text table and the language of the run: lookup rules, the table's own consistency, and the
// decision from the `lang` value.
#include <gtest/gtest.h>

#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "core/text.h"
#include "core/text_table.h"

namespace {

// Every test starts and ends with the language undecided.
class TextTable : public ::testing::Test {
protected:
    void SetUp() override { forget_language(); }
    void TearDown() override { forget_language(); }
};

// The printf conversions of a text, in order ("%%" included).
std::vector<std::string> placeholders(const char* text) {
    std::vector<std::string> found;
    for (const char* p = text; *p; p++) {
        if (*p != '%') continue;
        const char* start = p++;
        if (*p == '%') {
            found.push_back("%%");
            continue;
        }
        while (*p && strchr("-+ #0123456789.hlLzjt", *p)) p++;
        if (!*p) {
            found.push_back(std::string(start));  // a lone '%' at the end
            break;
        }
        found.push_back(std::string(start, p + 1));
    }
    return found;
}

// Plain ASCII, line feeds and the Windows-1252 letters Spanish needs; anything else (such as UTF-8
// bytes or an escape that ate the next letter) is a mistake in the table.
bool only_expected_bytes(const char* text) {
    static const std::string spanish_letters = "\xe1\xe9\xed\xf3\xfa\xf1\xc1\xc9\xcd\xd3\xda\xd1\xfc\xbf\xa1";
    for (const unsigned char* p = (const unsigned char*)text; *p; p++) {
        if (*p == '\n' || (*p >= 0x20 && *p < 0x7f)) continue;
        if (spanish_letters.find((char)*p) == std::string::npos) return false;
    }
    return true;
}

size_t row_count() {
    size_t n = 0;
    while (TEXT_TABLE[n].source) n++;
    return n;
}

}  // namespace

TEST_F(TextTable, HasEightyNineRowsWithUniqueSourcesAndEveryColumnFilled) {
    EXPECT_EQ(row_count(), 89u);
    std::set<std::string> sources;
    for (const TextRow* row = TEXT_TABLE; row->source; row++) {
        EXPECT_TRUE(sources.insert(row->source).second) << "twice: " << row->source;
        EXPECT_TRUE(row->english && row->english[0]) << row->source;
        EXPECT_TRUE(row->spanish && row->spanish[0]) << row->source;
    }
    EXPECT_EQ(sources.count(ANY_SERVER_SUBTITLE), 1u);
}

// Callers format the looked-up text with their own arguments, so every column must hold the same
// conversions in the same order, and only the ones the callers pass.
TEST_F(TextTable, EveryRowKeepsItsPlaceholdersInEveryColumn) {
    const std::set<std::string> allowed = {"%s", "%d", "%ld", "%lu", "%%"};
    for (const TextRow* row = TEXT_TABLE; row->source; row++) {
        std::vector<std::string> wanted = placeholders(row->source);
        for (const std::string& p : wanted) EXPECT_EQ(allowed.count(p), 1u) << p << " in " << row->source;
        EXPECT_EQ(placeholders(row->english), wanted) << row->source;
        EXPECT_EQ(placeholders(row->spanish), wanted) << row->source;
        for (const char* text : {row->source, row->english, row->spanish}) {
            EXPECT_TRUE(only_expected_bytes(text)) << text;
        }
    }
}

TEST_F(TextTable, LooksUpByExactSourceText) {
    EXPECT_STREQ(lookup_text(nullptr), "");
    const char* unknown = "Not a text of the table";
    EXPECT_EQ(lookup_text(unknown), unknown);
    const char* other_case = "log in";
    EXPECT_EQ(lookup_text(other_case), other_case);
    const char* with_space = "Log in ";
    EXPECT_EQ(lookup_text(with_space), with_space);

    decide_language_from_value("es");
    EXPECT_EQ(lookup_text(unknown), unknown);
    EXPECT_EQ(lookup_text(other_case), other_case);
    EXPECT_STREQ(lookup_text(nullptr), "");
}

TEST_F(TextTable, ShowsTheEnglishTextUnlessSpanishIsDecided) {
    struct Case {
        const char* source;
        const char* english;
    } cases[] = {
        {"Log in", "Log in"},
        {"Where is your PES6?", "Where is your PES6 installed?"},
        {"No account yet? Make one", "No account yet? Create one"},
        {"Server: %s (set by hand in zandor.ini)", "Server: %s (set manually in zandor.ini)"},
        {"The game could not be started (error %lu).", "Could not start the game (error %lu)."},
        {"The update continues next time", "The update will continue next time"},
        {"For help with your ZANDOR account, write to %s from the e-mail address of your Google account.",
         "For help with your ZANDOR account, email %s from your Google account address."},
        {ANY_SERVER_SUBTITLE, ANY_SERVER_SUBTITLE},
    };
    for (const char* value : {(const char*)nullptr, "en"}) {
        forget_language();
        if (value) decide_language_from_value(value);  // undecided first, then English
        for (const Case& c : cases) EXPECT_STREQ(lookup_text(c.source), c.english) << c.source;
    }
}

TEST_F(TextTable, ShowsTheSpanishTextOnceSpanishIsDecided) {
    struct Case {
        const char* source;
        const char* spanish;
    } cases[] = {
        {"Log in", "Iniciar sesi\xf3" "n"},
        {"Play now", "Jugar ya"},
        {"Browse...", "Examinar..."},
        {"Need help?", "\xbfNecesitas ayuda?"},
        {"Starting the game...", "Iniciando el juego..."},
        {"%s\nStarting the game in %d s...", "%s\nIniciando el juego en %d s..."},
        {"Updating ZANDOR: %d %% (%d of %d MB)", "Actualizando ZANDOR: %d %% (%d de %d MB)"},
        {"Server: %s (set by hand in zandor.ini)", "Servidor: %s (fijado a mano en zandor.ini)"},
        {"The game could not be started (error %lu).", "No se pudo iniciar el juego (error %lu)."},
        {"Please close the game first.", "Por favor, cierra el juego primero."},
    };
    decide_language_from_value("es-ES");
    for (const Case& c : cases) EXPECT_STREQ(lookup_text(c.source), c.spanish) << c.source;
    EXPECT_STRNE(lookup_text(ANY_SERVER_SUBTITLE), ANY_SERVER_SUBTITLE);
}

TEST_F(TextTable, EmptyColumnsFallBackToEnglishThenToTheSource) {
    const TextRow table[] = {
        {"only source", "", ""},
        {"no spanish", "English", ""},
        {"both", "English", "Espa\xf1ol"},
        {"only source", "later row", "never reached"},
        {nullptr, nullptr, nullptr},
    };
    struct Case {
        const char* text;
        Language language;
        const char* shown;
    } cases[] = {
        {"only source", LANGUAGE_SPANISH, "only source"}, {"only source", LANGUAGE_ENGLISH, "only source"},
        {"no spanish", LANGUAGE_SPANISH, "English"},      {"both", LANGUAGE_SPANISH, "Espa\xf1ol"},
        {"both", LANGUAGE_UNDECIDED, "English"},          {"missing", LANGUAGE_SPANISH, "missing"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(lookup_text_in(table, c.language, c.text), c.shown) << c.text << " " << c.language;
    }
}

TEST_F(TextTable, FormattedTextFillsTheSameArgumentInEitherLanguage) {
    const char* folder = "C:\\Games\\PES6";
    char shown[128];
    format_text(shown, sizeof shown, lookup_text("pes6.exe is not in this folder: %s"), folder);
    EXPECT_STREQ(shown, "pes6.exe is not in this folder: C:\\Games\\PES6");
    decide_language_from_value("es");
    format_text(shown, sizeof shown, lookup_text("pes6.exe is not in this folder: %s"), folder);
    EXPECT_STREQ(shown, "pes6.exe no est\xe1 en esta carpeta: C:\\Games\\PES6");
    format_text(shown, sizeof shown, lookup_text("Updating ZANDOR: %d %% (%d of %d MB)"), 42, 21, 50);
    EXPECT_STREQ(shown, "Actualizando ZANDOR: 42 % (21 de 50 MB)");
}

TEST_F(TextTable, DecidesTheLanguageOnceFromTheLangValue) {
    struct Case {
        const char* value;
        Language language;
    } cases[] = {
        {"es", LANGUAGE_SPANISH},  {"es-ES", LANGUAGE_SPANISH}, {"esp", LANGUAGE_SPANISH},
        {"ES", LANGUAGE_ENGLISH},  {"Es", LANGUAGE_ENGLISH},    {"en", LANGUAGE_ENGLISH},
        {"e", LANGUAGE_ENGLISH},   {"", LANGUAGE_ENGLISH},      {" es", LANGUAGE_ENGLISH},
        {nullptr, LANGUAGE_ENGLISH},
    };
    EXPECT_EQ(current_language(), LANGUAGE_UNDECIDED);
    for (const Case& c : cases) {
        forget_language();
        decide_language_from_value(c.value);
        EXPECT_EQ(current_language(), c.language) << (c.value ? c.value : "(null)");
        // A second decision changes nothing, whichever way it would go.
        decide_language_from_value(c.language == LANGUAGE_SPANISH ? "en" : "es");
        EXPECT_EQ(current_language(), c.language) << (c.value ? c.value : "(null)");
    }
}
