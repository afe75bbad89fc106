// The event loops: one thread per core, each with its own epoll set, sharing the listening sockets
// (each loop waits on them with EPOLLEXCLUSIVE, so one loop wakes per new connection). A loop owns
// the connections it accepted until they end.
#pragma once

#include <stdint.h>

#include "server_config.h"

// Opens the listening sockets; false with a reason (an address in use, say).
bool listeners_open(const ServerConfig* config, char* error, size_t error_size);
// The port a listener got (useful with port 0).
uint16_t listener_port(int index);
// Starts config->threads loops.
bool loops_start(const ServerConfig* config, char* error, size_t error_size);
// Stops accepting; each loop ends its idle connections, lets answers in flight finish within the
// stop time-out, then ends.
void loops_stop();
void loops_join();
