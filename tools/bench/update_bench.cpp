// Update benchmarks, run under Wine by tools/bench/updates.sh:
//
//   update_bench.exe plain PORT OUT_FILE
//       the baseline: one plain loopback TCP connection to a sender that writes the whole file and
//       closes; the bytes are received into a 262144-byte buffer and written to OUT_FILE with one
//       WriteFile per full buffer, as the download writes its .part file.
//   update_bench.exe download PORT GAME_FOLDER
//       connects to the update server, fetches and verifies the manifest of channel "client" and runs
//       download_parts for the dll part; prints the transfer into the .part file and the verification
//       of the finished file separately, and the process's memory before and during the download.
//
//   update_bench.exe profile PORT OUT_FILE
//       where one piece's time goes: the same requests as the download (GET of 262144 bytes, one
//       outstanding) through the protocol functions, each step timed on its own: sending the request,
//       reading the answer line, receiving the payload, writing it to OUT_FILE; averages per piece.
//
// Every figure is printed as "name value" on a line of its own, prefixed with "@", for the script.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "core/codecs.h"
#include "core/socket_lines.h"
#include "updates/download.h"
#include "updates/file_digest.h"
#include "updates/part_kinds.h"
#include "updates/update_paths.h"
#include "updates/update_protocol.h"
#include "updates/update_worker.h"
#include "bench_clock.h"

static SOCKET connect_loopback(int port) {
    SOCKET sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (sock == INVALID_SOCKET) return sock;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons((u_short)port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(sock, (sockaddr*)&address, sizeof address) != 0) {
        closesocket(sock);
        return INVALID_SOCKET;
    }
    return sock;
}

static int run_plain(int port, const char* out_path) {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
    const DWORD BUFFER = 262144;
    uint8_t* buffer = (uint8_t*)malloc(BUFFER);
    HANDLE out = CreateFileA(out_path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    SOCKET sock = connect_loopback(port);
    if (!buffer || out == INVALID_HANDLE_VALUE || sock == INVALID_SOCKET) {
        fprintf(stderr, "update_bench: the plain copy cannot start (error %lu)\n", GetLastError());
        return 1;
    }
    double start = now_ms();
    uint64_t total = 0;
    bool ended = false;
    while (!ended) {
        DWORD filled = 0;
        while (filled < BUFFER) {
            int got = recv(sock, (char*)buffer + filled, (int)(BUFFER - filled), 0);
            if (got <= 0) {
                ended = true;
                break;
            }
            filled += (DWORD)got;
        }
        DWORD written = 0;
        if (filled && (!WriteFile(out, buffer, filled, &written, nullptr) || written != filled)) {
            fprintf(stderr, "update_bench: write failed\n");
            return 1;
        }
        total += filled;
    }
    CloseHandle(out);
    double ms = now_ms() - start;
    closesocket(sock);
    WSACleanup();
    free(buffer);
    printf("@plain_bytes %llu\n@plain_ms %.1f\n", (unsigned long long)total, ms);
    return 0;
}

// What the watcher thread sees while download_parts runs on the main thread.
struct Watch {
    volatile long stop;
    double started;
    double transfer_done;   // when done_bytes first reached total_bytes in the download phase
    SIZE_T max_working_set;  // the largest working set sampled
    SIZE_T max_private;      // the largest private (page-file) usage sampled
};

static Watch watch;

static void sample_memory() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return;
    if (counters.WorkingSetSize > watch.max_working_set) watch.max_working_set = counters.WorkingSetSize;
    if (counters.PagefileUsage > watch.max_private) watch.max_private = counters.PagefileUsage;
}

static DWORD WINAPI watcher(void*) {
    int tick = 0;
    while (!watch.stop) {
        if (watch.transfer_done == 0 && update_progress.phase == PHASE_DOWNLOADING &&
            update_progress.total_bytes > 0 && update_progress.done_bytes >= update_progress.total_bytes) {
            watch.transfer_done = now_ms();
        }
        if (++tick % 10 == 0) sample_memory();
        Sleep(1);
    }
    return 0;
}

// Connects and fetches the manifest of channel "client".
static bool connect_and_fetch(int port, UpdateConnection* connection, UpdateManifest* manifest, char* error,
                              size_t error_size) {
    return update_connect("127.0.0.1", port, connection, error, error_size, nullptr) &&
           update_fetch_manifest(connection, "client", 0, manifest, error, error_size, nullptr);
}

