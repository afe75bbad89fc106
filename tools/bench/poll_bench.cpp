// One poll of the browser log-in (WEBPOLL over its own secure link, answered "not yet") against the
// reference account server on loopback: wall time and the client's own CPU per poll, averaged over
// many polls. Run by tools/bench/launcher_flow.sh with ZANDOR_ACCOUNT_PORT set.
#include <winsock2.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "account/account_requests.h"
#include "bench_clock.h"

static double thread_cpu_ms() {
    FILETIME created, ended, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
    ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
    ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
    return (double)(k.QuadPart + u.QuadPart) / 10000.0;
}

int main() {
    const char* port_text = getenv("ZANDOR_ACCOUNT_PORT");
    if (!port_text) {
        fprintf(stderr, "poll_bench: ZANDOR_ACCOUNT_PORT is not set\n");
        return 2;
    }
    unsigned short port = (unsigned short)atoi(port_text);
    WebLoginRequest request = {};
    AccountReply reply = {};
    if (!request_web_login("127.0.0.1", port, "launcher-0", &request, &reply)) {
        fprintf(stderr, "poll_bench: WEBLOGIN failed: %s\n", reply.message);
        return 1;
    }
    const int rounds = 100;
    AccountReply warm = {};
    if (poll_web_login("127.0.0.1", port, &request, &warm) != 0) {
        fprintf(stderr, "poll_bench: the poll was not answered 'not yet': %s\n", warm.message);
        return 1;
    }
    double wall = now_ms(), cpu = thread_cpu_ms();
    for (int i = 0; i < rounds; i++) {
        AccountReply r = {};
        if (poll_web_login("127.0.0.1", port, &request, &r) != 0) {
            fprintf(stderr, "poll_bench: poll %d was not answered 'not yet': %s\n", i, r.message);
            return 1;
        }
    }
    wall = (now_ms() - wall) / rounds;
    cpu = (thread_cpu_ms() - cpu) / rounds;
    printf("@poll_ms %.2f\n@poll_cpu_ms %.2f\n@poll_rounds %d\n", wall, cpu, rounds);
    return 0;
}
