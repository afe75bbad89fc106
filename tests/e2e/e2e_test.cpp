// End to end: the built launcher in a game folder of its own, against the reference account server,
// update server and web site that run.sh starts, driven only as a player would drive it: the mouse and
// the keyboard on the X display (through run.sh's input agent), with a picture of every page.
//
// The first start has nothing saved: the PC is not known, the browser log-in shows its code, the
// account server approves it after a few polls, the player picks the ZANDOR server, the update places
// the client, the bots and the runtime, and the countdown starts pes6.exe. The next start renews the
// saved log-in silently and goes straight to the game. The last test uninstalls what the runs placed.
#include <windows.h>
#include <oleacc.h>
#include <shlobj.h>

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "account/account_files.h"
#include "core/text.h"
#include "support/loopback_control.h"
#include "support/test_support.h"
#include "support/update_server_control.h"

namespace {

const char GAME_EXE[] = "pes6.exe";
const char CODE[] = "ZND-4821";
const char TOKEN[] = "pgt1.e2e-session-0001";
const char MARKER[] = "pgm1.E2EPCMARKER0000000000001";
const char ACCOUNT_LINE[] = "as account 1001 (Demo Player)";

std::string env(const char* name) {
    char value[1024] = "";
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? value : "";
}

// ---- one line to a loopback port and its one-line answer ("" when it cannot be reached) ----

std::string ask(int port, const std::string& line) {
    std::string answer;
    return loopback_exchange(port, line, &answer) ? answer : "";
}

int account_control_port() { return port_from_env("ZANDOR_ACCOUNT_CONTROL"); }

void account(const std::string& line) {
    ASSERT_EQ("OK", ask(account_control_port(), line)) << line;
}

void answer_next(const std::string& word, const std::string& answer) {
    account("ANSWER " + word + " " + to_hex(answer));
}

void answer_always(const std::string& word, const std::string& answer) {
    account("DEFAULT " + word + " " + to_hex(answer));
}

// The first word of every request the account server opened, oldest first.
// (Read again when a connection arrived meanwhile: the record is read from its newest end.)
std::vector<std::string> request_words() {
    std::vector<std::string> words;
    for (int attempt = 0; attempt < 10; attempt++) {
        words.clear();
        int count = atoi(ask(account_control_port(), "COUNT").c_str());
        for (int k = count; k >= 1; k--) {
            std::string last = ask(account_control_port(), "LAST " + std::to_string(k));
            std::string request = last.substr(last.rfind(' ') + 1);
            std::string text = request == "-" ? "-" : from_hex(request);
            words.push_back(text.substr(0, text.find('\t')));
        }
        if (atoi(ask(account_control_port(), "COUNT").c_str()) == count) break;
    }
    return words;
}

// Whether the words hold these in this order (other launchers on this machine may talk to the same
// server in between).
bool in_order(const std::vector<std::string>& words, const std::vector<std::string>& wanted) {
    size_t at = 0;
    for (const std::string& w : words) {
        if (at < wanted.size() && w == wanted[at]) at++;
    }
    return at == wanted.size();
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "" : " ") + w;
    return out;
}

std::string login_answer() {
    return std::string("OK\t") + TOKEN + "\t1\t1001\t" + base64_of("Demo Player") + "\t" + MARKER + "\tv1\t";
}

std::string game_account_answer() { return "GAME\t" + base64_of("e2e_player") + "\t" + base64_of("kickoff6") + "\tE2E-0001"; }

void update_server(const std::string& line) {
    ASSERT_EQ("OK", update_server_command(line)) << line;
}

// ---- the player's hands and eyes ----

int agent_port() { return port_from_env("ZANDOR_AGENT_PORT"); }

// A point of the window's client area, given at 96 dpi like the control table, on the screen.
POINT on_screen(HWND window, int x, int y) {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (dpi < 96) dpi = 96;
    POINT point = {MulDiv(x, dpi, 96), MulDiv(y, dpi, 96)};
    ClientToScreen(window, &point);
    return point;
}

void click(HWND window, int x, int y) {
    POINT p = on_screen(window, x, y);
    ASSERT_EQ("OK", ask(agent_port(), "CLICK " + std::to_string(p.x) + " " + std::to_string(p.y)));
}

// A key press goes to the window under the pointer (a bare X server gives the keyboard to it).
void press(HWND window, const char* key) {
    POINT p = on_screen(window, 300, 60);
    ASSERT_EQ("OK", ask(agent_port(), "POINT " + std::to_string(p.x) + " " + std::to_string(p.y)));
    ASSERT_EQ("OK", ask(agent_port(), std::string("KEY ") + key));
}

// The close box at the right end of the caption.
void click_close_box(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    int x = r.right - GetSystemMetrics(SM_CXFIXEDFRAME) - GetSystemMetrics(SM_CXSIZE) / 2;
    int y = r.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYSIZE) / 2;
    ASSERT_EQ("OK", ask(agent_port(), "CLICK " + std::to_string(x) + " " + std::to_string(y)));
}

