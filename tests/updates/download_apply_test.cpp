// Download, staging and the part swaps against the reference update server, in temporary game
// folders.
#include <winsock2.h>
#include <windows.h>
#include <ctype.h>

#include "core/file_tree.h"
#include "support/folder_link.h"
#include "support/linked_tree_fixture.h"
#include "support/release_fixture.h"
#include "updates/apply.h"
#include "updates/boot_check.h"
#include "updates/staging.h"
#include "updates/update_protocol.h"
#include "updates/waiting_parts.h"

namespace {

class DownloadApply : public UpdateFixture {
protected:
    // Opens the installed DLL as the running game or an on-access scanner holds it (reading, sharing
    // reads only): while the handle is open the DLL can be neither replaced nor moved.
    HANDLE hold_installed_dll() {
        return CreateFileA(place("d3d8.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    }

    // The release's manifest parsed, and its runtime files written into the runtime's staging folder
    // as a finished download leaves them.
    void stage_runtime(const Release& release, UpdateManifest* manifest) {
        std::string text = manifest_text(release);
        ASSERT_TRUE(manifest_parse(text.data(), text.size(), manifest, nullptr, 0));
        for (const ReleaseFile& f : release.files) {
            if (f.kind != PART_RUNTIME) continue;
            std::string path = updates("staging/runtime_v1/" + f.path);
            make_parent_dirs(path.c_str());
            ASSERT_TRUE(write_file(path, f.bytes));
        }
    }
};

std::string boot_json(const std::string& pending, int version, const std::string& previous_path,
                      const std::string& previous_sha, int previous_version) {
    std::string escaped;
    for (char c : previous_path) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return "{\n \"pending_sha512\": \"" + pending + "\",\n \"pending_version\": " + std::to_string(version) +
           ",\n \"attempts\": 0,\n \"previous_path\": \"" + escaped + "\",\n \"previous_sha512\": \"" + previous_sha +
           "\",\n \"previous_version\": " + std::to_string(previous_version) + ",\n \"format\": 1\n}\n";
}

// The names in a folder (files and folders), sorted.
std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = entry.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// Sets stop once the .part file holds some bytes (or after about 10 s).
struct StopWatch {
    std::string part;
    UpdateProgress* progress;
};

DWORD WINAPI stop_when_part_grows(void* context) {
    StopWatch* w = (StopWatch*)context;
    for (int i = 0; i < 2000; i++) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(w->part.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow > 0) break;
        Sleep(5);
    }
    InterlockedExchange(&w->progress->stop, 1);
    return 0;
}

// One update run on its own thread, timed.
struct TimedRun {
    UpdatePaths paths;
    UpdateRequest request;
    UpdateProgress progress;
    UpdateResult result;
    bool ok;
    DWORD elapsed_ms;
};

DWORD WINAPI timed_run(void* context) {
    TimedRun* run = (TimedRun*)context;
    DWORD start = GetTickCount();
    run->ok = run_update(&run->paths, &run->request, &run->progress, &run->result);
    run->elapsed_ms = GetTickCount() - start;
    return 0;
}

void prepare_run(TimedRun* run, const std::string& game_folder, int port) {
    memset(run, 0, sizeof *run);
    update_paths_init(&run->paths, game_folder.c_str());
    strcpy(run->request.host, "127.0.0.1");
    run->request.port = port;
    strcpy(run->request.channel, "client");
}

// A launcher file that runs, as the launcher's own does during its update: a copy of a program that
// idles for two minutes, started from its place. Null when it cannot be started.
void* start_stand_in(const std::string& exe, const std::string& folder) {
    if (!CopyFileA(test_tool("idle").c_str(), exe.c_str(), FALSE)) return nullptr;
    return start_program("\"" + exe + "\" 120000", folder);
}

// A release of the launcher alone, at version 6.
Release launcher_release() {
    Release release;
    release.number = 3;
    release.versions = {{PART_LAUNCHER, 6}};
    release.files = {{PART_LAUNCHER, "ZANDOR Launcher.exe", "launcher version 6"}};
    return release;
}

}  // namespace

TEST_F(DownloadApply, FirstInstallThenNothingToFetch) {
    want_bots();
    Release release = full_release(3);
    serve(release);
    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(result.release, 3u);
    EXPECT_EQ(result.newer, 0xFu);
    EXPECT_EQ(result.applied, 0xFu);
    EXPECT_EQ(result.staged, 0u);
    EXPECT_STREQ(result.message, "");
    EXPECT_EQ(progress.phase, PHASE_FINISHED);
    EXPECT_EQ(progress.done_bytes, progress.total_bytes);
    EXPECT_EQ(progress.total_bytes, 70000u + 15 + 15 + 14 + client_dll(12).size() + 18);

    EXPECT_EQ(contents(place("d3d8.dll")), client_dll(12));
    EXPECT_EQ(contents(bots("a.jar")), "jar a version 2");
    EXPECT_EQ(contents(bots("b.jar")), "jar b version 2");
    EXPECT_EQ(contents(bots("jre/bin/java.exe")), "java version 1");
    EXPECT_EQ(contents(bots("jre/lib/rt.jar")), std::string(70000, 'r'));
    EXPECT_EQ(contents(bots("jre/lib/empty.cfg")), "");
    EXPECT_EQ(contents(place("ZANDOR Launcher.exe")), "launcher version 5");
    EXPECT_EQ(contents(updates("previous/launcher_v0/ZANDOR Launcher.exe")), "launcher version 4");
    EXPECT_EQ(names_in(updates("staging")), std::vector<std::string>{}) << "staging folders are removed";

    // The empty file was never asked for.
    EXPECT_TRUE(offsets_of(gets(), "").empty());

    EXPECT_EQ(contents(updates("boot.json")), boot_json(sha512_hex(client_dll(12)), 12, "", "", 0));
    InstalledState state = installed();
    EXPECT_EQ(state.highest_release_seen, 3u);
    EXPECT_EQ(state.installed_release, 3u);
    EXPECT_EQ(state.staged_release, 0u);
    EXPECT_TRUE(state.dll_managed);
    EXPECT_TRUE(state.bots_wanted);
    EXPECT_EQ(std::vector<uint32_t>(state.version, state.version + 4), (std::vector<uint32_t>{12, 2, 1, 5}));
    EXPECT_STREQ(state.dll_sha512, sha512_hex(client_dll(12)).c_str());
    EXPECT_EQ(contents(updates("installed_manifest.txt")), manifest_text(release));

    serve(release);
    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(result.newer, 0u);
    EXPECT_TRUE(gets().empty()) << "a second run sends no GET";
}

TEST_F(DownloadApply, ResumesAfterADroppedConnection) {
    std::string dll = client_dll(1) + std::string(600000, 'x');
    Release release = dll_release(2, 1, dll);
    serve(release);
    mode("drop_after", "300000");
    EXPECT_FALSE(run());
    EXPECT_STREQ(result.message, "the download of d3d8.dll broke off (it resumes next time)");
    EXPECT_EQ(result.release, 2u);
    EXPECT_FALSE(result.stopped);
    EXPECT_EQ(progress.phase, PHASE_FAILED);
    std::string part = updates("staging/dll_v1/d3d8.dll.part");
    EXPECT_EQ(contents(part).size(), 262144u) << "only whole pieces are written";
    EXPECT_FALSE(file_exists(place("d3d8.dll")));
    EXPECT_EQ(installed().highest_release_seen, 2u) << "a run that got a manifest saves installed.json";

    serve(release);
    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(offsets_of(gets(), dll), (std::vector<uint64_t>{262144, 524288}));
    EXPECT_EQ(progress.done_bytes, dll.size());
    EXPECT_EQ(contents(place("d3d8.dll")), dll);
}

TEST_F(DownloadApply, PartFilesShortPiecesAndEmptyFiles) {
    want_bots();
    Release release;
    release.number = 1;
    release.versions = {{PART_BOTS, 2}};
    std::string resumed(5000, 'r'), oversized(3000, 'o'), whole(2500, 'w'), empty;
    release.files = {{PART_BOTS, "resumed.jar", resumed},
                     {PART_BOTS, "oversized.jar", oversized},
                     {PART_BOTS, "whole.jar", whole},
                     {PART_BOTS, "empty.jar", empty}};
    serve(release);
    mode("short_pieces", "1500");
    CreateDirectoryA(updates("staging").c_str(), nullptr);
    CreateDirectoryA(updates("staging/bots_v2").c_str(), nullptr);
    ASSERT_TRUE(write_file(updates("staging/bots_v2/resumed.jar.part"), resumed.substr(0, 1000)));
    ASSERT_TRUE(write_file(updates("staging/bots_v2/oversized.jar.part"), oversized + "more"));
    ASSERT_TRUE(write_file(updates("staging/bots_v2/whole.jar.part"), whole));

    ASSERT_TRUE(run()) << result.message;
    std::vector<std::string> lines = gets();
    EXPECT_EQ(offsets_of(lines, resumed), (std::vector<uint64_t>{1000, 2500, 4000}));
    EXPECT_EQ(offsets_of(lines, oversized), (std::vector<uint64_t>{0, 1500}));
    EXPECT_TRUE(offsets_of(lines, whole).empty());
    EXPECT_TRUE(offsets_of(lines, empty).empty());
    EXPECT_EQ(progress.total_bytes, 5000u + 3000 + 2500);
    EXPECT_EQ(progress.done_bytes, progress.total_bytes);
    EXPECT_EQ(contents(bots("resumed.jar")), resumed);
    EXPECT_EQ(contents(bots("oversized.jar")), oversized);
    EXPECT_EQ(contents(bots("whole.jar")), whole);
    EXPECT_EQ(contents(bots("empty.jar")), "");
}

TEST_F(DownloadApply, ChangedFilesAreRefused) {
    std::string dll = client_dll(1) + std::string(1000, 'd');
    Release release = dll_release(1, 1, dll);
    serve(release);
    mode("corrupt_byte", "10");
    EXPECT_FALSE(run());
    EXPECT_STREQ(result.message, "dll/d3d8.dll arrived changed (its SHA-512 is not the signed one) - deleted, refused");
    EXPECT_FALSE(file_exists(updates("staging/dll_v1/d3d8.dll.part")));
    EXPECT_FALSE(file_exists(place("d3d8.dll")));

    // A .part of the full size but with wrong bytes is checked, deleted and fetched again from 0.
    ASSERT_TRUE(write_file(updates("staging/dll_v1/d3d8.dll.part"), std::string(dll.size(), '?')));
    serve(release);
    EXPECT_FALSE(run());
    EXPECT_TRUE(gets().empty());
    EXPECT_FALSE(file_exists(updates("staging/dll_v1/d3d8.dll.part")));
    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(offsets_of(gets(), dll), (std::vector<uint64_t>{0}));
    EXPECT_EQ(contents(place("d3d8.dll")), dll);
}

TEST_F(DownloadApply, StopBetweenPiecesKeepsThePartFile) {
    std::string dll = client_dll(1) + std::string(400000, 's');
    Release release = dll_release(1, 1, dll);
    serve(release);
    mode("short_pieces", "2000");
    std::string part = updates("staging/dll_v1/d3d8.dll.part");
    StopWatch watch = {part, &progress};
    HANDLE stopper = CreateThread(nullptr, 0, stop_when_part_grows, &watch, 0, nullptr);
    UpdateRequest request = {};
    strcpy(request.host, "127.0.0.1");
    request.port = port;
    strcpy(request.channel, "client");
    memset(&result, 0, sizeof result);
    EXPECT_FALSE(run_update(&paths, &request, &progress, &result));
    WaitForSingleObject(stopper, INFINITE);
    CloseHandle(stopper);
    EXPECT_STREQ(result.message, "stopped");
    EXPECT_TRUE(result.stopped);
    size_t kept = contents(part).size();
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, dll.size());

