// Where the updates come from: the update server's host (from the settings files) and the channel
// (the one installed.json names, else "client").
#pragma once

// Fills launcher.update_host, launcher.account_host (when start-up left it empty) and
// launcher.update_channel.
void read_update_host_and_channel();
