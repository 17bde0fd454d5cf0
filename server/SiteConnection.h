#pragma once

// The server's one connection to its site database, shared by the stores over it (the
// controllers' and the accounts'). SQLite's locks are POSIX locks, which a process loses on every
// descriptor of a file once it closes any one of them: so a process opens its site database once,
// and one thread at a time uses the connection, under its mutex.

#include <sqlite3.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <ssmsg/Site.h>

#include "core/Result.h"
#include "server/Store.h"
#include "site/db/Sqlite.h"

struct ZSTD_CCtx_s;

namespace ssmsg::server {

class SiteConnection {
 public:
  // A connection, or why not (naming the file).
  using Opened = Result<std::unique_ptr<SiteConnection>, std::string>;
  // Opens the site database `file` for reading and writing, in WAL mode. Refused: a file that is
  // not a site database, or one of another schema version (with the command that migrates an
  // older one).
  static Opened Open(const std::string& file);
  SiteConnection(const SiteConnection&) = delete;
  SiteConnection& operator=(const SiteConnection&) = delete;

  std::mutex& Mutex() { return mutex_; }
  sqlite3* Db() const { return db_.get(); }
  const std::string& File() const { return file_; }

  // Writes an audit row; `address` is none for a change of accounts, and `before` none (NULL)
  // where the controller's last row has it as its "After". The caller holds the mutex.
  //
  // A text of kPackedFrom bytes or more is kept compressed: a controller's JSON is mostly the
  // same keys again and again, and shrinks to a few hundredths, so that a change writes a few
  // pages of the log rather than the whole controller (and the log's share of each checkpoint
  // shrinks with it).
  void Log(const AuditNote& note, std::optional<CSS_ControllerAddress> address,
           std::optional<std::string_view> before, std::string_view after);
  static constexpr std::size_t kPackedFrom = 1024;
  // The text of column `column` ("Before" or "After") of the audit row `id` as Log kept it. A
  // blob that does not unpack (damaged, or larger than kLoggedLimit) is a StoreError naming the
  // file, the row and the column.
  std::string Logged(const db::Query& row, int column, std::int64_t id) const;
  static constexpr std::size_t kLoggedLimit = std::size_t{1} << 30;

 private:
  SiteConnection(db::DbHandle db, std::string file);

  std::mutex mutex_;
  db::DbHandle db_;
  std::string file_;
  db::Statement log_;  // after db_: it goes first
  struct FreeCompressor {
    void operator()(ZSTD_CCtx_s* context) const;
  };
  std::unique_ptr<ZSTD_CCtx_s, FreeCompressor> compressor_;  // kept for every row it packs
  std::string before_, after_;                               // the packed texts being logged
};

}  // namespace ssmsg::server
