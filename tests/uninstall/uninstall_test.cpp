// The uninstall, run in this process on a prepared installation: a game folder with the ZANDOR DLL,
// another program's Direct3D 8 DLL set aside, settings, updates, the bot program and its Java, the
// saved log-in and the PC marker, and a launcher outside the game folder. Message boxes are answered
// through the seam; the log is kept outside the updates folder so that it survives.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "account/account_files.h"
#include "account/login_state.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/message_box.h"
#include "core/text.h"
#include "support/folder_link.h"
#include "support/test_support.h"
#include "uninstall/uninstall.h"
#include "updates/update_paths.h"
#include "updates/launcher_finish.h"
#include "updates/update_worker.h"

namespace {

const char MARKER[] = "pgm1.UNINSTALLtestMARKER_0123";

std::vector<std::string> boxes;
int answer = IDYES;
int answer_box(void*, const char* text, unsigned) {
    boxes.push_back(text);
    return answer;
}

// Every file under folder with its bytes, by relative path.
void list_tree(const std::string& folder, const std::string& prefix, std::map<std::string, std::string>* out) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            (*out)[prefix + name + "\\"] = "";
            list_tree(folder + "\\" + name, prefix + name + "\\", out);
        } else {
            read_file(folder + "\\" + name, &(*out)[prefix + name]);
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

std::map<std::string, std::string> listing(const std::string& folder) {
    std::map<std::string, std::string> files;
    list_tree(folder, "", &files);
    return files;
}

struct UninstallTest : testing::Test {
    std::string root = make_temp_folder("uninstall");
    std::string game = root + "\\game";
    std::string own = root + "\\launcher";
    std::string log_path = root + "\\test.log";

    void SetUp() override {
        CreateDirectoryA(game.c_str(), nullptr);
        CreateDirectoryA(own.c_str(), nullptr);
        write_file(game + "\\pes6.exe", "the game itself");
        write_file(game + "\\game_data.bin", std::string("\0\1\2game", 7));
        write_file(game + "\\d3d8.dll", "MZ ... TOLVEN client started ...");
        write_file(game + "\\d3d8_real.dll", "another program's Direct3D 8 DLL");
        write_file(game + "\\zandor.ini", "[online]\r\nserver=127.0.0.1\r\n[display]\r\nreal_d3d8=d3d8_real.dll\r\n");
        write_file(game + "\\tolven.ini", "[overlay]\r\nlang=es\r\n");
        make_dirs((game + "\\ombrix_data\\updates\\staging").c_str());
        write_file(game + "\\ombrix_data\\updates\\installed.json",
                   "{\"channel\": \"client\", \"bots_version\": 3, \"runtime_version\": 2}");
        make_dirs((game + "\\ombrix_data\\bot_takeover\\jre\\bin").c_str());
        write_file(game + "\\ombrix_data\\bot_takeover\\bots.jar", "jar");
        write_file(game + "\\ombrix_data\\bot_takeover\\jre\\bin\\java.exe", "java");
        write_file(own + "\\ZANDOR Launcher.exe", "the launcher file");
        write_file(own + "\\zandor.ini", "[launcher]\r\ngame_folder=" + game + "\r\n");

        launcher_state_reset();
        copy_text(launcher.launcher_dir, PATH_CAP, own.c_str());
        copy_text(launcher.launcher_exe, PATH_CAP, (own + "\\ZANDOR Launcher.exe").c_str());
        update_paths_init(&launcher.update_paths, game.c_str());
        copy_text(launcher.update_paths.launcher_path, PATH_CAP, launcher.launcher_exe);
        copy_text(launcher.account_host, sizeof launcher.account_host, "127.0.0.1");

        ASSERT_EQ(store_marker(MARKER), 4);
        SavedLogin login = {};
        copy_text(login.token, sizeof login.token, "pgt1.uninstall-test");
        ASSERT_TRUE(save_login(&login));
        current_login = login;

        boxes.clear();
        answer = IDYES;
        set_message_box_answer(answer_box);
        log_open(log_path.c_str());
    }
    void TearDown() override {
        log_close();
        set_message_box_answer(nullptr);
        remove_account_files();
        remove_tree(root);
    }
    std::string log_text() {
        log_close();
        std::string text;
        read_file(log_path, &text);
        return text;
    }
    static bool account_files_present() {
        char path[MAX_PATH];
        if (session_path(path, sizeof path) && file_exists(path)) return true;
        char markers[512];
        collect_markers(markers, sizeof markers);
        return std::string(markers) != "-";
    }
};

}  // namespace

