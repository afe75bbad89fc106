// Time-stamped log lines on standard error.
#include "server_log.h"

#include <stdarg.h>
#include <time.h>
#include <unistd.h>

#include "core/text.h"

void server_log(const char* format, ...) {
    char line[1024];
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc;
    gmtime_r(&now.tv_sec, &utc);
    size_t length = format_text(line, sizeof line - 1, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ ", utc.tm_year + 1900,
                                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                                (int)(now.tv_nsec / 1000000));
    va_list args;
    va_start(args, format);
    length += format_text_v(line + length, sizeof line - 1 - length, format, args);
    va_end(args);
    line[length++] = '\n';
    ssize_t written = write(2, line, length);
    (void)written;
}
