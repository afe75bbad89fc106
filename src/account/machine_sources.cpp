// Reads the machine identity's sources through Windows and the processor's CPUID.
#include "account/machine_sources.h"

#include <windows.h>

#include <cpuid.h>
#include <stdlib.h>
#include <string.h>

#include "core/file_system.h"

#define SMBIOS_SIZE_LIMIT 4194304u

void read_machine_guid(char* out, size_t capacity) {
    out[0] = 0;
    HKEY key;
    // The 64-bit view: a 32-bit process on 64-bit Windows would otherwise read another key.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Cryptography", 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    char value[MACHINE_VALUE_CAP] = {};
    DWORD type = 0, size = sizeof value - 1;
    if (RegQueryValueExA(key, "MachineGuid", nullptr, &type, (BYTE*)value, &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        value[size < sizeof value ? size : sizeof value - 1] = 0;
        copy_text(out, capacity, value);
    }
    RegCloseKey(key);
}

typedef UINT(WINAPI* FirmwareTableFunction)(DWORD, DWORD, PVOID, DWORD);

void read_smbios_ids(char* uuid, size_t uuid_capacity, char* board, size_t board_capacity) {
    uuid[0] = 0;
    board[0] = 0;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FirmwareTableFunction get_table =
        kernel ? (FirmwareTableFunction)(void*)GetProcAddress(kernel, "GetSystemFirmwareTable") : nullptr;
    if (!get_table) return;
    const DWORD rsmb = 'R' << 24 | 'S' << 16 | 'M' << 8 | 'B';
    UINT size = get_table(rsmb, 0, nullptr, 0);
    if (size < 8 || size > SMBIOS_SIZE_LIMIT) return;
    uint8_t* buffer = (uint8_t*)malloc(size);
    if (!buffer) return;
    if (get_table(rsmb, 0, buffer, size) == size) {
        parse_smbios_ids(buffer, size, uuid, uuid_capacity, board, board_capacity);
    }
    free(buffer);
}

void read_volume_serial(char* out, size_t capacity) {
    out[0] = 0;
    char windows[PATH_CAP];
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length < 3 || length >= sizeof windows) return;
    char root[4] = {windows[0], ':', '\\', 0};
    DWORD serial = 0;
    if (!GetVolumeInformationA(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0) || serial == 0) return;
    format_text(out, capacity, "%08lX", (unsigned long)serial);
}

void read_cpu_text(char* out, size_t capacity) {
    unsigned int a = 0, b = 0, c = 0, d = 0;
    char vendor[13] = {};
    __cpuid(0, a, b, c, d);
    memcpy(vendor, &b, 4);
    memcpy(vendor + 4, &d, 4);
    memcpy(vendor + 8, &c, 4);
    unsigned int signature = 0;
    __cpuid(1, signature, b, c, d);
    char brand[49] = {};
    unsigned int highest = 0;
    __cpuid(0x80000000u, highest, b, c, d);
    if (highest >= 0x80000004u) {
        for (unsigned int leaf = 0; leaf < 3; leaf++) {
            unsigned int regs[4];
            __cpuid(0x80000002u + leaf, regs[0], regs[1], regs[2], regs[3]);
            memcpy(brand + 16 * leaf, regs, 16);
        }
    }
    format_text(out, capacity, "%s %08X %s", vendor, signature, brand);
}

void machine_id(char* out, size_t capacity) {
    if (capacity == 0) return;
    out[0] = 0;
    char value[MACHINE_VALUE_CAP], board[SMBIOS_SERIAL_CAP];
    read_machine_guid(value, sizeof value);
    machine_id_part(out, capacity, "install", value);
    read_smbios_ids(value, SMBIOS_UUID_CAP, board, sizeof board);
    machine_id_part(out, capacity, "uuid", value);
    machine_id_part(out, capacity, "board", board);
    read_volume_serial(value, sizeof value);
    machine_id_part(out, capacity, "volume", value);
    read_cpu_text(value, sizeof value);
    machine_id_part(out, capacity, "cpu", value);
}
