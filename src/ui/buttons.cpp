// Ordinary owner-drawn buttons: a glossy face (highlighted for primary or focused buttons), a pressed
// gradient, a focus frame and the current caption.
#include "ui/buttons.h"

#include "ui/paint_tools.h"
#include "ui/server_cards.h"
#include "ui/window_state.h"

bool is_primary_button(int id) {
    return id == ID_PLAY_NOW || id == ID_LOGIN || id == ID_ACCEPT_TERMS || id == ID_USE_FOLDER;
}

static void draw_plain_button(const DRAWITEMSTRUCT* item) {
    HDC dc = item->hDC;
    RECT rect = item->rcItem;
    bool primary = is_primary_button((int)item->CtlID);
    bool disabled = (item->itemState & ODS_DISABLED) != 0;
    bool focused = (item->itemState & ODS_FOCUS) != 0;
    bool highlighted = (primary || focused) && !disabled;

    draw_button_face(item, highlighted);
    if (focused) frame_rect(dc, rect, HIGHLIGHT_BORDER, scale(2));

    // The current caption, so that a caption changed elsewhere shows at once.
    char caption[200];
    GetWindowTextA(item->hwndItem, caption, sizeof caption);
    draw_text(dc, caption, rect, window_ui.fonts[primary ? FONT_BUTTON : FONT_BODY], disabled ? DISABLED_TEXT : INK,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void draw_owner_button(const DRAWITEMSTRUCT* item) {
    switch (item->CtlID) {
        case ID_SERVER_CARD: draw_server_card(item); break;
        case ID_ANY_SERVER: draw_any_server_card(item); break;
        default: draw_plain_button(item); break;
    }
}
