#include "cli_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

pid_t StartCli(const TempDir& home, std::vector<std::string> args, const std::string& out, const std::string& err) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("HOME", home.Path().c_str(), 1);
        setenv("XDG_STATE_HOME", (home.Path() + "/state").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home.Path() + "/config").c_str(), 1);
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(127);
        const std::string binary = std::string(QUBOPOST_BINARY_DIR) + "/qubopost-cli";
        std::vector<char*> argv{const_cast<char*>(binary.c_str())};
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

CliRun RunCli(const TempDir& home, std::vector<std::string> args) {
    const std::string out = home.File("stdout"), err = home.File("stderr");
    const int status = WaitCli(StartCli(home, std::move(args), out, err));
    return {status, TempDir::Read(out), TempDir::Read(err)};
}

int WaitCli(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
