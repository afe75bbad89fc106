// The decision logic of one update run.
#include "updates/run_update.h"

#include <string.h>

#include "core/text.h"

bool run_update(const UpdatePaths* paths, const UpdateRequest* request, UpdateProgress* progress,
                UpdateResult* result) {
    (void)paths;
    (void)request;
    (void)progress;
    copy_text(result->message, sizeof result->message, "the update run is not built yet");
    return false;
}
