// The grant's access entry, checked in a list built in memory exactly as the grant run builds it,
// and the grant run itself on a game folder, a folder without the game and a link.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "core/command_line.h"
#include "game_folder/grant.h"
#include "support/folder_link.h"
#include "support/test_support.h"

TEST(Grant, TheEntryGivesTheUserReadWriteExecuteAndDeleteInherited) {
    PSID user = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-21-1-2-3-1001", &user));
    PACL list = nullptr;
    ASSERT_TRUE(build_granted_list(nullptr, user, &list));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->AceCount, 1);
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(list, 0, (void**)&ace));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Mask, 0x1301BFu);
    EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_TRUE(EqualSid((PSID)&ace->SidStart, user));
    LocalFree(list);
    LocalFree(user);
}

// The run works on the folder it opened: a folder without pes6.exe, or one that is a link (even to a
// real game folder), is refused with 2. (Wine keeps no access lists where these tests run: it
// answers with lists made from the Unix permissions, so the entry itself is checked above.)
TEST(Grant, OnlyAGameFolderOfItsOwnGetsTheEntry) {
    const char* sid_text = "S-1-5-21-7-8-9-1002";
    std::string root = make_temp_folder("grant");
    std::string game = root + "\\PES6", empty = root + "\\empty", linked = root + "\\linked";
    CreateDirectoryA(game.c_str(), nullptr);
    CreateDirectoryA(empty.c_str(), nullptr);
    write_file(game + "\\pes6.exe", "MZ");
    LinkKind link = make_link(linked, game);
    ASSERT_NE(link, LINK_NONE);

    EXPECT_EQ(grant_folder_access(linked.c_str(), sid_text), GRANT_NO_GAME);
    EXPECT_EQ(grant_folder_access(empty.c_str(), sid_text), GRANT_NO_GAME);
    EXPECT_EQ(grant_folder_access((root + "\\missing").c_str(), sid_text), GRANT_NO_GAME);
    EXPECT_EQ(grant_folder_access(game.c_str(), "not a sid"), GRANT_BAD_SID);
    EXPECT_EQ(grant_folder_access(game.c_str(), sid_text), GRANT_DONE);

    remove_link(linked, link);
    remove_tree(root);
}

// The grant run's parameters go through the system's own argument splitting and the launcher's
// parser: every folder comes back as it was, a drive root included. A command line that starts
// with "--grant-folder" but does not parse (as "D:\" once gave) ends the launcher with 3 before it
// does anything else.
TEST(Grant, ParametersSurviveTheCommandLine) {
    const char* sid = "S-1-5-21-7-8-9-1002";
    for (const char* folder : {"D:\\", "D:\\Games\\PES6\\", "D:\\Games\\PES6", "C:\\Program Files (x86)\\KONAMI\\PES 6",
                               "C:\\My Games\\PES 6\\\\", "\\\\server\\share\\PES6"}) {
        SCOPED_TRACE(folder);
        char parameters[560];
        ASSERT_TRUE(format_grant_parameters(parameters, sizeof parameters, folder, sid));
        std::wstring wide = L"launcher.exe ";
        for (const char* c = parameters; *c; c++) wide += (wchar_t)(unsigned char)*c;
        int count = 0;
        LPWSTR* split = CommandLineToArgvW(wide.c_str(), &count);
        ASSERT_NE(split, nullptr);
        std::vector<std::string> narrow;
        for (int i = 1; i < count; i++) {
            std::string arg;
            for (const wchar_t* c = split[i]; *c; c++) arg += (char)*c;
            narrow.push_back(arg);
        }
        LocalFree(split);
        std::vector<const char*> args;
        for (const std::string& arg : narrow) args.push_back(arg.c_str());
        CommandLine line;
        parse_command_line((int)args.size(), args.data(), &line);
        EXPECT_TRUE(line.grant) << parameters;
        EXPECT_FALSE(line.grant_refused);
        EXPECT_STREQ(line.grant_folder, folder);
        EXPECT_STREQ(line.grant_sid, sid);
    }

    std::string root = make_temp_folder("grantline");
    unsigned long code = 99;
    ASSERT_TRUE(run_program("\"" + launcher_exe() + "\" --grant-folder \"D:\\\" --grant-sid " + sid, root, &code));
    EXPECT_EQ(code, (unsigned long)GRANT_BAD_ARGUMENTS);
    EXPECT_FALSE(folder_exists(root + "\\ombrix_data")) << "no launcher run";
    remove_tree(root);
}
