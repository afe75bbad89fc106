// Stays running for the milliseconds given on its command line (60000 by default): a stand-in for
// a program whose file must not be deleted while it runs.
#include <windows.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    Sleep(argc > 1 ? (DWORD)atol(argv[1]) : 60000);
    return 0;
}
