#include "server/SiteConnection.h"

#include <ssmsg/SiteDatabase.h>

#include <cstring>
#include <filesystem>
#include <utility>

#include "site/db/Tables.h"

namespace ssmsg::server {

namespace {

// What the first bytes of `file` say it is: an error that names it, or nothing for a database.
std::optional<std::string> NotADatabase(const std::string& file) {
  int error = 0;
  std::error_code missing;  // then opening it tells why
  const bool regular = std::filesystem::is_regular_file(file, missing);
  const std::optional<bool> database =
      regular || missing ? db::StartsAsDatabase(file, error) : false;
  if (!database) return file + ": cannot read the file: " + std::strerror(error);
  if (*database) return {};
  return file +
         ": not a site database (a site file? the site editor serves a database: make one with "
         "\"ssmsg convert " +
         file + " site.db\" and serve that)";
}

}  // namespace

SiteConnection::Opened SiteConnection::Open(const std::string& file) {
  Opened opened;
  if (std::optional<std::string> why = NotADatabase(file)) {
    opened.error = std::move(*why);
    return opened;
  }
  try {
    db::DbHandle db = db::OpenDatabase(file, db::Access::Write);
    sqlite3* handle = db.get();
    const std::int64_t application = db::PragmaValue(handle, "application_id");
    const std::int64_t version = db::PragmaValue(handle, "user_version");
    if (application != db::kApplicationId) {
      throw db::DbError("not a site database (its application id is " +
                        std::to_string(application) + ")");
    }
    if (version < kSiteDatabaseVersion) {
      throw db::DbError("the database has schema version " + std::to_string(version) +
                        ", older than this ssmsg serves (" + std::to_string(kSiteDatabaseVersion) +
                        "): bring it up to date with: ssmsg migrate " + file);
    }
    if (version > kSiteDatabaseVersion) {
      throw db::DbError("the database has schema version " + std::to_string(version) +
                        ", newer than this ssmsg knows (" + std::to_string(kSiteDatabaseVersion) +
                        "); use a newer ssmsg");
    }
    // Readers (settings, report, another server) go on reading while this one writes; a change
    // is on the disk before it is answered (db::Access::Write).
    db::Exec(handle, "PRAGMA journal_mode = WAL");
    opened.connection.reset(new SiteConnection(std::move(db), file));
  } catch (const db::DbError& error) {
    opened.connection.reset();
    opened.error = file + ": " + error.what();
  }
  return opened;
}

SiteConnection::SiteConnection(db::DbHandle db, std::string file)
    : db_(std::move(db)),
      file_(std::move(file)),
      log_(db::Prepare(
          db_.get(),
          "INSERT INTO audit_log (\"Time\", \"User\", \"Method\", \"Path\", \"Interface\", "
          "\"Node\", \"Before\", \"After\") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)")) {}

void SiteConnection::Log(const AuditNote& note, std::optional<CSS_ControllerAddress> address,
                         std::optional<std::string_view> before, std::string_view after) {
  std::optional<std::int64_t> interfaceId;
  std::optional<std::int64_t> node;
  if (address) {
    interfaceId = address->interfaceId;
    node = address->node;
  }
  db::Query(db_.get(), log_)
      .Bind(note.time)
      .Bind(note.user)
      .Bind(note.method)
      .Bind(note.path)
      .Bind(interfaceId)
      .Bind(node)
      .BindText(before)
      .Bind(after)
      .Run();
}

}  // namespace ssmsg::server
