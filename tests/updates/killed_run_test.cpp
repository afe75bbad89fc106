// An update run in a real process killed while it downloads and while it swaps: the game folder
// keeps whole files, and the next run finishes the work. The killed process is this test program
// running its disabled child test.
#include <stdlib.h>

#include "support/release_fixture.h"
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
    Release release;
    release.number = 1;
    release.versions = {{PART_DLL, 1}};
    std::string dll = client_dll(1) + std::string(2000000, 'k');
    release.files = {{PART_DLL, "d3d8.dll", dll}};
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
