#include "journal/sqlite.h"

#include <sqlite3.h>

namespace qubopost::journal::sql {

namespace {

std::string ErrorText(sqlite3* db, int rc) {
    if (db && sqlite3_extended_errcode(db) == rc) return sqlite3_errmsg(db);
    return sqlite3_errstr(rc);
}

Error Failed(sqlite3* db, int rc) { return Error{ErrorText(db, rc), rc}; }

}  // namespace

void Database::Closer::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

Result<Database> Database::Open(const std::string& path, bool create) {
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        Error error = Failed(db, db ? sqlite3_extended_errcode(db) : rc);
        sqlite3_close_v2(db);
        return error;
    }
    sqlite3_extended_result_codes(db, 1);
    return Database(db);
}

Status Database::Exec(const char* sql) {
    char* message = nullptr;
    int rc = sqlite3_exec(m_db.get(), sql, nullptr, nullptr, &message);
    if (rc == SQLITE_OK) return Status::Ok();
    std::string text = message ? message : sqlite3_errstr(rc);
    sqlite3_free(message);
    return Error{text, sqlite3_extended_errcode(m_db.get())};
}

Result<Statement> Database::Prepare(std::string_view sql) {
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(m_db.get(), sql.data(), static_cast<int>(sql.size()), &statement,
                                nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(statement);
        return Failed(m_db.get(), sqlite3_extended_errcode(m_db.get()));
    }
    return Statement(m_db.get(), statement);
}

Result<std::int64_t> Database::QueryInt(const char* sql) {
    auto statement = Prepare(sql);
    if (!statement) return statement.error();
    auto row = statement->Step();
    if (!row) return row.error();
    if (!*row) return Error{"no row"};
    return statement->Int(0);
}

std::int64_t Database::LastInsertRowId() const { return sqlite3_last_insert_rowid(m_db.get()); }

int Database::Changes() const { return sqlite3_changes(m_db.get()); }

std::string Database::LastError() const { return sqlite3_errmsg(m_db.get()); }

bool Database::ReadOnly() const { return sqlite3_db_readonly(m_db.get(), "main") == 1; }

void Statement::Finalizer::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

void Statement::Remember(int rc) {
    if (rc != SQLITE_OK && !m_bindError) m_bindError = Failed(m_db, rc);
}

Statement& Statement::Bind(int index, std::int64_t value) {
    Remember(sqlite3_bind_int64(m_statement.get(), index, value));
    return *this;
}

Statement& Statement::BindBlob(int index, std::string_view bytes) {
    // A zero-length blob still binds as a blob, not as NULL.
    Remember(sqlite3_bind_blob64(m_statement.get(), index, bytes.empty() ? "" : bytes.data(),
                                 bytes.size(), SQLITE_TRANSIENT));
    return *this;
}

Statement& Statement::BindText(int index, std::string_view text) {
    // An empty view may have no data pointer, which SQLite would bind as NULL.
    Remember(sqlite3_bind_text64(m_statement.get(), index, text.empty() ? "" : text.data(),
                                 text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
    return *this;
}

Statement& Statement::BindNull(int index) {
    Remember(sqlite3_bind_null(m_statement.get(), index));
    return *this;
}

Result<bool> Statement::Step() {
    if (m_bindError) return *m_bindError;
    int rc = sqlite3_step(m_statement.get());
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    Error error = Failed(m_db, rc);
    sqlite3_reset(m_statement.get());
    return error;
}

Status Statement::Run() {
    for (;;) {
        auto row = Step();
        if (!row) return row.error();
        if (!*row) return Status::Ok();
    }
}

void Statement::Reset() {
    sqlite3_reset(m_statement.get());
    sqlite3_clear_bindings(m_statement.get());
    m_bindError.reset();
}

std::int64_t Statement::Int(int column) const {
    return sqlite3_column_int64(m_statement.get(), column);
}

bool Statement::IsNull(int column) const {
    return sqlite3_column_type(m_statement.get(), column) == SQLITE_NULL;
}

std::string Statement::Bytes(int column) const {
    // sqlite3_column_blob first, then the size, as SQLite asks.
    const void* data = sqlite3_column_blob(m_statement.get(), column);
    int size = sqlite3_column_bytes(m_statement.get(), column);
    if (!data || size <= 0) return {};
    return std::string(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

Result<Transaction> Transaction::Begin(Database& db) {
    Status begun = db.Exec("BEGIN IMMEDIATE");
    if (!begun) return begun.error();
    return Transaction(&db);
}

Result<Transaction> Transaction::BeginRead(Database& db) {
    Status begun = db.Exec("BEGIN");
    if (!begun) return begun.error();
    return Transaction(&db);
}

Transaction::~Transaction() {
    if (m_db) m_db->Exec("ROLLBACK");
}

Status Transaction::Commit() {
    if (!m_db) return Error{"no transaction"};
    Status committed = m_db->Exec("COMMIT");
    // A failed COMMIT leaves the transaction open; the destructor rolls it back.
    if (committed) m_db = nullptr;
    return committed;
}

}  // namespace qubopost::journal::sql