void picture(HWND window, const char* name) {
    Sleep(500);  // the page paints
    RECT r;
    if (!IsWindow(window) || !GetWindowRect(window, &r)) return;
    std::string folder = env("ZANDOR_E2E_SHOTS");
    if (folder.empty()) return;
    char line[600];
    snprintf(line, sizeof line, "SHOT %ld %ld %ld %ld %s/%s.png", r.left, r.top, r.right - r.left, r.bottom - r.top,
             folder.c_str(), name);
    EXPECT_EQ("OK", ask(agent_port(), line)) << name;
}

// ---- the game folder ----

struct GameFolder {
    std::string path;
    std::string updates() const { return path + "\\ombrix_data\\updates"; }
    std::string log_path() const { return updates() + "\\launcher.log"; }
};

std::string read_text(const std::string& path) {
    std::string text;
    read_file(path, &text);
    return text;
}

// The log written since a given length, waited for until it holds text (or the launcher ended).
bool wait_for_log(const GameFolder& game, size_t since, const std::string& text, HANDLE process, DWORD timeout_ms,
                  std::string* seen = nullptr) {
    for (DWORD waited = 0;; waited += 200) {
        std::string log = read_text(game.log_path());
        std::string fresh = log.size() > since ? log.substr(since) : "";
        if (seen) *seen = fresh;
        if (fresh.find(text) != std::string::npos) return true;
        if (waited >= timeout_ms) return false;
        if (WaitForSingleObject(process, 200) == WAIT_OBJECT_0) {
            Sleep(100);
            log = read_text(game.log_path());
            fresh = log.size() > since ? log.substr(since) : "";
            if (seen) *seen = fresh;
            return fresh.find(text) != std::string::npos;
        }
    }
}

std::string account_folder(int place = CSIDL_LOCAL_APPDATA) {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, place, nullptr, 0, path);
    return std::string(path) + "\\zandor";
}

std::string marker_in_registry() {
    char value[128] = "";
    DWORD size = sizeof value - 1;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\zandor", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        if (RegQueryValueExA(key, "marker", nullptr, nullptr, (BYTE*)value, &size) != ERROR_SUCCESS) value[0] = 0;
        RegCloseKey(key);
    }
    return value;
}

std::string same_case(std::string text) {
    for (char& c : text) c = (char)tolower((unsigned char)c);
    return text;
}

// The launcher of one start; ended by the test when an assertion leaves it running.
struct Launcher {
    HANDLE process = nullptr;
    ~Launcher() {
        if (process) finish_program(process, 0);
    }
    // Starts the launcher and waits for its window; null when it did not come.
    HWND start(const std::string& command_line, const std::string& folder) {
        process = start_program(command_line, folder);
        return process ? (HWND)wait_for_launcher_window(process, 30000) : nullptr;
    }
    unsigned long finish(unsigned long timeout_ms) {
        unsigned long code = finish_program(process, timeout_ms);
        process = nullptr;
        return code;
    }
};

class EndToEnd : public testing::Test {
protected:
    static GameFolder game;
    static bool first_start_done;

    static void TearDownTestSuite() {
        if (first_start_done && !testing::UnitTest::GetInstance()->failed_test_count()) remove_tree(game.path);
    }

    static void SetUpTestSuite() { game = make_game_folder("e2e_game"); }

    // A game folder with the launcher beside a stand-in pes6.exe and nothing installed yet.
    static GameFolder make_game_folder(const char* tag) {
        GameFolder folder;
        folder.path = make_temp_folder(tag);
        CreateDirectoryA((folder.path + "\\ombrix_data").c_str(), nullptr);
        CreateDirectoryA(folder.updates().c_str(), nullptr);
        CopyFileA(launcher_exe().c_str(), (folder.path + "\\ZANDOR Launcher.exe").c_str(), FALSE);
        CopyFileA(test_tool("stub_game").c_str(), (folder.path + "\\" + GAME_EXE).c_str(), FALSE);
        // Another component of the service asks for the bots and their runtime.
        write_file(folder.updates() + "\\installed.json", "{\n \"channel\": \"client\",\n \"bots_wanted\": 1,\n \"format\": 1\n}\n");
        return folder;
    }

    // What the stand-in game recorded of its start once it has written it whole, or what there was
    // after 30 s (starting a process is slow under emulation, and may end after the launcher).
    static std::string game_record(const GameFolder& folder) {
        std::string record;
        for (int i = 0; i < 300; i++) {
            bool whole = read_file(folder.path + "\\started.txt", &record) &&
                         record.find("current folder=") != std::string::npos && record.back() == '\n';
            if (whole) break;
            Sleep(100);
        }
        return record;
    }

    static std::string launcher_in(const GameFolder& folder) { return "\"" + folder.path + "\\ZANDOR Launcher.exe\""; }
    std::string launcher_in_game() const { return launcher_in(game); }

