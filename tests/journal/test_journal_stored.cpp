// Runs stored whole: their texts come back as given, each group's body is kept once, and the
// journal tells which runs are unfinished and when a server last took a message.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "journal/journal.h"
#include "temp_dir.h"

using namespace qubopost::journal;
using namespace std::chrono_literals;

namespace {

const Time kStart = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + 5h + 5min;

Journal OpenIn(const TempDir& dir) {
    auto journal = Journal::Open(dir.File("history.sqlite3"));
    if (!journal) ADD_FAILURE() << journal.error().message;
    return std::move(*journal);
}

// One number from the file through a connection of the test's own.
std::string Count(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string value = "(error)";
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        value = std::to_string(sqlite3_column_int64(statement, 0));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

// `count` destinations, each taking every group in turn: message numbers run through the
// destinations first, as a posting sends them.
StoredRun Fanned(std::vector<std::string> bodies, int destinations) {
    StoredRun run{"me@example.jp", "smtp.example.jp:587", "", std::move(bodies), {}};
    int number = 0;
    for (int group = 0; group < static_cast<int>(run.bodies.size()); ++group) {
        for (int d = 0; d < destinations; ++d) {
            run.messages.push_back({++number, group, "blog" + std::to_string(d) + "@example.jp",
                                    "subject " + std::to_string(group)});
        }
    }
    return run;
}

void ExpectSame(const StoredRun& actual, const StoredRun& expected) {
    EXPECT_EQ(actual.sender, expected.sender);
    EXPECT_EQ(actual.server, expected.server);
    EXPECT_EQ(actual.trustFile, expected.trustFile);
    EXPECT_EQ(actual.bodies, expected.bodies);
    // Messages come back by number, whatever order they were given in.
    std::vector<StoredRun::Message> byNumber = expected.messages;
    std::sort(byNumber.begin(), byNumber.end(),
              [](const auto& a, const auto& b) { return a.number < b.number; });
    ASSERT_EQ(actual.messages.size(), byNumber.size());
    for (std::size_t i = 0; i < byNumber.size(); ++i) {
        SCOPED_TRACE("message " + std::to_string(byNumber[i].number));
        EXPECT_EQ(actual.messages[i].number, byNumber[i].number);
        EXPECT_EQ(actual.messages[i].group, byNumber[i].group);
        EXPECT_EQ(actual.messages[i].destination, byNumber[i].destination);
        EXPECT_EQ(actual.messages[i].subject, byNumber[i].subject);
    }
}

}  // namespace

TEST(JournalStored, RoundTrip) {
    const std::string binaryish("\0\xff\xfe\r\n.\r\n\x1b$B\x1b(B\x80", 15);
    const std::string longBody(300000, 'x');
    struct Case {
        const char* name;
        StoredRun run;
    };
    const Case cases[] = {
        {"UTF-8 texts, two groups",
         Fanned({"本文その一\n〜波ダッシュ〜と絵文字😀\n", "二つ目の本文"}, 3)},
        {"one body, many destinations", Fanned({"the one body"}, 40)},
        {"binary-ish bodies and empty ones", Fanned({binaryish, "", std::string(1, '\0')}, 2)},
        {"a long body", Fanned({longBody}, 2)},
        {"texts of the run itself",
         {"\xe5\x90\x8d\xe5\x89\x8d <me@example.jp>",
          "smtps://mail.example.jp:465",
          "/home/me/ca bundle/\xe8\xa8\xbc\xe6\x98\x8e\xe6\x9b\xb8.pem",
          {"a", "b"},
          // Given out of order, one group without messages.
          {{3, 0, "c@example.jp", ""}, {1, 0, "a@example.jp", binaryish}, {2, 0, "", "two"}}}},
        {"a body no message uses",
         {"me@example.jp",
          "127.0.0.1:2525",
          "",
          {"used", "unused"},
          {{1, 0, "a@example.jp", "s"}}}},
        {"no messages", {"me@example.jp", "[::1]:25", "", {}, {}}},
    };
    TempDir dir;
    std::vector<RunId> ids;
    std::size_t messageRows = 0;
    {
        Journal journal = OpenIn(dir);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            auto run = journal.StartStoredRun(c.name, c.run, kStart);
            ASSERT_TRUE(run) << run.error().message;
            ids.push_back(*run);
            messageRows += c.run.messages.size();
        }
    }
    // A fresh connection reads what the first one committed.
    Journal journal = OpenIn(dir);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        auto loaded = journal.LoadStoredRun(ids[i]);
        ASSERT_TRUE(loaded) << loaded.error().message;
        ASSERT_TRUE(loaded->has_value());
        ExpectSame(**loaded, c.run);

