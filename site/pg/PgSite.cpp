// Sites on a PostgreSQL server. A site is read in one REPEATABLE READ snapshot into a private
// site database in memory, which the one reader of site databases then checks: a site on the
// server is held to every rule of one in a file, in the same words. It is written through the
// one writer of site rows, its rows sent to the server with COPY.

#include "site/pg/PgSite.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <ssmsg/CSToolEnum.h>

#include "site/db/DbWriter.h"
#include "site/db/SiteDb.h"
#include "site/db/Sqlite.h"
#include "site/db/Tables.h"
#include "site/pg/Location.h"
#include "site/pg/Postgres.h"

namespace ssmsg::pg {
namespace {

using db::Cell;
using db::Table;
using db::TableId;
using db::Tables;

// Held by whoever makes or upgrades the tables of sites, so that two programs never do at once.
constexpr std::string_view kSchemaLock = "7567386234159";

// The location `text`, which must name a site when `needsSite`.
Result<Location, std::string> Parsed(std::string_view text, bool needsSite) {
  auto location = ParseLocation(text);
  if (!location) return Failure{"the PostgreSQL location: " + location.error()};
  if (needsSite && location->site.empty()) {
    return Failure{location->name + ": no site named: add ?site=NAME to the URI"};
  }
  return location;
}

// The version of the tables of sites in the database, 0 for none; a database with tables of the
// same names but none of ours is another program's.
int SchemaVersion(PGconn* connection) {
  const PgResult ours = Run(connection, "SELECT to_regclass($1) IS NOT NULL", {"ssmsg_schema"});
  if (std::string_view(PQgetvalue(ours.get(), 0, 0)) != "t") {
    const PgResult theirs = Run(connection, "SELECT to_regclass($1) IS NOT NULL", {"controllers"});
    if (std::string_view(PQgetvalue(theirs.get(), 0, 0)) == "t") {
      throw PgError(
          "not a site database (it has a table \"controllers\" of another program, and no "
          "ssmsg_schema)");
    }
    return 0;
  }
  const PgResult version = Run(connection, "SELECT max(\"Version\") FROM ssmsg_schema");
  const std::optional<std::int64_t> value = FirstInteger(version.get());
  if (!value || *value < 1 || *value > kPostgresSchemaVersion) {
    throw PgError("the database has tables of sites of schema version " +
                  (value ? std::to_string(*value) : std::string("none")) +
                  ", not one that this ssmsg knows (" + std::to_string(kPostgresSchemaVersion) +
                  "); use a newer ssmsg");
  }
  return static_cast<int>(*value);
}

// Makes the tables of sites, or brings them up to date, in the transaction `connection` is in;
// the version they had.
int BringUpToDate(PGconn* connection) {
  Run(connection, "SELECT pg_advisory_xact_lock($1)", {kSchemaLock});
  const int version = SchemaVersion(connection);
  if (version == 0) {
    const PgResult made = PgResult(PQexec(connection, db::PostgresSchema().c_str()));
    if (!made || PQresultStatus(made.get()) != PGRES_COMMAND_OK) {
      throw PgError(made ? PQresultErrorMessage(made.get()) : PQerrorMessage(connection));
    }
  }
  return version;
}

// The integer a text result holds.
std::int64_t Integer(const PGresult* rows, int row, int column) {
  const char* text = PQgetvalue(rows, row, column);
  const auto length = static_cast<std::size_t>(PQgetlength(rows, row, column));
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text, text + length, value);
  if (error != std::errc() || end != text + length) {
    throw PgError("the server gave \"" + std::string(text, length) + "\" for an integer");
  }
  return value;
}

// The columns of table `id` as the writer orders them: its keys, a controller's "Position" first,
// then its columns.
std::string Columns(const Table& table, TableId id) {
  return (id == db::kControllers ? "\"Position\", " : "") + db::ColumnList(table, true);
}

// Copies the rows of site `site` of every table into the site database in memory `copy`.
void CopySite(PGconn* connection, const std::string& site, sqlite3* copy) {
  db::SqliteRows sink(copy);
  std::vector<Cell> cells;
  for (std::size_t i = 0; i < db::kTableCount; ++i) {
    const auto id = static_cast<TableId>(i);
    const Table& table = Tables()[id];
    const std::vector<std::string_view> keys = db::KeyNames(table);
    std::string order = id == db::kControllers ? "\"Position\"" : "";
    if (id != db::kControllers) {
      for (std::string_view key : keys)
        order += (order.empty() ? "" : ", ") + db::Quote(key);
    }
    const PgResult rows = Run(connection,
                              "SELECT " + Columns(table, id) + " FROM " + std::string(table.name) +
                                  " WHERE \"Site\" = $1 ORDER BY " + order,
                              {site});
    const int count = PQntuples(rows.get());
    const int width = PQnfields(rows.get());
    const std::size_t leading = keys.size() + (id == db::kControllers ? 1 : 0);
    for (int row = 0; row < count;) {
      cells.clear();
      const int batch = std::min(count - row, static_cast<int>(db::SqliteRows::kBatchRows));
      for (int r = row; r < row + batch; ++r) {
        for (int column = 0; column < width; ++column) {
          const auto at = static_cast<std::size_t>(column);
          if (PQgetisnull(rows.get(), r, column)) {
            cells.push_back({Cell::Kind::Null, 0, {}});
          } else if (at >= leading && table.columns[at - leading].text) {
            cells.push_back({Cell::Kind::Text,
                             0,
                             {PQgetvalue(rows.get(), r, column),
                              static_cast<std::size_t>(PQgetlength(rows.get(), r, column))}});
          } else {
            cells.push_back({Cell::Kind::Integer, Integer(rows.get(), r, column), {}});
          }
        }
      }
      sink.Rows(id, cells, static_cast<std::size_t>(batch));
      row += batch;
    }
  }
  const PgResult texts = Run(connection,
                             "SELECT \"Enumeration\", \"Value\", \"Text\" FROM enum_texts WHERE "
                             "\"Site\" = $1 ORDER BY 1, 2",
                             {site});
  const db::Statement insert = db::Prepare(copy, "INSERT INTO enum_texts VALUES (?1, ?2, ?3)");
  for (int row = 0; row < PQntuples(texts.get()); ++row) {
    const auto text = [&](int column) {
      return std::string_view(PQgetvalue(texts.get(), row, column),
                              static_cast<std::size_t>(PQgetlength(texts.get(), row, column)));
    };
    db::Query(copy, insert).Bind(text(0)).Bind(Integer(texts.get(), row, 1)).Bind(text(2)).Run();
  }
}

// The id of the site named `name`, none when the database has no such site.
std::optional<std::string> SiteId(PGconn* connection, const std::string& name) {
  const PgResult id = Run(connection, "SELECT \"Id\" FROM sites WHERE \"Name\" = $1", {name});
  if (PQntuples(id.get()) == 0) return std::nullopt;
  return std::string(PQgetvalue(id.get(), 0, 0));
}

// The rows of a site in COPY's text format, table by table, each row keyed by the site.
class CopyRows final : public db::RowSink {
 public:
  explicit CopyRows(std::string site) : site_(std::move(site)) {}

