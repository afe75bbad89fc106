// Files against the signed manifest: the SHA-512 of a whole file, the check of a file against a
// manifest entry, and counting the files of a folder tree.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "core/file_system.h"
#include "core/text.h"
#include "updates/manifest.h"

// Room for a SHA-512 digest in lower-case hex (hex_encode of 64 bytes) and its zero byte.
#define DIGEST_HEX_CAP 129
#define HASH_BLOCK_SIZE 262144u

// Reads the file from start to end and gives its SHA-512 and the number of bytes read; false when
// it cannot be opened or a read fails.
bool sha512_file(const char* path, uint8_t digest[64], uint64_t* size) MUST_USE;
// The same, reading through the caller's block of HASH_BLOCK_SIZE bytes.
bool sha512_file_block(const char* path, uint8_t* block, uint8_t digest[64], uint64_t* size) MUST_USE;
// True when path is an existing file of exactly the entry's size whose SHA-512 is the entry's.
bool file_matches(const char* path, const ManifestFile* entry) MUST_USE;
// The same, hashing through the caller's block of HASH_BLOCK_SIZE bytes.
bool file_matches_block(const char* path, const ManifestFile* entry, uint8_t* block) MUST_USE;

// Writes the file's data through to the disk (FlushFileBuffers), so that a power cut after a later
// move cannot leave it zero-filled or cut; false when it cannot be opened for writing or flushed.
bool flush_file(const char* path) MUST_USE;
// A durable copy of from at to, for a file that a later move relies on: copied (over an existing
// file, waiting out a short hold), made writable (no read-only flag taken along) and flushed to the
// disk. False when any of the three fails; GetLastError says why.
bool copy_durably(const char* from, const char* to) MUST_USE;
// The size of an existing file (not a folder); false otherwise.
bool file_size(const char* path, uint64_t* size) MUST_USE;
// Files in the folder and all its sub-folders (folders themselves not counted). Links are not
// followed: a link anywhere below (to a file or a folder) makes the count COUNT_FILES_LINKED, more
// than any manifest part lists, so that such a folder never passes for a part.
#define COUNT_FILES_LINKED 0xFFFFFFFFu
unsigned count_files(const char* folder);
