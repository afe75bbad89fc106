// Another program's d3d8.dll: recognised, set aside under a free name, recorded, and moved back when
// the client was not placed.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "core/launcher_state.h"
#include "core/log.h"
#include "core/text.h"
#include "game_setup/d3d8_placement.h"
#include "support/test_support.h"
#include "updates/update_paths.h"

namespace {

struct D3d8Test : testing::Test {
    std::string folder = make_temp_folder("d3d8");
    std::string dll = folder + "\\d3d8.dll";
    std::string ini = folder + "\\zandor.ini";
    void SetUp() override {
        launcher_state_reset();
        update_paths_init(&launcher.update_paths, folder.c_str());
        copy_text(launcher.settings_path, PATH_CAP, ini.c_str());
        log_open((folder + "\\test.log").c_str());
    }
    void TearDown() override {
        log_close();
        remove_tree(folder);
    }
    std::string setting(const char* section, const char* key) {
        char value[64];
        GetPrivateProfileStringA(section, key, "(absent)", value, sizeof value, ini.c_str());
        return value;
    }
    std::string log_text() { return file_text(folder + "\\test.log"); }
};

}  // namespace

TEST_F(D3d8Test, ClassifiesByTheMarkers) {
    EXPECT_EQ(classify_dll(dll.c_str()), DLL_MISSING);
    struct Case {
        std::string bytes;
        int kind;
    } cases[] = {
        {std::string("MZ\0\0 TOLVEN client started \0", 29), DLL_ZANDOR},
        {"xxZANDOR-UPDATE-MANIFEST-1", DLL_ZANDOR},
        {"ombrix_dll.log", DLL_ZANDOR},
        {"OMBRIX_DLL.LOG", DLL_OTHER},  // case-sensitive
        {"ZANDOR-UPDATE-MANIFEST-", DLL_OTHER},
        {"", DLL_OTHER},  // empty
    };
    for (const Case& c : cases) {
        write_file(dll, c.bytes);
        EXPECT_EQ(classify_dll(dll.c_str()), c.kind) << c.bytes;
    }
    // A file held open without sharing cannot be read: another program's.
    HANDLE locked = CreateFileA(dll.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(classify_dll(dll.c_str()), DLL_OTHER);
    CloseHandle(locked);
}

// The file is read in blocks: a marker counts wherever it lies, across a block border or at the end.
TEST_F(D3d8Test, FindsAMarkerAnywhereInALargeFile) {
    const std::string marker = "ZANDOR-UPDATE-MANIFEST-1";
    const size_t size = 300000;
    const size_t places[] = {0, 65536 - 10, 65536 - 1, 131072 - marker.size() + 1, 262144 - 12, size - marker.size()};
    for (size_t at : places) {
        std::string bytes(size, 'x');
        bytes.replace(at, marker.size(), marker);
        write_file(dll, bytes);
        EXPECT_EQ(classify_dll(dll.c_str()), DLL_ZANDOR) << "marker at " << at;
    }
    std::string cut(size, 'x');
    cut.replace(size - marker.size() + 1, marker.size() - 1, marker.substr(0, marker.size() - 1));
    write_file(dll, cut);
    EXPECT_EQ(classify_dll(dll.c_str()), DLL_OTHER);  // only the start of a marker, at the very end
}

TEST_F(D3d8Test, ADirect3D8WrapperBecomesTheRealD3d8OnceTheClientIsPlaced) {
    ASSERT_TRUE(CopyFileA(test_tool("fake_d3d8.dll").c_str(), dll.c_str(), FALSE));
    write_file(folder + "\\d3d8_real.dll", "taken");
    SetAsideRecord record;
    ASSERT_TRUE(set_aside_other_dll(&record));
    EXPECT_TRUE(record.is_d3d8);
    EXPECT_STREQ(record.new_name, "d3d8_real_2.dll");
    EXPECT_TRUE(file_exists(folder + "\\d3d8_real_2.dll"));
    EXPECT_EQ(setting("launcher", "set_aside_d3d8"), "(absent)");
    EXPECT_EQ(setting("display", "real_d3d8"), "(absent)");  // only once the client is in place

    write_file(dll, "the ZANDOR client");
    finish_set_aside(&record);
    EXPECT_EQ(setting("display", "real_d3d8"), "d3d8_real_2.dll");
    EXPECT_EQ(setting("launcher", "set_aside_d3d8"), "(absent)");
    EXPECT_NE(std::string(launcher.player_message).find("It was backed up as d3d8_real_2.dll,"), std::string::npos)
        << launcher.player_message;
    EXPECT_NE(log_text().find(" another program's D3D8.dll renamed to d3d8_real_2.dll (a Direct3D 8 file: the ZANDOR "
                              "client passes the picture on to it)\r\n"),
              std::string::npos);
}

TEST_F(D3d8Test, AnotherFileIsRecordedAtOnceAndMovedBackWhenTheClientIsNotPlaced) {
    write_file(dll, "some other program");
    SetAsideRecord record;
    ASSERT_TRUE(set_aside_other_dll(&record));
    EXPECT_FALSE(record.is_d3d8);
    EXPECT_STREQ(record.new_name, "d3d8.dll.before_zandor");
    EXPECT_EQ(setting("launcher", "set_aside_d3d8"), "d3d8.dll.before_zandor");

    finish_set_aside(&record);  // no client in place
    std::string content;
    ASSERT_TRUE(read_file(dll, &content));
    EXPECT_EQ(content, "some other program");
    EXPECT_EQ(setting("launcher", "set_aside_d3d8"), "(absent)");
    EXPECT_STREQ(launcher.player_message, "");
    EXPECT_NE(log_text().find(" the ZANDOR client was not installed: d3d8.dll.before_zandor renamed back to "
                              "D3D8.dll\r\n"),
              std::string::npos);
}

TEST_F(D3d8Test, NamesRunOutAfterTwentyAndALockedFileStays) {
    write_file(dll, "other");
    write_file(folder + "\\d3d8.dll.before_zandor", "");
    for (int i = 2; i <= 20; i++) write_file(folder + "\\d3d8.dll_" + std::to_string(i) + ".before_zandor", "");
    SetAsideRecord record;
    EXPECT_FALSE(set_aside_other_dll(&record));
    EXPECT_FALSE(record.moved);
    EXPECT_TRUE(file_exists(dll));

    DeleteFileA((folder + "\\d3d8.dll_20.before_zandor").c_str());
    HANDLE locked = CreateFileA(dll.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(set_aside_other_dll(&record));
    CloseHandle(locked);
    EXPECT_TRUE(file_exists(dll));
    EXPECT_NE(log_text().find(" another program's D3D8.dll could not be renamed to d3d8.dll_20.before_zandor (error "),
              std::string::npos);
}
