// The journal's file: where it lives, its mode, and its schema version across program versions.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "journal/journal.h"
#include "journal/schema.h"
#include "temp_dir.h"

using namespace qubopost::journal;

namespace {

// Raw SQLite access, to build files by hand and to look at them from outside the journal.
class Raw {
public:
    explicit Raw(const std::string& path) {
        if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK) ADD_FAILURE() << sqlite3_errmsg(m_db);
    }
    ~Raw() { sqlite3_close(m_db); }
    void Exec(const std::string& sql) {
        char* error = nullptr;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << (error ? error : "");
        }
        sqlite3_free(error);
    }
    std::string Text(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        std::string value = "(none)";
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(statement, 0);
            value = text ? reinterpret_cast<const char*>(text) : "(null)";
        }
        sqlite3_finalize(statement);
        return value;
    }
    bool HasTable(const std::string& name) {
        return Text("SELECT COUNT(*) FROM sqlite_schema WHERE type = 'table' AND name = '" + name +
                    "'") == "1";
    }

private:
    sqlite3* m_db = nullptr;
};

mode_t Mode(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

// Restores an environment variable when the test ends.
class EnvVar {
public:
    explicit EnvVar(const char* name) : m_name(name) {
        const char* value = std::getenv(name);
        m_had = value != nullptr;
        if (value) m_value = value;
    }
    ~EnvVar() {
        if (m_had) {
            setenv(m_name, m_value.c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }
    void Set(const char* value) {
        if (value) {
            setenv(m_name, value, 1);
        } else {
            unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::string m_value;
    bool m_had = false;
};

}  // namespace

TEST(JournalFile, NewFileInNewFolders) {
    TempDir dir;
    const std::string folder = dir.File("state/qubopost");
    const std::string path = folder + "/history.sqlite3";
    auto journal = Journal::Open(path);
    ASSERT_TRUE(journal) << journal.error().message;
    EXPECT_EQ(Mode(dir.File("state")), 0700u);
    EXPECT_EQ(Mode(folder), 0700u);
    EXPECT_EQ(Mode(path), 0600u);

    Raw raw(path);
    EXPECT_EQ(raw.Text("PRAGMA user_version"), "1");
    EXPECT_EQ(raw.Text("PRAGMA journal_mode"), "wal");
    EXPECT_TRUE(raw.HasTable("runs"));
    EXPECT_TRUE(raw.HasTable("messages"));
    EXPECT_EQ(raw.Text("PRAGMA integrity_check"), "ok");
}

TEST(JournalFile, ExistingFolderKeepsItsMode) {
    TempDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    auto journal = Journal::Open(dir.File("history.sqlite3"));
    ASSERT_TRUE(journal) << journal.error().message;
    EXPECT_EQ(Mode(dir.Path()), 0755u);
}

TEST(JournalFile, OpenFailures) {
    TempDir dir;
    TempDir::Write(dir.File("plain-file"), "x");
    TempDir::Write(dir.File("garbage.sqlite3"), std::string(4096, 'g'));
    struct Case {
        const char* name;
        std::string path;
        const char* words;  // part of the message
    };
    const Case cases[] = {
        {"folder is a file", dir.File("plain-file/history.sqlite3"), "フォルダ"},
        {"not a database", dir.File("garbage.sqlite3"), "file is not a database"},
        {"path is a folder", dir.Path(), "を開けませんでした"},
    };
    for (const Case& c : cases) {
        auto journal = Journal::Open(c.path);
        ASSERT_FALSE(journal) << c.name;
        EXPECT_NE(journal.error().message.find(c.words), std::string::npos)
            << c.name << ": " << journal.error().message;
        EXPECT_NE(journal.error().message.find("てください。"), std::string::npos)
            << c.name << " says what to do";
    }
    EXPECT_EQ(TempDir::Read(dir.File("garbage.sqlite3")), std::string(4096, 'g'));
}

TEST(JournalFile, DefaultPath) {
    EnvVar state("XDG_STATE_HOME");
    EnvVar home("HOME");
    home.Set("/home/tester");
    struct Case {
        const char* xdgStateHome;
        const char* expected;
    };
    const Case cases[] = {
        {nullptr, "/home/tester/.local/state/qubopost/history.sqlite3"},
        {"", "/home/tester/.local/state/qubopost/history.sqlite3"},
        {"relative/state", "/home/tester/.local/state/qubopost/history.sqlite3"},
        {"/var/tmp/st", "/var/tmp/st/qubopost/history.sqlite3"},
    };
    for (const Case& c : cases) {
        state.Set(c.xdgStateHome);
        EXPECT_EQ(DefaultJournalPath(), c.expected) << (c.xdgStateHome ? c.xdgStateHome : "unset");
    }
}

TEST(JournalSchema, LegacyVersionZeroFileIsBroughtUpToDate) {
    TempDir dir;
    const std::string path = dir.File("history.sqlite3");
    {
        // A file from before the journal had a version: some other table, user_version 0,
        // rollback journal.
        Raw raw(path);
        raw.Exec("CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES ('kept');");
        EXPECT_EQ(raw.Text("PRAGMA user_version"), "0");
    }
    auto journal = Journal::Open(path);
    ASSERT_TRUE(journal) << journal.error().message;
    auto run = journal->StartRun("id", {{1, "a@example.jp", "s"}}, Time{});
    ASSERT_TRUE(run) << run.error().message;

    Raw raw(path);
    EXPECT_EQ(raw.Text("PRAGMA user_version"), "1");
    EXPECT_EQ(raw.Text("SELECT text FROM notes"), "kept");
    EXPECT_EQ(raw.Text("SELECT COUNT(*) FROM messages"), "1");
}

TEST(JournalSchema, FailedMigrationLeavesTheFileAsItWas) {
    TempDir dir;
    const std::string path = dir.File("history.sqlite3");
    {
        // A table in the way of version 1: the step fails half way.
        Raw raw(path);
        raw.Exec("CREATE TABLE messages (x); INSERT INTO messages VALUES (7);");
    }
    auto journal = Journal::Open(path);
    ASSERT_FALSE(journal);
    EXPECT_NE(journal.error().message.find("今の形式に更新できませんでした"), std::string::npos)
        << journal.error().message;

    Raw raw(path);
    EXPECT_EQ(raw.Text("PRAGMA user_version"), "0");
    EXPECT_FALSE(raw.HasTable("runs")) << "the first table of the step was rolled back";
    EXPECT_EQ(raw.Text("SELECT x FROM messages"), "7");
}

TEST(JournalSchema, NewerVersionIsRefusedUntouched) {
    for (const char* mode : {"DELETE", "WAL"}) {
        SCOPED_TRACE(mode);
        TempDir dir;
        const std::string path = dir.File("history.sqlite3");
        {
            Raw raw(path);
            raw.Exec(std::string("PRAGMA journal_mode = ") + mode);
            raw.Exec("CREATE TABLE runs (future); INSERT INTO runs VALUES (1);"
                     "PRAGMA user_version = 2;");
        }
        const std::string before = TempDir::Read(path);
        auto journal = Journal::Open(path);
        ASSERT_FALSE(journal);
        EXPECT_NE(journal.error().message.find("第 2 版"), std::string::npos)
            << journal.error().message;
        EXPECT_NE(journal.error().message.find("ファイルは変更していません"), std::string::npos);
        EXPECT_EQ(TempDir::Read(path), before);
        Raw raw(path);
        EXPECT_EQ(raw.Text("PRAGMA user_version"), "2");
        EXPECT_EQ(raw.Text("PRAGMA journal_mode"), std::string(mode) == "WAL" ? "wal" : "delete");
    }
}

TEST(JournalSchema, ReopenKeepsData) {
    TempDir dir;
    const std::string path = dir.File("history.sqlite3");
    RunId id = 0;
    {
        auto journal = Journal::Open(path);
        ASSERT_TRUE(journal);
        auto run = journal->StartRun("id", {{1, "a", "s"}}, Time{});
        ASSERT_TRUE(run);
        id = *run;
    }
    auto journal = Journal::Open(path);
    ASSERT_TRUE(journal) << journal.error().message;
    auto summary = journal->Summary(id);
    ASSERT_TRUE(summary && *summary);
    EXPECT_EQ((*summary)->total, 1);
    Raw raw(path);
    EXPECT_EQ(raw.Text("PRAGMA user_version"), "1");
}

// The chain runs the missing steps in order, in one transaction.
namespace {

Status StepTo1(sql::Database& db) {
    return db.Exec("CREATE TABLE log (step INTEGER); INSERT INTO log VALUES (1);");
}
Status StepTo2(sql::Database& db) { return db.Exec("INSERT INTO log VALUES (2);"); }
Status StepTo3(sql::Database& db) { return db.Exec("INSERT INTO log VALUES (3);"); }
Status FailingStep(sql::Database& db) {
    return db.Exec("INSERT INTO log VALUES (99); SELECT * FROM no_such_table;");
}

}  // namespace

TEST(JournalSchema, StepsRunInOrderFromTheFilesVersion) {
    struct Case {
        const char* name;
        int startAt;  // steps already applied by hand
        std::vector<MigrationStep> chain;
        bool ok;
        const char* log;  // steps in the log table afterwards, in order
        const char* version;
    };
    const Case cases[] = {
        {"from nothing to 3", 0, {StepTo1, StepTo2, StepTo3}, true, "1,2,3", "3"},
        {"from 1 to 3", 1, {StepTo1, StepTo2, StepTo3}, true, "1,2,3", "3"},
        {"from 2 to 3", 2, {StepTo1, StepTo2, StepTo3}, true, "1,2,3", "3"},
        {"already 3", 3, {StepTo1, StepTo2, StepTo3}, true, "1,2,3", "3"},
        {"last step fails", 1, {StepTo1, StepTo2, FailingStep}, false, "1", "1"},
        {"newer than the chain", 3, {StepTo1, StepTo2}, false, "1,2,3", "3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File("chain.sqlite3");
        {
            Raw raw(path);
            const MigrationStep byHand[] = {StepTo1, StepTo2, StepTo3};
            if (c.startAt > 0) {
                auto db = sql::Database::Open(path, false);
                ASSERT_TRUE(db);
                for (int i = 0; i < c.startAt; ++i) ASSERT_TRUE(byHand[i](*db));
            }
            raw.Exec("PRAGMA user_version = " + std::to_string(c.startAt));
        }
        auto db = sql::Database::Open(path, false);
        ASSERT_TRUE(db);
        Status migrated = MigrateSchema(*db, c.chain);
        EXPECT_EQ(migrated.ok(), c.ok) << (migrated ? "" : migrated.error().message);
        Raw raw(path);
        EXPECT_EQ(raw.Text("SELECT group_concat(step, ',') FROM (SELECT step FROM log ORDER BY rowid)"),
                  c.log);
        EXPECT_EQ(raw.Text("PRAGMA user_version"), c.version);
    }
}
