#include "journal/journal.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "journal/folders.h"
#include "journal/schema.h"
#include "resources/messages/messages.h"

namespace qubopost::journal {

namespace {

// A newer run of the same identity followed run r.
constexpr const char* kNewerRunFollowed =
    "EXISTS (SELECT 1 FROM runs n WHERE n.identity = r.identity AND n.id > r.id)";

const std::string& SummaryColumns() {
    static const std::string columns = std::string(R"sql(
    SELECT r.id, r.identity, r.started_at, r.ended_at, r.finished, r.attempts, r.resumed_at,
           r.total,
           COALESCE(SUM(m.state = 'sent'), 0), COALESCE(SUM(m.state = 'failed'), 0),
           COALESCE(SUM(m.state = 'uncertain'), 0), COALESCE(SUM(m.state = 'pending'), 0),
           r.server, r.server IS NOT NULL, )sql") +
                                       kNewerRunFollowed + R"sql(
    FROM runs r LEFT JOIN messages m ON m.run_id = r.id
)sql";
    return columns;
}

namespace msg = qubopost::messages;
using msg::Say;

const msg::Message& kRead = msg::kJournalCannotRead;
const msg::Message& kOpen = msg::kJournalCannotOpen;

std::int64_t Seconds(Time t) { return t.time_since_epoch().count(); }
Time FromSeconds(std::int64_t s) { return Time{std::chrono::seconds{s}}; }

const char* StateName(MessageState state) {
    switch (state) {
        case MessageState::Pending:
            return "pending";
        case MessageState::Sent:
            return "sent";
        case MessageState::Failed:
            return "failed";
        case MessageState::Uncertain:
            return "uncertain";
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
    run.server = row.Bytes(12);
    run.stored = row.Int(13) != 0;
    run.superseded = row.Int(14) != 0;
    return run;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return {};
}

Error OpenFailure(const std::string& path, const std::string& why) {
    return Error{Say(msg::kJournalOpenFailed, {path, why})};
}

// Something that is not the journal stands where the journal should be.
Error InTheWay(const std::string& path, std::string_view what, const msg::Message& toDo) {
    return Error{Say(msg::kJournalInTheWay, {path, what, Say(toDo)})};
}

// The journal's place holds a plain file, created here (mode 0600) when there was nothing.
Status PlaceFile(const std::string& path) {
    // The history names addresses and subjects: the file is the user's alone. SQLite gives
    // its -wal and -shm files the same mode.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return Status::Ok();
    }
    if (errno != EEXIST) return OpenFailure(path, std::strerror(errno));
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        const msg::Message& kRelink = msg::kJournalRelink;
        if (error == ELOOP) {
            return InTheWay(path, Say(msg::kJournalLinkLoop, {std::strerror(error)}), kRelink);
        }
        if (error == ENOENT) {
            return InTheWay(path, Say(msg::kJournalLinkDangling), kRelink);
        }
        return OpenFailure(path, std::strerror(error));
    }
    const msg::Message& kMoveAside = msg::kJournalMoveAside;
    if (S_ISDIR(info.st_mode)) return InTheWay(path, Say(msg::kJournalPlaceIsFolder), kMoveAside);
    if (!S_ISREG(info.st_mode)) {
        return InTheWay(path, Say(msg::kJournalPlaceNotFile), kMoveAside);
    }
    return Status::Ok();
}

std::string Duration(std::chrono::milliseconds wait) {
    if (wait.count() % 1000 == 0)
        return Say(msg::kDurationSeconds, {std::to_string(wait.count() / 1000)});
    return Say(msg::kDurationMilliseconds, {std::to_string(wait.count())});
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

Result<Journal> Journal::Open(const std::string& path) { return Open(path, kBusyTimeout); }

Result<Journal> Journal::Open(const std::string& path, std::chrono::milliseconds busyTimeout) {
    std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        std::string dir = path.substr(0, slash);
        if (int error = MakeFolders(dir)) {
            return Error{Say(msg::kJournalFolderFailed, {dir, std::strerror(error)})};
        }
    }
    if (Status placed = PlaceFile(path); !placed) return placed.error();

    auto db = sql::Database::Open(path, false);
    if (!db) return OpenFailure(path, "SQLite: " + db.error().message);
    Journal journal(path, std::move(*db), busyTimeout);
    if (Status ready = journal.Prepare(); !ready) return ready.error();
    return journal;
}

