// Swapping verified staged parts into their installed places. The installed files of a part go
// aside into one "previous" folder per kind; a file that cannot be moved puts back what was already
// swapped, and the part waits in staging. Installing a client DLL also starts its probation.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "core/text.h"
#include "updates/manifest.h"
#include "updates/state_text.h"
#include "updates/update_paths.h"

#define APPLY_ERROR_CAP 300

// Moves target (when it is a file) to aside_folder\name and staged to target; on failure the
// installed file is as before and error holds the reason.
bool swap_into_place(const char* target, const char* staged, const char* aside_folder, const char* name,
                     char* error, size_t error_size) MUST_USE;
// Deletes every "%s\previous\<kind>_v*" folder of the updates folder.
void drop_previous_versions(const UpdatePaths* paths, int kind);
// Swaps one part of manifest in; old_manifest is the verified installed manifest or null, and
// old_version the kind's installed version. On failure the installed files are as before.
bool apply_part(const UpdatePaths* paths, const UpdateManifest* manifest, const UpdateManifest* old_manifest,
                int kind, uint32_t old_version, char* error, size_t error_size) MUST_USE;
// The "dll" case: boot.json for the new DLL's probation, then the swap (a failed swap puts the
// earlier boot.json back).
bool install_dll(const UpdatePaths* paths, const UpdateManifest* manifest, uint32_t old_version, char* error,
                 size_t error_size) MUST_USE;
// Swaps one part of manifest in (apply_part with the kind's installed version in state) and, when it
// went, records it in state: the manifest's version, nothing waiting in staging, and for the DLL its
// digest. Sets *installed_changed for the bots and the runtime, whose files the installed manifest
// lists. On failure state is unchanged and error holds the reason.
bool swap_part_in(const UpdatePaths* paths, const UpdateManifest* manifest, const UpdateManifest* old_manifest,
                  int kind, InstalledState* state, bool* installed_changed, char* error, size_t error_size) MUST_USE;
