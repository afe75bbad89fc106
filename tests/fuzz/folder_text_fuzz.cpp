// What a player types or pastes into the folder box, through the steps of the folder check that need
// no Windows: the wrapping is stripped, and an executable's path stands for its folder.
#include <stdint.h>
#include <string.h>

#include <string>

#include "core/text.h"
#include "fuzz_check.h"
#include "game_folder/folder_text.h"

static const size_t GIVEN_CAP = 520;  // the folder box holds 519 characters

static bool is_wrapping(char c) {
    return c == ' ' || c == '\t' || c == '"';
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input((const char*)data, size);
    char given[GIVEN_CAP];
    size_t copied = copy_text(given, sizeof given, input.c_str());
    strip_path_wrapping(given);
    size_t length = strlen(given);
    FUZZ_CHECK(length <= copied);
    if (length > 0) FUZZ_CHECK(!is_wrapping(given[0]) && !is_wrapping(given[length - 1]));
    // The stripped text is a piece of what was given.
    FUZZ_CHECK(memmem(input.data(), input.size(), given, length) != nullptr);

    char folder[GIVEN_CAP];
    copy_text(folder, sizeof folder, given);
    cut_executable_name(folder);
    size_t cut = strlen(folder);
    FUZZ_CHECK(cut <= length && memcmp(folder, given, cut) == 0);
    if (cut < length) {
        // Only an .exe name goes, and never down to a bare drive or nothing.
        FUZZ_CHECK(text_ends_with_nocase(given, ".exe"));
        FUZZ_CHECK(cut > 0 && !(cut == 2 && folder[1] == ':'));
        FUZZ_CHECK(!strchr(given + cut + 1, '\\') && !strchr(given + cut + 1, '/'));
    }
    return 0;
}
