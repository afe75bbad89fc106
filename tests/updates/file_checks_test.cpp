// Checks spread over worker threads: every file checked once, the first failure in list order, a
// stop seen before the next file.
#include <gtest/gtest.h>

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include <set>
#include <vector>

#include "updates/file_checks.h"
#include "updates/file_digest.h"

namespace {

struct Counting {
    std::vector<long> calls;         // per index, how often it was checked
    std::set<uint32_t> failing;      // indices whose check fails
    volatile long blocks_bad = 0;    // a check got no whole block of its own
    volatile long* stop_at = nullptr;  // set once this many checks ran (with stop_after)
    long stop_after = 0;
    volatile long done = 0;
};

bool counting_check(uint32_t index, uint8_t* block, void* context) {
    Counting* c = (Counting*)context;
    InterlockedIncrement(&c->calls[index]);
    // The block is the thread's own for the whole check: fill it and find it unchanged.
    memset(block, (int)(index & 0xFF), HASH_BLOCK_SIZE);
    Sleep(index % 3);
    for (uint32_t i = 0; i < HASH_BLOCK_SIZE; i += 4096) {
        if (block[i] != (uint8_t)(index & 0xFF)) InterlockedExchange(&c->blocks_bad, 1);
    }
    if (c->stop_at && InterlockedIncrement(&c->done) == c->stop_after) InterlockedExchange(c->stop_at, 1);
    return c->failing.count(index) == 0;
}

}  // namespace

TEST(FileChecks, EveryFileOnceAndTheFirstFailureInListOrder) {
    struct Case {
        const char* name;
        uint32_t count;
        std::set<uint32_t> failing;
        bool first_failure_only;
        uint32_t first_failure;
    } cases[] = {
        {"all pass", 300, {}, false, 300},
        {"all pass, first failure only", 300, {}, true, 300},
        {"two failures, all checked", 300, {250, 17}, false, 17},
        {"two failures, first only", 300, {250, 17}, true, 17},
        {"failure at the last index", 300, {299}, true, 299},
        {"failure at the first index", 300, {0}, true, 0},
        {"one file", 1, {0}, true, 0},
        {"no files", 0, {}, true, 0},
    };
    for (const Case& c : cases) {
        Counting counting;
        counting.calls.assign(c.count, 0);
        counting.failing = c.failing;
        FileCheckList list = {};
        list.count = c.count;
        list.check = counting_check;
        list.context = &counting;
        list.first_failure_only = c.first_failure_only;
        check_files(&list);
        EXPECT_EQ(list.first_failure, c.first_failure) << c.name;
        EXPECT_FALSE(list.stopped) << c.name;
        EXPECT_EQ(counting.blocks_bad, 0) << c.name;
        // Everything before the first failure is checked exactly once; without first_failure_only
        // everything is; nothing is ever checked twice.
        for (uint32_t i = 0; i < c.count; i++) {
            EXPECT_LE(counting.calls[i], 1) << c.name << ", index " << i;
            if (!c.first_failure_only || i <= c.first_failure) {
                EXPECT_EQ(counting.calls[i], 1) << c.name << ", index " << i;
            }
        }
    }
}

TEST(FileChecks, AStopEndsTheChecksBeforeTheNextFile) {
    Counting counting;
    counting.calls.assign(400, 0);
    volatile long stop = 0;
    counting.stop_at = &stop;
    counting.stop_after = 20;
    FileCheckList list = {};
    list.count = 400;
    list.check = counting_check;
    list.context = &counting;
    list.stop = &stop;
    check_files(&list);
    EXPECT_TRUE(list.stopped);
    long checked = 0;
    for (long calls : counting.calls) checked += calls;
    // The files under way when the stop came are finished; no thread takes another.
    EXPECT_GE(checked, 20);
    EXPECT_LE(checked, 20 + CHECK_THREADS_MAX);

    stop = 1;
    Counting none;
    none.calls.assign(10, 0);
    list.count = 10;
    list.context = &none;
    check_files(&list);
    EXPECT_TRUE(list.stopped);
    for (long calls : none.calls) EXPECT_EQ(calls, 0);
}

TEST(FileChecks, ThreadsFollowTheCoresUpToTheBound) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    unsigned cores = system.dwNumberOfProcessors;
    unsigned expected = cores < CHECK_THREADS_MAX ? cores : CHECK_THREADS_MAX;
    EXPECT_EQ(check_thread_count(1000), expected);
    EXPECT_EQ(check_thread_count(1), 1u);
    EXPECT_EQ(check_thread_count(0), 1u);
}

// When no hashing block can be had (the address space is used up for the length of the call), no
// file is checked and none passes: the first one counts as the first failure, and the check callback
// is never called.
TEST(FileChecks, WithoutAnyHashingBlockNoFilePasses) {
    Counting counting;
    counting.calls.assign(20, 0);
    FileCheckList list = {};
    list.count = 20;
    list.check = counting_check;
    list.context = &counting;

    // Reserve every free range of the address space, then take the heap's last blocks of the hashing
    // size, so that neither a new thread's stack nor a hashing block can be had.
    std::vector<void*> reserved;
    reserved.reserve(65536);
    for (SIZE_T size = (SIZE_T)1 << 30; size >= 64 * 1024; size /= 2) {
        for (;;) {
            void* range = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
            if (!range) break;
            if (reserved.size() == reserved.capacity()) {
                VirtualFree(range, 0, MEM_RELEASE);
                break;
            }
            reserved.push_back(range);
        }
    }
    void* blocks[4096];
    int taken = 0;
    while (taken < 4096 && (blocks[taken] = malloc(HASH_BLOCK_SIZE)) != nullptr) taken++;

    check_files(&list);

    for (int i = 0; i < taken; i++) free(blocks[i]);
    for (void* range : reserved) VirtualFree(range, 0, MEM_RELEASE);

    EXPECT_LT(taken, 4096) << "the heap never ran out";
    EXPECT_EQ(list.first_failure, 0u);
    EXPECT_FALSE(list.stopped);
    long checked = 0;
    for (long calls : counting.calls) checked += calls;
    EXPECT_EQ(checked, 0);
}
