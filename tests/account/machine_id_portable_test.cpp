// The machine identity's rules: normalisation, the junk filter, the salted digest and the SMBIOS walk
// over crafted firmware tables.
#include <gtest/gtest.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "account/machine_id.h"

namespace {

std::string normalized(const char* text) {
    char out[MACHINE_VALUE_CAP];
    normalize_value(text, out, sizeof out);
    return out;
}

// A raw SMBIOS buffer: the 8-byte header, then the structures as given.
struct Firmware {
    std::vector<uint8_t> table;

    // A structure with its formatted area (type, length, handle, then the bytes given) and strings.
    void add(uint8_t type, std::vector<uint8_t> body, std::vector<std::string> strings) {
        size_t start = table.size();
        table.push_back(type);
        table.push_back((uint8_t)(4 + body.size()));
        table.push_back(0);
        table.push_back(0);
        table.insert(table.end(), body.begin(), body.end());
        for (const std::string& s : strings) {
            table.insert(table.end(), s.begin(), s.end());
            table.push_back(0);
        }
        if (strings.empty()) table.push_back(0);
        table.push_back(0);
        (void)start;
    }
    // Type 1: the serial's string number at offset 7, the UUID at offsets 8 to 23.
    void system(uint8_t serial_number, std::vector<uint8_t> uuid, std::vector<std::string> strings) {
        std::vector<uint8_t> body(21, 0);  // offsets 4 to 24
        body[3] = serial_number;
        for (size_t i = 0; i < 16; i++) body[4 + i] = uuid[i];
        add(1, body, strings);
    }
    // Type 2: the serial's string number at offset 7.
    void board(uint8_t serial_number, std::vector<std::string> strings) {
        std::vector<uint8_t> body(4, 0);  // offsets 4 to 7
        body[3] = serial_number;
        add(2, body, strings);
    }
    std::vector<uint8_t> raw(size_t declared_extra = 0) const {
        uint32_t length = (uint32_t)(table.size() + declared_extra);
        std::vector<uint8_t> out = {0, 3, 4, 0, (uint8_t)length, (uint8_t)(length >> 8), (uint8_t)(length >> 16),
                                    (uint8_t)(length >> 24)};
        out.insert(out.end(), table.begin(), table.end());
        return out;
    }
};

std::vector<uint8_t> bytes_from(uint8_t first) {
    std::vector<uint8_t> out;
    for (int i = 0; i < 16; i++) out.push_back((uint8_t)(first + i));
    return out;
}

void walk(const std::vector<uint8_t>& raw, std::string* uuid, std::string* board) {
    char u[SMBIOS_UUID_CAP], b[SMBIOS_SERIAL_CAP];
    parse_smbios_ids(raw.data(), raw.size(), u, sizeof u, b, sizeof b);
    *uuid = u;
    *board = b;
}

}  // namespace

TEST(MachineId, NormaliseTrimsAndLowerCases) {
    EXPECT_EQ(normalized(" \t  ABC Def-12\t\r\n "), "abc def-12");
    EXPECT_EQ(normalized("\xc4\xd6X"), "\xc4\xd6x");  // only ASCII letters change
    EXPECT_EQ(normalized(std::string(600, 'Q').c_str()), std::string(511, 'q'));
    EXPECT_EQ(normalized(" \t\r\n"), "");
}

TEST(MachineId, JunkFilter) {
    const char* junk[] = {"",       "to be filled by o.e.m.", "default string", "none", "0", "00000000",
                          "system serial number", "not specified", "not applicable", "123456789", "0123456789",
                          "base board serial number", "serial", "n/a", "na", "oem", "o.e.m.", "invalid",
                          "0000", "ffffffff-ffff-ffff-ffff-ffffffffffff", "00000000-0000-0000-0000-000000000000",
                          "---", "x", "aaaa-a"};
    for (const char* text : junk) EXPECT_TRUE(is_junk_value(text)) << text;
    const char* kept[] = {"-000", "12345678", "0123456789a", "nonee", "serial1", "ab", "To Be Filled By O.E.M."};
    for (const char* text : kept) EXPECT_FALSE(is_junk_value(text)) << text;
}

