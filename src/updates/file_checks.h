// Checks of many files at once: the files of a list are spread over worker threads, one per core up
// to CHECK_THREADS_MAX, each thread hashing one file from start to end with its own 256 KiB block.
// The outcome is the one a check of the list in its order would give.
#pragma once

#include <stdint.h>

#include "core/text.h"

#define CHECK_THREADS_MAX 8

// Checks the file at index of the caller's list with the thread's hashing block (HASH_BLOCK_SIZE
// bytes); true when it passes. Runs on several threads at once, each index once: it may write only
// what belongs to its own index.
typedef bool (*FileCheck)(uint32_t index, uint8_t* block, void* context);

// How a list is checked and what came of it.
struct FileCheckList {
    uint32_t count;              // indices 0 .. count - 1
    FileCheck check;
    void* context;
    bool first_failure_only;     // files after a failing one need not be checked
    const volatile long* stop;   // looked at before each file; null when nothing stops the checks
    // Results, written by check_files:
    uint32_t first_failure;      // the lowest failing index; count when every file checked passed
    bool stopped;                // stop was seen: some files were not checked
};

// Runs the list's check for every index (in the calling thread and up to CHECK_THREADS_MAX - 1
// workers) and fills the results. Without first_failure_only every index is checked unless stop is
// seen; with it, every index below the first failing one is. A thread that gets no hashing block
// leaves its share to the others; when none gets one, the lowest unchecked index is the first
// failure (a file that was not checked never passes).
void check_files(FileCheckList* list);
// The number of hashing threads check_files uses for count files on this machine.
unsigned check_thread_count(uint32_t count);
