// The four kinds of update part (client DLL, bot program, its Java runtime, the launcher) with the
// index, name and bit that every update module uses. Portable (no Windows headers).
#pragma once

enum {
    PART_DLL = 0,
    PART_BOTS = 1,
    PART_RUNTIME = 2,
    PART_LAUNCHER = 3,
    PART_KIND_COUNT = 4
};

// Bit of a kind in the update masks: 1, 2, 4, 8.
#define PART_BIT(kind) (1u << (kind))

// "dll", "bots", "runtime", "launcher"; "?" for any other index.
const char* part_kind_name(int kind);
