// Opening addresses with the shell.
#include "core/open_address.h"

#include <windows.h>
#include <shellapi.h>

#include "core/launcher_state.h"
#include "core/log.h"
#include "core/web_address.h"

static ShellOpenAnswer shell_open_answer = nullptr;

void set_shell_open_answer(ShellOpenAnswer answer) {
    shell_open_answer = answer;
}

bool open_address(const char* address) {
    if (shell_open_answer) return shell_open_answer(address);
    HINSTANCE result = ShellExecuteA((HWND)launcher.window, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
    return (INT_PTR)result > 32;
}

bool open_server_address(const char* address, const char* what) {
    if (!is_web_address(address)) {
        log_line("%s: the address \"%s\" is not a web address: not opened", what, address);
        return false;
    }
    return open_address(address);
}