// Everything between opening the file and the first call, in an order that changes nothing
// in a file that is refused.
Status Journal::Prepare() {
    // First, before a read makes SQLite add its -wal and -shm files beside a read-only file.
    if (m_db.ReadOnly()) return CheckWritable();
    // Another process may hold the write lock for a moment: wait rather than fail.
    const std::string timeout = "PRAGMA busy_timeout = " + std::to_string(m_busyTimeout.count());
    if (Status set = m_db.Exec(timeout.c_str()); !set) return Failure(kOpen, set.error());
    if (Status checked = QuickCheck(); !checked) return checked;

    // Read before anything writes: a newer file is left exactly as it is.
    auto version = ReadSchemaVersion(m_db);
    if (!version) return Failure(kOpen, version.error());
    const int known = CurrentSchemaVersion();
    if (*version > known) {
        return Error{Say(msg::kJournalNewerFormat,
                         {m_path, std::to_string(*version), std::to_string(known)})};
    }
    if (Status writable = CheckWritable(); !writable) return writable;

    auto mode = m_db.Prepare("PRAGMA journal_mode = WAL");
    if (!mode) return Failure(kOpen, mode.error());
    auto row = mode->Step();
    if (!row) return Failure(kOpen, row.error());
    if (!*row || mode->Bytes(0) != "wal") {
        return OpenFailure(m_path, "SQLite: journal_mode WAL is not available");
    }
    mode->Reset();
    for (const char* pragma : {"PRAGMA synchronous = FULL", "PRAGMA foreign_keys = ON"}) {
        if (Status set = m_db.Exec(pragma); !set) return Failure(kOpen, set.error());
    }

    Status migrated = MigrateSchema(m_db, SchemaSteps());
    if (!migrated) {
        const int cause = migrated.error().code & 0xff;
        if (cause == SQLITE_BUSY || cause == SQLITE_READONLY || cause == SQLITE_CORRUPT) {
            return Failure(msg::kJournalCannotMigrate, migrated.error());
        }
        return Error{Say(msg::kJournalMigrateFailed, {m_path, migrated.error().message})};
    }
    return Status::Ok();
}

Status Journal::QuickCheck() {
    // At most a few lines of what is wrong: enough to tell a damaged file from another.
    auto check = m_db.Prepare("PRAGMA quick_check(3)");
    if (!check) return Failure(kOpen, check.error());
    std::string problems;
    for (;;) {
        auto row = check->Step();
        if (!row) return Failure(kOpen, row.error());
        if (!*row) break;
        std::string line = check->Bytes(0);
        if (line == "ok" && problems.empty()) continue;
        for (char& c : line) {
            if (c == '\n') c = ' ';
        }
        problems += (problems.empty() ? "" : " / ") + line;
    }
    if (problems.empty()) return Status::Ok();
    return Failure(kOpen, Error{"quick_check: " + problems, SQLITE_CORRUPT});
}

Status Journal::CheckWritable() {
    const msg::Message& kWhat = msg::kJournalCannotRecord;
    // SQLite falls back to reading only when the file cannot be opened for writing.
    if (m_db.ReadOnly()) {
        return Failure(kWhat, Error{"the file was opened read-only", SQLITE_READONLY});
    }
    // The write lock, at once let go: a read-only folder, a full lock or another process.
    auto transaction = sql::Transaction::Begin(m_db);
    if (!transaction) return Failure(kWhat, transaction.error());
    return Status::Ok();  // rolled back by the transaction's end
}

