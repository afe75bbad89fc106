// SHA-512 candidates side by side, run under Wine by tools/bench/hash.sh:
//
//   hash_bench.exe FILE ROUNDS
//
// Each candidate reads FILE the way sha512_file does (262144-byte blocks, sequential-scan hint) and
// hashes it, once in each of ROUNDS rounds; the best time counts. The candidates, in this one process
// (32-bit, or the x86-64 bench build):
//   sha512_file      the launcher's own function, whatever it is built with
//   sodium           libsodium's crypto_hash_sha512 (portable C)
//   openssl          OpenSSL's SHA512_Init/Update/Final, its assembly, path chosen from the CPU
//   openssl_alt      the same with the best path masked off: on x86, the SSSE3 path masked (MMX/SSE2
//                    code); on x86-64, AVX2 masked (the AVX path, where the CPU has AVX)
//   openssl_int      the same with every vector path masked off (integer-only code)
//   bcrypt           Windows' CNG BCryptHashData (under Wine: the host's library; reference only)
// Figures are printed as "@NAME_ms value" (wall), "@NAME_cpu_ms value" (the thread's CPU time) and
// "@NAME_digest hex" lines for the script.
#include <windows.h>
#include <bcrypt.h>
#include <sodium.h>
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "core/codecs.h"
#include "updates/file_digest.h"
#include "bench_clock.h"

// OpenSSL's processor-feature words (filled once at start-up) and their probe.
extern "C" unsigned int OPENSSL_ia32cap_P[4];
extern "C" void OPENSSL_cpuid_setup(void);

struct Hasher {
    const char* name;
    bool (*start)(void* state);
    bool (*add)(void* state, const uint8_t* data, DWORD length);
    bool (*finish)(void* state, uint8_t digest[64]);
};

static bool sodium_start(void* state) { return crypto_hash_sha512_init((crypto_hash_sha512_state*)state) == 0; }
static bool sodium_add(void* state, const uint8_t* data, DWORD length) {
    return crypto_hash_sha512_update((crypto_hash_sha512_state*)state, data, length) == 0;
}
static bool sodium_finish(void* state, uint8_t digest[64]) {
    return crypto_hash_sha512_final((crypto_hash_sha512_state*)state, digest) == 0;
}

static bool openssl_start(void* state) { return SHA512_Init((SHA512_CTX*)state) == 1; }
static bool openssl_add(void* state, const uint8_t* data, DWORD length) {
    return SHA512_Update((SHA512_CTX*)state, data, length) == 1;
}
static bool openssl_finish(void* state, uint8_t digest[64]) { return SHA512_Final(digest, (SHA512_CTX*)state) == 1; }

static BCRYPT_ALG_HANDLE bcrypt_algorithm;
static bool bcrypt_start(void* state) {
    if (!bcrypt_algorithm && BCryptOpenAlgorithmProvider(&bcrypt_algorithm, BCRYPT_SHA512_ALGORITHM, nullptr, 0) != 0) {
        return false;
    }
    return BCryptCreateHash(bcrypt_algorithm, (BCRYPT_HASH_HANDLE*)state, nullptr, 0, nullptr, 0, 0) == 0;
}
static bool bcrypt_add(void* state, const uint8_t* data, DWORD length) {
    return BCryptHashData(*(BCRYPT_HASH_HANDLE*)state, (PUCHAR)data, length, 0) == 0;
}
static bool bcrypt_finish(void* state, uint8_t digest[64]) {
    bool ok = BCryptFinishHash(*(BCRYPT_HASH_HANDLE*)state, digest, 64, 0) == 0;
    BCryptDestroyHash(*(BCRYPT_HASH_HANDLE*)state);
    return ok;
}

static uint8_t block[HASH_BLOCK_SIZE];

static bool hash_file(const Hasher* hasher, const char* path, uint8_t digest[64], uint64_t* size) {
    union {
        crypto_hash_sha512_state sodium;
        SHA512_CTX openssl;
        BCRYPT_HASH_HANDLE bcrypt;
    } state;
    *size = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = hasher->start(&state);
    while (ok) {
        DWORD got = 0;
        if (!ReadFile(file, block, sizeof block, &got, nullptr)) {
            ok = false;
        } else if (got == 0) {
            break;
        } else {
            ok = hasher->add(&state, block, got);
            *size += got;
        }
    }
    ok = hasher->finish(&state, digest) && ok;
    CloseHandle(file);
    return ok;
}

static bool report(const char* name, double best, double best_cpu, const uint8_t digest[64], uint64_t size) {
    char hex[DIGEST_HEX_CAP];
    hex_encode(digest, 64, hex);
    printf("@%s_ms %.1f\n@%s_cpu_ms %.1f\n@%s_digest %s\n@%s_bytes %llu\n", name, best, name, best_cpu, name, hex, name,
           (unsigned long long)size);
    return true;
}

// One candidate of the comparison: its hasher (none for sha512_file) and the processor-feature words
// OpenSSL's code sees while it runs, with its best time and last digest so far.
struct Candidate {
    const Hasher* hasher;
    unsigned features[4];
    double best, best_cpu;
    uint8_t digest[64];
    uint64_t size;
};

