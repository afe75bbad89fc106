// Message boxes captioned "ZANDOR Launcher", with one seam for tests.
#include "core/message_box.h"

#include <windows.h>

static MessageBoxAnswer message_box_answer = nullptr;

void set_message_box_answer(MessageBoxAnswer answer) {
    message_box_answer = answer;
}

int show_message_box(void* owner, const char* text, unsigned flags) {
    if (message_box_answer) return message_box_answer(owner, text, flags);
    return MessageBoxA((HWND)owner, text, "ZANDOR Launcher", flags);
}
