// session.dat under DPAPI and the PC marker's four places, in the Wine user's real folders and
// registry (everything is removed again by remove_account_files).
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "account/account_files.h"
#include "support/test_support.h"

namespace {

const char MARKER_A[] = "pgm1.ABCDEFGHIJKLMNOPQRSTU_-x";
const char MARKER_B[] = "pgm1.zyxwvutsrqponmlkjihg0123";

std::string place_file(int place, const char* name) {
    char folder[MAX_PATH];
    EXPECT_TRUE(account_folder(place, folder, sizeof folder));
    return std::string(folder) + "\\" + name;
}

std::string session_file() {
    return place_file(PLACE_LOCAL, "session.dat");
}

void write_marker_copy(int place, const std::string& text) {
    char path[MAX_PATH];
    ASSERT_TRUE(marker_path(place, path, sizeof path));
    ASSERT_TRUE(write_hidden_file(path, text.data(), text.size()));
}

void write_marker_value(const std::string& text) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\zandor", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "marker", 0, REG_SZ, (const BYTE*)text.c_str(), (DWORD)text.size() + 1);
    RegCloseKey(key);
}

std::string marker_value() {
    char value[64] = {};
    DWORD size = sizeof value - 1, type = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\zandor", 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
    LONG status = RegQueryValueExA(key, "marker", nullptr, &type, (BYTE*)value, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? value : "<none>";
}

std::string markers_field() {
    char field[MARKERS_FIELD_CAP];
    collect_markers(field, sizeof field);
    return field;
}

// DPAPI output for a text, the way session.dat holds it.
std::string protect(const std::string& text) {
    DATA_BLOB plain = {(DWORD)text.size(), (BYTE*)text.data()};
    DATA_BLOB entropy = {16, (BYTE*)"zandor session 1"};
    DATA_BLOB sealed = {};
    if (!CryptProtectData(&plain, L"zandor session", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &sealed)) {
        return "";
    }
    std::string out((const char*)sealed.pbData, sealed.cbData);
    LocalFree(sealed.pbData);
    return out;
}

SavedLogin sample_login() {
    SavedLogin login = {};
    strcpy(login.token, "pgt1.token-of-the-player");
    login.issued_number = 1700000000123ull;
    login.account_id = 4242;
    strcpy(login.display_name, "Ana Mar\xed" "a");
    strcpy(login.terms_version, "2024-05");
    strcpy(login.terms_url, "https://zandor.example/terms?v=5");
    login.terms_notice_shown = true;
    return login;
}

const std::string SESSION_LINES = "zandor session 1\npgt1.t\n1\n2\nname\nv1\n\n0\n";

class AccountFiles : public ::testing::Test {
protected:
    void SetUp() override { remove_account_files(); }
    void TearDown() override { remove_account_files(); }
};

}  // namespace

TEST_F(AccountFiles, SavedLoginRoundTripsThroughDpapi) {
    SavedLogin saved = sample_login();
    ASSERT_TRUE(save_login(&saved));
    EXPECT_TRUE(GetFileAttributesA(session_file().c_str()) & FILE_ATTRIBUTE_HIDDEN);
    std::string bytes;
    ASSERT_TRUE(read_file(session_file(), &bytes));
    EXPECT_EQ(bytes.find("pgt1."), std::string::npos);  // protected, not plain

    SavedLogin loaded;
    memset(&loaded, 0x33, sizeof loaded);
    ASSERT_TRUE(load_login(&loaded));
    EXPECT_STREQ(loaded.token, saved.token);
    EXPECT_EQ(loaded.issued_number, saved.issued_number);
    EXPECT_EQ(loaded.account_id, saved.account_id);
    EXPECT_STREQ(loaded.display_name, saved.display_name);
    EXPECT_STREQ(loaded.terms_version, saved.terms_version);
    EXPECT_STREQ(loaded.terms_url, saved.terms_url);
    EXPECT_TRUE(loaded.terms_notice_shown);

    // Saved again over the hidden file; then deleted, twice.
    saved.terms_notice_shown = false;
    ASSERT_TRUE(save_login(&saved));
    ASSERT_TRUE(load_login(&loaded));
    EXPECT_FALSE(loaded.terms_notice_shown);
    EXPECT_TRUE(delete_saved_login());
    EXPECT_FALSE(file_exists(session_file()));
    EXPECT_TRUE(delete_saved_login());
    EXPECT_FALSE(load_login(&loaded));
    EXPECT_STREQ(loaded.token, "");
}

