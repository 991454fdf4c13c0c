// A small RAII layer over the SQLite C API: the database handle, prepared statements and
// write transactions. Nothing here throws; failures come back as values carrying SQLite's own
// text (sqlite3_errmsg).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

struct sqlite3;
struct sqlite3_stmt;

namespace qubopost::journal {

// What went wrong, in words a person can read.
struct Error {
    std::string message;
    int code = 0;  // SQLite's extended result code when SQLite failed, else 0
};

// A value or an Error.
template <class T>
class Result {
public:
    Result(T value) : m_value(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : m_value(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_value.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(m_value); }
    const T& value() const { return std::get<0>(m_value); }
    T& operator*() { return value(); }
    T* operator->() { return &value(); }
    const Error& error() const { return std::get<1>(m_value); }

private:
    std::variant<T, Error> m_value;
};

// Success or an Error.
class Status {
public:
    Status() = default;
    Status(Error error) : m_error(std::move(error)) {}
    static Status Ok() { return {}; }

    bool ok() const { return !m_error; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return *m_error; }

private:
    std::optional<Error> m_error;
};

namespace sql {

class Statement;

// An open database connection; closed when the object goes.
class Database {
public:
    // Opens (and with `create`, creates) the file. The error carries SQLite's text.
    static Result<Database> Open(const std::string& path, bool create);

    Database(Database&&) noexcept = default;
    Database& operator=(Database&&) noexcept = default;

    // Runs one or more statements that return no rows.
    Status Exec(const char* sql);
    Result<Statement> Prepare(std::string_view sql);

    // The first column of the first row of a query, as an integer.
    Result<std::int64_t> QueryInt(const char* sql);

    std::int64_t LastInsertRowId() const;
    int Changes() const;
    // sqlite3_errmsg of the connection.
    std::string LastError() const;
    // Whether SQLite opened the file for reading only (the file or its folder is not writable).
    bool ReadOnly() const;
    sqlite3* Handle() const { return m_db.get(); }

private:
    struct Closer {
        void operator()(sqlite3* db) const;
    };
    explicit Database(sqlite3* db) : m_db(db) {}
    std::unique_ptr<sqlite3, Closer> m_db;
};

// A prepared statement. Bind* remember the first failure, which Step() then reports.
class Statement {
public:
    Statement(Statement&&) noexcept = default;
    Statement& operator=(Statement&&) noexcept = default;

    // Parameters count from 1, as in SQLite.
    Statement& Bind(int index, std::int64_t value);
    Statement& BindBlob(int index, std::string_view bytes);
    Statement& BindText(int index, std::string_view text);
    Statement& BindNull(int index);

    // true: a row is ready; false: the statement is done.
    Result<bool> Step();
    // Runs the statement to its end, ignoring rows.
    Status Run();
    // Makes the statement ready to run again; the bindings are cleared.
    void Reset();

    std::int64_t Int(int column) const;
    bool IsNull(int column) const;
    // Bytes of a BLOB or TEXT column, as stored.
    std::string Bytes(int column) const;

private:
    friend class Database;
    struct Finalizer {
        void operator()(sqlite3_stmt* statement) const;
    };
    Statement(sqlite3* db, sqlite3_stmt* statement) : m_db(db), m_statement(statement) {}
    void Remember(int rc);

    sqlite3* m_db = nullptr;
    std::unique_ptr<sqlite3_stmt, Finalizer> m_statement;
    std::optional<Error> m_bindError;
};

// BEGIN IMMEDIATE ... COMMIT. A write transaction takes the write lock at its start, so two
// processes wait for each other (busy timeout) instead of failing half way. Rolled back when
// the object goes without Commit().
class Transaction {
public:
    static Result<Transaction> Begin(Database& db);
    // BEGIN (deferred) for reads that must see one state of the file across statements.
    static Result<Transaction> BeginRead(Database& db);

    Transaction(Transaction&& other) noexcept : m_db(std::exchange(other.m_db, nullptr)) {}
    Transaction& operator=(Transaction&&) = delete;
    ~Transaction();

    Status Commit();

private:
    explicit Transaction(Database* db) : m_db(db) {}
    Database* m_db;
};

}  // namespace sql
}  // namespace qubopost::journal
