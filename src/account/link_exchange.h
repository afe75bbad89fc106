// One request over the secure link: connect to the account server, handshake, send one sealed line,
// read one sealed answer, close. Every failure leaves its code and player text in the reply.
#pragma once

#include <stddef.h>

#include "account/account_reply.h"
#include "account/link_frame.h"

// The client hello with 48 random bytes from Windows; false when Windows gave none.
bool link_make_hello(SecureLink* link, char* out, size_t capacity) MUST_USE;
// Runs the whole exchange; true when an answer was opened into answer (then reply->answered is set).
// On false, reply->error_code and reply->message say why. The request text is not altered. The
// whole exchange ends within 60 s, and soon after stop (an interlocked flag, may be null) is set:
// then it fails as unanswered ("no_connection").
bool link_exchange(const char* host, unsigned short port, const char* request_text, char* answer,
                   size_t answer_capacity, AccountReply* reply, const volatile long* stop = nullptr) MUST_USE;
// The same with the caller's link state, which is all zero again when it returns.
bool link_exchange_with(SecureLink* link, const char* host, unsigned short port, const char* request_text,
                        char* answer, size_t answer_capacity, AccountReply* reply,
                        const volatile long* stop = nullptr) MUST_USE;
