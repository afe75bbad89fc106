// The machine identity read from this PC: machine GUID, SMBIOS ids, volume serial, processor text,
// and the whole identity text that four account requests carry.
#pragma once

#include <stddef.h>

#include "account/machine_id.h"

// Each source writes the empty text when it has nothing.
void read_machine_guid(char* out, size_t capacity);
void read_smbios_ids(char* uuid, size_t uuid_capacity, char* board, size_t board_capacity);
void read_volume_serial(char* out, size_t capacity);
void read_cpu_text(char* out, size_t capacity);
// "install=..,uuid=..,board=..,volume=..,cpu=.." with only the usable components (capacity 1024).
void machine_id(char* out, size_t capacity);
