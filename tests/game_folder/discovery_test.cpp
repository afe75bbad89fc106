// Finding the game folder: the path rule, the launcher's own and the usual install folder, and the
// candidates from the remembered setting and the registry (written into the Wine prefix's registry).
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include "core/folder_path.h"
#include "core/settings.h"
#include "game_folder/discovery.h"
#include "support/test_support.h"
#include "updates/update_paths.h"

namespace {

std::string make_game_folder(const std::string& parent, const char* name) {
    std::string folder = parent + "\\" + name;
    CreateDirectoryA(folder.c_str(), nullptr);
    write_file(folder + "\\pes6.exe", "MZ");
    return folder;
}

std::string launcher_ini() {
    char path[MAX_PATH];
    return launcher_ini_path(path, sizeof path) ? path : "";
}

void set_registry_text(HKEY root, REGSAM view, const std::string& key_path, const char* name, DWORD type,
                       const std::string& value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, key_path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, (const BYTE*)value.c_str(), (DWORD)value.size() + 1);
    RegCloseKey(key);
}

void delete_registry_tree(HKEY root, REGSAM view, const char* parent, const char* name) {
    HKEY key;
    if (RegOpenKeyExA(root, parent, 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return;
    RegDeleteTreeA(key, name);
    RegCloseKey(key);
}

const char UNINSTALL[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

struct DiscoveryTest : testing::Test {
    std::string root = make_temp_folder("discovery");
    std::string launcher_dir = root + "\\launcher";
    std::string saved_ini;
    bool had_ini = false;

    void SetUp() override {
        CreateDirectoryA(launcher_dir.c_str(), nullptr);
        had_ini = read_file(launcher_ini(), &saved_ini);
        DeleteFileA(launcher_ini().c_str());
        clean_registry();
    }
    void TearDown() override {
        clean_registry();
        DeleteFileA(launcher_ini().c_str());
        if (had_ini) write_file(launcher_ini(), saved_ini);
        remove_tree(root);
    }
    static void clean_registry() {
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
                delete_registry_tree(hive, view, "SOFTWARE", "KONAMIPES6");
                delete_registry_tree(hive, view, UNINSTALL, "zandor_test_pes6");
                delete_registry_tree(hive, view, UNINSTALL, "zandor_test_other");
            }
        }
    }
    std::string candidate() {
        char folder[MAX_PATH] = "";
        return find_first_candidate(launcher_dir.c_str(), folder, sizeof folder) ? folder : "";
    }
};

}  // namespace

TEST(PathRule, TrailingSeparatorsGoButADriveRootKeepsItsBackslash) {
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    struct Case {
        std::string in, out;
    } cases[] = {
        {"C:\\Games\\PES6\\", "C:\\Games\\PES6"},
        {"C:\\Games\\PES6\\\\", "C:\\Games\\PES6"},
        {"C:\\Games\\PES6/", "C:\\Games\\PES6"},
        {"C:\\", "C:\\"},
        {"C:\\Games\\..\\PES6", "C:\\PES6"},
        {"relative", std::string(current) + (current[strlen(current) - 1] == '\\' ? "" : "\\") + "relative"},
    };
    for (const Case& c : cases) {
        char path[MAX_PATH];
        lstrcpynA(path, c.in.c_str(), sizeof path);
        apply_path_rule(path, sizeof path);
        EXPECT_EQ(std::string(path), c.out) << c.in;
    }
}

TEST_F(DiscoveryTest, TheLauncherInTheGameFolderIsTakenAtOnce) {
    std::string game = make_game_folder(root, "game");
    char folder[MAX_PATH], source[128];
    EXPECT_FALSE(find_game_folder_at_once(launcher_dir.c_str(), folder, sizeof folder, source, sizeof source));
    ASSERT_TRUE(find_game_folder_at_once((game + "\\").c_str(), folder, sizeof folder, source, sizeof source));
    EXPECT_EQ(std::string(folder), game);
    EXPECT_STREQ(source, "the launcher's own folder");
    // A folder named pes6.exe is not the game.
    std::string fake = root + "\\fake";
    CreateDirectoryA(fake.c_str(), nullptr);
    CreateDirectoryA((fake + "\\pes6.exe").c_str(), nullptr);
    EXPECT_FALSE(is_game_folder(fake.c_str()));
}

