// The update manifest: signature checks, line rules and part rules, each refusal with its text.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "support/signed_manifest.h"
#include "updates/manifest.h"

namespace {

struct Parsed {
    bool ok;
    std::string error;
};

bool manifest_is_empty(const UpdateManifest& manifest) {
    static const UpdateManifest zero = {};
    return memcmp(&manifest, &zero, sizeof zero) == 0;
}

// Parses text into a manifest that held a valid parse before, so a refusal must also release it.
Parsed parse_text(const std::string& text, UpdateManifest* manifest) {
    char error[400] = "untouched";
    Parsed result;
    result.ok = manifest_parse(text.data(), text.size(), manifest, error, sizeof error);
    result.error = error;
    if (!result.ok) {
        EXPECT_TRUE(manifest_is_empty(*manifest)) << "a refusal leaves the manifest empty";
        EXPECT_FALSE(result.error.empty());
    } else {
        EXPECT_EQ(result.error, "");
    }
    return result;
}

Parsed parse_text(const std::string& text) {
    UpdateManifest manifest = {};
    std::string valid = signed_manifest(body_of(full_manifest_lines()));
    EXPECT_TRUE(manifest_parse(valid.data(), valid.size(), &manifest, nullptr, 0));
    Parsed result = parse_text(text, &manifest);
    manifest_clear(&manifest);
    return result;
}

// The full manifest with lines replaced: every (index, text) pair replaces that line, an index past
// the end appends.
std::string edited_body(const std::vector<std::pair<size_t, std::string>>& edits) {
    std::vector<std::string> lines = full_manifest_lines();
    for (const auto& edit : edits) {
        if (edit.first < lines.size()) {
            lines[edit.first] = edit.second;
        } else {
            lines.push_back(edit.second);
        }
    }
    return body_of(lines);
}

}  // namespace

TEST(Manifest, ParsesEveryFieldOfAValidManifest) {
    std::string text = signed_manifest(body_of(full_manifest_lines()), TEST_KEY_2);
    UpdateManifest manifest = {};
    ASSERT_TRUE(parse_text(text, &manifest).ok);
    EXPECT_STREQ(manifest.channel, "client");
    EXPECT_EQ(manifest.release, 7u);
    EXPECT_EQ(manifest.issued_utc_ms, 1700000000000ull);
    EXPECT_EQ(manifest.key_id, 2u);
    ASSERT_EQ(manifest.file_count, 7u);
    const uint32_t first[4] = {0, 1, 3, 6}, count[4] = {1, 2, 3, 1}, version[4] = {12, 3, 2, 5};
    const uint64_t total[4] = {1234, 21, 63, 30};
    const bool required[4] = {true, false, false, true};
    for (int kind = 0; kind < PART_KIND_COUNT; kind++) {
        const ManifestPart& part = manifest.parts[kind];
        EXPECT_TRUE(part.present);
        EXPECT_EQ(part.version, version[kind]);
        EXPECT_EQ(part.required, required[kind]);
        EXPECT_EQ(part.first_file, first[kind]);
        EXPECT_EQ(part.file_count, count[kind]);
        EXPECT_EQ(part.total_size, total[kind]);
        for (uint32_t i = 0; i < part.file_count; i++) EXPECT_EQ(manifest.files[part.first_file + i].kind, kind);
    }
    EXPECT_STREQ(manifest.files[5].path, "lib/security/java.policy");
    EXPECT_EQ(manifest.files[5].size, 22u);
    EXPECT_EQ(manifest.files[0].sha512[0], 0x12);
    EXPECT_EQ(manifest.files[0].sha512[63], 0xf0);
    ASSERT_EQ(manifest.known_dll_count, 2u);
    EXPECT_EQ(manifest.known_dlls[1][0], 0x9a);
    ASSERT_EQ(manifest.raw_length, text.size());
    EXPECT_EQ(std::string(manifest.raw_text, manifest.raw_length), text);
    manifest_clear(&manifest);
    EXPECT_TRUE(manifest_is_empty(manifest));
}

TEST(Manifest, PartKindNamesAndBits) {
    const char* names[] = {"dll", "bots", "runtime", "launcher"};
    for (int kind = 0; kind < PART_KIND_COUNT; kind++) {
        EXPECT_STREQ(part_kind_name(kind), names[kind]);
        EXPECT_EQ(PART_BIT(kind), 1u << kind);
    }
    EXPECT_STREQ(part_kind_name(-1), "?");
    EXPECT_STREQ(part_kind_name(4), "?");
}

