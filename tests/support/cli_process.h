// qubopost-cli as a child process with a private HOME, state and configuration folder under
// `home`, and no session bus (so no key ring).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "temp_dir.h"

// Starts the program; its standard output and error go to the files named ("/dev/null" to drop).
pid_t StartCli(const TempDir& home, std::vector<std::string> args,
               const std::string& out = "/dev/null", const std::string& err = "/dev/null");
// Waits for the child `pid`: its exit status, or -1 when a signal ended it. A child still
// running after `limit` is killed (by its PID) and -2 returned.
int WaitChild(pid_t pid, std::chrono::seconds limit);
// WaitChild for a run of qubopost-cli, whose time-out is a failure of the test.
int WaitCli(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(120));

// Ends a started child by its PID if the test leaves before waiting for it (a failed ASSERT):
// no run outlives its test. Reset(-1) once WaitCli has reaped it.
class CliGuard {
public:
    explicit CliGuard(pid_t pid) : m_pid(pid) {}
    ~CliGuard();
    CliGuard(const CliGuard&) = delete;
    CliGuard& operator=(const CliGuard&) = delete;
    void Reset(pid_t pid) { m_pid = pid; }

private:
    pid_t m_pid;
};

// How many messages the journal under `home` marks sent, read straight from its file while a
// run may be writing it; -1 while there is no journal to read.
int SentInJournal(const TempDir& home);

// A whole run: its exit status and what it printed.
struct CliRun {
    int status = -1;
    std::string out, err;
};
// Runs qubopost-cli to its end with the arguments, a private HOME and state folder under
// `home`, and no key ring.
CliRun RunCli(const TempDir& home, std::vector<std::string> args);
// Runs the program at `path` with the arguments in this process's own environment (its HOME,
// its session bus and key ring), `input` on its standard input and its output in
// folder/stdout and folder/stderr. A program still running after `limit` is killed by its PID
// (status -2).
CliRun RunWithInput(const std::string& path, std::vector<std::string> args,
                    const std::string& folder, const std::string& input,
                    std::chrono::seconds limit);

// An article text of n articles titled 記事1…記事n, each a link line, between separators.
std::string NumberedArticles(int n, const std::string& lineEnd = "\n");
