// The journal across processes: a writer killed at any moment loses nothing it reported as
// committed, and writers in two processes at once wait for each other instead of failing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "journal/journal.h"
#include "temp_dir.h"

using namespace qubopost::journal;
using namespace std::chrono_literals;

namespace {

const Time kNow = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + 5h;

// What the writer child reports through its pipe after each committed call.
struct Report {
    std::int32_t kind;  // kRunStarted, kMarked or kEnded
    std::int64_t value;
};
constexpr std::int32_t kRunStarted = 1;
constexpr std::int32_t kMarked = 2;
constexpr std::int32_t kEnded = 3;

constexpr int kMessages = 300;

// The plan of every round: message n fails when n is a multiple of 7, is uncertain when a
// multiple of 11 (and not of 7), and is sent otherwise.
MessageState PlannedState(int number) {
    if (number % 7 == 0) return MessageState::Failed;
    if (number % 11 == 0) return MessageState::Uncertain;
    return MessageState::Sent;
}

void Send(int fd, std::int32_t kind, std::int64_t value) {
    Report report{kind, value};
    if (write(fd, &report, sizeof report) != static_cast<ssize_t>(sizeof report)) _exit(3);
}

// The child's whole life: a run with its marks, each reported once the call returned.
[[noreturn]] void Writer(const std::string& path, int round, int reportFd) {
    auto journal = Journal::Open(path);
    if (!journal) _exit(2);
    std::vector<PlannedMessage> plan;
    for (int n = 1; n <= kMessages; ++n) {
        plan.push_back(
            {n, "blog" + std::to_string(n) + "@example.jp", "round " + std::to_string(round)});
    }
    auto run = journal->StartRun("round " + std::to_string(round), plan, kNow);
    if (!run) _exit(2);
    Send(reportFd, kRunStarted, *run);
    for (int n = 1; n <= kMessages; ++n) {
        const Time at = kNow + n * 1s;
        Status marked;
        switch (PlannedState(n)) {
            case MessageState::Failed:
                marked = journal->MarkFailed(*run, n, at, "550 no");
                break;
            case MessageState::Uncertain:
                marked = journal->MarkUncertain(*run, n, at, "reset");
                break;
            default:
                marked = journal->MarkSent(*run, n, at, "250 ok");
                break;
        }
        if (!marked) _exit(2);
        Send(reportFd, kMarked, n);
    }
    if (!journal->EndRun(*run, kNow + 1h, true)) _exit(2);
    Send(reportFd, kEnded, 0);
    _exit(0);
}

std::vector<Report> ReadReports(int fd) {
    std::vector<Report> reports;
    Report report;
    while (read(fd, &report, sizeof report) == static_cast<ssize_t>(sizeof report)) {
        reports.push_back(report);
    }
    return reports;
}

// A plain connection of the test's own that looks at the file after a kill.
class Inspector {
public:
    explicit Inspector(const std::string& path) {
        // Read-write: after a kill the write-ahead log may need recovering, which is a write.
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sqlite3_errmsg(m_db);
        }
    }
    ~Inspector() { sqlite3_close(m_db); }
    std::string IntegrityCheck() {
        sqlite3_stmt* statement = nullptr;
        std::string result;
        if (sqlite3_prepare_v2(m_db, "PRAGMA integrity_check", -1, &statement, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        } else {
            result = sqlite3_errmsg(m_db);
        }
        sqlite3_finalize(statement);
        return result;
    }

private:
    sqlite3* m_db = nullptr;
};

}  // namespace

