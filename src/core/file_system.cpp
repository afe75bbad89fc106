// Attribute checks and folder creation through the file-system calls.
#include "core/file_system.h"

#include <windows.h>
#include <string.h>

#include "core/text.h"

bool path_exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool is_file(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool is_folder(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool make_dirs(const char* path) {
    char part[PATH_CAP];
    copy_text(part, sizeof part, path);
    for (size_t i = 1; part[i]; i++) {
        // A drive root (the backslash after "C:") is never created.
        if (part[i] != '\\' || part[i - 1] == ':') continue;
        part[i] = 0;
        CreateDirectoryA(part, nullptr);
        part[i] = '\\';
    }
    CreateDirectoryA(part, nullptr);
    return is_folder(part);
}

bool make_parent_dirs(const char* path) {
    char parent[PATH_CAP];
    copy_text(parent, sizeof parent, path);
    char* last = strrchr(parent, '\\');
    if (last) *last = 0;
    return make_dirs(parent);
}
