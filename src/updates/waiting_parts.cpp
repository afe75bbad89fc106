// Swapping in the parts that wait in staging since an earlier run.
#include "updates/waiting_parts.h"

void apply_waiting_parts(const UpdatePaths* paths, unsigned* applied_mask, char* notes, size_t notes_size) {
    (void)paths;
    if (applied_mask) *applied_mask = 0;
    if (notes && notes_size) notes[0] = 0;
}