    // The test's start of the launcher: its window and process, the log's length before the start and
    // what the last wait for the log saw.
    Launcher run;
    HWND window = nullptr;
    HANDLE launcher = nullptr;
    size_t since = 0;
    std::string log;

    // Starts the launcher of a game folder and waits for its window; false when none came.
    bool start(const GameFolder& folder, const std::string& arguments = "") {
        window = run.start(launcher_in(folder) + arguments, folder.path);
        launcher = run.process;
        return window != nullptr;
    }

    // Starts the launcher again in the first start's game folder: what the stand-in game recorded of
    // an earlier start removed, the log read from its end as it is now.
    bool start_again(const std::string& arguments = "") {
        DeleteFileA((game.path + "\\started.txt").c_str());
        since = read_text(game.log_path()).size();
        return start(game, arguments);
    }
};

GameFolder EndToEnd::game;
bool EndToEnd::first_start_done = false;

TEST_F(EndToEnd, FirstStartLogsInThroughTheBrowserAndStartsTheGame) {
    ASSERT_GT(account_control_port(), 0) << "run through tests/e2e/run.sh";
    // Answers given to any launcher of this machine are defaults (another one may be talking to the
    // server too); the browser log-in's answers are queued for the one that asks.
    account("RESET");
    answer_always("AUTO", "DENIED\tunknown_pc\t");
    answer_next("WEBLOGIN", std::string("REQUEST\te2e-request\te2e-poll-key\t") + CODE +
                                "\thttp://127.0.0.1:20294/login?code=" + CODE + "\t300000");
    for (int i = 0; i < 3; i++) answer_next("WEBPOLL", "PENDING");
    answer_next("WEBPOLL", login_answer());
    answer_always("GAMEACCOUNT", game_account_answer());

    ASSERT_TRUE(start(game)) << "no launcher window";

    // The PC is not known: the log-in page.
    ASSERT_TRUE(wait_for_log(game, 0, "no automatic log-in by IP (unknown_pc)", launcher, 30000, &log)) << log;
    picture(window, "01-login-page");

    // "Log in with Google": the code shows while the launcher polls.
    click(window, 336 + 110, 318 + 22);
    ASSERT_TRUE(wait_for_log(game, 0, std::string("browser log-in: the page is opened, code ") + CODE, launcher, 20000, &log))
        << log;
    picture(window, "02-login-code");

    // The account server approves after three "pending" polls: the server page with the players line.
    ASSERT_TRUE(wait_for_log(game, 0, std::string("logged in with Google (browser) ") + ACCOUNT_LINE + ", terms notice shown",
                             launcher, 30000, &log))
        << log;
    Sleep(1500);  // the players count arrives
    picture(window, "03-server-page");

    // Enter picks the ZANDOR server: the main page, the update, the countdown, the game.
    press(window, "Return");
    ASSERT_TRUE(wait_for_log(game, 0, "checking 127.0.0.1:20292 channel client", launcher, 20000, &log)) << log;
    ASSERT_TRUE(wait_for_log(game, 0, "shown: ZANDOR is up to date", launcher, 60000, &log)) << log;
    picture(window, "04-countdown");
    ASSERT_TRUE(wait_for_log(game, 0, "pes6.exe started", launcher, 20000, &log)) << log;
    EXPECT_EQ(0u, run.finish(30000));
    log = read_text(game.log_path());
    EXPECT_NE(std::string::npos, log.find("launcher closed")) << log;

    // The game was started from its folder with the launcher's mark.
    std::string started = game_record(game);
    EXPECT_NE(std::string::npos, started.find("ZANDOR_LAUNCHER=1\n")) << started;
    EXPECT_NE(std::string::npos, same_case(started).find("current folder=" + same_case(game.path) + "\n")) << started;

    // What the account server was asked, in order.
    std::vector<std::string> words = request_words();
    EXPECT_TRUE(in_order(words, {"AUTO", "WEBLOGIN", "WEBPOLL", "WEBPOLL", "WEBPOLL", "WEBPOLL", "GAMEACCOUNT"}))
        << joined(words);

    // The log-in is saved and the marker stored; the server choice and the game's log-in file written.
    EXPECT_TRUE(file_exists(account_folder() + "\\session.dat"));
    EXPECT_EQ(std::string(MARKER), read_text(account_folder() + "\\.marker"));
    EXPECT_EQ(std::string(MARKER), read_text(account_folder(CSIDL_APPDATA) + "\\.marker"));
    EXPECT_EQ(std::string(MARKER), read_text(account_folder(CSIDL_COMMON_APPDATA) + "\\.marker"));
    EXPECT_EQ(std::string(MARKER), marker_in_registry());
    char server[64] = "";
    GetPrivateProfileStringA("online", "server", "", server, sizeof server, (game.path + "\\zandor.ini").c_str());
    EXPECT_STREQ("127.0.0.1", server);
    EXPECT_NE(std::string::npos, read_text(game.path + "\\login.txt").find("e2e_player"));

    // The release is in place: client DLL, bots and runtime, byte for byte.
    std::string release = env("ZANDOR_E2E_RELEASE");
    EXPECT_EQ(read_text(release + "\\dll\\d3d8.dll"), read_text(game.path + "\\d3d8.dll"));
    EXPECT_EQ(read_text(release + "\\bots\\bot_takeover.jar"),
              read_text(game.path + "\\ombrix_data\\bot_takeover\\bot_takeover.jar"));
    EXPECT_EQ(read_text(release + "\\runtime\\lib\\rt.jar"),
              read_text(game.path + "\\ombrix_data\\bot_takeover\\jre\\lib\\rt.jar"));
    EXPECT_NE(std::string::npos, read_text(game.updates() + "\\installed.json").find("\"dll_version\": 1,"));

    // The web site was asked for the players count while the server page showed.
    EXPECT_NE(std::string::npos, read_text(env("ZANDOR_E2E_SITE") + "\\requests.log").find("/players_online"));
    first_start_done = !HasFailure();
}

