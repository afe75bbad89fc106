// The grant run: started elevated by the launcher itself, it adds one access entry for the player's
// own account to the game folder's access list. It opens no log and shows no window.
#include "game_folder/grant.h"

#include <windows.h>
#include <aclapi.h>

#include "core/folder_path.h"
#include "core/text.h"

typedef BOOL(WINAPI* ConvertStringSidToSidAFn)(LPCSTR, PSID*);

// advapi32.dll by its full path in the system folder, so no planted copy is loaded instead.
static HMODULE load_advapi32() {
    char path[MAX_PATH];
    UINT n = GetSystemDirectoryA(path, sizeof path);
    if (n == 0 || n >= sizeof path) return nullptr;
    append_text(path, sizeof path, "\\advapi32.dll");
    return LoadLibraryExA(path, nullptr, 0);
}

static PSID sid_from_text(const char* text) {
    HMODULE advapi = load_advapi32();
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

int grant_folder_access(const char* folder, const char* sid_text) {
    if (!is_game_folder(folder)) return GRANT_NO_GAME;
    PSID sid = sid_from_text(sid_text);
    if (!sid) return GRANT_BAD_SID;

    PACL old_list = nullptr;
    PACL new_list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    bool done = GetNamedSecurityInfoA(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                      &old_list, nullptr, &descriptor) == ERROR_SUCCESS &&
                build_granted_list(old_list, sid, &new_list) &&
                SetNamedSecurityInfoA((LPSTR)folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                      new_list, nullptr) == ERROR_SUCCESS;
    if (new_list) LocalFree(new_list);
    if (descriptor) LocalFree(descriptor);
    LocalFree(sid);
    return done ? GRANT_DONE : GRANT_ACL_FAILED;
}