TEST(MachineId, PartsAreSaltedDigestsJoinedByCommas) {
    char out[MACHINE_ID_CAP] = "";
    machine_id_part(out, sizeof out, "volume", "1A2B3C4D");
    EXPECT_STREQ(out, "volume=baa36cbe31e34ca14188d69df65930e90132a205406879a34cb7984c3141bbba");
    machine_id_part(out, sizeof out, "uuid", " To Be Filled By O.E.M.\r\n");
    machine_id_part(out, sizeof out, "board", "  ABC 123\r\n");
    EXPECT_STREQ(out,
                 "volume=baa36cbe31e34ca14188d69df65930e90132a205406879a34cb7984c3141bbba,"
                 "board=94544902917bbe40bf1aa70cb894e13422949cb12e4a5946153778c0ac3b0d4f");
    char cut[20] = "";
    machine_id_part(cut, sizeof cut, "volume", "1a2b3c4d");
    EXPECT_STREQ(cut, "volume=baa36cbe31e3");
}

TEST(MachineId, SmbiosUuidAndBoardSerial) {
    Firmware firmware;
    firmware.system(2, bytes_from(0xa0), {"Maker", "SYS-SERIAL"});
    firmware.board(1, {"  Board 77\r\n"});
    firmware.add(127, {}, {});
    std::string uuid, board;
    walk(firmware.raw(), &uuid, &board);
    EXPECT_EQ(uuid, "a0a1a2a3-a4a5-a6a7-a8a9-aaabacadaeaf");
    EXPECT_EQ(board, "board 77");
}

TEST(MachineId, SmbiosCases) {
    struct Case {
        const char* what;
        Firmware firmware;
        std::string uuid, board;
    };
    std::vector<Case> cases;
    {
        Case c = {"junk board falls back to the system serial as found"};
        c.firmware.system(1, bytes_from(0), {" Sys Serial "});
        c.firmware.board(1, {"To Be Filled By O.E.M."});
        c.uuid = "00010203-0405-0607-0809-0a0b0c0d0e0f";
        c.board = " Sys Serial ";
        cases.push_back(c);
    }
    {
        Case c = {"string number 0 and a missing number give empty texts"};
        c.firmware.system(0, bytes_from(1), {"unused"});
        c.firmware.board(3, {"one", "two"});
        c.uuid = "01020304-0506-0708-090a-0b0c0d0e0f10";
        c.board = "";
        cases.push_back(c);
    }
    {
        Case c = {"the first usable board counts, a later system structure overwrites"};
        c.firmware.board(2, {"a", "First"});
        c.firmware.board(1, {"Second"});
        c.firmware.system(1, bytes_from(0x10), {"s1"});
        c.firmware.system(1, bytes_from(0x20), {"s2"});
        c.uuid = "20212223-2425-2627-2829-2a2b2c2d2e2f";
        c.board = "first";
        cases.push_back(c);
    }
    {
        Case c = {"the end structure stops the walk"};
        c.firmware.add(127, {}, {});
        c.firmware.system(1, bytes_from(0x30), {"after end"});
        cases.push_back(c);
    }
    {
        Case c = {"a system structure shorter than 25 bytes is not read"};
        c.firmware.add(1, std::vector<uint8_t>(20, 0x41), {"s"});
        cases.push_back(c);
    }
    for (Case& c : cases) {
        std::string uuid, board;
        walk(c.firmware.raw(), &uuid, &board);
        EXPECT_EQ(uuid, c.uuid) << c.what;
        EXPECT_EQ(board, c.board) << c.what;
    }
}

TEST(MachineId, SmbiosTruncatedTablesAreNotReadPastTheirEnd) {
    Firmware firmware;
    firmware.board(1, {"Kept"});
    firmware.system(1, bytes_from(0x40), {"serial"});
    std::vector<uint8_t> full = firmware.raw();
    // Every cut of the buffer (the header still declaring the whole table) walks safely; the buffer
    // is copied to its exact size so that a read past it is caught by the sanitizer build.
    for (size_t size = 0; size <= full.size(); size++) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + size);
        std::string uuid, board;
        walk(cut, &uuid, &board);
        if (size == full.size()) {
            EXPECT_EQ(uuid, "40414243-4445-4647-4849-4a4b4c4d4e4f");
            EXPECT_EQ(board, "kept");
        }
    }
    // A header that declares less than the buffer holds limits the walk.
    std::vector<uint8_t> raw = firmware.raw();
    raw[4] = 14;  // only the board structure (8 formatted bytes, "Kept", two zeros)
    raw[5] = raw[6] = raw[7] = 0;
    std::string uuid, board;
    walk(raw, &uuid, &board);
    EXPECT_EQ(uuid, "");
    EXPECT_EQ(board, "kept");
}
