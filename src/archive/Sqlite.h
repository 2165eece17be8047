// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tavrolin::sql {

// The SQLite result codes the archive looks at (the values of sqlite3.h, which only
// Sqlite.cpp includes).
inline constexpr int kOk = 0;
inline constexpr int kRow = 100;
inline constexpr int kDone = 101;
inline constexpr int kInterrupt = 9;

class Statement;

// One connection, used by one thread. Every failure leaves its result code and the
// system's error number (errno of the failed call) to be read before the next call.
class Database {
public:
    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens read-write, creating the file when `create` is set. A file the process may not
    // write is opened read-only (ReadOnly() tells). The result code.
    int Open(const std::string& path, bool create);
    // Opens a file that may only be read, never creating anything beside it: shared with a
    // writer through its -wal and -shm, which must be there to be used, or, `immutable`, as a
    // file nothing writes (no locks, no WAL; a copy, a backup). The result code.
    int OpenReadOnly(const std::string& path, bool immutable);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }
    bool ReadOnly() const;
    // The file at the path it opened is no longer the one it reads: deleted, or another
    // file renamed into its place.
    bool HasMoved() const;

    // Runs one or more statements that return no rows.
    int Exec(const char* sql);
    // Prepares one statement; on failure the statement is empty and ErrorCode tells why.
    Statement Prepare(std::string_view sql);
    void SetBusyTimeout(int ms);
    // Asks `goOn` every few thousand steps of a statement: false ends the statement with
    // kInterrupt. The function must outlive the connection's statements; empty stops asking.
    void InterruptUnless(const std::function<bool()>* goOn);
    // A function of two integers for this connection's SQL, name(x, y); a NULL argument comes
    // as none. Deterministic: the same arguments give the same result.
    using IntFunction = int64_t (*)(std::optional<int64_t>, std::optional<int64_t>);
    int DefineFunction(const char* name, IntFunction function);

    // Of the last failed call.
    int ErrorCode() const;
    int SystemErrno() const;
    std::string ErrorMessage() const;
    // Rows inserted, changed or deleted by the last statement.
    int64_t Changes() const;
    // Inside BEGIN ... COMMIT.
    bool InTransaction() const;

private:
    friend int CopyDatabase(Database& source, Database& dest, const std::function<bool()>& goOn);
    int OpenWith(const std::string& name, int flags);

    sqlite3* m_db = nullptr;
    int m_openCode = kOk;  // the failure of an Open that left no connection
    int m_openErrno = 0;
};

// A prepared statement. Parameters are numbered from 1, result columns from 0.
class Statement {
public:
    Statement() = default;
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Valid() const { return m_stmt != nullptr; }

    void Bind(int index, int64_t value);
    void Bind(int index, std::string_view text);
    void BindNull(int index);
    // kRow while there are rows, kDone at the end, or an error code.
    int Step();
    // Makes the statement ready to run again; the bindings stay.
    void Reset();

    bool IsNull(int column) const;
    bool IsInteger(int column) const;
    int64_t Int(int column) const;
    double Real(int column) const;
    std::string_view Text(int column) const;

private:
    explicit Statement(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    friend class Database;
    sqlite3_stmt* m_stmt = nullptr;
};

// Whether this process may read and write the file or folder at `path`, by SQLite's own
// check of the file system.
bool MayWrite(const std::string& path);

// Copies the whole database of `source` into `dest`, a new and empty one, page by page, as
// one snapshot: inside a read transaction of source's own, so that what a writer commits
// meanwhile neither reaches the copy nor makes it start again. `goOn` is asked after every
// few thousand pages; false stops the copy with kInterrupt. kOk, or the failure's code, to be
// read from dest's ErrorCode where the copy failed in writing.
int CopyDatabase(Database& source, Database& dest, const std::function<bool()>& goOn);

// Where SQLite keeps the temporary files of large sorts (a check's, say), for every
// connection of the process: `folder` instead of the system's /tmp, which on a small board
// is the card the archive is on. The result code.
int PutTemporaryFilesIn(Database& db, const std::string& folder);

// One value from a one-row statement (a PRAGMA, a count): kOk, or the failure's result code
// (kDone where there was no row), `value` then left as it was.
int ReadInt(Database& db, std::string_view query, int64_t& value);

}  // namespace tavrolin::sql
