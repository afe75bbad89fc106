// The load generator's reading of one answer head: the update protocol's answer line ("OK n" or a
// refusal) and an HTTP/1.1 response head (status, Content-Length, Connection: close). No sockets here.
#pragma once
#include <stddef.h>
#include <stdint.h>

enum AnswerKind {
    ANSWER_OK,       // a payload of `length` bytes follows
    ANSWER_REFUSED,  // the server's refusal (a line not beginning with "OK ", or an HTTP status it did not want)
    ANSWER_BAD,      // not a valid answer at all (bad length, broken head)
};

struct AnswerHead {
    AnswerKind kind;
    uint64_t length;  // payload bytes (ANSWER_OK)
    int status;       // HTTP status (HTTP heads only)
    bool close;       // HTTP: the server closes the connection after this answer
};

// One answer line of the update protocol without its LF; CR bytes are ignored wherever they stand.
// "OK n" with n a decimal number of at most `maximum` is ANSWER_OK; any other line beginning with
// "OK " is ANSWER_BAD; anything else ANSWER_REFUSED.
AnswerHead parse_answer_line(const char* line, size_t size, uint64_t maximum);

// The head of an HTTP/1.1 response, up to and including its blank line. A status of `wanted` with a
// Content-Length of at most `maximum` is ANSWER_OK; another status is ANSWER_REFUSED; a head without a
// status line or a Content-Length is ANSWER_BAD.
AnswerHead parse_http_head(const char* head, size_t size, int wanted, uint64_t maximum);

// Where the head of an answer ends in `data` (the index just after its terminator: LF for a line,
// CR LF CR LF for an HTTP head), or 0 when it has not ended yet.
size_t line_end(const char* data, size_t size);
size_t http_head_end(const char* data, size_t size);
