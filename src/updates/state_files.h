// The update state files in the updates folder: installed.json, boot.json and the two stored
// manifests, each replaced whole and atomically; stored manifests are verified again on every read.
// This is where the state files meet the file system.
#pragma once

#include <stddef.h>

#include "core/atomic_file.h"
#include "core/text.h"
#include "updates/manifest.h"
#include "updates/state_text.h"
#include "updates/update_paths.h"

#define INSTALLED_STATE_FILE "installed.json"
#define BOOT_STATE_FILE "boot.json"
// The probation an install replaces, kept until the new DLL is in place.
#define REPLACED_BOOT_STATE_FILE "boot_replaced.json"
#define INSTALLED_MANIFEST_FILE "installed_manifest.txt"
#define STAGED_MANIFEST_FILE "staged_manifest.txt"
// Larger state files read as absent.
#define STATE_FILE_LIMIT 65536

// Reads the file whole into a new buffer with a zero byte after it (release it with free()); false
// when it cannot be opened or read, or is larger than limit bytes. Others may read, write and delete
// the file meanwhile.
bool read_whole_file(const char* path, size_t limit, char** text, size_t* length) MUST_USE;

// Zeroes state, then reads installed.json; false (state zeroed) when it is missing or unreadable.
bool installed_state_load(const UpdatePaths* paths, InstalledState* state);
// Writes installed.json whole from state; false when the write failed (the old file is kept).
bool installed_state_save(const UpdatePaths* paths, const InstalledState* state);
// The same for boot.json.
bool boot_state_load(const UpdatePaths* paths, BootState* state);
bool boot_state_save(const UpdatePaths* paths, const BootState* state);
// Deletes boot.json, which ends a DLL's probation; true when it is gone.
bool boot_state_remove(const UpdatePaths* paths);
// The probation that an install of a new DLL replaces, kept as boot_replaced.json from before the
// new boot.json is written until the new DLL is in place, so that an install left undone (a kill,
// a full disk) can give it back. Load, save and remove as above; give_back moves it over boot.json
// (no room on the disk needed) and is true when boot.json is that probation again.
bool replaced_boot_state_load(const UpdatePaths* paths, BootState* state);
bool replaced_boot_state_save(const UpdatePaths* paths, const BootState* state);
bool replaced_boot_state_remove(const UpdatePaths* paths);
bool replaced_boot_state_give_back(const UpdatePaths* paths);

// Reads the named stored manifest of the updates folder and verifies and parses it; a missing or
// unreadable file gives "no %s" with the name, otherwise the parser's text.
bool stored_manifest_load(const UpdatePaths* paths, const char* name, UpdateManifest* manifest,
                          char* error, size_t error_size) MUST_USE;
// Writes the manifest's raw text atomically; false without a raw text or when the write fails.
bool stored_manifest_save(const UpdatePaths* paths, const char* name, const UpdateManifest* manifest);
