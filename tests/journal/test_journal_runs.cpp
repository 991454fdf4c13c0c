// Posting runs in the journal: recording, resuming, the history and its text, pruning.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "journal/history_text.h"
#include "journal/journal.h"
#include "temp_dir.h"

using namespace qubopost::journal;
using namespace std::chrono_literals;

namespace {

// 2026-12-07 05:05:00 UTC, 14:05 in Japan.
const Time kStart = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + 5h + 5min;

std::vector<PlannedMessage> Planned(int count) {
    std::vector<PlannedMessage> messages;
    for (int i = 1; i <= count; ++i) {
        messages.push_back(
            {i, "blog" + std::to_string(i) + "@example.jp", "subject " + std::to_string(i)});
    }
    return messages;
}

Journal OpenIn(const TempDir& dir) {
    auto journal = Journal::Open(dir.File("history.sqlite3"));
    if (!journal) ADD_FAILURE() << journal.error().message;
    return std::move(*journal);
}

enum class Op { Sent, Failed, Uncertain };
struct Mark {
    Op op;
    int number;
};
enum class End { None, Finished, Stopped };

Status Apply(Journal& journal, RunId run, const Mark& mark, Time at) {
    switch (mark.op) {
        case Op::Sent:
            return journal.MarkSent(run, mark.number, at, "250 2.0.0 Ok");
        case Op::Failed:
            return journal.MarkFailed(run, mark.number, at, "550 no such user");
        case Op::Uncertain:
            return journal.MarkUncertain(run, mark.number, at, "connection reset");
    }
    return Status::Ok();
}

// Sets TZ for the formatter's local time and puts it back afterwards.
class ZoneJapan {
public:
    ZoneJapan() {
        const char* old = std::getenv("TZ");
        if (old) m_old = old;
        m_had = old != nullptr;
        setenv("TZ", "JST-9", 1);
        tzset();
    }
    ~ZoneJapan() {
        if (m_had) {
            setenv("TZ", m_old.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::string m_old;
    bool m_had = false;
};

}  // namespace

struct RoundTripCase {
    const char* name;
    int total;
    std::vector<Mark> marks;
    End end;
    int sent, failed, uncertain, pending;
};

TEST(JournalRuns, RoundTripCounts) {
    const RoundTripCase cases[] = {
        {"nothing tried, killed", 3, {}, End::None, 0, 0, 0, 3},
        {"all sent", 3, {{Op::Sent, 1}, {Op::Sent, 2}, {Op::Sent, 3}}, End::Finished, 3, 0, 0, 0},
        {"mixed, finished",
         4,
         {{Op::Sent, 1}, {Op::Failed, 2}, {Op::Uncertain, 3}, {Op::Sent, 4}},
         End::Finished,
         2,
         1,
         1,
         0},
        {"stopped after two", 6, {{Op::Sent, 1}, {Op::Failed, 2}}, End::Stopped, 1, 1, 0, 4},
        {"failed then sent on retry",
         2,
         {{Op::Failed, 1}, {Op::Sent, 1}, {Op::Sent, 2}},
         End::Finished,
         2,
         0,
         0,
         0},
        {"uncertain then failed",
         1,
         {{Op::Uncertain, 1}, {Op::Failed, 1}},
         End::Stopped,
         0,
         1,
         0,
         0},
        {"killed mid run",
         5,
         {{Op::Sent, 1}, {Op::Sent, 2}, {Op::Uncertain, 3}},
         End::None,
         2,
         0,
         1,
         2},
        {"out of order", 3, {{Op::Sent, 3}, {Op::Failed, 1}}, End::Stopped, 1, 1, 0, 1},
    };
    for (const RoundTripCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Journal journal = OpenIn(dir);
        auto run = journal.StartRun("identity", Planned(c.total), kStart);
        ASSERT_TRUE(run) << run.error().message;
        Time at = kStart;
        for (const Mark& mark : c.marks) {
            at += 60s;
            Status marked = Apply(journal, *run, mark, at);
            ASSERT_TRUE(marked) << marked.error().message;
        }
        const Time end = at + 1s;
        if (c.end != End::None) {
            ASSERT_TRUE(journal.EndRun(*run, end, c.end == End::Finished));
        }

        // A fresh connection sees what the first one committed.
        Journal reopened = OpenIn(dir);
        auto history = reopened.History(10);
        ASSERT_TRUE(history) << history.error().message;
        ASSERT_EQ(history->size(), 1u);
        const RunSummary& summary = (*history)[0];
        EXPECT_EQ(summary.id, *run);
        EXPECT_EQ(summary.identity, "identity");
        EXPECT_EQ(summary.startedAt, kStart);
        EXPECT_EQ(summary.total, c.total);
        EXPECT_EQ(summary.sent, c.sent);
        EXPECT_EQ(summary.failed, c.failed);
        EXPECT_EQ(summary.uncertain, c.uncertain);
        EXPECT_EQ(summary.pending, c.pending);
        EXPECT_EQ(summary.finished, c.end == End::Finished);
        EXPECT_EQ(summary.endedAt.has_value(), c.end != End::None);
        if (summary.endedAt) {
            EXPECT_EQ(*summary.endedAt, end);
        }
        EXPECT_EQ(summary.attempts, 1);
    }
}

TEST(JournalRuns, MessagesKeepTheirBytes) {
    TempDir dir;
    Journal journal = OpenIn(dir);
    // Shift-JIS bytes, a NUL and a trailing high byte come back unchanged.
    const std::string destination("\x83\x75\x83\x8d\x83\x4f@example.jp", 17);
    const std::string subject("\x8c\x8f\x96\xbc\0\xff", 6);
    auto run =
        journal.StartRun("id", {{2, "two@example.jp", ""}, {1, destination, subject}}, kStart);
    ASSERT_TRUE(run) << run.error().message;
    ASSERT_TRUE(journal.MarkSent(*run, 1, kStart + 5s, "250 2.0.0 Ok: queued as 1A2B"));
    ASSERT_TRUE(journal.MarkUncertain(*run, 2, kStart + 70s, "\x90\xda\x91\xb1"));

    auto messages = journal.Messages(*run);
    ASSERT_TRUE(messages) << messages.error().message;
    ASSERT_EQ(messages->size(), 2u);
    const MessageRecord& first = (*messages)[0];
    EXPECT_EQ(first.number, 1);
    EXPECT_EQ(first.destination, destination);
    EXPECT_EQ(first.subject, subject);
    EXPECT_EQ(first.state, MessageState::Sent);
    ASSERT_TRUE(first.at);
    EXPECT_EQ(*first.at, kStart + 5s);
    EXPECT_EQ(first.detail, "250 2.0.0 Ok: queued as 1A2B");
    const MessageRecord& second = (*messages)[1];
    EXPECT_EQ(second.number, 2);
    EXPECT_EQ(second.destination, "two@example.jp");
    EXPECT_EQ(second.subject, "");
    EXPECT_EQ(second.state, MessageState::Uncertain);
    EXPECT_EQ(*second.at, kStart + 70s);
    EXPECT_EQ(second.detail, "\x90\xda\x91\xb1");

    auto unknown = journal.Messages(*run + 100);
    ASSERT_TRUE(unknown);
    EXPECT_TRUE(unknown->empty());
}

TEST(JournalRuns, RefusedMarksAndNumbers) {
    TempDir dir;
    Journal journal = OpenIn(dir);
    auto run = journal.StartRun("id", Planned(2), kStart);
    ASSERT_TRUE(run);
    ASSERT_TRUE(journal.MarkSent(*run, 1, kStart, "250 ok"));

    struct Case {
        const char* name;
        Status status;
    };
    const Case refused[] = {
        {"sent twice", journal.MarkSent(*run, 1, kStart, "250 ok")},
        {"sent, then failed", journal.MarkFailed(*run, 1, kStart, "x")},
        {"sent, then uncertain", journal.MarkUncertain(*run, 1, kStart, "x")},
        {"number past the end", journal.MarkSent(*run, 3, kStart, "250 ok")},
        {"number zero", journal.MarkFailed(*run, 0, kStart, "x")},
        {"unknown run", journal.MarkSent(*run + 1, 1, kStart, "250 ok")},
        {"end of unknown run", journal.EndRun(*run + 1, kStart, true)},
        {"resume of unknown run", journal.ResumeRun(*run + 1, kStart)},
    };
    for (const Case& c : refused) {
        EXPECT_FALSE(c.status) << c.name;
        if (!c.status) {
            EXPECT_FALSE(c.status.error().message.empty()) << c.name;
        }
    }
    // The refused marks changed nothing.
    auto messages = journal.Messages(*run);
    ASSERT_TRUE(messages);
    EXPECT_EQ((*messages)[0].state, MessageState::Sent);
    EXPECT_EQ((*messages)[0].detail, "250 ok");
    EXPECT_EQ((*messages)[1].state, MessageState::Pending);

    const std::vector<std::vector<PlannedMessage>> badPlans = {
        {{0, "a", "s"}},
        {{2, "a", "s"}},
        {{1, "a", "s"}, {1, "b", "s"}},
        {{1, "a", "s"}, {3, "b", "s"}},
    };
    for (const auto& plan : badPlans) EXPECT_FALSE(journal.StartRun("bad", plan, kStart));
    auto history = journal.History(0);
    ASSERT_TRUE(history);
    EXPECT_EQ(history->size(), 1u) << "a refused plan leaves no run behind";
}

struct FindCase {
    const char* name;
    // Runs of identity "A" (or "B"), oldest first: how each ended.
    std::vector<std::pair<const char*, End>> runs;
    // Index into runs of what FindUnfinished("A") / LatestFinished("A") return, -1 for none.
    int unfinished;
    int finished;
};

TEST(JournalRuns, FindUnfinishedAndLatestFinished) {
    const FindCase cases[] = {
        {"none", {}, -1, -1},
        {"killed", {{"A", End::None}}, 0, -1},
        {"stopped by the user", {{"A", End::Stopped}}, 0, -1},
        {"finished", {{"A", End::Finished}}, -1, 0},
        {"other identity only", {{"B", End::None}, {"B", End::Finished}}, -1, -1},
        {"newer other identity does not hide", {{"A", End::Stopped}, {"B", End::Finished}}, 0, -1},
        {"latest of two unfinished", {{"A", End::None}, {"A", End::Stopped}}, 1, -1},
        {"unfinished followed by finished", {{"A", End::Stopped}, {"A", End::Finished}}, -1, 1},
        {"finished followed by unfinished", {{"A", End::Finished}, {"A", End::None}}, 1, -1},
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Journal journal = OpenIn(dir);
        std::vector<RunId> ids;
        Time at = kStart;
        for (const auto& [identity, end] : c.runs) {
            auto run = journal.StartRun(identity, Planned(2), at);
            ASSERT_TRUE(run);
            ids.push_back(*run);
            ASSERT_TRUE(journal.MarkSent(*run, 1, at + 1s, "250 ok"));
            if (end != End::None) {
                ASSERT_TRUE(journal.EndRun(*run, at + 2s, end == End::Finished));
            }
            at += 1h;
        }
        auto unfinished = journal.FindUnfinished("A");
        ASSERT_TRUE(unfinished) << unfinished.error().message;
        EXPECT_EQ(unfinished->has_value(), c.unfinished >= 0);
        if (*unfinished && c.unfinished >= 0) {
            const RunRecord& record = **unfinished;
            EXPECT_EQ(record.summary.id, ids[static_cast<std::size_t>(c.unfinished)]);
            EXPECT_FALSE(record.summary.finished);
            ASSERT_EQ(record.messages.size(), 2u);
            EXPECT_EQ(record.messages[0].state, MessageState::Sent);
            EXPECT_EQ(record.messages[1].state, MessageState::Pending);
        }
        auto finished = journal.LatestFinished("A");
        ASSERT_TRUE(finished) << finished.error().message;
        EXPECT_EQ(finished->has_value(), c.finished >= 0);
        if (*finished && c.finished >= 0) {
            EXPECT_EQ((*finished)->summary.id, ids[static_cast<std::size_t>(c.finished)]);
            EXPECT_TRUE((*finished)->summary.finished);
        }
    }
}

TEST(JournalRuns, ResumeKeepsTheRunAndCountsAttempts) {
    TempDir dir;
    Journal journal = OpenIn(dir);
    auto run = journal.StartRun("A", Planned(3), kStart);
    ASSERT_TRUE(run);
    ASSERT_TRUE(journal.MarkSent(*run, 1, kStart + 1min, "250 ok"));
    ASSERT_TRUE(journal.EndRun(*run, kStart + 2min, false));  // stopped by the user

    // The next day: the same identity finds the run, which goes on under its id.
    auto found = journal.FindUnfinished("A");
    ASSERT_TRUE(found && *found);
    ASSERT_EQ((*found)->summary.id, *run);
    ASSERT_TRUE(journal.ResumeRun(*run, kStart + 24h));
    auto going = journal.Summary(*run);
    ASSERT_TRUE(going && *going);
    EXPECT_EQ((*going)->attempts, 2);
    EXPECT_EQ((*going)->resumedAt, kStart + 24h);
    EXPECT_FALSE((*going)->endedAt);
    EXPECT_EQ((*going)->startedAt, kStart);

    ASSERT_TRUE(journal.MarkSent(*run, 2, kStart + 24h + 1min, "250 ok"));
    ASSERT_TRUE(journal.MarkFailed(*run, 3, kStart + 24h + 2min, "550 no"));
    ASSERT_TRUE(journal.EndRun(*run, kStart + 24h + 3min, true));
    auto unfinished = journal.FindUnfinished("A");
    ASSERT_TRUE(unfinished);
    EXPECT_FALSE(*unfinished);

    // Sending the failed one later: the finished run is taken up again.
    auto latest = journal.LatestFinished("A");
    ASSERT_TRUE(latest && *latest);
    EXPECT_EQ((*latest)->summary.failed, 1);
    ASSERT_TRUE(journal.ResumeRun(*run, kStart + 48h));
    auto again = journal.FindUnfinished("A");
    ASSERT_TRUE(again && *again);
    EXPECT_EQ((*again)->summary.attempts, 3);
    ASSERT_TRUE(journal.MarkSent(*run, 3, kStart + 48h + 1min, "250 ok"));
    ASSERT_TRUE(journal.EndRun(*run, kStart + 48h + 2min, true));

    auto history = journal.History(0);
    ASSERT_TRUE(history);
    ASSERT_EQ(history->size(), 1u);
    EXPECT_EQ((*history)[0].sent, 3);
    EXPECT_EQ((*history)[0].attempts, 3);
    EXPECT_EQ((*history)[0].resumedAt, kStart + 48h);
    EXPECT_EQ((*history)[0].endedAt, kStart + 48h + 2min);
}

TEST(JournalRuns, HistoryNewestFirstWithLimit) {
    TempDir dir;
    Journal journal = OpenIn(dir);
    std::vector<RunId> ids;
    for (int i = 0; i < 5; ++i) {
        auto run = journal.StartRun("id" + std::to_string(i), Planned(i + 1), kStart + i * 1h);
        ASSERT_TRUE(run);
        ids.push_back(*run);
    }
    struct Case {
        int limit;
        std::vector<int> expected;  // indexes into ids
    };
    const Case cases[] = {{0, {4, 3, 2, 1, 0}},
                          {-1, {4, 3, 2, 1, 0}},
                          {1, {4}},
                          {3, {4, 3, 2}},
                          {9, {4, 3, 2, 1, 0}}};
    for (const Case& c : cases) {
        auto history = journal.History(c.limit);
        ASSERT_TRUE(history);
        ASSERT_EQ(history->size(), c.expected.size()) << "limit " << c.limit;
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ((*history)[i].id, ids[static_cast<std::size_t>(c.expected[i])]);
            EXPECT_EQ((*history)[i].total, c.expected[i] + 1);
            EXPECT_EQ((*history)[i].pending, c.expected[i] + 1);
        }
    }
}

TEST(JournalRuns, PruneAfterNinetyDays) {
    const Time now = kStart + 1000 * 24h;
    struct Case {
        const char* name;
        Time started;
        bool kept;
    };
    const Case cases[] = {
        {"a year ago", now - 365 * 24h, false},
        {"90 days and a second ago", now - 90 * 24h - 1s, false},
        {"exactly 90 days ago", now - 90 * 24h, true},
        {"90 days less a second ago", now - 90 * 24h + 1s, true},
        {"89 days ago", now - 89 * 24h, true},
        {"now", now, true},
        {"in the future (clock set back)", now + 24h, true},
    };
    TempDir dir;
    Journal journal = OpenIn(dir);
    std::vector<RunId> ids;
    for (const Case& c : cases) {
        auto run = journal.StartRun(c.name, Planned(2), c.started);
        ASSERT_TRUE(run);
        ASSERT_TRUE(journal.MarkSent(*run, 1, c.started + 1s, "250 ok"));
        ids.push_back(*run);
    }
    auto removed = journal.Prune(now);
    ASSERT_TRUE(removed) << removed.error().message;
    EXPECT_EQ(*removed, 2);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        auto summary = journal.Summary(ids[i]);
        ASSERT_TRUE(summary);
        EXPECT_EQ(summary->has_value(), cases[i].kept) << cases[i].name;
        auto messages = journal.Messages(ids[i]);
        ASSERT_TRUE(messages);
        EXPECT_EQ(messages->size(), cases[i].kept ? 2u : 0u) << cases[i].name;
    }
    // No message row outlives its run.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(journal.Path().c_str(), &db), SQLITE_OK);
    sqlite3_stmt* count = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM messages", -1, &count, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(count, 0), 5 * 2);
    sqlite3_finalize(count);
    sqlite3_close(db);

