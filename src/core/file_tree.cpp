// Deleting a folder tree without ever reaching through a link, and finding links on a path.
#include "core/file_tree.h"

#include <windows.h>
#include <string.h>

#include "core/file_system.h"
#include "core/patient_files.h"
#include "core/text.h"

static bool attributes_say_link(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool is_link(const char* path) {
    return attributes_say_link(GetFileAttributesA(path));
}

// Removes the link itself. RemoveDirectoryA takes a folder link away without looking into its
// target; DeleteFileA removes a file link, not the file it names. The attributes are not reset:
// on a link that would change its target.
static bool unlink_entry(const char* path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryA(path) != 0;
    return DeleteFileA(path) != 0;
}

// Remembers the error of a step that failed because another program held the entry (access denied
// only where a wait can change it).
static void note_hold(const char* path, DWORD* held_error) {
    DWORD error = GetLastError();
    if (is_hold_error(error) && !access_denied_for_good(ACT_DELETE, path, nullptr)) *held_error = error;
}

// One pass over the tree; true when the folder itself was removed.
static bool delete_tree_once(const char* folder, DWORD* held_error) {
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes_say_link(attributes)) {
        if (unlink_entry(folder, attributes)) return true;
        note_hold(folder, held_error);
        return false;
    }
    char pattern[PATH_CAP];
    if (join_path(pattern, sizeof pattern, folder, "*") + 1 >= sizeof pattern) return false;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern, &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
            char path[PATH_CAP];
            // A name cut at the capacity would name something else: leave it alone.
            if (join_path(path, sizeof path, folder, entry.cFileName) + 1 >= sizeof path) continue;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // What a link points to lies outside this tree.
                if (!unlink_entry(path, entry.dwFileAttributes)) note_hold(path, held_error);
            } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                delete_tree_once(path, held_error);
            } else {
                SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
                if (!DeleteFileA(path)) note_hold(path, held_error);
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    if (RemoveDirectoryA(folder)) return true;
    note_hold(folder, held_error);
    return false;
}

bool delete_tree(const char* folder) {
    // A file that another program holds for a moment (a virus scanner) keeps its folder too: the
    // whole pass is made again, within the one bound of a patient call.
    Patience patience;
    patience_begin(&patience, folder);
    for (;;) {
        DWORD held_error = 0;
        if (delete_tree_once(folder, &held_error)) return true;
        if (held_error == 0) return false;
        SetLastError(held_error);
        if (!patience_again(&patience)) return false;
    }
}

bool reached_through_link(const char* base, const char* path) {
    size_t base_length = strlen(base);
    while (base_length > 0 && base[base_length - 1] == '\\') base_length--;
    size_t start = 0;
    if (strlen(path) > base_length && path[base_length] == '\\' && _strnicmp(path, base, base_length) == 0) {
        start = base_length + 1;
    }
    char prefix[PATH_CAP];
    for (size_t i = start; path[i]; i++) {
        if (path[i] != '\\' || i == 0 || path[i - 1] == ':' || path[i - 1] == '\\') continue;
        if (i >= sizeof prefix) return true;  // too long to check: take it for linked
        memcpy(prefix, path, i);
        prefix[i] = 0;
        if (is_link(prefix)) return true;
    }
    return false;
}
