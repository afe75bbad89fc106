// Control connection to the reference update server.
#include "support/update_server_control.h"

#include <vector>

#include "core/codecs.h"
#include "support/loopback_control.h"

int update_server_port() {
    return port_from_env("ZANDOR_UPDATE_PORT");
}

std::string update_server_command(const std::string& line) {
    std::string answer;
    loopback_exchange(port_from_env("ZANDOR_UPDATE_CONTROL_PORT"), line, &answer);
    return answer;
}

std::string base64_of(const std::string& bytes) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (unsigned char c : bytes) {
        bits = (bits << 8) | c;
        count += 8;
        while (count >= 6) {
            count -= 6;
            out += alphabet[(bits >> count) & 63];
        }
    }
    if (count > 0) out += alphabet[(bits << (6 - count)) & 63];
    while (out.size() % 4) out += '=';
    return out;
}

std::string bytes_of_base64(const std::string& text) {
    std::vector<uint8_t> bytes(text.size());
    long n = base64_decode(text.c_str(), bytes.data(), bytes.size());
    return n < 0 ? std::string("<bad base64>") : std::string((const char*)bytes.data(), (size_t)n);
}

std::string update_server_record() {
    std::string answer = update_server_command("RECORD");
    return answer.size() >= 3 ? bytes_of_base64(answer.substr(3)) : answer;
}
