#pragma once

// The pieces of SQLite the store works with, each owning what it opens: a
// connection, a prepared statement and a transaction, which is rolled back
// unless it was committed. Failures come back as values; what went wrong is
// the connection's to tell (error(), damaged()).

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

class Database {
public:
    enum class Access { ReadOnly, ReadWrite, Create }; // Create: read-write, made when missing

    // Opens the database at path; ok() says whether it could, error() why not.
    Database(const std::string& path, Access access);
    ~Database();
    Database(Database&& other) noexcept;
    Database& operator=(Database&&) = delete;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    bool ok() const { return opened; }
    // How long a statement waits for another connection's lock before it fails.
    void waitForLocks(int milliseconds);
    // Runs every statement of sql; false at the first that fails.
    bool exec(const char* sql);
    // The latest failure's message.
    std::string error() const;
    // The latest failure found the file to be no database, or a damaged one.
    bool damaged() const;

private:
    friend class Statement;
    sqlite3* db = nullptr;
    bool opened = false;
};

// One prepared statement, finalized when it goes. A statement that could not
// be prepared fails at its first step.
class Statement {
public:
    enum class Step { Row, Done, Failed };

    Statement(Database& db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int i, int64_t value);
    Statement& bind(int i, double value);
    Statement& bind(int i, const std::string& text);
    Statement& blob(int i, const std::string& bytes);

    Step step();
    // Steps a statement that returns no rows: true when it ran to the end.
    bool run() { return step() == Step::Done; }

    // The current row's columns.
    int columns();
    int64_t integer(int column);
    double real(int column);
    std::string bytes(int column);

private:
    sqlite3_stmt* statement = nullptr;
};

// BEGIN (or BEGIN IMMEDIATE, which takes the write lock at once) on making;
// ROLLBACK on going, unless commit() succeeded.
class Transaction {
public:
    enum class Kind { Deferred, Immediate };

    Transaction(Database& db, Kind kind);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool begun() const { return open; }
    bool commit();

private:
    Database& db;
    bool open;
};
