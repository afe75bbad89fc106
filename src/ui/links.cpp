// The link actions: the sign-up and terms pages, the help mail, the uninstall, "Not you?" and the
// browser log-in page again.
#include "ui/links.h"

#include <windows.h>

#include "build_config.h"
#include "core/message_box.h"
#include "core/open_address.h"
#include "core/text.h"
#include "core/text_table.h"
#include "ui/window_state.h"

static void open_site_page(const char* path) {
    char address[300];
    format_text(address, sizeof address, "%s%s", ZANDOR_WEB_BASE, path);
    open_address(address);
}

static void ask_for_help() {
    char address[300];
    format_text(address, sizeof address, "mailto:%s?subject=ZANDOR%%20log-in", ZANDOR_SUPPORT_EMAIL);
    if (open_address(address)) return;
    // No mail program: tell the address instead.
    char text[300];
    format_text(text, sizeof text,
                lookup_text("For help with your ZANDOR account, write to %s from the e-mail address of your Google "
                            "account."),
                ZANDOR_SUPPORT_EMAIL);
    show_message_box(main_window(), text, MB_ICONINFORMATION);
}

void run_link_action(int action) {
    switch (action) {
        case LINK_SIGNUP: open_site_page("/signup"); break;
        case LINK_HELP: ask_for_help(); break;
        case LINK_TERMS:
            // The site's own terms page stands in for a terms address that is not a web address.
            if (!login_view.terms_url[0] || !open_server_address(login_view.terms_url, "terms")) {
                open_site_page("/terms");
            }
            break;
        case LINK_UNINSTALL:
            if (window_hooks.uninstall) window_hooks.uninstall();
            break;
        case LINK_NOT_YOU:
            if (window_hooks.not_you) window_hooks.not_you();
            break;
        case LINK_REOPEN_LOGIN:
            if (login_view.browser_waiting) open_server_address(login_view.login_url, "browser log-in");
            break;
        default: break;
    }
}