TEST_F(AccountFiles, SessionFileRefusals) {
    char path[MAX_PATH];
    ASSERT_TRUE(session_path(path, sizeof path));
    SavedLogin loaded;
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty file", ""},
        {"not protected", SESSION_LINES},
        {"protected with other entropy", ""},
        {"second line without pgt1.", protect("zandor session 1\ntoken\n1\n2\nn\nv\nu\n0\n")},
        {"seven lines", protect("zandor session 1\npgt1.t\n1\n2\nn\nv\nu\n")},
        {"wrong first line", protect("zandor session 2\npgt1.t\n1\n2\nn\nv\nu\n0\n")},
    };
    {
        DATA_BLOB plain = {(DWORD)SESSION_LINES.size(), (BYTE*)SESSION_LINES.data()};
        DATA_BLOB sealed = {};
        ASSERT_TRUE(CryptProtectData(&plain, L"zandor session", nullptr, nullptr, nullptr, 1, &sealed));
        cases[2].bytes.assign((const char*)sealed.pbData, sealed.cbData);
        LocalFree(sealed.pbData);
    }
    for (const Case& c : cases) {
        ASSERT_TRUE(write_hidden_file(path, c.bytes.data(), c.bytes.size()));
        EXPECT_FALSE(load_login(&loaded)) << c.what;
        EXPECT_TRUE(file_exists(session_file())) << c.what;  // not deleted by the load
    }

    ASSERT_TRUE(write_hidden_file(path, protect(SESSION_LINES + "ninth\ntenth\n").data(),
                                  protect(SESSION_LINES + "ninth\ntenth\n").size()));
    ASSERT_TRUE(load_login(&loaded));
    EXPECT_STREQ(loaded.token, "pgt1.t");
    EXPECT_STREQ(loaded.terms_url, "");
    EXPECT_FALSE(loaded.terms_notice_shown);
}

TEST_F(AccountFiles, SessionFileOf4095BytesIsReadAnd4096IsNot) {
    // Extra lines after the eighth are ignored, so padding makes a valid protected file of about the
    // size wanted; the protected size grows in steps of a cipher block, so zero bytes after the
    // protected data (which the unprotection ignores) make up the exact size.
    auto protected_of_size = [](size_t size) {
        std::string sealed, fits;
        for (size_t pad = 0; pad < size; pad++) {
            sealed = protect(SESSION_LINES + std::string(pad, 'p'));
            if (sealed.size() > size) break;
            fits = sealed;
            if (sealed.size() + 64 < size) pad += size - 64 - sealed.size();  // skip ahead
        }
        fits.resize(size, '\0');
        return fits;
    };
    char path[MAX_PATH];
    ASSERT_TRUE(session_path(path, sizeof path));
    SavedLogin loaded;
    std::string sealed = protected_of_size(4095);
    ASSERT_TRUE(write_hidden_file(path, sealed.data(), sealed.size()));
    EXPECT_TRUE(load_login(&loaded));
    EXPECT_STREQ(loaded.token, "pgt1.t");

    sealed = protected_of_size(4096);
    ASSERT_TRUE(write_hidden_file(path, sealed.data(), sealed.size()));
    EXPECT_FALSE(load_login(&loaded));
}

TEST_F(AccountFiles, MarkerIsStoredInFourPlacesAndListedOnce) {
    EXPECT_EQ(markers_field(), "-");
    EXPECT_EQ(store_marker("pgm1.short"), 0);
    EXPECT_EQ(markers_field(), "-");

    // A hidden marker file of an older run is replaced.
    write_marker_copy(PLACE_ROAMING, MARKER_B);
    EXPECT_EQ(store_marker(MARKER_A), 4);
    for (int place = 0; place < PLACE_COUNT; place++) {
        std::string bytes, path = place_file(place, ".marker");
        ASSERT_TRUE(read_file(path, &bytes));
        EXPECT_EQ(bytes, MARKER_A);
        EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    }
    EXPECT_EQ(marker_value(), MARKER_A);
    EXPECT_EQ(markers_field(), MARKER_A);
}

TEST_F(AccountFiles, MarkersAreTrimmedCheckedAndJoined) {
    struct Case {
        const char* local;
        const char* roaming;
        const char* programdata;
        const char* value;
        std::string field;
    } cases[] = {
        {"", "", "", "", "-"},
        {"pgm1.ABCDEFGHIJKLMNOPQRSTU_-x\r\n", "", "", "", MARKER_A},
        {"  pgm1.ABCDEFGHIJKLMNOPQRSTU_-x \t", "", "", "", MARKER_A},
        {"\tpgm1.ABCDEFGHIJKLMNOPQRSTU_-x", "", "", "", "-"},
        {"", "pgm1.zyxwvutsrqponmlkjihg0123", "", "pgm1.ABCDEFGHIJKLMNOPQRSTU_-x",
         std::string(MARKER_B) + "," + MARKER_A},
        {MARKER_A, MARKER_B, MARKER_A, MARKER_B, std::string(MARKER_A) + "," + MARKER_B},
        {"pgm1.ABCDEFGHIJKLMNOPQRSTU_-xy", "pgm1.ABCDEFGHIJKLMNOPQRSTU+/x", "PGM1.ABCDEFGHIJKLMNOPQRSTU_-x", "",
         "-"},
    };
    for (const Case& c : cases) {
        remove_account_files();
        const char* copies[] = {c.local, c.roaming, c.programdata};
        for (int place = 0; place < PLACE_COUNT; place++) {
            if (copies[place][0]) write_marker_copy(place, copies[place]);
        }
        if (c.value[0]) write_marker_value(c.value);
        EXPECT_EQ(markers_field(), c.field) << c.local << "|" << c.roaming << "|" << c.value;
    }
}

