// An on-access virus scanner stand-in: polls a folder tree about every 10 ms and opens each file that
// was made, written or renamed since the last look for reading, sharing reads only (so a move, delete
// or write of it fails with a sharing violation meanwhile), reads it through and holds it for a
// random 50-1500 ms (the range can be given) before it closes it. Each hold goes to a log file.
// Usage: scanner.exe FOLDER LOG STOP_FILE [MIN_MS MAX_MS [SEED]]; ends when STOP_FILE exists.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

namespace {

struct Seen {
    ULONGLONG size;
    FILETIME written;
};

struct Hold {
    HANDLE file;
    std::string path;
    DWORD opened;
    DWORD until;
    ULONGLONG bytes;
};

unsigned long random_state = 1;

unsigned long next_random() {
    random_state = random_state * 1103515245ul + 12345ul;
    return (random_state >> 8) & 0xFFFFFF;
}

// Every file under folder, with its size and last write time.
void list_tree(const std::string& folder, std::map<std::string, Seen>* files) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
        std::string path = folder + "\\" + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            list_tree(path, files);
        } else {
            Seen seen;
            seen.size = ((ULONGLONG)found.nFileSizeHigh << 32) | found.nFileSizeLow;
            seen.written = found.ftLastWriteTime;
            (*files)[path] = seen;
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

bool same(const Seen& a, const Seen& b) {
    return a.size == b.size && CompareFileTime(&a.written, &b.written) == 0;
}

// Opens the file as a scanner does and reads it through; false when it cannot be opened now (its
// writer holds it without sharing reads, or it is gone).
bool scan(const std::string& path, Hold* hold) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    static char buffer[65536];
    DWORD got = 0;
    hold->bytes = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) hold->bytes += got;
    hold->file = file;
    hold->path = path;
    hold->opened = GetTickCount();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: scanner.exe FOLDER LOG STOP_FILE [MIN_MS MAX_MS [SEED]]\n");
        return 2;
    }
    std::string top = argv[1];
    DWORD shortest = argc > 5 ? (DWORD)atol(argv[4]) : 50;
    DWORD longest = argc > 5 ? (DWORD)atol(argv[5]) : 1500;
    if (longest < shortest) longest = shortest;
    random_state = argc > 6 ? (unsigned long)atol(argv[6]) : GetTickCount();
    FILE* log = fopen(argv[2], "w");
    if (!log) {
        fprintf(stderr, "scanner: cannot write %s\n", argv[2]);
        return 1;
    }
    // What is there when the scanner starts has been scanned already.
    std::map<std::string, Seen> known;
    list_tree(top, &known);
    std::vector<Hold> holds;
    unsigned long held = 0, refused = 0;
    DWORD longest_hold = 0;
    fprintf(log, "watching %s, holding each new file %lu-%lu ms\n", top.c_str(), shortest, longest);
    fflush(log);
    for (;;) {
        bool stopping = GetFileAttributesA(argv[3]) != INVALID_FILE_ATTRIBUTES;
        std::map<std::string, Seen> now;
        if (!stopping) list_tree(top, &now);
        for (const auto& entry : now) {
            auto before = known.find(entry.first);
            if (before != known.end() && same(before->second, entry.second)) continue;
            bool holding = false;
            for (const Hold& h : holds) holding = holding || h.path == entry.first;
            if (holding) continue;
            Hold hold;
            if (!scan(entry.first, &hold)) {
                refused++;  // looked at again at the next poll
                continue;
            }
            hold.until = GetTickCount() + shortest + next_random() % (longest - shortest + 1);
            holds.push_back(hold);
            known[entry.first] = entry.second;
        }
        // Files that went away are new again when they come back.
        for (auto it = known.begin(); it != known.end();) {
            if (!stopping && now.find(it->first) == now.end()) it = known.erase(it);
            else ++it;
        }
        DWORD tick = GetTickCount();
        for (size_t i = 0; i < holds.size();) {
            if (stopping || (long)(tick - holds[i].until) >= 0) {
                CloseHandle(holds[i].file);
                DWORD ms = tick - holds[i].opened;
                if (ms > longest_hold) longest_hold = ms;
                held++;
                fprintf(log, "held %lu ms %llu bytes %s\n", ms, holds[i].bytes, holds[i].path.c_str());
                fflush(log);
                holds.erase(holds.begin() + i);
            } else {
                i++;
            }
        }
        if (stopping) break;
        Sleep(10);
    }
    fprintf(log, "held %lu files, the longest %lu ms; %lu opens refused while a writer held the file\n", held,
            longest_hold, refused);
    fclose(log);
    return 0;
}
