// The JSON of installed.json and boot.json: exact text and member order, lenient reading, escaping.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "updates/json_text.h"
#include "updates/state_text.h"

namespace {

std::string installed_text(const InstalledState& state) {
    char text[STATE_TEXT_CAP];
    installed_state_to_text(&state, text, sizeof text);
    return text;
}

std::string boot_text(const BootState& state) {
    char text[STATE_TEXT_CAP];
    boot_state_to_text(&state, text, sizeof text);
    return text;
}

InstalledState sample_installed() {
    InstalledState state = {};
    strcpy(state.channel, "client");
    state.highest_release_seen = 18446744073709551615ull;
    state.installed_release = 41;
    state.staged_release = 42;
    state.bots_wanted = true;
    state.dll_managed = false;
    for (int kind = 0; kind < PART_KIND_COUNT; kind++) {
        state.version[kind] = 10 + kind;
        state.staged_version[kind] = 20 + kind;
    }
    strcpy(state.dll_sha512, std::string(128, 'a').c_str());
    return state;
}

}  // namespace

TEST(StateText, InstalledJsonHasItsExactTextAndOrder) {
    EXPECT_EQ(installed_text(sample_installed()),
              "{\n"
              " \"channel\": \"client\",\n"
              " \"highest_release_seen\": 18446744073709551615,\n"
              " \"installed_release\": 41,\n"
              " \"staged_release\": 42,\n"
              " \"bots_wanted\": 1,\n"
              " \"dll_managed\": 0,\n"
              " \"dll_version\": 10,\n"
              " \"staged_dll_version\": 20,\n"
              " \"bots_version\": 11,\n"
              " \"staged_bots_version\": 21,\n"
              " \"runtime_version\": 12,\n"
              " \"staged_runtime_version\": 22,\n"
              " \"launcher_version\": 13,\n"
              " \"staged_launcher_version\": 23,\n"
              " \"dll_sha512\": \"" + std::string(128, 'a') + "\",\n"
              " \"bad_dll_sha512\": \"\",\n"
              " \"format\": 1\n"
              "}\n");
}

TEST(StateText, BootJsonHasItsExactTextAndOrder) {
    BootState state = {};
    strcpy(state.pending_sha512, "ab");
    state.pending_version = 7;
    strcpy(state.previous_path, "C:\\Games\\d3d8.dll");
    strcpy(state.previous_sha512, "cd");
    state.previous_version = 6;
    EXPECT_EQ(boot_text(state),
              "{\n"
              " \"pending_sha512\": \"ab\",\n"
              " \"pending_version\": 7,\n"
              " \"attempts\": 0,\n"
              " \"previous_path\": \"C:\\\\Games\\\\d3d8.dll\",\n"
              " \"previous_sha512\": \"cd\",\n"
              " \"previous_version\": 6,\n"
              " \"format\": 1\n"
              "}\n");
}

TEST(StateText, WrittenStatesReadBackTheSame) {
    InstalledState state = sample_installed(), back;
    strcpy(state.bad_dll_sha512, std::string(128, '0').c_str());
    state.dll_managed = true;
    installed_state_from_text(installed_text(state).c_str(), &back);
    EXPECT_EQ(memcmp(&state, &back, sizeof state), 0);

    BootState boot = {}, boot_back;
    strcpy(boot.previous_path, "D:\\Juegos\\Pro Evolution Soccer 6 \xc1\xe9\xf1\\d3d8.dll");  // ANSI accents
    boot.attempts = 3;
    boot_state_from_text(boot_text(boot).c_str(), &boot_back);
    EXPECT_EQ(memcmp(&boot, &boot_back, sizeof boot), 0);
}

TEST(StateText, ValuesThatReadLikeMemberNamesAreNotTakenForThem) {
    InstalledState state = sample_installed(), back;
    for (const char* channel : {"installed_release", "highest_release_seen", "dll_version"}) {
        memset(state.channel, 0, sizeof state.channel);
        strcpy(state.channel, channel);
        installed_state_from_text(installed_text(state).c_str(), &back);
        EXPECT_EQ(memcmp(&state, &back, sizeof state), 0) << channel;
    }
    BootState boot = {}, boot_back;
    strcpy(boot.previous_path, "previous_version");
    boot.previous_version = 6;
    boot_state_from_text(boot_text(boot).c_str(), &boot_back);
    EXPECT_EQ(memcmp(&boot, &boot_back, sizeof boot), 0);
}