Error Journal::Failure(const msg::Message& what, const Error& sqlite) const {
    switch (sqlite.code & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return Error{Say(msg::kJournalBusy,
                             {Say(what), m_path, Duration(m_busyTimeout), sqlite.message}),
                         sqlite.code};
        case SQLITE_READONLY:
            return Error{Say(msg::kJournalReadOnly, {Say(what), m_path, sqlite.message}),
                         sqlite.code};
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return Error{Say(msg::kJournalDamaged, {Say(what), m_path, sqlite.message}),
                         sqlite.code};
        default:
            return Error{Say(msg::kJournalWriteFailed, {Say(what), m_path, sqlite.message}),
                         sqlite.code};
    }
}

// One message of a new run, whichever way it came.
struct Journal::NewMessage {
    int number = 0;
    int group = -1;  // -1: the run keeps no texts
    std::string_view destination;
    std::string_view subject;
};

Result<RunId> Journal::StartRun(std::string_view identity,
                                const std::vector<PlannedMessage>& messages, Time now) {
    std::vector<NewMessage> planned;
    planned.reserve(messages.size());
    for (const PlannedMessage& message : messages) {
        planned.push_back({message.number, -1, message.destination, message.subject});
    }
    return InsertRun(identity, planned, nullptr, now);
}

Result<RunId> Journal::StartStoredRun(std::string_view identity, const StoredRun& run, Time now) {
    std::vector<NewMessage> planned;
    planned.reserve(run.messages.size());
    for (const StoredRun::Message& message : run.messages) {
        planned.push_back({message.number, message.group, message.destination, message.subject});
    }
    return InsertRun(identity, planned, &run, now);
}

Result<RunId> Journal::InsertRun(std::string_view identity, const std::vector<NewMessage>& messages,
                                 const StoredRun* texts, Time now) {
    const msg::Message& kWhat = msg::kJournalCannotRecordStart;
    std::vector<bool> seen(messages.size() + 1, false);
    for (const NewMessage& message : messages) {
        if (message.number < 1 || static_cast<std::size_t>(message.number) > messages.size() ||
            seen[static_cast<std::size_t>(message.number)]) {
            return Error{
                Say(msg::kJournalNumbersInvalid,
                    {Say(kWhat), std::to_string(message.number), std::to_string(messages.size())})};
        }
        seen[static_cast<std::size_t>(message.number)] = true;
        if (texts && (message.group < 0 ||
                      static_cast<std::size_t>(message.group) >= texts->bodies.size())) {
            return Error{Say(msg::kJournalBodyMissing, {Say(kWhat), std::to_string(message.number),
                                                        std::to_string(message.group),
                                                        std::to_string(texts->bodies.size())})};
        }
    }

    auto transaction = sql::Transaction::Begin(m_db);
    if (!transaction) return Failure(kWhat, transaction.error());
    auto insertRun = m_db.Prepare(
        "INSERT INTO runs (identity, started_at, total, sender, server, trust_file, draft)"
        " VALUES (?, ?, ?, ?, ?, ?, ?)");
    if (!insertRun) return Failure(kWhat, insertRun.error());
    insertRun->BindText(1, identity)
        .Bind(2, Seconds(now))
        .Bind(3, static_cast<std::int64_t>(messages.size()));
    if (texts) {
        insertRun->BindBlob(4, texts->sender)
            .BindText(5, texts->server)
            .BindBlob(6, texts->trustFile)
            .Bind(7, texts->draft ? 1 : 0);
    } else {
        insertRun->BindNull(4).BindNull(5).BindNull(6).BindNull(7);
    }
    if (Status done = insertRun->Run(); !done) return Failure(kWhat, done.error());
    const RunId run = m_db.LastInsertRowId();

    if (texts) {
        auto insertBody =
            m_db.Prepare("INSERT INTO run_groups (run_id, grp, body) VALUES (?, ?, ?)");
        if (!insertBody) return Failure(kWhat, insertBody.error());
        for (std::size_t group = 0; group < texts->bodies.size(); ++group) {
            insertBody->Reset();
            insertBody->Bind(1, run)
                .Bind(2, static_cast<std::int64_t>(group))
                .BindBlob(3, texts->bodies[group]);
            if (Status done = insertBody->Run(); !done) return Failure(kWhat, done.error());
        }
    }

    auto insertMessage = m_db.Prepare(
        "INSERT INTO messages (run_id, number, destination, subject, grp) VALUES (?, ?, ?, ?, ?)");
    if (!insertMessage) return Failure(kWhat, insertMessage.error());
    for (const NewMessage& message : messages) {
        insertMessage->Reset();
        insertMessage->Bind(1, run)
            .Bind(2, message.number)
            .BindBlob(3, message.destination)
            .BindBlob(4, message.subject);
        if (message.group >= 0) {
            insertMessage->Bind(5, message.group);
        } else {
            insertMessage->BindNull(5);
        }
        if (Status done = insertMessage->Run(); !done) return Failure(kWhat, done.error());
    }
    if (Status committed = transaction->Commit(); !committed) {
        return Failure(kWhat, committed.error());
    }
    return run;
}