        // Each body once, however many destinations share it.
        EXPECT_EQ(Count(journal.Path(),
                        "SELECT COUNT(*) FROM run_groups WHERE run_id = " + std::to_string(ids[i])),
                  std::to_string(c.run.bodies.size()));
        auto summary = journal.Summary(ids[i]);
        ASSERT_TRUE(summary && *summary);
        EXPECT_TRUE((*summary)->stored);
        EXPECT_EQ((*summary)->server, c.run.server);
        EXPECT_EQ((*summary)->total, static_cast<int>(c.run.messages.size()));
        EXPECT_EQ((*summary)->pending, static_cast<int>(c.run.messages.size()));
        // The messages as the history shows them.
        auto messages = journal.Messages(ids[i]);
        ASSERT_TRUE(messages);
        ASSERT_EQ(messages->size(), c.run.messages.size());
    }
    EXPECT_EQ(Count(journal.Path(), "SELECT COUNT(*) FROM messages"), std::to_string(messageRows));
    // 2 + 1 + 3 + 1 + 2 + 2 + 0 bodies in all, not one per message.
    EXPECT_EQ(Count(journal.Path(), "SELECT COUNT(*) FROM run_groups"), "11");
    EXPECT_EQ(Count(journal.Path(), "SELECT SUM(LENGTH(body)) FROM run_groups WHERE run_id = " +
                                        std::to_string(ids[3])),
              "300000");
}

TEST(JournalStored, RunsWithoutTextsAndUnknownRuns) {
    TempDir dir;
    Journal journal = OpenIn(dir);
    auto plain = journal.StartRun("plain", {{1, "a@example.jp", "s"}}, kStart);
    ASSERT_TRUE(plain);
    const RunId unknown[] = {*plain, *plain + 1, 0, -1};
    for (RunId run : unknown) {
        auto loaded = journal.LoadStoredRun(run);
        ASSERT_TRUE(loaded) << loaded.error().message;
        EXPECT_FALSE(loaded->has_value()) << "run " << run;
    }
    auto summary = journal.Summary(*plain);
    ASSERT_TRUE(summary && *summary);
    EXPECT_FALSE((*summary)->stored);
    EXPECT_EQ((*summary)->server, "");
}

TEST(JournalStored, RefusedPlansLeaveNothing) {
    struct Case {
        const char* name;
        std::vector<std::string> bodies;
        std::vector<StoredRun::Message> messages;
    };
    const Case cases[] = {
        {"number zero", {"b"}, {{0, 0, "a", "s"}}},
        {"number past the end", {"b"}, {{2, 0, "a", "s"}}},
        {"number twice", {"b"}, {{1, 0, "a", "s"}, {1, 0, "b", "s"}}},
        {"group below zero", {"b"}, {{1, -1, "a", "s"}}},
        {"group past the bodies", {"b", "c"}, {{1, 0, "a", "s"}, {2, 2, "b", "s"}}},
        {"messages without bodies", {}, {{1, 0, "a", "s"}}},
    };
    TempDir dir;
    Journal journal = OpenIn(dir);
    for (const Case& c : cases) {
        const StoredRun run{"me@example.jp", "smtp.example.jp:25", "", c.bodies, c.messages};
        auto started = journal.StartStoredRun("bad", run, kStart);
        EXPECT_FALSE(started) << c.name;
        if (!started) {
            EXPECT_NE(started.error().message.find("記録できませんでした"), std::string::npos)
                << c.name << ": " << started.error().message;
        }
    }
    auto history = journal.History(0);
    ASSERT_TRUE(history);
    EXPECT_TRUE(history->empty());
    EXPECT_EQ(Count(journal.Path(), "SELECT COUNT(*) FROM run_groups"), "0");
    EXPECT_EQ(Count(journal.Path(), "SELECT COUNT(*) FROM messages"), "0");
}

