// Parts that an earlier run staged but could not swap in: every update worker swaps them in first.
#pragma once

#include <stddef.h>

#include "updates/update_paths.h"

// Applies the parts that wait in staging; applied_mask gets the bits of the parts swapped in and
// notes one note per part ending in "; " (both may be null).
void apply_waiting_parts(const UpdatePaths* paths, unsigned* applied_mask, char* notes, size_t notes_size);
