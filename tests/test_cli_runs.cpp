// Runs of qubopost-cli as the journal keeps them: a killed run finished from the journal alone,
// a finished run not posted again by accident, one process per run, a message never lost to a
// kill before its end went out, and a journal that cannot be trusted stopping the run before
// anything is sent.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "cli_process.h"
#include "raw_smtp_peer.h"
#include "smtp_fixture.h"
#include "temp_dir.h"
#include "wait_for.h"

using qubopost::test::MailsBySubject;
using qubopost::test::SmtpServer;
using qubopost::test::WaitFor;

namespace {

std::vector<std::string> PostArgs(const TempDir& home, int port, const std::string& pause) {
    return {"post",
            "--article",
            home.File("article.txt"),
            "--to",
            "a@x.jp",
            "--to",
            "b@x.jp",
            "--server",
            "127.0.0.1",
            "--port",
            std::to_string(port),
            "--from",
            "me@x.jp",
            "--pause",
            pause};
}

}  // namespace

TEST(CliRuns, AKilledRunIsFinishedFromTheJournalAloneWithItsArticleGone) {
    TempDir home;
    SmtpServer server;
    TempDir::Write(home.File("article.txt"),
                   NumberedArticles(9));  // 3 groups x 2 addresses = 6 messages
    const pid_t cli = StartCli(home, PostArgs(home, server.port(), "30"));
    CliGuard guard(cli);
    ASSERT_TRUE(
        WaitFor([&] { return server.messages().size() == 1; }, "the first message at the server"));
    // Recorded in the journal, and so in its pause.
    ASSERT_TRUE(WaitFor([&] { return SentInJournal(home) == 1; },
                        "the first message marked sent in the journal"));
    ASSERT_EQ(kill(cli, SIGKILL), 0);
    EXPECT_EQ(WaitCli(cli), -1);  // the kill ended it, in its pause
    guard.Reset(-1);
    ASSERT_EQ(server.messages().size(), 1u);
    ASSERT_EQ(unlink(home.File("article.txt").c_str()), 0);

    // The spacing from the first message holds across processes: give it a short pause.
    const CliRun resumed = RunCli(home, {"resume", "--pause", "0"});
    EXPECT_EQ(resumed.status, 0) << resumed.out << resumed.err;
    const auto received = MailsBySubject(server);
    EXPECT_EQ(received.size(), 6u);
    for (const auto& [message, count] : received)
        EXPECT_EQ(count, 1) << message.first << " " << message.second;

    const CliRun again = RunCli(home, {"resume"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("再開できる未完了の投稿はありません"), std::string::npos) << again.out;
    EXPECT_EQ(server.messages().size(), 6u);

    // The run's messages, as the history lists them (under the sanitizers too).
    const CliRun history = RunCli(home, {"history", "--run", "1"});
    EXPECT_EQ(history.status, 0) << history.err;
    for (const char* part : {"a@x.jp", "b@x.jp", "記事7"})
        EXPECT_NE(history.out.find(part), std::string::npos) << part;
}

TEST(CliRuns, AFinishedRunIsPostedAgainOnlyWhenAskedTo) {
    TempDir home;
    SmtpServer server;
    TempDir::Write(home.File("article.txt"), NumberedArticles(2));  // 1 group x 2 addresses
    const std::vector<std::string> args = PostArgs(home, server.port(), "0");
    ASSERT_EQ(RunCli(home, args).status, 0);
    ASSERT_EQ(server.messages().size(), 2u);

    const CliRun same = RunCli(home, args);
    EXPECT_NE(same.status, 0);
    for (const char* named : {"投稿済み", "--again", "--retry-failed", "--resend-uncertain"})
        EXPECT_NE(same.out.find(named), std::string::npos) << named << "\n" << same.out;
    EXPECT_EQ(server.messages().size(), 2u);

    std::vector<std::string> withAgain = args;
    withAgain.push_back("--again");
    EXPECT_EQ(RunCli(home, withAgain).status, 0);
    EXPECT_EQ(server.messages().size(), 4u);
}

TEST(CliRuns, ASecondProcessOnTheSameRunSendsNothingAndNamesTheOwner) {
    TempDir home;
    SmtpServer server;
    TempDir::Write(home.File("article.txt"),
                   NumberedArticles(6));  // 2 groups x 2 addresses = 4 messages
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::string> args = PostArgs(home, server.port(), "1");
        if (round > 0) args.push_back("--again");
        const std::size_t before = server.messages().size();
        const pid_t first = StartCli(home, args, home.File("first.out"), home.File("first.err"));
        CliGuard guard(first);
        ASSERT_TRUE(WaitFor([&] { return server.messages().size() > before; },
                            "the first run's first message"));
        const CliRun second = RunCli(home, args);
        EXPECT_NE(second.status, 0);
        EXPECT_NE(second.err.find("この投稿は別のプロセス（PID " + std::to_string(first) +
                                  "）が実行中です"),
                  std::string::npos)
            << second.err;
        EXPECT_EQ(WaitCli(first), 0) << TempDir::Read(home.File("first.err"));
        guard.Reset(-1);
        EXPECT_EQ(server.messages().size(), before + 4);
    }
    for (const auto& [message, count] : MailsBySubject(server))
        EXPECT_EQ(count, 3) << message.first << " " << message.second;
}

