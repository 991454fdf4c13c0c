#include "cli_process.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

pid_t StartCli(const TempDir& home, std::vector<std::string> args, const std::string& out,
               const std::string& err) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("HOME", home.Path().c_str(), 1);
        setenv("XDG_STATE_HOME", (home.Path() + "/state").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home.Path() + "/config").c_str(), 1);
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        // The tests expect qubopost-cli's Japanese, whatever the locale of the shell, unless a
        // test chooses the locale itself.
        if (!getenv("QUBOPOST_TEST_OWN_LOCALE")) {
            unsetenv("LC_ALL");
            unsetenv("LC_MESSAGES");
            setenv("LANG", "ja_JP.UTF-8", 1);
        }
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

CliRun RunWithInput(const std::string& path, std::vector<std::string> args,
                    const std::string& folder, const std::string& input,
                    std::chrono::seconds limit) {
    TempDir::Write(folder + "/stdin", input);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen((folder + "/stdin").c_str(), "r", stdin) ||
            !freopen((folder + "/stdout").c_str(), "w", stdout) ||
            !freopen((folder + "/stderr").c_str(), "w", stderr))
            _exit(127);
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    const int status = pid < 0 ? -1 : WaitChild(pid, limit);
    return {status, TempDir::Read(folder + "/stdout"), TempDir::Read(folder + "/stderr")};
}

namespace {

// Waits until the child `pid` has ended or the deadline has passed; true when it ended (and is
// still to be reaped).
bool EndsBy(pid_t pid, std::chrono::steady_clock::time_point deadline) {
    // A process descriptor becomes readable when the process ends: no polling delay.
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (fd < 0) {
            siginfo_t info{};
            if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                info.si_pid == pid)
                return true;
            if (left.count() <= 0) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        pollfd ended{fd, POLLIN, 0};
        const int ready = poll(&ended, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (ready < 0 && errno == EINTR) continue;
        close(fd);
        return ready > 0;
    }
}

}  // namespace

int WaitChild(pid_t pid, std::chrono::seconds limit) {
    int status = 0;
    if (!EndsBy(pid, std::chrono::steady_clock::now() + limit)) {
        kill(pid, SIGKILL);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return -2;
    }
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int WaitCli(pid_t pid, std::chrono::seconds limit) {
    const int status = WaitChild(pid, limit);
    if (status == -2)
        ADD_FAILURE() << "qubopost-cli (pid " << pid << ") was still running after "
                      << limit.count() << " s; killed";
    return status;
}

CliGuard::~CliGuard() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

int SentInJournal(const TempDir& home) {
    const std::string path = home.Path() + "/state/qubopost/history.sqlite3";
    if (access(path.c_str(), F_OK) != 0) return -1;
    sqlite3* db = nullptr;
    int sent = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 2000);
        sqlite3_stmt* count = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM messages WHERE state = 'sent'", -1, &count,
                               nullptr) == SQLITE_OK &&
            sqlite3_step(count) == SQLITE_ROW)
            sent = sqlite3_column_int(count, 0);
        sqlite3_finalize(count);
    }
    sqlite3_close(db);
    return sent;
}

std::string NumberedArticles(int n, const std::string& lineEnd) {
    std::string text = "-----into-----";
    for (int i = 1; i <= n; ++i)
        text += "[title]記事" + std::to_string(i) + lineEnd + "http://shop.test/" +
                std::to_string(i) + lineEnd + "-----into-----";
    return text;
}
