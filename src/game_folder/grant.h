// The elevated grant run: gives one account write access to the game folder.
#pragma once

#include <windows.h>

// GRANT_BAD_ARGUMENTS: the run's arguments start with "--grant-folder" but are not the grant form.
enum GrantResult {
    GRANT_DONE = 0,
    GRANT_NO_GAME = 2,
    GRANT_BAD_SID = 3,
    GRANT_BAD_ARGUMENTS = 3,
    GRANT_ACL_FAILED = 10
};

// folder is already a full path; sid is the account's SID text. Gives a GrantResult; a folder that
// is a junction or symbolic link counts as no game folder.
int grant_folder_access(const char* folder, const char* sid);

// Makes a new access list from old_list (may be null) with the grant's one entry for sid added:
// read, write, execute and delete, inherited by every file and sub-folder. Free it with LocalFree.
bool build_granted_list(PACL old_list, PSID sid, PACL* new_list);