TEST_F(EndToEnd, NextStartRenewsTheSavedLogInSilently) {
    ASSERT_TRUE(first_start_done) << "needs the first start's saved log-in";
    account("RESET");
    account("PUSH slow:1500 " + to_hex(login_answer()));  // the renewal takes a moment: its page shows
    answer_always("RENEW", login_answer());
    answer_always("GAMEACCOUNT", game_account_answer());
    ASSERT_TRUE(start_again()) << "no launcher window";
    ASSERT_TRUE(wait_for_log(game, since, "saved log-in of Demo Player: renewing", launcher, 20000, &log)) << log;
    picture(window, "05-renewing");

    // Nobody touches anything: the renewal, the update check, the countdown and the game.
    ASSERT_TRUE(wait_for_log(game, since, std::string("log-in renewed ") + ACCOUNT_LINE + "\r\n", launcher, 30000, &log))
        << log;
    ASSERT_TRUE(wait_for_log(game, since, "shown: ZANDOR is up to date", launcher, 60000, &log)) << log;
    picture(window, "06-countdown");
    ASSERT_TRUE(wait_for_log(game, since, "pes6.exe started", launcher, 20000, &log)) << log;
    EXPECT_EQ(0u, run.finish(30000));

    log = read_text(game.log_path()).substr(since);
    EXPECT_EQ(std::string::npos, log.find("automatic log-in")) << log;
    EXPECT_EQ(std::string::npos, log.find("browser")) << log;
    EXPECT_NE(std::string::npos, log.find("release 1: newer 0x0")) << log;
    std::vector<std::string> words = request_words();
    EXPECT_TRUE(in_order(words, {"RENEW", "GAMEACCOUNT"})) << joined(words);
    std::string started = game_record(game);
    EXPECT_NE(std::string::npos, started.find("ZANDOR_LAUNCHER=1\n")) << started;
}

TEST_F(EndToEnd, AnUnreachableAccountServerStartsTheGameWithoutUpdates) {
    ASSERT_TRUE(first_start_done) << "needs the first start's saved log-in";
    account("RESET");
    for (int i = 0; i < 3; i++) account("PUSH no_hello");  // the link closes before any answer
    ASSERT_TRUE(start_again()) << "no launcher window";
    ASSERT_TRUE(wait_for_log(game, since, "log-in renewal refused: no_connection (no answer)", launcher, 30000, &log))
        << log;
    ASSERT_TRUE(wait_for_log(game, since, "shown: ZANDOR cannot be reached right now: the game starts without updates.",
                             launcher, 30000, &log))
        << log;
    picture(window, "07-unreachable");
    ASSERT_TRUE(wait_for_log(game, since, "pes6.exe started", launcher, 20000, &log)) << log;
    // No update check was made: the exit code is 0, and the saved log-in stays for the next start.
    EXPECT_EQ(0u, run.finish(30000));
    EXPECT_NE(std::string::npos, read_text(game.log_path()).substr(since).find("no update check (not logged in)"));
    EXPECT_TRUE(file_exists(account_folder() + "\\session.dat"));
    // The stand-in game has written its record before the next test starts and looks for none.
    EXPECT_NE(std::string::npos, game_record(game).find("ZANDOR_LAUNCHER=1\n"));
}

TEST_F(EndToEnd, WithNoGameTheLauncherChecksForUpdatesAndEndsWithoutTheGame) {
    ASSERT_TRUE(first_start_done) << "needs the first start's saved log-in";
    account("RESET");
    answer_always("RENEW", login_answer());
    answer_always("GAMEACCOUNT", game_account_answer());
    ASSERT_TRUE(start_again(" --no-game")) << "no launcher window";
    ASSERT_TRUE(wait_for_log(game, since, "shown: ZANDOR is up to date", launcher, 30000, &log)) << log;
    picture(window, "08-no-game");
    EXPECT_EQ(0u, run.finish(10000));
    log = read_text(game.log_path()).substr(since);
    EXPECT_NE(std::string::npos, log.find("release 1: newer 0x0")) << log;
    EXPECT_NE(std::string::npos, log.find("launcher closed")) << log;
    EXPECT_EQ(std::string::npos, log.find("pes6.exe started")) << log;
    EXPECT_FALSE(file_exists(game.path + "\\started.txt"));
}

