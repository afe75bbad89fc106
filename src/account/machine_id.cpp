// Normalisation, junk filter, salted digests and the SMBIOS walk of the machine identity.
#include "account/machine_id.h"

#include <sodium.h>
#include <string.h>

#include "core/codecs.h"

static const char DIGEST_SALT[] = "zandor machine 1\n";

// Placeholder texts that firmware and installers leave in place of a real value.
static const char* const JUNK_TEXTS[] = {
    "",          "to be filled by o.e.m.", "default string", "none",   "0",      "00000000",
    "system serial number", "not specified", "not applicable", "123456789", "0123456789",
    "base board serial number", "serial", "n/a", "na", "oem", "o.e.m.", "invalid",
};

void normalize_value(const char* text, char* out, size_t capacity) {
    while (*text == ' ' || *text == '\t') text++;
    char copy[MACHINE_VALUE_CAP];
    size_t length = copy_text(copy, sizeof copy, text);
    while (length > 0 && strchr("\t\n\r ", copy[length - 1])) copy[--length] = 0;
    ascii_lower_text(copy);
    copy_text(out, capacity, copy);
}

bool is_junk_value(const char* text) {
    for (const char* junk : JUNK_TEXTS) {
        if (strcmp(text, junk) == 0) return true;
    }
    for (const char* p = text; *p; p++) {
        if (*p != text[0] && *p != '-') return false;
    }
    return true;
}

void machine_id_part(char* out, size_t capacity, const char* name, const char* value) {
    char normal[MACHINE_VALUE_CAP];
    normalize_value(value, normal, sizeof normal);
    if (is_junk_value(normal)) return;
    uint8_t digest[crypto_hash_sha512_BYTES];
    crypto_hash_sha512_state state;
    bool ok = crypto_hash_sha512_init(&state) == 0 &&
              crypto_hash_sha512_update(&state, (const uint8_t*)DIGEST_SALT, strlen(DIGEST_SALT)) == 0 &&
              crypto_hash_sha512_update(&state, (const uint8_t*)name, strlen(name)) == 0 &&
              crypto_hash_sha512_update(&state, (const uint8_t*)"\n", 1) == 0 &&
              crypto_hash_sha512_update(&state, (const uint8_t*)normal, strlen(normal)) == 0 &&
              crypto_hash_sha512_final(&state, digest) == 0;
    if (ok) {
        char hex[65];
        hex_encode(digest, 32, hex);
        if (out[0]) append_text(out, capacity, ",");
        append_text(out, capacity, name);
        append_text(out, capacity, "=");
        append_text(out, capacity, hex);
    }
    wipe(normal, sizeof normal);
}

// String number k of the structure whose formatted area ends at strings_start; empty when missing.
static void smbios_string(const uint8_t* table, size_t table_length, size_t strings_start, int k, char* out,
                          size_t capacity) {
    out[0] = 0;
    if (k <= 0) return;
    size_t p = strings_start;
    for (int index = 1; p < table_length && table[p] != 0; index++) {
        size_t end = p;
        while (end < table_length && table[end] != 0) end++;
        if (end >= table_length) return;  // not ended inside the table
        if (index == k) {
            size_t n = end - p < capacity - 1 ? end - p : capacity - 1;
            memcpy(out, table + p, n);
            out[n] = 0;
            return;
        }
        p = end + 1;
    }
}

void parse_smbios_ids(const uint8_t* buffer, size_t size, char* uuid, size_t uuid_capacity, char* board,
                      size_t board_capacity) {
    uuid[0] = 0;
    board[0] = 0;
    if (size < 8) return;
    uint32_t declared = (uint32_t)buffer[4] | (uint32_t)buffer[5] << 8 | (uint32_t)buffer[6] << 16 |
                        (uint32_t)buffer[7] << 24;
    size_t table_length = declared < size - 8 ? declared : size - 8;
    const uint8_t* table = buffer + 8;
    char system_serial[SMBIOS_SERIAL_CAP] = "";
    bool board_taken = false;
    size_t pos = 0;
    while (table_length - pos >= 4) {
        uint8_t type = table[pos], formatted = table[pos + 1];
        if (formatted < 4 || pos + formatted > table_length) break;  // a cut-off structure ends the walk
        if (type == 127) break;
        const uint8_t* s = table + pos;
        if (type == 1 && formatted >= 25) {
            format_text(uuid, uuid_capacity,
                        "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", s[8], s[9],
                        s[10], s[11], s[12], s[13], s[14], s[15], s[16], s[17], s[18], s[19], s[20], s[21], s[22],
                        s[23]);
            smbios_string(table, table_length, pos + formatted, s[7], system_serial, sizeof system_serial);
        } else if (type == 2 && formatted >= 8 && !board_taken) {
            char serial[SMBIOS_SERIAL_CAP], normal[MACHINE_VALUE_CAP];
            smbios_string(table, table_length, pos + formatted, s[7], serial, sizeof serial);
            normalize_value(serial, normal, sizeof normal);
            if (!is_junk_value(normal)) {
                copy_text(board, board_capacity, normal);
                board_taken = true;
            }
        }
        // The string set ends with the first pair of zero bytes after the formatted area.
        size_t next = 0;
        for (size_t i = pos + formatted; i + 1 < table_length; i++) {
            if (table[i] == 0 && table[i + 1] == 0) {
                next = i + 2;
                break;
            }
        }
        if (next == 0) break;
        pos = next;
    }
    if (!board_taken) copy_text(board, board_capacity, system_serial);
}
