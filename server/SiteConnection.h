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
  void Log(const AuditNote& note, std::optional<CSS_ControllerAddress> address,
           std::optional<std::string_view> before, std::string_view after);

 private:
  SiteConnection(db::DbHandle db, std::string file);

  std::mutex mutex_;
  db::DbHandle db_;
  std::string file_;
  db::Statement log_;  // after db_: it goes first
};

}  // namespace ssmsg::server
