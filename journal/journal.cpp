#include "journal/journal.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "journal/schema.h"

namespace qubopost::journal {

namespace {

constexpr const char* kSummaryColumns = R"sql(
    SELECT r.id, r.identity, r.started_at, r.ended_at, r.finished, r.attempts, r.resumed_at,
           r.total,
           COALESCE(SUM(m.state = 'sent'), 0), COALESCE(SUM(m.state = 'failed'), 0),
           COALESCE(SUM(m.state = 'uncertain'), 0), COALESCE(SUM(m.state = 'pending'), 0)
    FROM runs r LEFT JOIN messages m ON m.run_id = r.id
)sql";

std::int64_t Seconds(Time t) { return t.time_since_epoch().count(); }
Time FromSeconds(std::int64_t s) { return Time{std::chrono::seconds{s}}; }

const char* StateName(MessageState state) {
    switch (state) {
        case MessageState::Pending: return "pending";
        case MessageState::Sent: return "sent";
        case MessageState::Failed: return "failed";
        case MessageState::Uncertain: return "uncertain";
    }
    return "pending";
}

MessageState StateFromName(const std::string& name) {
    if (name == "sent") return MessageState::Sent;
    if (name == "failed") return MessageState::Failed;
    if (name == "uncertain") return MessageState::Uncertain;
    return MessageState::Pending;
}

RunSummary ReadSummary(const sql::Statement& row) {
    RunSummary run;
    run.id = row.Int(0);
    run.identity = row.Bytes(1);
    run.startedAt = FromSeconds(row.Int(2));
    if (!row.IsNull(3)) run.endedAt = FromSeconds(row.Int(3));
    run.finished = row.Int(4) != 0;
    run.attempts = static_cast<int>(row.Int(5));
    if (!row.IsNull(6)) run.resumedAt = FromSeconds(row.Int(6));
    run.total = static_cast<int>(row.Int(7));
    run.sent = static_cast<int>(row.Int(8));
    run.failed = static_cast<int>(row.Int(9));
    run.uncertain = static_cast<int>(row.Int(10));
    run.pending = static_cast<int>(row.Int(11));
    return run;
}

// Creates the missing folders of `dir` with mode 0700. Returns errno, or 0.
int MakeFolders(const std::string& dir) {
    if (dir.empty()) return 0;
    struct stat info;
    if (stat(dir.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    std::size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        if (int error = MakeFolders(dir.substr(0, slash))) return error;
    }
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    return 0;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return {};
}

Error OpenFailure(const std::string& path, const std::string& why) {
    return Error{"投稿履歴のファイル（" + path + "）を開けませんでした。" + why +
                 "。ファイルの場所と読み書きの権限を確かめてください。"};
}

}  // namespace

std::string DefaultJournalPath() {
    std::string base;
    // The base directory specification asks to ignore a relative path.
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') {
        base = state;
    } else {
        base = HomeFolder() + "/.local/state";
    }
    return base + "/qubopost/history.sqlite3";
}