TEST_F(UninstallTest, NoChangesNothing) {
    auto before = listing(root);
    answer = IDNO;
    EXPECT_FALSE(uninstall());
    EXPECT_EQ(listing(root), before);
    EXPECT_TRUE(account_files_present());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("This removes everything ZANDOR put on this PC:", 0), 0u);
    EXPECT_EQ(log_text().find("UNINSTALL"), std::string::npos);
}

TEST_F(UninstallTest, TheRunningGameStopsIt) {
    auto before = listing(root);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "{87F2B5F7-09C3-4520-AB5E-16313ADB035B}");
    EXPECT_FALSE(uninstall());
    CloseHandle(mutex);
    EXPECT_EQ(listing(root), before);
    EXPECT_EQ(boxes, std::vector<std::string>{"Please close the game first."});
}

TEST_F(UninstallTest, YesRemovesEverythingItPlacedAndNothingOfTheGame) {
    ASSERT_TRUE(uninstall());

    // The game's own files are untouched, the other program's DLL has its name back.
    std::map<std::string, std::string> expected = {
        {"game\\", ""},
        {"game\\pes6.exe", "the game itself"},
        {"game\\game_data.bin", std::string("\0\1\2game", 7)},
        {"game\\d3d8.dll", "another program's Direct3D 8 DLL"},
        {"launcher\\", ""},
        {"test.log", ""},
    };
    // The launcher file goes a moment later, through a command started for it.
    for (int i = 0; i < 100 && file_exists(own + "\\ZANDOR Launcher.exe"); i++) Sleep(100);
    std::map<std::string, std::string> after = listing(root);
    after["test.log"] = "";
    EXPECT_EQ(after, expected);
    EXPECT_FALSE(account_files_present());

    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], "ZANDOR is uninstalled: 9 items removed from this PC.\n\nThe game's own files were not "
                        "touched.\nYour account and PC records stay on the server for 24 months after your last "
                        "log-in (ban records longer). To have them deleted, write to help@zandor.example.");
    std::string log = log_text();
    for (const char* line : {" UNINSTALL\r\n", " uninstall: our D3D8.dll removed\r\n",
                             " uninstall: d3d8_real.dll renamed back to D3D8.dll\r\n",
                             " uninstall: zandor.ini removed\r\n", " uninstall: the older tolven.ini removed\r\n",
                             " uninstall: the Java runtime removed\r\n", " uninstall: the bot program removed\r\n",
                             " uninstall: the updates folder goes next (this log with it)\r\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    }
}

TEST_F(UninstallTest, PartsNeverInstalledStayWithTheirFolder) {
    write_file(game + "\\ombrix_data\\updates\\installed.json", "{\"bots_version\": 0}");
    write_file(game + "\\zandor.ini", "[launcher]\r\nset_aside_d3d8=..\\pes6.exe\r\n");
    write_file(game + "\\tolven.ini", "[launcher]\r\nset_aside_d3d8=d3d8_real.dll\r\n");
    // The launcher inside the game folder: no second zandor.ini.
    copy_text(launcher.launcher_dir, PATH_CAP, (game + "\\").c_str());
    ASSERT_TRUE(uninstall());
    EXPECT_TRUE(file_exists(game + "\\ombrix_data\\bot_takeover\\bots.jar"));
    EXPECT_TRUE(file_exists(game + "\\ombrix_data\\bot_takeover\\jre\\bin\\java.exe"));
    EXPECT_FALSE(folder_exists(game + "\\ombrix_data\\updates"));
    EXPECT_TRUE(file_exists(game + "\\pes6.exe"));
    // The name recorded in tolven.ini is honoured; the one with a folder part is not.
    std::string dll;
    ASSERT_TRUE(read_file(game + "\\d3d8.dll", &dll));
    EXPECT_EQ(dll, "another program's Direct3D 8 DLL");
    EXPECT_TRUE(file_exists(own + "\\zandor.ini"));
    // ZANDOR DLL, restored DLL, zandor.ini, tolven.ini, updates folder, launcher file.
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].rfind("ZANDOR is uninstalled: 6 items removed from this PC.", 0), 0u) << boxes[1];
}

