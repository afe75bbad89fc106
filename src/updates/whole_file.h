// Reading a small file whole, and replacing a file atomically through "%s.new".
#pragma once

#include <stddef.h>

#include "core/text.h"

// Reads the file whole into a new buffer with a zero byte after it (release it with free()); false
// when it cannot be opened or read, or is larger than limit bytes. Others may read, write and delete
// the file meanwhile.
bool read_whole_file(const char* path, size_t limit, char** text, size_t* length) MUST_USE;
// Writes bytes to path + ".new", flushes it and moves it over path (replace, write-through). The
// target is only ever replaced by a complete file; false when anything fails.
bool write_file_atomic(const char* path, const void* bytes, size_t length) MUST_USE;
