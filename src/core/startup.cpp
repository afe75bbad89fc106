#include "core/startup.h"
int run_launcher() { return 0; }
