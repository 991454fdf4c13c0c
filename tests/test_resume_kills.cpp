// qubopost-cli post killed with SIGKILL at random moments (during a transfer, after the
// final ".", in the pause) and then run again with the same arguments: across many rounds,
// every message the server accepted arrived exactly once, except those the journal marks
// uncertain (at most once), and none is lost. After every kill the journal is whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <thread>
#include <random>

#include "cli_process.h"
#include "journal/journal.h"
#include "smtp_fixture.h"
#include "temp_dir.h"

using qubopost::test::DecodedSubject;
using qubopost::test::SmtpServer;
namespace journal = qubopost::journal;

namespace {

std::string IntegrityCheck(const std::string& path) {
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return result;
}

}  // namespace

TEST(ResumeAfterKill, EveryAcceptedMessageArrivesOnceAcrossManyKills) {
    TempDir home;
    SmtpServer server;
    const std::string journalPath = home.Path() + "/state/qubopost/history.sqlite3";
    std::mt19937 random(20261207);
    const int rounds = 200;
    int killedDuringRuns = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        // Two groups to two addresses: four messages, each subject naming its round.
        std::string article = "-----into-----";
        for (int a = 1; a <= 4; ++a)
            article += "[title]r" + std::to_string(round) + "-" + std::to_string(a) + "\nhttp://shop.test/" +
                       std::to_string(a) + "\n-----into-----";
        TempDir::Write(home.File("article.txt"), article);
        const std::vector<std::string> args = {"post",   "--article", home.File("article.txt"),
                                               "--to",   "a@x.jp",    "--to",
                                               "b@x.jp", "--server",  "127.0.0.1",
                                               "--port", std::to_string(server.port()), "--from",
                                               "me@x.jp", "--pause", "0.02"};
        const pid_t first = StartCli(home, args);
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 250000)(random)));
        kill(first, SIGKILL);
        const bool killed = WaitCli(first) == -1;
        if (std::filesystem::exists(journalPath)) {
            ASSERT_EQ(IntegrityCheck(journalPath), "ok");
        }
        // A run that finished before the kill (it may be killed on its way out) is done:
        // the same arguments would post everything again, as they should. Any other is
        // run again and must only complete what is missing.
        bool finished = false;
        if (std::filesystem::exists(journalPath)) {
            auto opened = journal::Journal::Open(journalPath);
            ASSERT_TRUE(opened);
            auto latest = opened->History(1);
            ASSERT_TRUE(latest);
            if (!latest->empty()) {
                auto messages = opened->Messages(latest->front().id);
                ASSERT_TRUE(messages);
                finished = latest->front().finished && !messages->empty() &&
                           messages->front().subject.rfind("r" + std::to_string(round) + "-", 0) == 0;
            }
        }
        if (killed) ++killedDuringRuns;
        int status = 0;
        if (!finished) status = WaitCli(StartCli(home, args));

        // What the journal says of this round's run, and what arrived.
        auto opened = journal::Journal::Open(journalPath);
        ASSERT_TRUE(opened);
        auto history = opened->History(1);
        ASSERT_TRUE(history && !history->empty());
        auto messages = opened->Messages(history->front().id);
        ASSERT_TRUE(messages);
        std::map<std::pair<std::string, std::string>, int> arrived;
        for (const auto& mail : server.messages()) {
            const std::string subject = DecodedSubject(mail);
            if (subject.rfind("r" + std::to_string(round) + "-", 0) == 0) ++arrived[{mail.rcptTo.at(0), subject}];
        }
        ASSERT_EQ(messages->size(), 4u);
        // A message left uncertain is not sent again without being asked: the run that left
        // it so never reports completion.
        const bool anyUncertain = std::any_of(messages->begin(), messages->end(), [](const auto& m) {
            return m.state == journal::MessageState::Uncertain;
        });
        EXPECT_EQ(status, anyUncertain && !finished ? 1 : 0);
        for (const journal::MessageRecord& message : *messages) {
            const int count = arrived[{message.destination, message.subject}];
            if (message.state == journal::MessageState::Uncertain) {
                EXPECT_LE(count, 1) << message.destination << " " << message.subject;
            } else {
                EXPECT_EQ(message.state, journal::MessageState::Sent);
                EXPECT_EQ(count, 1) << message.destination << " " << message.subject << " killed=" << killed
                                    << " attempts=" << history->front().attempts << " detail=" << message.detail;
            }
        }
    }
    RecordProperty("killed_during_runs", killedDuringRuns);
}
