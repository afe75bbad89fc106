// Ed25519 verification (RFC 8032 vectors, S not below the group order) and the release key table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/codecs.h"
#include "support/signed_manifest.h"
#include "updates/release_keys.h"

namespace {

std::vector<uint8_t> from_hex(const std::string& hex) {
    std::vector<uint8_t> bytes(hex.size() / 2);
    EXPECT_TRUE(hex_decode(hex.c_str(), bytes.data(), bytes.size()));
    return bytes;
}

// RFC 8032, section 7.1, TEST 1 to TEST 3: public key, message, signature.
const char* const VECTORS[3][3] = {
    {"d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"},
    {"3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00"},
    {"fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
     "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28dc027beceea1ec40a"},
};

// Adds the group order L to the scalar half S (little-endian) of a signature.
void add_group_order(uint8_t signature[64]) {
    static const uint8_t L[32] = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7,
                                  0xa2, 0xde, 0xf9, 0xde, 0x14, 0,    0,    0,    0,    0,    0,
                                  0,    0,    0,    0,    0,    0,    0,    0,    0,    0x10};
    unsigned carry = 0;
    for (int i = 0; i < 32; i++) {
        unsigned sum = signature[32 + i] + L[i] + carry;
        signature[32 + i] = (uint8_t)sum;
        carry = sum >> 8;
    }
}

}  // namespace

TEST(Ed25519, Rfc8032VectorsVerifyAndAlteredOnesDoNot) {
    for (const auto& vector : VECTORS) {
        std::vector<uint8_t> key = from_hex(vector[0]), message = from_hex(vector[1]),
                             signature = from_hex(vector[2]);
        EXPECT_TRUE(ed25519_verify(signature.data(), message.data(), message.size(), key.data()));

        std::vector<uint8_t> longer = message;
        longer.push_back(0);
        EXPECT_FALSE(ed25519_verify(signature.data(), longer.data(), longer.size(), key.data()));
        std::vector<uint8_t> bent = signature;
        bent[10] ^= 0x40;
        EXPECT_FALSE(ed25519_verify(bent.data(), message.data(), message.size(), key.data()));
        // S + L is the same scalar modulo L, so only the range check refuses it.
        std::vector<uint8_t> wide = signature;
        add_group_order(wide.data());
        EXPECT_FALSE(ed25519_verify(wide.data(), message.data(), message.size(), key.data()));
    }
}

TEST(Ed25519, KeyThatIsNotACurvePointIsRefused) {
    std::vector<uint8_t> message = from_hex(VECTORS[1][1]), signature = from_hex(VECTORS[1][2]);
    std::vector<uint8_t> key(32, 0xff);
    EXPECT_FALSE(ed25519_verify(signature.data(), message.data(), message.size(), key.data()));
}

TEST(ReleaseKeys, TestBuildTrustsKeysOneAndTwo) {
    EXPECT_EQ(trusted_key_count(), 2);
    for (uint32_t id : {0u, 3u, 200u, 255u, 256u, 257u}) EXPECT_EQ(find_release_key(id), nullptr) << id;
    for (TestKey which : {TEST_KEY_1, TEST_KEY_2}) {
        uint8_t public_key[32], secret_key[64];
        test_key_pair(which, public_key, secret_key);
        const ReleaseKey* key = find_release_key((uint32_t)which);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->id, (uint32_t)which);
        EXPECT_EQ(memcmp(key->public_key, public_key, 32), 0);
    }
}
