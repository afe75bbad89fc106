// The probe's thread: one WM_NULL every 100 ms, each allowed 200 ms.
#include "support/window_probe.h"

static DWORD WINAPI probe_thread(void* context) {
    auto* probe = (WindowProbe*)context;
    DWORD silent_since = 0;
    bool silent = false;
    while (!InterlockedCompareExchange(&probe->stop, 0, 0)) {
        DWORD_PTR result = 0;
        DWORD start = GetTickCount();
        LRESULT answered = SendMessageTimeoutA(probe->window, WM_NULL, 0, 0, SMTO_NORMAL, 200, &result);
        DWORD took = GetTickCount() - start;
        // A window that went away in the meantime (the uninstall ends the launcher) is not a hang.
        if (!answered && IsWindow(probe->window)) {
            probe->unanswered++;
            if (!silent) silent_since = start;
            silent = true;
        } else if (silent) {
            silent = false;
            DWORD silence = GetTickCount() - silent_since;
            if (silence > probe->longest_silence_ms) probe->longest_silence_ms = silence;
        }
        if (answered || IsWindow(probe->window)) {
            probe->sent++;
            if (took > probe->longest_ms) probe->longest_ms = took;
        }
        Sleep(100);
    }
    // Still silent when the probe stops: the silence lasted until now.
    if (silent && GetTickCount() - silent_since > probe->longest_silence_ms) {
        probe->longest_silence_ms = GetTickCount() - silent_since;
    }
    return 0;
}

void start_probe(WindowProbe* probe, HWND window) {
    probe->window = window;
    probe->stop = 0;
    probe->sent = probe->unanswered = 0;
    probe->longest_ms = 0;
    probe->longest_silence_ms = 0;
    probe->thread = CreateThread(nullptr, 0, probe_thread, probe, 0, nullptr);
}

void stop_probe(WindowProbe* probe) {
    InterlockedExchange(&probe->stop, 1);
    if (probe->thread) {
        // The caller is the window's thread: a probe on its way is answered while the probe ends.
        DWORD start = GetTickCount();
        while (MsgWaitForMultipleObjects(1, &probe->thread, FALSE, 100, QS_SENDMESSAGE) != WAIT_OBJECT_0 &&
               GetTickCount() - start < 5000) {
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        CloseHandle(probe->thread);
    }
    probe->thread = nullptr;
}
