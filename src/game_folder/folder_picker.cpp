// The folder pickers behind "Browse...": the file-open item dialog in its folder mode first, and
// SHBrowseForFolderA only when the item dialog cannot be created.
#include "game_folder/folder_picker.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "core/file_system.h"
#include "core/system_dll.h"
#include "core/text.h"
#include "core/text_table.h"

static const char PICKER_TITLE[] = "Choose your PES6 folder (the one with pes6.exe in it)";
static const int WIDE_CAP = 600;

// ANSI code page to UTF-16; a text that cannot be turned becomes empty.
static void to_wide(const char* text, WCHAR* out, int cap) {
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, out, cap) == 0) out[0] = 0;
}

// UTF-16 to the ANSI code page. No best-fit letters: a name that the code page cannot hold must not
// turn into the name of some other folder.
static bool to_ansi(const WCHAR* text, char* out, size_t cap) {
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, out, (int)cap, nullptr, nullptr) > 0) {
        return true;
    }
    out[0] = 0;
    return false;
}

typedef HRESULT(WINAPI* CreateItemFromParsingName)(PCWSTR, IBindCtx*, REFIID, void**);

// Looked up at run time (older systems lack it), in the system folder's shell32.dll only.
static CreateItemFromParsingName find_create_item() {
    HMODULE shell32 = load_system_dll("shell32.dll");
    if (!shell32) return nullptr;
    return (CreateItemFromParsingName)(void*)GetProcAddress(shell32, "SHCreateItemFromParsingName");
}

static void open_in_folder(IFileDialog* dialog, const char* start_folder) {
    CreateItemFromParsingName create_item = find_create_item();
    if (!create_item || !start_folder[0]) return;
    WCHAR wide[WIDE_CAP];
    to_wide(start_folder, wide, WIDE_CAP);
    if (!wide[0]) return;
    IShellItem* item = nullptr;
    if (SUCCEEDED(create_item(wide, nullptr, IID_IShellItem, (void**)&item)) && item) {
        dialog->SetFolder(item);
        item->Release();
    }
}

static bool read_result(IFileDialog* dialog, char* out, size_t cap) {
    IShellItem* result = nullptr;
    if (FAILED(dialog->GetResult(&result)) || !result) return false;
    bool picked = false;
    PWSTR path = nullptr;
    if (SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path) {
        picked = to_ansi(path, out, cap);
        CoTaskMemFree(path);
    }
    result->Release();
    return picked;
}

// The item dialog. Gives false in *created when it could not be created.
static bool pick_with_item_dialog(HWND owner, const char* start_folder, char* out, size_t cap, bool* created) {
    IFileDialog* dialog = nullptr;
    *created = SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileDialog,
                                          (void**)&dialog)) &&
               dialog;
    if (!*created) return false;

    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR | FOS_PATHMUSTEXIST);
    WCHAR wide[WIDE_CAP];
    to_wide(lookup_text(PICKER_TITLE), wide, WIDE_CAP);
    dialog->SetTitle(wide);
    to_wide(lookup_text("Use this folder"), wide, WIDE_CAP);
    dialog->SetOkButtonLabel(wide);
    open_in_folder(dialog, start_folder);

    bool picked = SUCCEEDED(dialog->Show(owner)) && read_result(dialog, out, cap);
    dialog->Release();
    return picked;
}

static int CALLBACK select_start_folder(HWND dialog, UINT message, LPARAM, LPARAM start_folder) {
    const char* start = (const char*)start_folder;
    if (message == BFFM_INITIALIZED && start && start[0]) {
        SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, start_folder);
    }
    return 0;
}

static bool pick_with_browse_dialog(HWND owner, const char* start_folder, char* out, size_t cap) {
    char display_name[PATH_CAP] = "";
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pszDisplayName = display_name;
    info.lpszTitle = lookup_text(PICKER_TITLE);
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    info.lpfn = select_start_folder;
    info.lParam = (LPARAM)start_folder;
    LPITEMIDLIST list = SHBrowseForFolderA(&info);
    if (!list) return false;
    char path[PATH_CAP] = "";
    bool picked = SHGetPathFromIDListA(list, path) != FALSE;
    CoTaskMemFree(list);
    if (picked) copy_text(out, cap, path);
    return picked;
}

bool pick_folder(HWND owner, const char* start_folder, char* out, size_t cap) {
    if (!start_folder) start_folder = "";
    HRESULT com = CoInitialize(nullptr);
    bool created = false;
    bool picked = pick_with_item_dialog(owner, start_folder, out, cap, &created);
    if (!created) picked = pick_with_browse_dialog(owner, start_folder, out, cap);
    if (SUCCEEDED(com)) CoUninitialize();
    return picked;
}