// Everything about the signature line and the signature itself.
TEST(Manifest, SignatureLineCases) {
    const std::string body = body_of(full_manifest_lines());
    const std::string signature = signature_field(body, TEST_KEY_1);
    const std::string bad_sig = "the manifest signature does not check out (not from the ZANDOR release key)";
    std::string flipped_last = signature;
    flipped_last.back()++;  // A, Q, g or w become B, R, h or x: an unused low bit set
    std::string changed_body = body;
    changed_body[40] ^= 1;
    struct Case {
        const char* name;
        std::string text;
        std::string error;  // "" = accepted
    } cases[] = {
        {"LF end", body + "signature\t1\t" + signature + "\n", ""},
        {"CR LF end", body + "signature\t1\t" + signature + "\r\n", ""},
        {"several LFs", body + "signature\t1\t" + signature + "\n\n\r\n\n", ""},
        {"no line end", body + "signature\t1\t" + signature, ""},
        {"padded url-safe", body + "signature\t1\t" + signature + "==\n", ""},
        {"many padding characters", body + "signature\t1\t" + signature + "=====\n", ""},
        {"a long run of padding", body + "signature\t1\t" + signature + std::string(200, '=') + "\n", ""},
        {"padding inside", body + "signature\t1\t" + signature.substr(0, 40) + "=" + signature.substr(40) + "\n",
         "bad signature encoding"},
        {"standard alphabet", body + "signature\t1\t" + signature_field(body, TEST_KEY_1, false, true) + "\n", ""},
        {"key id with leading zeros", body + "signature\t001\t" + signature + "\n", ""},
        {"second key", signed_manifest(body, TEST_KEY_2), ""},
        {"empty text", "", "manifest empty or too long"},
        {"no signature line", body, "no signature line"},
        {"signature without TAB", body + "signature 1 " + signature + "\n", "no signature line"},
        {"signature as first line", "signature\t1\t" + signature + "\n", "no signature line"},
        {"signature tag cut short", body + "signature", "no signature line"},
        {"two fields", body + "signature\t" + signature + "\n", "bad signature line"},
        {"four fields", body + "signature\t1\t" + signature + "\tx\n", "bad signature line"},
        {"key id 256", body + "signature\t256\t" + signature + "\n", "bad key id"},
        {"key id 1a", body + "signature\t1a\t" + signature + "\n", "bad key id"},
        {"empty key id", body + "signature\t\t" + signature + "\n", "bad key id"},
        {"signed key id", body + "signature\t+1\t" + signature + "\n", "bad key id"},
        {"key id 0", body + "signature\t0\t" + signature + "\n", "signed with key 0, which this build does not trust"},
        {"key id 3", body + "signature\t3\t" + signature + "\n", "signed with key 3, which this build does not trust"},
        {"key id 200", body + "signature\t200\t" + signature + "\n", "signed with key 200, which this build does not trust"},
        {"trailing space", body + "signature\t1\t" + signature + " \n", "bad signature encoding"},
        {"one character over", body + "signature\t1\t" + signature + "AAA\n", "bad signature encoding"},
        {"one character short", body + "signature\t1\t" + signature.substr(1) + "\n", "bad signature encoding"},
        {"63 bytes", body + "signature\t1\t" + signature.substr(0, 84) + "\n", "bad signature encoding"},
        {"unused bits set", body + "signature\t1\t" + flipped_last + "\n", "bad signature encoding"},
        {"bad character", body + "signature\t1\t*" + signature.substr(1) + "\n", "bad signature encoding"},
        {"line after the signature", body + "signature\t1\t" + signature + "\nextra\n", "bad signature encoding"},
        {"untrusted key", signed_manifest(body, TEST_KEY_UNTRUSTED, "1"), bad_sig},
        {"other trusted key's id", signed_manifest(body, TEST_KEY_2, "1"), bad_sig},
        {"changed body byte", changed_body + "signature\t1\t" + signature + "\n", bad_sig},
        {"extra empty line before signature", body + "\nsignature\t1\t" + signature + "\n", bad_sig},
        {"signature over another text", body + "signature\t1\t" + signature_field(changed_body, TEST_KEY_1) + "\n", bad_sig},
    };
    for (const Case& c : cases) {
        Parsed result = parse_text(c.text);
        EXPECT_EQ(result.ok, c.error.empty()) << c.name << ": " << result.error;
        if (!c.error.empty()) {
            EXPECT_EQ(result.error, c.error) << c.name;
        }
    }
}

