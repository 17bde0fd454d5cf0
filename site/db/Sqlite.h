#pragma once

// SQLite through its own C interface, as site databases use it: handles that close themselves,
// statements prepared once and stepped many times, and every failure of SQLite as a DbError.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace ssmsg::db {

// How long a reader or writer waits for another program's lock.
constexpr int kBusyTimeoutMs = 5000;
// Every connection is used by one thread at a time (a reader's is lent by Readers), so SQLite's
// own lock around each call is not needed: it was a sixth of the time of `convert`.
constexpr int kOneThread = SQLITE_OPEN_NOMUTEX;

// A failure of SQLite itself: the file cannot be read, is damaged, or is locked too long.
struct DbError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Another program holds the lock for longer than the busy timeout: a later try may succeed.
struct DbBusy : DbError {
  using DbError::DbError;
};

// Throws what failure `code` of `db` (null: before there was one) is: `DbBusy` or `DbError`.
[[noreturn]] void Fail(sqlite3* db, int code);

// What the failure `code` of `db` (null: before there was one) means, for an error line.
std::string Describe(sqlite3* db, int code);

struct StatementFree {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFree>;

struct DbClose {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbClose>;

// How a program uses a site database it opens.
enum class Access : std::uint8_t {
  Read,   // read-only
  Write,  // read and write; each commit is on the disk before it returns (synchronous = FULL)
};

// The one way every ssmsg program opens a site database file that may be open in other programs
// (or in this one): through SQLite, in its default locking mode, with the busy timeout; a site
// database is kept in WAL mode by what makes and migrates it. SQLite's locks are POSIX locks,
// which a process loses on every descriptor of a file as soon as it closes any one of them, so
// nothing else in a process ever opens such a file: SQLite keeps the descriptors of one file of
// all its connections together, and closes none while another holds a lock.
DbHandle OpenDatabase(const std::string& file, Access access);

// Whether the regular file `file` starts as an SQLite database does, read through SQLite's own
// descriptor for the reason above; nothing, with `error` (an errno value) set, when it cannot be
// read.
std::optional<bool> StartsAsDatabase(const std::string& file, int& error);

Statement Prepare(sqlite3* db, const std::string& sql);
void Exec(sqlite3* db, const std::string& sql);
// Steps `statement`: true for a row, false at its end.
bool Step(sqlite3* db, sqlite3_stmt* statement);
// The value of `PRAGMA name`.
std::int64_t PragmaValue(sqlite3* db, const char* name);

}  // namespace ssmsg::db