  void Rows(TableId id, std::span<const Cell> cells, std::size_t rows) override {
    std::string& text = tables_[id];
    const std::size_t width = cells.size() / rows;
    for (std::size_t row = 0; row < rows; ++row)
      Row(text, cells.subspan(row * width, width));
  }
  void EnumTexts(const std::vector<CSS_SiteEnumText>& texts) override {
    for (const CSS_SiteEnumText& text : texts) {
      const std::array<Cell, 3> row{{{Cell::Kind::Text, 0, CSToolEnum::Name(text.id)},
                                     {Cell::Kind::Integer, text.value, {}},
                                     {Cell::Kind::Text, 0, text.text}}};
      Row(enumTexts_, row);
    }
  }

  // Sends every table's rows, parents before their children.
  void Send(PGconn* connection) const {
    for (std::size_t i = 0; i < db::kTableCount; ++i) {
      const auto id = static_cast<TableId>(i);
      if (tables_[id].empty()) continue;
      CopyIn(connection,
             "COPY " + std::string(Tables()[id].name) + " (\"Site\", " + Columns(Tables()[id], id) +
                 ") FROM STDIN",
             tables_[id]);
    }
    if (!enumTexts_.empty()) {
      CopyIn(connection,
             "COPY enum_texts (\"Site\", \"Enumeration\", \"Value\", \"Text\") FROM STDIN",
             enumTexts_);
    }
  }

 private:
  void Row(std::string& text, std::span<const Cell> cells) const {
    text += site_;
    for (const Cell& cell : cells) {
      text += '\t';
      switch (cell.kind) {
        case Cell::Kind::Integer: {
          char digits[24];
          const auto end = std::to_chars(digits, digits + sizeof digits, cell.integer).ptr;
          text.append(digits, end);
          break;
        }
        case Cell::Kind::Null:
          text += "\\N";
          break;
        case Cell::Kind::Text:
          AppendCopyText(text, cell.text);
          break;
      }
    }
    text += '\n';
  }

