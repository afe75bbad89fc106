// The result record of one account exchange: filled by the link and by the request that ran it.
// Portable (no Windows headers).
#pragma once

#include "account/saved_login.h"

struct AccountReply {
    bool answered;         // the link opened an answer
    bool ok;               // the answer was a success answer
    char error_code[32];   // link code, server code, "bad_request", or "ok"
    char message[512];     // text for the player, shown as it is
    char pc_marker[64];    // the PC marker of an OK log-in answer (checked only when stored)
    bool older_terms;      // the account accepted only an older version of the terms
    SavedLogin login;      // the log-in of an OK answer
};

// Sets the code and message of a reply (both cut at their capacities).
void set_reply_error(AccountReply* reply, const char* code, const char* message);
