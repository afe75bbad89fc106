// Hashing whole files with the incremental SHA-512 of sha512_stream, and the file checks built on it.
#include "updates/file_digest.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "core/patient_files.h"

#include "updates/sha512_stream.h"
#include "updates/update_paths.h"

bool sha512_file(const char* path, uint8_t digest[64], uint64_t* size) {
    uint8_t* block = (uint8_t*)malloc(HASH_BLOCK_SIZE);
    bool ok = sha512_file_block(path, block, digest, size);
    free(block);
    return ok;
}

bool sha512_file_block(const char* path, uint8_t* block, uint8_t digest[64], uint64_t* size) {
    *size = 0;
    if (!block) return false;
    HANDLE file = patient_open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN);
    if (file == INVALID_HANDLE_VALUE) return false;
    Sha512Stream stream;
    sha512_start(&stream);
    bool ok = true;
    while (ok) {
        DWORD got = 0;
        if (!ReadFile(file, block, HASH_BLOCK_SIZE, &got, nullptr)) {
            ok = false;
        } else if (got == 0) {
            break;
        } else {
            sha512_add(&stream, block, got);
            *size += got;
        }
    }
    sha512_finish(&stream, digest);
    CloseHandle(file);
    return ok;
}

bool flush_file(const char* path) {
    HANDLE file = patient_open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool flushed = FlushFileBuffers(file) != 0;
    DWORD code = GetLastError();
    CloseHandle(file);
    SetLastError(code);
    return flushed;
}

bool copy_durably(const char* from, const char* to) {
    return patient_copy(from, to, false) && SetFileAttributesA(to, FILE_ATTRIBUTE_NORMAL) && flush_file(to);
}

bool file_size(const char* path, uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    *size = ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    return true;
}

bool file_matches(const char* path, const ManifestFile* entry) {
    // The size first: most mismatches cost no hashing (and no block).
    uint64_t size = 0;
    if (!file_size(path, &size) || size != entry->size) return false;
    uint8_t* block = (uint8_t*)malloc(HASH_BLOCK_SIZE);
    bool matches = file_matches_block(path, entry, block);
    free(block);
    return matches;
}

bool file_matches_block(const char* path, const ManifestFile* entry, uint8_t* block) {
    uint64_t size = 0;
    if (!file_size(path, &size) || size != entry->size) return false;
    uint8_t digest[64];
    uint64_t read = 0;
    if (!sha512_file_block(path, block, digest, &read)) return false;
    return read == entry->size && memcmp(digest, entry->sha512, 64) == 0;
}

unsigned count_files(const char* folder) {
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return COUNT_FILES_LINKED;
    char pattern[PATH_CAP];
    if (join_path(pattern, sizeof pattern, folder, "*") + 1 >= sizeof pattern) return 0;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    unsigned count = 0;
    do {
        if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
        unsigned found = 1;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            found = COUNT_FILES_LINKED;
        } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            char path[PATH_CAP];
            // A sub-folder whose path does not fit still counts as holding something.
            if (join_path(path, sizeof path, folder, entry.cFileName) + 1 < sizeof path) found = count_files(path);
        }
        count = found > COUNT_FILES_LINKED - count ? COUNT_FILES_LINKED : count + found;
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return count;
}
