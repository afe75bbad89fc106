// The keyboard on the painted links: one small child window, last in the Tab order, holds the focus
// while it is on a link; Tab and Shift+Tab move over the page's links in the order they are painted
// (the order the eye reads them), Enter and Space act as a click does. The focused link gets a focus
// ring, only once the keyboard was used (the window's UISF_HIDEFOCUS state).
#pragma once

#include <windows.h>

static const int ID_LINK_FOCUS = 150;

// Creates the link focus window (hidden, after every control) and sets the window's first focus
// cues from the last input.
void create_link_focus(HWND window, HINSTANCE instance);
HWND link_focus_window();
// The action of the link that has the keyboard focus, or 0.
int focused_link();
// Puts the keyboard focus on the page's painted link with this action; false when there is none.
bool focus_link(int action);
// At the end of each paint: shows the link focus window only while the page has links, and draws
// the focus ring around the focused link when the focus cues are shown.
void paint_link_focus(HDC dc);
// WM_ACTIVATE: as a dialog does, the control (or link) that had the keyboard focus when the window
// was left gets it back when the window is active again, rather than the window itself. True when it
// was given back.
bool on_activate(HWND window, WPARAM wparam);
