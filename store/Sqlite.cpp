#include "Sqlite.h"

#include <sqlite3.h>

#include <utility>

Database::Database(const std::string& path, Access access) {
    const int flags = access == Access::ReadOnly    ? SQLITE_OPEN_READONLY
                      : access == Access::ReadWrite ? SQLITE_OPEN_READWRITE
                                                    : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    // A connection that failed to open still holds its message until closed.
    opened = sqlite3_open_v2(path.c_str(), &db, flags, nullptr) == SQLITE_OK;
}

Database::~Database() {
    sqlite3_close(db);
}

Database::Database(Database&& other) noexcept
    : db(std::exchange(other.db, nullptr)), opened(std::exchange(other.opened, false)) {}

void Database::waitForLocks(int milliseconds) {
    sqlite3_busy_timeout(db, milliseconds);
}

bool Database::exec(const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string Database::error() const {
    return sqlite3_errmsg(db);
}

bool Database::damaged() const {
    const int code = sqlite3_errcode(db);
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

Statement::Statement(Database& db, const char* sql) {
    sqlite3_prepare_v2(db.db, sql, -1, &statement, nullptr);
}

Statement::~Statement() {
    sqlite3_finalize(statement);
}

Statement& Statement::bind(int i, int64_t value) {
    sqlite3_bind_int64(statement, i, value);
    return *this;
}

Statement& Statement::bind(int i, double value) {
    sqlite3_bind_double(statement, i, value);
    return *this;
}

Statement& Statement::bind(int i, const std::string& text) {
    sqlite3_bind_text(statement, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::blob(int i, const std::string& bytes) {
    sqlite3_bind_blob(statement, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement::Step Statement::step() {
    switch (statement ? sqlite3_step(statement) : SQLITE_ERROR) {
    case SQLITE_ROW:
        return Step::Row;
    case SQLITE_DONE:
        return Step::Done;
    default:
        return Step::Failed;
    }
}

int Statement::columns() {
    return sqlite3_column_count(statement);
}

int64_t Statement::integer(int column) {
    return sqlite3_column_int64(statement, column);
}

double Statement::real(int column) {
    return sqlite3_column_double(statement, column);
}

std::string Statement::bytes(int column) {
    const void* data = sqlite3_column_blob(statement, column);
    return data ? std::string(static_cast<const char*>(data),
                              static_cast<size_t>(sqlite3_column_bytes(statement, column)))
                : std::string();
}

Transaction::Transaction(Database& database, Kind kind)
    : db(database), open(db.exec(kind == Kind::Immediate ? "BEGIN IMMEDIATE" : "BEGIN")) {}

Transaction::~Transaction() {
    if (open)
        db.exec("ROLLBACK");
}

bool Transaction::commit() {
    if (!open || !db.exec("COMMIT"))
        return false;
    open = false;
    return true;
}
