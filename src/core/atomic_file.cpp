// The atomic replacement of small files: a complete, flushed "%s.new" moved over the target.
#include "core/atomic_file.h"

#include <windows.h>
#include <string.h>

#include "core/file_system.h"
#include "core/patient_files.h"

// Attributes that make CreateFileA or MoveFileExA refuse to replace a file.
#define STUBBORN_ATTRIBUTES (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)

// Clears such attributes of an existing file; gives the attributes it had, to put back when the
// replacement does not happen (0 when nothing was changed).
static DWORD make_replaceable(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !(attributes & STUBBORN_ATTRIBUTES)) {
        return 0;
    }
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    return attributes;
}

// Removes the temporary file and keeps the error of the step that failed for the caller.
static bool fail_and_remove(const char* temporary, DWORD error) {
    patient_delete(temporary);
    SetLastError(error);
    return false;
}

bool write_file_atomic_with(const char* path, const void* bytes, size_t length, unsigned long attributes) {
    // A temporary name cut at the path limit could name the target itself (or another file): refuse.
    char temporary[PATH_CAP];
    if (format_text(temporary, sizeof temporary, "%s.new", path) != strlen(path) + 4) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    // A ".new" left by a killed write is only a leftover: it is replaced whatever its attributes.
    (void)make_replaceable(temporary);
    HANDLE file = patient_open(temporary, GENERIC_WRITE, 0, CREATE_ALWAYS, attributes);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0, error = NO_ERROR;
    if (length > 0xFFFFFFFFu) {
        error = ERROR_FILE_TOO_LARGE;
    } else if (!WriteFile(file, bytes, (DWORD)length, &written, nullptr)) {
        error = GetLastError();
    } else if (written != length) {
        error = ERROR_DISK_FULL;
    } else if (!FlushFileBuffers(file)) {
        error = GetLastError();
    }
    CloseHandle(file);
    if (error != NO_ERROR) return fail_and_remove(temporary, error);
    DWORD old_attributes = make_replaceable(path);
    if (!patient_move(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
        if (old_attributes) SetFileAttributesA(path, old_attributes);
        return fail_and_remove(temporary, error);
    }
    return true;
}

bool write_file_atomic(const char* path, const void* bytes, size_t length) {
    return write_file_atomic_with(path, bytes, length, FILE_ATTRIBUTE_NORMAL);
}