TEST_F(UninstallTest, AFileInUseIsScheduledForTheNextRestart) {
    HANDLE in_use = CreateFileA((game + "\\d3d8.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(in_use, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(uninstall());
    CloseHandle(in_use);
    EXPECT_NE(log_text().find(" uninstall: our D3D8.dll removed\r\n"), std::string::npos);
    // Wine keeps the scheduled deletion where Windows does.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                            &key),
              ERROR_SUCCESS);
    char value[8192] = {};
    DWORD size = sizeof value - 2;
    LONG read = RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, (BYTE*)value, &size);
    RegCloseKey(key);
    ASSERT_EQ(read, ERROR_SUCCESS);
    std::string pending(value, size);
    EXPECT_NE(pending.find("d3d8.dll"), std::string::npos);
    // The restored file could not take the name of a file still there: it keeps its set-aside name.
    EXPECT_TRUE(file_exists(game + "\\d3d8_real.dll"));
}

TEST_F(UninstallTest, TheLauncherFileGoesWhenTheLauncherEndsHoweverLongTheSummaryStaysOpen) {
    // The launcher file is a running program for as long as the summary is open: it cannot be
    // deleted before that program ends.
    std::string exe = own + "\\ZANDOR Launcher.exe";
    ASSERT_TRUE(CopyFileA(test_tool("idle").c_str(), exe.c_str(), FALSE));
    void* running = start_program("\"" + exe + "\" 120000", own);
    ASSERT_NE(running, nullptr);
    set_message_box_answer([](void*, const char* text, unsigned) {
        boxes.push_back(text);
        if (boxes.size() == 2) Sleep(6000);  // a player reading the summary
        return IDYES;
    });
    ASSERT_TRUE(uninstall());
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].rfind("ZANDOR is uninstalled: 9 items removed from this PC.", 0), 0u) << boxes[1];
    EXPECT_TRUE(file_exists(exe));  // still running
    TerminateProcess(running, 0);
    finish_program(running, 10000);
    for (int i = 0; i < 150 && file_exists(exe); i++) Sleep(100);
    EXPECT_FALSE(file_exists(exe));
}

// A command that waits to move a staged launcher into place (the staged file is held, so its moves
// fail) is ended before anything is removed: it can never bring a launcher back after the uninstall.
TEST_F(UninstallTest, TheWaitingLauncherCommandIsStoppedFirst) {
    std::string staged = game + "\\ombrix_data\\updates\\staging\\ZANDOR Launcher.exe";
    std::string target = own + "\\ZANDOR Launcher.exe";
    ASSERT_TRUE(write_file(staged, "the new launcher"));
    ASSERT_TRUE(launcher_finish_start(&launcher.update_paths, staged.c_str(), target.c_str()));
    HANDLE held = CreateFileA(staged.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(uninstall());
    for (int i = 0; i < 100 && file_exists(target); i++) Sleep(100);  // the launcher file goes
    EXPECT_FALSE(file_exists(target));
    CloseHandle(held);
    Sleep(4000);  // a command still running would move the staged launcher in now
    EXPECT_FALSE(file_exists(target)) << file_text(target);
}

namespace {

// An update server that accepts the worker and then keeps it in its hello: a carriage return
// (which a line reader skips) every 3 s, until the worker hangs up.
struct HeldUpdateServer {
    SOCKET listener = INVALID_SOCKET;
    HANDLE accepted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool hung_up = false;
};

DWORD WINAPI hold_worker(void* context) {
    auto* server = (HeldUpdateServer*)context;
    SOCKET peer = accept(server->listener, nullptr, nullptr);
    SetEvent(server->accepted);
    if (peer == INVALID_SOCKET) return 0;
    for (int i = 0; i < 600 && !server->hung_up; i++) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(peer, &readable);
        timeval wait = {0, 200000};
        if (select(0, &readable, nullptr, nullptr, &wait) > 0) {
            char bytes[256];
            server->hung_up = recv(peer, bytes, sizeof bytes, 0) <= 0;  // the hello comes first
        } else if (i % 15 == 0) {
            send(peer, "\r", 1, 0);
        }
    }
    closesocket(peer);
    return 0;
}

}  // namespace

