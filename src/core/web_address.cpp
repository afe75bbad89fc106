// Telling web addresses apart from everything else the shell would open.
#include "core/web_address.h"

#include "core/text.h"

bool is_web_address(const char* address) {
    const char* rest = text_starts_with_nocase(address, "http://")    ? address + 7
                       : text_starts_with_nocase(address, "https://") ? address + 8
                                                                      : nullptr;
    if (!rest) return false;
    // Printable ASCII without blanks or quotes: the address goes to the shell and the browser as it
    // is, and anything else could make it name something other than one page.
    for (; *rest; rest++) {
        unsigned char c = (unsigned char)*rest;
        if (c <= ' ' || c >= 0x7f || c == '"' || c == '\'') return false;
    }
    return true;
}
