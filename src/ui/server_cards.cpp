// The two server cards and the server line.
#include "ui/server_cards.h"

#include "core/launcher_state.h"
#include "core/text.h"
#include "core/text_table.h"
#include "ui/paint_tools.h"
#include "ui/window_state.h"
#include "web/web_lookups.h"

bool players_line(long count, char* text, unsigned size) {
    if (count < 0) {
        copy_text(text, size, "");
        return false;
    }
    if (count == 1) {
        copy_text(text, size, lookup_text("1 player online now"));
    } else {
        format_text(text, size, lookup_text("%ld players online now"), count);
    }
    return true;
}

static void draw_players_line(HDC dc, RECT card) {
    char text[120];
    if (!players_line(players_online_count(), text, sizeof text)) return;
    HBRUSH green = CreateSolidBrush(RGB(46, 158, 58));
    HGDIOBJ old_brush = SelectObject(dc, green);
    HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
    Ellipse(dc, card.left + scale(26), card.top + scale(23), card.left + scale(36), card.top + scale(33));
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    DeleteObject(green);
    draw_text(dc, text, RECT{card.left + scale(42), card.top + scale(16), card.right - scale(160), card.top + scale(40)},
              window_ui.fonts[FONT_SMALL_BOLD], INK, DT_VCENTER | DT_SINGLELINE);
}

void draw_server_card(const DRAWITEMSTRUCT* item) {
    HDC dc = item->hDC;
    RECT card = item->rcItem;
    bool focused = (item->itemState & ODS_FOCUS) != 0;
    bool highlighted = launcher.server_choice == SERVER_ZANDOR || focused;
    draw_button_face(item, highlighted);
    frame_rect(dc, card, HIGHLIGHT_BORDER, scale(3));
    RECT inner = {card.left + scale(3), card.top + scale(3), card.right - scale(3), card.bottom - scale(3)};
    frame_rect(dc, inner, ACCENT_BOTTOM, scale(2));

    RECT badge = {card.right - scale(150), card.top + scale(16), card.right - scale(18), card.top + scale(40)};
    fill_gradient(dc, badge, RGB(48, 48, 50), RGB(16, 16, 18));
    frame_rect(dc, badge, ACCENT_BOTTOM, 1);
    draw_text(dc, lookup_text("RECOMMENDED"), badge, window_ui.fonts[FONT_SMALL_BOLD], ACCENT_TOP,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);

    draw_players_line(dc, card);
    draw_text(dc, lookup_text("Play on the ZANDOR server"),
              RECT{card.left + scale(24), card.top + scale(42), card.right - scale(24), card.top + scale(92)},
              window_ui.fonts[FONT_BIG], INK, DT_VCENTER | DT_SINGLELINE);
    draw_text(dc,
              lookup_text("Your game connects to the ZANDOR server. Rooms, 8-player matches and updates all come from "
                          "ZANDOR."),
              RECT{card.left + scale(24), card.top + scale(98), card.right - scale(24), card.bottom - scale(16)},
              window_ui.fonts[FONT_BODY], MUTED, DT_WORDBREAK);
}

void draw_any_server_card(const DRAWITEMSTRUCT* item) {
    HDC dc = item->hDC;
    RECT card = item->rcItem;
    bool focused = (item->itemState & ODS_FOCUS) != 0;
    bool disabled = (item->itemState & ODS_DISABLED) != 0;
    bool highlighted = (focused || launcher.server_choice == SERVER_ANY) && !disabled;
    draw_button_face(item, highlighted);
    if (focused) frame_rect(dc, card, HIGHLIGHT_BORDER, scale(2));

    char caption[200];
    GetWindowTextA(item->hwndItem, caption, sizeof caption);
    draw_text(dc, caption, RECT{card.left, card.top + scale(4), card.right, card.top + scale(26)},
              window_ui.fonts[FONT_BODY], INK, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    // Cut at the end rather than on both sides when the subtitle is wider than the card.
    draw_text(dc, lookup_text(ANY_SERVER_SUBTITLE), RECT{card.left, card.top + scale(26), card.right, card.bottom - scale(4)},
              window_ui.fonts[FONT_SMALL], MUTED, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
}

void update_server_line() {
    char* line = window_ui.server_line;
    unsigned size = sizeof window_ui.server_line;
    switch (launcher.server_choice) {
        case SERVER_ZANDOR: copy_text(line, size, lookup_text("Server: the ZANDOR server")); break;
        case SERVER_ANY: copy_text(line, size, lookup_text("Server: the one your game already uses")); break;
        case SERVER_CUSTOM:
            format_text(line, size, lookup_text("Server: %s (set by hand in zandor.ini)"), launcher.custom_server);
            break;
        default: copy_text(line, size, lookup_text("Server: not chosen yet")); break;
    }
}
