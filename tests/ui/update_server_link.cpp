// The updates tests' helper for the reference update server's control port, shared with this program.
#include "../updates/update_server_control.cpp"
