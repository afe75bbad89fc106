// The account server's address that every account exchange uses (the log-in flow, the game account
// file of the update run, the uninstall's log-out): the host start-up settles in
// launcher.account_host, and the port here, which tests point at a reference server.
#pragma once

#define ACCOUNT_PORT 20293

// ACCOUNT_PORT unless a test set another one.
unsigned short account_server_port();
// Tests: the port of a reference account server (set before any exchange starts).
void set_account_server_port(unsigned short port);
