// Names of the update part kinds.
#include "updates/part_kinds.h"

#include <string.h>

static const char* const PART_KIND_NAMES[PART_KIND_COUNT] = {"dll", "bots", "runtime", "launcher"};

const char* part_kind_name(int kind) {
    if (kind < 0 || kind >= PART_KIND_COUNT) return "?";
    return PART_KIND_NAMES[kind];
}

int part_kind_from_name(const char* name) {
    for (int kind = 0; kind < PART_KIND_COUNT; kind++) {
        if (strcmp(name, PART_KIND_NAMES[kind]) == 0) return kind;
    }
    return -1;
}
