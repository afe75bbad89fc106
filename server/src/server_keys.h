// The release keys the server checks manifests with, given at start in the launcher's own form
// ("id:64-hex,id:64-hex", as ZANDOR_RELEASE_KEYS). They take the place of the launcher's built-in
// table: the launcher's manifest parser looks keys up through the same functions.
#pragma once

#include <stddef.h>

// Reads a key list; false with a reason for an empty or malformed list, an id outside 1..255, a
// repeated id or more than three keys. Call once, before any manifest is parsed.
bool set_release_keys(const char* list, char* error, size_t error_size);
