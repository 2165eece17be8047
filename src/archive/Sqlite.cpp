// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/Sqlite.h"

#include <sqlite3.h>

#include <utility>

namespace tavrolin::sql {

static_assert(kOk == SQLITE_OK && kRow == SQLITE_ROW && kDone == SQLITE_DONE);

namespace {

std::optional<int64_t> IntArgument(sqlite3_value* value) {
    if (sqlite3_value_type(value) == SQLITE_NULL) {
        return std::nullopt;
    }
    return sqlite3_value_int64(value);
}

void CallIntFunction(sqlite3_context* context, int, sqlite3_value** arguments) {
    const auto function = *static_cast<Database::IntFunction*>(sqlite3_user_data(context));
    sqlite3_result_int64(context, function(IntArgument(arguments[0]), IntArgument(arguments[1])));
}

void DeleteIntFunction(void* function) {
    delete static_cast<Database::IntFunction*>(function);
}

}  // namespace

Database::~Database() {
    Close();
}

int Database::Open(const std::string& path, bool create) {
    return OpenWith(path, SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0));
}

int Database::OpenReadOnly(const std::string& path, bool immutable) {
    // The parameters come with the name as a URI, in which every byte of the path but the
    // plainest is percent-encoded (a '?' or '#' in a folder's name would end the path). An
    // absolute path gets the empty authority, so that one beginning with "//" stays a path.
    std::string uri = path.starts_with('/') ? "file://" : "file:";
    for (const char c : path) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '/' || c == '.' || c == '_' || c == '-') {
            uri += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            uri += '%';
            uri += "0123456789ABCDEF"[byte >> 4];
            uri += "0123456789ABCDEF"[byte & 15];
        }
    }
    uri += immutable ? "?mode=ro&immutable=1" : "?mode=ro";
    return OpenWith(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
}

int Database::OpenWith(const std::string& name, int flags) {
    Close();
    // Each connection belongs to one thread, so SQLite's own mutexes are not needed.
    const int rc = sqlite3_open_v2(name.c_str(), &m_db,
                                   flags | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE, nullptr);
    if (rc != SQLITE_OK) {
        m_openCode = m_db != nullptr ? sqlite3_extended_errcode(m_db) : rc;
        m_openErrno = m_db != nullptr ? sqlite3_system_errno(m_db) : 0;
        Close();
        return m_openCode;
    }
    m_openCode = SQLITE_OK;
    m_openErrno = 0;
    return SQLITE_OK;
}

void Database::Close() {
    if (m_db != nullptr) {
        // Statements are finalized by their owners first; a left-over one keeps the
        // connection until it goes (close_v2), which is never a leak of the file lock.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

bool Database::ReadOnly() const {
    return m_db != nullptr && sqlite3_db_readonly(m_db, "main") == 1;
}

bool Database::HasMoved() const {
    int moved = 0;
    return m_db != nullptr &&
           sqlite3_file_control(m_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
           moved != 0;
}

int Database::Exec(const char* sql) {
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
}

Statement Database::Prepare(std::string_view sql) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v3(m_db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                       &stmt, nullptr);
    return Statement(stmt);
}

void Database::SetBusyTimeout(int ms) {
    sqlite3_busy_timeout(m_db, ms);
}

void Database::InterruptUnless(const std::function<bool()>* goOn) {
    if (goOn == nullptr || !*goOn) {
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
        return;
    }
    sqlite3_progress_handler(
        m_db, 100000,
        [](void* data) { return (*static_cast<const std::function<bool()>*>(data))() ? 0 : 1; },
        const_cast<std::function<bool()>*>(goOn));
}

int Database::DefineFunction(const char* name, IntFunction function) {
    // The function goes to SQLite as data of its own, which it deletes with the connection.
    return sqlite3_create_function_v2(
        m_db, name, 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
        new IntFunction(function), CallIntFunction, nullptr, nullptr, DeleteIntFunction);
}

int Database::ErrorCode() const {
    return m_db != nullptr ? sqlite3_extended_errcode(m_db) : m_openCode;
}

int Database::SystemErrno() const {
    return m_db != nullptr ? sqlite3_system_errno(m_db) : m_openErrno;
}

std::string Database::ErrorMessage() const {
    return m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(m_openCode);
}

int64_t Database::Changes() const {
    return sqlite3_changes64(m_db);
}

bool Database::InTransaction() const {
    return m_db != nullptr && sqlite3_get_autocommit(m_db) == 0;
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement&& other) noexcept : m_stmt(std::exchange(other.m_stmt, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_stmt = std::exchange(other.m_stmt, nullptr);
    }
    return *this;
}

void Statement::Bind(int index, int64_t value) {
    sqlite3_bind_int64(m_stmt, index, value);
}

void Statement::Bind(int index, std::string_view text) {
    sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void Statement::BindNull(int index) {
    sqlite3_bind_null(m_stmt, index);
}

int Statement::Step() {
    return sqlite3_step(m_stmt);
}

void Statement::Reset() {
    sqlite3_reset(m_stmt);
}

bool Statement::IsNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

bool Statement::IsInteger(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_INTEGER;
}

int64_t Statement::Int(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

double Statement::Real(int column) const {
    return sqlite3_column_double(m_stmt, column);
}

std::string_view Statement::Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return text != nullptr
               ? std::string_view(text,
                                  static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
               : std::string_view();
}

bool MayWrite(const std::string& path) {
    sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    int result = 0;
    return vfs != nullptr &&
           vfs->xAccess(vfs, path.c_str(), SQLITE_ACCESS_READWRITE, &result) == SQLITE_OK &&
           result != 0;
}

int CopyDatabase(Database& source, Database& dest, const std::function<bool()>& goOn) {
    // 16 MiB of the archive's pages a step: a second or so of a small board's card.
    constexpr int kPagesPerStep = 16384;
    int rc = source.Exec("BEGIN");
    if (rc != kOk || (rc = source.Exec("SELECT count(*) FROM sqlite_schema")) != kOk) {
        source.Exec("ROLLBACK");
        return rc;
    }
    sqlite3_backup* copy = sqlite3_backup_init(dest.m_db, "main", source.m_db, "main");
    if (copy == nullptr) {
        source.Exec("ROLLBACK");
        return sqlite3_extended_errcode(dest.m_db);
    }
    do {
        rc = sqlite3_backup_step(copy, kPagesPerStep);
    } while (rc == SQLITE_OK && (!goOn || goOn()));
    const int finished = sqlite3_backup_finish(copy);
    source.Exec("ROLLBACK");
    if (rc == SQLITE_OK) {
        return kInterrupt;
    }
    return rc == SQLITE_DONE ? finished : rc;
}

int PutTemporaryFilesIn(Database& db, const std::string& folder) {
    std::string quoted;
    for (const char c : folder) {
        quoted += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return db.Exec(("PRAGMA temp_store_directory = '" + quoted + "'").c_str());
}

int ReadInt(Database& db, std::string_view query, int64_t& value) {
    Statement st = db.Prepare(query);
    if (!st.Valid()) {
        return db.ErrorCode();
    }
    const int rc = st.Step();
    if (rc != kRow) {
        return rc;
    }
    value = st.Int(0);
    return kOk;
}

}  // namespace tavrolin::sql
