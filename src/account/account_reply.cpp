// The account reply record's one helper.
#include "account/account_reply.h"

void set_reply_error(AccountReply* reply, const char* code, const char* message) {
    copy_text(reply->error_code, sizeof reply->error_code, code);
    copy_text(reply->message, sizeof reply->message, message);
}