TEST(JournalProcesses, KilledWriterLosesNothingCommitted) {
    TempDir dir;
    const std::string path = dir.File("history.sqlite3");
    // A fixed seed: the same choice of delays on every run of the test.
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> delayMicroseconds(0, 25000);
    std::uniform_int_distribution<int> marksToWaitFor(0, 12);
    std::uniform_int_distribution<int> shortDelayMicroseconds(0, 3000);
    constexpr int kRounds = 100;
    int runsReported = 0;
    int killedBeforeStart = 0, killedMidRun = 0, completed = 0, mostMarks = 0;

    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(fds[0]);
            Writer(path, round, fds[1]);
        }
        close(fds[1]);
        // Even rounds: the kill comes some time after the fork (opening, setting up the file,
        // starting the run). Odd rounds: shortly after a chosen number of marks was reported,
        // so that kills land among the marks however fast the disk is.
        std::vector<Report> reports;
        if (round % 2 == 0) {
            usleep(static_cast<useconds_t>(delayMicroseconds(random)));
        } else {
            const int marksBeforeKill = marksToWaitFor(random);
            Report report;
            while (static_cast<int>(reports.size()) < 1 + marksBeforeKill &&
                   read(fds[0], &report, sizeof report) == sizeof report) {
                reports.push_back(report);
            }
            usleep(static_cast<useconds_t>(shortDelayMicroseconds(random)));
        }
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        for (const Report& report : ReadReports(fds[0])) reports.push_back(report);
        close(fds[0]);
        // Killed, or done before the kill came; never a failed call.
        ASSERT_TRUE((WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) ||
                    (WIFEXITED(status) && WEXITSTATUS(status) == 0))
            << "child status " << status;

        // The inspector goes after the journal object: only the last close checkpoints.
        Inspector inspector(path);
        ASSERT_EQ(inspector.IntegrityCheck(), "ok");
        auto journal = Journal::Open(path);
        ASSERT_TRUE(journal) << journal.error().message;
        auto history = journal->History(0);
        ASSERT_TRUE(history) << history.error().message;

        if (reports.empty()) {
            // The run may have been committed just before the kill, never reported.
            EXPECT_TRUE(history->size() == static_cast<std::size_t>(runsReported) ||
                        history->size() == static_cast<std::size_t>(runsReported) + 1);
            runsReported = static_cast<int>(history->size());
            ++killedBeforeStart;
            continue;
        }
        ASSERT_EQ(reports[0].kind, kRunStarted);
        ++runsReported;
        ASSERT_EQ(history->size(), static_cast<std::size_t>(runsReported));
        const RunId run = reports[0].value;
        int reportedMarks = 0;
        bool ended = false;
        for (std::size_t i = 1; i < reports.size(); ++i) {
            if (reports[i].kind == kMarked) {
                ASSERT_EQ(reports[i].value, reportedMarks + 1);
                ++reportedMarks;
            } else {
                ASSERT_EQ(reports[i].kind, kEnded);
                ended = true;
            }
        }

        auto messages = journal->Messages(run);
        ASSERT_TRUE(messages) << messages.error().message;
        ASSERT_EQ(messages->size(), static_cast<std::size_t>(kMessages));
        // Every reported mark is there with its planned state; at most one more mark (done,
        // not yet reported) follows; everything after is pending.
        int marked = 0;
        for (const MessageRecord& message : *messages) {
            if (message.state == MessageState::Pending) break;
            ASSERT_EQ(message.state, PlannedState(message.number)) << "message " << message.number;
            ++marked;
        }
        for (std::size_t i = static_cast<std::size_t>(marked); i < messages->size(); ++i) {
            ASSERT_EQ((*messages)[i].state, MessageState::Pending) << "message " << i + 1;
        }
        EXPECT_TRUE(marked == reportedMarks || marked == reportedMarks + 1)
            << marked << " marked, " << reportedMarks << " reported";
        auto summary = journal->Summary(run);
        ASSERT_TRUE(summary && *summary);
        if (ended) {
            EXPECT_TRUE((*summary)->finished);
        }
        mostMarks = std::max(mostMarks, reportedMarks);
        if (ended || (WIFEXITED(status))) {
            ++completed;
        } else {
            ++killedMidRun;
        }
    }
    // Odd rounds waited for the run's start before the kill.
    EXPECT_GE(killedMidRun + completed, kRounds / 2);
    std::printf(
        "%d rounds: %d killed before the run was reported, %d mid run (up to %d marks), "
        "%d done\n",
        kRounds, killedBeforeStart, killedMidRun, mostMarks, completed);
}

TEST(JournalProcesses, TwoWritersAtOnce) {
    TempDir dir;
    // Neither process finds the file: both create and set it up at the same moment.
    const std::string path = dir.File("state/history.sqlite3");
    constexpr int kWriters = 2;
    constexpr int kRunsEach = 40;
    constexpr int kMessagesEach = 4;
    int start[2];
    ASSERT_EQ(pipe2(start, O_CLOEXEC), 0);
    int errors[2];
    ASSERT_EQ(pipe2(errors, O_CLOEXEC), 0);
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(start[1]);
            close(errors[0]);
            char go;
            // Waits until the parent closes its end: both start together.
            if (read(start[0], &go, 1) != 0) _exit(4);
            auto fail = [&](const std::string& message) {
                const std::string line = "writer " + std::to_string(writer) + ": " + message + "\n";
                if (write(errors[1], line.data(), line.size()) < 0) _exit(3);
                _exit(1);
            };
            auto journal = Journal::Open(path);
            if (!journal) fail(journal.error().message);
            for (int i = 0; i < kRunsEach; ++i) {
                std::vector<PlannedMessage> plan;
                for (int n = 1; n <= kMessagesEach; ++n) plan.push_back({n, "a@example.jp", "s"});
                auto run = journal->StartRun("w" + std::to_string(writer) + "/" + std::to_string(i),
                                             plan, kNow + i * 1min);
                if (!run) fail(run.error().message);
                for (int n = 1; n <= kMessagesEach; ++n) {
                    if (Status s = journal->MarkSent(*run, n, kNow, "250 ok"); !s) {
                        fail(s.error().message);
                    }
                }
                if (Status s = journal->EndRun(*run, kNow + 1h, true); !s) fail(s.error().message);
                auto history = journal->History(5);
                if (!history) fail(history.error().message);
                if (auto found = journal->FindUnfinished("w0/0"); !found)
                    fail(found.error().message);
            }
            _exit(0);
        }
        children.push_back(child);
    }
    close(start[0]);
    close(errors[1]);
    close(start[1]);  // go

    std::string errorText;
    char buffer[512];
    for (ssize_t got; (got = read(errors[0], buffer, sizeof buffer)) > 0;) {
        errorText.append(buffer, static_cast<std::size_t>(got));
    }
    close(errors[0]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    EXPECT_EQ(errorText, "");
    EXPECT_EQ(errorText.find("locked"), std::string::npos);

    ASSERT_EQ(Inspector(path).IntegrityCheck(), "ok");
    auto journal = Journal::Open(path);
    ASSERT_TRUE(journal) << journal.error().message;
    auto history = journal->History(0);
    ASSERT_TRUE(history);
    ASSERT_EQ(history->size(), static_cast<std::size_t>(kWriters * kRunsEach));
    for (const RunSummary& run : *history) {
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(run.sent, kMessagesEach);
        EXPECT_EQ(run.pending, 0);
    }
}
