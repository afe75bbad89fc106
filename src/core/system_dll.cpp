// System DLLs by full path.
#include "core/system_dll.h"

#include "core/file_system.h"
#include "core/text.h"

HMODULE load_system_dll(const char* name) {
    char system[PATH_CAP], path[PATH_CAP];
    UINT length = GetSystemDirectoryA(system, sizeof system);
    if (length == 0 || length >= sizeof system) return nullptr;
    // A path cut at the capacity would name another file.
    if (join_path(path, sizeof path, system, name) + 1 >= sizeof path) return nullptr;
    return LoadLibraryExA(path, nullptr, 0);
}
