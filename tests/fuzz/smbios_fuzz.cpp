// The raw SMBIOS table that GetSystemFirmwareTable('RSMB') gives: an 8-byte header and the structure
// table, any bytes at all. The walk must stay inside the buffer and give bounded, normalised texts.
#include <stdint.h>
#include <string.h>

#include <vector>

#include "account/machine_id.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact copy, so that a read past the end is a read past an allocation.
    std::vector<uint8_t> buffer(data, data + size);
    char uuid[SMBIOS_UUID_CAP], board[SMBIOS_SERIAL_CAP];
    parse_smbios_ids(buffer.data(), buffer.size(), uuid, sizeof uuid, board, sizeof board);
    FUZZ_CHECK(strlen(uuid) == 0 || strlen(uuid) == 36);
    FUZZ_CHECK(strlen(board) < sizeof board);

    char id[MACHINE_ID_CAP] = "";
    machine_id_part(id, sizeof id, "uuid", uuid);
    machine_id_part(id, sizeof id, "board", board);
    FUZZ_CHECK(strlen(id) < sizeof id);
    return 0;
}
