#pragma once

// SQLite through its own C interface, as site databases use it: handles that close themselves,
// statements prepared once and stepped many times, and every failure of SQLite as a DbError.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

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

// One use of a prepared statement: binds its parameters in order (values only ever reach SQL
// this way), steps it and reads its columns. The statement is reset, and so holds no lock, and its
// parameters cleared once this goes.
class Query {
 public:
  Query(sqlite3* db, sqlite3_stmt* statement) : db_(db), statement_(statement) {}
  Query(sqlite3* db, const Statement& statement) : Query(db, statement.get()) {}
  Query(Query&& other) noexcept
      : db_(other.db_), statement_(std::exchange(other.statement_, nullptr)), next_(other.next_) {}
  ~Query() {
    if (statement_ == nullptr) return;
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& Bind(std::int64_t value) {
    sqlite3_bind_int64(statement_, next_++, value);
    return *this;
  }
  // The text is not copied: it must outlive the query.
  Query& Bind(std::string_view text) {
    sqlite3_bind_text64(statement_, next_++, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
    return *this;
  }
  // Bytes as a blob; not copied either.
  Query& BindBlob(std::string_view bytes) {
    sqlite3_bind_blob64(statement_, next_++, bytes.data(), bytes.size(), SQLITE_STATIC);
    return *this;
  }
  Query& BindNull() {
    sqlite3_bind_null(statement_, next_++);
    return *this;
  }
  // A text, or NULL for none.
  Query& BindText(std::optional<std::string_view> text) { return text ? Bind(*text) : BindNull(); }
  Query& Bind(std::optional<std::int64_t> value) { return value ? Bind(*value) : BindNull(); }

  // True for a row, false at the end.
  bool Next() { return Step(db_, statement_); }
  // Steps it to its end.
  void Run() {
    while (Next()) {
    }
  }

  // The SQLITE_* type of the column's value in the row.
  int Type(int column) const { return sqlite3_column_type(statement_, column); }
  bool IsNull(int column) const { return Type(column) == SQLITE_NULL; }
  std::int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
  // The column as text, valid until the next step.
  std::string_view View(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return {text != nullptr ? text : "",
            static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
  }
  std::string Text(int column) const { return std::string(View(column)); }
  // The column as a blob's bytes, valid until the next step.
  std::string_view Bytes(int column) const {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_, column));
    return {bytes != nullptr ? bytes : "",
            static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
  }
  sqlite3_stmt* Raw() const { return statement_; }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_;
  int next_ = 1;
};

// The statements that begin and end the transactions of one connection, prepared once.
struct Transactions {
  explicit Transactions(sqlite3* handle);

  sqlite3* db;
  Statement begin;       // reads see one snapshot; the write lock is taken by the first write
  Statement beginWrite;  // the write lock at once (DbBusy after the busy timeout)
  Statement commit;
  Statement rollback;
};

// A transaction, rolled back unless committed. A writing one (`write`) begins IMMEDIATE, so that
// it never fails half way for a lock that another program took meanwhile.
class Transaction {
 public:
  Transaction(const Transactions& statements, bool write);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  const Transactions& sql_;
  bool done_ = false;
};

}  // namespace ssmsg::db