TEST(CliRuns, AKillBeforeTheEndWentOutLeavesTheMessageForTheNextRun) {
    // The server greets only after 1.5 s: the kill lands while the program connects.
    TempDir home;
    TempDir::Write(home.File("article.txt"), NumberedArticles(2));
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        qubopost::test::RawSmtpPeer::Script slow;
        slow.greetingDelayMs = 1500;
        qubopost::test::RawSmtpPeer peer(slow);
        std::vector<std::string> args = {
            "post",      "--article", home.File("article.txt"),    "--to",   "a@x.jp",  "--server",
            "127.0.0.1", "--port",    std::to_string(peer.port()), "--from", "me@x.jp", "--pause",
            "0"};
        if (round > 0) args.push_back("--again");
        const pid_t cli = StartCli(home, args);
        CliGuard guard(cli);
        ASSERT_TRUE(
            WaitFor([&] { return peer.connections() >= 1; }, "the connection to the slow server"));
        ASSERT_EQ(kill(cli, SIGKILL), 0);
        EXPECT_EQ(WaitCli(cli), -1);
        guard.Reset(-1);
        EXPECT_EQ(peer.finalDots(), 0);  // killed before the end could go out

        // The same command again: the run is unfinished (--again concerns finished runs only),
        // so it resumes, and the message that never went out is sent now, once.
        const CliRun resumed = RunCli(home, args);
        EXPECT_EQ(resumed.status, 0) << resumed.out << resumed.err;
        EXPECT_EQ(peer.finalDots(), 1);
    }
}

