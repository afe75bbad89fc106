// The web site's page formats and the launcher version comparison.
#include "web/web_pages.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int compare_versions(const char* a, const char* b) {
    int x[4] = {0, 0, 0, 0}, y[4] = {0, 0, 0, 0};
    if (sscanf(a, "%d.%d.%d.%d", &x[0], &x[1], &x[2], &x[3]) < 2) return 0;
    if (sscanf(b, "%d.%d.%d.%d", &y[0], &y[1], &y[2], &y[3]) < 2) return 0;
    for (int i = 0; i < 4; i++) {
        if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
    }
    return 0;
}

static void take_version(const char* start, char* version, size_t cap) {
    size_t n = 0;
    while (n < 31 && n + 1 < cap && start[n] && !strchr("\"\r\n ", start[n])) {
        version[n] = start[n];
        n++;
    }
    version[n] = 0;
}

static bool find_version_after(const char* page, const char* key, char* version, size_t cap) {
    const char* found = strstr(page, key);
    if (!found) return false;
    take_version(found + strlen(key), version, cap);
    return true;
}

bool find_version_in_version_page(const char* page, char* version, size_t cap) {
    return find_version_after(page, "launcher=", version, cap);
}

bool find_version_in_home_page(const char* page, char* version, size_t cap) {
    return find_version_after(page, "name=\"zandor-launcher-version\" content=\"", version, cap);
}

long parse_players_online(const char* page) {
    const char* found = strstr(page, "\"online\":");
    if (!found) return -1;
    found += strlen("\"online\":");
    while (*found == ' ') found++;
    if (*found < '0' || *found > '9') return -1;
    return atol(found);
}
