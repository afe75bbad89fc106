// Download and staging: every file of the needed parts is brought into its part's staging folder,
// complete and verified against the signed digest, before anything installed is touched. Pieces go
// into ".part" files that survive an interrupted run and are resumed by the next one.
#pragma once

#include <winsock2.h>
#include <stddef.h>

#include "core/text.h"
#include "updates/manifest.h"
#include "updates/update_paths.h"
#include "updates/update_protocol.h"
#include "updates/update_records.h"

// Stages every file of every part whose bit is in mask; true when all of them are staged and
// verified. On failure error (the run's message) is replaced with the reason; .part files and the
// files staged so far stay for the next run.
bool download_parts(UpdateConnection* connection, const UpdatePaths* paths, const UpdateManifest* manifest, unsigned mask,
                    UpdateProgress* progress, char* error, size_t error_size) MUST_USE;
