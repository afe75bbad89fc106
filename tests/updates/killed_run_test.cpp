// An update run in a real process killed while it downloads and while it swaps: the game folder
// keeps whole files, and the next run finishes the work. The killed process is this test program
// running its disabled child test. Also the states a kill leaves inside a DLL swap or rollback.
#include <stdlib.h>

#include "support/release_fixture.h"
#include "updates/boot_check.h"
#include "updates/state_files.h"
#include "updates/waiting_parts.h"

namespace {

// Runs in the child: one update run on the game folder named by ZANDOR_CHILD_GAME.
TEST(UpdateChild, DISABLED_RunOnce) {
    const char* game = getenv("ZANDOR_CHILD_GAME");
    ASSERT_NE(game, nullptr);
    UpdatePaths paths;
    update_paths_init(&paths, game);
    snprintf(paths.launcher_path, sizeof paths.launcher_path, "%s\\ZANDOR Launcher.exe", game);
    UpdateRequest request = {};
    strcpy(request.host, "127.0.0.1");
    request.port = update_server_port();
    strcpy(request.channel, "client");
    UpdateProgress progress = {};
    UpdateResult result = {};
    EXPECT_TRUE(run_update(&paths, &request, &progress, &result)) << result.message;
}

class KilledRun : public UpdateFixture {
protected:
    // Starts the child on this game folder, waits until ready() holds (at most about 20 s), kills it.
    template <typename Ready>
    void run_child_and_kill(Ready ready) {
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, sizeof self);
        std::string command = std::string("\"") + self +
                              "\" --gtest_filter=UpdateChild.DISABLED_RunOnce --gtest_also_run_disabled_tests";
        SetEnvironmentVariableA("ZANDOR_CHILD_GAME", folder.c_str());
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process));
        bool seen = false;
        for (int i = 0; i < 12000 && !seen; i++) {
            seen = ready();
            if (!seen) Sleep(5);
        }
        TerminateProcess(process.hProcess, 9);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        ASSERT_TRUE(seen) << "the child never reached the moment to kill it";
    }
};

}  // namespace

TEST_F(KilledRun, DuringADownload) {
    std::string dll = client_dll(1) + std::string(2000000, 'k');
    Release release = dll_release(1, 1, dll);
    serve(release);
    mode("short_pieces", "4096");
    std::string part = updates("staging/dll_v1/d3d8.dll.part");
    run_child_and_kill([&] { return contents(part).size() >= 40960 && contents(part) != "<missing>"; });

    EXPECT_FALSE(file_exists(place("d3d8.dll"))) << "nothing is placed before it is verified";
    size_t kept = contents(part).size();
    ASSERT_LT(kept, dll.size());
    EXPECT_EQ(contents(part), dll.substr(0, kept));

    serve(release);
    ASSERT_TRUE(run()) << result.message;
    std::vector<uint64_t> offsets = offsets_of(gets(), dll);
    ASSERT_FALSE(offsets.empty());
    EXPECT_EQ(offsets[0], kept) << "the next run resumes at the .part size";
    EXPECT_EQ(contents(place("d3d8.dll")), dll);
}

