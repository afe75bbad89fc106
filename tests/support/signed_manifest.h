// Test helper: builds manifest texts and signs them with the test release keys (ids 1 and 2 of the
// test build) or with a key the build does not trust. Header-only and portable, so that the native
// sanitizer build can use it too.
#pragma once

#include <sodium.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

// Seeds of the test key pairs (test keys only; their public halves are in tests/test_config.cmake).
enum TestKey { TEST_KEY_1 = 1, TEST_KEY_2 = 2, TEST_KEY_UNTRUSTED = 3 };

inline void test_key_pair(TestKey key, uint8_t public_key[32], uint8_t secret_key[64]) {
    static const uint8_t seeds[3][32] = {
        {0xca, 0x17, 0x58, 0x7b, 0x76, 0xa8, 0x83, 0x8d, 0x10, 0x66, 0x53, 0xb7, 0xd9, 0xcb, 0xfd, 0xbe,
         0x62, 0x1b, 0x1c, 0x9f, 0x16, 0x81, 0xdb, 0x81, 0xe2, 0x3d, 0x32, 0x51, 0xb8, 0x58, 0xe1, 0xae},
        {0xe2, 0x2e, 0xeb, 0xa3, 0x52, 0xda, 0x8e, 0xcb, 0xd9, 0x4a, 0x83, 0xc9, 0x50, 0xec, 0xeb, 0xe6,
         0x4b, 0x7a, 0x60, 0xd3, 0xd2, 0x5e, 0x54, 0x27, 0xb7, 0xa5, 0xa2, 0x10, 0xfc, 0x28, 0x21, 0x1d},
        {0xdc, 0x4e, 0xdf, 0x24, 0x79, 0x52, 0x39, 0x6c, 0xd3, 0xe2, 0x66, 0x50, 0x0f, 0x92, 0xc8, 0x29,
         0xd9, 0xdc, 0xc3, 0xfd, 0xe2, 0x9e, 0x93, 0xfe, 0x89, 0x8d, 0x67, 0x3c, 0x83, 0xd4, 0x83, 0x86},
    };
    if (sodium_init() < 0) abort();
    if (crypto_sign_seed_keypair(public_key, secret_key, seeds[key - 1]) != 0) abort();
}

inline std::string base64_text(const uint8_t* bytes, size_t n, bool url_safe, bool padding) {
    const char* alphabet = url_safe ? "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"
                                    : "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (size_t i = 0; i < n; i++) {
        bits = (bits << 8) | bytes[i];
        count += 8;
        while (count >= 6) {
            count -= 6;
            out += alphabet[(bits >> count) & 63];
        }
    }
    if (count > 0) out += alphabet[(bits << (6 - count)) & 63];
    while (padding && out.size() % 4 != 0) out += '=';
    return out;
}

inline std::vector<uint8_t> sign_body_bytes(const std::string& body, TestKey key) {
    uint8_t public_key[32], secret_key[64];
    test_key_pair(key, public_key, secret_key);
    std::string message = "ZANDOR-UPDATE-MANIFEST-1\n" + body;
    std::vector<uint8_t> signature(64);
    if (crypto_sign_detached(signature.data(), nullptr, (const uint8_t*)message.data(), message.size(),
                             secret_key) != 0) {
        abort();
    }
    return signature;
}

// The signature line's third field for body.
inline std::string signature_field(const std::string& body, TestKey key, bool url_safe = true,
                                   bool padding = false) {
    std::vector<uint8_t> signature = sign_body_bytes(body, key);
    return base64_text(signature.data(), signature.size(), url_safe, padding);
}

// body (ending in LF) + "signature" TAB id TAB base64 + line_end.
inline std::string signed_manifest(const std::string& body, TestKey key = TEST_KEY_1,
                                   const std::string& key_id = "", const std::string& line_end = "\n") {
    std::string id = key_id.empty() ? std::to_string(key == TEST_KEY_2 ? 2 : 1) : key_id;
    return body + "signature\t" + id + "\t" + signature_field(body, key) + line_end;
}

inline std::string digest_hex(char seed) {
    std::string hex;
    const char* digits = "0123456789abcdef";
    for (int i = 0; i < 128; i++) hex += digits[(seed + i) & 15];
    return hex;
}

// A body of lines joined with LF, ending in LF.
inline std::string body_of(const std::vector<std::string>& lines) {
    std::string body;
    for (const std::string& line : lines) body += line + "\n";
    return body;
}

// The lines of a complete valid manifest with all four parts and two known DLLs.
inline std::vector<std::string> full_manifest_lines() {
    return {
        "ZANDOR-UPDATE-MANIFEST\t1",
        "channel\tclient",
        "release\t7",
        "issued_utc_ms\t1700000000000",
        "part\tdll\t12\trequired",
        "file\tdll\td3d8.dll\t1234\t" + digest_hex(1),
        "part\tbots\t3\toptional",
        "file\tbots\tbot.jar\t10\t" + digest_hex(2),
        "file\tbots\tlib-extra.jar\t11\t" + digest_hex(3),
        "part\truntime\t2\toptional",
        "file\truntime\tbin/java.exe\t20\t" + digest_hex(4),
        "file\truntime\tlib/rt.jar\t21\t" + digest_hex(5),
        "file\truntime\tlib/security/java.policy\t22\t" + digest_hex(6),
        "part\tlauncher\t5\trequired",
        "file\tlauncher\tZANDOR Launcher.exe\t30\t" + digest_hex(7),
        "known_dll\t" + digest_hex(8),
        "known_dll\t" + digest_hex(9),
    };
}
