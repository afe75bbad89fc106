// Whether a window keeps answering: a thread of its own sends it WM_NULL every 100 ms with a 200 ms
// time-out (as Windows does before it calls a window "Not responding") and notes each answer's time.
#pragma once

#include <windows.h>

struct WindowProbe {
    HWND window = nullptr;
    HANDLE thread = nullptr;
    volatile LONG stop = 0;
    int sent = 0;
    int unanswered = 0;
    DWORD longest_ms = 0;          // the longest single wait (200 ms and a little for one never answered)
    DWORD longest_silence_ms = 0;  // the longest stretch from an unanswered message to the next answer
};

// Starts probing window; stop_probe ends it and leaves the counts in probe.
void start_probe(WindowProbe* probe, HWND window);
void stop_probe(WindowProbe* probe);
