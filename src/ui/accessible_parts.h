// What a screen reader is told about the window: every painted text, link, the status line, the
// progress bar and the log-in code, with the child controls in between, in the order the eye reads a
// page; and the same for a server card (its texts) and for the focused link. Built afresh from the
// window's state on each question, so it always says what the last paint drew.
#pragma once

#include <windows.h>

enum AccessiblePartKind {
    PART_WINDOW,    // the client area itself
    PART_TEXT,      // a painted text: title, line, note, the log-in code
    PART_STATUS,    // the main page's status line
    PART_PROGRESS,  // the update's progress bar
    PART_LINK,      // an underlined link
    PART_CONTROL,   // a child control (button, card, edit box)
};

struct AccessiblePart {
    int kind;
    long role;       // ROLE_SYSTEM_*
    char name[800];  // in the player's language, as painted (Windows-1252)
    char value[16];  // the progress bar's "8 %"; empty otherwise
    RECT rect;       // in the client coordinates of the list's window
    int link;        // LINK_* for a link
    int control;     // control id for a child control
};

static const int PART_CAP = 24;

// The element a window answers for (self) and its children in reading order.
struct PartList {
    AccessiblePart self;
    AccessiblePart parts[PART_CAP];
    int count;
};

// The parts of the main window's current page, of a button (a server card lists its texts) or of
// the link focus window (the focused link); an unknown window gives an empty list.
void list_window_parts(HWND window, PartList* list);
// The progress bar's percentage as painted: 100 once the run is done, otherwise done / total.
int progress_percent(bool run_done, unsigned long long done_bytes, unsigned long long total_bytes);
// The painted link with this action, found in the last paint; false when the page shows none.
bool painted_link(int action, RECT* rect);