Result<std::optional<StoredRun>> Journal::LoadStoredRun(RunId run) {
    auto transaction = sql::Transaction::BeginRead(m_db);
    if (!transaction) return Failure(kRead, transaction.error());
    auto texts = m_db.Prepare("SELECT sender, server, trust_file, draft FROM runs WHERE id = ?");
    if (!texts) return Failure(kRead, texts.error());
    texts->Bind(1, run);
    auto row = texts->Step();
    if (!row) return Failure(kRead, row.error());
    if (!*row || texts->IsNull(1)) return std::optional<StoredRun>();
    StoredRun stored;
    stored.sender = texts->Bytes(0);
    stored.server = texts->Bytes(1);
    stored.trustFile = texts->Bytes(2);
    stored.draft = !texts->IsNull(3) && texts->Int(3) != 0;
    texts->Reset();

    const auto missing = [&](const std::string& what) {
        return Failure(kRead, Error{"run " + std::to_string(run) + ": " + what, SQLITE_CORRUPT});
    };
    auto bodies = m_db.Prepare("SELECT grp, body FROM run_groups WHERE run_id = ? ORDER BY grp");
    if (!bodies) return Failure(kRead, bodies.error());
    bodies->Bind(1, run);
    for (;;) {
        auto next = bodies->Step();
        if (!next) return Failure(kRead, next.error());
        if (!*next) break;
        if (bodies->Int(0) != static_cast<std::int64_t>(stored.bodies.size())) {
            return missing("group " + std::to_string(stored.bodies.size()) + " has no body");
        }
        stored.bodies.push_back(bodies->Bytes(1));
    }

    auto messages = m_db.Prepare(
        "SELECT number, grp, destination, subject FROM messages WHERE run_id = ? ORDER BY number");
    if (!messages) return Failure(kRead, messages.error());
    messages->Bind(1, run);
    for (;;) {
        auto next = messages->Step();
        if (!next) return Failure(kRead, next.error());
        if (!*next) break;
        StoredRun::Message message;
        message.number = static_cast<int>(messages->Int(0));
        if (messages->IsNull(1) || messages->Int(1) < 0 ||
            messages->Int(1) >= static_cast<std::int64_t>(stored.bodies.size())) {
            return missing("message " + std::to_string(message.number) + " has no group body");
        }
        message.group = static_cast<int>(messages->Int(1));
        message.destination = messages->Bytes(2);
        message.subject = messages->Bytes(3);
        stored.messages.push_back(std::move(message));
    }
    return std::optional<StoredRun>(std::move(stored));
}

Result<std::vector<RunSummary>> Journal::Summaries(
    const std::string& tail, const std::function<void(sql::Statement&)>& bind) {
    auto query = m_db.Prepare(SummaryColumns() + tail);
    if (!query) return Failure(kRead, query.error());
    bind(*query);
    std::vector<RunSummary> runs;
    for (;;) {
        auto row = query->Step();
        if (!row) return Failure(kRead, row.error());
        if (!*row) break;
        runs.push_back(ReadSummary(*query));
    }
    return runs;
}

