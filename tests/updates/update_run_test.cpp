// The update run as the window starts it: the workers, the sentences shown afterwards, the D3D8
// hand-over, against the reference update server.
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/text_table.h"
#include "support/release_fixture.h"
#include "updates/update_worker.h"

namespace {

class UpdateRun : public UpdateFixture {
protected:
    void SetUp() override {
        UpdateFixture::SetUp();
        if (HasFatalFailure()) return;
        launcher_state_reset();
        launcher.update_paths = paths;
        launcher.update_paths.launcher_path[0] = 0;
        strcpy(launcher.update_paths.launcher_path, place("ZANDOR Launcher.exe").c_str());
        strcpy(launcher.settings_path, place("zandor.ini").c_str());
        strcpy(launcher.update_host, "127.0.0.1");
        strcpy(launcher.update_channel, "client");
        strcpy(launcher.account_host, "127.0.0.1");
        set_update_port(port);
        memset(&login, 0, sizeof login);
        strcpy(login.token, "pgt1.test-token");
        logged_in = true;
        update_login = {&login, &logged_in, nullptr};
        update_started = false;
        ASSERT_TRUE(log_open(updates("launcher.log").c_str()));
    }

    void TearDown() override {
        log_close();
        update_login = {};
        set_update_port(UPDATE_PORT_DEFAULT);
        UpdateFixture::TearDown();
    }

    // Starts a run as the window does, waits for its worker and gives the sentences shown.
    std::string run_as_window() {
        update_started = false;
        start_update_run();
        EXPECT_TRUE(wait_for_update_worker(60000));
        EXPECT_EQ(update_done, 1);
        char text[600];
        update_outcome_text(text, sizeof text);
        return text;
    }

    std::string log_text() { return contents(updates("launcher.log")); }

    std::string setting(const char* section, const char* key) {
        char value[128];
        read_setting(launcher.settings_path, section, key, "<none>", value, sizeof value);
        return value;
    }

    static const int UPDATE_PORT_DEFAULT = 20292;
    SavedLogin login;
    bool logged_in = false;
};

// The shown form of a source text, after an LF when it follows another sentence.
std::string shown(const char* source) {
    return lookup_text(source);
}
std::string not_installed() {
    return "\n" + shown("The ZANDOR game files are not installed yet - the game starts as it is.");
}

Release dll_release(int version) {
    Release r;
    r.number = version;
    r.versions = {{PART_DLL, (uint32_t)version}};
    r.files = {{PART_DLL, "d3d8.dll", client_dll(version)}};
    return r;
}

// The exit code of a normal run (start-up's rule).
int exit_code() {
    return launcher.update_checked && !launcher.update_ok ? 1 : 0;
}

}  // namespace

TEST_F(UpdateRun, SentencesWhenNoCheckIsMade) {
    logged_in = false;
    EXPECT_EQ(run_as_window(), shown("Updates: ZANDOR is getting ready - try again later") + not_installed());
    EXPECT_FALSE(launcher.update_checked);
    EXPECT_EQ(exit_code(), 0);
    logged_in = true;
    launcher.update_host[0] = 0;
    run_as_window();
    std::string log = log_text();
    EXPECT_NE(log.find("no update check (not logged in)"), std::string::npos) << log;
    EXPECT_NE(log.find("no update check (no update server)"), std::string::npos) << log;
    EXPECT_TRUE(update_server_record().empty()) << "no connection is made";
}

