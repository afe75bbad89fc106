// Reading and saving the server choice. Writes are checked by reading the value back, since the
// profile functions report success for some writes that never reach a protected folder.
#include "game_setup/server_choice.h"

#include <windows.h>
#include <string.h>

#include "build_config.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "core/text.h"
#include "core/text_table.h"

// A default no INI file can hold, so that an absent key is told apart from an empty one.
static const char ABSENT[] = "\x01missing";

static void read_server_value(char* out, size_t cap) {
    read_setting(launcher.settings_path, "online", "server", ABSENT, out, cap);
}

int read_server_choice() {
    char value[128];
    read_server_value(value, sizeof value);
    launcher.custom_server[0] = 0;
    if (strcmp(value, ABSENT) == 0) {
        launcher.server_choice = SERVER_NOT_CHOSEN;
    } else if (!value[0] || strcmp(value, "-") == 0) {
        launcher.server_choice = SERVER_ANY;
    } else if (text_equal_nocase(value, ZANDOR_SERVER_ADDRESS)) {
        launcher.server_choice = SERVER_ZANDOR;
    } else {
        launcher.server_choice = SERVER_CUSTOM;
        copy_text(launcher.custom_server, sizeof launcher.custom_server, value);
    }
    return launcher.server_choice;
}

const char* server_choice_name() {
    switch (launcher.server_choice) {
        case SERVER_NOT_CHOSEN: return "none yet";
        case SERVER_ZANDOR: return "the ZANDOR server";
        case SERVER_ANY: return "any server";
        default: return launcher.custom_server;
    }
}

bool write_server_choice(int choice) {
    const char* value = choice == SERVER_ZANDOR ? ZANDOR_SERVER_ADDRESS : "";
    bool written = write_setting(launcher.settings_path, "online", "server", value);

    char host[128];
    read_setting(launcher.settings_path, "sync", "host", "", host, sizeof host);
    if (written && !host[0]) {
        written = write_setting(launcher.settings_path, "sync", "host", ZANDOR_SERVER_ADDRESS);
    }
    char back[128];
    read_server_value(back, sizeof back);
    bool saved = written && strcmp(back, value) == 0;

    log_line("server choice: %s -> zandor.ini [online] server=%s, [sync] host=%s%s",
             choice == SERVER_ZANDOR ? "the ZANDOR server" : "any server (the game's own)", value,
             host[0] ? host : ZANDOR_SERVER_ADDRESS, saved ? "" : " - NOT WRITTEN (the game folder is not writable)");
    return saved;
}

void warn_server_choice_not_saved() {
    char message[900];
    format_text(message, sizeof message,
                lookup_text("ZANDOR cannot save its settings in the game folder:\n%s\n\nThe folder is probably in a "
                            "protected place (such as Program Files). Copy the whole game folder to a normal place, "
                            "for example C:\\Games\\PES6, and run the launcher there.\n\nThe game starts now without "
                            "this change."),
                launcher.update_paths.game_folder);
    show_message_box(launcher.window, message, MB_OK | MB_ICONWARNING);
}

bool save_server_choice(int choice) {
    if (write_server_choice(choice)) {
        launcher.server_choice = choice;
        return true;
    }
    warn_server_choice_not_saved();
    return false;
}
