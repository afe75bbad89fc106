// Entry point of "ZANDOR Launcher.exe": hands over to the main sequence.
#include <windows.h>

#include "core/startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    return run_launcher();
}
