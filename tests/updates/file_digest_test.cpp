// Whole files hashed by sha512_file and checked by file_matches, against libsodium's digest of the
// same bytes; and every code path of OpenSSL's x86 assembly giving the same digests.
#include <gtest/gtest.h>
#include <sodium.h>

#include <windows.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/codecs.h"
#include "support/test_support.h"
#include "updates/file_digest.h"
#include "updates/sha512_stream.h"

// OpenSSL's processor-feature words, which its assembly reads on every call.
extern "C" unsigned int OPENSSL_ia32cap_P[4];

namespace {

std::string random_text(size_t length, uint32_t seed) {
    std::string bytes(length, '\0');
    uint32_t x = seed | 1;
    for (auto& byte : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        byte = (char)(x >> 11);
    }
    return bytes;
}

std::string hex_of(const uint8_t digest[64]) {
    char hex[DIGEST_HEX_CAP];
    hex_encode(digest, 64, hex);
    return hex;
}

std::string sodium_hex(const std::string& bytes) {
    uint8_t digest[64];
    crypto_hash_sha512(digest, (const uint8_t*)bytes.data(), bytes.size());
    return hex_of(digest);
}

struct Folder {
    std::string path = make_temp_folder("digest");
    ~Folder() { remove_tree(path); }
};

}  // namespace

TEST(FileDigest, RandomFilesHashLikeLibsodiumAndMatchTheirEntries) {
    Folder folder;
    // Empty, around the 128-byte block, around the 262144-byte read block, and a few blocks.
    const size_t sizes[] = {0, 1, 111, 112, 127, 128, 129, 262143, 262144, 262145, 3 * 262144 + 77, 5000000};
    uint32_t seed = 1;
    for (size_t size : sizes) {
        std::string bytes = random_text(size, seed++);
        std::string path = folder.path + "\\file_" + std::to_string(size) + ".bin";
        ASSERT_TRUE(write_file(path, bytes));

        uint8_t digest[64];
        uint64_t read = 12345;
        ASSERT_TRUE(sha512_file(path.c_str(), digest, &read)) << size;
        EXPECT_EQ(read, size);
        EXPECT_EQ(hex_of(digest), sodium_hex(bytes)) << size;

        ManifestFile entry = {};
        entry.size = size;
        memcpy(entry.sha512, digest, 64);
        EXPECT_TRUE(file_matches(path.c_str(), &entry)) << size;
        entry.sha512[63] ^= 1;
        EXPECT_FALSE(file_matches(path.c_str(), &entry)) << size;
        entry.sha512[63] ^= 1;
        entry.size = size + 1;
        EXPECT_FALSE(file_matches(path.c_str(), &entry)) << size;
    }
}

TEST(FileDigest, MissingFilesAndFoldersDoNotHash) {
    Folder folder;
    uint8_t digest[64];
    uint64_t read = 0;
    EXPECT_FALSE(sha512_file((folder.path + "\\absent.bin").c_str(), digest, &read));
    EXPECT_FALSE(sha512_file(folder.path.c_str(), digest, &read));
    ManifestFile entry = {};
    EXPECT_FALSE(file_matches((folder.path + "\\absent.bin").c_str(), &entry));
    // A folder is not a file of size 0.
    EXPECT_FALSE(file_matches(folder.path.c_str(), &entry));
}

// The assembly picks SSSE3, SSE2 or integer-only code from the feature words; masking bits off
// forces the slower paths, so each one the processor can run is checked against libsodium.
TEST(FileDigest, EveryCodePathOfTheAssemblyGivesTheSameDigests) {
    uint8_t warm[64];
    sha512_bytes("", 0, warm);  // the feature words are filled by now
    unsigned int saved[4];
    memcpy(saved, OPENSSL_ia32cap_P, sizeof saved);
    struct Path {
        const char* name;
        unsigned int clear0, clear1;
    };
    const Path paths[] = {
        {"as detected", 0, 0},
        {"SSE2 (no SSSE3)", 0, 1u << 9},
        {"integer-only (no SSE2)", 1u << 26, 1u << 9},
    };
    std::string data = random_text(262144 * 2 + 300, 99);
    for (const Path& path : paths) {
        OPENSSL_ia32cap_P[0] = saved[0] & ~path.clear0;
        OPENSSL_ia32cap_P[1] = saved[1] & ~path.clear1;
        for (size_t length : {size_t(0), size_t(3), size_t(111), size_t(112), size_t(128), size_t(239), size_t(256),
                              size_t(300), data.size()}) {
            std::string message = data.substr(0, length);
            uint8_t digest[64];
            sha512_bytes(message.data(), message.size(), digest);
            EXPECT_EQ(hex_of(digest), sodium_hex(message)) << path.name << ", length " << length;
        }
        // Pieces that leave the block buffer part full between calls.
        Sha512Stream stream;
        sha512_start(&stream);
        for (size_t at = 0, piece = 1; at < data.size(); at += piece, piece = piece * 3 % 1000 + 1) {
            sha512_add(&stream, data.data() + at, std::min(piece, data.size() - at));
        }
        uint8_t digest[64];
        sha512_finish(&stream, digest);
        EXPECT_EQ(hex_of(digest), sodium_hex(data)) << path.name << ", in pieces";
    }
    memcpy(OPENSSL_ia32cap_P, saved, sizeof saved);
}
