// Which addresses may go to the browser. Portable (no Windows headers).
#pragma once

// Whether an address (from the account server) may go to the browser: it begins with "http://" or
// "https://" (any letter case) and holds only printable ASCII without blanks or quotes after that.
// Anything else (a program, a file, another scheme) is never opened.
bool is_web_address(const char* address);
