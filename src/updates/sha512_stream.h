// SHA-512 of file and manifest data, incremental, through OpenSSL's libcrypto: in the 32-bit
// launcher that is its x86 assembly, which picks the fastest code path the processor offers (SSSE3,
// SSE2 or integer-only) at run time. Signatures and the secure link keep libsodium's own hashing.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The running state of one digest. Its bytes are OpenSSL's context; callers need no OpenSSL header.
struct Sha512Stream {
    alignas(8) unsigned char opaque[256];
};

void sha512_start(Sha512Stream* stream);
// Adds the next length bytes of the message; any piece sizes give the same digest.
void sha512_add(Sha512Stream* stream, const void* data, size_t length);
// Writes the digest and wipes the state.
void sha512_finish(Sha512Stream* stream, uint8_t digest[64]);
// The digest of one whole message.
void sha512_bytes(const void* data, size_t length, uint8_t digest[64]);