// The two Base64 alphabets: find a body whose signature uses both of the characters for 62 and 63.
TEST(Manifest, BothBase64AlphabetsDecodeAlike) {
    for (int issued = 0; issued < 200; issued++) {
        std::string body = edited_body({{3, "issued_utc_ms\t" + std::to_string(issued)}});
        std::string url = signature_field(body, TEST_KEY_1, true, false);
        if (url.find('-') == std::string::npos || url.find('_') == std::string::npos) continue;
        std::string standard = signature_field(body, TEST_KEY_1, false, true);
        std::string mixed = url;
        mixed[url.find('-')] = '+';  // the alphabets may even be mixed
        for (const std::string& field : {url, standard, mixed}) {
            EXPECT_TRUE(parse_text(body + "signature\t1\t" + field + "\n").ok) << field;
        }
        return;
    }
    FAIL() << "no signature with both '-' and '_' found";
}

// Body lines, one table: each case edits the valid manifest (line index, new text).
TEST(Manifest, LineRules) {
    auto invalid = [](int line) { return "manifest line " + std::to_string(line) + " is not valid"; };
    const std::string d = digest_hex(1);
    std::string upper = digest_hex(10);
    for (char& c : upper) c = (char)toupper(c);
    struct Case {
        const char* name;
        std::vector<std::pair<size_t, std::string>> edits;
        std::string error;  // "" = accepted
    } cases[] = {
        {"wrong magic version", {{0, "ZANDOR-UPDATE-MANIFEST\t2"}}, invalid(1)},
        {"magic with three fields", {{0, "ZANDOR-UPDATE-MANIFEST\t1\t"}}, invalid(1)},
        {"empty first line", {{0, ""}}, invalid(1)},
        {"second magic line", {{2, "ZANDOR-UPDATE-MANIFEST\t1"}}, invalid(3)},
        {"unknown key", {{2, "colour\tblue"}}, invalid(3)},
        {"known key, wrong field count", {{2, "release\t7\t8"}}, invalid(3)},
        {"CR before LF", {{1, "channel\tclient\r"}}, invalid(2)},
        {"empty line counts", {{3, ""}, {4, "part\tdll\t0\trequired"}}, invalid(5)},
        {"line of 599 bytes", {{3, "issued_utc_ms\t" + std::string(585, '1')}}, invalid(4)},
        {"line of 600 bytes", {{3, "issued_utc_ms\t" + std::string(586, '1')}}, "line 4 too long"},
        {"eight fields", {{2, "a\tb\tc\td\te\tf\tg\th"}}, invalid(3)},
        {"nine fields", {{2, "a\tb\tc\td\te\tf\tg\th\ti"}}, "line 3 too long"},
        {"nine empty fields", {{2, "\t\t\t\t\t\t\t\t"}}, "line 3 too long"},
        {"channel upper case", {{1, "channel\tClient"}}, invalid(2)},
        {"channel starting with a digit", {{1, "channel\t1client"}}, invalid(2)},
        {"channel empty", {{1, "channel\t"}}, invalid(2)},
        {"channel of 32", {{1, "channel\t" + std::string(32, 'c')}}, invalid(2)},
        {"channel with dash", {{1, "channel\tbeta-1"}}, invalid(2)},
        {"later channel replaces", {{1, "channel\tbeta_1"}, {99, "channel\tclient"}}, ""},
        {"release 0", {{2, "release\t0"}}, invalid(3)},
        {"release with sign", {{2, "release\t+7"}}, invalid(3)},
        {"largest decimal", {{2, "release\t18446744073709551609"}}, ""},
        {"one above the largest", {{2, "release\t18446744073709551610"}}, invalid(3)},
        {"largest 64-bit number", {{2, "release\t18446744073709551615"}}, invalid(3)},
        {"far too large", {{2, "release\t99999999999999999999999"}}, invalid(3)},
        {"leading zeros", {{2, "release\t000000000000000000000007"}}, ""},
        {"issued 0", {{3, "issued_utc_ms\t0"}}, ""},
        {"issued empty", {{3, "issued_utc_ms\t"}}, invalid(4)},
        {"part version 0", {{4, "part\tdll\t0\trequired"}}, invalid(5)},
        {"part version 1000000", {{4, "part\tdll\t1000000\trequired"}}, invalid(5)},
        {"part version 999999", {{4, "part\tdll\t999999\trequired"}}, ""},
        {"part flag in capitals", {{4, "part\tdll\t12\tRequired"}}, invalid(5)},
        {"unknown part kind", {{4, "part\ttools\t12\trequired"}}, invalid(5)},
        {"part twice", {{99, "part\tdll\t13\trequired"}}, invalid(18)},
        {"file before any part", {{4, "file\tdll\td3d8.dll\t1\t" + d}}, invalid(5)},
        {"file of another kind", {{5, "file\tbots\td3d8.dll\t1\t" + d}}, invalid(6)},
        {"bots file after runtime part", {{12, "file\tbots\tmore.jar\t1\t" + d}}, invalid(13)},
        {"size at the limit", {{10, "file\truntime\tbin/java.exe\t314572800\t" + d}}, ""},
        {"size over the limit", {{10, "file\truntime\tbin/java.exe\t314572801\t" + d}}, invalid(11)},
        {"digest in upper case", {{10, "file\truntime\tbin/java.exe\t1\t" + upper}}, invalid(11)},
        {"digest of 127", {{10, "file\truntime\tbin/java.exe\t1\t" + d.substr(1)}}, invalid(11)},
        {"digest of 129", {{10, "file\truntime\tbin/java.exe\t1\t" + d + "0"}}, invalid(11)},
        {"same path other case", {{8, "file\tbots\tBOT.jar\t1\t" + d}}, invalid(9)},
        {"same path other part", {{11, "file\truntime\tbot.jar\t1\t" + d}}, ""},
        {"known_dll upper case", {{15, "known_dll\t" + upper}}, ""},
        {"known_dll of 127", {{15, "known_dll\t" + d.substr(1)}}, invalid(16)},
        {"no channel", {{1, ""}}, "channel or release missing"},
        {"no release", {{2, "issued_utc_ms\t5"}}, "channel or release missing"},
    };
    for (const Case& c : cases) {
        Parsed result = parse_text(signed_manifest(edited_body(c.edits)));
        EXPECT_EQ(result.ok, c.error.empty()) << c.name << ": " << result.error;
        if (!c.error.empty()) {
            EXPECT_EQ(result.error, c.error) << c.name;
        }
    }
}

