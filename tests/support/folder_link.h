// Test helper: links made the way the platform allows. Windows makes junctions; Wine makes none (it
// refuses FSCTL_SET_REPARSE_POINT and CreateSymbolicLinkA does nothing there), but shows a Unix
// symbolic link as a reparse point, so under Wine a link is made with /bin/ln.
#pragma once

#include <string>

enum LinkKind { LINK_NONE, LINK_JUNCTION, LINK_UNIX };

// Makes link point to target (an existing folder or file); a folder gets a junction where the
// system makes one, anything else a Unix symbolic link under Wine. LINK_NONE when neither worked.
LinkKind make_link(const std::string& link, const std::string& target);
// Removes a link made by make_link (Wine cannot remove a Unix link itself).
void remove_link(const std::string& link, LinkKind kind);
