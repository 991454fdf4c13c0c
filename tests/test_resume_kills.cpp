// qubopost-cli post killed with SIGKILL at random moments and then run again with the same
// arguments: across many rounds, every message the server accepted arrived exactly once, except
// those the journal marks uncertain (at most once), and none is lost. After every kill the
// journal is whole. What the server saw of each killed run tells where the kill landed; kills
// must have landed while connecting, during a transfer, after the final ".", and in the pause.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "cli_process.h"
#include "journal/journal.h"
#include "smtp_fixture.h"
#include "temp_dir.h"
#include "wait_for.h"

using qubopost::test::DecodedSubject;
using qubopost::test::SmtpServer;
using qubopost::test::WaitFor;
namespace journal = qubopost::journal;

namespace {

std::string IntegrityCheck(const std::string& path) {
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return result;
}

// Where a kill landed, from what the server saw of the run's connections.
enum Phase {
    kStarting,       // no connection yet
    kConnecting,     // connected, the DATA command not yet sent
    kInTransfer,     // after DATA, the message not stored
    kAfterFinalDot,  // the message stored, the connection not yet ended with QUIT
    kInPause,        // between two messages
    kFinishing,      // every message sent, the run not yet recorded as done
    kPhases
};
constexpr std::array<const char*, kPhases> kPhaseNames = {
    "starting", "connecting", "in_transfer", "after_final_dot", "in_pause", "finishing"};

// The events of the server's log from `from` on, by connection, in order: only connections
// made from there on (the end of an earlier one may be logged late).
std::map<int, std::vector<std::string>> EventsByConnection(const SmtpServer& server,
                                                           std::size_t from) {
    std::map<int, std::vector<std::string>> connections;
    const auto events = server.events();
    for (std::size_t i = from; i < events.size(); ++i) {
        std::istringstream line(events[i]);
        int connection = 0;
        std::string event;
        line >> connection >> event;
        if (event == "connect" || connections.count(connection))
            connections[connection].push_back(event);
    }
    return connections;
}

bool Has(const std::vector<std::string>& events, const std::string& event) {
    return std::find(events.begin(), events.end(), event) != events.end();
}

Phase PhaseOf(const std::map<int, std::vector<std::string>>& connections, int messages) {
    if (connections.empty()) return kStarting;
    const auto& last = connections.rbegin()->second;
    if (!Has(last, "DATA")) return kConnecting;
    if (!Has(last, "accepted")) return kInTransfer;
    if (!Has(last, "QUIT")) return kAfterFinalDot;
    int accepted = 0;
    for (const auto& [number, events] : connections) accepted += Has(events, "accepted") ? 1 : 0;
    return accepted < messages ? kInPause : kFinishing;
}

// How many times `event` occurs among the events from `from` on.
int Count(const SmtpServer& server, std::size_t from, const std::string& event) {
    int count = 0;
    for (const auto& [number, events] : EventsByConnection(server, from))
        count += static_cast<int>(std::count(events.begin(), events.end(), event));
    return count;
}

}  // namespace