TEST(Manifest, PathRule) {
    const char* accepted[] = {"a", "bin/java.exe", "A b+c-d_e.f", "x/y/z/w", "a..b", ".hidden",
                              "lib/.keep"};
    const char* refused[] = {"", "/a", "a/", "a//b", "./a", "a/./b", "a/../b", "..", " a", "a ", "a.",
                             "dir /a", "dir./a", "a\\b", "a:b", "a*b", "a\xe9", "a\"b", "a%b"};
    for (const char* path : accepted) {
        std::string text = signed_manifest(edited_body({{10, "file\truntime\t" + std::string(path) + "\t1\t" + digest_hex(0)}}));
        EXPECT_TRUE(parse_text(text).ok) << path;
    }
    for (const char* path : refused) {
        std::string text = signed_manifest(edited_body({{10, "file\truntime\t" + std::string(path) + "\t1\t" + digest_hex(0)}}));
        EXPECT_EQ(parse_text(text).error, "manifest line 11 is not valid") << path;
    }
    std::string longest = std::string(146, 'p') + "/q.x";  // 150 characters
    EXPECT_TRUE(parse_text(signed_manifest(edited_body({{10, "file\truntime\t" + longest + "\t1\t" + digest_hex(0)}}))).ok);
    EXPECT_FALSE(parse_text(signed_manifest(edited_body({{10, "file\truntime\tp" + longest + "\t1\t" + digest_hex(0)}}))).ok);
    // A zero byte inside a field is not a path character.
    std::string with_zero = "file\truntime\tab";
    with_zero += '\0';
    with_zero += "c\t1\t" + digest_hex(0);
    EXPECT_EQ(parse_text(signed_manifest(edited_body({{10, with_zero}}))).error, "manifest line 11 is not valid");
}

