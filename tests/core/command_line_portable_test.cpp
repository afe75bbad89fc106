// The command-line forms, as a table.
#include <gtest/gtest.h>

#include <vector>

#include "core/command_line.h"

TEST(CommandLine, FormsAndFlags) {
    struct Case {
        std::vector<const char*> args;
        bool grant, refused, no_game, uninstall;
    } cases[] = {
        {{}, false, false, false, false},
        {{"--grant-folder", "C:\\Games\\PES6", "--grant-sid", "S-1-5-21-1"}, true, false, false, false},
        // Starting with "--grant-folder" but not exactly four arguments with "--grant-sid" third: refused,
        // never a normal run (it may be the elevated copy).
        {{"--grant-folder", "C:\\Games\\PES6", "--grant-sid"}, false, true, false, false},
        {{"--grant-folder", "C:\\Games\\PES6", "--grant-sid", "S-1-5-21-1", "--no-game"}, false, true, true, false},
        {{"--grant-folder", "C:\\Games\\PES6", "--no-game", "S-1-5-21-1"}, false, true, true, false},
        {{"--grant-folder", "D:\" --grant-sid S-1-5-21-1"}, false, true, false, false},
        {{"--GRANT-FOLDER", "C:\\Games\\PES6", "--grant-sid", "S-1-5-21-1"}, false, false, false, false},
        {{"--no-game", "--grant-folder", "C:\\Games\\PES6"}, false, false, true, false},
        // Comparisons are exact and case-sensitive.
        {{"--NO-GAME"}, false, false, false, false},
        {{"--no-game "}, false, false, false, false},
        {{"x", "--no-game"}, false, false, true, false},
        {{"--uninstall", "--no-game"}, false, false, true, true},
        {{"--uninstall"}, false, false, false, true},
    };
    for (const Case& c : cases) {
        CommandLine line;
        parse_command_line((int)c.args.size(), c.args.data(), &line);
        std::string shown;
        for (const char* a : c.args) shown += std::string(a) + " ";
        EXPECT_EQ(line.grant, c.grant) << shown;
        EXPECT_EQ(line.grant_refused, c.refused) << shown;
        EXPECT_EQ(line.no_game, c.no_game) << shown;
        EXPECT_EQ(line.uninstall, c.uninstall) << shown;
    }
}

TEST(CommandLine, GrantValuesAreCutAtTheirCapacity) {
    std::string long_folder(400, 'f'), long_sid(300, 's');
    const char* args[] = {"--grant-folder", long_folder.c_str(), "--grant-sid", long_sid.c_str()};
    CommandLine line;
    parse_command_line(4, args, &line);
    ASSERT_TRUE(line.grant);
    EXPECT_EQ(std::string(line.grant_folder), std::string(259, 'f'));
    EXPECT_EQ(std::string(line.grant_sid), std::string(199, 's'));
}
