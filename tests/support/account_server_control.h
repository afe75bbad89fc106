// Test helper: drives the reference account server (tests/peers/account_server.py) through its
// control port, and names the link port. Both come from the environment set by run.sh.
#pragma once

#include <string>

unsigned short account_port();
// Sends one control line and gives the server's one-line reply ("" when it cannot be reached).
std::string account_control(const std::string& line);
// Queues a behaviour (see tests/peers/account_link.py) with an optional answer for the next exchange.
void push_answer(const std::string& behaviour, const std::string& answer);
void push_behaviour(const std::string& behaviour);
// The answer given to requests of one word when nothing is queued.
void set_default_answer(const std::string& word, const std::string& answer);
void reset_account_server();
int exchange_count();
// The k-th last connection: the client's public key and nonce (hex) and the opened request ("-" none).
struct SeenExchange {
    std::string client_public;
    std::string client_nonce;
    std::string request;
    bool request_opened;
};
SeenExchange seen_exchange(int k = 1);