// Names that Windows opens as devices break the path rule in any segment; names that only look
// alike are files.
TEST(Manifest, DeviceNamesInPaths) {
    struct Case {
        const char* path;
        bool refused;
    } cases[] = {
        {"CON", true},         {"con", true},          {"nul.jar", true},        {"COM1", true},
        {"lib/AUX", true},     {"LPT1.txt", true},     {"Prn.x.y", true},        {"lpt9/a.jar", true},
        {"a/cOm5/b", true},    {"NUL .txt", true},     {"AUX.", true},           {"CONS", false},
        {"ACON", false},       {"COM0", false},        {"COM10", false},         {"LPT", false},
        {"nul_x.jar", false},  {"con-1.jar", false},   {"lib/NULL.txt", false},  {"a.con", false},
        {"x/com1a", false},    {"COM", false},
    };
    for (const Case& c : cases) {
        std::string line = "file\truntime\t" + std::string(c.path) + "\t1\t" + digest_hex(0);
        Parsed result = parse_text(signed_manifest(edited_body({{10, line}})));
        if (c.refused) {
            EXPECT_EQ(result.error, "manifest line 11 is not valid") << c.path;
        } else {
            EXPECT_TRUE(result.ok) << c.path << ": " << result.error;
        }
    }
    // Every part is held to the rule: a bots jar named after a printer port.
    EXPECT_EQ(parse_text(signed_manifest(edited_body({{8, "file\tbots\tLPT3.jar\t1\t" + digest_hex(0)}}))).error,
              "manifest line 9 is not valid");
}

TEST(Manifest, PartRules) {
    const std::string d = digest_hex(4);
    const std::string head = "ZANDOR-UPDATE-MANIFEST\t1\nchannel\tclient\nrelease\t1\n";
    struct Case {
        const char* name;
        std::string lines;
        std::string error;
    } cases[] = {
        {"no parts at all", "", ""},
        {"dll in capitals", "part\tdll\t1\trequired\nfile\tdll\tD3D8.DLL\t1\t" + d + "\n", ""},
        {"part without files", "part\tbots\t1\toptional\n", "manifest: a part without files"},
        {"part without files before a good one", "part\truntime\t1\toptional\npart\tbots\t1\toptional\nfile\tbots\ta.jar\t1\t" + d + "\n",
         "manifest: a part without files"},
        {"dll with another name", "part\tdll\t1\trequired\nfile\tdll\td3d9.dll\t1\t" + d + "\n",
         "manifest: the dll part must hold exactly d3d8.dll"},
        {"dll with two files", "part\tdll\t1\trequired\nfile\tdll\td3d8.dll\t1\t" + d + "\nfile\tdll\tx.dll\t1\t" + d + "\n",
         "manifest: the dll part must hold exactly d3d8.dll"},
        {"dll in a folder", "part\tdll\t1\trequired\nfile\tdll\tx/d3d8.dll\t1\t" + d + "\n",
         "manifest: the dll part must hold exactly d3d8.dll"},
        {"bots in a folder", "part\tbots\t1\trequired\nfile\tbots\tlib/a.jar\t1\t" + d + "\n",
         "manifest: the bots part holds only .jar files"},
        {"bots not a jar", "part\tbots\t1\trequired\nfile\tbots\ta.jar\t1\t" + d + "\nfile\tbots\treadme.txt\t1\t" + d + "\n",
         "manifest: the bots part holds only .jar files"},
        {"bots jar in capitals", "part\tbots\t1\trequired\nfile\tbots\tA.JAR\t1\t" + d + "\n", ""},
        {"launcher in other case", "part\tlauncher\t1\trequired\nfile\tlauncher\tzandor launcher.exe\t1\t" + d + "\n",
         "manifest: bad launcher part"},
        {"launcher with two files", "part\tlauncher\t1\trequired\nfile\tlauncher\tZANDOR Launcher.exe\t1\t" + d +
                                        "\nfile\tlauncher\tx.exe\t1\t" + d + "\n",
         "manifest: bad launcher part"},
        {"runtime anything", "part\truntime\t1\trequired\nfile\truntime\ta/b/c d.txt\t1\t" + d + "\n", ""},
        {"bad dll and bad bots: dll reported", "part\tbots\t1\trequired\nfile\tbots\tx.txt\t1\t" + d +
                                                    "\npart\tdll\t1\trequired\nfile\tdll\tx.dll\t1\t" + d + "\n",
         "manifest: the dll part must hold exactly d3d8.dll"},
        {"line rule before part rule", "part\tdll\t1\trequired\nbogus\n", "manifest line 5 is not valid"},
    };
    for (const Case& c : cases) {
        Parsed result = parse_text(signed_manifest(head + c.lines));
        EXPECT_EQ(result.ok, c.error.empty()) << c.name << ": " << result.error;
        if (!c.error.empty()) {
            EXPECT_EQ(result.error, c.error) << c.name;
        }
    }
}