// The CPU time of this thread so far, in ms: on a shared machine it leaves out the time spent waiting
// for a core, which the wall clock does not.
static double thread_cpu_ms() {
    FILETIME created, ended, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
    ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
    ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
    return (double)(k.QuadPart + u.QuadPart) / 10000.0;
}

static bool time_candidate(Candidate* candidate, const char* path) {
    memcpy(OPENSSL_ia32cap_P, candidate->features, sizeof candidate->features);
    double start = now_ms(), start_cpu = thread_cpu_ms();
    bool ok = candidate->hasher ? hash_file(candidate->hasher, path, candidate->digest, &candidate->size)
                                : sha512_file(path, candidate->digest, &candidate->size);
    double ms = now_ms() - start, cpu = thread_cpu_ms() - start_cpu;
    if (!ok) {
        fprintf(stderr, "hash_bench: %s failed on %s\n", candidate->hasher ? candidate->hasher->name : "sha512_file",
                path);
        return false;
    }
    if (ms < candidate->best) candidate->best = ms;
    if (cpu < candidate->best_cpu) candidate->best_cpu = cpu;
    return true;
}

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc != 3) {
        fprintf(stderr, "usage: hash_bench.exe FILE ROUNDS\n");
        return 2;
    }
    const char* path = argv[1];
    int rounds = atoi(argv[2]);
    if (sodium_init() < 0) return 1;
    OPENSSL_cpuid_setup();
    unsigned int features[4];
    memcpy(features, OPENSSL_ia32cap_P, sizeof features);
    printf("@openssl_features %08x %08x %08x %08x\n", features[0], features[1], features[2], features[3]);
#if defined(__x86_64__)
    // The x86-64 code: AVX2 with BMI1 and BMI2 (bits 5, 3, 8 of the third word) first, then XOP (bit 11
    // of the second), then AVX (bit 28 of the second) with SSSE3 (bit 9) on a CPU marked Intel (bit 30
    // of the first); integer code otherwise.
    const unsigned avx2_bits = (1u << 5) | (1u << 3) | (1u << 8);
    const bool avx2 = (features[2] & avx2_bits) == avx2_bits, xop = features[1] & (1u << 11);
    const bool avx = (features[1] & ((1u << 28) | (1u << 9))) == ((1u << 28) | (1u << 9));
    printf("@openssl_path %s\n", xop ? "xop" : avx2 ? "avx2" : avx && (features[0] & (1u << 30)) ? "avx" : "integer");
    printf("@openssl_alt_label %s\n", avx ? "AVX path" : "integer path");
    printf("@openssl_int_label integer-only path\n");
#else
    // Bit 26 of the first word: SSE2; bit 9 of the second: SSSE3 (with bit 24 of the first, FXSR).
    printf("@openssl_path %s\n", !(features[0] & (1u << 26))                             ? "x86"
                                 : (features[1] & (1u << 9)) && (features[0] & (1u << 24)) ? "ssse3"
                                                                                          : "sse2");
    printf("@openssl_alt_label SSE2 path\n");
    printf("@openssl_int_label integer-only path\n");
#endif

    static const Hasher sodium = {"sodium", sodium_start, sodium_add, sodium_finish};
    static const Hasher openssl = {"openssl", openssl_start, openssl_add, openssl_finish};
    static const Hasher openssl_alt = {"openssl_alt", openssl_start, openssl_add, openssl_finish};
    static const Hasher openssl_int = {"openssl_int", openssl_start, openssl_add, openssl_finish};
    static const Hasher bcrypt = {"bcrypt", bcrypt_start, bcrypt_add, bcrypt_finish};
    Candidate candidates[] = {{nullptr}, {&sodium}, {&openssl}, {&openssl_alt}, {&openssl_int}, {&bcrypt}};
    for (Candidate& candidate : candidates) {
        memcpy(candidate.features, features, sizeof features);
        candidate.best = candidate.best_cpu = 1e30;
    }
#if defined(__x86_64__)
    candidates[3].features[2] &= ~(1u << 5);
    if (avx) candidates[3].features[0] |= 1u << 30;
    memcpy(candidates[4].features, candidates[3].features, sizeof features);
    candidates[4].features[1] &= ~((1u << 28) | (1u << 11));
#else
    candidates[3].features[1] &= ~(1u << 9);
    memcpy(candidates[4].features, candidates[3].features, sizeof features);
    candidates[4].features[0] &= ~(1u << 26);
#endif
    // Round by round, every candidate once in each: a busy moment of the shared machine falls on all
    // of them alike rather than on whichever runs then.
    bool ok = true;
    for (int round = 0; ok && round < rounds; round++) {
        for (Candidate& candidate : candidates) {
            if (ok) ok = time_candidate(&candidate, path);
        }
    }
    memcpy(OPENSSL_ia32cap_P, features, sizeof features);
    for (const Candidate& candidate : candidates) {
        if (ok) ok = report(candidate.hasher ? candidate.hasher->name : "sha512_file", candidate.best, candidate.best_cpu,
                            candidate.digest, candidate.size);
    }
    return ok ? 0 : 1;
}
