// Loading a DLL of Windows by its full path in the system folder, so that a planted copy beside the
// launcher (or anywhere on the search path) is never loaded instead.
#pragma once

#include <windows.h>

// The system folder's DLL of this name (for example "shell32.dll"), or null when it cannot be loaded
// or its path does not fit. The caller frees it with FreeLibrary when it no longer needs it.
HMODULE load_system_dll(const char* name);
