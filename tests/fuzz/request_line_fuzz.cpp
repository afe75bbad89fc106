// The update server's request lines: any byte stream is cut into lines no longer than the limit, and
// every line reads as one request (or as a proxy's line naming the client). A GET read back from its
// own canonical line gives the same values; an error answer is one printable "ERR ..." line.
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>

#include "fuzz_check.h"
#include "request_line.h"

static void check_line(const char* line, size_t length) {
    // Behind a proxy the first line may name the client instead.
    sockaddr_storage source;
    bool known = false;
    if (parse_proxy_line(line, length, &source, &known) && known) {
        FUZZ_CHECK(source.ss_family == AF_INET || source.ss_family == AF_INET6);
        FUZZ_CHECK(length >= 6 && memcmp(line, "PROXY ", 6) == 0);
    }
    Request request;
    parse_request_line(line, length, &request);
    switch (request.kind) {
    case REQUEST_GET: {
        FUZZ_CHECK(request.length >= 1 && request.length <= PIECE_MAX);
        char canonical[REQUEST_LINE_MAX + 1];
        int n = snprintf(canonical, sizeof canonical, "GET ");
        for (int i = 0; i < 64; i++) n += snprintf(canonical + n, sizeof canonical - n, "%02x", request.digest[i]);
        n += snprintf(canonical + n, sizeof canonical - n, " %llu %u", (unsigned long long)request.offset,
                      request.length);
        Request again;
        parse_request_line(canonical, (size_t)n, &again);
        FUZZ_CHECK(again.kind == REQUEST_GET);
        FUZZ_CHECK(memcmp(again.digest, request.digest, 64) == 0);
        FUZZ_CHECK(again.offset == request.offset && again.length == request.length);
        break;
    }
    case REQUEST_TOKEN:
    case REQUEST_MANIFEST:
        FUZZ_CHECK(request.argument >= line && request.argument + request.argument_length <= line + length);
        if (request.kind == REQUEST_MANIFEST) {
            FUZZ_CHECK(request.argument_length >= 1 && request.argument_length <= CHANNEL_MAX);
        }
        break;
    case REQUEST_BAD: {
        size_t error_length = strnlen(request.error, sizeof request.error);
        FUZZ_CHECK(error_length < sizeof request.error);
        FUZZ_CHECK(strncmp(request.error, "ERR ", 4) == 0);
        for (size_t i = 0; i < error_length; i++) FUZZ_CHECK(request.error[i] >= 0x20 && request.error[i] < 0x7F);
        FUZZ_CHECK(request.error_kind != nullptr);
        break;
    }
    case REQUEST_HELLO:
        FUZZ_CHECK(length == strlen(HELLO_LINE));
        break;
    case REQUEST_BYE:
        FUZZ_CHECK(length == 3);
        break;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The input as a connection's byte stream, read through a buffer of the server's size.
    char buffer[REQUEST_LINE_MAX + 1];
    size_t used = 0, at = 0;
    for (;;) {
        size_t room = sizeof buffer - used;
        size_t take = size - at < room ? size - at : room;
        memcpy(buffer + used, data + at, take);
        used += take;
        at += take;
        size_t line_length = 0, consumed = 0;
        LineState state = find_request_line(buffer, used, &line_length, &consumed);
        if (state == LINE_READY) {
            FUZZ_CHECK(consumed >= 1 && consumed <= used && line_length < consumed);
            FUZZ_CHECK(line_length <= REQUEST_LINE_MAX);
            FUZZ_CHECK(memchr(buffer, '\n', line_length) == nullptr);
            check_line(buffer, line_length);
            memmove(buffer, buffer + consumed, used - consumed);
            used -= consumed;
            continue;
        }
        if (state == LINE_TOO_LONG) {
            FUZZ_CHECK(used == sizeof buffer && memchr(buffer, '\n', used) == nullptr);
            return 0;  // the server closes here
        }
        FUZZ_CHECK(state == (used == 0 ? LINE_NONE : LINE_PARTIAL));
        if (at == size) {
            check_line(buffer, used);  // a last line cut off by the end of the stream
            return 0;
        }
    }
}