static int run_download(int port, const char* game_folder) {
    UpdatePaths paths = {};
    update_paths_init(&paths, game_folder);
    UpdateConnection sock;
    char error[400] = "";
    UpdateManifest manifest = {};
    if (!connect_and_fetch(port, &sock, &manifest, error, sizeof error)) {
        fprintf(stderr, "update_bench: no manifest: %s\n", error);
        return 1;
    }
    if (!manifest.parts[PART_DLL].present || manifest.parts[PART_DLL].file_count != 1) {
        fprintf(stderr, "update_bench: the release has no dll part of one file\n");
        return 1;
    }
    const ManifestFile* file = &manifest.files[manifest.parts[PART_DLL].first_file];

    // The idle figure: the process connected, with the manifest in hand, before the download.
    PROCESS_MEMORY_COUNTERS idle = {};
    idle.cb = sizeof idle;
    GetProcessMemoryInfo(GetCurrentProcess(), &idle, sizeof idle);
    watch.max_working_set = idle.WorkingSetSize;
    watch.max_private = idle.PagefileUsage;

    HANDLE thread = CreateThread(nullptr, 0, watcher, nullptr, 0, nullptr);
    double start = now_ms();
    watch.started = start;
    bool ok = download_parts(&sock, &paths, &manifest, PART_BIT(PART_DLL), &update_progress, error, sizeof error);
    double finished = now_ms();
    InterlockedExchange(&watch.stop, 1);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    PROCESS_MEMORY_COUNTERS after = {};
    after.cb = sizeof after;
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
    update_bye(&sock);
    if (!ok || watch.transfer_done == 0) {
        fprintf(stderr, "update_bench: download_parts failed: %s\n", error);
        return 1;
    }

    // The staged file, hashed once more on its own as a cross-check of the verification figure.
    char staged[PATH_CAP];
    format_text(staged, sizeof staged, "%s\\staging\\dll_v%u\\d3d8.dll", paths.updates_folder,
                (unsigned)manifest.parts[PART_DLL].version);
    uint8_t digest[64];
    uint64_t size = 0;
    double hash_start = now_ms();
    bool hashed = sha512_file(staged, digest, &size);
    double hash_ms = now_ms() - hash_start;
    if (!hashed || size != file->size || memcmp(digest, file->sha512, 64) != 0) {
        fprintf(stderr, "update_bench: the staged file is not the signed one\n");
        return 1;
    }
    printf("@download_bytes %llu\n", (unsigned long long)file->size);
    printf("@download_transfer_ms %.1f\n", watch.transfer_done - start);
    printf("@download_verify_ms %.1f\n", finished - watch.transfer_done);
    printf("@download_rehash_ms %.1f\n", hash_ms);
    printf("@idle_working_set %lu\n@peak_working_set %lu\n@sampled_working_set %lu\n", (unsigned long)idle.WorkingSetSize,
           (unsigned long)after.PeakWorkingSetSize, (unsigned long)watch.max_working_set);
    printf("@idle_private %lu\n@peak_private %lu\n@sampled_private %lu\n", (unsigned long)idle.PagefileUsage,
           (unsigned long)after.PeakPagefileUsage, (unsigned long)watch.max_private);
    printf("@idle_peak_working_set %lu\n", (unsigned long)idle.PeakWorkingSetSize);
    manifest_clear(&manifest);
    return 0;
}

// The download's piece loop taken apart, for the profile of one piece.
static int run_profile(int port, const char* out_path) {
    UpdateConnection sock;
    char error[400] = "";
    UpdateManifest manifest = {};
    if (!connect_and_fetch(port, &sock, &manifest, error, sizeof error) || !manifest.parts[PART_DLL].present) {
        fprintf(stderr, "update_bench: no manifest: %s\n", error);
        return 1;
    }
    const ManifestFile* file = &manifest.files[manifest.parts[PART_DLL].first_file];
    char hex[DIGEST_HEX_CAP];
    hex_encode(file->sha512, 64, hex);
    uint8_t* buffer = (uint8_t*)malloc(UPDATE_PIECE_MAX);
    HANDLE out = CreateFileA(out_path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!buffer || out == INVALID_HANDLE_VALUE) return 1;
    volatile long stop = 0;
    double send_ms = 0, line_ms = 0, payload_ms = 0, write_ms = 0;
    unsigned pieces = 0;
    double start = now_ms();
    for (uint64_t offset = 0; offset < file->size;) {
        uint64_t rest = file->size - offset;
        uint32_t wanted = rest < UPDATE_PIECE_MAX ? (uint32_t)rest : UPDATE_PIECE_MAX;
        char line[220];
        size_t n =
            format_text(line, sizeof line, "GET %s %llu %u\n", hex, (unsigned long long)offset, (unsigned)wanted);
        UpdateWait wait;
        update_wait_start(&wait, UPDATE_ANSWER_LIMIT_MS, &stop);
        double t0 = now_ms();
        bool ok = send_all(sock.reader.socket, line, n);
        double t1 = now_ms();
        uint32_t length = 0;
        ok = ok && update_read_answer(&sock, wanted, &length, error, sizeof error, &wait) && length > 0;
        double t2 = now_ms();
        ok = ok && update_receive_exact(&sock, buffer, length, &wait);
        double t3 = now_ms();
        DWORD written = 0;
        ok = ok && WriteFile(out, buffer, length, &written, nullptr) && written == length;
        double t4 = now_ms();
        if (!ok) {
            fprintf(stderr, "update_bench: piece at %llu failed: %s\n", (unsigned long long)offset, error);
            return 1;
        }
        send_ms += t1 - t0;
        line_ms += t2 - t1;
        payload_ms += t3 - t2;
        write_ms += t4 - t3;
        offset += length;
        pieces++;
    }
    double total = now_ms() - start;
    CloseHandle(out);
    update_bye(&sock);
    free(buffer);
    manifest_clear(&manifest);
    printf("@profile_pieces %u\n@profile_ms %.1f\n", pieces, total);
    printf("@profile_piece_us %.0f\n@profile_send_us %.0f\n@profile_line_us %.0f\n@profile_payload_us %.0f\n"
           "@profile_write_us %.0f\n",
           1000 * total / pieces, 1000 * send_ms / pieces, 1000 * line_ms / pieces, 1000 * payload_ms / pieces,
           1000 * write_ms / pieces);
    return 0;
}

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 4 && strcmp(argv[1], "plain") == 0) return run_plain(atoi(argv[2]), argv[3]);
    if (argc == 4 && strcmp(argv[1], "download") == 0) return run_download(atoi(argv[2]), argv[3]);
    if (argc == 4 && strcmp(argv[1], "profile") == 0) return run_profile(atoi(argv[2]), argv[3]);
    fprintf(stderr,
            "usage: update_bench.exe plain PORT OUT_FILE | download PORT GAME_FOLDER | profile PORT OUT_FILE\n");
    return 2;
}
