// The palette and the drawing operations the painting is built from. Every operation restores what
// was selected in the DC and deletes what it created.
#pragma once

#include <windows.h>

static const COLORREF INK = RGB(30, 28, 26);
static const COLORREF MUTED = RGB(78, 68, 56);
static const COLORREF ERROR_TEXT = RGB(168, 30, 14);
static const COLORREF DISABLED_TEXT = RGB(140, 136, 128);
static const COLORREF LINK_TEXT = RGB(28, 62, 140);
static const COLORREF HEADER_TEXT = RGB(230, 226, 216);
static const COLORREF OUTLINE = RGB(18, 18, 20);
static const COLORREF WHITE = RGB(255, 255, 255);
static const COLORREF HEADER_TOP = RGB(60, 60, 62);
static const COLORREF HEADER_BOTTOM = RGB(22, 22, 24);
static const COLORREF ACCENT_TOP = RGB(255, 236, 122);
static const COLORREF ACCENT_BOTTOM = RGB(240, 176, 24);
static const COLORREF BODY_TOP = RGB(242, 204, 146);
static const COLORREF BODY_BOTTOM = RGB(210, 140, 72);
static const COLORREF PLAIN_FACE_TOP = RGB(255, 255, 255);
static const COLORREF PLAIN_FACE_BOTTOM = RGB(217, 217, 220);
static const COLORREF PLAIN_GLOSS_TOP = RGB(255, 255, 255);
static const COLORREF PLAIN_GLOSS_BOTTOM = RGB(242, 242, 244);
static const COLORREF PLAIN_BORDER = RGB(74, 70, 64);
static const COLORREF HIGHLIGHT_GLOSS_TOP = RGB(255, 246, 192);
static const COLORREF HIGHLIGHT_GLOSS_BOTTOM = RGB(255, 236, 122);
static const COLORREF HIGHLIGHT_BORDER = RGB(122, 78, 0);
static const COLORREF PRESSED_TOP = RGB(232, 176, 32);
static const COLORREF PRESSED_BOTTOM = RGB(255, 224, 96);
static const COLORREF TRACK_TOP = RGB(180, 176, 168);
static const COLORREF TRACK_BOTTOM = RGB(200, 196, 188);

// A vertical gradient from top to bottom colour over the rect.
void fill_gradient(HDC dc, RECT rect, COLORREF top, COLORREF bottom);
// n one-pixel frames, each inset by one more pixel.
void frame_rect(HDC dc, RECT rect, COLORREF colour, int thickness);
// Text filled with one colour and outlined with another that shows half_width pixels outside the glyphs.
void draw_outlined_text(HDC dc, int x, int y, const char* text, HFONT font, COLORREF fill, COLORREF outline,
                        int half_width);
// The glossy face of a card or button: plain or highlighted.
void draw_face(HDC dc, RECT rect, bool highlighted);
// An owner-drawn button's or card's face: the pressed gradient while it is pressed, else draw_face.
void draw_button_face(const DRAWITEMSTRUCT* item, bool highlighted);
void draw_text(HDC dc, const char* text, RECT rect, HFONT font, COLORREF colour, UINT format);
// A rect of base units scaled to pixels.
RECT scaled_rect(int left, int top, int right, int bottom);
// An underlined link in the small font at (x, y) base units; records its area for clicks and the cursor.
void draw_link(HDC dc, int action, const char* text, int x, int y);