    auto again = journal.Prune(now);
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, 0);
}

// The converter the program passes in turns CP932 into UTF-8; this one knows the few
// words the test uses and marks what it converted.
std::string TestConverter(std::string_view cp932) {
    std::string out;
    for (std::size_t i = 0; i < cp932.size();) {
        if (cp932.substr(i, 4) == "\x8c\x8f\x96\xbc") {
            out += "件名";
            i += 4;
        } else if (cp932.substr(i, 4) == "\x90\xda\x91\xb1") {
            out += "接続";
            i += 4;
        } else {
            out += cp932[i++];
        }
    }
    return out;
}

TEST(HistoryText, RunsNewestFirst) {
    ZoneJapan zone;
    TempDir dir;
    Journal journal = OpenIn(dir);
    auto first = journal.StartRun("A", Planned(6), kStart);
    ASSERT_TRUE(first);
    ASSERT_TRUE(journal.MarkSent(*first, 1, kStart + 1min, "250 ok"));
    ASSERT_TRUE(journal.MarkSent(*first, 2, kStart + 2min, "250 ok"));
    ASSERT_TRUE(journal.MarkSent(*first, 3, kStart + 3min, "250 ok"));
    ASSERT_TRUE(journal.MarkFailed(*first, 4, kStart + 4min, "550 no"));
    ASSERT_TRUE(journal.EndRun(*first, kStart + 4min + 30s, false));
    ASSERT_TRUE(journal.ResumeRun(*first, kStart + 26h));
    auto second = journal.StartRun("B", Planned(1), kStart + 27h + 1min);
    ASSERT_TRUE(second);
    ASSERT_TRUE(journal.MarkSent(*second, 1, kStart + 27h + 2min, "250 ok"));
    ASSERT_TRUE(journal.EndRun(*second, kStart + 27h + 2min, true));
    auto third = journal.StartRun("C", Planned(2), kStart + 30h);
    ASSERT_TRUE(third);
    ASSERT_TRUE(journal.MarkUncertain(*third, 1, kStart + 30h + 1min, "lost"));
    ASSERT_TRUE(journal.EndRun(*third, kStart + 30h + 2min, false));

    auto text = HistoryText(journal, std::nullopt, 0, TestConverter);
    ASSERT_TRUE(text) << text.error().message;
    EXPECT_EQ(
        *text,
        "実行 3  2026-12-08 20:05 〜 2026-12-08 20:07  途中で中止\n"
        "    送信 0 通 / 失敗 0 通 / 不明 1 通 / 未送信 1 通（全 2 通）\n"
        "実行 2  2026-12-08 17:06 〜 2026-12-08 17:07  完了\n"
        "    送信 1 通 / 失敗 0 通 / 不明 0 通 / 未送信 0 通（全 1 通）\n"
        "実行 1  2026-12-07 14:05 〜 ――――――――  "
        "終了の記録なし（送信中か、途中で終了しました）・再開 1 回（最後の再開 2026-12-08 16:05）\n"
        "    送信 3 通 / 失敗 1 通 / 不明 0 通 / 未送信 2 通（全 6 通）\n");

    auto limited = HistoryText(journal, std::nullopt, 1, TestConverter);
    ASSERT_TRUE(limited);
    EXPECT_EQ(limited->find("実行 2"), std::string::npos);
    EXPECT_NE(limited->find("実行 3"), std::string::npos);
}

