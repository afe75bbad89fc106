// The account server's port of this process.
#include "account/account_address.h"

static unsigned short port_in_use = ACCOUNT_PORT;

unsigned short account_server_port() {
    return port_in_use;
}

void set_account_server_port(unsigned short port) {
    port_in_use = port;
}