TEST(StateText, LenientReading) {
    struct Case {
        const char* name;
        const char* text;
    } cases[] = {
        {"other order, TABs", "{\n\t\"dll_version\":\t5,\n\t\"channel\":\t\"beta\",\n\t\"staged_dll_version\": 9,\n"
                              "\"bots_wanted\" : 2}"},
        {"no spaces", "{\"staged_dll_version\":9,\"dll_version\":5,\"bots_wanted\":1,\"channel\":\"beta\"}"},
        {"colons and unknown members", "{\"x\": {\"y\": 1}, \"channel\"::\"beta\", \"dll_version\" 5,"
                                       " \"staged_dll_version\"\t:\t9 \"bots_wanted\":7}"},
    };
    for (const Case& c : cases) {
        InstalledState state;
        installed_state_from_text(c.text, &state);
        EXPECT_STREQ(state.channel, "beta") << c.name;
        EXPECT_EQ(state.version[PART_DLL], 5u) << c.name;  // not taken from staged_dll_version
        EXPECT_EQ(state.staged_version[PART_DLL], 9u) << c.name;
        EXPECT_TRUE(state.bots_wanted) << c.name;
        EXPECT_FALSE(state.dll_managed) << c.name;
        EXPECT_EQ(state.highest_release_seen, 0u) << c.name;
    }
}

TEST(StateText, MissingOrMistypedMembersReadAsZeroOrEmpty) {
    const char* text = "{\"channel\": 5, \"dll_version\": \"7\", \"installed_release\": -3,"
                       " \"staged_release\": 12ab, \"bots_version\": 4294967301, \"dll_sha512\": \"abc";
    InstalledState state;
    installed_state_from_text(text, &state);
    EXPECT_STREQ(state.channel, "");
    EXPECT_EQ(state.version[PART_DLL], 0u);
    EXPECT_EQ(state.installed_release, 0u);
    EXPECT_EQ(state.staged_release, 12u);
    EXPECT_EQ(state.version[PART_BOTS], 5u);  // the low 32 bits
    EXPECT_STREQ(state.dll_sha512, "abc");    // an unterminated string runs to the end of the text
    installed_state_from_text("", &state);
    EXPECT_EQ(state.highest_release_seen, 0u);
}

TEST(Json, StringValuesAreEscapedAndReadBack) {
    struct Case {
        const char* value;
        const char* written;  // between the quotes
        const char* read;
    } cases[] = {
        {"be\"ta", "beta", "beta"},
        {"be\tta\r\n", "beta", "beta"},
        {"a\\b", "a\\\\b", "a\\b"},
        {"\\\\server\\share\\", "\\\\\\\\server\\\\share\\\\", "\\\\server\\share\\"},
        {"caf\xe9 \x80\xff", "caf\xe9 \x80\xff", "caf\xe9 \x80\xff"},
    };
    for (const Case& c : cases) {
        char text[1024];
        json_begin(text, sizeof text);
        json_put_string(text, sizeof text, "v", c.value);
        json_put_end(text, sizeof text);
        EXPECT_EQ(std::string(text), std::string("{\n \"v\": \"") + c.written + "\",\n \"format\": 1\n}\n");
        char back[300];
        json_get_string(text, "v", back, sizeof back);
        EXPECT_STREQ(back, c.read);
    }
}

TEST(Json, LongValuesAreCutWithoutSplittingABackslashPair) {
    // 259 backslashes fit exactly (518 bytes written); one more value byte is cut.
    for (size_t count : {259u, 260u, 300u}) {
        std::string value(count, '\\');
        char text[2048];
        json_begin(text, sizeof text);
        json_put_string(text, sizeof text, "previous_path", value.c_str());
        json_put_number(text, sizeof text, "previous_version", 6);
        json_put_end(text, sizeof text);
        char back[STATE_PATH_CAP];
        json_get_string(text, "previous_path", back, sizeof back);
        EXPECT_EQ(std::string(back), std::string(259, '\\')) << count;
        EXPECT_EQ(json_get_number(text, "previous_version"), 6u) << count;
    }
    std::string plain(600, 'x');
    char text[2048];
    json_begin(text, sizeof text);
    json_put_string(text, sizeof text, "v", plain.c_str());
    EXPECT_EQ(std::string(text), "{\n \"v\": \"" + std::string(JSON_VALUE_LIMIT, 'x') + "\",\n");
}

