#include "site/db/Sqlite.h"

#include <string>

namespace ssmsg::db {

std::string Describe(sqlite3* db, int code) {
  if ((code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED) {
    return "the database is locked by another program (waited " +
           std::to_string(kBusyTimeoutMs / 1000) + " s)";
  }
  return db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
}

Statement Prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  const int code = sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
  if (code != SQLITE_OK) throw DbError(Describe(db, code));
  return Statement(statement);
}

void Exec(sqlite3* db, const std::string& sql) {
  const int code = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  if (code != SQLITE_OK) throw DbError(Describe(db, code));
}

bool Step(sqlite3* db, sqlite3_stmt* statement) {
  const int code = sqlite3_step(statement);
  if (code == SQLITE_ROW) return true;
  if (code == SQLITE_DONE) return false;
  throw DbError(Describe(db, code));
}

std::int64_t PragmaValue(sqlite3* db, const char* name) {
  const Statement statement = Prepare(db, std::string("PRAGMA ") + name);
  return Step(db, statement.get()) ? sqlite3_column_int64(statement.get(), 0) : 0;
}

}  // namespace ssmsg::db
