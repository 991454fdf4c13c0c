#include "journal/schema.h"

#include <string>

namespace qubopost::journal {

namespace {

// Version 1: runs and their messages.
//
// runs.identity is the digest of the run's inputs; ended_at is NULL while a run goes (or after
// it was killed); finished is 1 once every message was tried. attempts counts the starts of the
// run (1, then one more for each resume) and resumed_at is the time of the last resume.
// Destination, subject and detail are the program's bytes (Shift-JIS), kept as BLOBs.
Status CreateVersion1(sql::Database& db) {
    return db.Exec(R"sql(
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
    )sql");
}

// Version 2: a run is stored whole, so that it can be finished from the journal alone.
//
// runs gains the sender (the From address, as given), the server ("host:port", or with
// smtps:// before it, as the posting gives it) and the trust file ('' for the system's
// store); all three are NULL for a run recorded without its texts (by version 1, or by
// StartRun). run_groups holds each group's message body once; messages gains grp, the group
// whose body it carries (NULL for runs without texts). messages is rebuilt, its rows copied
// as they are, because a composite reference cannot be added to an existing table.
Status AddVersion2(sql::Database& db) {
    return db.Exec(R"sql(
        ALTER TABLE runs ADD COLUMN sender BLOB;
        ALTER TABLE runs ADD COLUMN server TEXT;
        ALTER TABLE runs ADD COLUMN trust_file BLOB;
        CREATE INDEX runs_by_server ON runs (server);
        CREATE TABLE run_groups (
            run_id      INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
            grp         INTEGER NOT NULL CHECK (grp >= 0),
            body        BLOB    NOT NULL,
            PRIMARY KEY (run_id, grp)
        ) WITHOUT ROWID;
        CREATE TABLE messages_v2 (
            run_id      INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
            number      INTEGER NOT NULL,
            destination BLOB    NOT NULL,
            subject     BLOB    NOT NULL,
            state       TEXT    NOT NULL DEFAULT 'pending'
                        CHECK (state IN ('pending', 'sent', 'failed', 'uncertain')),
            at          INTEGER,
            detail      BLOB,
            grp         INTEGER,
            PRIMARY KEY (run_id, number),
            FOREIGN KEY (run_id, grp) REFERENCES run_groups (run_id, grp)
        ) WITHOUT ROWID;
        INSERT INTO messages_v2 (run_id, number, destination, subject, state, at, detail)
            SELECT run_id, number, destination, subject, state, at, detail FROM messages;
        DROP TABLE messages;
        ALTER TABLE messages_v2 RENAME TO messages;
    )sql");
}

// Version 3: a message posted through a blog's API keeps the address of the post the blog made
// (NULL for mail, and for every message recorded before); a stored run keeps whether its blog
// posts are drafts (1), so that a resume from the journal alone posts them the same way (NULL for
// runs recorded before).
Status AddVersion3(sql::Database& db) {
    return db.Exec(R"sql(
        ALTER TABLE messages ADD COLUMN link BLOB;
        ALTER TABLE runs ADD COLUMN draft INTEGER CHECK (draft IN (0, 1));
    )sql");
}

constexpr MigrationStep kSteps[] = {
    CreateVersion1,
    AddVersion2,
    AddVersion3,
};

}  // namespace

std::span<const MigrationStep> SchemaSteps() { return kSteps; }

int CurrentSchemaVersion() { return static_cast<int>(std::size(kSteps)); }

Result<int> ReadSchemaVersion(sql::Database& db) {
    auto version = db.QueryInt("PRAGMA user_version");
    if (!version) return version.error();
    return static_cast<int>(*version);
}

Status MigrateSchema(sql::Database& db, std::span<const MigrationStep> steps) {
    auto transaction = sql::Transaction::Begin(db);
    if (!transaction) return transaction.error();
    // Read again under the write lock: another process may have migrated meanwhile.
    auto version = ReadSchemaVersion(db);
    if (!version) return version.error();
    const int target = static_cast<int>(steps.size());
    if (*version > target) {
        return Error{"schema version " + std::to_string(*version) + " is newer than " +
                     std::to_string(target)};
    }
    if (*version < 0) return Error{"schema version " + std::to_string(*version) + " is invalid"};
    if (*version == target) return transaction->Commit();
    for (int from = *version; from < target; ++from) {
        Status stepped = steps[static_cast<std::size_t>(from)](db);
        if (!stepped) {
            return Error{
                "step from version " + std::to_string(from) + ": " + stepped.error().message,
                stepped.error().code};
        }
    }
    Status set = db.Exec(("PRAGMA user_version = " + std::to_string(target)).c_str());
    if (!set) return set;
    return transaction->Commit();
}

}  // namespace qubopost::journal
