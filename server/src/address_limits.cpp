// A fixed open-addressing table (linear probing, deletion by shifting back) under one lock; it is
// touched once when a connection is accepted and once when it ends.
#include "address_limits.h"

#include <netinet/in.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <mutex>

struct AddressSlot {
    uint8_t key[16];
    int count;  // 0: the slot is free
};

static std::mutex limits_lock;
static AddressSlot* slots;
static size_t slot_mask;

void address_limits_init(int max_connections) {
    size_t size = 1024;
    while (size < (size_t)max_connections * 2) size *= 2;
    slots = (AddressSlot*)calloc(size, sizeof(AddressSlot));
    slot_mask = size - 1;
}

static void address_key(const sockaddr_storage* address, uint8_t key[16]) {
    memset(key, 0, 16);
    if (address->ss_family == AF_INET) {
        const sockaddr_in* v4 = (const sockaddr_in*)address;
        key[10] = key[11] = 0xFF;
        memcpy(key + 12, &v4->sin_addr, 4);
    } else if (address->ss_family == AF_INET6) {
        const sockaddr_in6* v6 = (const sockaddr_in6*)address;
        const uint8_t* bytes = v6->sin6_addr.s6_addr;
        static const uint8_t mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        if (memcmp(bytes, mapped, 12) == 0) {
            memcpy(key, bytes, 16);
        } else {
            memcpy(key, bytes, 8);
        }
    }
}

static size_t key_hash(const uint8_t key[16]) {
    uint64_t a, b;
    memcpy(&a, key, 8);
    memcpy(&b, key + 8, 8);
    uint64_t h = (a ^ (b * 0x9E3779B97F4A7C15ull)) * 0xBF58476D1CE4E5B9ull;
    return (size_t)(h ^ (h >> 31));
}

bool address_admit(const sockaddr_storage* address, int cap) {
    if (cap <= 0) return true;
    uint8_t key[16];
    address_key(address, key);
    std::lock_guard<std::mutex> guard(limits_lock);
    size_t i = key_hash(key) & slot_mask;
    while (slots[i].count != 0 && memcmp(slots[i].key, key, 16) != 0) i = (i + 1) & slot_mask;
    if (slots[i].count >= cap) return false;
    if (slots[i].count == 0) memcpy(slots[i].key, key, 16);
    slots[i].count++;
    return true;
}

void address_leave(const sockaddr_storage* address) {
    uint8_t key[16];
    address_key(address, key);
    std::lock_guard<std::mutex> guard(limits_lock);
    size_t i = key_hash(key) & slot_mask;
    while (slots[i].count != 0 && memcmp(slots[i].key, key, 16) != 0) i = (i + 1) & slot_mask;
    if (slots[i].count == 0) return;  // not counted (no cap when it came)
    if (--slots[i].count > 0) return;
    // Shift later entries of the probe run back into the hole, so that every lookup still finds them.
    size_t hole = i;
    size_t j = (i + 1) & slot_mask;
    while (slots[j].count != 0) {
        size_t home = key_hash(slots[j].key) & slot_mask;
        bool movable = hole <= j ? (home <= hole || home > j) : (home <= hole && home > j);
        if (movable) {
            slots[hole] = slots[j];
            slots[j].count = 0;
            hole = j;
        }
        j = (j + 1) & slot_mask;
    }
}
