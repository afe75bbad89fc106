// 64-bit counters that one thread writes and another reads. This is a 32-bit program, where a plain
// 64-bit store or load takes two steps; the interlocked operations move the whole value at once, so
// that a reader never sees half of an old value and half of a new one.
#pragma once

#include <windows.h>
#include <stdint.h>

inline uint64_t counter_read(const volatile uint64_t* counter) {
    // A compare-exchange that never changes the value reads it whole.
    return (uint64_t)InterlockedCompareExchange64((volatile LONG64*)counter, 0, 0);
}

inline void counter_set(volatile uint64_t* counter, uint64_t value) {
    InterlockedExchange64((volatile LONG64*)counter, (LONG64)value);
}

inline void counter_add(volatile uint64_t* counter, uint64_t amount) {
    InterlockedExchangeAdd64((volatile LONG64*)counter, (LONG64)amount);
}
