// Fetching the web site's pages with WinINet: short time-outs, no retries, no cache, no cookies.
#include "web/web_lookups.h"

#include <windows.h>
#include <wininet.h>

#include "build_config.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/text.h"
#include "core/window_messages.h"
#include "web/web_pages.h"

char newest_launcher_version[32];
static volatile LONG players_count = -1;
static volatile LONG players_fetch_running = 0;

void fetch_url(const char* url, char* buffer, size_t size) {
    buffer[0] = 0;
    HINTERNET internet = InternetOpenA("ZANDOR-launcher", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!internet) return;
    DWORD timeout = 3000;
    InternetSetOptionA(internet, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(internet, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(internet, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
    HINTERNET request = InternetOpenUrlA(internet, url, nullptr, 0,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                             INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI,
                                         0);
    if (!request) {
        log_line("%s: no answer (error %lu)", url, GetLastError());
        InternetCloseHandle(internet);
        return;
    }
    DWORD status = 0, status_size = sizeof status;
    HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &status_size, nullptr);
    size_t stored = 0;
    if (status == 0 || status == 200) {
        while (stored < size - 1) {
            DWORD got = 0;
            if (!InternetReadFile(request, buffer + stored, (DWORD)(size - 1 - stored), &got) || got == 0) break;
            stored += got;
        }
    }
    InternetCloseHandle(request);
    InternetCloseHandle(internet);
    buffer[stored] = 0;
}

static void site_url(char* url, size_t cap, const char* path) {
    format_text(url, cap, "%s%s", ZANDOR_WEB_BASE, path);
}

void look_up_newest_launcher() {
    static char page[16384];
    char url[256], version[32];
    site_url(url, sizeof url, "/version.txt");
    fetch_url(url, page, sizeof page);
    if (!find_version_in_version_page(page, version, sizeof version)) {
        site_url(url, sizeof url, "/");
        fetch_url(url, page, sizeof page);
        if (!find_version_in_home_page(page, version, sizeof version)) {
            log_line("newest launcher version: no answer (or no version given)");
            return;
        }
    }
    bool newer = launcher.own_version[0] && compare_versions(launcher.own_version, version) == -1;
    log_line("newest launcher %s, this one is %s%s", version, launcher.own_version, newer ? " - a newer one is ready" : "");
    if (newer) copy_text(newest_launcher_version, sizeof newest_launcher_version, version);
}

long players_online_count() {
    return players_count;
}

static DWORD WINAPI players_thread(void*) {
    char page[256], url[256];
    site_url(url, sizeof url, "/players_online");
    fetch_url(url, page, sizeof page);
    InterlockedExchange(&players_count, parse_players_online(page));
    InterlockedExchange(&players_fetch_running, 0);
    HWND window = (HWND)launcher.window;
    if (window) PostMessageA(window, WM_PLAYERS_ONLINE, 0, 0);
    return 0;
}

void start_players_fetch() {
    if (InterlockedExchange(&players_fetch_running, 1) == 1) return;
    HANDLE thread = CreateThread(nullptr, 0, players_thread, nullptr, 0, nullptr);
    if (!thread) {
        InterlockedExchange(&players_fetch_running, 0);
        return;
    }
    CloseHandle(thread);
}
