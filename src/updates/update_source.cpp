// The update host and channel of this run.
#include "updates/update_source.h"

#include "build_config.h"
#include "core/launcher_state.h"
#include "core/settings.h"
#include "core/text.h"
#include "updates/state_files.h"

void read_update_host_and_channel() {
    read_update_host_setting(launcher.update_paths.game_folder, launcher.update_host, sizeof launcher.update_host);
    if (!launcher.account_host[0]) copy_text(launcher.account_host, sizeof launcher.account_host, ZANDOR_SERVER_ADDRESS);
    copy_text(launcher.update_channel, sizeof launcher.update_channel, "client");
    InstalledState installed;
    if (installed_state_load(&launcher.update_paths, &installed) && installed.channel[0]) {
        copy_text(launcher.update_channel, sizeof launcher.update_channel, installed.channel);
    }
}