TEST_F(AccountFiles, ForgetRemovesOnlyCopiesOfThatMarker) {
    ASSERT_EQ(store_marker(MARKER_A), 4);
    write_marker_copy(PLACE_ROAMING, MARKER_B);
    SavedLogin login = sample_login();
    ASSERT_TRUE(save_login(&login));

    forget_marker("");
    EXPECT_EQ(markers_field(), std::string(MARKER_A) + "," + MARKER_B);
    forget_marker(MARKER_A);
    EXPECT_FALSE(file_exists(place_file(PLACE_LOCAL, ".marker")));
    EXPECT_FALSE(file_exists(place_file(PLACE_PROGRAMDATA, ".marker")));
    EXPECT_TRUE(file_exists(place_file(PLACE_ROAMING, ".marker")));
    EXPECT_EQ(marker_value(), "<none>");
    EXPECT_EQ(markers_field(), MARKER_B);
    EXPECT_TRUE(folder_exists(place_file(PLACE_LOCAL, "")));
    EXPECT_TRUE(file_exists(session_file()));  // the saved log-in is not the marker's business
}

TEST_F(AccountFiles, RemoveAccountFilesTakesEverythingAndRunsTwice) {
    ASSERT_EQ(store_marker(MARKER_A), 4);
    SavedLogin login = sample_login();
    ASSERT_TRUE(save_login(&login));
    std::string ini = place_file(PLACE_ROAMING, "launcher.ini");
    ASSERT_TRUE(write_file(ini, "[launcher]\r\n"));

    remove_account_files();
    for (int place = 0; place < PLACE_COUNT; place++) {
        EXPECT_FALSE(folder_exists(place_file(place, ""))) << place;
    }
    EXPECT_EQ(marker_value(), "<no key>");
    EXPECT_EQ(markers_field(), "-");
    SavedLogin loaded;
    EXPECT_FALSE(load_login(&loaded));
    remove_account_files();
    EXPECT_EQ(markers_field(), "-");
}

// session.dat and the markers are replaced whole: a save that cannot finish keeps the old file.
TEST_F(AccountFiles, AWriteThatCannotFinishKeepsTheOldFile) {
    SavedLogin first = sample_login();
    ASSERT_TRUE(save_login(&first));
    ASSERT_EQ(store_marker(MARKER_A), 4);

    HANDLE held = CreateFileA(session_file().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SavedLogin second = sample_login();
    strcpy(second.token, "pgt1.another-token");
    EXPECT_FALSE(save_login(&second));
    std::string marker_file = place_file(PLACE_ROAMING, ".marker");
    HANDLE held_marker = CreateFileA(marker_file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                     nullptr);
    EXPECT_EQ(store_marker(MARKER_B), 3);
    CloseHandle(held_marker);
    CloseHandle(held);

    SavedLogin loaded;
    ASSERT_TRUE(load_login(&loaded));
    EXPECT_STREQ(loaded.token, first.token);
    std::string bytes;
    ASSERT_TRUE(read_file(marker_file, &bytes));
    EXPECT_EQ(bytes, MARKER_A);
    EXPECT_FALSE(file_exists(session_file() + ".new"));
    EXPECT_FALSE(file_exists(marker_file + ".new"));
}

// A ".new" that a killed write left is not read, is replaced by the next write, and goes with the
// files it belongs to.
TEST_F(AccountFiles, LeftoversOfAKilledWriteDoNotCount) {
    auto leave = [](const std::string& path, const std::string& bytes) {
        ASSERT_TRUE(write_file(path, bytes));
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    };
    CreateDirectoryA(place_file(PLACE_LOCAL, "").c_str(), nullptr);
    CreateDirectoryA(place_file(PLACE_ROAMING, "").c_str(), nullptr);
    leave(session_file() + ".new", protect(SESSION_LINES).substr(0, 40));
    leave(place_file(PLACE_ROAMING, ".marker.new"), MARKER_A);
    SavedLogin loaded;
    EXPECT_FALSE(load_login(&loaded));
    EXPECT_EQ(markers_field(), "-");

    SavedLogin login = sample_login();
    ASSERT_TRUE(save_login(&login));
    ASSERT_EQ(store_marker(MARKER_B), 4);
    EXPECT_FALSE(file_exists(session_file() + ".new"));
    EXPECT_FALSE(file_exists(place_file(PLACE_ROAMING, ".marker.new")));
    ASSERT_TRUE(load_login(&loaded));
    EXPECT_STREQ(loaded.token, login.token);
    EXPECT_EQ(markers_field(), MARKER_B);

    // Deleting the saved log-in and the markers takes such leftovers along, so the folders can go.
    leave(session_file() + ".new", "x");
    leave(place_file(PLACE_ROAMING, ".marker.new"), MARKER_B);
    EXPECT_TRUE(delete_saved_login());
    EXPECT_FALSE(file_exists(session_file() + ".new"));
    remove_account_files();
    for (int place = 0; place < PLACE_COUNT; place++) {
        EXPECT_FALSE(folder_exists(place_file(place, ""))) << place;
    }
}