Result<Journal> Journal::Open(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        std::string dir = path.substr(0, slash);
        if (int error = MakeFolders(dir)) {
            return Error{"投稿履歴のフォルダ（" + dir + "）を作れませんでした。" +
                         std::strerror(error) +
                         "。フォルダの場所と書き込みの権限を確かめてください。"};
        }
    }
    // The history names addresses and subjects: the file is the user's alone. SQLite gives
    // its -wal and -shm files the same mode.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    } else if (errno != EEXIST) {
        return OpenFailure(path, std::strerror(errno));
    }

    auto db = sql::Database::Open(path, false);
    if (!db) return OpenFailure(path, "SQLite: " + db.error().message);
    // Another process may hold the write lock for a moment: wait rather than fail.
    Status configured = db->Exec("PRAGMA busy_timeout = 10000");
    if (!configured) return OpenFailure(path, "SQLite: " + configured.error().message);

    // Read before anything writes: a newer file is left exactly as it is.
    auto version = ReadSchemaVersion(*db);
    if (!version) return OpenFailure(path, "SQLite: " + version.error().message);
    const int known = CurrentSchemaVersion();
    if (*version > known) {
        return Error{"投稿履歴のファイル（" + path + "）は、新しい版の Qubopost が書いた形式（第 " +
                     std::to_string(*version) + " 版、この版が読めるのは第 " +
                     std::to_string(known) +
                     " 版まで）のため開けませんでした。ファイルは変更していません。新しい版の "
                     "Qubopost を使ってください。"};
    }

    auto mode = db->Prepare("PRAGMA journal_mode = WAL");
    if (!mode) return OpenFailure(path, "SQLite: " + mode.error().message);
    auto row = mode->Step();
    if (!row) return OpenFailure(path, "SQLite: " + row.error().message);
    if (!*row || mode->Bytes(0) != "wal") {
        return OpenFailure(path, "SQLite: journal_mode WAL is not available");
    }
    mode->Reset();
    for (const char* pragma : {"PRAGMA synchronous = FULL", "PRAGMA foreign_keys = ON"}) {
        Status set = db->Exec(pragma);
        if (!set) return OpenFailure(path, "SQLite: " + set.error().message);
    }

    Status migrated = MigrateSchema(*db, SchemaSteps());
    if (!migrated) {
        return Error{"投稿履歴のファイル（" + path + "）を今の形式に更新できませんでした。SQLite: " +
                     migrated.error().message + "。ファイルは元のまま残っています。"};
    }
    return Journal(path, std::move(*db));
}

Error Journal::Failure(const char* what, const std::string& sqliteText) const {
    return Error{std::string(what) + "。投稿履歴のファイル（" + m_path + "）: " + sqliteText +
                 "。ディスクの空きとファイルの書き込みの権限を確かめてください。"};
}

Result<RunId> Journal::StartRun(std::string_view identity,
                                const std::vector<PlannedMessage>& messages, Time now) {
    constexpr const char* kWhat = "投稿の開始を投稿履歴に記録できませんでした";
    std::vector<bool> seen(messages.size() + 1, false);
    for (const PlannedMessage& message : messages) {
        if (message.number < 1 || static_cast<std::size_t>(message.number) > messages.size() ||
            seen[static_cast<std::size_t>(message.number)]) {
            return Error{std::string(kWhat) + "。メッセージの番号 " +
                         std::to_string(message.number) + " は 1 から " +
                         std::to_string(messages.size()) + " までに一度ずつではありません。"};
        }
        seen[static_cast<std::size_t>(message.number)] = true;
    }

    auto transaction = sql::Transaction::Begin(m_db);
    if (!transaction) return Failure(kWhat, transaction.error().message);
    auto insertRun = m_db.Prepare(
        "INSERT INTO runs (identity, started_at, total) VALUES (?, ?, ?)");
    if (!insertRun) return Failure(kWhat, insertRun.error().message);
    insertRun->BindText(1, identity).Bind(2, Seconds(now)).Bind(3, static_cast<std::int64_t>(messages.size()));
    if (Status done = insertRun->Run(); !done) return Failure(kWhat, done.error().message);
    const RunId run = m_db.LastInsertRowId();

    auto insertMessage = m_db.Prepare(
        "INSERT INTO messages (run_id, number, destination, subject) VALUES (?, ?, ?, ?)");
    if (!insertMessage) return Failure(kWhat, insertMessage.error().message);
    for (const PlannedMessage& message : messages) {
        insertMessage->Reset();
        insertMessage->Bind(1, run)
            .Bind(2, message.number)
            .BindBlob(3, message.destination)
            .BindBlob(4, message.subject);
        if (Status done = insertMessage->Run(); !done) return Failure(kWhat, done.error().message);
    }
    if (Status committed = transaction->Commit(); !committed) {
        return Failure(kWhat, committed.error().message);
    }
    return run;
}

Result<std::optional<RunRecord>> Journal::Newest(std::string_view identity,
                                                 std::optional<bool> finished) {
    constexpr const char* kWhat = "投稿履歴を読めませんでした";
    auto transaction = sql::Transaction::BeginRead(m_db);
    if (!transaction) return Failure(kWhat, transaction.error().message);
    auto query = m_db.Prepare(std::string(kSummaryColumns) +
                              " WHERE r.id = (SELECT MAX(id) FROM runs WHERE identity = ?)"
                              " GROUP BY r.id");
    if (!query) return Failure(kWhat, query.error().message);
    query->BindText(1, identity);
    auto row = query->Step();
    if (!row) return Failure(kWhat, row.error().message);
    if (!*row) return std::optional<RunRecord>();
    RunRecord record;
    record.summary = ReadSummary(*query);
    if (finished && record.summary.finished != *finished) return std::optional<RunRecord>();
    auto messages = Messages(record.summary.id);
    if (!messages) return messages.error();
    record.messages = std::move(*messages);
    query->Reset();
    transaction->Commit();
    return std::optional<RunRecord>(std::move(record));
}

