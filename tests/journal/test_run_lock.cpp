// The run lock: one process posts a run; another, or the same one again, is told who does;
// the lock goes with its holder however the holder ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "journal/run_lock.h"
#include "temp_dir.h"

using qubopost::journal::RunLock;

extern char** environ;

namespace {

// A run identity as the posting makes it.
const std::string kKey = "145bd5e0b309c0cfcce0c9d7ff3283ac45110f732f7fe304a9403ce6b57ec1fb";

std::string Refusal(pid_t pid) {
    return "この投稿は別のプロセス（PID " + std::to_string(pid) + "）が実行中です";
}

// One line from a child, waiting at most 30 seconds.
std::optional<std::string> ReadLine(int fd) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) != 1) {
            ADD_FAILURE() << "no line from the child within 30 seconds (so far: " << line << ")";
            return std::nullopt;
        }
        char c;
        if (read(fd, &c, 1) != 1) {
            ADD_FAILURE() << "the child closed its pipe (so far: " << line << ")";
            return std::nullopt;
        }
        if (c == '\n') return line;
        line += c;
    }
}

void WriteLine(int fd, const std::string& text) {
    const std::string line = text + "\n";
    if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) _exit(3);
}

// Waits at most 30 seconds for a child to end; kills it (by its PID) if it does not.
int Reap(pid_t child) {
    int status = 0;
    for (int i = 0; i < 3000; ++i) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) return status;
        if (done < 0) {
            ADD_FAILURE() << "waitpid failed";
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "child " << child << " did not end within 30 seconds";
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return status;
}

// A command byte from the parent, waiting at most 60 seconds (then the child gives up).
char Command(int fd) {
    pollfd ready{fd, POLLIN, 0};
    char c = 0;
    if (poll(&ready, 1, 60000) != 1 || read(fd, &c, 1) != 1) _exit(2);
    return c;
}

mode_t Mode(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

int Entries(const std::string& folder) {
    int count = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(folder, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        ++count;
    }
    return count;
}

}  // namespace

TEST(RunLock, AnotherProcessIsToldTheHoldersPid) {
    TempDir dir;
    // The journal's folder does not exist yet: the lock makes it.
    const std::string journal = dir.File("state/qubopost/history.sqlite3");
    int owner = -1;
    auto lock = RunLock::Acquire(journal, kKey, &owner);
    ASSERT_TRUE(lock) << lock.error().message;
    EXPECT_EQ(owner, 0);
    EXPECT_EQ(Mode(journal + ".locks"), 0700u);
    EXPECT_EQ(Entries(journal + ".locks"), 1);
    // The holder's PID is in the file, for people and for other processes.
    std::string written = TempDir::Read(lock->Path());
    while (!written.empty() && (written.back() == '\n' || written.back() == ' '))
        written.pop_back();
    EXPECT_EQ(written, std::to_string(getpid()));

    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        int seen = -1;
        auto second = RunLock::Acquire(journal, kKey, &seen);
        WriteLine(fds[1], second ? "locked" : second.error().message);
        WriteLine(fds[1], std::to_string(seen));
        _exit(0);
    }
    close(fds[1]);
    const auto message = ReadLine(fds[0]);
    const auto seen = ReadLine(fds[0]);
    close(fds[0]);
    const int status = Reap(child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_EQ(message, Refusal(getpid()));
    EXPECT_EQ(seen, std::to_string(getpid()));
}