Result<std::optional<RunRecord>> Journal::Newest(std::string_view identity,
                                                 std::optional<bool> finished) {
    auto transaction = sql::Transaction::BeginRead(m_db);
    if (!transaction) return Failure(kRead, transaction.error());
    auto runs =
        Summaries(" WHERE r.id = (SELECT MAX(id) FROM runs WHERE identity = ?) GROUP BY r.id",
                  [&](sql::Statement& query) { query.BindText(1, identity); });
    if (!runs) return runs.error();
    if (runs->empty()) return std::optional<RunRecord>();
    RunRecord record;
    record.summary = std::move(runs->front());
    if (finished && record.summary.finished != *finished) return std::optional<RunRecord>();
    auto messages = Messages(record.summary.id);
    if (!messages) return messages.error();
    record.messages = std::move(*messages);
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

Status Journal::Mark(RunId run, int number, MessageState state, Time now, std::string_view detail,
                     std::string_view link) {
    const msg::Message& kWhat = msg::kJournalCannotRecordResult;
    auto transaction = sql::Transaction::Begin(m_db);
    if (!transaction) return Failure(kWhat, transaction.error());
    auto current = m_db.Prepare("SELECT state FROM messages WHERE run_id = ? AND number = ?");
    if (!current) return Failure(kWhat, current.error());
    current->Bind(1, run).Bind(2, number);
    auto row = current->Step();
    if (!row) return Failure(kWhat, row.error());
    if (!*row) {
        return Error{Say(msg::kJournalNoSuchMessage,
                         {Say(kWhat), std::to_string(run), std::to_string(number)})};
    }
    if (StateFromName(current->Bytes(0)) == MessageState::Sent) {
        return Error{Say(msg::kJournalAlreadySent,
                         {Say(kWhat), std::to_string(run), std::to_string(number)})};
    }
    current->Reset();
    auto update = m_db.Prepare(
        "UPDATE messages SET state = ?, at = ?, detail = ?, link = ? WHERE run_id = ? AND number = ?");
    if (!update) return Failure(kWhat, update.error());
    update->BindText(1, StateName(state)).Bind(2, Seconds(now)).BindBlob(3, detail);
    if (link.empty()) {
        update->BindNull(4);
    } else {
        update->BindBlob(4, link);
    }
    update->Bind(5, run).Bind(6, number);
    if (Status done = update->Run(); !done) return Failure(kWhat, done.error());
    if (Status committed = transaction->Commit(); !committed) {
        return Failure(kWhat, committed.error());
    }
    return Status::Ok();
}

Status Journal::MarkSent(RunId run, int number, Time now, std::string_view reply,
                         std::string_view link) {
    return Mark(run, number, MessageState::Sent, now, reply, link);
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
                 std::optional<std::int64_t> second,
                 const std::function<Error(const Error&)>& failure, const std::string& unknown) {
    auto transaction = sql::Transaction::Begin(db);
    if (!transaction) return failure(transaction.error());
    auto update = db.Prepare(sql);
    if (!update) return failure(update.error());
    update->Bind(1, first);
    int next = 2;
    if (second) update->Bind(next++, *second);
    update->Bind(next, run);
    if (Status done = update->Run(); !done) return failure(done.error());
    if (db.Changes() == 0) return Error{unknown};
    if (Status committed = transaction->Commit(); !committed) return failure(committed.error());
    return Status::Ok();
}

}  // namespace

Status Journal::EndRun(RunId run, Time now, bool finished) {
    const msg::Message& kWhat = msg::kJournalCannotRecordEnd;
    return UpdateRun(
        m_db, "UPDATE runs SET ended_at = ?, finished = ? WHERE id = ?", run, Seconds(now),
        finished ? 1 : 0, [&](const Error& error) { return Failure(kWhat, error); },
        Say(msg::kJournalNoSuchRunToUpdate, {Say(kWhat), std::to_string(run)}));
}

Status Journal::ResumeRun(RunId run, Time now) {
    const msg::Message& kWhat = msg::kJournalCannotRecordResume;
    return UpdateRun(
        m_db,
        "UPDATE runs SET attempts = attempts + 1, resumed_at = ?, ended_at = NULL, finished = 0"
        " WHERE id = ?",
        run, Seconds(now), std::nullopt, [&](const Error& error) { return Failure(kWhat, error); },
        Say(msg::kJournalNoSuchRunToUpdate, {Say(kWhat), std::to_string(run)}));
}