TEST_F(KilledRun, AfterStaging) {
    want_bots();
    Release old_release = full_release(3);
    serve(old_release);
    ASSERT_TRUE(run()) << result.message;

    Release next = full_release(4);
    next.versions = {{PART_DLL, 13}, {PART_BOTS, 3}, {PART_RUNTIME, 2}, {PART_LAUNCHER, 6}};
    next.files = {
        {PART_DLL, "d3d8.dll", client_dll(13)},
        {PART_BOTS, "a.jar", "jar a version 3"},
        {PART_BOTS, "b.jar", "jar b version 3"},
        {PART_RUNTIME, "bin/java.exe", "java version 2"},
        {PART_RUNTIME, "lib/rt.jar", std::string(90000, 'R')},
        {PART_LAUNCHER, "ZANDOR Launcher.exe", "launcher version 6"},
    };
    serve(next);
    // The swaps begin once every file is staged; the kill lands somewhere among them.
    run_child_and_kill([&] { return file_exists(updates("staging/launcher_v6/ZANDOR Launcher.exe")); });

    // Every place holds a whole old or a whole new file. A file caught between its two moves is
    // missing from its place only while its old copy lies whole in the previous folder.
    struct Place {
        std::string path, old_bytes, new_bytes, aside;
    } places[] = {
        {place("d3d8.dll"), client_dll(12), client_dll(13), updates("previous/dll_v12/d3d8.dll")},
        {bots("a.jar"), "jar a version 2", "jar a version 3", updates("previous/bots_v2/a.jar")},
        {bots("b.jar"), "jar b version 2", "jar b version 3", updates("previous/bots_v2/b.jar")},
        {bots("jre/bin/java.exe"), "java version 1", "java version 2", updates("previous/runtime_v1/bin/java.exe")},
        {place("ZANDOR Launcher.exe"), "launcher version 5", "launcher version 6",
         updates("previous/launcher_v5/ZANDOR Launcher.exe")},
    };
    for (const Place& p : places) {
        std::string now = contents(p.path);
        if (now == "<missing>") {
            EXPECT_EQ(contents(p.aside), p.old_bytes) << p.path;
        } else {
            EXPECT_TRUE(now == p.old_bytes || now == p.new_bytes) << p.path << " holds " << now;
        }
    }

    // The next start finishes the work.
    unsigned applied = 0;
    char notes[600];
    apply_waiting_parts(&paths, &applied, notes, sizeof notes);
    serve(next);
    ASSERT_TRUE(run()) << result.message;
    for (const Place& p : places) EXPECT_EQ(contents(p.path), p.new_bytes) << p.path;
    EXPECT_EQ(contents(bots("jre/lib/rt.jar")), std::string(90000, 'R'));
    InstalledState state = installed();
    EXPECT_EQ(std::vector<uint32_t>(state.version, state.version + 4), (std::vector<uint32_t>{13, 3, 2, 6}));
}