  std::string site_;
  std::array<std::string, db::kTableCount> tables_;
  std::string enumTexts_;
};

}  // namespace

CSS_SiteLoadResult LoadSite(std::string_view text, unsigned) {
  CSS_SiteLoadResult result;
  const auto location = Parsed(text, true);
  if (!location) {
    result.errors.push_back(location.error());
    result.unreadable = true;
    return result;
  }
  const std::string& name = location->name;
  db::DbHandle copy;
  try {
    Connection connection;
    try {
      connection = Connect(location->conninfo);
    } catch (const PgError& error) {
      result.errors.push_back(name + ": cannot connect: " + error.what());
      result.unreadable = true;
      return result;
    }
    PGconn* server = connection.get();
    Run(server, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    if (SchemaVersion(server) == 0) {
      throw PgError(
          "not a site database (it has no tables of sites: make them with ssmsg migrate " + name +
          ")");
    }
    const std::optional<std::string> site = SiteId(server, location->site);
    if (!site) throw PgError("the database has no site named \"" + location->site + "\"");
    sqlite3* opened = nullptr;
    const int code =
        sqlite3_open_v2(":memory:", &opened, SQLITE_OPEN_READWRITE | db::kOneThread, nullptr);
    copy.reset(opened);
    if (code != SQLITE_OK) db::Fail(opened, code);
    db::Exec(copy.get(), db::VersionPragmas(kSiteDatabaseVersion) + db::SchemaTables() + "BEGIN");
    CopySite(server, *site, copy.get());
    db::Exec(copy.get(), "COMMIT");
    Run(server, "COMMIT");
  } catch (const std::exception& error) {
    result.errors.push_back(name + ": " + error.what());
    return result;
  }
  return LoadSiteDatabaseHandle(std::move(copy), name);
}

CSS_DatabaseWriteResult WriteSite(const CSS_Site& site, std::string_view text, unsigned jobs) {
  CSS_DatabaseWriteResult result;
  const auto location = Parsed(text, true);
  if (!location) return {{location.error()}, true};
  const std::string& name = location->name;
  Connection connection;
  try {
    connection = Connect(location->conninfo);
  } catch (const PgError& error) {
    return {{name + ": cannot connect: " + error.what()}, true};
  }
  PGconn* server = connection.get();
  try {
    Run(server, "BEGIN");
    BringUpToDate(server);
  } catch (const std::exception& error) {
    return {{name + ": " + error.what()}, true};
  }
  try {
    // Writers of one site wait for each other at its row.
    Run(server, "INSERT INTO sites (\"Name\") VALUES ($1) ON CONFLICT (\"Name\") DO NOTHING",
        {location->site});
    const PgResult id =
        Run(server, "SELECT \"Id\" FROM sites WHERE \"Name\" = $1 FOR UPDATE", {location->site});
    const std::string siteId = PQgetvalue(id.get(), 0, 0);
    for (std::size_t i = db::kTableCount; i-- > 0;) {
      Run(server, "DELETE FROM " + std::string(Tables()[i].name) + " WHERE \"Site\" = $1",
          {siteId});
    }
    Run(server, "DELETE FROM enum_texts WHERE \"Site\" = $1", {siteId});
    CopyRows rows(siteId);
    db::DatabaseWriter writer(rows);
    db::WriteSiteRows(writer, site, jobs);
    rows.Send(server);
    Run(server, "COMMIT");
  } catch (const std::exception& error) {
    result.errors.push_back(name + ": cannot write the site: " + error.what());
  }
  return result;
}

CSS_MigrateResult Migrate(std::string_view text) {
  CSS_MigrateResult result;
  const auto location = Parsed(text, false);
  if (!location) {
    result.errors.push_back(location.error());
    return result;
  }
  try {
    Connection connection;
    try {
      connection = Connect(location->conninfo);
    } catch (const PgError& error) {
      throw PgError(std::string("cannot connect: ") + error.what());
    }
    Run(connection.get(), "BEGIN");
    result.from = BringUpToDate(connection.get());
    Run(connection.get(), "COMMIT");
    result.to = kPostgresSchemaVersion;
  } catch (const std::exception& error) {
    result.errors.push_back(location->name + ": " + error.what());
  }
  return result;
}

}  // namespace ssmsg::pg
