// The launcher log: launcher.log in the updates folder, one time-stamped line per event.
#pragma once

// Opens the log for appending; false (and the log stays closed) when the file cannot be opened.
bool log_open(const char* path);
void log_close();
bool log_is_open();
// Appends "YYYY-MM-DD hh:mm:ss " + the formatted text + a line end, and flushes. Does nothing while
// the log is closed.
void log_line(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
