// qubopost-cli as a child process with a private HOME, state and configuration folder under
// `home`, and no session bus (so no key ring).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "temp_dir.h"

// Starts the program; its standard output and error go to the files named ("/dev/null" to drop).
pid_t StartCli(const TempDir& home, std::vector<std::string> args, const std::string& out = "/dev/null",
               const std::string& err = "/dev/null");
// Waits for the child: its exit status, or -1 when a signal ended it.
int WaitCli(pid_t pid);

// A whole run: its exit status and what it printed.
struct CliRun {
    int status = -1;
    std::string out, err;
};
// Runs qubopost-cli to its end with the arguments, a private HOME and state folder under
// `home`, and no key ring.
CliRun RunCli(const TempDir& home, std::vector<std::string> args);
