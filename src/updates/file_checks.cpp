// Spreading file checks over worker threads: each thread takes the next index with an interlocked
// increment, so the indices are handed out in increasing order and a thread that finds a failure can
// tell the others which later indices no longer matter.
#include "updates/file_checks.h"

#include <windows.h>
#include <stdlib.h>

#include "updates/file_digest.h"

// What the threads of one check_files call share. Written with interlocked operations only, while
// the threads run; check_files reads it after every worker has ended.
struct CheckShared {
    FileCheckList* list;
    volatile long next;           // the next index to hand out
    volatile long first_failure;  // the lowest failing index so far (count while none)
    volatile long stopped;        // 1 once a thread saw the stop flag
};

// Lowers first_failure to index unless a lower failure is known already.
static void note_failure(CheckShared* shared, long index) {
    for (;;) {
        long known = shared->first_failure;
        if (known <= index) return;
        if (InterlockedCompareExchange(&shared->first_failure, index, known) == known) return;
    }
}

static void check_until_done(CheckShared* shared, uint8_t* block) {
    const FileCheckList* list = shared->list;
    for (;;) {
        if (list->stop && *list->stop) {
            InterlockedExchange(&shared->stopped, 1);
            return;
        }
        long index = InterlockedIncrement(&shared->next) - 1;
        if (index >= (long)list->count) return;
        // Indices only grow: once one lies past a failure, so do all later ones.
        if (list->first_failure_only && index > shared->first_failure) return;
        if (!list->check((uint32_t)index, block, list->context)) note_failure(shared, index);
    }
}

// When no thread got a block, the indices never handed out were not checked: a file that was not
// checked does not pass.
static void note_unchecked(CheckShared* shared) {
    long handed = shared->next;
    if (!shared->stopped && handed < (long)shared->list->count) note_failure(shared, handed);
}

static DWORD WINAPI check_worker(void* context) {
    CheckShared* shared = (CheckShared*)context;
    uint8_t* block = (uint8_t*)malloc(HASH_BLOCK_SIZE);
    // A worker without a block leaves its share to the others.
    if (block) check_until_done(shared, block);
    free(block);
    return 0;
}

unsigned check_thread_count(uint32_t count) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    unsigned threads = system.dwNumberOfProcessors ? system.dwNumberOfProcessors : 1;
    if (threads > CHECK_THREADS_MAX) threads = CHECK_THREADS_MAX;
    if (threads > count) threads = count ? count : 1;
    return threads;
}

void check_files(FileCheckList* list) {
    CheckShared shared;
    shared.list = list;
    shared.next = 0;
    shared.first_failure = (long)list->count;
    shared.stopped = 0;

    HANDLE workers[CHECK_THREADS_MAX];
    unsigned started = 0;
    unsigned threads = check_thread_count(list->count);
    for (unsigned i = 1; i < threads; i++) {
        HANDLE worker = CreateThread(nullptr, 0, check_worker, &shared, 0, nullptr);
        if (worker) workers[started++] = worker;
    }
    // The calling thread checks too; without a block of its own it leaves its share to the workers.
    uint8_t* block = (uint8_t*)malloc(HASH_BLOCK_SIZE);
    if (block) check_until_done(&shared, block);
    free(block);
    if (started) WaitForMultipleObjects(started, workers, TRUE, INFINITE);
    for (unsigned i = 0; i < started; i++) CloseHandle(workers[i]);
    note_unchecked(&shared);

    list->first_failure = (uint32_t)shared.first_failure;
    list->stopped = shared.stopped != 0;
}
