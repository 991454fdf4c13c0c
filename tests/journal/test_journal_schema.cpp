// The journal's file: where it lives, its mode, and its schema version across program versions.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
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

// The tables of version 1 as that version created them.
constexpr const char* kVersion1Schema = R"sql(
    CREATE TABLE runs (
        id          INTEGER PRIMARY KEY AUTOINCREMENT,
        identity    TEXT    NOT NULL,
        started_at  INTEGER NOT NULL,
        ended_at    INTEGER,
        finished    INTEGER NOT NULL DEFAULT 0 CHECK (finished IN (0, 1)),
        total       INTEGER NOT NULL,
        attempts    INTEGER NOT NULL DEFAULT 1,
        resumed_at  INTEGER
    );
    CREATE INDEX runs_by_identity ON runs (identity, id);
    CREATE INDEX runs_by_start ON runs (started_at);
    CREATE TABLE messages (
        run_id      INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
        number      INTEGER NOT NULL,
        destination BLOB    NOT NULL,
        subject     BLOB    NOT NULL,
        state       TEXT    NOT NULL DEFAULT 'pending'
                    CHECK (state IN ('pending', 'sent', 'failed', 'uncertain')),
        at          INTEGER,
        detail      BLOB,
        PRIMARY KEY (run_id, number)
    ) WITHOUT ROWID;
    PRAGMA user_version = 1;
)sql";

// A closed journal of many pages (twenty stored runs with bodies of 2 KB); its bytes.
std::string JournalWithRuns(const std::string& path) {
    {
        auto journal = Journal::Open(path);
        if (!journal) {
            ADD_FAILURE() << journal.error().message;
            return {};
        }
        for (int i = 0; i < 20; ++i) {
            StoredRun run{
                "me@example.jp",
                "smtp.example.jp:25",
                "",
                {std::string(2048, static_cast<char>('a' + i % 26)), std::string(2048, 'z')},
                {{1, 0, "a@example.jp", "one"}, {2, 1, "b@example.jp", "two"}}};
            if (!journal->StartStoredRun("run" + std::to_string(i), run, Time{})) ADD_FAILURE();
        }
    }
    return TempDir::Read(path);
}

// What stands at a path, to tell that a refused open left it as it was: the kind of thing and
// a file's bytes, a link's target, or a folder's names.
std::string Snapshot(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return "nothing";
    if (S_ISLNK(info.st_mode)) {
        char target[PATH_MAX];
        const ssize_t size = readlink(path.c_str(), target, sizeof target);
        return "link to " + std::string(target, size > 0 ? static_cast<std::size_t>(size) : 0);
    }
    if (S_ISDIR(info.st_mode)) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        std::string text = "folder:";
        for (const std::string& name : names) text += " " + name;
        return text;
    }
    if (S_ISFIFO(info.st_mode)) return "fifo";
    return "file " + std::to_string(info.st_mode & 07777) + ": " + TempDir::Read(path);
}

// Takes from this process what lets root write past file modes (a no-op for anyone else).
bool DropOverride() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0) return false;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
        data[cap / 32].effective &= ~(1u << (cap % 32));
    }
    return syscall(SYS_capset, &header, data) == 0;
}

struct ChildOpen {
    bool ok = false;
    std::string message;  // the error
    std::string skipped;  // why the case could not be made here
};

