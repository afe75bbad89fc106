// The incremental SHA-512 over OpenSSL's SHA512_Init/Update/Final (kept by OpenSSL 3 for exactly
// this low-level use; the deprecation notice is silenced, the functions are not going away in 3.x).
#define OPENSSL_SUPPRESS_DEPRECATED
#include "updates/sha512_stream.h"

#include <openssl/sha.h>
#include <string.h>

static_assert(sizeof(SHA512_CTX) <= sizeof(Sha512Stream::opaque), "Sha512Stream is too small for SHA512_CTX");
static_assert(alignof(SHA512_CTX) <= 8, "Sha512Stream is not aligned enough for SHA512_CTX");

#if defined(_WIN32)
// The static libcrypto reads the processor's features once into the word its assembly consults;
// this call links that probe in (it also runs as a start-up constructor) and does nothing after the
// first time. The host's shared libcrypto of the native build does this by itself.
extern "C" void OPENSSL_cpuid_setup(void);
#endif

static SHA512_CTX* context(Sha512Stream* stream) { return reinterpret_cast<SHA512_CTX*>(stream->opaque); }

void sha512_start(Sha512Stream* stream) {
#if defined(_WIN32)
    OPENSSL_cpuid_setup();
#endif
    SHA512_Init(context(stream));
}

void sha512_add(Sha512Stream* stream, const void* data, size_t length) {
    if (length) SHA512_Update(context(stream), data, length);
}

void sha512_finish(Sha512Stream* stream, uint8_t digest[64]) {
    SHA512_Final(digest, context(stream));
    memset(stream->opaque, 0, sizeof stream->opaque);
}

void sha512_bytes(const void* data, size_t length, uint8_t digest[64]) {
    Sha512Stream stream;
    sha512_start(&stream);
    sha512_add(&stream, data, length);
    sha512_finish(&stream, digest);
}