// The worker waits in its hello when the uninstall asks it to stop: it sees the stop between
// receives and ends, and only then is anything removed.
TEST_F(UninstallTest, NothingIsRemovedWhileTheUpdateWorkerStillRuns) {
    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
    HeldUpdateServer server;
    server.listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    ASSERT_EQ(bind(server.listener, (sockaddr*)&address, sizeof address), 0);
    ASSERT_EQ(listen(server.listener, 1), 0);
    ASSERT_EQ(getsockname(server.listener, (sockaddr*)&address, &size), 0);
    HANDLE thread = CreateThread(nullptr, 0, hold_worker, &server, 0, nullptr);

    // A logged-in player without a token: the worker goes straight to the update server.
    static SavedLogin no_token = {};
    static bool logged_in = true;
    UpdateLogin saved_login = update_login;
    update_login = {&no_token, &logged_in, nullptr};
    copy_text(launcher.update_host, sizeof launcher.update_host, "127.0.0.1");
    copy_text(launcher.update_channel, sizeof launcher.update_channel, "client");
    int saved_port = update_port();
    set_update_port(ntohs(address.sin_port));
    update_started = false;
    start_update_run();
    ASSERT_EQ(WaitForSingleObject(server.accepted, 30000), WAIT_OBJECT_0);
    Sleep(500);  // the hello is sent and waits for its answer

    DWORD start = GetTickCount();
    ASSERT_TRUE(uninstall());
    EXPECT_LT(GetTickCount() - start, (DWORD)UPDATE_WORKER_WAIT_MS) << "the worker did not see the stop";
    EXPECT_EQ(update_done, 1);
    EXPECT_FALSE(file_exists(game + "\\zandor.ini"));
    EXPECT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
    EXPECT_TRUE(server.hung_up);
    std::string log = log_text();
    size_t stopped = log.find(" release 0: not finished - stopped\r\n");
    size_t removed = log.find(" uninstall: our D3D8.dll removed\r\n");
    EXPECT_NE(stopped, std::string::npos) << log;
    EXPECT_LT(stopped, removed) << log;

    CloseHandle(thread);
    closesocket(server.listener);
    CloseHandle(server.accepted);
    update_login = saved_login;
    set_update_port(saved_port);
    update_started = false;
    WSACleanup();
}

TEST_F(UninstallTest, ALinkedBotFolderIsNeverEmptiedThroughTheLink) {
    // The bot program's folder is a link to a folder of another program, with a Java of its own.
    std::string bots = game + "\\ombrix_data\\bot_takeover";
    std::string other = root + "\\other_program";
    make_dirs((other + "\\jre\\bin").c_str());
    write_file(other + "\\bots.jar", "another program's jar");
    write_file(other + "\\jre\\bin\\java.exe", "another program's java");
    remove_tree(bots);
    LinkKind link = make_link(bots, other);
    ASSERT_NE(link, LINK_NONE);

    ASSERT_TRUE(uninstall());
    EXPECT_EQ(file_text(other + "\\bots.jar"), "another program's jar");
    EXPECT_EQ(file_text(other + "\\jre\\bin\\java.exe"), "another program's java");
    // Windows removes the junction; Wine cannot remove its Unix link.
    EXPECT_EQ(folder_exists(bots), link != LINK_JUNCTION);
    std::string log = log_text();
    EXPECT_NE(log.find(" uninstall: " + bots + "\\jre lies behind a linked folder - left in place\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find(" uninstall: the Java runtime removed"), std::string::npos);
    remove_link(bots, link);
}
