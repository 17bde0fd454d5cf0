#include "server/SiteConnection.h"

#include <utility>

#include "site/db/Tables.h"

namespace ssmsg::server {

SiteConnection::Opened SiteConnection::Open(const std::string& file) {
  db::OpenedSite site = db::OpenSiteDatabase(file, db::Use::Serve);
  if (!site) return Failure{std::move(site.error())};
  try {
    // Readers (settings, report, another server) go on reading while this one writes; a change
    // is on the disk before it is answered (db::Access::Write).
    db::Exec(site->get(), "PRAGMA journal_mode = WAL");
    return std::unique_ptr<SiteConnection>(new SiteConnection(std::move(*site), file));
  } catch (const db::DbError& error) {
    return Failure{file + ": " + error.what()};
  }
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
