// Message boxes captioned "ZANDOR Launcher". Every box of the launcher goes through here, so tests
// can answer boxes instead of a player.
#pragma once

// Shows text (already looked up in the text table) with MB_* flags; gives the button pressed.
int show_message_box(void* owner, const char* text, unsigned flags);

// Tests: when set, the answer function is called instead of showing the box.
typedef int (*MessageBoxAnswer)(void* owner, const char* text, unsigned flags);
void set_message_box_answer(MessageBoxAnswer answer);
