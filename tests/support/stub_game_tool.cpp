// A stand-in for pes6.exe: records what it was started with into started.txt in its current folder.
#include <windows.h>
#include <stdio.h>

int main() {
    char folder[MAX_PATH] = "", value[64] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    if (!GetEnvironmentVariableA("ZANDOR_LAUNCHER", value, sizeof value)) lstrcpyA(value, "(unset)");
    FILE* f = fopen("started.txt", "wb");
    if (!f) return 1;
    fprintf(f, "ZANDOR_LAUNCHER=%s\ncurrent folder=%s\n", value, folder);
    fclose(f);
    return 0;
}
