// The drawing operations: gradients, frames, outlined and plain texts, faces and links.
#include "ui/paint_tools.h"

#include "ui/window_state.h"

void fill_gradient(HDC dc, RECT rect, COLORREF top, COLORREF bottom) {
    TRIVERTEX vertices[2] = {};
    vertices[0].x = rect.left;
    vertices[0].y = rect.top;
    vertices[0].Red = (COLOR16)(GetRValue(top) << 8);
    vertices[0].Green = (COLOR16)(GetGValue(top) << 8);
    vertices[0].Blue = (COLOR16)(GetBValue(top) << 8);
    vertices[1].x = rect.right;
    vertices[1].y = rect.bottom;
    vertices[1].Red = (COLOR16)(GetRValue(bottom) << 8);
    vertices[1].Green = (COLOR16)(GetGValue(bottom) << 8);
    vertices[1].Blue = (COLOR16)(GetBValue(bottom) << 8);
    GRADIENT_RECT mesh = {0, 1};
    GradientFill(dc, vertices, 2, &mesh, 1, GRADIENT_FILL_RECT_V);
}

void frame_rect(HDC dc, RECT rect, COLORREF colour, int thickness) {
    HBRUSH brush = CreateSolidBrush(colour);
    for (int i = 0; i < thickness; i++) {
        RECT inset = {rect.left + i, rect.top + i, rect.right - i, rect.bottom - i};
        FrameRect(dc, &inset, brush);
    }
    DeleteObject(brush);
}

void draw_outlined_text(HDC dc, int x, int y, const char* text, HFONT font, COLORREF fill, COLORREF outline,
                        int half_width) {
    HGDIOBJ old_font = SelectObject(dc, font);
    int old_mode = SetBkMode(dc, TRANSPARENT);
    int length = lstrlenA(text);

    LOGBRUSH outline_brush = {BS_SOLID, outline, 0};
    HPEN pen = ExtCreatePen(PS_GEOMETRIC, (DWORD)(2 * half_width), &outline_brush, 0, nullptr);
    HGDIOBJ old_pen = SelectObject(dc, pen);
    BeginPath(dc);
    TextOutA(dc, x, y, text, length);
    EndPath(dc);
    StrokePath(dc);

    // Stroking used the path up: trace it again for the fill.
    HBRUSH brush = CreateSolidBrush(fill);
    HGDIOBJ old_brush = SelectObject(dc, brush);
    SelectObject(dc, GetStockObject(NULL_PEN));
    BeginPath(dc);
    TextOutA(dc, x, y, text, length);
    EndPath(dc);
    FillPath(dc);

    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    SelectObject(dc, old_font);
    SetBkMode(dc, old_mode);
    DeleteObject(brush);
    DeleteObject(pen);
}

void draw_face(HDC dc, RECT rect, bool highlighted) {
    fill_gradient(dc, rect, highlighted ? ACCENT_TOP : PLAIN_FACE_TOP, highlighted ? ACCENT_BOTTOM : PLAIN_FACE_BOTTOM);
    RECT gloss = {rect.left + 1, rect.top + 1, rect.right - 1, rect.top + (rect.bottom - rect.top) / 2};
    fill_gradient(dc, gloss, highlighted ? HIGHLIGHT_GLOSS_TOP : PLAIN_GLOSS_TOP,
                  highlighted ? HIGHLIGHT_GLOSS_BOTTOM : PLAIN_GLOSS_BOTTOM);
    frame_rect(dc, rect, highlighted ? HIGHLIGHT_BORDER : PLAIN_BORDER, 1);
}

void draw_button_face(const DRAWITEMSTRUCT* item, bool highlighted) {
    if (item->itemState & ODS_SELECTED) {
        fill_gradient(item->hDC, item->rcItem, PRESSED_TOP, PRESSED_BOTTOM);
    } else {
        draw_face(item->hDC, item->rcItem, highlighted);
    }
}

void draw_text(HDC dc, const char* text, RECT rect, HFONT font, COLORREF colour, UINT format) {
    HGDIOBJ old_font = SelectObject(dc, font);
    int old_mode = SetBkMode(dc, TRANSPARENT);
    COLORREF old_colour = SetTextColor(dc, colour);
    DrawTextA(dc, text, -1, &rect, format | DT_NOPREFIX);
    SetTextColor(dc, old_colour);
    SetBkMode(dc, old_mode);
    SelectObject(dc, old_font);
}

RECT scaled_rect(int left, int top, int right, int bottom) {
    RECT rect = {scale(left), scale(top), scale(right), scale(bottom)};
    return rect;
}

void draw_link(HDC dc, int action, const char* text, int x, int y) {
    HFONT font = window_ui.fonts[FONT_SMALL];
    HGDIOBJ old_font = SelectObject(dc, font);
    SIZE size = {};
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &size);
    SelectObject(dc, old_font);

    int left = scale(x), top = scale(y);
    RECT area = {left, top, left + size.cx, top + size.cy};
    draw_text(dc, text, area, font, LINK_TEXT, DT_SINGLELINE);

    HPEN pen = CreatePen(PS_SOLID, 1, LINK_TEXT);
    HGDIOBJ old_pen = SelectObject(dc, pen);
    MoveToEx(dc, left, area.bottom - 1, nullptr);
    LineTo(dc, area.right, area.bottom - 1);
    SelectObject(dc, old_pen);
    DeleteObject(pen);

    if (window_ui.link_count < LINK_CAP) {
        window_ui.links[window_ui.link_count].action = action;
        window_ui.links[window_ui.link_count].rect = area;
        window_ui.link_count++;
    }
}
