// The addresses of blog posts in the journal: a version-2 file (written here by hand, as that
// version's tables were) is brought to version 3 with its runs kept, and a post's address and a
// run's draft setting come back as stored, in the history text too.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "journal/history_text.h"
#include "journal/journal.h"
#include "temp_dir.h"

using namespace qubopost::journal;

namespace {

void Exec(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

std::string Scalar(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    std::string value = "(none)";
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(statement, 0);
        value = text ? reinterpret_cast<const char*>(text) : "(null)";
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

// Version 2's tables, and one stored run of three mails (one sent, one failed, one pending).
constexpr const char* kVersion2File = R"sql(
    PRAGMA journal_mode = WAL;
    CREATE TABLE runs (
        id INTEGER PRIMARY KEY AUTOINCREMENT, identity TEXT NOT NULL, started_at INTEGER NOT NULL,
        ended_at INTEGER, finished INTEGER NOT NULL DEFAULT 0 CHECK (finished IN (0, 1)),
        total INTEGER NOT NULL, attempts INTEGER NOT NULL DEFAULT 1, resumed_at INTEGER,
        sender BLOB, server TEXT, trust_file BLOB);
    CREATE INDEX runs_by_identity ON runs (identity, id);
    CREATE INDEX runs_by_start ON runs (started_at);
    CREATE INDEX runs_by_server ON runs (server);
    CREATE TABLE run_groups (
        run_id INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
        grp INTEGER NOT NULL CHECK (grp >= 0), body BLOB NOT NULL,
        PRIMARY KEY (run_id, grp)) WITHOUT ROWID;
    CREATE TABLE messages (
        run_id INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
        number INTEGER NOT NULL, destination BLOB NOT NULL, subject BLOB NOT NULL,
        state TEXT NOT NULL DEFAULT 'pending' CHECK (state IN ('pending', 'sent', 'failed', 'uncertain')),
        at INTEGER, detail BLOB, grp INTEGER,
        PRIMARY KEY (run_id, number),
        FOREIGN KEY (run_id, grp) REFERENCES run_groups (run_id, grp)) WITHOUT ROWID;
    INSERT INTO runs (identity, started_at, ended_at, finished, total, sender, server, trust_file)
        VALUES ('mail-run', 1796000000, 1796000300, 0, 3, 'me@example.jp', 'smtp.example.jp:587', '');
    INSERT INTO run_groups VALUES (1, 0, 'body');
    INSERT INTO messages VALUES (1, 1, 'a@example.jp', 'subject', 'sent', 1796000010, '250 ok', 0);
    INSERT INTO messages VALUES (1, 2, 'b@example.jp', 'subject', 'failed', 1796000020, '550 no', 0);
    INSERT INTO messages (run_id, number, destination, subject, grp) VALUES (1, 3, 'c@example.jp', 'subject', 0);
    PRAGMA user_version = 2;
)sql";

std::string Same(std::string_view bytes) { return std::string(bytes); }

TEST(JournalLinks, Version2FileKeepsItsRunsAndGainsLinks) {
    TempDir dir;
    const std::string path = dir.File("history.sqlite3");
    Exec(path, kVersion2File);

    auto journal = Journal::Open(path);
    ASSERT_TRUE(journal) << journal.error().message;
    EXPECT_EQ(Scalar(path, "PRAGMA user_version"), "3");
    auto history = journal->History(0);
    ASSERT_TRUE(history) << history.error().message;
    ASSERT_EQ(history->size(), 1u);
    EXPECT_EQ((*history)[0].identity, "mail-run");
    EXPECT_EQ((*history)[0].sent, 1);
    EXPECT_EQ((*history)[0].failed, 1);
    EXPECT_EQ((*history)[0].pending, 1);
    EXPECT_TRUE((*history)[0].Resumable());
    auto old = journal->Messages(1);
    ASSERT_TRUE(old);
    ASSERT_EQ(old->size(), 3u);
    for (const MessageRecord& message : *old) EXPECT_EQ(message.link, "") << message.number;
    auto stored = journal->LoadStoredRun(1);
    ASSERT_TRUE(stored && *stored);
    EXPECT_FALSE((*stored)->draft) << "a run from before drafts posts published";
    EXPECT_EQ((*stored)->server, "smtp.example.jp:587");

    // The old run goes on: its pending mail is sent, and has no link.
    ASSERT_TRUE(journal->MarkSent(1, 3, Time{std::chrono::seconds{1796000400}}, "250 ok"));
    auto resumed = journal->Messages(1);
    ASSERT_TRUE(resumed);
    EXPECT_EQ((*resumed)[2].state, MessageState::Sent);
    EXPECT_EQ((*resumed)[2].link, "");
}

TEST(JournalLinks, PostAddressesAndDraftComeBackAndAreShown) {
    TempDir dir;
    auto journal = Journal::Open(dir.File("history.sqlite3"));
    ASSERT_TRUE(journal) << journal.error().message;

    struct Case {
        const char* destination;
        const char* link;  // "" for a mail
    };
    const Case cases[] = {
        {"https://taro@blog.example.jp/", "https://blog.example.jp/2026/12/07/post-1/"},
        {"mail@blog.example.jp", ""},
        {"atompub+https://hanako@blog.hatena.example/",
         "https://blog.hatena.example/entry/2026/12/07/120000"},
        {"xmlrpc+https://jiro@fc2.example/", "https://fc2.example/?p=42&x=%E3%81%82"},
    };
    StoredRun run;
    run.sender = "";
    run.server = "";
    run.draft = true;
    run.bodies = {"body"};
    int number = 0;
    for (const Case& c : cases) run.messages.push_back({++number, 0, c.destination, "題名"});
    const Time at{std::chrono::seconds{1796200000}};
    auto id = journal->StartStoredRun("blogs", run, at);
    ASSERT_TRUE(id) << id.error().message;
    number = 0;
    for (const Case& c : cases)
        ASSERT_TRUE(journal->MarkSent(*id, ++number, at, "201 Created", c.link));

    auto messages = journal->Messages(*id);
    ASSERT_TRUE(messages);
    ASSERT_EQ(messages->size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ((*messages)[i].link, cases[i].link) << i;
    auto stored = journal->LoadStoredRun(*id);
    ASSERT_TRUE(stored && *stored);
    EXPECT_TRUE((*stored)->draft);

    // The list shows each post's address with its message's number; the run shows it under
    // its message.
    auto list = HistoryText(*journal, std::nullopt, 0, Same);
    ASSERT_TRUE(list);
    auto one = HistoryText(*journal, *id, 0, Same);
    ASSERT_TRUE(one);
    number = 0;
    for (const Case& c : cases) {
        ++number;
        if (*c.link == '\0') continue;
        EXPECT_NE(list->find(std::to_string(number) + " 通目の投稿 " + c.link + "\n"),
                  std::string::npos)
            << *list;
        EXPECT_NE(one->find(std::string("投稿のアドレス ") + c.link + "\n"), std::string::npos)
            << *one;
    }
    EXPECT_EQ(list->find("mail@blog.example.jp"), std::string::npos)
        << "the list names no mail address";
}

}  // namespace