TEST(HistoryText, EmptyHistory) {
    TempDir dir;
    Journal journal = OpenIn(dir);
    auto text = HistoryText(journal, std::nullopt, 20, TestConverter);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "投稿の記録はまだありません。\n");
}

TEST(HistoryText, OneRunWithItsMessages) {
    ZoneJapan zone;
    TempDir dir;
    Journal journal = OpenIn(dir);
    auto run = journal.StartRun("A",
                                {{1, "a@example.jp", "\x8c\x8f\x96\xbc 1"},
                                 {2, "b@example.jp", "\x8c\x8f\x96\xbc 2"},
                                 {3, "c@example.jp", "\x8c\x8f\x96\xbc 3"},
                                 {4, "d@example.jp", "\x8c\x8f\x96\xbc 4"}},
                                kStart);
    ASSERT_TRUE(run);
    ASSERT_TRUE(journal.MarkSent(*run, 1, kStart + 1min, "250 2.0.0 Ok: queued\r\n"));
    ASSERT_TRUE(
        journal.MarkFailed(*run, 2, kStart + 2min, "550 5.1.1 <b@example.jp>:\r\n unknown"));
    ASSERT_TRUE(journal.MarkUncertain(*run, 3, kStart + 3min, "\x90\xda\x91\xb1 reset"));
    ASSERT_TRUE(journal.EndRun(*run, kStart + 4min, false));

    auto text = HistoryText(journal, *run, 0, TestConverter);
    ASSERT_TRUE(text) << text.error().message;
    EXPECT_EQ(*text,
              "実行 1  2026-12-07 14:05 〜 2026-12-07 14:09  途中で中止\n"
              "    送信 1 通 / 失敗 1 通 / 不明 1 通 / 未送信 1 通（全 4 通）\n"
              "\n"
              "  1 通目  a@example.jp  「件名 1」\n"
              "      2026-12-07 14:06  送信済み  250 2.0.0 Ok: queued\n"
              "\n"
              "  2 通目  b@example.jp  「件名 2」\n"
              "      2026-12-07 14:07  失敗  550 5.1.1 <b@example.jp>:   unknown\n"
              "\n"
              "  3 通目  c@example.jp  「件名 3」\n"
              "      2026-12-07 14:08  不明（要確認）  接続 reset\n"
              "\n"
              "  4 通目  d@example.jp  「件名 4」\n"
              "      未送信\n");

    auto unknown = HistoryText(journal, *run + 1, 0, TestConverter);
    ASSERT_FALSE(unknown);
    EXPECT_NE(unknown.error().message.find("実行 2 の記録は投稿履歴にありません"),
              std::string::npos);
}