// The table limits: 4000 files, 512 known DLLs.
TEST(Manifest, FileAndKnownDllLimits) {
    std::string body = "ZANDOR-UPDATE-MANIFEST\t1\nchannel\tclient\nrelease\t1\npart\truntime\t1\toptional\n";
    for (int i = 0; i < 4000; i++) body += "file\truntime\tf" + std::to_string(i) + "\t1\t" + digest_hex(0) + "\n";
    for (int i = 0; i < 512; i++) body += "known_dll\t" + digest_hex((char)i) + "\n";
    UpdateManifest manifest = {};
    ASSERT_TRUE(parse_text(signed_manifest(body), &manifest).ok);
    EXPECT_EQ(manifest.file_count, 4000u);
    EXPECT_EQ(manifest.parts[PART_RUNTIME].total_size, 4000u);
    EXPECT_EQ(manifest.known_dll_count, 512u);
    manifest_clear(&manifest);
    // Line 4 + 4000 file lines + 512 known_dll lines: the next line is number 4517.
    EXPECT_EQ(parse_text(signed_manifest(body + "known_dll\t" + digest_hex(1) + "\n")).error,
              "manifest line 4517 is not valid");
    EXPECT_EQ(parse_text(signed_manifest(body + "file\truntime\tg\t1\t" + digest_hex(0) + "\n")).error,
              "manifest line 4517 is not valid");
}

// Exactly 1 MiB is read; one byte more is refused before anything else.
TEST(Manifest, SizeLimit) {
    std::string body = body_of(full_manifest_lines());
    size_t signature_length = signed_manifest(body).size() - body.size();
    body += std::string(MANIFEST_MAX_BYTES - body.size() - signature_length, '\n');
    std::string text = signed_manifest(body);
    ASSERT_EQ(text.size(), MANIFEST_MAX_BYTES);
    EXPECT_TRUE(parse_text(text).ok);
    EXPECT_EQ(parse_text(text + "\n").error, "manifest empty or too long");
    // The text need not be terminated: the parser reads exactly the length it is given.
    std::string valid = signed_manifest(body_of(full_manifest_lines()));
    std::string followed = valid + "garbage after the end";
    UpdateManifest manifest = {};
    EXPECT_TRUE(manifest_parse(followed.data(), valid.size(), &manifest, nullptr, 0));
    EXPECT_EQ(manifest.raw_length, valid.size());
    manifest_clear(&manifest);
}

TEST(Manifest, ErrorBufferIsOptionalAndCut) {
    UpdateManifest manifest = {};
    std::string text = signed_manifest(body_of(full_manifest_lines()), TEST_KEY_1, "200");
    EXPECT_FALSE(manifest_parse(text.data(), text.size(), &manifest, nullptr, 0));
    char small[8];
    EXPECT_FALSE(manifest_parse(text.data(), text.size(), &manifest, small, sizeof small));
    EXPECT_STREQ(small, "signed ");
    EXPECT_TRUE(manifest_is_empty(manifest));
}

// Cut and damaged texts never crash or read outside the input (checked under the sanitizers).
TEST(Manifest, DamagedTextsAreRefusedSafely) {
    std::string valid = signed_manifest(body_of(full_manifest_lines()));
    UpdateManifest manifest = {};
    char error[400];
    for (size_t length = 0; length < valid.size(); length++) {
        // A copy of exactly length bytes so that the sanitizers see any read past the end.
        std::vector<char> cut(valid.begin(), valid.begin() + length);
        bool ok = manifest_parse(cut.data(), cut.size(), &manifest, error, sizeof error);
        // Only cutting the signature line's final LF keeps the text valid.
        EXPECT_EQ(ok, length == valid.size() - 1) << length;
    }
    // Random damage to the body, re-signed so that the line reader sees it.
    uint32_t seed = 12345;
    auto next = [&seed]() { return seed = seed * 1103515245u + 12345u; };
    const std::string body = body_of(full_manifest_lines());
    for (int round = 0; round < 300; round++) {
        std::string damaged = body.substr(0, body.size() - 1);
        for (int i = 0; i < 4; i++) {
            size_t at = (next() >> 8) % damaged.size();
            const char bytes[] = {'\t', '\n', '\0', '\r', '/', '.', ' ', 'A', '9', '\xff'};
            damaged[at] = bytes[(next() >> 8) % sizeof bytes];
        }
        std::string text = signed_manifest(damaged + "\n");
        std::vector<char> copy(text.begin(), text.end());
        if (manifest_parse(copy.data(), copy.size(), &manifest, error, sizeof error)) {
            EXPECT_LE(manifest.file_count, MANIFEST_MAX_FILES);
        } else {
            EXPECT_TRUE(manifest_is_empty(manifest));
        }
    }
    manifest_clear(&manifest);
}
