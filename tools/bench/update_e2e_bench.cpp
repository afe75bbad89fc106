// The update's own time end to end, run under Wine by tools/bench/update_e2e.sh:
//
//   update_e2e_bench.exe run PORT GAME_FOLDER
//       one update run (run_update, channel "client", nobody logged in) against the update server on
//       127.0.0.1:PORT for the game folder; a watcher thread notes when the download's phases
//       begin, which splits the run into: connecting and the manifest, examining the files (hash the
//       installed ones, copy them into staging, hash the copies), downloading what changed, and the
//       swap (the staged part verified once more, the folders moved, the state files written).
//       The same source is built against the launcher library of two commits (the script compares
//       them), so it uses only what both offer.
//
// Every figure is printed as "name value" on a line of its own, prefixed with "@", for the script.
#include <winsock2.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "core/text.h"
#include "updates/manifest.h"
#include "updates/part_kinds.h"
#include "updates/update_paths.h"
// The run and the worker's shared records; earlier commits named their headers run_update.h and
// update_run.h.
#if __has_include("updates/update_worker.h")
#include "updates/update_run.h"
#include "updates/update_worker.h"
#else
#include "updates/run_update.h"
#include "updates/update_run.h"
#endif
#include "bench_clock.h"

// When the watcher first saw each phase of the download (0 when it did not).
static double phase_seen[5];
static volatile long watcher_stop;

static DWORD WINAPI watcher(void*) {
    while (!watcher_stop) {
        long phase = update_progress.phase;
        if (phase >= 1 && phase <= 4 && phase_seen[phase] == 0) phase_seen[phase] = now_ms();
        Sleep(1);
    }
    return 0;
}

static int run_once(int port, const char* game_folder) {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
    UpdatePaths paths = {};
    update_paths_init(&paths, game_folder);
    UpdateRequest request = {};
    copy_text(request.host, sizeof request.host, "127.0.0.1");
    request.port = port;
    copy_text(request.channel, sizeof request.channel, "client");
    memset(&update_result, 0, sizeof update_result);
    memset((void*)&update_progress, 0, sizeof update_progress);

    HANDLE thread = CreateThread(nullptr, 0, watcher, nullptr, 0, nullptr);
    double start = now_ms();
    bool ok = run_update(&paths, &request, &update_progress, &update_result);
    double end = now_ms();
    InterlockedExchange(&watcher_stop, 1);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    WSACleanup();
    if (!ok || !(update_result.applied & PART_BIT(PART_RUNTIME)) || phase_seen[1] == 0 || phase_seen[2] == 0 ||
        phase_seen[3] == 0) {
        fprintf(stderr, "update_e2e_bench: the run did not swap the runtime in: %s\n", update_result.message);
        return 1;
    }
    printf("@release %llu\n", (unsigned long long)update_result.release);
    printf("@downloaded_bytes %llu\n", (unsigned long long)update_progress.total_bytes);
    printf("@run_ms %.1f\n", end - start);
    printf("@manifest_ms %.1f\n", phase_seen[1] - start);
    printf("@examine_ms %.1f\n", phase_seen[2] - phase_seen[1]);
    printf("@download_ms %.1f\n", phase_seen[3] - phase_seen[2]);
    printf("@swap_ms %.1f\n", end - phase_seen[3]);
    return 0;
}

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 4 && strcmp(argv[1], "run") == 0) return run_once(atoi(argv[2]), argv[3]);
    fprintf(stderr, "usage: update_e2e_bench.exe run PORT GAME_FOLDER\n");
    return 2;
}
