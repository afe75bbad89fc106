// Files that must never be half-written: the whole content goes to "<path>.new", is flushed, and
// only then moved over the target (replace, write-through). A kill or a full disk at any moment
// leaves either the old file or the new one, never a cut or empty one. A file that another program
// holds for a moment (a virus scanner) is waited for (core/patient_files.h).
#pragma once

#include <stddef.h>

#include "core/text.h"

// Writes bytes to path + ".new", flushes it and moves it over path. False when anything fails: the
// target is then as it was, no ".new" is left, and GetLastError tells why.
bool write_file_atomic(const char* path, const void* bytes, size_t length) MUST_USE;
// The same, with the new file's attributes (FILE_ATTRIBUTE_HIDDEN for the account files). A
// read-only, hidden or system target or leftover ".new" is replaced all the same.
bool write_file_atomic_with(const char* path, const void* bytes, size_t length, unsigned long attributes) MUST_USE;
