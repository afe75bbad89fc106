// One update run: talk to the update server once, decide part by part what is out of date, stage
// and verify it, swap it in or leave it waiting, and save what is now installed.
#pragma once

#include <stdint.h>

#include "updates/update_paths.h"
#include "updates/update_protocol.h"
#include "updates/update_records.h"

struct UpdateRequest {
    char host[128];
    int port;
    char channel[32];
    // Empty when nobody is logged in (a token as long as this buffer is not sent); wiped after the run.
    char token[UPDATE_TOKEN_LIMIT + 1];
};

// The run itself; fills result (zeroed by the caller) and writes progress. True when the run got a
// manifest and ended without a failure (parts that now wait for the next start included).
bool run_update(const UpdatePaths* paths, const UpdateRequest* request, UpdateProgress* progress,
                UpdateResult* result);
