// qubopost-cli through the real binary: inputs that would be lost are refused with a
// message that says where, options are checked before any connection, and a post that
// was interrupted resumes without sending anything twice.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "cli_process.h"
#include "raw_smtp_peer.h"
#include "smtp_fixture.h"
#include "temp_dir.h"
#include "wait_for.h"

using qubopost::test::DecodedSubject;
using qubopost::test::SmtpServer;
using qubopost::test::WaitFor;

namespace {}  // namespace

TEST(Cli, InputThatWouldBeLostIsRefusedWithWhereItIs) {
    TempDir home;
    const struct {
        std::string article;
        std::vector<std::string> extra;
        std::string expected;  // part of the message
    } table[] = {
        {NumberedArticles(2) + std::string("\0tail", 5), {}, "NUL"},
        {"-----into-----\n\xff\xfe\n-----into-----x-----into-----",
         {},
         "2 行目に UTF-8 として正しくない"},
        {"-----into-----\n\x81\x20\n-----into-----x-----into-----",
         {"--input-encoding", "sjis"},
         "Shift-JIS として正しくない"},
        // A terminal escape has no place in a message (a heart does: see the dry run below).
        {"-----into-----a\nこんにちは\x1b[2J\n-----into-----b-----into-----",
         {},
         "制御文字（U+001B）2 行目 6 文字目"},
        {"no separators", {}, "区切り"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.expected);
        TempDir::Write(home.File("article.txt"), row.article);
        std::vector<std::string> args = {"post",      "--article", home.File("article.txt"),
                                         "--to",      "b@x.jp",    "--server",
                                         "127.0.0.1", "--port",    "1",
                                         "--from",    "me@x.jp"};
        args.insert(args.end(), row.extra.begin(), row.extra.end());
        const CliRun run = RunCli(home, args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(row.expected), std::string::npos) << run.err;
    }
}

TEST(Cli, OptionsAreCheckedBeforeAnyConnection) {
    TempDir home;
    TempDir::Write(home.File("article.txt"), NumberedArticles(2));
    const std::vector<std::string> base = {
        "post", "--article", home.File("article.txt"), "--to", "b@x.jp", "--from", "me@x.jp"};
    const struct {
        std::vector<std::string> extra;
        std::string expected;
    } table[] = {
        {{"--server", "127.0.0.1", "--port", "0"}, "1～65535"},
        {{"--server", "127.0.0.1", "--port", "65536"}, "1～65535"},
        {{"--server", "smtp.x.jp:587", "--port", "587"}, "--port"},
        {{"--server", "127.0.0.1", "--port", "25", "--pause", "nan"}, "--pause"},
        {{"--server", "127.0.0.1", "--port", "25", "--pause", "-1"}, "--pause"},
        {{"--server", "127.0.0.1", "--port", "25", "--port", "26"}, "2 回指定されています"},
        {{"--server", "127.0.0.1", "--port", "25", "--header", home.Path()}, "フォルダー"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.expected);
        std::vector<std::string> args = base;
        args.insert(args.end(), row.extra.begin(), row.extra.end());
        const CliRun run = RunCli(home, args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(row.expected), std::string::npos) << run.err;
    }
    const CliRun version = RunCli(home, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("qubopost-cli ", 0), 0u);
}

