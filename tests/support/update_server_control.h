// Test helper: talks to the reference update server's control port (started by run.sh, ports in
// ZANDOR_UPDATE_PORT and ZANDOR_UPDATE_CONTROL_PORT).
#pragma once

#include <string>

// The server's update protocol port, or 0 when run.sh did not start it.
int update_server_port();
// Sends one control line and gives the answer line ("OK..." on success).
std::string update_server_command(const std::string& line);
// Standard Base64 of bytes, and back.
std::string base64_of(const std::string& bytes);
std::string bytes_of_base64(const std::string& text);
// The lines the server received since its last RESET.
std::string update_server_record();
