// A stand-in for another program's Direct3D 8 wrapper: a DLL that exports Direct3DCreate8.
#include <windows.h>

extern "C" __declspec(dllexport) void* WINAPI Direct3DCreate8(UINT) {
    return nullptr;
}
