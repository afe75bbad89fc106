// File operations that wait out a short hold by another program. On-access virus scanners and
// indexers open a file that was just made, written or renamed and keep it open for up to about
// 1.5 s, sharing reads only: meanwhile a move, delete or write of it fails with a sharing violation
// or a lock violation, and a move that replaces it, or renames a folder holding it, with access
// denied. Each call here tries again on those errors, every PATIENT_STEP_MS for up to
// PATIENT_WAIT_MS, and then fails as the plain call would, with GetLastError of its last try. A file
// held for longer (the game or a bot running) still fails, only later.
// What no wait can change fails at once: access denied to a name that a folder or a read-only file
// holds or whose access list refuses us, and a replace or delete of the running program's own file
// (it stays held while we run; renaming it is allowed and is waited for like any other move).
#pragma once

#include <windows.h>

// About twice the longest hold of a scanner, so that one hold that begins just as we try again is
// waited out too; short enough that a file really in use costs the player only a few seconds.
#define PATIENT_WAIT_MS 3500
#define PATIENT_STEP_MS 50

// True for the errors that a hold by another program can give.
bool is_hold_error(DWORD error);

// What a call does to the name it acts on, which decides what access denied means.
enum PatientAct {
    ACT_WRITE,          // opens, creates or overwrites a file
    ACT_READ,           // opens a file or folder for reading only
    ACT_DELETE,         // deletes a file or removes a folder
    ACT_MOVE,           // moves a file or folder to a free name
    ACT_MOVE_REPLACING  // moves a file over an existing one
};

// The wait of one operation: begun before its first try, asked after each failed one.
struct Patience {
    DWORD started;
    bool hasty;  // the operation replaces, deletes or writes the running program's file: no waiting
};
// changed is the name whose content the call replaces, deletes or writes (null when none).
void patience_begin(Patience* patience, const char* changed);
// After a failed try (GetLastError says why): true, after a short sleep, when the error is a hold
// and the time is not up; false otherwise, with GetLastError as the try left it.
bool patience_again(Patience* patience);

// After a failed try that left access denied: true when no wait can make the call pass. A name
// that is being deleted passes by itself; a move that replaces a file, or renames a folder, meets
// access denied while that file (or one inside the folder) is held, unless the replaced file is
// read-only or the access list refuses the move. Everything else (a folder or a read-only file in
// the way, a refusing access list) lasts. path is the name the call acts on, other the move's
// target. GetLastError is kept.
bool access_denied_for_good(PatientAct act, const char* path, const char* other);
// Whether the security descriptor refuses this process any of rights (file rights, generic ones
// mapped); false when it cannot be told.
bool security_refuses(void* security_descriptor, DWORD rights);

// MoveFileExA, CopyFileA, DeleteFileA, RemoveDirectoryA and CreateFileA (no template, no security
// attributes), each tried again while the file is held.
bool patient_move(const char* from, const char* to, DWORD flags);
bool patient_copy(const char* from, const char* to, bool fail_if_exists);
bool patient_delete(const char* path);
bool patient_remove_folder(const char* path);
HANDLE patient_open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
