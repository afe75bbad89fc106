// Test helper: one line to a loopback port and its one-line answer, the way the reference servers'
// control ports and the end-to-end input agent talk.
#pragma once

#include <string>

// A port number from an environment variable that run.sh set, or 0 when it is not set.
int port_from_env(const char* name);
// Sends line and a line end to 127.0.0.1:port and reads one line back (without its end). False, with
// the reason in *answer ("no Winsock" or "no connection"), when the port could not be reached.
bool loopback_exchange(int port, const std::string& line, std::string* answer);