TEST_F(DiscoveryTest, TheUsualInstallFolderIsTakenAtOnce) {
    char program_files[MAX_PATH];
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, 0, program_files), S_OK);
    std::string konami = std::string(program_files) + "\\KONAMI";
    CreateDirectoryA(konami.c_str(), nullptr);
    std::string game = make_game_folder(konami, "Pro Evolution Soccer 6");
    char folder[MAX_PATH], source[128];
    bool found = find_game_folder_at_once(launcher_dir.c_str(), folder, sizeof folder, source, sizeof source);
    remove_tree(konami);
    ASSERT_TRUE(found);
    EXPECT_EQ(std::string(folder), game);
    EXPECT_STREQ(source, "the usual install folder (Program Files\\KONAMI\\Pro Evolution Soccer 6)");
}

TEST_F(DiscoveryTest, TheRememberedFolderComesFromZandorIniThenLauncherIni) {
    std::string first = make_game_folder(root, "first");
    std::string second = make_game_folder(root, "second");
    EXPECT_EQ(candidate(), "");

    // Saved beside the launcher when that file is writable.
    save_game_folder(launcher_dir.c_str(), (first + "\\").c_str());
    EXPECT_EQ(candidate(), first);
    EXPECT_FALSE(file_exists(launcher_ini()));

    // A remembered folder without pes6.exe sends the read to launcher.ini, even though the first file
    // is writable.
    write_file(launcher_dir + "\\zandor.ini", "[launcher]\r\ngame_folder=" + root + "\\gone\r\n");
    make_parent_dirs(launcher_ini().c_str());
    write_file(launcher_ini(), "[launcher]\r\ngame_folder=" + second + "\r\n");
    EXPECT_EQ(candidate(), second);
}

TEST_F(DiscoveryTest, AnUnwritableZandorIniSendsTheSaveToLauncherIni) {
    std::string game = make_game_folder(root, "game");
    // A folder where the file should be makes the INI write fail, also for root.
    CreateDirectoryA((launcher_dir + "\\zandor.ini").c_str(), nullptr);
    save_game_folder(launcher_dir.c_str(), game.c_str());
    std::string content;
    ASSERT_TRUE(read_file(launcher_ini(), &content));
    EXPECT_NE(content.find("game_folder=" + game), std::string::npos) << content;
    EXPECT_EQ(candidate(), game);
}

TEST_F(DiscoveryTest, RegistryCandidatesInBothViews) {
    std::string in32 = make_game_folder(root, "in32");
    std::string in64 = make_game_folder(root, "in64");
    std::string listed = make_game_folder(root, "listed");

    // An Uninstall entry counts only when its name is the game's; its location may end in a backslash.
    set_registry_text(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, std::string(UNINSTALL) + "\\zandor_test_other",
                      "DisplayName", REG_SZ, "Some Other Game");
    set_registry_text(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, std::string(UNINSTALL) + "\\zandor_test_other",
                      "InstallLocation", REG_SZ, in32);
    EXPECT_EQ(candidate(), "");
    set_registry_text(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, std::string(UNINSTALL) + "\\zandor_test_pes6",
                      "DisplayName", REG_SZ, "PRO EVOLUTION SOCCER 6");
    set_registry_text(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, std::string(UNINSTALL) + "\\zandor_test_pes6",
                      "InstallLocation", REG_SZ, listed + "\\");
    EXPECT_EQ(candidate(), listed);

    // The install key of the 64-bit view comes before its Uninstall key...
    set_registry_text(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "SOFTWARE\\KONAMIPES6\\PES6", "installdir", REG_SZ, in64);
    EXPECT_EQ(candidate(), in64);
    // ...and the 32-bit view comes first of all; a value of another type is passed over.
    set_registry_text(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "SOFTWARE\\KONAMIPES6\\A", "installdir", REG_BINARY, in32);
    EXPECT_EQ(candidate(), in64);
    set_registry_text(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "SOFTWARE\\KONAMIPES6\\B", "installdir", REG_EXPAND_SZ, in32);
    EXPECT_EQ(candidate(), in32);

    // The remembered folder comes before the registry.
    save_game_folder(launcher_dir.c_str(), listed.c_str());
    EXPECT_EQ(candidate(), listed);
}