Result<std::vector<RunSummary>> Journal::History(int limit) {
    return Summaries(" GROUP BY r.id ORDER BY r.id DESC LIMIT ?",
                     [&](sql::Statement& query) { query.Bind(1, limit > 0 ? limit : -1); });
}

Result<std::vector<UnfinishedRun>> Journal::UnfinishedRuns(int limit) {
    auto runs = Summaries(std::string(" WHERE r.finished = 0 AND NOT ") + kNewerRunFollowed +
                              " GROUP BY r.id ORDER BY r.id DESC LIMIT ?",
                          [&](sql::Statement& query) { query.Bind(1, limit > 0 ? limit : -1); });
    if (!runs) return runs.error();
    std::vector<UnfinishedRun> unfinished;
    unfinished.reserve(runs->size());
    for (RunSummary& run : *runs) {
        const bool stored = run.stored;
        std::string server = run.server;
        unfinished.push_back({std::move(run), stored, std::move(server)});
    }
    return unfinished;
}

Result<std::optional<Time>> Journal::LastSentTo(std::string_view server) {
    auto query = m_db.Prepare(
        "SELECT MAX(m.at) FROM runs r JOIN messages m ON m.run_id = r.id"
        " WHERE r.server = ? AND m.state IN ('sent', 'uncertain')");
    if (!query) return Failure(kRead, query.error());
    query->BindText(1, server);
    auto row = query->Step();
    if (!row) return Failure(kRead, row.error());
    if (!*row || query->IsNull(0)) return std::optional<Time>();
    return std::optional<Time>(FromSeconds(query->Int(0)));
}

Result<std::optional<RunSummary>> Journal::Summary(RunId run) {
    auto runs = Summaries(" WHERE r.id = ? GROUP BY r.id",
                          [&](sql::Statement& query) { query.Bind(1, run); });
    if (!runs) return runs.error();
    if (runs->empty()) return std::optional<RunSummary>();
    return std::optional<RunSummary>(std::move(runs->front()));
}

Result<std::vector<MessageRecord>> Journal::Messages(RunId run) {
    auto query = m_db.Prepare(
        "SELECT number, destination, subject, state, at, detail, link FROM messages"
        " WHERE run_id = ? ORDER BY number");
    if (!query) return Failure(kRead, query.error());
    query->Bind(1, run);
    std::vector<MessageRecord> messages;
    for (;;) {
        auto row = query->Step();
        if (!row) return Failure(kRead, row.error());
        if (!*row) break;
        MessageRecord message;
        message.number = static_cast<int>(query->Int(0));
        message.destination = query->Bytes(1);
        message.subject = query->Bytes(2);
        message.state = StateFromName(query->Bytes(3));
        if (!query->IsNull(4)) message.at = FromSeconds(query->Int(4));
        message.detail = query->Bytes(5);
        if (!query->IsNull(6)) message.link = query->Bytes(6);
        messages.push_back(std::move(message));
    }
    return messages;
}

Result<int> Journal::Prune(Time now, std::chrono::seconds keep) {
    const msg::Message& kWhat = msg::kJournalCannotPrune;
    const std::int64_t cutoff = Seconds(now) - keep.count();
    auto transaction = sql::Transaction::Begin(m_db);
    if (!transaction) return Failure(kWhat, transaction.error());
    // Messages first: they refer to the group bodies, which refer to the runs.
    for (const char* sql :
         {"DELETE FROM messages WHERE run_id IN (SELECT id FROM runs WHERE started_at < ?)",
          "DELETE FROM run_groups WHERE run_id IN (SELECT id FROM runs WHERE started_at < ?)",
          "DELETE FROM runs WHERE started_at < ?"}) {
        auto remove = m_db.Prepare(sql);
        if (!remove) return Failure(kWhat, remove.error());
        remove->Bind(1, cutoff);
        if (Status done = remove->Run(); !done) return Failure(kWhat, done.error());
    }
    const int removed = m_db.Changes();
    if (Status committed = transaction->Commit(); !committed) {
        return Failure(kWhat, committed.error());
    }
    return removed;
}

}  // namespace qubopost::journal
