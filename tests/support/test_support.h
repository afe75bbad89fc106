// Helpers shared by the test programs: temporary folders, small files, starting programs.
#pragma once

#include <string>
#include <vector>

// A new empty folder under the temporary folder, removed with everything in it by remove_tree.
std::string make_temp_folder(const char* tag);
void remove_tree(const std::string& path);

bool write_file(const std::string& path, const std::string& bytes);
bool read_file(const std::string& path, std::string* bytes);
bool file_exists(const std::string& path);
// The whole file as text, or "" when it cannot be read (the launcher's log can be read while open).
std::string file_text(const std::string& path);
bool folder_exists(const std::string& path);

// Lower-case hex of bytes, and the bytes of hex text ("" when it is not an even run of hex digits).
std::string to_hex(const std::string& bytes);
std::string from_hex(const std::string& hex);

// The built launcher and the test tools (tests/support/*_tool.cpp, *_dll.cpp), as Windows paths; a
// tool name without an ending means NAME.exe.
std::string launcher_exe();
std::string test_tool(const char* name);
// A path of the repository (relative with forward slashes) as a Windows path.
std::string source_path(const char* relative);

// Runs a command line with the given current folder;
// gives false when it could not start or did not end within timeout_ms.
bool run_program(const std::string& command_line, const std::string& folder, unsigned long* exit_code,
                 unsigned long timeout_ms = 60000);

// Waits up to timeout_ms for a message box captioned "ZANDOR Launcher" (of any process), gives its
// text and presses button (IDOK, IDYES, IDNO...). Gives "(no message box)" when none came.
std::string answer_message_box(int button, unsigned long timeout_ms = 15000);

// Starts a command line without waiting; gives the process handle, or null when it did not start.
void* start_program(const std::string& command_line, const std::string& folder);
// Waits for a started program at most timeout_ms, ends it when it is still running, closes the
// handle and gives its exit code (259 when it had to be ended).
unsigned long finish_program(void* process, unsigned long timeout_ms = 30000);
// Waits at most timeout_ms for a started launcher's visible window (an HWND); null when none showed
// before the time ran out or the process ended.
void* wait_for_launcher_window(void* process, unsigned long timeout_ms = 30000);
// Waits at most timeout_ms for a started launcher to show its window and closes it as a player would
// (the close box); false when no window showed (the run may have ended before it).
bool close_launcher_window(void* process, unsigned long timeout_ms = 30000);
// Runs the launcher, closes its window once it shows, and gives its exit code as run_program does.
bool run_launcher_closing_window(const std::string& command_line, const std::string& folder,
                                 unsigned long* exit_code, unsigned long timeout_ms = 60000);

// Calls draw with a memory DC (an HDC) that holds a 32-bit picture of width x height, and gives the
// picture's pixels row by row as they lie in memory (blue in the low byte, then green and red).
std::vector<unsigned> draw_off_screen(int width, int height, void (*draw)(void* dc, const void* context),
                                      const void* context);
// The screen's pixels in a rectangle, row by row, as COLORREF values (RGB).
std::vector<unsigned long> copy_screen(int x, int y, int width, int height);