TEST(CliRuns, AJournalThatCannotBeTrustedStopsTheRunBeforeAnythingIsSent) {
    SmtpServer server;
    struct Case {
        const char* what;
        std::function<void(const std::string& journal)> spoil;
        const char* expected;  // part of the message
    };
    const Case cases[] = {
        {"garbage",
         [](const std::string& journal) { TempDir::Write(journal, std::string(4096, 'x')); },
         "history.sqlite3"},
        {"a folder", [](const std::string& journal) { mkdir(journal.c_str(), 0700); },
         "history.sqlite3"},
        {"truncated",
         [](const std::string& journal) {
             const std::string whole = TempDir::Read(journal);
             TempDir::Write(journal, whole.substr(0, whole.size() / 2));
         },
         "history.sqlite3"},
        // (Root writes a read-only file all the same: the journal's own tests check that case
        // in a process without CAP_DAC_OVERRIDE.)
        {"read-only", [](const std::string& journal) { chmod(journal.c_str(), 0400); },
         "history.sqlite3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (std::string(c.what) == "read-only" && geteuid() == 0) continue;
        TempDir home;
        const std::string journal = home.Path() + "/state/qubopost/history.sqlite3";
        TempDir::Write(home.File("article.txt"), NumberedArticles(2));
        if (std::string(c.what) != "garbage" && std::string(c.what) != "a folder") {
            // A real journal with runs in it, from a first post.
            std::vector<std::string> first = PostArgs(home, server.port(), "0");
            first[2] = home.File("first.txt");
            TempDir::Write(home.File("first.txt"), NumberedArticles(4));
            ASSERT_EQ(RunCli(home, first).status, 0);
        } else {
            mkdir((home.Path() + "/state").c_str(), 0700);
            mkdir((home.Path() + "/state/qubopost").c_str(), 0700);
        }
        c.spoil(journal);
        const std::size_t before = server.messages().size();
        const CliRun run = RunCli(home, PostArgs(home, server.port(), "0"));
        EXPECT_NE(run.status, 0);
        EXPECT_NE(run.err.find("何も送っていません"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
        EXPECT_EQ(server.messages().size(), before);
        chmod(journal.c_str(), 0600);
    }
}

TEST(CliRuns, AJournalLockedByAnotherWriterPastTheWaitStopsTheRun) {
    SmtpServer server;
    TempDir home;
    TempDir::Write(home.File("article.txt"), NumberedArticles(2));
    std::vector<std::string> first = PostArgs(home, server.port(), "0");
    first[2] = home.File("first.txt");
    TempDir::Write(home.File("first.txt"), NumberedArticles(4));
    ASSERT_EQ(RunCli(home, first).status, 0);
    const std::size_t before = server.messages().size();
    // Another program holds the journal's write lock for longer than the program waits.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((home.Path() + "/state/qubopost/history.sqlite3").c_str(), &db),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const CliRun run = RunCli(home, PostArgs(home, server.port(), "0"));
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("何も送っていません"), std::string::npos) << run.err;
    EXPECT_EQ(server.messages().size(), before);
}

TEST(CliRuns, WithoutAJournalOnPurposeItPostsAndSaysResumeIsImpossible) {
    TempDir home;
    SmtpServer server;
    TempDir::Write(home.File("article.txt"), NumberedArticles(2));
    std::vector<std::string> args = PostArgs(home, server.port(), "0");
    args.push_back("--no-journal");
    const CliRun run = RunCli(home, args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("再開できません"), std::string::npos) << run.err;
    EXPECT_EQ(server.messages().size(), 2u);
}

TEST(CliRuns, InputsArePipesAndTerminalOutputHasNoControlCharacters) {
    TempDir home;
    TempDir::Write(home.File("article.txt"),
                   "-----into-----[title]件名\x1b]0;x\x07\n本文\n-----into-----");
    // The header comes through a FIFO, read once.
    const std::string fifo = home.File("header.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { TempDir::Write(fifo, "ヘッダー\n"); });
    const CliRun run = RunCli(
        home, {"post", "--article", home.File("article.txt"), "--header", fifo, "--to", "a@x.jp",
               "--server", "127.0.0.1", "--port", "1", "--from", "me@x.jp", "--dry-run"});
    writer.join();
    // The title holds an escape sequence: refused with where it is, never printed raw.
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("U+001B"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos);

    TempDir::Write(home.File("article.txt"), "-----into-----[title]件名\n本文\n-----into-----");
    ASSERT_EQ(unlink(fifo.c_str()), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread again([&] { TempDir::Write(fifo, "ヘッダー\n"); });
    const CliRun piped = RunCli(
        home, {"post", "--article", home.File("article.txt"), "--header", fifo, "--to", "a@x.jp",
               "--server", "127.0.0.1", "--port", "1", "--from", "me@x.jp", "--dry-run"});
    again.join();
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_NE(piped.out.find("ヘッダー\r\n"), std::string::npos) << piped.out;

    const CliRun settings =
        RunCli(home, {"post", "--article", home.File("article.txt"), "--to", "a@x.jp", "--server",
                      "127.0.0.1", "--port", "1", "--from", "me@x.jp", "--dry-run", "--settings",
                      home.File("missing.ini")});
    EXPECT_EQ(settings.status, 2);
    EXPECT_NE(settings.err.find("missing.ini"), std::string::npos) << settings.err;
}
