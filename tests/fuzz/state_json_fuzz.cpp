// installed.json and boot.json as read from disk: the lenient reader takes any text; a state that
// was read, written and read again must write the same text and keep its numbers.
#include <stdint.h>
#include <string.h>

#include <string>

#include "fuzz_check.h"
#include "updates/state_text.h"

static void check_installed(const char* input) {
    static char first[STATE_TEXT_CAP], second[STATE_TEXT_CAP];
    InstalledState read = {}, again = {};
    installed_state_from_text(input, &read);
    FUZZ_CHECK(strnlen(read.channel, STATE_CHANNEL_CAP) < STATE_CHANNEL_CAP);
    FUZZ_CHECK(strnlen(read.dll_sha512, STATE_DIGEST_CAP) < STATE_DIGEST_CAP);
    installed_state_to_text(&read, first, sizeof first);
    FUZZ_CHECK(strlen(first) + 1 < sizeof first);
    installed_state_from_text(first, &again);
    installed_state_to_text(&again, second, sizeof second);
    FUZZ_CHECK(strcmp(first, second) == 0);
    FUZZ_CHECK(again.highest_release_seen == read.highest_release_seen);
    FUZZ_CHECK(again.installed_release == read.installed_release && again.staged_release == read.staged_release);
    FUZZ_CHECK(memcmp(again.version, read.version, sizeof read.version) == 0);
    FUZZ_CHECK(memcmp(again.staged_version, read.staged_version, sizeof read.staged_version) == 0);
}

static void check_boot(const char* input) {
    static char first[STATE_TEXT_CAP], second[STATE_TEXT_CAP];
    BootState read = {}, again = {};
    boot_state_from_text(input, &read);
    FUZZ_CHECK(strnlen(read.previous_path, STATE_PATH_CAP) < STATE_PATH_CAP);
    boot_state_to_text(&read, first, sizeof first);
    FUZZ_CHECK(strlen(first) + 1 < sizeof first);
    boot_state_from_text(first, &again);
    boot_state_to_text(&again, second, sizeof second);
    FUZZ_CHECK(strcmp(first, second) == 0);
    FUZZ_CHECK(again.pending_version == read.pending_version && again.attempts == read.attempts);
    FUZZ_CHECK(again.previous_version == read.previous_version);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input((const char*)data, size);
    check_installed(input.c_str());
    check_boot(input.c_str());
    return 0;
}
