// The eight account requests, each one line over its own secure link, with their answer forms.
// Every operation takes the account server's address and port first and blocks until it ends.
#pragma once

#include <stddef.h>

#include "account/account_answers.h"

// "launcher-<version>", or "launcher-0" when the version text is empty (out of 40 bytes).
void make_client_name(const char* own_version, char* out, size_t capacity);

// WEBLOGIN: starts a browser log-in; true with a usable REQUEST answer.
bool request_web_login(const char* host, unsigned short port, const char* client_name, WebLoginRequest* request,
                       AccountReply* reply) MUST_USE;
// WEBPOLL: -1 refused (or not our server), 0 not yet (or not reached), 1 logged in.
int poll_web_login(const char* host, unsigned short port, const WebLoginRequest* request, AccountReply* reply);
// RENEW and AUTO: true when answered with OK; the reply holds the log-in or the refusal.
bool renew_login(const char* host, unsigned short port, const SavedLogin* login, const char* client_name,
                 AccountReply* reply) MUST_USE;
bool auto_login(const char* host, unsigned short port, const char* client_name, AccountReply* reply) MUST_USE;
// ACCEPTTERMS: true when the server answered exactly "OK".
bool accept_terms(const char* host, unsigned short port, const SavedLogin* login, const char* terms_version);
// LOGOUT: deletes the saved log-in whatever happens; true when the server answered "OK".
bool log_out_request(const char* host, unsigned short port, const char* token);
// GAMEACCOUNT with the registration code ("-" when there is none); true with a usable game account.
// It gives up soon after stop (an interlocked flag, may be null) is set.
bool request_game_account(const char* host, unsigned short port, const SavedLogin* login, const char* code,
                          GameAccount* account, AccountReply* reply, const volatile long* stop = nullptr) MUST_USE;
// NOTME: deletes the saved log-in and the copies of marker whatever happens; true on "OK".
bool not_me(const char* host, unsigned short port, const SavedLogin* login, const char* marker);
