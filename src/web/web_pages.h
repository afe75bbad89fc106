// Reading the web site's small pages: the newest launcher version and the players-online count.
// Portable (no Windows headers).
#pragma once

#include <stddef.h>

// -1, 0 or 1; texts parsed as up to four dotted numbers; fewer than two numbers compares equal.
int compare_versions(const char* a, const char* b);
// The version after "launcher=" (version page) or after the home page's version tag; at most 31
// characters, ending before NUL, '"', CR, LF or a blank. False when the key is not in the page.
bool find_version_in_version_page(const char* page, char* version, size_t cap);
bool find_version_in_home_page(const char* page, char* version, size_t cap);
// The number after the first "online": and optional blanks; -1 when there is none.
long parse_players_online(const char* page);
