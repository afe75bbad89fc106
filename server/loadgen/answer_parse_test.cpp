// The load generator's reading of answer heads: a wrong reading would count a refusal as payload (or
// the other way round) and make every figure of the benchmark meaningless.
#include <stdio.h>
#include <string.h>

#include "answer_parse.h"

namespace {

int passed = 0, failed = 0;

void check(bool ok, const char* what, const char* input) {
    if (ok) {
        passed++;
        return;
    }
    failed++;
    printf("FAILED: %s: '%s'\n", what, input);
}

struct LineCase {
    const char* line;
    uint64_t maximum;
    AnswerKind kind;
    uint64_t length;
};

struct HttpCase {
    const char* head;
    int wanted;
    AnswerKind kind;
    uint64_t length;
    bool close;
};

}  // namespace

int main() {
    const LineCase lines[] = {
        {"OK 262144", 262144, ANSWER_OK, 262144},
        {"OK 12\r", 262144, ANSWER_OK, 12},
        {"O\rK 7", 262144, ANSWER_OK, 7},          // CR ignored wherever it stands
        {"OK 262145", 262144, ANSWER_BAD, 0},      // above the piece asked for
        {"OK ", 262144, ANSWER_BAD, 0},
        {"OK -1", 262144, ANSWER_BAD, 0},
        {"OK 12x", 262144, ANSWER_BAD, 0},
        {"OK 99999999999999999999", ~0ull, ANSWER_BAD, 0},
        {"OK12", 262144, ANSWER_REFUSED, 0},
        {"ERR unknown file", 262144, ANSWER_REFUSED, 0},
        {"", 262144, ANSWER_REFUSED, 0},
    };
    for (const LineCase& c : lines) {
        AnswerHead head = parse_answer_line(c.line, strlen(c.line), c.maximum);
        check(head.kind == c.kind && (c.kind != ANSWER_OK || head.length == c.length), "answer line", c.line);
    }

    const HttpCase heads[] = {
        {"HTTP/1.1 206 Partial Content\r\nServer: x\r\nContent-Length: 262144\r\n"
         "Content-Range: bytes 0-262143/33554432\r\n\r\n", 206, ANSWER_OK, 262144, false},
        {"HTTP/1.1 200 OK\r\ncontent-length:  1234 \r\nConnection: close\r\n\r\n", 200, ANSWER_OK, 1234, true},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1234\r\n\r\n", 206, ANSWER_REFUSED, 0, false},  // range ignored
        {"HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\n\r\n", 206, ANSWER_REFUSED, 0, false},
        {"HTTP/1.1 206 Partial Content\r\n\r\n", 206, ANSWER_BAD, 0, false},                  // no length
        {"HTTP/1.1 206 Partial Content\r\nContent-Length: 262145\r\n\r\n", 206, ANSWER_BAD, 0, false},
        {"HTTP/1.1 206 Partial Content\r\nContent-Length: 1e3\r\n\r\n", 206, ANSWER_BAD, 0, false},
        {"SSH-2.0-x\r\n\r\n", 206, ANSWER_BAD, 0, false},
        {"HTTP/1.1 206 Partial Content\r\nBroken header\r\n\r\n", 206, ANSWER_BAD, 0, false},
    };
    for (const HttpCase& c : heads) {
        AnswerHead head = parse_http_head(c.head, strlen(c.head), c.wanted, 262144);
        check(head.kind == c.kind && (c.kind != ANSWER_OK || (head.length == c.length && head.close == c.close)),
              "HTTP head", c.head);
    }

    // Ends of heads, also when the terminator is not in the first bytes.
    check(line_end("OK 5\nabcde", 10) == 5, "line end", "OK 5\\nabcde");
    check(line_end("OK 5", 4) == 0, "no line end yet", "OK 5");
    const char* http = "HTTP/1.1 200 OK\r\nA: b\r\n\r\nbody";
    check(http_head_end(http, strlen(http)) == strlen(http) - 4, "head end", http);
    check(http_head_end(http, 22) == 0, "no head end yet", http);

    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