TEST_F(EndToEnd, PlayNowDuringADownloadStartsTheGameAtOnce) {
    ASSERT_TRUE(first_start_done) << "needs the first start's saved log-in";
    GameFolder fresh = make_game_folder("e2e_slow");
    account("RESET");
    answer_always("RENEW", login_answer());
    answer_always("GAMEACCOUNT", game_account_answer());
    update_server("MODE pace 400");  // a slow line: the download takes seconds

    ASSERT_TRUE(start(fresh)) << "no launcher window";
    // No server chosen in this folder yet: the server page, where Enter picks the ZANDOR server.
    ASSERT_TRUE(wait_for_log(fresh, 0, "log-in renewed", launcher, 30000, &log)) << log;
    Sleep(500);
    press(window, "Return");
    ASSERT_TRUE(wait_for_log(fresh, 0, "checking 127.0.0.1:20292 channel client", launcher, 30000, &log)) << log;
    Sleep(1500);
    picture(window, "09-downloading");
    click(window, 406 + 85, 290 + 19);  // "Play now"
    ASSERT_TRUE(wait_for_log(fresh, 0, "Play now pressed", launcher, 10000, &log)) << log;
    ASSERT_TRUE(wait_for_log(fresh, 0, "shown: The update will continue next time", launcher, 20000, &log)) << log;
    ASSERT_TRUE(wait_for_log(fresh, 0, "pes6.exe started", launcher, 5000, &log)) << log;
    // The update check was made and did not finish: the exit code says so.
    EXPECT_EQ(1u, run.finish(30000));
    update_server("MODE pace 0");
    EXPECT_EQ(std::string::npos, read_text(fresh.log_path()).find("Starting the game in"));
    std::string started = game_record(fresh);
    EXPECT_NE(std::string::npos, started.find("ZANDOR_LAUNCHER=1\n")) << started;
    if (!HasFailure()) remove_tree(fresh.path);
}

TEST_F(EndToEnd, LogOutDuringTheCountdownKeepsThePcMarker) {
    ASSERT_TRUE(first_start_done) << "needs the first start's saved log-in";
    account("RESET");
    answer_always("RENEW", login_answer());
    answer_always("GAMEACCOUNT", game_account_answer());
    answer_always("LOGOUT", "OK");
    ASSERT_TRUE(start_again()) << "no launcher window";
    ASSERT_TRUE(wait_for_log(game, since, "shown: ZANDOR is up to date", launcher, 30000, &log)) << log;
    click(window, 194 + 60, 290 + 19);  // "Log out"
    ASSERT_TRUE(wait_for_log(game, since, "log out pressed (the PC marker stays)", launcher, 5000, &log)) << log;
    picture(window, "10-logged-out");
    for (int i = 0; i < 50 && !in_order(request_words(), {"LOGOUT"}); i++) Sleep(100);
    EXPECT_TRUE(in_order(request_words(), {"RENEW", "LOGOUT"})) << joined(request_words());
    EXPECT_FALSE(file_exists(account_folder() + "\\session.dat"));
    EXPECT_EQ(std::string(MARKER), read_text(account_folder() + "\\.marker"));
    EXPECT_EQ(std::string(MARKER), marker_in_registry());

    // The countdown is over for this run: closing the window starts no game.
    Sleep(3500);
    EXPECT_FALSE(file_exists(game.path + "\\started.txt"));
    click_close_box(window);
    EXPECT_EQ(0u, run.finish(30000));
    EXPECT_FALSE(file_exists(game.path + "\\started.txt"));
}