TEST(Json, ReadingCutsAtTheBufferAndNeverRunsPastTheText) {
    char small[4];
    json_get_string("{\"v\": \"abcdef\"}", "v", small, sizeof small);
    EXPECT_STREQ(small, "abc");
    json_get_string("{\"v\": \"ab\\", "v", small, sizeof small);  // a backslash at the very end
    EXPECT_STREQ(small, "ab");
    json_get_string("{\"v\": \"a\\\"b\"}", "v", small, sizeof small);  // an escaped quote is taken
    EXPECT_STREQ(small, "a\"b");
    json_get_string("{\"v\"", "v", small, sizeof small);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(json_get_number("{\"n\":", "n"), 0u);
}

TEST(Json, WritingCutsAtTheBuffer) {
    char text[40];
    memset(text, '#', sizeof text);
    InstalledState state = sample_installed();
    installed_state_to_text(&state, text, sizeof text);
    EXPECT_EQ(strlen(text), sizeof text - 1);
    EXPECT_EQ(std::string(text, 10), "{\n \"channe");
}

// The checks the boot check makes of boot.json's values before it moves anything.
TEST(StateText, BootValueChecks) {
    const std::string hex(64, 'a'), digest = hex + std::string(64, '0');
    EXPECT_TRUE(is_digest_hex(digest.c_str()));
    EXPECT_TRUE(is_digest_hex((std::string(64, 'F') + std::string(64, '9')).c_str()));
    const char* not_digests[] = {"", "abc", "..\\..\\x", nullptr};
    for (int i = 0; not_digests[i]; i++) EXPECT_FALSE(is_digest_hex(not_digests[i])) << not_digests[i];
    EXPECT_FALSE(is_digest_hex(digest.substr(1).c_str()));
    EXPECT_FALSE(is_digest_hex((digest + "0").c_str()));
    EXPECT_FALSE(is_digest_hex(("g" + digest.substr(1)).c_str()));
    char mixed[] = "aBcDeF09";
    digest_hex_lower(mixed);
    EXPECT_STREQ(mixed, "abcdef09");

    const char* folder = "C:\\Games\\PES6\\ombrix_data\\updates";
    struct Case {
        const char* path;
        bool inside;
    } cases[] = {
        {"C:\\Games\\PES6\\ombrix_data\\updates\\previous\\dll_v12\\d3d8.dll", true},
        {"c:\\games\\pes6\\OMBRIX_DATA\\UPDATES\\x.dll", true},
        {"C:\\Games\\PES6\\ombrix_data\\updates\\.hidden\\a..b", true},
        {"C:\\Games\\PES6\\ombrix_data\\updates", false},
        {"C:\\Games\\PES6\\ombrix_data\\updates\\", false},
        {"C:\\Games\\PES6\\ombrix_data\\updatesx\\d3d8.dll", false},
        {"C:\\Games\\PES6\\ombrix_data\\updates\\..\\..\\pes6.exe", false},
        {"C:\\Games\\PES6\\ombrix_data\\updates\\previous\\..\\..\\x", false},
        {"C:\\Games\\PES6\\ombrix_data\\updates\\.\\x", false},
        {"C:\\Games\\PES6\\ombrix_data\\updates\\.. \\x", false},
        {"C:\\Games\\PES6\\ombrix_data\\updates\\x.", false},
        {"C:\\Games\\PES6\\ombrix_data\\updates\\a\\\\b", false},
        {"C:\\Games\\PES6\\ombrix_data\\updates\\a/../../b", false},
        {"C:\\Games\\PES6\\ombrix_data\\updates\\x:stream", false},
        {"C:\\Games\\PES6\\d3d8.dll", false},
        {"previous\\d3d8.dll", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(path_inside_folder(c.path, folder), c.inside) << c.path;
    EXPECT_FALSE(path_inside_folder("\\x", ""));
}