TEST_F(UpdateRun, SentencesAfterARun) {
    // No server listens: no manifest was accepted.
    set_update_port(1);
    EXPECT_EQ(run_as_window(), shown("The update server cannot be reached - the game starts as it is") + not_installed());
    EXPECT_EQ(exit_code(), 1);
    EXPECT_NE(log_text().find("release 0: not finished - the update server 127.0.0.1:1 does not answer"),
              std::string::npos);
    set_update_port(port);

    // A manifest came, the file did not arrive whole.
    serve(dll_release(12));
    mode("corrupt_byte", "3");
    EXPECT_EQ(run_as_window(), shown("The update could not be finished - it continues next time") + not_installed());
    EXPECT_EQ(exit_code(), 1);

    serve(dll_release(12));
    EXPECT_EQ(run_as_window(), shown("ZANDOR is up to date"));
    EXPECT_EQ(exit_code(), 0);
    std::string log = log_text();
    EXPECT_NE(log.find("checking 127.0.0.1:" + std::to_string(port) + " channel client"), std::string::npos);
    EXPECT_NE(log.find("release 12: newer 0x1, applied 0x1, staged 0x0 \r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("shown: ZANDOR is up to date"), std::string::npos);
    EXPECT_NE(update_server_record().find("TOKEN pgt1.test-token"), std::string::npos);

    // After a rollback at start-up the player hears of it first.
    strcpy(launcher.boot_note, "the new DLL (version 13) failed to start 2 times: ...");
    EXPECT_EQ(run_as_window(), shown("The previous version is back (the new one did not start properly)") + "\n" +
                                  shown("ZANDOR is up to date"));
    launcher.boot_note[0] = 0;

    // A sentence of the log-in flow replaces the update sentence.
    const char* note = "ZANDOR cannot be reached right now: the game starts without updates.";
    update_login.outcome_note = note;
    logged_in = false;
    EXPECT_EQ(run_as_window(), note);
}

TEST_F(UpdateRun, StopDuringTheDownload) {
    Release release = dll_release(12);
    release.files[0].bytes += std::string(300000, 'z');
    serve(release);
    mode("short_pieces", "1000");
    update_started = false;
    start_update_run();
    std::string part = updates("staging/dll_v12/d3d8.dll.part");
    for (int i = 0; i < 2000 && contents(part).size() < 2000; i++) Sleep(5);
    stop_update_run(true);
    EXPECT_EQ(update_done, 1);
    EXPECT_FALSE(update_started) << "log-out and \"Not you?\" let the next log-in start a new run";
    EXPECT_TRUE(update_result.stopped);
    EXPECT_STREQ(update_result.message, "stopped");
    char text[600];
    update_outcome_text(text, sizeof text);
    EXPECT_EQ(std::string(text), shown("The update continues next time") + not_installed());
    EXPECT_GT(contents(part).size(), 0u);
}

TEST_F(UpdateRun, AnotherProgramsD3d8IsHandedOver) {
    struct Case {
        const char* name;
        std::string dll;            // what lies in the game folder first
        const char* kept_as;        // its new name, or null when it stays d3d8.dll
        const char* set_aside_key;  // [launcher] set_aside_d3d8 afterwards
        const char* real_key;       // [display] real_d3d8 afterwards
    };
    std::string wrapper;
    ASSERT_TRUE(read_file(test_tool("fake_d3d8.dll"), &wrapper));
    const Case cases[] = {
        {"Direct3D 8 wrapper", wrapper, "d3d8_real.dll", "<none>", "d3d8_real.dll"},
        {"not a Direct3D 8 file", "some other program", "d3d8.dll.before_zandor", "d3d8.dll.before_zandor", "<none>"},
        {"a tester's ZANDOR build", "TOLVEN client started (tester)", nullptr, "<none>", "<none>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(launcher.settings_path);
        DeleteFileA(updates("installed.json").c_str());
        for (const char* name : {"d3d8.dll", "d3d8_real.dll", "d3d8.dll.before_zandor"}) DeleteFileA(place(name).c_str());
        launcher.player_message[0] = 0;
        ASSERT_TRUE(write_file(place("d3d8.dll"), c.dll));
        serve(dll_release(12));
        run_as_window();
        EXPECT_TRUE(launcher.update_ok);
        if (c.kept_as) {
            EXPECT_EQ(contents(place(c.kept_as)), c.dll);
            EXPECT_EQ(contents(place("d3d8.dll")), client_dll(12));
            EXPECT_NE(std::string(launcher.player_message).find(c.kept_as), std::string::npos);
        } else {
            EXPECT_EQ(contents(place("d3d8.dll")), c.dll);
            EXPECT_NE(log_text().find("D3D8.dll is a ZANDOR build that was never published (a tester's): not replaced"),
                      std::string::npos);
        }
        EXPECT_EQ(setting("launcher", "set_aside_d3d8"), c.set_aside_key);
        EXPECT_EQ(setting("display", "real_d3d8"), c.real_key);
    }

    // The client is not placed after all (its digest is barred): the file gets its name back.
    DeleteFileA(launcher.settings_path);
    ASSERT_TRUE(write_file(place("d3d8.dll"), "some other program"));
    InstalledState state = {};
    strcpy(state.bad_dll_sha512, sha512_hex(client_dll(12)).c_str());
    ASSERT_TRUE(installed_state_save(&paths, &state));
    serve(dll_release(12));
    run_as_window();
    EXPECT_EQ(contents(place("d3d8.dll")), "some other program");
    EXPECT_FALSE(file_exists(place("d3d8.dll.before_zandor")));
    EXPECT_EQ(setting("launcher", "set_aside_d3d8"), "<none>");
}