TEST_F(EndToEnd, AKnownPcLogsInByItselfAcceptsNewTermsAndNotYouForgetsIt) {
    ASSERT_TRUE(first_start_done) << "needs the marker of the first start";
    // No saved log-in (logged out), but the PC marker of the first start is still on this PC.
    DeleteFileA((account_folder() + "\\session.dat").c_str());
    ASSERT_EQ(std::string(MARKER), read_text(account_folder() + "\\.marker"));
    account("RESET");
    answer_always("AUTO", login_answer() + "\t0");  // this account accepted only older terms
    answer_always("ACCEPTTERMS", "OK");
    answer_next("NOTME", "OK");
    answer_always("GAMEACCOUNT", game_account_answer());
    ASSERT_TRUE(start_again()) << "no launcher window";
    // The new terms first: "I accept".
    ASSERT_TRUE(wait_for_log(game, since, "the account accepted older terms: the new terms v1 are shown", launcher, 30000,
                             &log))
        << log;
    picture(window, "11-new-terms");
    click(window, 406 + 85, 340 + 20);
    ASSERT_TRUE(wait_for_log(game, since, "new terms v1 accepted", launcher, 10000, &log)) << log;
    // The main page offers "Not you?" and counts down ten seconds instead of three.
    ASSERT_TRUE(wait_for_log(game, since, "shown: ZANDOR is up to date", launcher, 30000, &log)) << log;
    picture(window, "12-not-you-offered");
    click(window, 300 + 60, 340 + 7);  // "Not you? Log in with another account"
    ASSERT_TRUE(wait_for_log(game, since, "Not you? pressed after the automatic log-in", launcher, 8000, &log)) << log;
    picture(window, "13-log-in-again");
    EXPECT_FALSE(file_exists(account_folder() + "\\.marker"));
    EXPECT_FALSE(file_exists(account_folder(CSIDL_APPDATA) + "\\.marker"));
    EXPECT_EQ("", marker_in_registry());
    EXPECT_FALSE(file_exists(account_folder() + "\\session.dat"));
    EXPECT_TRUE(in_order(request_words(), {"AUTO", "ACCEPTTERMS", "NOTME"})) << joined(request_words());

    // The player closes the window: no game.
    click_close_box(window);
    EXPECT_EQ(0u, run.finish(30000));
    log = read_text(game.log_path()).substr(since);
    EXPECT_NE(std::string::npos, log.find("window closed by the player: the game is not started")) << log;
    EXPECT_EQ(std::string::npos, log.find("pes6.exe started")) << log;
    EXPECT_FALSE(file_exists(game.path + "\\started.txt"));
}

TEST_F(EndToEnd, CancelWhileAPollIsOnItsWayIgnoresItsLogIn) {
    ASSERT_TRUE(first_start_done) << "needs the first start's game folder";
    ASSERT_FALSE(file_exists(account_folder() + "\\session.dat"));
    account("RESET");
    answer_always("AUTO", "DENIED\tunknown_pc\t");
    answer_next("WEBLOGIN", std::string("REQUEST\te2e-request-2\te2e-poll-key-2\t") + CODE +
                                "\thttp://127.0.0.1:20294/login?code=" + CODE + "\t300000");
    // Every poll is answered late, with a log-in: the first one is still on its way when Cancel is pressed.
    answer_always("WEBPOLL", login_answer());
    account("DELAY WEBPOLL 4000");
    ASSERT_TRUE(start_again()) << "no launcher window";
    ASSERT_TRUE(wait_for_log(game, since, "no automatic log-in by IP (unknown_pc)", launcher, 30000, &log)) << log;
    press(window, "Return");
    ASSERT_TRUE(wait_for_log(game, since, "browser log-in: the page is opened", launcher, 20000, &log)) << log;
    bool polling = false;
    for (int i = 0; i < 60 && !polling; i++) {
        Sleep(100);
        std::vector<std::string> words = request_words();
        polling = !words.empty() && words.back() == "WEBPOLL";
    }
    ASSERT_TRUE(polling) << joined(request_words());
    click(window, 336 + 110, 318 + 22);  // "Cancel"
    ASSERT_TRUE(wait_for_log(game, since, "browser log-in cancelled", launcher, 5000, &log)) << log;
    ASSERT_TRUE(wait_for_log(game, since, "an answer from before the log-out: ignored", launcher, 10000, &log)) << log;
    picture(window, "14-cancelled");
    EXPECT_EQ(std::string::npos, log.find("logged in with Google")) << log;
    EXPECT_FALSE(file_exists(account_folder() + "\\session.dat"));
    click_close_box(window);
    EXPECT_EQ(0u, run.finish(30000));
    EXPECT_FALSE(file_exists(game.path + "\\started.txt"));
}

}  // namespace