Result<std::optional<RunRecord>> Journal::FindUnfinished(std::string_view identity) {
    return Newest(identity, false);
}

Result<std::optional<RunRecord>> Journal::LatestFinished(std::string_view identity) {
    return Newest(identity, true);
}

Result<std::optional<RunRecord>> Journal::LatestRun(std::string_view identity) {
    return Newest(identity, std::nullopt);
}

Status Journal::Mark(RunId run, int number, MessageState state, Time now,
                     std::string_view detail) {
    constexpr const char* kWhat = "送信結果を投稿履歴に記録できませんでした";
    auto transaction = sql::Transaction::Begin(m_db);
    if (!transaction) return Failure(kWhat, transaction.error().message);
    auto current = m_db.Prepare("SELECT state FROM messages WHERE run_id = ? AND number = ?");
    if (!current) return Failure(kWhat, current.error().message);
    current->Bind(1, run).Bind(2, number);
    auto row = current->Step();
    if (!row) return Failure(kWhat, row.error().message);
    if (!*row) {
        return Error{std::string(kWhat) + "。投稿履歴に実行 " + std::to_string(run) + " の " +
                     std::to_string(number) + " 通目はありません。"};
    }
    if (StateFromName(current->Bytes(0)) == MessageState::Sent) {
        return Error{std::string(kWhat) + "。実行 " + std::to_string(run) + " の " +
                     std::to_string(number) + " 通目は、すでに送信済みとして記録されています。"};
    }
    current->Reset();
    auto update = m_db.Prepare(
        "UPDATE messages SET state = ?, at = ?, detail = ? WHERE run_id = ? AND number = ?");
    if (!update) return Failure(kWhat, update.error().message);
    update->BindText(1, StateName(state))
        .Bind(2, Seconds(now))
        .BindBlob(3, detail)
        .Bind(4, run)
        .Bind(5, number);
    if (Status done = update->Run(); !done) return Failure(kWhat, done.error().message);
    if (Status committed = transaction->Commit(); !committed) {
        return Failure(kWhat, committed.error().message);
    }
    return Status::Ok();
}

Status Journal::MarkSent(RunId run, int number, Time now, std::string_view reply) {
    return Mark(run, number, MessageState::Sent, now, reply);
}

Status Journal::MarkFailed(RunId run, int number, Time now, std::string_view reason) {
    return Mark(run, number, MessageState::Failed, now, reason);
}

Status Journal::MarkUncertain(RunId run, int number, Time now, std::string_view reason) {
    return Mark(run, number, MessageState::Uncertain, now, reason);
}

namespace {

// One UPDATE of a run in its own write transaction; an unknown run is an error.
Status UpdateRun(sql::Database& db, const char* sql, RunId run, std::int64_t first,
                 std::optional<std::int64_t> second, const std::function<Error(const std::string&)>& failure,
                 const std::string& unknown) {
    auto transaction = sql::Transaction::Begin(db);
    if (!transaction) return failure(transaction.error().message);
    auto update = db.Prepare(sql);
    if (!update) return failure(update.error().message);
    update->Bind(1, first);
    int next = 2;
    if (second) update->Bind(next++, *second);
    update->Bind(next, run);
    if (Status done = update->Run(); !done) return failure(done.error().message);
    if (db.Changes() == 0) return Error{unknown};
    if (Status committed = transaction->Commit(); !committed) {
        return failure(committed.error().message);
    }
    return Status::Ok();
}

}  // namespace