// A new DLL's installation, or its rollback, cut short after each of its steps: the state each step
// leaves is made by hand; the boot check of the next start finishes or undoes the step, and the next
// update run ends with the new DLL in place on probation (or, after a rollback, leaves it out).
TEST_F(KilledRun, DllInstallAndRollbackCutShortAtEveryStep) {
    const std::string old_dll = client_dll(12), new_dll = client_dll(13);
    struct Case {
        const char* name;
        bool dll_in_place_old, dll_in_place_new;  // neither: no DLL in place
        bool old_aside, new_staged, new_failed;
        int attempts;  // -1: no boot.json
        int boot_code;
        bool rolled_back;
    } cases[] = {
        {"before the probation is recorded", true, false, false, true, false, -1, BOOT_NO_PROBATION, false},
        {"probation recorded, swap not begun", true, false, false, true, false, 0, BOOT_NO_PROBATION, false},
        {"old DLL copied aside, not yet replaced", true, false, true, true, false, 0, BOOT_NO_PROBATION, false},
        {"new DLL in place on probation", false, true, true, false, false, 0, BOOT_ON_PROBATION, false},
        {"rollback: failed DLL copied out", false, true, true, false, true, 2, BOOT_ROLLED_BACK, true},
        {"rollback: previous DLL back, records not written", true, false, false, false, true, 2, BOOT_ROLLED_BACK,
         true},
        // What a swap or a rollback that moves the DLL out before moving the other in leaves between
        // its two moves.
        {"old DLL moved aside, new one not yet in", false, false, true, true, false, 0, BOOT_NO_PROBATION, false},
        {"rollback: failed DLL moved out", false, false, true, false, true, 2, BOOT_ROLLED_BACK, true},
    };
    Release next = dll_release(2, 13, new_dll);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        remove_tree(folder);
        folder = make_temp_folder("killed_dll");
        update_paths_init(&paths, folder.c_str());
        ASSERT_TRUE(write_file(place("ZANDOR Launcher.exe"), "launcher version 4"));
        InstalledState state = {};
        state.highest_release_seen = 1;
        state.version[PART_DLL] = 12;
        strcpy(state.dll_sha512, sha512_hex(old_dll).c_str());
        ASSERT_TRUE(installed_state_save(&paths, &state));
        const std::string aside = updates("previous/dll_v12/d3d8.dll");
        const std::string failed = updates("failed/d3d8_" + sha512_hex(new_dll).substr(0, 16) + ".dll");
        auto put = [&](const std::string& path, const std::string& bytes) {
            make_parent_dirs(path.c_str());
            ASSERT_TRUE(write_file(path, bytes)) << path;
        };
        if (c.dll_in_place_old) put(place("d3d8.dll"), old_dll);
        if (c.dll_in_place_new) put(place("d3d8.dll"), new_dll);
        if (c.old_aside) put(aside, old_dll);
        if (c.new_staged) put(updates("staging/dll_v13/d3d8.dll"), new_dll);
        if (c.new_failed) put(failed, new_dll);
        if (c.attempts >= 0) {
            BootState boot = {};
            strcpy(boot.pending_sha512, sha512_hex(new_dll).c_str());
            boot.pending_version = 13;
            boot.attempts = c.attempts;
            strcpy(boot.previous_path, aside.c_str());
            strcpy(boot.previous_sha512, sha512_hex(old_dll).c_str());
            boot.previous_version = 12;
            ASSERT_TRUE(boot_state_save(&paths, &boot));
        }

        char message[300];
        EXPECT_EQ(dll_boot_check(&paths, message, sizeof message), c.boot_code);
        if (c.boot_code == BOOT_ON_PROBATION) {
            EXPECT_EQ(contents(place("d3d8.dll")), new_dll);
            EXPECT_TRUE(file_exists(updates("boot.json")));
        } else {
            EXPECT_EQ(contents(place("d3d8.dll")), old_dll) << "the old DLL is back in place";
            EXPECT_FALSE(file_exists(updates("boot.json"))) << "the probation ended";
        }
        if (c.rolled_back) {
            EXPECT_EQ(contents(failed), new_dll);
            EXPECT_STREQ(installed().bad_dll_sha512, sha512_hex(new_dll).c_str());
            EXPECT_EQ(installed().version[PART_DLL], 12u);
        }

        // The next run: a probation the boot check ended is started again with the new DLL; a DLL
        // that was rolled back is not installed again.
        serve(next);
        ASSERT_TRUE(run()) << result.message;
        if (c.rolled_back) {
            EXPECT_EQ(result.newer, 0u);
            EXPECT_STREQ(result.message, "DLL version 13 failed to start before - not installed again; ");
            EXPECT_EQ(contents(place("d3d8.dll")), old_dll);
            continue;
        }
        EXPECT_EQ(contents(place("d3d8.dll")), new_dll);
        EXPECT_EQ(installed().version[PART_DLL], 13u);
        EXPECT_STREQ(installed().dll_sha512, sha512_hex(new_dll).c_str());
        BootState boot;
        ASSERT_TRUE(boot_state_load(&paths, &boot));
        EXPECT_STREQ(boot.pending_sha512, sha512_hex(new_dll).c_str());
        EXPECT_EQ(boot.attempts, 0u);
        EXPECT_EQ(boot.previous_path, aside);
        EXPECT_EQ(contents(aside), old_dll);
    }
}

