// Writing and leniently reading the state files' JSON.
#include "updates/json_text.h"

#include <stdio.h>
#include <string.h>

#include "core/text.h"

void json_begin(char* buffer, size_t size) {
    copy_text(buffer, size, "{\n");
}

void json_put_string(char* buffer, size_t size, const char* name, const char* value) {
    char escaped[JSON_VALUE_LIMIT + 1];
    size_t n = 0;
    for (const unsigned char* p = (const unsigned char*)value; *p; p++) {
        if (*p == '"' || *p < 0x20) continue;
        size_t need = *p == '\\' ? 2 : 1;
        // A doubled backslash is never split: a lone one would swallow the closing quote.
        if (n + need > JSON_VALUE_LIMIT) break;
        if (*p == '\\') escaped[n++] = '\\';
        escaped[n++] = (char)*p;
    }
    escaped[n] = 0;
    char line[JSON_VALUE_LIMIT + 200];
    format_text(line, sizeof line, " \"%s\": \"%s\",\n", name, escaped);
    append_text(buffer, size, line);
}

void json_put_number(char* buffer, size_t size, const char* name, uint64_t value) {
    char line[200];
    format_text(line, sizeof line, " \"%s\": %llu,\n", name, (unsigned long long)value);
    append_text(buffer, size, line);
}

void json_put_end(char* buffer, size_t size) {
    append_text(buffer, size, " \"format\": 1\n}\n");
}

// The text just after the first occurrence of "name" (quoted) and the spaces, TABs and colons that
// follow it; null when the member is missing. A quoted text right after a colon is a value, not a
// name: a string value that reads like a member's name (a channel called "installed_release") is
// not taken for that member.
static const char* find_value(const char* text, const char* name) {
    char quoted[200];
    size_t n = format_text(quoted, sizeof quoted, "\"%s\"", name);
    for (const char* found = strstr(text, quoted); found; found = strstr(found + 1, quoted)) {
        const char* before = found;
        while (before > text && (before[-1] == ' ' || before[-1] == '\t')) before--;
        if (before > text && before[-1] == ':') continue;
        const char* at = found + n;
        while (*at == ' ' || *at == '\t' || *at == ':') at++;
        return at;
    }
    return nullptr;
}

void json_get_string(const char* text, const char* name, char* buffer, size_t size) {
    if (size == 0) return;
    buffer[0] = 0;
    const char* at = find_value(text, name);
    if (!at || *at != '"') return;
    size_t n = 0;
    for (at++; *at && *at != '"'; at++) {
        if (*at == '\\') {
            at++;
            if (!*at) break;
        }
        if (n + 1 < size) buffer[n++] = *at;
    }
    buffer[n] = 0;
}

uint64_t json_get_number(const char* text, const char* name) {
    const char* at = find_value(text, name);
    uint64_t value = 0;
    if (!at) return 0;
    for (; *at >= '0' && *at <= '9'; at++) value = value * 10 + (uint64_t)(*at - '0');
    return value;
}
