// Junctions through the reparse-point control, Unix links through /bin/ln under Wine.
#include "support/folder_link.h"

#include <windows.h>
#include <winioctl.h>

#include <vector>

namespace {

struct MountPointHeader {
    DWORD tag;
    WORD data_length;
    WORD reserved;
    WORD substitute_offset;
    WORD substitute_length;
    WORD print_offset;
    WORD print_length;
};

bool make_junction(const std::string& link, const std::string& target) {
    if (!CreateDirectoryA(link.c_str(), nullptr)) return false;
    std::wstring name;
    std::string nt = "\\??\\" + target;
    for (char c : nt) name += (wchar_t)(unsigned char)c;
    std::vector<BYTE> buffer(sizeof(MountPointHeader) + (name.size() + 2) * sizeof(wchar_t));
    auto* header = (MountPointHeader*)buffer.data();
    header->tag = IO_REPARSE_TAG_MOUNT_POINT;
    header->substitute_length = (WORD)(name.size() * sizeof(wchar_t));
    header->print_offset = (WORD)(header->substitute_length + sizeof(wchar_t));
    header->data_length = (WORD)(buffer.size() - 8);
    memcpy(buffer.data() + sizeof(MountPointHeader), name.c_str(), name.size() * sizeof(wchar_t));
    HANDLE handle = CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    DWORD returned = 0;
    bool made = handle != INVALID_HANDLE_VALUE &&
                DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(), (DWORD)buffer.size(), nullptr, 0,
                                &returned, nullptr);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    if (!made) RemoveDirectoryA(link.c_str());
    return made;
}

// The Unix path of a Windows path under Wine; "" elsewhere.
std::string unix_path(const std::string& path) {
    typedef char*(CDECL * UnixNameFn)(const WCHAR*);
    auto unix_name = (UnixNameFn)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (!unix_name) return "";
    std::wstring wide;
    for (char c : path) wide += (wchar_t)(unsigned char)c;
    char* name = unix_name(wide.c_str());
    if (!name) return "";
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Starts a Unix program (Wine starts Unix executables given by their Z: path).
bool run_unix(const char* program, const std::string& arguments) {
    std::string line = std::string(program) + " " + arguments;
    std::string exe = std::string("Z:") + program;
    for (char& c : exe) c = c == '/' ? '\\' : c;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// The Unix path of a link that does not exist yet: its folder's path and its name.
std::string unix_path_of_new(const std::string& path) {
    size_t slash = path.rfind('\\');
    if (slash == std::string::npos) return "";
    std::string folder = unix_path(path.substr(0, slash));
    return folder.empty() ? "" : folder + "/" + path.substr(slash + 1);
}

}  // namespace

LinkKind make_link(const std::string& link, const std::string& target) {
    DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return LINK_NONE;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && make_junction(link, target)) return LINK_JUNCTION;
    std::string from = unix_path(target), to = unix_path_of_new(link);
    if (from.empty() || to.empty() || !run_unix("/bin/ln", "-s \"" + from + "\" \"" + to + "\"")) return LINK_NONE;
    // Wine does not wait for a Unix program through its process handle: look for the link itself.
    for (int i = 0; i < 100; i++) {
        attributes = GetFileAttributesA(link.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) break;
        Sleep(50);
    }
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? LINK_UNIX : LINK_NONE;
}

void remove_link(const std::string& link, LinkKind kind) {
    if (kind == LINK_JUNCTION) RemoveDirectoryA(link.c_str());
    if (kind == LINK_UNIX) {
        std::string path = unix_path_of_new(link);
        if (!path.empty() && run_unix("/bin/rm", "-f \"" + path + "\"")) {
            for (int i = 0; i < 100 && GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES; i++) Sleep(50);
        }
    }
}