    serve(release);
    ASSERT_TRUE(run()) << result.message;
    std::vector<uint64_t> offsets = offsets_of(gets(), dll);
    ASSERT_FALSE(offsets.empty());
    EXPECT_EQ(offsets[0], kept);
}

// Parts that cannot be swapped wait for the next start; dropped jars move aside; one previous
// version per kind.
// An installed manifest that cannot be stored (a folder stands where its temporary file goes) fails
// the run as an unwritable installed.json does; the next run stores it, so a jar that a later
// release drops still leaves the bots folder.
TEST_F(DownloadApply, AnInstalledManifestThatCannotBeStoredFailsTheRunAndIsStoredNextTime) {
    want_bots();
    serve(full_release(3));
    ASSERT_TRUE(run()) << result.message;
    Release with_c = full_release(4);
    with_c.versions[PART_BOTS] = 3;
    with_c.files[1].bytes = "jar a version 3";
    with_c.files.push_back({PART_BOTS, "c.jar", "jar c version 3"});
    std::string in_the_way = updates("installed_manifest.txt.new");
    ASSERT_TRUE(CreateDirectoryA(in_the_way.c_str(), nullptr));
    serve(with_c);
    EXPECT_FALSE(run());
    EXPECT_NE(std::string(result.message).find("cannot write installed_manifest.txt (error "), std::string::npos)
        << result.message;
    EXPECT_EQ(contents(bots("c.jar")), "jar c version 3");
    EXPECT_EQ(installed().installed_release, 3u);

    RemoveDirectoryA(in_the_way.c_str());
    serve(with_c);
    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(result.newer, 0u);
    EXPECT_EQ(installed().installed_release, 4u);
    EXPECT_EQ(contents(updates("installed_manifest.txt")), manifest_text(with_c));

    Release without_c = full_release(5);
    without_c.versions[PART_BOTS] = 4;
    without_c.files[1].bytes = "jar a version 4";
    serve(without_c);
    ASSERT_TRUE(run()) << result.message;
    EXPECT_FALSE(file_exists(bots("c.jar"))) << "the dropped jar left the bots folder";
}

TEST_F(DownloadApply, SwapsWaitFollowAndKeepOnePreviousVersion) {
    want_bots();
    serve(full_release(3));
    ASSERT_TRUE(run()) << result.message;

    Release next = full_release(4);
    next.versions = {{PART_DLL, 13}, {PART_BOTS, 3}, {PART_RUNTIME, 2}, {PART_LAUNCHER, 5}};
    next.files = {
        {PART_DLL, "d3d8.dll", client_dll(13)},
        {PART_BOTS, "a.jar", "jar a version 3"},
        {PART_BOTS, "b.jar", "jar b version 3"},
        {PART_BOTS, "c.jar", "jar c version 3"},
        {PART_RUNTIME, "bin/java.exe", "java version 2"},
        {PART_LAUNCHER, "ZANDOR Launcher.exe", "launcher version 5"},
    };
    serve(next);
    // A bot is running: it holds b.jar and the runtime folder without delete sharing.
    HANDLE jar = CreateFileA(bots("b.jar").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE jre = CreateFileA(bots("jre").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(jar, INVALID_HANDLE_VALUE);
    ASSERT_NE(jre, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(result.newer, 0x7u);
    EXPECT_EQ(result.applied, 0x1u);
    EXPECT_EQ(result.staged, 0x6u);
    std::string message = result.message;
    EXPECT_NE(message.find("bots waits for the next start ("), std::string::npos) << message;
    EXPECT_NE(message.find("runtime waits for the next start (the Java runtime is in use (a bot is running) - it is "
                           "swapped at the next start (error "),
              std::string::npos)
        << message;
    EXPECT_EQ(contents(bots("a.jar")), "jar a version 2") << "the jar swapped before b.jar is back";
    EXPECT_EQ(contents(bots("b.jar")), "jar b version 2");
    EXPECT_FALSE(file_exists(bots("c.jar")));
    EXPECT_EQ(contents(bots("jre/bin/java.exe")), "java version 1");
    EXPECT_EQ(contents(place("d3d8.dll")), client_dll(13));
    InstalledState state = installed();
    EXPECT_EQ(state.staged_version[PART_BOTS], 3u);
    EXPECT_EQ(state.staged_version[PART_RUNTIME], 2u);
    EXPECT_EQ(state.staged_release, 4u);
    EXPECT_EQ(state.installed_release, 3u);
    EXPECT_EQ(contents(updates("staged_manifest.txt")), manifest_text(next));
    CloseHandle(jar);
    CloseHandle(jre);

    // The next start swaps both in first.
    unsigned applied = 0;
    char notes[600];
    apply_waiting_parts(&paths, &applied, notes, sizeof notes);
    EXPECT_EQ(applied, 0x6u);
    EXPECT_STREQ(notes, "bots version 3 swapped in (version 2 kept); runtime version 2 swapped in (version 1 kept); ");
    EXPECT_EQ(contents(bots("c.jar")), "jar c version 3");
    EXPECT_EQ(contents(bots("jre/bin/java.exe")), "java version 2");
    EXPECT_FALSE(file_exists(bots("jre/lib/rt.jar"))) << "the runtime is swapped whole";
    EXPECT_EQ(contents(updates("previous/runtime_v1/lib/rt.jar")), std::string(70000, 'r'));
    state = installed();
    EXPECT_EQ(state.version[PART_BOTS], 3u);
    EXPECT_EQ(state.staged_version[PART_BOTS], 0u);
    EXPECT_EQ(state.staged_release, 0u);
    EXPECT_EQ(state.installed_release, 4u);

    // A release that drops b.jar and names a.jar in capitals.
    Release third = next;
    third.number = 5;
    third.versions[PART_BOTS] = 4;
    third.files = {{PART_DLL, "d3d8.dll", client_dll(13)},
                   {PART_BOTS, "A.JAR", "jar a version 4"},
                   {PART_BOTS, "c.jar", "jar c version 4"},
                   {PART_RUNTIME, "bin/java.exe", "java version 2"},
                   {PART_LAUNCHER, "ZANDOR Launcher.exe", "launcher version 5"}};
    serve(third);
    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(result.applied, 0x2u);
    EXPECT_FALSE(file_exists(bots("b.jar")));
    EXPECT_EQ(contents(updates("previous/bots_v3/b.jar")), "jar b version 3");
    EXPECT_EQ(contents(bots("a.jar")), "jar a version 4");
    EXPECT_EQ(names_in(updates("previous")),
              (std::vector<std::string>{"bots_v3", "dll_v12", "launcher_v0", "runtime_v1"}));
}

TEST_F(DownloadApply, StagedRuntimeWithAnExtraFileFailsVerification) {
    Release release = full_release(3);
    UpdateManifest manifest = {};
    ASSERT_NO_FATAL_FAILURE(stage_runtime(release, &manifest));
    char error[300];
    EXPECT_TRUE(verify_staged_part(&paths, &manifest, PART_RUNTIME, error, sizeof error));
    ASSERT_TRUE(write_file(updates("staging/runtime_v1/lib/extra.txt"), "x"));
    EXPECT_FALSE(verify_staged_part(&paths, &manifest, PART_RUNTIME, error, sizeof error));
    EXPECT_STREQ(error, "the staged runtime holds files that are not in the manifest");
    EXPECT_FALSE(verify_staged_part(&paths, &manifest, PART_BOTS, error, sizeof error));
    EXPECT_STREQ(error, "staged bots/a.jar is missing or changed");

    // A staged folder that is a link to a folder of the same files elsewhere is not counted as them.
    ASSERT_TRUE(DeleteFileA(updates("staging/runtime_v1/lib/extra.txt").c_str()));
    const std::string lib = updates("staging/runtime_v1/lib"), elsewhere = folder + "_elsewhere_lib";
    ASSERT_TRUE(MoveFileA(lib.c_str(), elsewhere.c_str()));
    LinkKind link = make_link(lib, elsewhere);
    ASSERT_NE(link, LINK_NONE);
    EXPECT_FALSE(verify_staged_part(&paths, &manifest, PART_RUNTIME, error, sizeof error));
    EXPECT_STREQ(error, "the staged runtime holds files that are not in the manifest");
    remove_link(lib, link);
    remove_tree(elsewhere);
    manifest_clear(&manifest);
}

// The staged files are hashed on several threads; the one named is still the first that fails in
// manifest order, whichever thread finds which failure first.
TEST_F(DownloadApply, StagedPartNamesItsFirstBadFileInManifestOrder) {
    Release release;
    release.versions = {{PART_RUNTIME, 1}};
    for (int i = 0; i < 60; i++) {
        char name[32];
        snprintf(name, sizeof name, "lib/d%d/f%02d.bin", i / 20, i);
        release.files.push_back({PART_RUNTIME, name, std::string(1000 + 4000 * (i % 7), (char)('a' + i % 26))});
    }
    UpdateManifest manifest = {};
    std::string text = manifest_text(release);
    ASSERT_TRUE(manifest_parse(text.data(), text.size(), &manifest, nullptr, 0));
    struct Case {
        const char* name;
        std::vector<int> changed;  // files whose staged copy has one byte flipped
        std::vector<int> missing;  // files not staged
        const char* error;
    } cases[] = {
        {"all staged", {}, {}, ""},
        {"one changed near the end", {57}, {}, "staged runtime/lib/d2/f57.bin is missing or changed"},
        {"changed late, missing early", {50}, {9}, "staged runtime/lib/d0/f09.bin is missing or changed"},
        {"several", {44, 3, 21}, {30}, "staged runtime/lib/d0/f03.bin is missing or changed"},
        {"the first file", {0, 59}, {}, "staged runtime/lib/d0/f00.bin is missing or changed"},
    };
    for (const Case& c : cases) {
        delete_tree(updates("staging").c_str());
        for (size_t i = 0; i < release.files.size(); i++) {
            const ReleaseFile& f = release.files[i];
            if (std::find(c.missing.begin(), c.missing.end(), (int)i) != c.missing.end()) continue;
            std::string bytes = f.bytes;
            if (std::find(c.changed.begin(), c.changed.end(), (int)i) != c.changed.end()) bytes[bytes.size() / 2] ^= 1;
            std::string path = updates("staging/runtime_v1/" + f.path);
            make_parent_dirs(path.c_str());
            ASSERT_TRUE(write_file(path, bytes));
        }
        char error[300] = "";
        EXPECT_EQ(verify_staged_part(&paths, &manifest, PART_RUNTIME, error, sizeof error), c.error[0] == 0) << c.name;
        EXPECT_STREQ(error, c.error) << c.name;
    }
    manifest_clear(&manifest);
}

// A runtime of many files with two of them changed: the examination (spread over threads) copies
// every unchanged installed file into staging and fetches exactly the two changed ones.
TEST_F(DownloadApply, ManyUnchangedFilesAreCopiedAndOnlyTheChangedFetched) {
    want_bots();
    Release first;
    first.number = 1;
    first.versions = {{PART_RUNTIME, 1}};
    for (int i = 0; i < 60; i++) {
        first.files.push_back({PART_RUNTIME, "lib/f" + std::to_string(i) + ".bin",
                               std::string(3000 + 997 * i, (char)('A' + i % 26))});
    }
    serve(first);
    ASSERT_TRUE(run()) << result.message;
    ASSERT_EQ(result.applied, PART_BIT(PART_RUNTIME));

    Release second = first;
    second.number = 2;
    second.versions = {{PART_RUNTIME, 2}};
    second.files[7].bytes = "changed seven";
    second.files[52].bytes = "changed fifty-two";
    serve(second);
    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(result.applied, PART_BIT(PART_RUNTIME));
    EXPECT_EQ(progress.total_bytes, second.files[7].bytes.size() + second.files[52].bytes.size());
    for (size_t i = 0; i < second.files.size(); i++) {
        const ReleaseFile& f = second.files[i];
        EXPECT_EQ(contents(bots("jre/" + f.path)), f.bytes) << f.path;
        EXPECT_EQ(offsets_of(gets(), f.bytes).empty(), i != 7 && i != 52) << f.path;
    }
}

TEST_F(DownloadApply, FailedDllRollsBackAndIsNotInstalledAgain) {
    auto set_attempts = [&](int attempts) {
        BootState boot;
        ASSERT_TRUE(boot_state_load(&paths, &boot));
        boot.attempts = attempts;
        ASSERT_TRUE(boot_state_save(&paths, &boot));
    };
    Release first = dll_release(1, 12, client_dll(12));
    serve(first);
    ASSERT_TRUE(run()) << result.message;
    char message[300];

    set_attempts(1);
    EXPECT_EQ(dll_boot_check(&paths, message, sizeof message), BOOT_ON_PROBATION);
    // The first DLL ever installed has nothing to go back to: code 3 at every start.
    set_attempts(5);
    for (int start = 0; start < 2; start++) {
        EXPECT_EQ(dll_boot_check(&paths, message, sizeof message), BOOT_STUCK);
        EXPECT_STREQ(message, "the new DLL (version 12) failed to start 5 times, but no previous DLL is kept");
    }

    Release second = dll_release(2, 13, client_dll(13));
    serve(second);
    ASSERT_TRUE(run()) << result.message;
    std::string previous = updates("previous/dll_v12/d3d8.dll");
    EXPECT_EQ(contents(updates("boot.json")),
              boot_json(sha512_hex(client_dll(13)), 13, previous, sha512_hex(client_dll(12)), 12));

    set_attempts(2);
    EXPECT_EQ(dll_boot_check(&paths, message, sizeof message), BOOT_ROLLED_BACK);
    EXPECT_STREQ(message, "the new DLL (version 13) failed to start 2 times: the previous DLL (version 12) is back "
                          "from the next start");
    EXPECT_EQ(contents(place("d3d8.dll")), client_dll(12));
    EXPECT_EQ(contents(updates("failed/d3d8_" + sha512_hex(client_dll(13)).substr(0, 16) + ".dll")), client_dll(13));
    EXPECT_FALSE(file_exists(updates("boot.json")));
    InstalledState state = installed();
    EXPECT_STREQ(state.bad_dll_sha512, sha512_hex(client_dll(13)).c_str());
    EXPECT_STREQ(state.dll_sha512, sha512_hex(client_dll(12)).c_str());
    EXPECT_EQ(state.version[PART_DLL], 12u);
    EXPECT_EQ(dll_boot_check(&paths, message, sizeof message), BOOT_NO_PROBATION);

    serve(second);
    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(result.newer, 0u);
    EXPECT_STREQ(result.message, "DLL version 13 failed to start before - not installed again; ");
    EXPECT_TRUE(gets().empty());
    EXPECT_EQ(contents(place("d3d8.dll")), client_dll(12));

    Release third = dll_release(3, 14, client_dll(14));
    serve(third);
    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(result.applied, 0x1u);
    EXPECT_EQ(contents(place("d3d8.dll")), client_dll(14));
}

// A runtime folder that is a link to another program's Java: the swap only unlinks it (where the
// system can), so nothing of that Java is set aside into the previous folder or deleted later.
TEST_F(DownloadApply, ALinkedRuntimeFolderIsUnlinkedNotSetAside) {
    std::string other = folder + "_other_java";
    make_dirs((other + "\\bin").c_str());
    ASSERT_TRUE(write_file(other + "\\bin\\java.exe", "another program's java"));
    make_dirs(paths.bots_folder);
    LinkKind link = make_link(paths.runtime_folder, other);
    ASSERT_NE(link, LINK_NONE);
    Release release = full_release(3);
    UpdateManifest manifest = {};
    ASSERT_NO_FATAL_FAILURE(stage_runtime(release, &manifest));
    char error[300] = "";
    bool applied = apply_part(&paths, &manifest, nullptr, PART_RUNTIME, 0, error, sizeof error);
    EXPECT_EQ(contents(other + "\\bin\\java.exe"), "another program's java");
    EXPECT_FALSE(folder_exists(updates("previous/runtime_v0"))) << "nothing was set aside";
    if (link == LINK_JUNCTION) {
        EXPECT_TRUE(applied) << error;
        EXPECT_EQ(contents(bots("jre/bin/java.exe")), "java version 1");
    } else {
        // Wine cannot remove its Unix link: the part waits, the other Java stays whole, and the reason
        // given is the link, not a running bot.
        EXPECT_FALSE(applied);
        EXPECT_EQ(std::string(error).rfind("the Java runtime folder is a link that could not be removed", 0), 0u)
            << error;
        remove_link(paths.runtime_folder, link);
    }
    manifest_clear(&manifest);
    remove_tree(other);
}

// A previous version that is a link (an older swap set a linked runtime folder aside as it was):
// dropping it leaves the link's target whole, while a previous version of our own goes.
TEST_F(LinkedTree, ALinkedPreviousVersionIsDroppedWithoutItsTarget) {
    UpdatePaths paths;
    std::string game = root + "\\game";
    CreateDirectoryA(game.c_str(), nullptr);
    update_paths_init(&paths, game.c_str());
    std::string previous = std::string(paths.updates_folder) + "\\previous";
    make_dirs((previous + "\\runtime_v0\\bin").c_str());
    write_file(previous + "\\runtime_v0\\bin\\java.exe", "an older runtime of ours");
    make(previous + "\\runtime_v1", outside);

    drop_previous_versions(&paths, PART_RUNTIME);
    expect_outside_untouched();
    EXPECT_FALSE(folder_exists(previous + "\\runtime_v0"));
    EXPECT_EQ(folder_exists(link_path), link != LINK_JUNCTION);
}

// A server that sends one byte a second never lets a receive time out: a piece and the manifest
// answer must still arrive whole within UPDATE_ANSWER_LIMIT_MS of their request, or the run ends
// with a failed receive; the next run against a sound server finishes. The two runs overlap, so the
// test waits for the limit once.
TEST_F(DownloadApply, TricklingServerIsLeftAfterTheAnswerLimit) {
    std::string dll = client_dll(1) + std::string(100000, 't');
    Release release = dll_release(1, 1, dll);
    serve(release);
    mode("trickle", "1000");
    TimedRun piece_run;
    prepare_run(&piece_run, folder, port);
    HANDLE piece_thread = CreateThread(nullptr, 0, timed_run, &piece_run, 0, nullptr);
    ASSERT_NE(piece_thread, nullptr);
    EXPECT_TRUE(wait_for_a_get()) << "the first run never asked for a piece";

    // The second run's connection also trickles its manifest answer.
    mode("trickle_manifest", "1000");
    std::string second_folder = make_temp_folder("update_trickle");
    TimedRun manifest_run;
    prepare_run(&manifest_run, second_folder, port);
    timed_run(&manifest_run);
    WaitForSingleObject(piece_thread, INFINITE);
    CloseHandle(piece_thread);

    const DWORD limit = UPDATE_ANSWER_LIMIT_MS;
    EXPECT_FALSE(piece_run.ok);
    EXPECT_STREQ(piece_run.result.message, "the download of d3d8.dll broke off (it resumes next time)");
    EXPECT_EQ(piece_run.result.release, 1u);
    EXPECT_FALSE(piece_run.result.stopped);
    EXPECT_GE(piece_run.elapsed_ms + 200, limit);
    EXPECT_LT(piece_run.elapsed_ms, 3 * limit);
    EXPECT_FALSE(manifest_run.ok);
    EXPECT_STREQ(manifest_run.result.message, "the manifest did not arrive whole");
    EXPECT_EQ(manifest_run.result.release, 0u);
    EXPECT_GE(manifest_run.elapsed_ms + 200, limit);
    EXPECT_LT(manifest_run.elapsed_ms, 3 * limit);
    EXPECT_FALSE(file_exists(place("d3d8.dll")));
    remove_tree(second_folder);

    serve(release);
    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(contents(place("d3d8.dll")), dll);
}

// "Play now" while a piece trickles in: stop is seen between the receives inside the piece, long
// before the piece's time is up.
TEST_F(DownloadApply, StopInsideATrickledPiece) {
    Release release = dll_release(1, 1, client_dll(1) + std::string(100000, 's'));
    serve(release);
    mode("trickle", "200");
    TimedRun trickled;
    prepare_run(&trickled, folder, port);
    HANDLE thread = CreateThread(nullptr, 0, timed_run, &trickled, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(wait_for_a_get()) << "the run never asked for a piece";
    Sleep(3000);  // the answer line is in; the payload trickles
    DWORD stopped_at = GetTickCount();
    InterlockedExchange(&trickled.progress.stop, 1);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_FALSE(trickled.ok);
    EXPECT_STREQ(trickled.result.message, "stopped");
    EXPECT_TRUE(trickled.result.stopped);
    EXPECT_LT(GetTickCount() - stopped_at, (DWORD)UPDATE_ANSWER_LIMIT_MS / 3) << "ended by the stop, not the limit";
    EXPECT_TRUE(file_exists(updates("staging/dll_v1/d3d8.dll.part"))) << "kept for the next run";
}

// boot.json is also written outside the launcher: a pending digest goes into a file name and the
// previous path is moved over the DLL, so only a hex digest and a path inside the updates folder are
// acted on. Anything else ends the probation and moves nothing.
TEST_F(DownloadApply, BootJsonValuesAreCheckedBeforeUse) {
    const std::string dll = client_dll(13), good = sha512_hex(dll);
    const std::string game_file = place("pes6.exe");
    const std::string kept = updates("previous/dll_v12/d3d8.dll");
    auto upper = [](std::string text) {
        for (char& ch : text) ch = (char)toupper((unsigned char)ch);
        return text;
    };
    struct Case {
        const char* name;
        std::string pending, previous_path, previous_sha;
        bool acted_on;
    } cases[] = {
        {"pending with a path in it", "..\\..\\..\\pes6", kept, sha512_hex("old"), false},
        {"pending of 127 digits", good.substr(1), kept, sha512_hex("old"), false},
        {"pending with a non-hex digit", "g" + good.substr(1), kept, sha512_hex("old"), false},
        {"previous path outside", good, game_file, sha512_hex("old"), false},
        {"previous path leading up", good, updates("previous/../../../pes6.exe"), sha512_hex("old"), false},
        {"previous path up with spaces", good, updates("previous/.. /.. /.. /pes6.exe"), sha512_hex("old"), false},
        {"previous path with a slash", good, std::string(paths.updates_folder) + "/../../pes6.exe", sha512_hex("old"),
         false},
        {"previous path relative", good, "previous\\d3d8.dll", sha512_hex("old"), false},
        {"previous path of the folder's name only", good, std::string(paths.updates_folder) + "x\\d3d8.dll",
         sha512_hex("old"), false},
        {"previous digest not hex", good, kept, "old", false},
        {"previous path in another version's folder", good, updates("previous/dll_v11/d3d8.dll"), sha512_hex("old"),
         false},
        {"previous path beside the previous folders", good, updates("previous/d3d8.dll"), sha512_hex("old"), false},
        {"digest in capitals, folder in capitals", upper(good), upper(kept),
         upper(sha512_hex("old")), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(write_file(place("d3d8.dll"), dll));
        ASSERT_TRUE(write_file(game_file, "old"));
        for (const std::string& place_aside : {kept, updates("previous/dll_v11/d3d8.dll"),
                                               updates("previous/d3d8.dll")}) {
            make_parent_dirs(place_aside.c_str());
            ASSERT_TRUE(write_file(place_aside, "old"));
        }
        BootState boot = {};
        copy_text(boot.pending_sha512, sizeof boot.pending_sha512, c.pending.c_str());
        boot.pending_version = 13;
        boot.attempts = 2;
        copy_text(boot.previous_path, sizeof boot.previous_path, c.previous_path.c_str());
        copy_text(boot.previous_sha512, sizeof boot.previous_sha512, c.previous_sha.c_str());
        boot.previous_version = 12;
        ASSERT_TRUE(boot_state_save(&paths, &boot));
        char message[300];
        int code = dll_boot_check(&paths, message, sizeof message);
        EXPECT_FALSE(file_exists(updates("boot.json")));
        EXPECT_EQ(contents(game_file), "old") << "nothing outside the updates folder moves";
        if (c.acted_on) {
            EXPECT_EQ(code, BOOT_ROLLED_BACK) << message;
            EXPECT_EQ(contents(place("d3d8.dll")), "old");
            EXPECT_EQ(contents(updates("failed/d3d8_" + good.substr(0, 16) + ".dll")), dll);
            EXPECT_STREQ(installed().bad_dll_sha512, good.c_str()) << "kept in lower case";
        } else {
            EXPECT_EQ(code, BOOT_NO_PROBATION);
            EXPECT_EQ(contents(place("d3d8.dll")), dll) << "the DLL stays";
            EXPECT_EQ(contents(kept), "old");
            EXPECT_FALSE(folder_exists(updates("failed")));
        }
    }

    // A kept DLL that is not the one recorded (another digest) is never moved over the client DLL.
    ASSERT_TRUE(write_file(place("d3d8.dll"), dll));
    ASSERT_TRUE(write_file(kept, "changed since"));
    BootState boot = {};
    copy_text(boot.pending_sha512, sizeof boot.pending_sha512, good.c_str());
    boot.pending_version = 13;
    boot.attempts = 2;
    copy_text(boot.previous_path, sizeof boot.previous_path, kept.c_str());
    copy_text(boot.previous_sha512, sizeof boot.previous_sha512, sha512_hex("old").c_str());
    boot.previous_version = 12;
    ASSERT_TRUE(boot_state_save(&paths, &boot));
    char message[300];
    EXPECT_EQ(dll_boot_check(&paths, message, sizeof message), BOOT_STUCK);
    EXPECT_STREQ(message, "the new DLL (version 13) failed to start 2 times, but no previous DLL is kept");
    EXPECT_EQ(contents(place("d3d8.dll")), dll);
    EXPECT_EQ(contents(kept), "changed since");
}

// A DLL that cannot be replaced (held open by another program): the old DLL stays with its own
// probation, the new one waits in staging, and the next start swaps it in.
TEST_F(DownloadApply, DllThatCannotBeReplacedKeepsItsProbation) {
    Release first = dll_release(1, 12, client_dll(12));
    serve(first);
    ASSERT_TRUE(run()) << result.message;
    BootState boot;
    ASSERT_TRUE(boot_state_load(&paths, &boot));
    boot.attempts = 1;  // DLL 12 is still on probation
    ASSERT_TRUE(boot_state_save(&paths, &boot));
    const std::string earlier = contents(updates("boot.json"));

    Release second = dll_release(2, 13, client_dll(13));
    serve(second);
    HANDLE held = hold_installed_dll();
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(run()) << result.message;
    CloseHandle(held);
    EXPECT_EQ(result.applied, 0u);
    EXPECT_EQ(result.staged, 0x1u);
    EXPECT_NE(std::string(result.message).find("dll waits for the next start (" + place("d3d8.dll") +
                                               " could not be put in place (error "),
              std::string::npos)
        << result.message;
    EXPECT_EQ(contents(place("d3d8.dll")), client_dll(12));
    EXPECT_EQ(contents(updates("boot.json")), earlier) << "the old DLL's probation is back";
    EXPECT_FALSE(file_exists(updates("previous/dll_v12/d3d8.dll")));

    unsigned applied = 0;
    char notes[600];
    apply_waiting_parts(&paths, &applied, notes, sizeof notes);
    EXPECT_EQ(applied, 0x1u) << notes;
    EXPECT_EQ(contents(place("d3d8.dll")), client_dll(13));
    EXPECT_EQ(contents(updates("previous/dll_v12/d3d8.dll")), client_dll(12));
    ASSERT_TRUE(boot_state_load(&paths, &boot));
    EXPECT_STREQ(boot.pending_sha512, sha512_hex(client_dll(13)).c_str());
    EXPECT_EQ(boot.previous_path, updates("previous/dll_v12/d3d8.dll"));
}

// DLL 12 is on probation with DLL 11 kept aside. A DLL 13 that cannot take its place must leave
// DLL 11 where the restored probation names it, so that a second failed start of DLL 12 still rolls
// back; once DLL 13 is in place, only the folder its own probation names is kept.
TEST_F(DownloadApply, AFailedDllSwapKeepsThePreviousDllOfTheProbation) {
    for (int version : {11, 12}) {
        Release release = dll_release(version - 10, version, client_dll(version));
        serve(release);
        ASSERT_TRUE(run()) << result.message;
    }
    ASSERT_EQ(contents(updates("previous/dll_v11/d3d8.dll")), client_dll(11));
    BootState boot;
    ASSERT_TRUE(boot_state_load(&paths, &boot));
    boot.attempts = 1;
    ASSERT_TRUE(boot_state_save(&paths, &boot));

    Release third = dll_release(3, 13, client_dll(13));
    serve(third);
    HANDLE held = hold_installed_dll();
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(run()) << result.message;
    CloseHandle(held);
    EXPECT_EQ(result.staged, 0x1u) << result.message;
    EXPECT_EQ(contents(updates("previous/dll_v11/d3d8.dll")), client_dll(11)) << "the probation's kept DLL stays";

    ASSERT_TRUE(boot_state_load(&paths, &boot));
    boot.attempts = 2;  // DLL 12 failed to start a second time
    ASSERT_TRUE(boot_state_save(&paths, &boot));
    char message[300];
    EXPECT_EQ(dll_boot_check(&paths, message, sizeof message), BOOT_ROLLED_BACK) << message;
    EXPECT_EQ(contents(place("d3d8.dll")), client_dll(11));

    serve(third);
    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(result.applied, 0x1u) << result.message;
    EXPECT_EQ(contents(place("d3d8.dll")), client_dll(13));
    EXPECT_EQ(names_in(updates("previous")), std::vector<std::string>{"dll_v11"});
    ASSERT_TRUE(boot_state_load(&paths, &boot));
    EXPECT_EQ(boot.previous_path, updates("previous/dll_v11/d3d8.dll"));
}

// Holds the installed DLL as an on-access scanner does (reading, sharing reads only) until a second
// after the new one lies in staging, so the hold covers the swap.
struct ScannerHold {
    HANDLE file;
    std::string staged;
};

DWORD WINAPI release_after_staging(void* context) {
    ScannerHold* hold = (ScannerHold*)context;
    for (int i = 0; i < 6000 && GetFileAttributesA(hold->staged.c_str()) == INVALID_FILE_ATTRIBUTES; i++) Sleep(5);
    Sleep(1000);
    CloseHandle(hold->file);
    return 0;
}

TEST_F(DownloadApply, ADllHeldForAMomentIsSwappedInTheSameRun) {
    serve(dll_release(1, 12, client_dll(12)));
    ASSERT_TRUE(run()) << result.message;
    serve(dll_release(2, 13, client_dll(13)));
    ScannerHold hold;
    hold.staged = updates("staging/dll_v13/d3d8.dll");
    hold.file = hold_installed_dll();
    ASSERT_NE(hold.file, INVALID_HANDLE_VALUE);
    HANDLE scanner = CreateThread(nullptr, 0, release_after_staging, &hold, 0, nullptr);
    ASSERT_NE(scanner, nullptr);
    bool ok = run();
    WaitForSingleObject(scanner, INFINITE);
    CloseHandle(scanner);
    ASSERT_TRUE(ok) << result.message;
    EXPECT_EQ(result.applied, 0x1u) << result.message;
    EXPECT_EQ(result.staged, 0u);
    EXPECT_EQ(contents(place("d3d8.dll")), client_dll(13));
    EXPECT_EQ(installed().version[PART_DLL], 13u);
}

// The running launcher cannot be replaced: it stays whole in its place, a copy goes aside, and a
// command replaces it in one move once it has ended; the next start records the new one.
TEST_F(DownloadApply, RunningLauncherIsReplacedInOneMoveAfterItEnds) {
    const std::string exe = place("ZANDOR Launcher.exe");
    void* running = start_stand_in(exe, folder);
    ASSERT_NE(running, nullptr);
    const std::string old_bytes = contents(exe);
    const Release release = launcher_release();
    serve(release);

    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(result.applied, 0u);
    EXPECT_EQ(result.staged, 0x8u);
    EXPECT_NE(std::string(result.message)
                  .find("launcher waits for the next start (the new launcher takes this one's place once it has "
                        "closed); "),
              std::string::npos)
        << result.message;
    EXPECT_EQ(contents(exe), old_bytes) << "the running launcher stays in its place";
    EXPECT_EQ(contents(updates("previous/launcher_v0/ZANDOR Launcher.exe")), old_bytes);
    EXPECT_EQ(installed().staged_version[PART_LAUNCHER], 6u);

    // A second run while it still runs starts nothing new: the part waits in staging.
    serve(release);
    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(result.newer, 0u);
    EXPECT_EQ(result.staged, 0x8u);

    Sleep(1500);
    EXPECT_EQ(contents(exe), old_bytes) << "nothing is moved while the launcher runs";
    TerminateProcess(running, 0);
    finish_program(running, 10000);
    for (int i = 0; i < 300 && contents(exe) != "launcher version 6"; i++) Sleep(100);
    EXPECT_EQ(contents(exe), "launcher version 6");

    unsigned applied = 0;
    char notes[600];
    apply_waiting_parts(&paths, &applied, notes, sizeof notes);
    EXPECT_EQ(applied, 0x8u);
    EXPECT_STREQ(notes, "launcher version 6 swapped in (version 0 kept); ");
    InstalledState state = installed();
    EXPECT_EQ(state.version[PART_LAUNCHER], 6u);
    EXPECT_EQ(state.staged_version[PART_LAUNCHER], 0u);
    EXPECT_EQ(names_in(updates("staging")), std::vector<std::string>{});
    serve(release);
    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(result.newer, 0u);
    EXPECT_EQ(result.staged, 0u);
}

// A newer launcher staged while the command for an older one still waits: the older command is
// ended and its staged file dropped, so only the newest can take the running launcher's place; a
// later start while that command waits starts no second one.
TEST_F(DownloadApply, OnlyTheNewestWaitingLauncherIsMovedIn) {
    const std::string exe = place("ZANDOR Launcher.exe");
    void* running = start_stand_in(exe, folder);
    ASSERT_NE(running, nullptr);
    serve(launcher_release());
    ASSERT_TRUE(run()) << result.message;
    ASSERT_EQ(result.staged, 0x8u) << result.message;
    const std::string first_command = contents(updates("launcher_command.txt"));
    EXPECT_NE(first_command.find("staging\\launcher_v6\\ZANDOR Launcher.exe"), std::string::npos) << first_command;

    Release newer = launcher_release();
    newer.number = 4;
    newer.versions = {{PART_LAUNCHER, 7}};
    newer.files = {{PART_LAUNCHER, "ZANDOR Launcher.exe", "launcher version 7"}};
    serve(newer);
    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(result.staged, 0x8u) << result.message;
    EXPECT_EQ(names_in(updates("staging")), std::vector<std::string>{"launcher_v7"});
    const std::string second_command = contents(updates("launcher_command.txt"));
    EXPECT_NE(second_command, first_command);

    unsigned applied = 0;
    char notes[600];
    apply_waiting_parts(&paths, &applied, notes, sizeof notes);
    EXPECT_EQ(applied, 0u) << notes;
    EXPECT_EQ(contents(updates("launcher_command.txt")), second_command) << "no second command for the same file";

    TerminateProcess(running, 0);
    finish_program(running, 10000);
    for (int i = 0; i < 300 && contents(exe) != "launcher version 7"; i++) Sleep(100);
    EXPECT_EQ(contents(exe), "launcher version 7");
    Sleep(3000);  // an older command, had one survived, would have moved its file by now
    EXPECT_EQ(contents(exe), "launcher version 7");
}

// A game folder whose path a command line cannot carry (a % sign): the running launcher is moved
// aside and the new one in right after, as no command can wait for it.
TEST_F(DownloadApply, RunningLauncherInAFolderNoCommandCanNameIsSwappedInTwoMoves) {
    std::string game = folder + "\\game 100%";
    ASSERT_TRUE(make_dirs(game.c_str()));
    update_paths_init(&paths, game.c_str());
    const std::string exe = game + "\\ZANDOR Launcher.exe";
    void* running = start_stand_in(exe, game);
    ASSERT_NE(running, nullptr);
    const std::string old_bytes = contents(exe);
    serve(launcher_release());

    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(result.applied, 0x8u) << result.message;
    EXPECT_EQ(contents(exe), "launcher version 6");
    EXPECT_EQ(contents(game + "\\ombrix_data\\updates\\previous\\launcher_v0\\ZANDOR Launcher.exe"), old_bytes);
    EXPECT_EQ(installed().version[PART_LAUNCHER], 6u);
    TerminateProcess(running, 0);
    finish_program(running, 10000);
}
