// The boot check of a newly installed client DLL: when it failed to start twice, the previous DLL
// goes back in its place, the failed one is kept aside and barred from being installed again.
#pragma once

#include <stddef.h>

#include "updates/update_paths.h"

enum BootCheckCode {
    BOOT_NO_PROBATION = 0,  // no boot.json, or no DLL on probation
    BOOT_ON_PROBATION = 1,  // failed fewer than twice
    BOOT_ROLLED_BACK = 2,   // the previous DLL is back
    BOOT_STUCK = 3          // failed twice, but could not be taken back
};

#define BOOT_FAILED_STARTS 2
#define BOOT_STATE_LIMIT 16384

// Gives the code above; for codes 2 and 3 message holds the reason.
int dll_boot_check(const UpdatePaths* paths, char* message, size_t message_size);
