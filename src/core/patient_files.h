// File operations that wait out a short hold by another program. On-access virus scanners and
// indexers open a file that was just made, written or renamed and keep it open for up to about
// 1.5 s, sharing reads only: meanwhile a move, delete or write of it fails with a sharing violation,
// a lock violation or access denied. Each call here tries again on those errors, every
// PATIENT_STEP_MS for up to PATIENT_WAIT_MS, and then fails as the plain call would, with
// GetLastError of its last try. A file held for longer (the game or a bot running) still fails, only
// later. Calls that name the running program's own file fail at once (it stays held while we run),
// and so does access denied to a name that a folder or a read-only file holds.
#pragma once

#include <windows.h>

// About twice the longest hold of a scanner, so that one hold that begins just as we try again is
// waited out too; short enough that a file really in use costs the player only a few seconds.
#define PATIENT_WAIT_MS 3500
#define PATIENT_STEP_MS 50

// True for the errors that a hold by another program gives.
bool is_hold_error(DWORD error);

// The wait of one operation: begun before its first try, asked after each failed one.
struct Patience {
    DWORD started;
    bool hasty;  // the operation names the running program's file: no waiting
};
void patience_begin(Patience* patience, const char* path, const char* other_path);
// After a failed try (GetLastError says why): true, after a short sleep, when the error is a hold
// and the time is not up; false otherwise, with GetLastError as the try left it.
bool patience_again(Patience* patience);

// MoveFileExA, CopyFileA, DeleteFileA, RemoveDirectoryA and CreateFileA (no template, no security
// attributes), each tried again while the file is held.
bool patient_move(const char* from, const char* to, DWORD flags);
bool patient_copy(const char* from, const char* to, bool fail_if_exists);
bool patient_delete(const char* path);
bool patient_remove_folder(const char* path);
HANDLE patient_open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
