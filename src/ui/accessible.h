// Screen readers: the window, its buttons and the link focus window answer WM_GETOBJECT with an
// IAccessible of their own (what the paint shows, from accessible_parts), and the window tells them
// when the keyboard focus moves between painted links, when the status line changes and when the
// progress bar moves.
#pragma once

#include <windows.h>

// Gives the buttons their own accessible objects and creates the link focus window. Called once,
// after the controls exist.
void make_window_accessible(HWND window, HINSTANCE instance);
// The window procedure's share: WM_GETOBJECT, the focus cues, the focus given back when the window
// is active again, and the actions a screen reader asks for. True when the message was handled, with
// its result.
bool accessibility_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);
// WM_GETOBJECT for OBJID_CLIENT of the window, a button or the link focus window; false for other
// objects (the system answers those).
bool answer_get_object(HWND window, WPARAM wparam, LPARAM lparam, LRESULT* result);
// The keyboard focus is on the painted link with this action now.
void announce_link_focus(int action);
// The status text changed: a name change of the status line and, at most twice a second (and at
// the end), a value change of the progress bar.
void announce_status_change();
