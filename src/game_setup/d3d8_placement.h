// Another program's d3d8.dll in the game folder: telling it from a ZANDOR build, setting it aside so
// the client can be placed, and giving it its name back when the client was not placed.
#pragma once

enum DllKind { DLL_MISSING = 0, DLL_ZANDOR = 1, DLL_OTHER = 2 };

struct SetAsideRecord {
    bool moved;        // the file was moved to new_name
    bool is_d3d8;      // it exports Direct3DCreate8
    char new_name[64]; // file name (no folder) in the game folder
};

// 0 no such file, 1 a ZANDOR build, 2 another program's file (also when it cannot be read).
int classify_dll(const char* path);
// Moves launcher.update_paths.dll_path to a free new name; true when it was moved.
bool set_aside_other_dll(SetAsideRecord* record);
// After the second update run: records the name and tells the player, or moves the file back.
void finish_set_aside(const SetAsideRecord* record);