// Journal::Open in a child process that cannot write past file modes. `probe` is a path the
// child must not be able to open for writing (else the case is skipped).
ChildOpen OpenWithoutOverride(const std::string& path, const std::string& probe) {
    ChildOpen result;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        result.skipped = "no pipe";
        return result;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        std::string report;
        if (!DropOverride()) {
            report = "S" + std::string("cannot drop CAP_DAC_OVERRIDE here");
        } else if (int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600); fd >= 0) {
            close(fd);
            report = "S" + probe + " stays writable here";
        } else {
            auto journal = Journal::Open(path);
            report = journal ? std::string("O") : "E" + journal.error().message;
        }
        const bool written =
            write(fds[1], report.data(), report.size()) == static_cast<ssize_t>(report.size());
        _exit(written ? 0 : 1);
    }
    close(fds[1]);
    std::string report;
    char buffer[512];
    for (;;) {
        pollfd ready{fds[0], POLLIN, 0};
        if (poll(&ready, 1, 60000) != 1) {
            ADD_FAILURE() << "the child did not answer within 60 seconds";
            kill(child, SIGKILL);
            break;
        }
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got <= 0) break;
        report.append(buffer, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (report.empty()) {
        ADD_FAILURE() << "the child said nothing; status " << status;
    } else if (report[0] == 'S') {
        result.skipped = report.substr(1);
        if (std::string(probe).ends_with("/probe")) unlink(probe.c_str());
    } else {
        result.ok = report[0] == 'O';
        result.message = report.substr(1);
    }
    return result;
}

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
    EXPECT_EQ(raw.Text("PRAGMA user_version"), "3");
    EXPECT_EQ(raw.Text("PRAGMA journal_mode"), "wal");
    EXPECT_TRUE(raw.HasTable("runs"));
    EXPECT_TRUE(raw.HasTable("messages"));
    EXPECT_TRUE(raw.HasTable("run_groups"));
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
    // A journal of several pages, then damaged in three ways.
    const std::string whole = JournalWithRuns(dir.File("whole.sqlite3"));
    ASSERT_GE(whole.size(), 16u * 4096) << "the damage below needs pages past the first few";
    TempDir::Write(dir.File("half.sqlite3"), whole.substr(0, whole.size() / 2));
    TempDir::Write(dir.File("header-only.sqlite3"), whole.substr(0, 60));
    // Page 3 holds part of the schema; page 11 only data, which nothing reads on opening.
    std::string overwritten = whole;
    overwritten.replace(2 * 4096, 4096, std::string(4096, '\x55'));
    TempDir::Write(dir.File("overwritten.sqlite3"), overwritten);
    std::string dataPage = whole;
    dataPage.replace(10 * 4096, 4096, std::string(4096, '\x55'));
    TempDir::Write(dir.File("data-page.sqlite3"), dataPage);
    ASSERT_EQ(mkdir(dir.File("folder").c_str(), 0700), 0);
    TempDir::Write(dir.File("folder/inside"), "kept");
    ASSERT_EQ(symlink("loop-b", dir.File("loop-a").c_str()), 0);
    ASSERT_EQ(symlink("loop-a", dir.File("loop-b").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", dir.File("dangling").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
    struct Case {
        const char* name;
        std::string path;
        const char* words;  // part of the message
    };
    const Case cases[] = {
        {"folder is a file", dir.File("plain-file/history.sqlite3"), "フォルダ"},
        {"not a database", dir.File("garbage.sqlite3"), "file is not a database"},
        {"not a database, in words", dir.File("garbage.sqlite3"), "壊れているか"},
        {"path is a folder", dir.Path(), "を開けませんでした"},
        {"a folder with files", dir.File("folder"), "この場所はフォルダです"},
        {"truncated to half", dir.File("half.sqlite3"), "壊れているか"},
        {"truncated inside the header", dir.File("header-only.sqlite3"), "壊れているか"},
        {"a schema page overwritten", dir.File("overwritten.sqlite3"), "壊れているか"},
        {"a data page overwritten", dir.File("data-page.sqlite3"), "壊れているか"},
        {"symbolic link loop", dir.File("loop-a"), "シンボリックリンクが循環しています"},
        {"symbolic link to nothing", dir.File("dangling"), "指す先がありません"},
        {"a named pipe", dir.File("fifo"), "普通のファイルではありません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = Snapshot(c.path);
        auto journal = Journal::Open(c.path);
        if (journal) {
            ADD_FAILURE() << "opened";
            continue;
        }
        const std::string& message = journal.error().message;
        EXPECT_NE(message.find(c.words), std::string::npos) << message;
        EXPECT_NE(message.find("てください。"), std::string::npos)
            << "says what to do: " << message;
        if (std::string(c.name) != "folder is a file") {
            EXPECT_NE(message.find("（" + c.path + "）"), std::string::npos)
                << "names the file: " << message;
        }
        EXPECT_EQ(Snapshot(c.path), before) << "left as it was";
    }
    // A damaged file is to be moved aside: a new one then takes its place.
    for (const char* moved : {"half.sqlite3", "data-page.sqlite3"}) {
        ASSERT_EQ(
            rename(dir.File(moved).c_str(), dir.File(std::string(moved) + ".damaged").c_str()), 0);
        auto fresh = Journal::Open(dir.File(moved));
        ASSERT_TRUE(fresh) << fresh.error().message;
    }
}

// A file the program may read but not write, and a folder it may not write into: opening for
// writing fails in words, and nothing changes. Root writes past file modes, so the opening
// runs in a child without that capability.
TEST(JournalFile, ReadOnlyIsRefused) {
    struct Case {
        const char* name;
        bool walFile;         // made by the journal (WAL) or a version-1 file by hand (rollback)
        bool readOnlyFile;    // mode 0444
        bool readOnlyFolder;  // mode 0555
    };
    const Case cases[] = {
        {"read-only journal file", true, true, false},
        {"read-only rollback-mode file", false, true, false},
        {"read-only file in a read-only folder", true, true, true},
        {"writable file in a read-only folder", true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string folder = dir.File("state");
        const std::string path = folder + "/history.sqlite3";
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        if (c.walFile) {
            JournalWithRuns(path);
        } else {
            Raw raw(path);
            raw.Exec(kVersion1Schema);
        }
        if (c.readOnlyFile) {
            ASSERT_EQ(chmod(path.c_str(), 0444), 0);
        }
        if (c.readOnlyFolder) {
            ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
        }
        const std::string before = Snapshot(path);
        const std::string folderBefore = Snapshot(folder);

        const ChildOpen opened =
            OpenWithoutOverride(path, c.readOnlyFile ? path : folder + "/probe");
        chmod(folder.c_str(), 0700);
        if (!opened.skipped.empty()) GTEST_SKIP() << opened.skipped;
        EXPECT_FALSE(opened.ok) << "opened for writing";
        EXPECT_NE(opened.message.find("（" + path + "）"), std::string::npos) << opened.message;
        EXPECT_NE(opened.message.find("書き込み"), std::string::npos) << opened.message;
        EXPECT_NE(opened.message.find("てください。"), std::string::npos) << opened.message;
        EXPECT_EQ(Snapshot(path), before);
        EXPECT_EQ(Snapshot(folder), folderBefore) << "no file was added or removed beside it";
    }
}

// Another process holding the file past the busy timeout: the open fails in words instead of
// waiting forever, and the file is as it was.
TEST(JournalFile, LockedPastTheBusyTimeout) {
    struct Case {
        const char* name;
        bool wal;          // a journal file (WAL) or a rollback-mode file
        const char* hold;  // what the other connection keeps open
    };
    const Case cases[] = {
        {"rollback mode, exclusive lock", false,
         "BEGIN EXCLUSIVE; INSERT INTO runs (identity, "
         "started_at, total) VALUES ('other', 1, 0);"},
        {"WAL, another writer", true,
         "BEGIN IMMEDIATE; INSERT INTO runs (identity, started_at, "
         "total) VALUES ('other', 1, 0);"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File("history.sqlite3");
        if (c.wal) {
            JournalWithRuns(path);
        } else {
            Raw raw(path);
            raw.Exec(kVersion1Schema);
        }
        Raw holder(path);
        holder.Exec(c.hold);
        const std::string before = TempDir::Read(path);
        auto journal = Journal::Open(path, std::chrono::milliseconds(200));
        ASSERT_FALSE(journal);
        const std::string& message = journal.error().message;
        EXPECT_NE(message.find("（" + path + "）"), std::string::npos) << message;
        EXPECT_NE(message.find("別のプロセス"), std::string::npos) << message;
        EXPECT_NE(message.find("200 ミリ秒待っても"), std::string::npos) << message;
        EXPECT_NE(message.find("てください。"), std::string::npos) << message;
        EXPECT_EQ(TempDir::Read(path), before);
        holder.Exec("ROLLBACK");
        // Once the other process is done, the same file opens.
        auto later = Journal::Open(path, std::chrono::milliseconds(200));
        EXPECT_TRUE(later) << later.error().message;
    }
}

// A call after the open meets the lock too: it fails in the same words.
TEST(JournalFile, LockedLaterCallsFailInWords) {
    TempDir dir;
    const std::string path = dir.File("history.sqlite3");
    auto journal = Journal::Open(path, std::chrono::milliseconds(100));
    ASSERT_TRUE(journal) << journal.error().message;
    auto run = journal->StartRun("A", {{1, "a@example.jp", "s"}}, Time{});
    ASSERT_TRUE(run);
    Raw holder(path);
    holder.Exec(
        "BEGIN IMMEDIATE; INSERT INTO runs (identity, started_at, total) VALUES ('x', 1, 0);");
    const Status statuses[] = {journal->MarkSent(*run, 1, Time{}, "250 ok"),
                               journal->EndRun(*run, Time{}, true), journal->CheckWritable()};
    for (const Status& status : statuses) {
        ASSERT_FALSE(status);
        EXPECT_NE(status.error().message.find("別のプロセス"), std::string::npos)
            << status.error().message;
    }
    holder.Exec("ROLLBACK");
    EXPECT_TRUE(journal->CheckWritable());
    EXPECT_TRUE(journal->MarkSent(*run, 1, Time{}, "250 ok"));
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
    EXPECT_EQ(raw.Text("PRAGMA user_version"), "3");
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
            raw.Exec(
                "CREATE TABLE runs (future); INSERT INTO runs VALUES (1);"
                "PRAGMA user_version = 4;");
        }
        const std::string before = TempDir::Read(path);
        auto journal = Journal::Open(path);
        ASSERT_FALSE(journal);
        EXPECT_NE(journal.error().message.find("第 4 版"), std::string::npos)
            << journal.error().message;
        EXPECT_NE(journal.error().message.find("ファイルは変更していません"), std::string::npos);
        EXPECT_EQ(TempDir::Read(path), before);
        Raw raw(path);
        EXPECT_EQ(raw.Text("PRAGMA user_version"), "4");
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
    EXPECT_EQ(raw.Text("PRAGMA user_version"), "3");
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
        EXPECT_EQ(
            raw.Text("SELECT group_concat(step, ',') FROM (SELECT step FROM log ORDER BY rowid)"),
            c.log);
        EXPECT_EQ(raw.Text("PRAGMA user_version"), c.version);
    }
}

// A file written by version 1 (its tables made by the fixed statements above): after the
// update its runs are listed and read as before, it says they cannot be resumed from the
// journal alone, and new runs are stored whole beside them.
TEST(JournalSchema, Version1FileKeepsItsRuns) {
    TempDir dir;
    const std::string path = dir.File("history.sqlite3");
    {
        Raw raw(path);
        raw.Exec("PRAGMA journal_mode = WAL;");
        raw.Exec(kVersion1Schema);
        raw.Exec(R"sql(
            INSERT INTO runs (identity, started_at, ended_at, finished, total, attempts, resumed_at)
                VALUES ('old-stopped', 1796000000, 1796000300, 0, 3, 2, 1796000200);
            INSERT INTO runs (identity, started_at, ended_at, finished, total)
                VALUES ('old-done', 1796100000, 1796100100, 1, 1);
            INSERT INTO messages VALUES (1, 1, 'a@example.jp', X'8c8f96bc', 'sent', 1796000010, '250 ok');
            INSERT INTO messages VALUES (1, 2, 'b@example.jp', X'8c8f96bc00ff', 'failed', 1796000020,
                                         X'90da91b1');
            INSERT INTO messages (run_id, number, destination, subject)
                VALUES (1, 3, 'c@example.jp', 'three');
            INSERT INTO messages VALUES (2, 1, 'd@example.jp', 'one', 'uncertain', 1796100050, 'reset');
        )sql");
    }
    const auto at = [](std::int64_t seconds) { return Time{std::chrono::seconds{seconds}}; };
    {
        auto journal = Journal::Open(path);
        ASSERT_TRUE(journal) << journal.error().message;
        auto history = journal->History(0);
        ASSERT_TRUE(history) << history.error().message;
        ASSERT_EQ(history->size(), 2u);
        const RunSummary& done = (*history)[0];
        EXPECT_EQ(done.identity, "old-done");
        EXPECT_TRUE(done.finished);
        EXPECT_EQ(done.uncertain, 1);
        const RunSummary& stopped = (*history)[1];
        EXPECT_EQ(stopped.identity, "old-stopped");
        EXPECT_EQ(stopped.startedAt, at(1796000000));
        EXPECT_EQ(stopped.endedAt, at(1796000300));
        EXPECT_EQ(stopped.resumedAt, at(1796000200));
        EXPECT_EQ(stopped.attempts, 2);
        EXPECT_FALSE(stopped.finished);
        EXPECT_EQ(stopped.total, 3);
        EXPECT_EQ(stopped.sent, 1);
        EXPECT_EQ(stopped.failed, 1);
        EXPECT_EQ(stopped.pending, 1);
        for (const RunSummary& run : *history) {
            EXPECT_FALSE(run.stored) << run.identity;
            EXPECT_EQ(run.server, "") << run.identity;
            auto texts = journal->LoadStoredRun(run.id);
            ASSERT_TRUE(texts) << texts.error().message;
            EXPECT_FALSE(texts->has_value()) << run.identity << " has no texts";
        }

        auto messages = journal->Messages(stopped.id);
        ASSERT_TRUE(messages);
        ASSERT_EQ(messages->size(), 3u);
        EXPECT_EQ((*messages)[0].destination, "a@example.jp");
        EXPECT_EQ((*messages)[0].subject, "\x8c\x8f\x96\xbc");
        EXPECT_EQ((*messages)[0].state, MessageState::Sent);
        EXPECT_EQ((*messages)[0].at, at(1796000010));
        EXPECT_EQ((*messages)[0].detail, "250 ok");
        EXPECT_EQ((*messages)[1].subject, std::string("\x8c\x8f\x96\xbc\0\xff", 6));
        EXPECT_EQ((*messages)[1].state, MessageState::Failed);
        EXPECT_EQ((*messages)[1].detail, "\x90\xda\x91\xb1");
        EXPECT_EQ((*messages)[2].subject, "three");
        EXPECT_EQ((*messages)[2].state, MessageState::Pending);
        EXPECT_FALSE((*messages)[2].at);

        auto unfinished = journal->UnfinishedRuns(0);
        ASSERT_TRUE(unfinished) << unfinished.error().message;
        ASSERT_EQ(unfinished->size(), 1u);
        EXPECT_EQ((*unfinished)[0].summary.id, stopped.id);
        EXPECT_FALSE((*unfinished)[0].stored);
        auto last = journal->LastSentTo("");
        ASSERT_TRUE(last);
        EXPECT_FALSE(*last) << "a run without a server went to no server";

        // A new run stored whole in the same file; the old one goes on as before.
        const StoredRun stored{
            "me@example.jp", "smtp.example.jp:587", "", {"body"}, {{1, 0, "e@example.jp", "new"}}};
        auto run = journal->StartStoredRun("new", stored, at(1796200000));
        ASSERT_TRUE(run) << run.error().message;
        auto loaded = journal->LoadStoredRun(*run);
        ASSERT_TRUE(loaded && *loaded);
        EXPECT_EQ((*loaded)->bodies, std::vector<std::string>{"body"});
        ASSERT_TRUE(journal->MarkSent(stopped.id, 3, at(1796200100), "250 ok"));
    }
    auto journal = Journal::Open(path);
    ASSERT_TRUE(journal) << journal.error().message;
    auto history = journal->History(0);
    ASSERT_TRUE(history);
    ASSERT_EQ(history->size(), 3u);
    EXPECT_EQ((*history)[2].sent, 2);
    EXPECT_TRUE((*history)[0].stored);

    Raw raw(path);
    EXPECT_EQ(raw.Text("PRAGMA user_version"), "3");
    EXPECT_EQ(raw.Text("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(raw.Text("PRAGMA foreign_key_check"), "(none)");
    EXPECT_EQ(raw.Text("SELECT COUNT(*) FROM messages WHERE grp IS NULL"), "4")
        << "the old messages have no group";
    EXPECT_EQ(raw.Text("SELECT COUNT(*) FROM runs WHERE server IS NULL AND sender IS NULL AND "
                       "trust_file IS NULL"),
              "2");
}
