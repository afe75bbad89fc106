// Whole folders: deleting one with everything in it, and telling links apart. Used by the part
// swaps, the VirtualStore clean-up and the uninstall.
#pragma once

// Deletes every file (read-only ones too) and sub-folder, then the folder itself; errors along the
// way are ignored, except that a pass left incomplete by a file another program holds is made again
// for a few seconds (the wait of core/patient_files.h). A linked folder or file (junction, symbolic
// link), the given folder included, is only unlinked: nothing it points to is deleted or has its
// attributes changed. True when the folder itself could be removed.
bool delete_tree(const char* folder);

// True when path is a junction, a symbolic link or another reparse point.
bool is_link(const char* path);

// True when a folder on the way from base down to path (both excluded) is a link, so that path
// lies somewhere else than its name says. A path outside base has every folder on its way checked.
bool reached_through_link(const char* base, const char* path);
