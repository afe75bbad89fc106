// The sentences the player sees when the update run has ended.
#include <string.h>

#include "build_config.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/text.h"
#include "core/text_table.h"
#include "game_setup/d3d8_placement.h"
#include "updates/update_worker.h"
#include "web/web_lookups.h"

void update_outcome_text(char* text, unsigned size) {
    if (!text || size == 0) return;
    text[0] = 0;
    if (launcher.boot_note[0]) {
        append_text(text, size, lookup_text("The previous version is back (the new one did not start properly)"));
        append_text(text, size, "\n");
    }
    const char* note = update_login.outcome_note;
    if (note && note[0]) {
        append_text(text, size, note);
    } else if (!launcher.update_checked) {
        const char* version = newest_launcher_version;
        if (version[0]) {
            char sentence[300];
            format_text(sentence, sizeof sentence,
                        lookup_text("A new ZANDOR Launcher (version %s) is ready: download it again from %s"), version,
                        ZANDOR_WEB_BASE);
            append_text(text, size, sentence);
        } else {
            append_text(text, size, lookup_text("Updates: ZANDOR is getting ready - try again later"));
        }
    } else if (launcher.update_ok) {
        append_text(text, size, lookup_text("ZANDOR is up to date"));
    } else if (update_result.stopped) {
        append_text(text, size, lookup_text("The update continues next time"));
    } else if (update_result.release == 0) {
        append_text(text, size, lookup_text("The update server cannot be reached - the game starts as it is"));
    } else {
        append_text(text, size, lookup_text("The update could not be finished - it continues next time"));
    }
    if (classify_dll(launcher.update_paths.dll_path) != DLL_ZANDOR) {
        append_text(text, size, "\n");
        append_text(text, size, lookup_text("The ZANDOR game files are not installed yet - the game starts as it is."));
    }
    log_line("shown: %s", text);
}