TEST(RunLock, FreeOnceTheHolderEnds) {
    enum class Ending { Exits, Killed, LetsGo };
    struct Case {
        const char* name;
        Ending ending;
    };
    const Case cases[] = {
        {"the holder exits", Ending::Exits},
        {"the holder is killed (SIGKILL)", Ending::Killed},
        {"the holder lets go and goes on", Ending::LetsGo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string journal = dir.File("history.sqlite3");
        int reports[2], commands[2];
        ASSERT_EQ(pipe2(reports, O_CLOEXEC), 0);
        ASSERT_EQ(pipe2(commands, O_CLOEXEC), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(reports[0]);
            close(commands[1]);
            {
                auto lock = RunLock::Acquire(journal, kKey);
                WriteLine(reports[1], lock ? "held" : lock.error().message);
                if (!lock) _exit(1);
                if (Command(commands[0]) == 'x') _exit(0);  // the kernel lets the lock go
            }
            WriteLine(reports[1], "let go");
            Command(commands[0]);
            _exit(0);
        }
        close(reports[1]);
        close(commands[0]);
        ASSERT_EQ(ReadLine(reports[0]), "held");

        int owner = 0;
        auto refused = RunLock::Acquire(journal, kKey, &owner);
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().message, Refusal(child));
        EXPECT_EQ(owner, child);

        int status = 0;
        switch (c.ending) {
            case Ending::Exits:
                ASSERT_EQ(write(commands[1], "x", 1), 1);
                status = Reap(child);
                EXPECT_TRUE(WIFEXITED(status)) << status;
                break;
            case Ending::Killed:
                ASSERT_EQ(kill(child, SIGKILL), 0);
                status = Reap(child);
                EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
                break;
            case Ending::LetsGo:
                ASSERT_EQ(write(commands[1], "d", 1), 1);
                EXPECT_EQ(ReadLine(reports[0]), "let go");
                break;
        }
        auto taken = RunLock::Acquire(journal, kKey, &owner);
        EXPECT_TRUE(taken) << (taken ? "" : taken.error().message);
        EXPECT_EQ(owner, 0);
        if (c.ending == Ending::LetsGo) {
            // Still alive, no longer the holder.
            EXPECT_EQ(waitpid(child, &status, WNOHANG), 0);
            ASSERT_EQ(write(commands[1], "x", 1), 1);
            Reap(child);
        }
        close(reports[0]);
        close(commands[1]);
    }
}

TEST(RunLock, OneProcessHoldsAKeyOnce) {
    TempDir dir;
    const std::string journal = dir.File("history.sqlite3");
    const std::string other = std::string(64, 'a');
    auto first = RunLock::Acquire(journal, kKey);
    ASSERT_TRUE(first) << first.error().message;
    const std::string file = first->Path();

    int owner = 0;
    auto again = RunLock::Acquire(journal, kKey, &owner);
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().message, Refusal(getpid()));
    EXPECT_EQ(owner, getpid());

    auto second = RunLock::Acquire(journal, other);
    ASSERT_TRUE(second) << "another key is another lock: " << second.error().message;

    // Moved, the lock stays held; the moved-from object lets nothing go.
    std::optional<RunLock> moved(std::move(*first));
    EXPECT_FALSE(RunLock::Acquire(journal, kKey));
    // Assigned over, the lock it held goes.
    *moved = std::move(*second);
    EXPECT_TRUE(RunLock::Acquire(journal, kKey));
    EXPECT_FALSE(RunLock::Acquire(journal, other));
    moved.reset();
    EXPECT_TRUE(RunLock::Acquire(journal, other));
    // The files stay when their locks go.
    EXPECT_EQ(Entries(journal + ".locks"), 2);
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST(RunLock, ProgramsTheHolderStartsDoNotHoldIt) {
    TempDir dir;
    const std::string journal = dir.File("history.sqlite3");
    auto lock = RunLock::Acquire(journal, kKey);
    ASSERT_TRUE(lock) << lock.error().message;
    pid_t sleeper = 0;
    char program[] = "sleep";
    char seconds[] = "60";
    char* argv[] = {program, seconds, nullptr};
    ASSERT_EQ(posix_spawnp(&sleeper, "sleep", nullptr, nullptr, argv, environ), 0);
    { RunLock gone = std::move(*lock); }
    auto taken = RunLock::Acquire(journal, kKey);
    EXPECT_TRUE(taken) << "the program kept the lock: " << (taken ? "" : taken.error().message);
    kill(sleeper, SIGKILL);
    Reap(sleeper);
}

TEST(RunLock, Keys) {
    struct Case {
        std::string key;
        bool usable;
    };
    const Case cases[] = {
        {kKey, true},
        {"A-z_09", true},
        {std::string(128, 'k'), true},
        {"", false},
        {std::string(129, 'k'), false},
        {"../escape", false},
        {"a/b", false},
        {".hidden", false},
        {"with space", false},
        {"\xc3\xa4", false},
        {std::string("a\0b", 3), false},
    };
    TempDir dir;
    const std::string journal = dir.File("state/history.sqlite3");
    int usable = 0;
    for (const Case& c : cases) {
        auto lock = RunLock::Acquire(journal, c.key);
        EXPECT_EQ(lock.ok(), c.usable) << c.key;
        if (lock) ++usable;
        // One file per usable key in the lock folder, nothing anywhere else.
        EXPECT_EQ(Entries(journal + ".locks"), usable) << c.key;
        EXPECT_EQ(Entries(dir.File("state")), usable > 0 ? 1 : 0) << c.key;
        EXPECT_EQ(Entries(dir.Path()), usable > 0 ? 1 : 0) << c.key;
    }
}
