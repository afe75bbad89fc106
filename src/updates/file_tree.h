// Whole folders: deleting one with everything in it. Used by the part swaps, the VirtualStore
// clean-up and the uninstall.
#pragma once

// Deletes every file (read-only ones too) and sub-folder, then the folder itself; errors along the
// way are ignored. True when the folder itself could be removed.
bool delete_tree(const char* folder);
