// The current log-in of this run.
#include "account/login_state.h"

SavedLogin current_login;
bool account_logged_in = false;
