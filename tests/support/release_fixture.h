// Test helper: a temporary game folder, a release built from file contents and served by the
// reference update server, and one update run against it.
#pragma once

#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <sodium.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "support/signed_manifest.h"
#include "support/test_support.h"
#include "support/update_server_control.h"
#include "updates/update_run.h"
#include "updates/state_files.h"

struct ReleaseFile {
    int kind;
    std::string path;
    std::string bytes;
};

struct Release {
    uint64_t number = 1;
    std::map<int, uint32_t> versions;  // kind -> part version; a part is present when listed
    std::vector<ReleaseFile> files;
    std::vector<std::string> known_dlls;  // hex digests
};

inline std::string sha512_hex(const std::string& bytes) {
    uint8_t digest[64];
    crypto_hash_sha512(digest, (const uint8_t*)bytes.data(), bytes.size());
    return to_hex(std::string((const char*)digest, sizeof digest));
}

inline std::string manifest_text(const Release& release) {
    std::vector<std::string> lines = {"ZANDOR-UPDATE-MANIFEST\t1", "channel\tclient",
                                      "release\t" + std::to_string(release.number)};
    static const char* names[] = {"dll", "bots", "runtime", "launcher"};
    for (const auto& [kind, version] : release.versions) {
        lines.push_back(std::string("part\t") + names[kind] + "\t" + std::to_string(version) + "\trequired");
        for (const ReleaseFile& f : release.files) {
            if (f.kind != kind) continue;
            lines.push_back(std::string("file\t") + names[kind] + "\t" + f.path + "\t" + std::to_string(f.bytes.size()) +
                            "\t" + sha512_hex(f.bytes));
        }
    }
    for (const std::string& hex : release.known_dlls) lines.push_back("known_dll\t" + hex);
    return signed_manifest(body_of(lines));
}

// Contents that make a d3d8.dll a ZANDOR build.
inline std::string client_dll(int version) {
    return "client dll TOLVEN client started version " + std::to_string(version);
}

// A release of the client DLL alone.
inline Release dll_release(uint64_t number, uint32_t version, const std::string& dll) {
    Release r;
    r.number = number;
    r.versions = {{PART_DLL, version}};
    r.files = {{PART_DLL, "d3d8.dll", dll}};
    return r;
}

// A complete release: the client DLL, two jars, a runtime with an empty file, and the launcher.
inline Release full_release(uint64_t number) {
    Release r;
    r.number = number;
    r.versions = {{PART_DLL, 12}, {PART_BOTS, 2}, {PART_RUNTIME, 1}, {PART_LAUNCHER, 5}};
    r.files = {
        {PART_DLL, "d3d8.dll", client_dll(12)},
        {PART_BOTS, "a.jar", "jar a version 2"},
        {PART_BOTS, "b.jar", "jar b version 2"},
        {PART_RUNTIME, "bin/java.exe", "java version 1"},
        {PART_RUNTIME, "lib/rt.jar", std::string(70000, 'r')},
        {PART_RUNTIME, "lib/empty.cfg", ""},
        {PART_LAUNCHER, "ZANDOR Launcher.exe", "launcher version 5"},
    };
    return r;
}

class UpdateFixture : public ::testing::Test {
protected:
    void SetUp() override {
        port = update_server_port();
        ASSERT_NE(port, 0) << "run this program through tests/updates/run.sh";
        ASSERT_EQ(update_server_command("RESET"), "OK");
        folder = make_temp_folder("update");
        ASSERT_FALSE(folder.empty());
        update_paths_init(&paths, folder.c_str());
        ASSERT_TRUE(write_file(place("ZANDOR Launcher.exe"), "launcher version 4"));
        memset(&progress, 0, sizeof progress);
    }

    void TearDown() override { remove_tree(folder); }

    // A path inside the game folder ('/' allowed).
    std::string place(const std::string& relative) const {
        std::string path = folder + "\\" + relative;
        for (char& c : path) c = c == '/' ? '\\' : c;
        return path;
    }
    std::string updates(const std::string& relative) const { return place("ombrix_data/updates/" + relative); }
    std::string bots(const std::string& relative) const { return place("ombrix_data/bot_takeover/" + relative); }

    std::string contents(const std::string& path) const {
        std::string bytes;
        return read_file(path, &bytes) ? bytes : std::string("<missing>");
    }

    // Serves the release (files and manifest) after forgetting the previous one.
    void serve(const Release& release, bool reset = true) {
        if (reset) ASSERT_EQ(update_server_command("RESET"), "OK");
        for (const ReleaseFile& f : release.files) {
            ASSERT_EQ(update_server_command("FILE " + base64_of(f.bytes)), "OK " + sha512_hex(f.bytes));
        }
        ASSERT_EQ(update_server_command("MANIFEST client " + base64_of(manifest_text(release))), "OK");
    }

    void mode(const std::string& name, const std::string& value = "") {
        ASSERT_EQ(update_server_command("MODE " + name + (value.empty() ? "" : " " + value)), "OK");
    }

    void want_bots() {
        InstalledState state;
        installed_state_load(&paths, &state);
        state.bots_wanted = true;
        ASSERT_TRUE(installed_state_save(&paths, &state));
    }

    InstalledState installed() {
        InstalledState state;
        installed_state_load(&paths, &state);
        return state;
    }

    bool run() {
        UpdateRequest request = {};
        strcpy(request.host, "127.0.0.1");
        request.port = port;
        strcpy(request.channel, "client");
        strcpy(request.token, "pgt1.test-token");
        memset(&result, 0, sizeof result);
        InterlockedExchange(&progress.stop, 0);
        return run_update(&paths, &request, &progress, &result);
    }

    // Waits up to a minute for the server to have been asked for a piece.
    bool wait_for_a_get() {
        for (int i = 0; i < 600; i++) {
            if (!gets().empty()) return true;
            Sleep(100);
        }
        return false;
    }

    // The GET lines the server received since its last reset, as "digest offset length".
    std::vector<std::string> gets() {
        std::vector<std::string> lines;
        std::string record = update_server_record();
        size_t start = 0;
        while (start <= record.size()) {
            size_t end = record.find('\n', start);
            if (end == std::string::npos) end = record.size();
            std::string line = record.substr(start, end - start);
            if (line.rfind("GET ", 0) == 0) lines.push_back(line.substr(4));
            start = end + 1;
        }
        return lines;
    }

    // Offsets asked for the file with these bytes.
    std::vector<uint64_t> offsets_of(const std::vector<std::string>& get_lines, const std::string& bytes) {
        std::vector<uint64_t> offsets;
        std::string digest = sha512_hex(bytes);
        for (const std::string& line : get_lines) {
            if (line.rfind(digest + " ", 0) == 0) offsets.push_back(std::stoull(line.substr(129)));
        }
        return offsets;
    }

    int port = 0;
    std::string folder;
    UpdatePaths paths = {};
    UpdateProgress progress;
    UpdateResult result;
};
