// The parts of the folder page's check that need no Windows: the blanks and quotes around a pasted
// path and the executable name at its end. Portable (no Windows headers).
#pragma once

// "Copy as path" wraps a path in quotes, and a paste often brings blanks along: removes spaces, TABs
// and double quotes at both ends, in place.
void strip_path_wrapping(char* text);
// The path of an executable stands for its folder: cuts at the last separator of either kind, so that
// "C:\Games\PES6/pes6.exe" gives C:\Games\PES6. A separator right after a drive ("C:\pes6.exe") or at
// the very start ("\pes6.exe") stays: "C:" alone would mean the current folder of drive C. In place.
void cut_executable_name(char* text);
