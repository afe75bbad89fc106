// The wall clock of the benchmark programs, in milliseconds from an arbitrary start.
#pragma once

#include <windows.h>

static inline double now_ms() {
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return (double)count.QuadPart * 1000.0 / (double)frequency.QuadPart;
}
