#include "site/db/Sqlite.h"

#include <cerrno>
#include <string>
#include <string_view>

#include "site/db/SiteDb.h"

namespace ssmsg::db {

std::string Describe(sqlite3* db, int code) {
  if ((code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED) {
    return "the database is locked by another program (waited " +
           std::to_string(kBusyTimeoutMs / 1000) + " s)";
  }
  return db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
}

void Fail(sqlite3* db, int code) {
  if ((code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED) {
    throw DbBusy(Describe(db, code));
  }
  throw DbError(Describe(db, code));
}

DbHandle OpenDatabase(const std::string& file, Access access) {
  const int flags =
      (access == Access::Read ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | kOneThread;
  sqlite3* opened = nullptr;
  const int code = sqlite3_open_v2(file.c_str(), &opened, flags, nullptr);
  DbHandle db(opened);
  if (code != SQLITE_OK) Fail(opened, code);
  sqlite3_busy_timeout(opened, kBusyTimeoutMs);
  if (access == Access::Write) Exec(opened, "PRAGMA synchronous = FULL");
  return db;
}

std::optional<bool> StartsAsDatabase(const std::string& file, int& error) {
  sqlite3* opened = nullptr;
  const int code =
      sqlite3_open_v2(file.c_str(), &opened, SQLITE_OPEN_READONLY | kOneThread, nullptr);
  const DbHandle db(opened);
  sqlite3_file* handle = nullptr;
  if (code == SQLITE_OK) sqlite3_file_control(opened, "main", SQLITE_FCNTL_FILE_POINTER, &handle);
  if (handle == nullptr || handle->pMethods == nullptr) {
    error = opened != nullptr && sqlite3_system_errno(opened) != 0 ? sqlite3_system_errno(opened)
                                                                   : EACCES;
    return std::nullopt;
  }
  // A short read fills the rest with zeros, which no header has.
  char header[kSqliteHeader.size()] = {};
  const int read = handle->pMethods->xRead(handle, header, sizeof header, 0);
  if (read != SQLITE_OK && read != SQLITE_IOERR_SHORT_READ) {
    error = sqlite3_system_errno(opened) != 0 ? sqlite3_system_errno(opened) : EIO;
    return std::nullopt;
  }
  return IsSqliteDatabase(std::string_view(header, sizeof header));
}

Statement Prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  const int code = sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
  if (code != SQLITE_OK) Fail(db, code);
  return Statement(statement);
}

void Exec(sqlite3* db, const std::string& sql) {
  const int code = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  if (code != SQLITE_OK) Fail(db, code);
}

bool Step(sqlite3* db, sqlite3_stmt* statement) {
  const int code = sqlite3_step(statement);
  if (code == SQLITE_ROW) return true;
  if (code == SQLITE_DONE) return false;
  Fail(db, code);
}

std::int64_t PragmaValue(sqlite3* db, const char* name) {
  const Statement statement = Prepare(db, std::string("PRAGMA ") + name);
  Query query(db, statement);
  return query.Next() ? query.Int(0) : 0;
}

Transactions::Transactions(sqlite3* handle)
    : db(handle),
      begin(Prepare(db, "BEGIN")),
      beginWrite(Prepare(db, "BEGIN IMMEDIATE")),
      commit(Prepare(db, "COMMIT")),
      rollback(Prepare(db, "ROLLBACK")) {}

Transaction::Transaction(const Transactions& statements, bool write) : sql_(statements) {
  Query(sql_.db, write ? sql_.beginWrite : sql_.begin).Run();
}

Transaction::~Transaction() {
  if (done_) return;
  // Nothing is kept of a change that failed; a failed rollback leaves SQLite to undo it.
  sqlite3_step(sql_.rollback.get());
  sqlite3_reset(sql_.rollback.get());
}

void Transaction::Commit() {
  Query(sql_.db, sql_.commit).Run();
  done_ = true;
}

}  // namespace ssmsg::db
