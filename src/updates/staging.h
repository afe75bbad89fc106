// Where each manifest file is installed and where it is staged, the check that a staged part is
// whole and unchanged, and the cheap check that a part looks installed.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "core/text.h"
#include "updates/manifest.h"
#include "updates/state_text.h"
#include "updates/update_paths.h"

// Each gives false when the path would not fit in cap (a cut path would name another file).
// The installed location of a manifest file.
bool file_target_path(const UpdatePaths* paths, const ManifestFile* file, char* out, size_t cap) MUST_USE;
// "%s\staging\%s_v%d": updates folder, kind name, version.
bool part_staging_folder(const UpdatePaths* paths, int kind, uint32_t version, char* out, size_t cap) MUST_USE;
// "%s\previous\%s_v%d".
bool part_previous_folder(const UpdatePaths* paths, int kind, uint32_t version, char* out, size_t cap) MUST_USE;
// The staging folder of the file's part, then the manifest path with '/' turned into '\'.
bool file_staged_path(const UpdatePaths* paths, const UpdateManifest* manifest, const ManifestFile* file,
                      char* out, size_t cap) MUST_USE;

// The installed version of the kind is the manifest's and every file of the part has its manifest
// size at its installed place (no digest is computed).
bool part_looks_installed(const UpdatePaths* paths, const UpdateManifest* manifest, int kind,
                          const InstalledState* state);
// The file lies complete and unchanged in staging; otherwise error (which may be null) says
// "staged <kind>/<path> is missing or changed".
bool verify_staged_file(const UpdatePaths* paths, const UpdateManifest* manifest, const ManifestFile* file,
                        char* error, size_t error_size);
// The part is in the manifest and every file of it lies complete and unchanged in staging (for the
// runtime also nothing else). error may be null.
bool verify_staged_part(const UpdatePaths* paths, const UpdateManifest* manifest, int kind, char* error,
                        size_t error_size);
