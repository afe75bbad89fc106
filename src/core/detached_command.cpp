// Starting a command of the system's command interpreter that outlives the launcher.
#include "core/detached_command.h"

#include <windows.h>
#include <string.h>

#include "core/file_system.h"
#include "core/text.h"

bool path_fits_command(const char* path) {
    return path[0] && !strpbrk(path, "\"%?*");
}

bool format_retrying_command(char* out, size_t cap, const char* action, const char* until_gone) {
    if (!path_fits_command(until_gone)) return false;
    return format_text(out, cap, "for /l %%i in (1,1,600) do (ping -n 2 127.0.0.1 >nul & %s & if not exist \"%s\" exit)",
                       action, until_gone) + 1 < cap;
}

static uint64_t creation_time(HANDLE process) {
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) return 0;
    return ((uint64_t)created.dwHighDateTime << 32) | created.dwLowDateTime;
}

bool start_detached_command(const char* command, DetachedCommand* started) {
    if (started) memset(started, 0, sizeof *started);
    char system[PATH_CAP], cmd[PATH_CAP], line[1200];
    UINT n = GetSystemDirectoryA(system, sizeof system);
    if (n == 0 || n >= sizeof system) return false;
    if (join_path(cmd, sizeof cmd, system, "cmd.exe") + 1 >= sizeof cmd) return false;
    // A cut command line could name another file: start nothing then.
    if (format_text(line, sizeof line, "\"%s\" /d /v:off /c %s", cmd, command) + 1 >= sizeof line) return false;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(cmd, line, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, system, &startup, &process)) {
        return false;
    }
    if (started) {
        started->process_id = process.dwProcessId;
        started->created = creation_time(process.hProcess);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// The command's process when it still runs, else null.
static HANDLE open_command(const DetachedCommand* command, DWORD access) {
    if (!command->process_id || !command->created) return nullptr;
    HANDLE process = OpenProcess(access | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, command->process_id);
    if (!process) return nullptr;
    if (creation_time(process) != command->created || WaitForSingleObject(process, 0) != WAIT_TIMEOUT) {
        CloseHandle(process);
        return nullptr;
    }
    return process;
}

bool detached_command_running(const DetachedCommand* command) {
    HANDLE process = open_command(command, 0);
    if (!process) return false;
    CloseHandle(process);
    return true;
}

void stop_detached_command(const DetachedCommand* command) {
    HANDLE process = open_command(command, PROCESS_TERMINATE);
    if (!process) return;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}
