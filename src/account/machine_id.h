// The rules of the machine identity: normalising a component, the placeholder (junk) filter, the
// salted digest of one pair, and the walk over a raw SMBIOS table. Portable (no Windows headers);
// reading the sources from Windows is account/machine_sources.h.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "core/text.h"

#define MACHINE_ID_CAP 1024
#define MACHINE_VALUE_CAP 512
#define SMBIOS_UUID_CAP 64
#define SMBIOS_SERIAL_CAP 256

// Skips leading spaces and TABs, copies at most 511 characters, drops trailing TAB, LF, CR and
// spaces and lower-cases A-Z.
void normalize_value(const char* text, char* out, size_t capacity);
// True for the known placeholder texts (of a normalised value) and for texts made of one repeated
// character and dashes.
bool is_junk_value(const char* text);
// Appends ",name=<64 hex digits>" (no comma when out is empty) unless the value is junk.
void machine_id_part(char* out, size_t capacity, const char* name, const char* value);
// Walks a raw SMBIOS buffer (the 8-byte header and the structure table): the system UUID text and
// the base board serial (normalised), else the system serial as found. Empty texts when absent.
void parse_smbios_ids(const uint8_t* buffer, size_t size, char* uuid, size_t uuid_capacity, char* board,
                      size_t board_capacity);
