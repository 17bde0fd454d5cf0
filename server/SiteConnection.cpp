#include "server/SiteConnection.h"

#include <new>
#include <utility>

#include <zstd.h>

#include "site/db/Tables.h"
#include "site/pg/Location.h"

namespace ssmsg::server {

SiteConnection::Opened SiteConnection::Open(const std::string& file) {
  if (pg::IsLocation(file)) {
    const auto location = pg::ParseLocation(file);
    return Failure{(location ? location->name : std::string("the PostgreSQL location")) +
                   ": the site editor serves a site database file, not yet a site on a "
                   "PostgreSQL server"};
  }
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
          "\"Node\", \"Before\", \"After\") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)")),
      compressor_(ZSTD_createCCtx()) {
  if (!compressor_) throw std::bad_alloc();
}

void SiteConnection::FreeCompressor::operator()(ZSTD_CCtx_s* context) const {
  ZSTD_freeCCtx(context);
}

namespace {

// Binds `text` as it is kept: as it is when short, else compressed into `packed`.
void BindLogged(db::Query& query, std::optional<std::string_view> text, ZSTD_CCtx* compressor,
                std::string& packed) {
  if (!text) {
    query.BindNull();
    return;
  }
  if (text->size() < SiteConnection::kPackedFrom) {
    query.Bind(*text);
    return;
  }
  packed.resize(ZSTD_compressBound(text->size()));
  // Level 1: the fastest, and still the bulk of what the higher levels save on such texts.
  const std::size_t size =
      ZSTD_compressCCtx(compressor, packed.data(), packed.size(), text->data(), text->size(), 1);
  if (ZSTD_isError(size) != 0U) throw db::DbError(std::string("zstd: ") + ZSTD_getErrorName(size));
  packed.resize(size);
  query.BindBlob(packed);
}

}  // namespace

void SiteConnection::Log(const AuditNote& note, std::optional<CSS_ControllerAddress> address,
                         std::optional<std::string_view> before, std::string_view after) {
  std::optional<std::int64_t> interfaceId;
  std::optional<std::int64_t> node;
  if (address) {
    interfaceId = address->interfaceId;
    node = address->node;
  }
  db::Query query(db_.get(), log_);
  query.Bind(note.time)
      .Bind(note.user)
      .Bind(note.method)
      .Bind(note.path)
      .Bind(interfaceId)
      .Bind(node);
  BindLogged(query, before, compressor_.get(), before_);
  BindLogged(query, after, compressor_.get(), after_);
  query.Run();
}

std::string SiteConnection::Logged(const db::Query& row, int column, std::int64_t id) const {
  if (row.Type(column) != SQLITE_BLOB) return row.Text(column);
  const std::string_view packed = row.Bytes(column);
  const unsigned long long size = ZSTD_getFrameContentSize(packed.data(), packed.size());
  const auto damaged = [&](std::string_view why) {
    return StoreError(file_ + ": audit_log: row " + std::to_string(id) + ": its \"" +
                      sqlite3_column_name(row.Raw(), column) + "\" " + std::string(why));
  };
  if (size == ZSTD_CONTENTSIZE_ERROR || size == ZSTD_CONTENTSIZE_UNKNOWN)
    throw damaged("is not a compressed text");
  if (size > kLoggedLimit)
    throw damaged("is larger than " + std::to_string(kLoggedLimit) + " bytes");
  std::string text(static_cast<std::size_t>(size), '\0');
  const std::size_t made = ZSTD_decompress(text.data(), text.size(), packed.data(), packed.size());
  if (ZSTD_isError(made) != 0U || made != text.size()) throw damaged("does not unpack");
  return text;
}

}  // namespace ssmsg::server
