// The SHA-512 of files and manifests: FIPS 180 vectors, every length around the block boundaries and
// random messages against libsodium's digest, and pieces of any size giving the same digest.
#include <gtest/gtest.h>
#include <sodium.h>

#include <string>
#include <vector>

#include "core/codecs.h"
#include "updates/sha512_stream.h"

namespace {

std::string hex_of(const uint8_t digest[64]) {
    char hex[129];
    hex_encode(digest, 64, hex);
    return hex;
}

std::string sodium_hex(const uint8_t* data, size_t length) {
    uint8_t digest[64];
    crypto_hash_sha512(digest, data, length);
    return hex_of(digest);
}

// A fixed pseudo-random byte sequence (xorshift), so that a failure can be reproduced.
std::vector<uint8_t> random_bytes(size_t length, uint32_t seed) {
    std::vector<uint8_t> bytes(length);
    uint32_t x = seed | 1;
    for (auto& byte : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        byte = (uint8_t)(x >> 11);
    }
    return bytes;
}

// Hashes data fed in pieces whose sizes come from the seed (1 byte up to max_piece bytes).
std::string pieces_hex(const std::vector<uint8_t>& data, size_t max_piece, uint32_t seed) {
    std::vector<uint8_t> sizes = random_bytes(data.size() + 1, seed);
    Sha512Stream stream;
    sha512_start(&stream);
    size_t at = 0, i = 0;
    while (at < data.size()) {
        size_t piece = 1 + (sizes[i++ % sizes.size()] * 2654435761u) % max_piece;
        if (piece > data.size() - at) piece = data.size() - at;
        sha512_add(&stream, data.data() + at, piece);
        // Empty pieces in between change nothing.
        if (i % 7 == 0) sha512_add(&stream, data.data(), 0);
        at += piece;
    }
    uint8_t digest[64];
    sha512_finish(&stream, digest);
    return hex_of(digest);
}

}  // namespace

TEST(Sha512Stream, Fips180Vectors) {
    struct Vector {
        std::string message;
        const char* digest;
    };
    const Vector vectors[] = {
        {"abc",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
        {"",
         "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e"},
        // 448 bits.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "204a8fc6dda82f0a0ced7beb8e08a41657c16ef468b228a8279be331a703c33596fd15c13b1b07f9aa1d3bea57789ca031ad85c7a71dd70354ec631238ca3445"},
        // 896 bits.
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrst"
         "nopqrstu",
         "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909"},
    };
    for (const Vector& vector : vectors) {
        uint8_t digest[64];
        sha512_bytes(vector.message.data(), vector.message.size(), digest);
        EXPECT_EQ(hex_of(digest), vector.digest) << '"' << vector.message << '"';
    }

    // One million 'a', in pieces of 1000.
    std::string thousand(1000, 'a');
    Sha512Stream stream;
    sha512_start(&stream);
    for (int i = 0; i < 1000; i++) sha512_add(&stream, thousand.data(), thousand.size());
    uint8_t digest[64];
    sha512_finish(&stream, digest);
    EXPECT_EQ(hex_of(digest),
              "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432ce577c31beb009c5c2c"
              "49aa2e4eadb217ad8cc09b");
}

TEST(Sha512Stream, EveryLengthUpTo300EqualsLibsodiumWholeAndInPieces) {
    std::vector<uint8_t> data = random_bytes(300, 12345);
    for (size_t length = 0; length <= 300; length++) {
        std::vector<uint8_t> message(data.begin(), data.begin() + length);
        uint8_t digest[64];
        sha512_bytes(message.data(), message.size(), digest);
        std::string expected = sodium_hex(message.data(), message.size());
        ASSERT_EQ(hex_of(digest), expected) << "length " << length;
        ASSERT_EQ(pieces_hex(message, 1 + length % 130, (uint32_t)length), expected) << "length " << length;
    }
}

TEST(Sha512Stream, RandomMessagesInRandomPiecesEqualLibsodium) {
    // Sizes around the 128-byte block and the 262144-byte read block of sha512_file.
    const size_t sizes[] = {1000, 262143, 262144, 262145, 1048576 + 77};
    uint32_t seed = 7;
    for (size_t size : sizes) {
        std::vector<uint8_t> message = random_bytes(size, seed++);
        std::string expected = sodium_hex(message.data(), message.size());
        uint8_t digest[64];
        sha512_bytes(message.data(), message.size(), digest);
        EXPECT_EQ(hex_of(digest), expected) << size;
        for (size_t max_piece : {size_t(1) << 3, size_t(300), size_t(65536), size}) {
            if (max_piece == 8 && size > 300000) continue;  // byte-sized pieces of a megabyte add nothing
            EXPECT_EQ(pieces_hex(message, max_piece, seed++), expected) << size << " in pieces up to " << max_piece;
        }
    }
}
