// The settings files: migration, the language and update-host chains, and the language decision.
#include <gtest/gtest.h>

#include <windows.h>

#include "build_config.h"
#include "core/language.h"
#include "core/settings.h"
#include "core/text_table.h"
#include "support/test_support.h"

namespace {

struct SettingsTest : testing::Test {
    std::string folder = make_temp_folder("settings");
    void TearDown() override {
        remove_tree(folder);
        forget_language();
    }
    std::string path(const char* name) { return folder + "\\" + name; }
};

std::string language_of(const std::string& folder) {
    char value[8];
    read_language_setting(folder.c_str(), value, sizeof value);
    return value;
}

}  // namespace

TEST_F(SettingsTest, MigrationMovesTheOlderFileOnlyWhenZandorIniIsMissing) {
    char note[200] = "";
    EXPECT_FALSE(migrate_settings(folder.c_str(), note, sizeof note));  // nothing to migrate

    ASSERT_TRUE(write_file(path("tolven.ini"), "[overlay]\r\nlang=es\r\n"));
    ASSERT_TRUE(migrate_settings(folder.c_str(), note, sizeof note));
    EXPECT_STREQ(note, "settings: tolven.ini moved to zandor.ini");
    std::string content;
    ASSERT_TRUE(read_file(path("zandor.ini"), &content));
    EXPECT_EQ(content, "[overlay]\r\nlang=es\r\n");
    EXPECT_FALSE(file_exists(path("tolven.ini")));

    // Both present: nothing moves and the older file stays.
    ASSERT_TRUE(write_file(path("tolven.ini"), "[overlay]\r\nlang=en\r\n"));
    note[0] = 0;
    EXPECT_FALSE(migrate_settings(folder.c_str(), note, sizeof note));
    EXPECT_STREQ(note, "");
    EXPECT_TRUE(file_exists(path("tolven.ini")));
}

TEST_F(SettingsTest, LanguageChainTakesTheNextFileWhenAValueIsEmpty) {
    EXPECT_EQ(language_of(folder), "en");  // no file at all
    ASSERT_TRUE(write_file(path("ombrix.ini"), "[overlay]\nlang=es\n"));
    EXPECT_EQ(language_of(folder), "es");
    ASSERT_TRUE(write_file(path("tolven.ini"), "[Overlay]\nLANG=esp\n"));  // names compare without case
    EXPECT_EQ(language_of(folder), "esp");
    ASSERT_TRUE(write_file(path("zandor.ini"), "[overlay]\nlang=\n"));  // empty counts as absent
    EXPECT_EQ(language_of(folder), "esp");
    ASSERT_TRUE(write_file(path("zandor.ini"), "[overlay]\nlang=en-GB-long\n"));
    EXPECT_EQ(language_of(folder), "en-GB-l");  // cut at 8 bytes with the terminating zero
}

TEST_F(SettingsTest, LanguageDecisionLooksAtTheFirstTwoLettersOnce) {
    struct Case {
        const char* value;
        Language language;
    } cases[] = {{"es-ES", LANGUAGE_SPANISH}, {"esp", LANGUAGE_SPANISH}, {"ES", LANGUAGE_ENGLISH},
                 {"en", LANGUAGE_ENGLISH},    {"e", LANGUAGE_ENGLISH}};
    for (const Case& c : cases) {
        forget_language();
        ASSERT_TRUE(write_file(path("zandor.ini"), std::string("[overlay]\nlang=") + c.value + "\n"));
        decide_language(folder.c_str());
        EXPECT_EQ(current_language(), c.language) << c.value;
    }
    // Decided once: a later call with other settings changes nothing.
    ASSERT_TRUE(write_file(path("zandor.ini"), "[overlay]\nlang=es\n"));
    decide_language(folder.c_str());
    EXPECT_EQ(current_language(), LANGUAGE_ENGLISH);
}

TEST_F(SettingsTest, UpdateHostChainEndsAtTheBuiltInAddress) {
    char host[128];
    read_update_host_setting(folder.c_str(), host, sizeof host);
    EXPECT_STREQ(host, ZANDOR_SERVER_ADDRESS);
    ASSERT_TRUE(write_file(path("ombrix.ini"), "[sync]\nhost=bots.example\n"));
    read_update_host_setting(folder.c_str(), host, sizeof host);
    EXPECT_STREQ(host, "bots.example");
    ASSERT_TRUE(write_file(path("zandor.ini"), "[sync]\nhost=\n"));
    read_update_host_setting(folder.c_str(), host, sizeof host);
    EXPECT_STREQ(host, "bots.example");
    ASSERT_TRUE(write_file(path("zandor.ini"), "[sync]\nhost=10.0.0.7\n"));
    read_update_host_setting(folder.c_str(), host, sizeof host);
    EXPECT_STREQ(host, "10.0.0.7");
}

TEST_F(SettingsTest, AbsentAndEmptyValuesAreToldApart) {
    // The server choice's read relies on this: an absent key gives the default, an empty one "".
    const char missing[] = "\x01missing";
    char value[128];
    read_folder_setting(folder.c_str(), "zandor.ini", "online", "server", missing, value, sizeof value);
    EXPECT_STREQ(value, missing);
    ASSERT_TRUE(write_file(path("zandor.ini"), "[online]\nserver=\n"));
    read_folder_setting(folder.c_str(), "zandor.ini", "online", "server", missing, value, sizeof value);
    EXPECT_STREQ(value, "");
}
