// The one LauncherState of the process.
#include "core/launcher_state.h"

#include <string.h>

#include "core/text.h"

LauncherState launcher;

void launcher_state_reset() {
    memset(&launcher, 0, sizeof launcher);
    launcher.play_game = true;
    copy_text(launcher.folder_source, sizeof launcher.folder_source, "given on the command line");
}