Status Journal::EndRun(RunId run, Time now, bool finished) {
    constexpr const char* kWhat = "投稿の終わりを投稿履歴に記録できませんでした";
    return UpdateRun(
        m_db, "UPDATE runs SET ended_at = ?, finished = ? WHERE id = ?", run, Seconds(now),
        finished ? 1 : 0, [&](const std::string& text) { return Failure(kWhat, text); },
        std::string(kWhat) + "。投稿履歴に実行 " + std::to_string(run) + " はありません。");
}

Status Journal::ResumeRun(RunId run, Time now) {
    constexpr const char* kWhat = "投稿の再開を投稿履歴に記録できませんでした";
    return UpdateRun(
        m_db,
        "UPDATE runs SET attempts = attempts + 1, resumed_at = ?, ended_at = NULL, finished = 0"
        " WHERE id = ?",
        run, Seconds(now), std::nullopt,
        [&](const std::string& text) { return Failure(kWhat, text); },
        std::string(kWhat) + "。投稿履歴に実行 " + std::to_string(run) + " はありません。");
}

Result<std::vector<RunSummary>> Journal::History(int limit) {
    constexpr const char* kWhat = "投稿履歴を読めませんでした";
    auto query = m_db.Prepare(std::string(kSummaryColumns) +
                              " GROUP BY r.id ORDER BY r.id DESC LIMIT ?");
    if (!query) return Failure(kWhat, query.error().message);
    query->Bind(1, limit > 0 ? limit : -1);
    std::vector<RunSummary> runs;
    for (;;) {
        auto row = query->Step();
        if (!row) return Failure(kWhat, row.error().message);
        if (!*row) break;
        runs.push_back(ReadSummary(*query));
    }
    return runs;
}

Result<std::optional<RunSummary>> Journal::Summary(RunId run) {
    constexpr const char* kWhat = "投稿履歴を読めませんでした";
    auto query = m_db.Prepare(std::string(kSummaryColumns) + " WHERE r.id = ? GROUP BY r.id");
    if (!query) return Failure(kWhat, query.error().message);
    query->Bind(1, run);
    auto row = query->Step();
    if (!row) return Failure(kWhat, row.error().message);
    if (!*row) return std::optional<RunSummary>();
    return std::optional<RunSummary>(ReadSummary(*query));
}

Result<std::vector<MessageRecord>> Journal::Messages(RunId run) {
    constexpr const char* kWhat = "投稿履歴を読めませんでした";
    auto query = m_db.Prepare(
        "SELECT number, destination, subject, state, at, detail FROM messages"
        " WHERE run_id = ? ORDER BY number");
    if (!query) return Failure(kWhat, query.error().message);
    query->Bind(1, run);
    std::vector<MessageRecord> messages;
    for (;;) {
        auto row = query->Step();
        if (!row) return Failure(kWhat, row.error().message);
        if (!*row) break;
        MessageRecord message;
        message.number = static_cast<int>(query->Int(0));
        message.destination = query->Bytes(1);
        message.subject = query->Bytes(2);
        message.state = StateFromName(query->Bytes(3));
        if (!query->IsNull(4)) message.at = FromSeconds(query->Int(4));
        message.detail = query->Bytes(5);
        messages.push_back(std::move(message));
    }
    return messages;
}

Result<int> Journal::Prune(Time now, std::chrono::seconds keep) {
    constexpr const char* kWhat = "古い投稿履歴を消せませんでした";
    const std::int64_t cutoff = Seconds(now) - keep.count();
    auto transaction = sql::Transaction::Begin(m_db);
    if (!transaction) return Failure(kWhat, transaction.error().message);
    auto messages = m_db.Prepare(
        "DELETE FROM messages WHERE run_id IN (SELECT id FROM runs WHERE started_at < ?)");
    if (!messages) return Failure(kWhat, messages.error().message);
    messages->Bind(1, cutoff);
    if (Status done = messages->Run(); !done) return Failure(kWhat, done.error().message);
    auto runs = m_db.Prepare("DELETE FROM runs WHERE started_at < ?");
    if (!runs) return Failure(kWhat, runs.error().message);
    runs->Bind(1, cutoff);
    if (Status done = runs->Run(); !done) return Failure(kWhat, done.error().message);
    const int removed = m_db.Changes();
    if (Status committed = transaction->Commit(); !committed) {
        return Failure(kWhat, committed.error().message);
    }
    return removed;
}

}  // namespace qubopost::journal
