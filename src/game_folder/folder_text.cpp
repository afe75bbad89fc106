// Trimming a pasted path and cutting an executable name from it.
#include "game_folder/folder_text.h"

#include <string.h>

#include "core/text.h"

static bool is_wrapping(char c) {
    return c == ' ' || c == '\t' || c == '"';
}

void strip_path_wrapping(char* text) {
    size_t skip = 0;
    while (is_wrapping(text[skip])) skip++;
    memmove(text, text + skip, strlen(text + skip) + 1);
    size_t len = strlen(text);
    while (len > 0 && is_wrapping(text[len - 1])) text[--len] = 0;
}

void cut_executable_name(char* text) {
    size_t len = strlen(text);
    if (len <= 4 || !text_ends_with_nocase(text, ".exe")) return;
    char* cut = nullptr;
    for (char* at = text; *at; at++) {
        if (*at == '\\' || *at == '/') cut = at;
    }
    if (!cut) return;
    bool at_root = cut == text || (cut == text + 2 && text[1] == ':');
    cut[at_root ? 1 : 0] = 0;
}
