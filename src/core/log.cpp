// The launcher log. One buffered stream in text mode, so every line ends in CR LF on disk; each
// line is flushed at once so that nothing is lost when the process is killed.
#include "core/log.h"

#include <windows.h>
#include <stdarg.h>
#include <stdio.h>

static FILE* log_file = nullptr;

bool log_open(const char* path) {
    log_close();
    log_file = fopen(path, "a");
    return log_file != nullptr;
}

void log_close() {
    if (log_file) fclose(log_file);
    log_file = nullptr;
}

bool log_is_open() {
    return log_file != nullptr;
}

void log_line(const char* fmt, ...) {
    FILE* f = log_file;
    if (!f) return;
    SYSTEMTIME t;
    GetLocalTime(&t);
    fprintf(f, "%04d-%02d-%02d %02d:%02d:%02d ", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    va_list args;
    va_start(args, fmt);
    vfprintf(f, fmt, args);
    va_end(args);
    fputs("\n", f);
    fflush(f);
}
