// Request lines: where a line ends, and what every kind of line is read as.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>

#include <string>

#include "request_line.h"

static const std::string DIGEST(128, 'a');

TEST(RequestLine, FindsLinesAndRefusesOverlongOnes) {
    struct Case {
        std::string input;
        LineState state;
        size_t length;
        size_t consumed;
    } cases[] = {
        {"", LINE_NONE, 0, 0},
        {"BYE", LINE_PARTIAL, 0, 0},
        {"BYE\nGET", LINE_READY, 3, 4},
        {"BYE\r\n", LINE_READY, 3, 5},  // one CR before the LF is dropped
        {"\n", LINE_READY, 0, 1},
        {std::string(255, 'x'), LINE_PARTIAL, 0, 0},
        {std::string(255, 'x') + "\n", LINE_READY, 255, 256},
        {std::string(256, 'x'), LINE_TOO_LONG, 0, 0},
        {std::string(300, 'x') + "\n", LINE_TOO_LONG, 0, 0},
    };
    for (const Case& c : cases) {
        size_t length = 0, consumed = 0;
        EXPECT_EQ(find_request_line(c.input.data(), c.input.size(), &length, &consumed), c.state) << c.input.size();
        if (c.state == LINE_READY) {
            EXPECT_EQ(length, c.length);
            EXPECT_EQ(consumed, c.consumed);
        }
    }
}

TEST(RequestLine, ReadsEveryKindAndSaysWhatIsWrong) {
    struct Case {
        std::string line;
        RequestKind kind;
        const char* error_part;  // for REQUEST_BAD
    } cases[] = {
        {"ZANDOR-UPDATE 1", REQUEST_HELLO, nullptr},
        {"ZANDOR-UPDATE 2", REQUEST_BAD, "unknown request"},
        {"BYE", REQUEST_BYE, nullptr},
        {"BYE now", REQUEST_BAD, "unknown request"},
        {"TOKEN abc", REQUEST_TOKEN, nullptr},
        // A TOKEN line never gets an answer, whatever it holds: the launcher reads none.
        {"TOKEN", REQUEST_TOKEN, nullptr},
        {"TOKEN a b\x01", REQUEST_TOKEN, nullptr},
        {"MANIFEST client", REQUEST_MANIFEST, nullptr},
        {"MANIFEST a_1", REQUEST_MANIFEST, nullptr},
        {"MANIFEST Client", REQUEST_BAD, "channel name"},
        {"MANIFEST ", REQUEST_BAD, "channel name"},
        {"MANIFEST client extra", REQUEST_BAD, "channel name"},
        {"MANIFEST " + std::string(32, 'a'), REQUEST_BAD, "channel name"},
        {"MANIFEST", REQUEST_BAD, "unknown request"},
        {"GET " + DIGEST + " 0 262144", REQUEST_GET, nullptr},
        {"GET " + DIGEST + " 18446744073709551615 1", REQUEST_GET, nullptr},
        {"GET " + DIGEST + " 18446744073709551616 1", REQUEST_BAD, "offset is not a decimal"},
        {"GET " + DIGEST + " 0 262145", REQUEST_BAD, "1 to 262144"},
        {"GET " + DIGEST + " 0 0", REQUEST_BAD, "1 to 262144"},
        {"GET " + DIGEST + " 0 99999999999999999999999", REQUEST_BAD, "length is not a decimal"},
        {"GET " + DIGEST + " -1 5", REQUEST_BAD, "offset is not a decimal"},
        {"GET " + DIGEST + " 0 +5", REQUEST_BAD, "length is not a decimal"},
        {"GET " + DIGEST + "  0 5", REQUEST_BAD, "a digest, an offset and a length"},
        {"GET " + DIGEST + " 0 5 ", REQUEST_BAD, "a digest, an offset and a length"},
        {"GET " + DIGEST + " 0", REQUEST_BAD, "a digest, an offset and a length"},
        {"GET " + std::string(128, 'A') + " 0 5", REQUEST_BAD, "128 lower-case hex"},
        {"GET " + std::string(127, 'a') + " 0 5", REQUEST_BAD, "128 lower-case hex"},
        {"GET " + std::string(127, 'a') + "g 0 5", REQUEST_BAD, "128 lower-case hex"},
        {"get " + DIGEST + " 0 5", REQUEST_BAD, "unknown request"},
        {"", REQUEST_BAD, "unknown request"},
        {std::string("GET\0", 4), REQUEST_BAD, "unknown request"},
    };
    for (const Case& c : cases) {
        Request request;
        parse_request_line(c.line.data(), c.line.size(), &request);
        EXPECT_EQ(request.kind, c.kind) << c.line;
        if (c.kind == REQUEST_BAD) {
            EXPECT_EQ(strncmp(request.error, "ERR ", 4), 0) << c.line;
            EXPECT_NE(strstr(request.error, c.error_part), nullptr) << c.line << " -> " << request.error;
        }
    }
}

TEST(RequestLine, GetGivesItsValues) {
    std::string digest;
    for (int i = 0; i < 64; i++) digest += i == 0 ? "ff" : "01";
    std::string line = "GET " + digest + " 12345678901 262144";
    Request request;
    parse_request_line(line.data(), line.size(), &request);
    ASSERT_EQ(request.kind, REQUEST_GET);
    EXPECT_EQ(request.digest[0], 0xFF);
    EXPECT_EQ(request.digest[63], 0x01);
    EXPECT_EQ(request.offset, 12345678901ull);
    EXPECT_EQ(request.length, 262144u);

    std::string manifest = "MANIFEST beta_2";
    parse_request_line(manifest.data(), manifest.size(), &request);
    ASSERT_EQ(request.kind, REQUEST_MANIFEST);
    EXPECT_EQ(std::string(request.argument, request.argument_length), "beta_2");
}

TEST(RequestLine, ReadsTheProxysLineNamingTheClient) {
    struct Case {
        std::string line;
        bool ok;
        bool known;
        const char* address;
    } cases[] = {
        {"PROXY TCP4 203.0.113.7 10.0.0.1 40000 20292", true, true, "203.0.113.7"},
        {"PROXY TCP6 2001:db8::1 2001:db8::2 40000 20292", true, true, "2001:db8::1"},
        {"PROXY UNKNOWN", true, false, nullptr},
        {"PROXY UNKNOWN 1 2 3 4", true, false, nullptr},
        {"PROXY TCP4 203.0.113.7 10.0.0.1 70000 20292", false, false, nullptr},
        {"PROXY TCP4 2001:db8::1 10.0.0.1 1 2", false, false, nullptr},
        {"PROXY TCP4 203.0.113.7 10.0.0.1 40000", false, false, nullptr},
        {"PROXY TCP4 203.0.113.7 10.0.0.1 40000 20292 x", false, false, nullptr},
        {"PROXY UDP4 203.0.113.7 10.0.0.1 40000 20292", false, false, nullptr},
        {"ZANDOR-UPDATE 1", false, false, nullptr},
    };
    for (const Case& c : cases) {
        sockaddr_storage source;
        bool known = true;
        EXPECT_EQ(parse_proxy_line(c.line.data(), c.line.size(), &source, &known), c.ok) << c.line;
        if (!c.ok) continue;
        EXPECT_EQ(known, c.known) << c.line;
        if (!c.address) continue;
        char text[64] = "";
        const void* raw = source.ss_family == AF_INET ? (const void*)&((sockaddr_in*)&source)->sin_addr
                                                      : (const void*)&((sockaddr_in6*)&source)->sin6_addr;
        inet_ntop(source.ss_family, raw, text, sizeof text);
        EXPECT_STREQ(text, c.address);
    }
}