// DLL 12 on probation (one failed start, DLL 11 kept aside) when the install of DLL 13 is cut short
// after boot.json names DLL 13: the boot check ends DLL 13's probation and gives back DLL 12's, so a
// second failed start of DLL 12 still brings DLL 11 back. (A swap whose restore found the disk full
// leaves the same files.)
TEST_F(KilledRun, AnInstallCutShortGivesBackTheProbationItReplaced) {
    const std::string dll11 = client_dll(11), dll12 = client_dll(12), dll13 = client_dll(13);
    struct Case {
        const char* name;
        bool dll12_in_place;  // otherwise it was moved aside and nothing is in place
    } cases[] = {{"probation of 13 recorded, swap not begun", true}, {"DLL 12 moved aside, 13 not yet in", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        remove_tree(folder);
        folder = make_temp_folder("killed_probation");
        update_paths_init(&paths, folder.c_str());
        const std::string aside11 = updates("previous/dll_v11/d3d8.dll"), aside12 = updates("previous/dll_v12/d3d8.dll");
        for (const auto& file : {std::make_pair(aside11, dll11), std::make_pair(c.dll12_in_place ? place("d3d8.dll") : aside12, dll12)}) {
            make_parent_dirs(file.first.c_str());
            ASSERT_TRUE(write_file(file.first, file.second));
        }
        BootState twelve = {};
        strcpy(twelve.pending_sha512, sha512_hex(dll12).c_str());
        twelve.pending_version = 12;
        twelve.attempts = 1;
        strcpy(twelve.previous_path, aside11.c_str());
        strcpy(twelve.previous_sha512, sha512_hex(dll11).c_str());
        twelve.previous_version = 11;
        BootState thirteen = {};
        strcpy(thirteen.pending_sha512, sha512_hex(dll13).c_str());
        thirteen.pending_version = 13;
        strcpy(thirteen.previous_path, aside12.c_str());
        strcpy(thirteen.previous_sha512, sha512_hex(dll12).c_str());
        thirteen.previous_version = 12;
        ASSERT_TRUE(replaced_boot_state_save(&paths, &twelve));
        ASSERT_TRUE(boot_state_save(&paths, &thirteen));

        char message[300];
        EXPECT_EQ(dll_boot_check(&paths, message, sizeof message), BOOT_ON_PROBATION) << message;
        EXPECT_EQ(contents(place("d3d8.dll")), dll12);
        EXPECT_FALSE(file_exists(updates("boot_replaced.json")));
        BootState boot;
        ASSERT_TRUE(boot_state_load(&paths, &boot));
        EXPECT_STREQ(boot.pending_sha512, sha512_hex(dll12).c_str());
        EXPECT_EQ(boot.attempts, 1u);
        EXPECT_EQ(boot.previous_path, aside11);

        boot.attempts = 2;  // DLL 12 fails a second time
        ASSERT_TRUE(boot_state_save(&paths, &boot));
        EXPECT_EQ(dll_boot_check(&paths, message, sizeof message), BOOT_ROLLED_BACK) << message;
        EXPECT_EQ(contents(place("d3d8.dll")), dll11);
    }
}

// A run killed after the new DLL's swap but before installed.json was saved: boot.json alone names
// the DLL as the launcher's, so a later release that no longer lists it still replaces it.
TEST_F(KilledRun, DllRecordedOnlyByItsProbationIsStillTheLaunchers) {
    Release first = dll_release(1, 12, client_dll(12));
    serve(first);
    ASSERT_TRUE(run()) << result.message;
    // What the killed run of release 2 left: DLL 13 in place on probation, installed.json of DLL 12.
    BootState boot;
    ASSERT_TRUE(boot_state_load(&paths, &boot));
    strcpy(boot.pending_sha512, sha512_hex(client_dll(13)).c_str());
    boot.pending_version = 13;
    ASSERT_TRUE(boot_state_save(&paths, &boot));
    ASSERT_TRUE(write_file(place("d3d8.dll"), client_dll(13)));
    char message[300];
    EXPECT_EQ(dll_boot_check(&paths, message, sizeof message), BOOT_ON_PROBATION);

    Release third = dll_release(3, 14, client_dll(14));
    serve(third);
    ASSERT_TRUE(run()) << result.message;
    EXPECT_FALSE(result.dll_not_ours);
    EXPECT_EQ(result.applied, 0x1u);
    EXPECT_EQ(contents(place("d3d8.dll")), client_dll(14));
}

// A bots or runtime swap takes several moves, and the update run records both parts as waiting
// before the first one. Whatever moves a kill left undone, the next start finishes the swaps before
// anything else, without the update server, and keeps the old files aside.
TEST_F(KilledRun, BotsAndRuntimeSwapsCutShortAreFinishedWithoutTheServer) {
    Release next = full_release(4);
    next.versions = {{PART_DLL, 12}, {PART_BOTS, 3}, {PART_RUNTIME, 2}, {PART_LAUNCHER, 5}};
    next.files = {
        {PART_DLL, "d3d8.dll", client_dll(12)},
        {PART_BOTS, "a.jar", "jar a version 3"},
        {PART_BOTS, "b.jar", "jar b version 3"},
        {PART_BOTS, "c.jar", "jar c version 3"},
        {PART_RUNTIME, "bin/java.exe", "java version 2"},
        {PART_LAUNCHER, "ZANDOR Launcher.exe", "launcher version 5"},
    };
    struct Case {
        const char* name;
        int jars_moved;       // of a.jar, b.jar, c.jar, in order
        int runtime_moves;    // 0: none, 1: old folder aside, 2: new folder in too
    } cases[] = {
        {"no move made yet", 0, 0},
        {"one jar swapped", 1, 0},
        {"every jar swapped, the runtime folder moved aside", 3, 1},
        {"every move made, nothing recorded", 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        remove_tree(folder);
        folder = make_temp_folder("killed_parts");
        update_paths_init(&paths, folder.c_str());
        ASSERT_TRUE(write_file(place("ZANDOR Launcher.exe"), "launcher version 4"));
        want_bots();
        serve(full_release(3));
        ASSERT_TRUE(run()) << result.message;

        // Both parts staged and recorded as waiting: a bot holds b.jar and the runtime folder.
        serve(next);
        HANDLE jar =
            CreateFileA(bots("b.jar").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        HANDLE jre = CreateFileA(bots("jre").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        ASSERT_TRUE(run()) << result.message;
        CloseHandle(jar);
        CloseHandle(jre);
        ASSERT_EQ(result.staged, 0x6u);
        ASSERT_EQ(installed().staged_version[PART_BOTS], 3u);

        // The moves the cut run made, as it makes them.
        const char* jars[] = {"a.jar", "b.jar", "c.jar"};
        for (int i = 0; i < c.jars_moved; i++) {
            std::string jar_place = bots(jars[i]), aside = updates(std::string("previous/bots_v2/") + jars[i]);
            make_parent_dirs(aside.c_str());
            if (file_exists(jar_place)) ASSERT_TRUE(CopyFileA(jar_place.c_str(), aside.c_str(), FALSE));
            ASSERT_TRUE(MoveFileExA(updates(std::string("staging/bots_v3/") + jars[i]).c_str(), jar_place.c_str(),
                                    MOVEFILE_REPLACE_EXISTING));
        }
        if (c.runtime_moves >= 1) {
            make_parent_dirs(updates("previous/runtime_v1").c_str());
            ASSERT_TRUE(MoveFileExA(bots("jre").c_str(), updates("previous/runtime_v1").c_str(), 0));
        }
        if (c.runtime_moves >= 2) {
            ASSERT_TRUE(MoveFileExA(updates("staging/runtime_v2").c_str(), bots("jre").c_str(), 0));
        }

        ASSERT_EQ(update_server_command("RESET"), "OK");  // the server knows no release now
        unsigned applied = 0;
        char notes[600];
        apply_waiting_parts(&paths, &applied, notes, sizeof notes);
        EXPECT_EQ(applied, 0x6u) << notes;
        EXPECT_STREQ(notes, "bots version 3 swapped in (version 2 kept); runtime version 2 swapped in (version 1 kept); ");
        for (const char* jar_name : jars) {
            EXPECT_EQ(contents(bots(jar_name)), std::string("jar ") + jar_name[0] + " version 3") << jar_name;
        }
        EXPECT_EQ(contents(updates("previous/bots_v2/a.jar")), "jar a version 2");
        EXPECT_EQ(contents(updates("previous/bots_v2/b.jar")), "jar b version 2");
        EXPECT_EQ(contents(bots("jre/bin/java.exe")), "java version 2");
        EXPECT_FALSE(file_exists(bots("jre/lib/rt.jar")));
        EXPECT_EQ(contents(updates("previous/runtime_v1/lib/rt.jar")), std::string(70000, 'r'));
        InstalledState state = installed();
        EXPECT_EQ(state.version[PART_BOTS], 3u);
        EXPECT_EQ(state.version[PART_RUNTIME], 2u);
        EXPECT_EQ(state.staged_version[PART_BOTS], 0u);
        EXPECT_EQ(state.staged_version[PART_RUNTIME], 0u);
        EXPECT_EQ(state.installed_release, 4u);
        EXPECT_EQ(state.staged_release, 0u);
    }
}