// Runs stored whole show their server; the one that can go on from the journal alone says so.
TEST(HistoryText, StoredRunsShowServerAndWhetherTheyCanResume) {
    ZoneJapan zone;
    TempDir dir;
    Journal journal = OpenIn(dir);
    const auto stored = [](const char* server) {
        return StoredRun{"me@example.jp",
                         server,
                         "",
                         {"body"},
                         {{1, 0, "a@example.jp", "s"}, {2, 0, "b@example.jp", "s"}}};
    };
    auto resumable = journal.StartStoredRun("A", stored("smtps://mail.example.jp:465"), kStart);
    ASSERT_TRUE(resumable);
    ASSERT_TRUE(journal.MarkSent(*resumable, 1, kStart + 1min, "250 ok"));
    ASSERT_TRUE(journal.EndRun(*resumable, kStart + 2min, false));
    auto finished = journal.StartStoredRun("B", stored("b.example.jp:25"), kStart + 1h);
    ASSERT_TRUE(finished);
    ASSERT_TRUE(journal.MarkSent(*finished, 1, kStart + 1h + 1min, "250 ok"));
    ASSERT_TRUE(journal.MarkFailed(*finished, 2, kStart + 1h + 1min, "550 no"));
    ASSERT_TRUE(journal.EndRun(*finished, kStart + 1h + 2min, true));
    auto superseded = journal.StartStoredRun("C", stored("c.example.jp:25"), kStart + 2h);
    ASSERT_TRUE(superseded);
    ASSERT_TRUE(journal.EndRun(*superseded, kStart + 2h + 2min, false));
    auto plain = journal.StartRun("C", Planned(1), kStart + 3h);
    ASSERT_TRUE(plain);

    auto text = HistoryText(journal, std::nullopt, 0, TestConverter);
    ASSERT_TRUE(text) << text.error().message;
    EXPECT_EQ(*text,
              "実行 4  2026-12-07 17:05 〜 ――――――――  "
              "終了の記録なし（送信中か、途中で終了しました）\n"
              "    送信 0 通 / 失敗 0 通 / 不明 0 通 / 未送信 1 通（全 1 通）\n"
              "実行 3  2026-12-07 16:05 〜 2026-12-07 16:07  途中で中止\n"
              "    送信 0 通 / 失敗 0 通 / 不明 0 通 / 未送信 2 通（全 2 通）\n"
              "    サーバー c.example.jp:25\n"
              "実行 2  2026-12-07 15:05 〜 2026-12-07 15:07  完了\n"
              "    送信 1 通 / 失敗 1 通 / 不明 0 通 / 未送信 0 通（全 2 通）\n"
              "    サーバー b.example.jp:25\n"
              "実行 1  2026-12-07 14:05 〜 2026-12-07 14:07  途中で中止（再開できます）\n"
              "    送信 1 通 / 失敗 0 通 / 不明 0 通 / 未送信 1 通（全 2 通）\n"
              "    サーバー smtps://mail.example.jp:465\n");

    auto one = HistoryText(journal, *resumable, 0, TestConverter);
    ASSERT_TRUE(one) << one.error().message;
    EXPECT_EQ(one->substr(0, one->find("\n\n") + 1),
              "実行 1  2026-12-07 14:05 〜 2026-12-07 14:07  途中で中止（再開できます）\n"
              "    送信 1 通 / 失敗 0 通 / 不明 0 通 / 未送信 1 通（全 2 通）\n"
              "    サーバー smtps://mail.example.jp:465\n");
}
