// The launcher log. Each line (time stamp, text, CR LF) is formatted whole into one buffer and
// handed to the stream in one write, so lines of different threads never mix; each line is flushed
// at once so that nothing is lost when the process is killed. A lock keeps a write and the closing
// of the stream apart: a worker that still logs while the main thread closes the log (a worker that
// did not end in time, the uninstall) writes nothing instead of writing into a closed stream.
#include "core/log.h"

#include <windows.h>
#include <stdarg.h>
#include <stdio.h>

#include "core/text.h"

static FILE* log_file = nullptr;
static SRWLOCK log_lock = SRWLOCK_INIT;

bool log_open(const char* path) {
    log_close();
    // Binary: the line end is written as it is in the buffer (CR LF).
    FILE* opened = fopen(path, "ab");
    AcquireSRWLockExclusive(&log_lock);
    log_file = opened;
    ReleaseSRWLockExclusive(&log_lock);
    return opened != nullptr;
}

void log_close() {
    AcquireSRWLockExclusive(&log_lock);
    if (log_file) fclose(log_file);
    log_file = nullptr;
    ReleaseSRWLockExclusive(&log_lock);
}

void log_line(const char* fmt, ...) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char line[LOG_LINE_CAP];
    // Room for the line end is kept back: a text too long for the buffer is cut, the line end stays.
    size_t length = format_text(line, sizeof line - 2, "%04d-%02d-%02d %02d:%02d:%02d ", t.wYear, t.wMonth, t.wDay,
                                t.wHour, t.wMinute, t.wSecond);
    va_list args;
    va_start(args, fmt);
    length += format_text_v(line + length, sizeof line - 2 - length, fmt, args);
    va_end(args);
    // One call, one line: a line end inside the text (a server's message, say) would start a line
    // that looks like the log's own.
    for (size_t i = 0; i < length; i++) {
        if (line[i] == '\r' || line[i] == '\n') line[i] = ' ';
    }
    line[length++] = '\r';
    line[length++] = '\n';
    // A line that cannot be written (a full disk) is lost; the launcher goes on without it.
    AcquireSRWLockExclusive(&log_lock);
    if (log_file) {
        fwrite(line, 1, length, log_file);
        fflush(log_file);
    }
    ReleaseSRWLockExclusive(&log_lock);
}
