// The server's log: one line per event on standard error (the journal, under systemd), each written
// with one write so that lines of several event loops never mix.
#pragma once

void server_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