TEST(Cli, ADryRunSaysThatNothingWasSent) {
    TempDir home;
    TempDir::Write(home.File("article.txt"), NumberedArticles(4));
    const CliRun run = RunCli(
        home, {"post", "--article", home.File("article.txt"), "--to", "a@x.jp", "--to", "b@x.jp",
               "--server", "127.0.0.1", "--port", "1", "--from", "me@x.jp", "--dry-run"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("4 通のメールを表示しました（--dry-run のため何も送っていません）"),
              std::string::npos);
    EXPECT_EQ(run.out.find("送信完了"), std::string::npos);

    // Characters without a Shift-JIS form go as typed, in subject and body.
    TempDir::Write(home.File("typed.txt"),
                   "-----into-----\n[title]〜♡🍣\n本文👍🏽\n-----into-----");
    const CliRun typed =
        RunCli(home, {"post", "--article", home.File("typed.txt"), "--to", "a@x.jp", "--server",
                      "127.0.0.1", "--port", "1", "--from", "me@x.jp", "--dry-run"});
    EXPECT_EQ(typed.status, 0) << typed.err;
    EXPECT_NE(typed.out.find("Subject: 〜♡🍣\n\n\r\n〜♡🍣\r\n本文👍🏽\r\n"),
              std::string::npos)
        << typed.out;
}

TEST(Cli, AKilledPostResumesAndSendsOnlyWhatWasMissing) {
    TempDir home;
    SmtpServer server;
    TempDir::Write(home.File("article.txt"),
                   NumberedArticles(9));  // 3 groups x 2 addresses = 6 messages
    const std::vector<std::string> args = {"post",
                                           "--article",
                                           home.File("article.txt"),
                                           "--to",
                                           "a@x.jp",
                                           "--to",
                                           "b@x.jp",
                                           "--server",
                                           "127.0.0.1",
                                           "--port",
                                           std::to_string(server.port()),
                                           "--from",
                                           "me@x.jp",
                                           "--pause",
                                           "30"};
    // First run: killed in its pause after the first message.
    const pid_t pid = StartCli(home, args);
    CliGuard guard(pid);
    ASSERT_TRUE(
        WaitFor([&] { return !server.messages().empty(); }, "the first message at the server"));
    // The journal records it before the pause begins.
    ASSERT_TRUE(WaitFor([&] { return SentInJournal(home) == 1; },
                        "the first message marked sent in the journal"));
    ASSERT_EQ(server.messages().size(), 1u);
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    EXPECT_EQ(WaitCli(pid), -1);  // the kill ended it
    guard.Reset(-1);

    std::vector<std::string> again = args;
    again[again.size() - 1] = "0";
    const CliRun second = RunCli(home, again);
    EXPECT_EQ(second.status, 0) << second.out << second.err;
    EXPECT_NE(second.out.find("前回中断した投稿を続きから再開します"), std::string::npos);
    ASSERT_EQ(server.messages().size(), 6u);
    std::set<std::pair<std::string, std::string>> distinct;
    for (const auto& mail : server.messages())
        distinct.insert({mail.rcptTo.at(0), DecodedSubject(mail)});
    EXPECT_EQ(distinct.size(), 6u);

    // Once more after that: a finished run is posted again in full only with --again.
    const CliRun third = RunCli(home, again);
    EXPECT_NE(third.status, 0);
    EXPECT_EQ(server.messages().size(), 6u);
    again.push_back("--again");
    const CliRun fourth = RunCli(home, again);
    EXPECT_EQ(fourth.status, 0);
    EXPECT_EQ(server.messages().size(), 12u);

    const CliRun history = RunCli(home, {"history"});
    EXPECT_EQ(history.status, 0);
    EXPECT_NE(history.out.find("送信 6 通"), std::string::npos) << history.out;
}

TEST(Cli, TerminatingDuringAStalledTransferEndsWithinSecondsAndSendsNothing) {
    TempDir home;
    qubopost::test::RawSmtpPeer::Script script;
    script.dataPauseMs = 60000;  // reads nothing after 354: the body's transfer stalls
    qubopost::test::RawSmtpPeer peer(script);
    // A body large enough to fill the socket buffers, so the transfer is still going.
    std::string article = "-----into-----[title]big\n";
    article += std::string(8 << 20, 'x');
    article += "\n-----into-----";
    TempDir::Write(home.File("article.txt"), article);
    const pid_t pid =
        StartCli(home, {"post", "--article", home.File("article.txt"), "--to", "a@x.jp", "--server",
                        "127.0.0.1", "--port", std::to_string(peer.port()), "--from", "me@x.jp",
                        "--pause", "0"});
    CliGuard guard(pid);
    // Wait until the transfer is under way, then ask the program to end.
    auto inData = [&] {
        const auto commands = peer.commands();
        return std::find(commands.begin(), commands.end(), "DATA") != commands.end();
    };
    ASSERT_TRUE(WaitFor(inData, "the DATA command"));
    // The body is going out into the stalled connection: its first bytes wait, unread, at the peer.
    ASSERT_TRUE(WaitFor([&] { return peer.unread() > 0; }, "the body's first bytes at the peer"));
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    // It ends on its own, soon: a process still running 5 s after SIGTERM is killed and fails the
    // test.
    const int status = WaitCli(pid, std::chrono::seconds(5));
    EXPECT_GE(status, 0) << "ended by a signal rather than by itself";
    guard.Reset(-1);
    EXPECT_EQ(peer.finalDots(), 0);  // the message was cut before its final "."
    // The journal knows it was not delivered (neither sent nor uncertain): a resume sends it.
    const CliRun history = RunCli(home, {"history"});
    EXPECT_NE(history.out.find("送信 0 通"), std::string::npos) << history.out;
    EXPECT_NE(history.out.find("不明 0 通"), std::string::npos) << history.out;
    EXPECT_NE(history.out.find("途中で中止"), std::string::npos) << history.out;
}
