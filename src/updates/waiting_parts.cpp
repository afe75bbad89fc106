// Swapping in the parts that wait in staging since an earlier run.
#include "updates/waiting_parts.h"

#include <string.h>

#include "core/text.h"
#include "updates/apply.h"
#include "updates/part_kinds.h"
#include "updates/state_files.h"

void apply_waiting_parts(const UpdatePaths* paths, unsigned* applied_mask, char* notes, size_t notes_size) {
    // A null notes buffer takes no notes.
    char no_notes[1];
    if (!notes || notes_size == 0) {
        notes = no_notes;
        notes_size = sizeof no_notes;
    }
    notes[0] = 0;
    if (applied_mask) *applied_mask = 0;
    InstalledState state;
    installed_state_load(paths, &state);
    if (!any_part_waiting(&state)) return;

    UpdateManifest staged = {};
    char reason[400];
    if (!stored_manifest_load(paths, STAGED_MANIFEST_FILE, &staged, reason, sizeof reason)) {
        append_format(notes, notes_size, "staged parts dropped (%s); ", reason);
        memset(state.staged_version, 0, sizeof state.staged_version);
        state.staged_release = 0;
        installed_state_save(paths, &state);
        return;
    }
    UpdateManifest installed = {};
    bool have_installed = stored_manifest_load(paths, INSTALLED_MANIFEST_FILE, &installed, nullptr, 0);

    bool installed_changed = false, still_waiting = false;
    for (int kind = 0; kind < PART_KIND_COUNT; kind++) {
        uint32_t waiting = state.staged_version[kind];
        if (waiting == 0) continue;
        if (!staged.parts[kind].present || staged.parts[kind].version != waiting) {
            state.staged_version[kind] = 0;
            continue;
        }
        uint32_t old_version = state.version[kind];
        char error[APPLY_ERROR_CAP];
        if (!swap_part_in(paths, &staged, have_installed ? &installed : nullptr, kind, &state, &installed_changed,
                          error, sizeof error)) {
            append_format(notes, notes_size, "%s version %u still waits (%s); ", part_kind_name(kind),
                          (unsigned)waiting, error);
            still_waiting = true;
            continue;
        }
        append_format(notes, notes_size, "%s version %u swapped in (version %u kept); ", part_kind_name(kind),
                      (unsigned)waiting, (unsigned)old_version);
        if (applied_mask) *applied_mask |= PART_BIT(kind);
    }
    if (installed_changed && stored_manifest_save(paths, INSTALLED_MANIFEST_FILE, &staged)) {
        state.installed_release = staged.release;
    }
    if (!still_waiting) state.staged_release = 0;
    installed_state_save(paths, &state);
    manifest_clear(&staged);
    manifest_clear(&installed);
}
