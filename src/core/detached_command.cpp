// Starting a command of the system's command interpreter that outlives the launcher.
#include "core/detached_command.h"

#include <windows.h>
#include <string.h>

#include "core/file_system.h"
#include "core/text.h"

bool path_fits_command(const char* path) {
    return path[0] && !strpbrk(path, "\"%");
}

bool start_detached_command(const char* command) {
    char system[MAX_PATH], cmd[MAX_PATH], line[1200];
    UINT n = GetSystemDirectoryA(system, sizeof system);
    if (n == 0 || n >= sizeof system) return false;
    if (join_path(cmd, sizeof cmd, system, "cmd.exe") + 1 >= sizeof cmd) return false;
    // A cut command line could name another file: start nothing then.
    if (format_text(line, sizeof line, "\"%s\" /c %s", cmd, command) + 1 >= sizeof line) return false;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(cmd, line, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, system, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
