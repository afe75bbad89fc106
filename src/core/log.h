// The launcher log: launcher.log in the updates folder, one time-stamped line per event.
#pragma once

// Opens the log for appending; false (and the log stays closed) when the file cannot be opened.
bool log_open(const char* path);
void log_close();
// The longest line written, line end included; a longer text is cut.
#define LOG_LINE_CAP 4096

// Appends "YYYY-MM-DD hh:mm:ss " + the formatted text + CR LF in one write, and flushes, so lines
// of different threads never mix. Does nothing while the log is closed.
void log_line(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
