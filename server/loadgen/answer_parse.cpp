// Reading answer heads of the update protocol and of HTTP/1.1 (see answer_parse.h).
#include "answer_parse.h"

#include <string.h>

namespace {

// A decimal number of digits only (at least one) not above maximum.
bool parse_count(const char* text, size_t size, uint64_t maximum, uint64_t* value) {
    if (size == 0 || size > 19) return false;
    uint64_t n = 0;
    for (size_t i = 0; i < size; i++) {
        if (text[i] < '0' || text[i] > '9') return false;
        n = n * 10 + (uint64_t)(text[i] - '0');
    }
    if (n > maximum) return false;
    *value = n;
    return true;
}

bool same_word(const char* text, size_t size, const char* word) {
    size_t n = strlen(word);
    if (size != n) return false;
    for (size_t i = 0; i < n; i++) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        if (c != word[i]) return false;
    }
    return true;
}

// The value of a header line without the spaces around it.
void trim(const char** text, size_t* size) {
    while (*size > 0 && (**text == ' ' || **text == '\t')) { (*text)++; (*size)--; }
    while (*size > 0 && ((*text)[*size - 1] == ' ' || (*text)[*size - 1] == '\t')) (*size)--;
}

}  // namespace

AnswerHead parse_answer_line(const char* line, size_t size, uint64_t maximum) {
    AnswerHead head = {ANSWER_REFUSED, 0, 0, false};
    char text[256];
    size_t n = 0;
    for (size_t i = 0; i < size && n < sizeof text; i++)
        if (line[i] != '\r') text[n++] = line[i];
    if (n < 3 || memcmp(text, "OK ", 3) != 0) return head;
    if (!parse_count(text + 3, n - 3, maximum, &head.length)) {
        head.kind = ANSWER_BAD;
        return head;
    }
    head.kind = ANSWER_OK;
    return head;
}

AnswerHead parse_http_head(const char* head, size_t size, int wanted, uint64_t maximum) {
    AnswerHead answer = {ANSWER_BAD, 0, 0, false};
    bool have_length = false;
    size_t at = 0;
    bool first = true;
    while (at < size) {
        size_t end = at;
        while (end < size && head[end] != '\n') end++;
        size_t n = end - at;
        if (n > 0 && head[at + n - 1] == '\r') n--;
        const char* line = head + at;
        at = end + 1;
        if (first) {
            first = false;
            // "HTTP/1.x NNN reason"
            if (n < 12 || memcmp(line, "HTTP/1.", 7) != 0 || line[8] != ' ') return answer;
            uint64_t status = 0;
            if (!parse_count(line + 9, 3, 999, &status)) return answer;
            answer.status = (int)status;
            continue;
        }
        if (n == 0) break;
        const char* colon = (const char*)memchr(line, ':', n);
        if (!colon) return answer;
        size_t name_size = (size_t)(colon - line);
        const char* value = colon + 1;
        size_t value_size = n - name_size - 1;
        trim(&value, &value_size);
        if (same_word(line, name_size, "content-length")) {
            if (!parse_count(value, value_size, maximum, &answer.length)) return answer;
            have_length = true;
        } else if (same_word(line, name_size, "connection") && same_word(value, value_size, "close")) {
            answer.close = true;
        }
    }
    if (first) return answer;
    if (answer.status != wanted) {
        answer.kind = ANSWER_REFUSED;
        return answer;
    }
    if (!have_length) return answer;
    answer.kind = ANSWER_OK;
    return answer;
}

size_t line_end(const char* data, size_t size) {
    const char* lf = (const char*)memchr(data, '\n', size);
    return lf ? (size_t)(lf - data) + 1 : 0;
}

size_t http_head_end(const char* data, size_t size) {
    for (size_t i = 3; i < size; i++)
        if (data[i] == '\n' && data[i - 1] == '\r' && data[i - 2] == '\n' && data[i - 3] == '\r') return i + 1;
    return 0;
}