enum class End { None, Stopped, Finished, FinishedThenResumed };

TEST(JournalStored, UnfinishedRuns) {
    struct Run {
        const char* identity;
        bool stored;
        End end;
    };
    struct Case {
        const char* name;
        std::vector<Run> runs;  // oldest first
        int limit;
        std::vector<int> expected;  // indexes into runs, newest first
    };
    const Case cases[] = {
        {"none", {}, 0, {}},
        {"killed and stopped ones", {{"A", true, End::None}, {"B", true, End::Stopped}}, 0, {1, 0}},
        {"finished ones are left out",
         {{"A", true, End::Finished}, {"B", false, End::Stopped}, {"C", true, End::Finished}},
         0,
         {1}},
        {"a newer run of the identity supersedes",
         {{"A", true, End::Stopped}, {"A", true, End::None}, {"B", true, End::None}},
         0,
         {2, 1}},
        {"superseded by a finished run",
         {{"A", true, End::Stopped}, {"B", true, End::Stopped}, {"A", true, End::Finished}},
         0,
         {1}},
        {"superseded by a run without texts",
         {{"A", true, End::Stopped}, {"A", false, End::None}},
         0,
         {1}},
        {"a finished run taken up again", {{"A", true, End::FinishedThenResumed}}, 0, {0}},
        {"limit",
         {{"A", true, End::None}, {"B", true, End::None}, {"C", false, End::None}},
         2,
         {2, 1}},
        {"no limit below zero", {{"A", true, End::None}, {"B", true, End::None}}, -1, {1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Journal journal = OpenIn(dir);
        std::vector<RunId> ids;
        Time at = kStart;
        for (const Run& run : c.runs) {
            const std::string server = std::string(run.identity) + ".example.jp:25";
            auto id =
                run.stored
                    ? journal.StartStoredRun(
                          run.identity,
                          {"me@example.jp", server, "", {"b"}, {{1, 0, "a@example.jp", "s"}}}, at)
                    : journal.StartRun(run.identity, {{1, "a@example.jp", "s"}}, at);
            ASSERT_TRUE(id) << id.error().message;
            ids.push_back(*id);
            if (run.end != End::None) {
                ASSERT_TRUE(journal.EndRun(*id, at + 1s, run.end != End::Stopped));
            }
            if (run.end == End::FinishedThenResumed) {
                ASSERT_TRUE(journal.ResumeRun(*id, at + 2s));
            }
            at += 1h;
        }
        auto unfinished = journal.UnfinishedRuns(c.limit);
        ASSERT_TRUE(unfinished) << unfinished.error().message;
        ASSERT_EQ(unfinished->size(), c.expected.size());
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            const Run& run = c.runs[static_cast<std::size_t>(c.expected[i])];
            const UnfinishedRun& found = (*unfinished)[i];
            EXPECT_EQ(found.summary.id, ids[static_cast<std::size_t>(c.expected[i])]);
            EXPECT_EQ(found.stored, run.stored);
            EXPECT_EQ(found.server, run.stored ? std::string(run.identity) + ".example.jp:25" : "");
            EXPECT_FALSE(found.summary.finished);
            EXPECT_EQ(found.summary.Resumable(), run.stored);
        }
        // The history marks the same runs as resumable.
        auto history = journal.History(0);
        ASSERT_TRUE(history);
        int resumable = 0;
        for (const RunSummary& run : *history) resumable += run.Resumable() ? 1 : 0;
        int expectedResumable = 0;
        for (int index : c.expected) {
            expectedResumable += c.runs[static_cast<std::size_t>(index)].stored ? 1 : 0;
        }
        if (c.limit <= 0) {
            EXPECT_EQ(resumable, expectedResumable);
        }
    }
}

TEST(JournalStored, LastSentTo) {
    TempDir dir;
    Journal journal = OpenIn(dir);
    const auto start = [&](const char* identity, const char* server, int messages) {
        StoredRun run{"me@example.jp", server, "", {"b"}, {}};
        for (int n = 1; n <= messages; ++n) run.messages.push_back({n, 0, "a@example.jp", "s"});
        auto id = journal.StartStoredRun(identity, run, kStart);
        EXPECT_TRUE(id) << id.error().message;
        return id ? *id : RunId{0};
    };
    // Server A: an older run sent at +10s, a newer run was uncertain at +50s; later marks that
    // do not count (a failure at +90s, one uncertain turned failed at +80s, one left pending).
    const RunId a1 = start("a1", "smtp.a.example:587", 2);
    ASSERT_TRUE(journal.MarkSent(a1, 1, kStart + 10s, "250 ok"));
    ASSERT_TRUE(journal.MarkFailed(a1, 2, kStart + 90s, "550 no"));
    const RunId a2 = start("a2", "smtp.a.example:587", 3);
    ASSERT_TRUE(journal.MarkUncertain(a2, 1, kStart + 50s, "reset"));
    ASSERT_TRUE(journal.MarkUncertain(a2, 2, kStart + 70s, "reset"));
    ASSERT_TRUE(journal.MarkFailed(a2, 2, kStart + 80s, "550 no"));
    // Server B, sent later than anything on A; the same host on another port, and with
    // smtps:// before it, are other servers.
    const RunId b = start("b", "smtp.b.example:25", 1);
    ASSERT_TRUE(journal.MarkSent(b, 1, kStart + 200s, "250 ok"));
    const RunId other = start("a-465", "smtps://smtp.a.example:465", 1);
    ASSERT_TRUE(journal.MarkSent(other, 1, kStart + 300s, "250 ok"));
    // A run without texts never counts, whatever it sent.
    auto plain = journal.StartRun("plain", {{1, "a@example.jp", "s"}}, kStart);
    ASSERT_TRUE(plain);
    ASSERT_TRUE(journal.MarkSent(*plain, 1, kStart + 400s, "250 ok"));
    // Only failures on C.
    const RunId c = start("c", "smtp.c.example:25", 1);
    ASSERT_TRUE(journal.MarkFailed(c, 1, kStart + 500s, "421 busy"));

    struct Case {
        const char* server;
        std::optional<Time> expected;
    };
    const Case cases[] = {
        {"smtp.a.example:587", kStart + 50s},
        {"smtp.b.example:25", kStart + 200s},
        {"smtps://smtp.a.example:465", kStart + 300s},
        {"smtp.a.example:465", std::nullopt},
        {"smtp.a.example", std::nullopt},
        {"SMTP.A.EXAMPLE:587", std::nullopt},
        {"smtp.c.example:25", std::nullopt},
        {"", std::nullopt},
        {"unknown.example:25", std::nullopt},
    };
    for (const Case& c : cases) {
        auto last = journal.LastSentTo(c.server);
        ASSERT_TRUE(last) << last.error().message;
        EXPECT_EQ(*last, c.expected) << c.server;
    }
    // Another process sees the same (the pause holds across processes).
    Journal other_connection = OpenIn(dir);
    auto seen = other_connection.LastSentTo("smtp.a.example:587");
    ASSERT_TRUE(seen);
    EXPECT_EQ(*seen, kStart + 50s);
}

TEST(JournalStored, PruneTakesTheBodiesToo) {
    TempDir dir;
    Journal journal = OpenIn(dir);
    const Time now = kStart + 100 * 24h;
    auto old = journal.StartStoredRun("old", {"me", "s:25", "", {"x", "y"}, {{1, 1, "a", "s"}}},
                                      now - 91 * 24h);
    auto recent =
        journal.StartStoredRun("new", {"me", "s:25", "", {"z"}, {{1, 0, "a", "s"}}}, now - 1h);
    ASSERT_TRUE(old && recent);
    auto removed = journal.Prune(now);
    ASSERT_TRUE(removed) << removed.error().message;
    EXPECT_EQ(*removed, 1);
    EXPECT_EQ(Count(journal.Path(), "SELECT COUNT(*) FROM run_groups"), "1");
    auto gone = journal.LoadStoredRun(*old);
    ASSERT_TRUE(gone);
    EXPECT_FALSE(*gone);
    auto kept = journal.LoadStoredRun(*recent);
    ASSERT_TRUE(kept && *kept);
    EXPECT_EQ((*kept)->bodies, std::vector<std::string>{"z"});
}
