// Benchmark: manifest_parse of a 1 MiB signed manifest with 4000 files, against one SHA-512 pass over
// the same bytes in the same process. Built and run by scripts/bench.
#include <windows.h>
#include <sodium.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "updates/manifest.h"
#include "bench_clock.h"

#ifndef BENCH_SEED_HEX
#error "BENCH_SEED_HEX (the seed of the key trusted by this build) must be given"
#endif

static void append(char* text, size_t* length, const char* line) {
    size_t n = strlen(line);
    memcpy(text + *length, line, n);
    *length += n;
}

// Builds the signed manifest in text (MANIFEST_MAX_BYTES bytes); gives its length.
static size_t make_manifest(char* text) {
    static const char hex[] = "0123456789abcdef";
    size_t length = 0;
    char line[600];
    append(text, &length, "ZANDOR-UPDATE-MANIFEST\t1\nchannel\tclient\nrelease\t41\nissued_utc_ms\t1700000000000\n");
    append(text, &length, "part\truntime\t17\toptional\n");
    for (int i = 0; i < 4000; i++) {
        char digest[129];
        for (int j = 0; j < 128; j++) digest[j] = hex[(i * 31 + j * 7) & 15];
        digest[128] = 0;
        snprintf(line, sizeof line, "file\truntime\tlib/modules/java.base/classes/pkg%04d/Resource%04d.class\t%d\t%s\n",
                 i / 50, i, 1000 + i * 13, digest);
        append(text, &length, line);
    }
    // The signature line is 12 + 86 + 1 bytes; fill up to exactly 1 MiB with empty lines.
    const size_t signature_line = 12 + 86 + 1;
    while (length < MANIFEST_MAX_BYTES - signature_line) text[length++] = '\n';

    uint8_t seed[32], public_key[32], secret_key[64];
    if (sodium_hex2bin(seed, sizeof seed, BENCH_SEED_HEX, 64, nullptr, nullptr, nullptr) != 0 ||
        crypto_sign_seed_keypair(public_key, secret_key, seed) != 0) {
        return 0;
    }
    size_t prefix = strlen(MANIFEST_SIGNED_PREFIX);
    uint8_t* message = (uint8_t*)malloc(prefix + length);
    memcpy(message, MANIFEST_SIGNED_PREFIX, prefix);
    memcpy(message + prefix, text, length);
    uint8_t signature[64];
    int signed_ok = crypto_sign_detached(signature, nullptr, message, prefix + length, secret_key);
    free(message);
    if (signed_ok != 0) return 0;
    char encoded[100];
    sodium_bin2base64(encoded, sizeof encoded, signature, 64, sodium_base64_VARIANT_URLSAFE_NO_PADDING);
    snprintf(line, sizeof line, "signature\t1\t%s\n", encoded);
    append(text, &length, line);
    return length;
}

int main() {
    if (sodium_init() < 0) return 1;
    char* text = (char*)malloc(MANIFEST_MAX_BYTES + 1024);
    size_t length = make_manifest(text);
    UpdateManifest manifest = {};
    char error[400];
    if (length != MANIFEST_MAX_BYTES || !manifest_parse(text, length, &manifest, error, sizeof error) ||
        manifest.file_count != 4000) {
        fprintf(stderr, "bench: the manifest (%u bytes) does not parse: %s\n", (unsigned)length, error);
        return 1;
    }
    manifest_clear(&manifest);

    const int rounds = 30;
    double best_parse = 1e9, best_hash = 1e9;
    uint8_t digest[64];
    for (int round = 0; round < rounds; round++) {
        double start = now_ms();
        bool ok = manifest_parse(text, length, &manifest, error, sizeof error);
        double parse_ms = now_ms() - start;
        manifest_clear(&manifest);
        start = now_ms();
        crypto_hash_sha512_state state;
        ok = ok && crypto_hash_sha512_init(&state) == 0 &&
             crypto_hash_sha512_update(&state, (const uint8_t*)text, length) == 0 &&
             crypto_hash_sha512_final(&state, digest) == 0;
        double hash_ms = now_ms() - start;
        if (!ok) return 1;
        if (parse_ms < best_parse) best_parse = parse_ms;
        if (hash_ms < best_hash) best_hash = hash_ms;
    }
    printf("manifest: %u bytes, 4000 files\n", (unsigned)length);
    printf("manifest_parse: %.2f ms (best of %d)\n", best_parse, rounds);
    printf("SHA-512 pass:   %.2f ms (best of %d)\n", best_hash, rounds);
    printf("ratio: %.2f (goal: at most 1.5)\n", best_parse / best_hash);
    free(text);
    return 0;
}