TEST(ResumeAfterKill, EveryAcceptedMessageArrivesOnceAcrossManyKills) {
    TempDir home;
    SmtpServer server;
    const std::string journalPath = home.Path() + "/state/qubopost/history.sqlite3";
    std::mt19937 random(20261207);
    // Rounds take turns: a kill at a random time from the start, or a kill aimed at a moment
    // the server sees (the k-th connection, DATA, stored message or QUIT of the run), at once
    // or a random while after it. Each round's phase is then read from the server's log.
    enum Aim { kAtRandom, kAtConnect, kAtData, kAtAccepted, kAtQuit, kAims };
    const char* const aimEvents[kAims] = {"", "connect", "DATA", "accepted", "QUIT"};
    const int rounds = 150;
    int killedDuringRuns = 0;
    std::array<int, kPhases> kills{};
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        // Two groups to two addresses: four messages, each subject naming its round.
        std::string article = "-----into-----";
        for (int a = 1; a <= 4; ++a)
            article += "[title]r" + std::to_string(round) + "-" + std::to_string(a) +
                       "\nhttp://shop.test/" + std::to_string(a) + "\n-----into-----";
        TempDir::Write(home.File("article.txt"), article);
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
                                               "0.02"};
        const std::size_t eventsBefore = server.events().size();
        const Aim aim = static_cast<Aim>(round % kAims);
        const pid_t first = StartCli(home, args);
        CliGuard guard(first);
        if (aim == kAtRandom) {
            std::this_thread::sleep_for(
                std::chrono::microseconds(std::uniform_int_distribution<int>(0, 250000)(random)));
        } else {
            // The k-th such event of this run (QUIT: not the last, so that a pause follows).
            const int k = std::uniform_int_distribution<int>(1, aim == kAtQuit ? 3 : 4)(random);
            ASSERT_TRUE(
                WaitFor([&] { return Count(server, eventsBefore, aimEvents[aim]) >= k; },
                        qubopost::test::kWaitLimit,
                        std::string(aimEvents[aim]) + " #" + std::to_string(k) + " of the run",
                        std::chrono::microseconds(100)));
            if (aim == kAtQuit)  // somewhere in the pause of 20 ms
                std::this_thread::sleep_for(std::chrono::microseconds(
                    std::uniform_int_distribution<int>(0, 15000)(random)));
        }
        ASSERT_EQ(kill(first, SIGKILL), 0);
        const bool killed = WaitCli(first) == -1;
        guard.Reset(-1);
        // Once the server has seen every connection of the run end, its log holds all the run
        // sent before it died.
        ASSERT_TRUE(WaitFor(
            [&] {
                for (const auto& [number, events] : EventsByConnection(server, eventsBefore))
                    if (!Has(events, "closed")) return false;
                return true;
            },
            "the killed run's connections to close"));
        if (killed) ++kills[PhaseOf(EventsByConnection(server, eventsBefore), 4)];
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
                finished =
                    latest->front().finished && !messages->empty() &&
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
            if (subject.rfind("r" + std::to_string(round) + "-", 0) == 0)
                ++arrived[{mail.rcptTo.at(0), subject}];
        }
        ASSERT_EQ(messages->size(), 4u);
        // A message left uncertain is not sent again without being asked: the run that left
        // it so never reports completion.
        const bool anyUncertain =
            std::any_of(messages->begin(), messages->end(),
                        [](const auto& m) { return m.state == journal::MessageState::Uncertain; });
        EXPECT_EQ(status, anyUncertain && !finished ? 1 : 0);
        for (const journal::MessageRecord& message : *messages) {
            const int count = arrived[{message.destination, message.subject}];
            if (message.state == journal::MessageState::Uncertain) {
                EXPECT_LE(count, 1) << message.destination << " " << message.subject;
            } else {
                EXPECT_EQ(message.state, journal::MessageState::Sent);
                EXPECT_EQ(count, 1)
                    << message.destination << " " << message.subject << " killed=" << killed
                    << " attempts=" << history->front().attempts << " detail=" << message.detail;
            }
        }
    }
    RecordProperty("killed_during_runs", killedDuringRuns);
    // The kills landed in every phase this test is about.
    std::string tally;
    for (int phase = 0; phase < kPhases; ++phase) {
        tally += std::string(kPhaseNames[phase]) + "=" + std::to_string(kills[phase]) + " ";
        RecordProperty(std::string("kills_") + kPhaseNames[phase], kills[phase]);
    }
    for (Phase phase : {kConnecting, kInTransfer, kAfterFinalDot, kInPause})
        EXPECT_GE(kills[phase], 1)
            << "no kill landed " << kPhaseNames[phase] << " in " << rounds << " rounds: " << tally;
    std::printf("kills by phase: %s\n", tally.c_str());
}
