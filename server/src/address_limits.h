// Connections open per client address, for the cap per address. IPv4 addresses count one by one;
// IPv6 addresses count by their /64 network, which one host usually holds whole.
#pragma once

#include <sys/socket.h>

// Sizes the table for the global cap; call once before the event loops start.
void address_limits_init(int max_connections);
// Counts one more connection from the address unless cap are open already (cap 0: no cap).
bool address_admit(const sockaddr_storage* address, int cap);
// Counts one connection from the address less.
void address_leave(const sockaddr_storage* address);
