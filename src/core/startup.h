// The launcher process from its entry to its exit.
#pragma once

// Runs the main sequence and gives the process's exit code.
int run_launcher();
