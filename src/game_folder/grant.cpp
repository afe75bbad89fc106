// The grant run: started elevated by the launcher itself, it adds one access entry for the player's
// own account to the game folder's access list. It opens no log and shows no window.
#include "game_folder/grant.h"

#include <windows.h>
#include <aclapi.h>
#include <string.h>

#include "core/file_system.h"
#include "core/file_tree.h"
#include "core/folder_path.h"
#include "core/system_dll.h"
#include "core/text.h"

typedef BOOL(WINAPI* ConvertStringSidToSidAFn)(LPCSTR, PSID*);

static PSID sid_from_text(const char* text) {
    HMODULE advapi = load_system_dll("advapi32.dll");
    if (!advapi) return nullptr;
    ConvertStringSidToSidAFn convert =
        (ConvertStringSidToSidAFn)(void*)GetProcAddress(advapi, "ConvertStringSidToSidA");
    PSID sid = nullptr;
    if (!convert || !convert(text, &sid)) sid = nullptr;
    FreeLibrary(advapi);
    return sid;
}

bool build_granted_list(PACL old_list, PSID sid, PACL* new_list) {
    EXPLICIT_ACCESSA entry = {};
    entry.grfAccessPermissions = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
    entry.grfAccessMode = GRANT_ACCESS;
    entry.grfInheritance = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    entry.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_USER;
    entry.Trustee.ptstrName = (LPSTR)sid;
    *new_list = nullptr;
    return SetEntriesInAclA(1, &entry, old_list, new_list) == ERROR_SUCCESS;
}

// Opens the folder itself, never what a link at its place points to, with the rights to read and
// change its access list. Everything after this works on the handle, so the folder cannot be
// swapped for a link between the check and the change.
static HANDLE open_folder_itself(const char* folder) {
    return CreateFileA(folder, READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// The path of what the handle opened, in its usual form (without the \\?\ or \\?\UNC\ prefix).
static bool opened_path(HANDLE handle, char* path, size_t cap) {
    char final_path[PATH_CAP + 8];
    DWORD n = GetFinalPathNameByHandleA(handle, final_path, sizeof final_path, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0 || n >= sizeof final_path) return false;
    size_t written;
    if (strncmp(final_path, "\\\\?\\UNC\\", 8) == 0) {
        written = format_text(path, cap, "\\\\%s", final_path + 8);
    } else if (strncmp(final_path, "\\\\?\\", 4) == 0) {
        written = copy_text(path, cap, final_path + 4);
    } else {
        written = copy_text(path, cap, final_path);
    }
    return written + 1 < cap;
}

// A game folder that is a folder of its own: not a junction or symbolic link, which could lead the
// grant onto any other folder. The path is looked at too, for systems that follow a link even when
// asked not to.
static bool opened_game_folder(HANDLE handle, const char* folder) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) return false;
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return false;
    }
    if (is_link(folder)) return false;
    char path[PATH_CAP];
    return opened_path(handle, path, sizeof path) && is_game_folder(path);
}

int grant_folder_access(const char* folder, const char* sid_text) {
    HANDLE handle = open_folder_itself(folder);
    if (handle == INVALID_HANDLE_VALUE) return GRANT_NO_GAME;
    if (!opened_game_folder(handle, folder)) {
        CloseHandle(handle);
        return GRANT_NO_GAME;
    }
    PSID sid = sid_from_text(sid_text);
    if (!sid) {
        CloseHandle(handle);
        return GRANT_BAD_SID;
    }

    PACL old_list = nullptr;
    PACL new_list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    bool done = GetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &old_list,
                                nullptr, &descriptor) == ERROR_SUCCESS &&
                build_granted_list(old_list, sid, &new_list) &&
                SetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, new_list,
                                nullptr) == ERROR_SUCCESS;
    if (new_list) LocalFree(new_list);
    if (descriptor) LocalFree(descriptor);
    LocalFree(sid);
    CloseHandle(handle);
    return done ? GRANT_DONE : GRANT_ACL_FAILED;
}
