// kavstart: starts the MPI process manager of the machine in its debug
// (foreground) mode and waits for it.  No arguments, no files, no output;
// the exit status is always 0.
#include "platform.hpp"

int main() {
    // The manager's install folder on the system's original platform.  "cd"
    // is a built-in of a command interpreter, not a program, so this run
    // normally fails and never changes the folder the manager is searched in.
    kav::run_and_wait("cd", "c:\\Program Files\\Microsoft HPC Pack 2008 R2\\Bin");
    kav::run_and_wait("smpd", "-d");
    return 0;
}
