// Deleting a folder tree.
#include "updates/file_tree.h"

#include <windows.h>
#include <string.h>

#include "core/text.h"

bool delete_tree(const char* folder) {
    char pattern[MAX_PATH];
    join_path(pattern, sizeof pattern, folder, "*");
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern, &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
            char path[MAX_PATH];
            // A name cut at the capacity would name something else: leave it alone.
            if (join_path(path, sizeof path, folder, entry.cFileName) + 1 >= sizeof path) continue;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                // A linked folder (junction or symbolic link) is unlinked, never emptied: what it
                // points to lies outside this tree.
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    RemoveDirectoryA(path);
                } else {
                    delete_tree(path);
                }
            } else {
                SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path);
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    return RemoveDirectoryA(folder) != 0;
}
