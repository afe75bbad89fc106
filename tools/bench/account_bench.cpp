// Benchmark: complete account exchanges on loopback (connect, handshake, one request, one answer)
// against the reference account server, with the client's own CPU time, compared with one X25519
// pair of operations and one Ed25519 verification. Built and run by tools/bench/account_bench.sh.
#include <winsock2.h>
#include <windows.h>
#include <sodium.h>
#include <stdio.h>
#include <stdlib.h>

#include "account/link_exchange.h"
#include "bench_clock.h"

// User and kernel time of this thread, in milliseconds.
static double thread_cpu_ms() {
    FILETIME created, ended, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return (double)(k.QuadPart + u.QuadPart) / 10000.0;
}

int main() {
    const char* port_text = getenv("ZANDOR_ACCOUNT_PORT");
    if (!port_text || sodium_init() < 0) {
        fprintf(stderr, "account_bench: ZANDOR_ACCOUNT_PORT is not set\n");
        return 2;
    }
    unsigned short port = (unsigned short)atoi(port_text);
    const int rounds = 200;
    char answer[4097];
    AccountReply reply = {};
    if (!link_exchange("127.0.0.1", port, "AUTO\twarm-up", answer, sizeof answer, &reply)) {
        fprintf(stderr, "account_bench: the exchange failed: %s\n", reply.message);
        return 1;
    }
    double wall = now_ms(), cpu = thread_cpu_ms();
    for (int i = 0; i < rounds; i++) {
        AccountReply r = {};
        if (!link_exchange("127.0.0.1", port, "AUTO\tinstall=0123456789abcdef\t-\tlauncher-1.0.0", answer,
                           sizeof answer, &r)) {
            fprintf(stderr, "account_bench: exchange %d failed: %s\n", i, r.message);
            return 1;
        }
    }
    wall = (now_ms() - wall) / rounds;
    cpu = (thread_cpu_ms() - cpu) / rounds;

    // The primitives the client's CPU time should be made of.
    uint8_t secret[32], public_key[32], peer[32], shared[32], sign_public[32], sign_secret[64], signature[64];
    randombytes_buf(secret, sizeof secret);
    crypto_sign_keypair(sign_public, sign_secret);
    crypto_scalarmult_base(peer, secret);
    const char message[] = "TOLVEN-LINK-1\n a server hello of about two hundred bytes ...............";
    crypto_sign_detached(signature, nullptr, (const uint8_t*)message, sizeof message, sign_secret);
    const int primitive_rounds = 500;
    double primitives = thread_cpu_ms(), primitives_wall = now_ms();
    for (int i = 0; i < primitive_rounds; i++) {
        secret[0] = (uint8_t)i;
        if (crypto_scalarmult_base(public_key, secret) != 0 || crypto_scalarmult(shared, secret, peer) != 0 ||
            crypto_sign_verify_detached(signature, (const uint8_t*)message, sizeof message, sign_public) != 0) {
            fprintf(stderr, "account_bench: a primitive failed\n");
            return 1;
        }
    }
    primitives = (thread_cpu_ms() - primitives) / primitive_rounds;
    primitives_wall = (now_ms() - primitives_wall) / primitive_rounds;
    printf("account exchange on loopback: %.2f ms per exchange, client CPU %.2f ms (%d exchanges)\n", wall, cpu,
           rounds);
    printf("X25519 pair + Ed25519 verify: %.2f ms CPU (%.2f ms wall) per set\n", primitives, primitives_wall);
    printf("client CPU per exchange / primitives: %.2f\n", primitives > 0 ? cpu / primitives : 0.0);
    return 0;
}
