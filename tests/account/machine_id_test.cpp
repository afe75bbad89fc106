// The machine identity read on this PC: its form, and the same text on every call.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "account/machine_sources.h"

TEST(MachineIdHere, FormIsOrderedPairsAndStable) {
    char first[MACHINE_ID_CAP], second[MACHINE_ID_CAP];
    machine_id(first, sizeof first);
    machine_id(second, sizeof second);
    EXPECT_STREQ(first, second);
    std::regex form("^((install|uuid|board|volume|cpu)=[0-9a-f]{64}(,|$))*$");
    EXPECT_TRUE(std::regex_match(first, form)) << first;
    // The names come in their fixed order, each at most once.
    std::string text = first;
    size_t last = 0;
    for (const char* name : {"install=", "uuid=", "board=", "volume=", "cpu="}) {
        size_t at = text.find(name);
        if (at == std::string::npos) continue;
        EXPECT_GE(at, last) << name;
        EXPECT_EQ(text.find(name, at + 1), std::string::npos) << name;
        last = at;
    }
    // Every x86 processor answers CPUID, and Wine keeps a machine GUID and a volume serial.
    EXPECT_NE(text.find("cpu="), std::string::npos) << text;
    EXPECT_NE(text.find("install="), std::string::npos) << text;
}

TEST(MachineIdHere, SourcesGiveTheirStatedForms) {
    char cpu[MACHINE_VALUE_CAP], volume[MACHINE_VALUE_CAP], guid[MACHINE_VALUE_CAP];
    read_cpu_text(cpu, sizeof cpu);
    EXPECT_TRUE(std::regex_search(cpu, std::regex("^.{12} [0-9A-F]{8} "))) << cpu;
    read_volume_serial(volume, sizeof volume);
    if (volume[0]) EXPECT_TRUE(std::regex_match(volume, std::regex("[0-9A-F]{8}"))) << volume;
    read_machine_guid(guid, sizeof guid);
    EXPECT_NE(guid[0], 0);
}
