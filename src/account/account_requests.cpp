// The account requests: request lines, answers, and what is stored from them.
#include "account/account_requests.h"

#include <windows.h>

#include <string.h>

#include "account/account_files.h"
#include "account/link_exchange.h"
#include "account/machine_sources.h"
#include "account/pc_marker.h"

// Room for the longest request line the link takes and one byte more, so that a longer one is
// refused by the link instead of being cut here.
#define REQUEST_CAP (LINK_TEXT_MAX + 2)
#define SHORT_ANSWER_CAP 64    // 63-byte answers: ACCEPTTERMS, LOGOUT, NOTME
#define LOGIN_ANSWER_CAP 4097  // 4096-byte answers: WEBPOLL, RENEW, AUTO
#define WEBLOGIN_ANSWER_CAP 1024
#define GAME_ANSWER_CAP 512

void make_client_name(const char* own_version, char* out, size_t capacity) {
    format_text(out, capacity, "launcher-%s", own_version && own_version[0] ? own_version : "0");
}

// One exchange of a request line; the line and the answer are the caller's and hold secrets.
static bool exchange(const char* host, unsigned short port, char* line, char* answer, size_t answer_capacity,
                     AccountReply* reply, const volatile long* stop = nullptr) {
    bool answered = link_exchange(host, port, line, answer, answer_capacity, reply, stop);
    wipe(line, REQUEST_CAP);
    return answered;
}

static void store_answer_marker(const AccountReply* reply) {
    if (reply->ok && is_pc_marker(reply->pc_marker)) store_marker(reply->pc_marker);
}

bool request_web_login(const char* host, unsigned short port, const char* client_name, WebLoginRequest* request,
                       AccountReply* reply) {
    memset(reply, 0, sizeof *reply);
    memset(request, 0, sizeof *request);
    char id[MACHINE_ID_CAP], markers[MARKERS_FIELD_CAP], line[REQUEST_CAP], answer[WEBLOGIN_ANSWER_CAP];
    machine_id(id, sizeof id);
    collect_markers(markers, sizeof markers);
    format_text(line, sizeof line, "WEBLOGIN\t%s\t%s\t%s", id, markers, client_name);
    if (!exchange(host, port, line, answer, sizeof answer, reply)) return false;
    bool ok = parse_request_answer(answer, request, reply);
    request->started_tick = GetTickCount();
    wipe(answer, sizeof answer);
    return ok;
}

int poll_web_login(const char* host, unsigned short port, const WebLoginRequest* request, AccountReply* reply) {
    memset(reply, 0, sizeof *reply);
    char id[MACHINE_ID_CAP], line[REQUEST_CAP];
    static_assert(LOGIN_ANSWER_CAP <= 4097, "answer buffer on the worker's stack");
    char answer[LOGIN_ANSWER_CAP];
    machine_id(id, sizeof id);
    format_text(line, sizeof line, "WEBPOLL\t%s\t%s\t%s", request->request_id, request->poll_key, id);
    if (!exchange(host, port, line, answer, sizeof answer, reply)) {
        // A passing network problem does not end the browser log-in; a false server does.
        return strcmp(reply->error_code, "not_our_server") == 0 ? -1 : 0;
    }
    int result = 0;
    if (strcmp(answer, "PENDING") != 0) {
        parse_login_answer(answer, reply);
        store_answer_marker(reply);
        result = reply->ok ? 1 : -1;
    }
    wipe(answer, sizeof answer);
    return result;
}

// RENEW (with a token) or AUTO (without).
static bool log_in(const char* host, unsigned short port, const char* token, const char* client_name,
                   AccountReply* reply) {
    memset(reply, 0, sizeof *reply);
    char id[MACHINE_ID_CAP], markers[MARKERS_FIELD_CAP], line[REQUEST_CAP], answer[LOGIN_ANSWER_CAP];
    machine_id(id, sizeof id);
    collect_markers(markers, sizeof markers);
    if (token) {
        format_text(line, sizeof line, "RENEW\t%s\t%s\t%s\t%s", token, id, markers, client_name);
    } else {
        format_text(line, sizeof line, "AUTO\t%s\t%s\t%s", id, markers, client_name);
    }
    if (exchange(host, port, line, answer, sizeof answer, reply)) {
        parse_login_answer(answer, reply);
        store_answer_marker(reply);
    }
    wipe(answer, sizeof answer);
    return reply->answered && reply->ok;
}

bool renew_login(const char* host, unsigned short port, const SavedLogin* login, const char* client_name,
                 AccountReply* reply) {
    return log_in(host, port, login->token, client_name, reply);
}

bool auto_login(const char* host, unsigned short port, const char* client_name, AccountReply* reply) {
    return log_in(host, port, nullptr, client_name, reply);
}

// A request whose only good answer is exactly "OK"; the reply is private.
static bool simple_request(const char* host, unsigned short port, char* line) {
    AccountReply reply = {};
    char answer[SHORT_ANSWER_CAP];
    bool ok = exchange(host, port, line, answer, sizeof answer, &reply) && strcmp(answer, "OK") == 0;
    wipe(answer, sizeof answer);
    wipe(&reply, sizeof reply);
    return ok;
}

bool accept_terms(const char* host, unsigned short port, const SavedLogin* login, const char* terms_version) {
    char line[REQUEST_CAP];
    format_text(line, sizeof line, "ACCEPTTERMS\t%s\t%s", login->token, terms_version);
    return simple_request(host, port, line);
}

bool log_out_request(const char* host, unsigned short port, const char* token) {
    char line[REQUEST_CAP];
    format_text(line, sizeof line, "LOGOUT\t%s", token);
    // The file goes first: the exchange may take long, and a log-in made meanwhile saves a new one
    // that this request must not delete.
    delete_saved_login();
    return simple_request(host, port, line);
}

bool request_game_account(const char* host, unsigned short port, const SavedLogin* login, const char* code,
                          GameAccount* account, AccountReply* reply, const volatile long* stop) {
    memset(reply, 0, sizeof *reply);
    memset(account, 0, sizeof *account);
    char line[REQUEST_CAP], answer[GAME_ANSWER_CAP];
    format_text(line, sizeof line, "GAMEACCOUNT\t%s\t%s", login->token, code && code[0] ? code : "-");
    bool ok = exchange(host, port, line, answer, sizeof answer, reply, stop) && parse_game_answer(answer, account, reply);
    reply->ok = ok;
    wipe(answer, sizeof answer);
    if (!ok) wipe(account, sizeof *account);
    return ok;
}

bool not_me(const char* host, unsigned short port, const SavedLogin* login, const char* marker) {
    char line[REQUEST_CAP];
    format_text(line, sizeof line, "NOTME\t%s", login->token);
    bool ok = simple_request(host, port, line);
    delete_saved_login();
    forget_marker(marker);
    return ok;
}
