// Handing an address to the system's shell: the browser for web pages, the mail program for mailto.
#pragma once

// Opens address with the shell, owned by the launcher's window; true when the shell took it.
bool open_address(const char* address);
// Opens an address that the account server gave (its terms page, the browser log-in page) in the
// browser, only when it is a web address (is_web_address); anything else is logged as "%s: the
// address ... is not a web address" with what, and not opened. True when the shell took it.
bool open_server_address(const char* address, const char* what);

// Tests: when set, called instead of the shell with the address; gives whether the shell took it.
typedef bool (*ShellOpenAnswer)(const char* address);
void set_shell_open_answer(ShellOpenAnswer answer);
