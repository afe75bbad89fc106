// Names of the update part kinds.
#include "updates/part_kinds.h"

static const char* const PART_KIND_NAMES[PART_KIND_COUNT] = {"dll", "bots", "runtime", "launcher"};

const char* part_kind_name(int kind) {
    if (kind < 0 || kind >= PART_KIND_COUNT) return "?";
    return PART_KIND_NAMES[kind];
}
