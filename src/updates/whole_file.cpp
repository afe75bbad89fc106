// Whole-file reads and atomic replacement of state files.
#include "updates/whole_file.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "updates/update_paths.h"

bool read_whole_file(const char* path, size_t limit, char** text, size_t* length) {
    *text = nullptr;
    *length = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    bool ok = !(low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) && high == 0 && low <= limit;
    char* buffer = ok ? (char*)malloc((size_t)low + 1) : nullptr;
    DWORD got = 0;
    ok = buffer && (low == 0 || (ReadFile(file, buffer, low, &got, nullptr) && got == low));
    CloseHandle(file);
    if (!ok) {
        free(buffer);
        return false;
    }
    buffer[low] = 0;
    *text = buffer;
    *length = low;
    return true;
}

bool write_file_atomic(const char* path, const void* bytes, size_t length) {
    // A temporary name cut at the path limit could name the target itself (or another file): refuse.
    char temporary[PATH_CAP];
    if (format_text(temporary, sizeof temporary, "%s.new", path) != strlen(path) + 4) return false;
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = length <= 0xFFFFFFFFu && WriteFile(file, bytes, (DWORD)length, &written, nullptr) &&
              written == length;
    FlushFileBuffers(file);
    CloseHandle(file);
    if (!ok) {
        DeleteFileA(temporary);
        return false;
    }
    return MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
