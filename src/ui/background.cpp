// The background generator and its cache. The texture comes from a fixed-seed xorshift, so it is the
// same on every run and every page of the same height.
#include "ui/background.h"

#include <stdint.h>

#include "ui/paint_tools.h"
#include "ui/window_state.h"

int header_height() {
    return scale(76);
}

static void draw_line(HDC dc, COLORREF colour, int x1, int y, int x2) {
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x1, y, nullptr);
    LineTo(dc, x2, y);
    SelectObject(dc, old);
    DeleteObject(pen);
}

static uint32_t xorshift(uint32_t s) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
}

static int clamp_channel(int value) {
    return value < 0 ? 0 : value > 255 ? 255 : value;
}

static void draw_header_band(HDC dc, int width) {
    int h = header_height();
    fill_gradient(dc, RECT{0, 0, width, h}, HEADER_TOP, HEADER_BOTTOM);
    for (int y = 0, k = 0; y < h; y += 3, k += 150) {
        int v = (k / h + 40) * 38;
        int grey = ((v + 5632) >> 8) & 255;
        int blue = ((v + 6144) >> 8) & 255;
        draw_line(dc, RGB(grey, grey, blue), 0, y, width);
    }
    fill_gradient(dc, RECT{0, h - scale(4), width, h}, ACCENT_TOP, ACCENT_BOTTOM);
}

static void draw_texture(HDC dc, int width, int height) {
    int h = header_height();
    uint32_t s = 0x5EED1234u;
    uint32_t streak_max = (uint32_t)scale(140), streak_min = (uint32_t)scale(30), gap_max = (uint32_t)scale(40);
    for (int y = h; y < height; y++) {
        int row = y - h;
        s = xorshift(s + (uint32_t)y);
        if (s % 3 != 0) continue;
        int d = (int)((s >> 8) % 22) - 11;
        int t = 256 * row / (height - h + 1);
        int r0 = (1936 - t) / 8, g0 = (816 - t) / 4, b0 = (37376 - 74 * t) / 256;
        for (int x = 0; x < width;) {
            s = xorshift(s);
            int length = (int)(s % streak_max + streak_min);
            int delta = (int)((s >> 12) % 7) + d - 3;
            COLORREF colour =
                RGB(clamp_channel(r0 + delta), clamp_channel(g0 + 9 * delta / 10), clamp_channel(b0 + 7 * delta / 10));
            draw_line(dc, colour, x, y, x + length);
            x += length + (int)((s >> 20) % gap_max);
        }
    }
}

void build_background(HDC dc, int width, int height) {
    draw_header_band(dc, width);
    fill_gradient(dc, RECT{0, header_height(), width, height}, BODY_TOP, BODY_BOTTOM);
    draw_texture(dc, width, height);
}

HBITMAP cached_background(HDC reference, int width, int height) {
    if (window_ui.background && window_ui.background_height == height) return window_ui.background;
    if (window_ui.background) DeleteObject(window_ui.background);
    window_ui.background = CreateCompatibleBitmap(reference, width, height);
    window_ui.background_height = height;
    window_ui.background_builds++;
    HDC memory = CreateCompatibleDC(reference);
    HGDIOBJ old = SelectObject(memory, window_ui.background);
    build_background(memory, width, height);
    SelectObject(memory, old);
    DeleteDC(memory);
    return window_ui.background;
}