// Last: the uninstall of the installation the runs above placed for real (the client DLL, the bots,
// the runtime, the settings, the saved log-in and the PC marker), answered as a player would.
TEST_F(EndToEnd, UninstallRemovesWhatTheRunsPlacedAndKeepsTheGame) {
    ASSERT_TRUE(first_start_done) << "needs the first start's installation";
    ASSERT_TRUE(file_exists(game.path + "\\d3d8.dll"));
    ASSERT_TRUE(folder_exists(game.path + "\\ombrix_data\\bot_takeover\\jre"));
    // The saved log-in and the marker, as a logged-in player has them.
    ASSERT_EQ(4, store_marker(MARKER));
    SavedLogin login = {};
    copy_text(login.token, sizeof login.token, TOKEN);
    ASSERT_TRUE(save_login(&login));
    write_file(game.path + "\\game_data.bin", std::string("\0\1game\2", 7));
    std::string game_exe = read_text(game.path + "\\" + GAME_EXE);
    account("RESET");
    answer_always("LOGOUT", "OK");

    run.process = start_program(launcher_in_game() + " --uninstall", game.path);
    ASSERT_TRUE(run.process);
    std::string question = answer_message_box(IDYES, 30000);
    EXPECT_EQ(0u, question.rfind("This removes everything ZANDOR put on this PC:", 0)) << question;
    std::string summary = answer_message_box(IDOK, 30000);
    EXPECT_EQ(0u, summary.rfind("ZANDOR is uninstalled: ", 0)) << summary;
    EXPECT_EQ(std::string::npos, summary.find("(delete the launcher file yourself)")) << summary;
    EXPECT_EQ(0u, run.finish(30000));

    EXPECT_TRUE(in_order(request_words(), {"LOGOUT"})) << joined(request_words());
    EXPECT_FALSE(file_exists(game.path + "\\d3d8.dll"));
    EXPECT_FALSE(file_exists(game.path + "\\zandor.ini"));
    EXPECT_FALSE(folder_exists(game.path + "\\ombrix_data")) << "empty once the bots, runtime and updates went";
    EXPECT_FALSE(file_exists(account_folder() + "\\session.dat"));
    char markers[256];
    collect_markers(markers, sizeof markers);
    EXPECT_STREQ("-", markers);
    // The game's own files are untouched; the launcher file goes a moment after the process ended.
    EXPECT_EQ(game_exe, read_text(game.path + "\\" + GAME_EXE));
    EXPECT_EQ(std::string("\0\1game\2", 7), read_text(game.path + "\\game_data.bin"));
    for (int i = 0; i < 100 && file_exists(game.path + "\\ZANDOR Launcher.exe"); i++) Sleep(100);
    EXPECT_FALSE(file_exists(game.path + "\\ZANDOR Launcher.exe"));
}

// A double double-click: two launchers started together on one game folder. One of them updates;
// the other finds it, logs so and ends with 0 at once; the folder holds one consistent installation.
TEST_F(EndToEnd, TwoLaunchersStartedTogetherMakeOneUpdate) {
    ASSERT_TRUE(first_start_done) << "needs the first start's saved log-in";
    GameFolder fresh = make_game_folder("e2e_twice");
    SavedLogin login = {};
    copy_text(login.token, sizeof login.token, TOKEN);
    ASSERT_TRUE(save_login(&login));
    account("RESET");
    answer_always("RENEW", login_answer());
    answer_always("GAMEACCOUNT", game_account_answer());
    update_server("MODE pace 100");

    Launcher first, second;
    first.process = start_program(launcher_in(fresh) + " --no-game", fresh.path);
    second.process = start_program(launcher_in(fresh) + " --no-game", fresh.path);
    ASSERT_TRUE(first.process && second.process);
    // Whichever started second ends by itself, quickly and with 0.
    HANDLE both[2] = {first.process, second.process};
    DWORD ended = WaitForMultipleObjects(2, both, FALSE, 60000);
    ASSERT_LT(ended, WAIT_OBJECT_0 + 2) << "neither launcher ended";
    Launcher& quitter = ended == WAIT_OBJECT_0 ? first : second;
    Launcher& updater = ended == WAIT_OBJECT_0 ? second : first;
    EXPECT_EQ(0u, quitter.finish(0));
    std::string log;
    EXPECT_TRUE(wait_for_log(fresh, 0, "another launcher runs for this game folder", updater.process, 1000, &log))
        << log;
    ASSERT_TRUE(wait_for_log(fresh, 0, "shown: ZANDOR is up to date", updater.process, 120000, &log)) << log;
    EXPECT_EQ(0u, updater.finish(30000));
    update_server("MODE pace 0");

    log = read_text(fresh.log_path());
    size_t checks = 0;
    for (size_t at = log.find("checking 127.0.0.1:20292"); at != std::string::npos;
         at = log.find("checking 127.0.0.1:20292", at + 1)) {
        checks++;
    }
    EXPECT_EQ(checks, 1u) << log;
    // One installation: the DLL in place with its probation, nothing waiting, nothing left in staging.
    std::string installed = read_text(fresh.updates() + "\\installed.json");
    std::string boot = read_text(fresh.updates() + "\\boot.json");
    EXPECT_NE(std::string::npos, boot.find("\"pending_sha512\"")) << boot;
    EXPECT_TRUE(file_exists(fresh.path + "\\d3d8.dll"));
    EXPECT_EQ(std::string::npos, installed.find("\"staged_release\": 1")) << installed;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((fresh.updates() + "\\staging\\*.part").c_str(), &entry);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "a piece file is left in staging";
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    if (!HasFailure()) remove_tree(fresh.path);
}

