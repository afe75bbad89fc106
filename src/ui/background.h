// The generated window background: the dark header band with its scan lines and accent strip, and the
// warm body with its streak texture. Built once per client height and kept.
#pragma once

#include <windows.h>

// Paints the background of a client of width by height pixels into dc.
void build_background(HDC dc, int width, int height);
// The cached background for this client size, rebuilt only when the height changed.
HBITMAP cached_background(HDC reference, int width, int height);
// The header band's height in pixels.
int header_height();
