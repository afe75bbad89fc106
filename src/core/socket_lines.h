// Line exchanges on a blocking socket, shared by the account link and the update protocol: sending
// every byte and reading one LF-ended line without taking anything after it.
#pragma once

#include <winsock2.h>

#include <stddef.h>

#include "core/text.h"

// Calls send until every byte has gone; false when a call sends nothing or fails.
bool send_all(SOCKET socket, const char* bytes, size_t length) MUST_USE;
// Reads one line and nothing after it: LF ends it (not stored), CR bytes are dropped, at most
// capacity - 1 bytes are stored. False when the peer closes, an error or the time-out comes first, or the buffer
// fills up without an LF.
bool read_line(SOCKET socket, char* buffer, size_t capacity) MUST_USE;