// "Uninstall ZANDOR" pressed while a browser log-in's poll is on its way: the uninstall stops the
// polls, ignores the answer and waits for the account worker before it removes anything, so no
// saved log-in and no PC marker is written behind it.
TEST_F(EndToEnd, UninstallWhileALogInIsOnItsWayLeavesNoLogIn) {
    GameFolder fresh = make_game_folder("e2e_racing");
    remove_account_files();
    account("RESET");
    answer_always("AUTO", "DENIED\tunknown_pc\t");
    answer_next("WEBLOGIN", std::string("REQUEST\te2e-request\te2e-poll-key\t") + CODE +
                                "\thttp://127.0.0.1:20294/login?code=" + CODE + "\t300000");
    answer_always("WEBPOLL", login_answer());

    Launcher run;
    HWND window = run.start(launcher_in(fresh), fresh.path);
    ASSERT_TRUE(window) << "no launcher window";
    std::string log;
    ASSERT_TRUE(wait_for_log(fresh, 0, "no automatic log-in by IP (unknown_pc)", run.process, 30000, &log)) << log;
    account("PUSH ok");          // the WEBLOGIN
    account("PUSH slow:10000");  // the first poll: its approval comes ten seconds later
    click(window, 336 + 110, 318 + 22);
    ASSERT_TRUE(wait_for_log(fresh, 0, "browser log-in: the page is opened", run.process, 20000, &log)) << log;
    Sleep(3000);  // the first poll is on its way
    picture(window, "15-poll-on-its-way");
    click(window, 24 + 20, 424 + 6);  // "Uninstall ZANDOR"
    std::string question = answer_message_box(IDYES, 30000);
    EXPECT_EQ(0u, question.rfind("This removes everything ZANDOR put on this PC:", 0)) << question;
    std::string summary = answer_message_box(IDOK, 60000);
    EXPECT_EQ(0u, summary.rfind("ZANDOR is uninstalled: ", 0)) << summary;
    run.finish(30000);
    Sleep(2000);  // anything still on its way would land now

    EXPECT_FALSE(file_exists(account_folder() + "\\session.dat"));
    char markers[256];
    collect_markers(markers, sizeof markers);
    EXPECT_STREQ("-", markers);
    EXPECT_FALSE(folder_exists(fresh.path + "\\ombrix_data"));
    if (!HasFailure()) remove_tree(fresh.path);
}

// A player without a mouse on the log-in page: Tab over "Log in with Google" and the painted links
// to "Uninstall ZANDOR", Enter, the question is asked; No keeps everything. A screen reader in
// another process finds the link by its name and sees the keyboard focus on it.
TEST_F(EndToEnd, TheKeyboardReachesTheUninstallQuestion) {
    GameFolder fresh = make_game_folder("e2e_keyboard");
    remove_account_files();
    account("RESET");
    answer_always("AUTO", "DENIED\tunknown_pc\t");

    Launcher run;
    HWND window = run.start(launcher_in(fresh), fresh.path);
    ASSERT_TRUE(window) << "no launcher window";
    std::string log;
    ASSERT_TRUE(wait_for_log(fresh, 0, "no automatic log-in by IP (unknown_pc)", run.process, 30000, &log)) << log;
    Sleep(500);  // the log-in page paints its links
    for (int i = 0; i < 4; i++) press(window, "Tab");  // the sign-up, help, terms and uninstall links
    picture(window, "16-keyboard-on-uninstall");

    CoInitialize(nullptr);
    IAccessible* client = nullptr;
    AccessibleObjectFromWindow(window, (DWORD)OBJID_CLIENT, IID_IAccessible, (void**)&client);
    ASSERT_NE(client, nullptr) << "the window gives no accessible object to another process";
    // The focused part as the reader names it: "link: NAME".
    auto focused = [&]() {
        VARIANT focus;
        VariantInit(&focus);
        BSTR name = nullptr;
        VARIANT role;
        VariantInit(&role);
        if (client->get_accFocus(&focus) == S_OK && focus.vt == VT_I4) {
            client->get_accName(focus, &name);
            client->get_accRole(focus, &role);
        }
        char text[200] = "";
        if (name) WideCharToMultiByte(CP_UTF8, 0, name, -1, text, sizeof text, nullptr, nullptr);
        SysFreeString(name);
        return std::string(role.vt == VT_I4 && role.lVal == ROLE_SYSTEM_LINK ? "link: " : "other: ") + text;
    };
    EXPECT_EQ(focused(), "link: Uninstall ZANDOR");
    press(window, "shift+Tab");
    EXPECT_EQ(focused(), "link: Read the terms");
    press(window, "Tab");
    EXPECT_EQ(focused(), "link: Uninstall ZANDOR");
    client->Release();
    CoUninitialize();

    press(window, "Return");
    std::string question = answer_message_box(IDNO, 30000);
    EXPECT_EQ(0u, question.rfind("This removes everything ZANDOR put on this PC:", 0)) << question;
    Sleep(500);
    EXPECT_TRUE(IsWindow(window)) << "declined: the window stays";
    EXPECT_TRUE(folder_exists(fresh.path + "\\ombrix_data"));
    click_close_box(window);
    run.finish(30000);
    if (!HasFailure()) remove_tree(fresh.path);
}
