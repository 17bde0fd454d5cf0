// Sites on a PostgreSQL server. A site is read in one REPEATABLE READ snapshot, a result per
// table in binary format, and its rows go through the checks of a site database's rows
// (site/db/SiteCheck.h): a site on the server is held to every rule of one in a file, in the
// same words. It is written through the one writer of site rows, its rows sent with COPY.

#include "site/pg/PgSite.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <ssmsg/CSToolEnum.h>
#include <ssmsg/Json.h>

#include "site/db/DbWriter.h"
#include "site/db/SiteCheck.h"
#include "site/db/Sqlite.h"
#include "site/db/Tables.h"
#include "site/pg/Location.h"
#include "site/pg/Postgres.h"
#include "site/pg/SiteRows.h"

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

}  // namespace

int SchemaVersion(PGconn* connection) {
  const PgResult tables =
      Run(connection, "SELECT to_regclass($1) IS NOT NULL, to_regclass($2) IS NOT NULL",
          {"ssmsg_schema", "controllers"});
  if (std::string_view(PQgetvalue(tables.get(), 0, 0)) != "t") {
    if (std::string_view(PQgetvalue(tables.get(), 0, 1)) == "t") {
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

namespace {

// Makes the tables of sites, or brings them up to date, in the transaction `connection` is in;
// the version they had. Only a program that has to make them takes the lock: writers of tables
// that are there do not wait for each other here.
int BringUpToDate(PGconn* connection) {
  if (const int version = SchemaVersion(connection); version == kPostgresSchemaVersion) {
    return version;
  }
  Run(connection, "SELECT pg_advisory_xact_lock($1)", {kSchemaLock});
  // Another program may have made them while this one waited.
  const int version = SchemaVersion(connection);
  const auto exec = [connection](const std::string& sql) {
    const PgResult made = PgResult(PQexec(connection, sql.c_str()));
    if (!made || PQresultStatus(made.get()) != PGRES_COMMAND_OK) {
      throw PgError(made ? PQresultErrorMessage(made.get()) : PQerrorMessage(connection));
    }
  };
  if (version == 0) {
    exec(db::PostgresSchema());
  } else {
    // Each version's additions, from the one after the database's.
    std::string sql = version < 2 ? db::PostgresEditorTables() : std::string();
    sql += db::PostgresSiteVersions();
    exec(sql + "UPDATE ssmsg_schema SET \"Version\" = " + std::to_string(kPostgresSchemaVersion) +
         ";");
  }
  return version;
}

// `names`, each quoted and after "t.", separated by commas.
template <class Names>
std::string Qualified(const Names& names) {
  std::string text;
  for (const auto& name : names)
    text += (text.empty() ? "t." : ", t.") + db::Quote(name);
  return text;
}

// The columns of table `id` as the writer orders them: its keys, a controller's "Position" first,
// then its columns.
std::string Columns(const Table& table, TableId id) {
  return (id == db::kControllers ? "\"Position\", " : "") + db::ColumnList(table, true);
}

// The type ids of PostgreSQL's built-in types that site tables use (its pg_type catalog).
constexpr Oid kInt8 = 20;
constexpr Oid kInt2 = 21;
constexpr Oid kInt4 = 23;
constexpr Oid kText = 25;

template <class Unsigned>
Unsigned FromNetwork(const char* bytes) {
  Unsigned value = 0;
  for (std::size_t i = 0; i < sizeof(Unsigned); ++i) {
    value = static_cast<Unsigned>(value << 8U) |
            static_cast<Unsigned>(static_cast<unsigned char>(bytes[i]));
  }
  return value;
}

// One result of the server, in binary format, with the types of its columns.
struct ServerRows {
  PgResult result;
  std::vector<Oid> types;
  int count = 0;

  explicit ServerRows(PgResult rows) : result(std::move(rows)), count(PQntuples(result.get())) {
    for (int column = 0; column < PQnfields(result.get()); ++column)
      types.push_back(PQftype(result.get(), column));
  }
};

// The cells of one row of a result, from column `first` on (the columns before are its keys).
struct ServerCells {
  const ServerRows* rows;
  int row;
  int first;

  bool IsNull(int column) const { return PQgetisnull(rows->result.get(), row, first + column); }
  bool Integer(int column, std::int64_t& value) const {
    const int at = first + column;
    if (PQgetisnull(rows->result.get(), row, at)) return false;
    const char* bytes = PQgetvalue(rows->result.get(), row, at);
    switch (rows->types[static_cast<std::size_t>(at)]) {
      case kInt2:
        value = static_cast<std::int16_t>(FromNetwork<std::uint16_t>(bytes));
        return true;
      case kInt4:
        value = static_cast<std::int32_t>(FromNetwork<std::uint32_t>(bytes));
        return true;
      case kInt8:
        value = static_cast<std::int64_t>(FromNetwork<std::uint64_t>(bytes));
        return true;
      default:
        return false;
    }
  }
  bool Text(int column, std::string_view& text) const {
    const int at = first + column;
    if (PQgetisnull(rows->result.get(), row, at) ||
        rows->types[static_cast<std::size_t>(at)] != kText) {
      return false;
    }
    text = {PQgetvalue(rows->result.get(), row, at),
            static_cast<std::size_t>(PQgetlength(rows->result.get(), row, at))};
    return true;
  }
  std::string Describe(int column) const {
    std::int64_t value = 0;
    std::string_view text;
    if (IsNull(column)) return "NULL";
    if (Integer(column, value)) return std::to_string(value);
    if (!Text(column, text)) {
      return "a value of type " +
             std::to_string(rows->types[static_cast<std::size_t>(first + column)]);
    }
    std::string quoted;
    AppendJsonString(quoted, text);
    return quoted;
  }
};

// A site on the server, read in the snapshot of the transaction that `connection` is in: a source
// of rows for the checks of site/db/SiteCheck.h. It holds the rows of a window of controllers at a
// time, which any number of threads may read at once.
class ServerSite {
 public:
  using Cells = ServerCells;
  static constexpr std::size_t kWindow = 128;

  struct Cursor {
    const ServerRows* rows;
    int first;
    int row;  // before the next
    int end;
    const int* order = nullptr;  // the rows by key; none: in the result's order
    bool Next() { return ++row < end; }
    ServerCells Cells() const { return {rows, order != nullptr ? order[row] : row, first}; }
  };

  // The site whose id is `site`; given `only`, the controller at that address alone, without the
  // site's enumeration texts.
  ServerSite(PGconn* connection, std::string site, const CSS_ControllerAddress* only = nullptr)
      : connection_(connection), site_(std::move(site)) {
    const std::string columns = "SELECT " + Columns(Tables()[db::kControllers], db::kControllers) +
                                " FROM controllers WHERE \"Site\" = $1";
    if (only != nullptr) {
      const std::string interfaceId = std::to_string(only->interfaceId);
      const std::string node = std::to_string(only->node);
      controllers_ = std::make_unique<ServerRows>(
          RunBinary(connection_, columns + " AND \"Interface\" = $2 AND \"Node\" = $3",
                    {site_, interfaceId, node}));
    } else {
      controllers_ = std::make_unique<ServerRows>(
          RunBinary(connection_, columns + " ORDER BY \"Position\"", {site_}));
    }
    for (int row = 0; row < controllers_->count; ++row) {
      std::int64_t position = 0;
      ServerCells{controllers_.get(), row, 0}.Integer(0, position);
      controllerRows_.emplace(position, row);
    }
    if (only == nullptr) enumTexts_ = EnumTextRows(connection_, site_);
  }

  static std::unique_ptr<ServerRows> EnumTextRows(PGconn* connection, const std::string& site) {
    return std::make_unique<ServerRows>(
        RunBinary(connection,
                  "SELECT \"Enumeration\", \"Value\", \"Text\" FROM enum_texts WHERE "
                  "\"Site\" = $1 ORDER BY 1, 2",
                  {site}));
  }

  // Holds the rows of the controllers at `positions` in place of the window before, and starts
  // reading those at `next` (if any) while they are checked.
  void Window(std::span<const std::int64_t> positions, std::span<const std::int64_t> next) {
    window_ = pending_.valid() ? pending_.get() : Fetch(positions);
    if (!next.empty()) {
      pending_ = std::async(std::launch::async,
                            [this, next = std::vector<std::int64_t>(next.begin(), next.end())] {
                              return Fetch(next);
                            });
    }
  }

 private:
  // The rows of a window of controllers, by table.
  struct WindowRows {
    std::array<std::unique_ptr<ServerRows>, db::kTableCount> tables;
    std::array<std::vector<int>, db::kTableCount> order;  // the rows by key
    // The range of each controller's rows in `order`, by AddressKey.
    std::array<std::unordered_map<std::uint64_t, std::pair<int, int>>, db::kTableCount> rows;
  };

  // Reads the rows of the controllers at `positions`, on the connection, which nothing else uses
  // meanwhile.
  std::unique_ptr<WindowRows> Fetch(std::span<const std::int64_t> positions) const {
    auto window = std::make_unique<WindowRows>();
    // Their addresses, as two arrays: the server finds each controller's rows by its key.
    std::string interfaces = "{";
    std::string nodes = "{";
    for (const std::int64_t position : positions) {
      const auto found = controllerRows_.find(position);
      if (found == controllerRows_.end()) continue;
      const CSS_ControllerAddress address = AddressAt(*controllers_, found->second, 1);
      interfaces += (interfaces.size() > 1 ? "," : "") + std::to_string(address.interfaceId);
      nodes += (nodes.size() > 1 ? "," : "") + std::to_string(address.node);
    }
    interfaces += "}";
    nodes += "}";
    for (std::size_t i = db::kResources; i < db::kTableCount; ++i) {
      const auto id = static_cast<TableId>(i);
      const Table& table = Tables()[id];
      std::vector<std::string_view> columns = db::KeyNames(table);
      for (const db::Column& column : table.columns)
        columns.push_back(column.name);
      window->tables[i] = std::make_unique<ServerRows>(
          RunBinary(connection_,
                    // Each controller's rows through the table's key: OFFSET 0 keeps the
                    // planner from making it one join, which would scan the whole table for
                    // every window.
                    "SELECT t.* FROM unnest($2::integer[], $3::integer[]) AS w (i, n) CROSS "
                    "JOIN LATERAL (SELECT " +
                        Qualified(columns) + " FROM " + std::string(table.name) +
                        " t WHERE t.\"Site\" = $1 AND t.\"Interface\" = w.i AND t.\"Node\" = "
                        "w.n OFFSET 0) t",
                    {site_, interfaces, nodes}));
      // The rows in the order of their keys, each controller's after each other: the server
      // is not asked to sort them, which would cost it more than this.
      const ServerRows& rows = *window->tables[i];
      const int keys = static_cast<int>(db::KeyNames(table).size());
      std::vector<std::pair<std::array<std::int64_t, 4>, int>> sorted(
          static_cast<std::size_t>(rows.count));
      for (int row = 0; row < rows.count; ++row) {
        auto& [key, at] = sorted[static_cast<std::size_t>(row)];
        key = {};
        for (int k = 0; k < keys; ++k)
          ServerCells{&rows, row, 0}.Integer(k, key[static_cast<std::size_t>(k)]);
        at = row;
      }
      if (!std::is_sorted(sorted.begin(), sorted.end())) std::sort(sorted.begin(), sorted.end());
      std::vector<int>& byKey = window->order[i];
      byKey.resize(sorted.size());
      auto& index = window->rows[i];
      index.clear();
      for (std::size_t k = 0; k < sorted.size();) {
        const std::size_t begin = k;
        while (k < sorted.size() && sorted[k].first[0] == sorted[begin].first[0] &&
               sorted[k].first[1] == sorted[begin].first[1]) {
          byKey[k] = sorted[k].second;
          ++k;
        }
        const CSS_ControllerAddress address{static_cast<std::int32_t>(sorted[begin].first[0]),
                                            static_cast<std::int32_t>(sorted[begin].first[1])};
        index.emplace(AddressKey(address),
                      std::make_pair(static_cast<int>(begin), static_cast<int>(k)));
      }
    }
    return window;
  }

 public:
  Cursor Rows(TableId id, const CSS_ControllerAddress& address) const {
    const auto found = window_->rows[id].find(AddressKey(address));
    if (found == window_->rows[id].end()) return {window_->tables[id].get(), 2, 0, 0};
    return {window_->tables[id].get(), 2, found->second.first - 1, found->second.second,
            window_->order[id].data()};
  }
  Cursor Controller(std::int64_t position) const {
    const auto found = controllerRows_.find(position);
    if (found == controllerRows_.end()) return {controllers_.get(), 3, 0, 0};
    return {controllers_.get(), 3, found->second - 1, found->second + 1};
  }
  Cursor Controllers() const { return {controllers_.get(), 0, -1, controllers_->count}; }
  Cursor EnumTexts() const { return {enumTexts_.get(), 0, -1, enumTexts_->count}; }

  // Adds an error for each row of a table below controllers whose controller is not there (at
  // most kMaxErrors a table), where fewer rows were read than there are.
  void Orphans(db::Check& check) const {
    const std::string limit = std::to_string(kMaxErrors);
    for (std::size_t i = db::kResources; i < db::kTableCount; ++i) {
      const auto id = static_cast<TableId>(i);
      const db::Table& table = Tables()[id];
      const std::string name(table.name);
      const PgResult count =
          Run(connection_, "SELECT count(*) FROM " + name + " WHERE \"Site\" = $1", {site_});
      if (FirstInteger(count.get()).value_or(0) == check.rows[i]) continue;
      const std::string keys = Qualified(db::KeyNames(table));
      const ServerRows orphans(RunBinary(
          connection_,
          "SELECT " + keys + " FROM " + name +
              " t WHERE t.\"Site\" = $1 AND NOT EXISTS (SELECT 1 FROM controllers c WHERE "
              "c.\"Site\" = t.\"Site\" AND c.\"Interface\" = t.\"Interface\" AND c.\"Node\" = "
              "t.\"Node\") ORDER BY " +
              keys + " LIMIT $2",
          {site_, limit}));
      for (int row = 0; row < orphans.count; ++row) {
        const CSS_ControllerAddress address = AddressAt(orphans, row);
        std::int64_t group = 0;
        std::int64_t number = 0;
        const ServerCells cells{&orphans, row, 2};
        if (table.keys == db::Keys::Zone) cells.Integer(0, group);
        if (table.keys != db::Keys::Controller) {
          cells.Integer(table.keys == db::Keys::Zone ? 1 : 0, number);
        }
        check.Error(db::RowName(id, address, group, number),
                    "no controller has interface " + std::to_string(address.interfaceId) +
                        " and node " + std::to_string(address.node));
      }
    }
  }

 private:
  // The address in `row` of `rows`, whose column `first` is "Interface".
  static CSS_ControllerAddress AddressAt(const ServerRows& rows, int row, int first = 0) {
    std::int64_t interfaceId = 0;
    std::int64_t node = 0;
    const ServerCells keys{&rows, row, first};
    keys.Integer(0, interfaceId);
    keys.Integer(1, node);
    return {static_cast<std::int32_t>(interfaceId), static_cast<std::int32_t>(node)};
  }

  PGconn* connection_;
  std::string site_;
  std::unique_ptr<ServerRows> controllers_;
  std::unique_ptr<ServerRows> enumTexts_;
  std::unordered_map<std::int64_t, int> controllerRows_;  // by "Position"
  std::unique_ptr<WindowRows> window_;
  std::future<std::unique_ptr<WindowRows>> pending_;  // the next window, being read
};

static_assert(db::WindowedSource<ServerSite>);

// The site, which every check's thread reads at once: a lease is the site itself.
struct SharedSite {
  const ServerSite& site;
  struct Lease {
    explicit Lease(SharedSite& shared) : site(shared.site) {}
    const ServerSite& operator*() const { return site; }
    const ServerSite& site;
  };
};

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
    for (const CSS_SiteEnumText& text : texts)
      Row(enumTexts_, db::EnumTextCells(text));
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

std::optional<std::string> SiteId(PGconn* connection, const std::string& name) {
  const PgResult id = Run(connection, "SELECT \"Id\" FROM sites WHERE \"Name\" = $1", {name});
  if (PQntuples(id.get()) == 0) return std::nullopt;
  return std::string(PQgetvalue(id.get(), 0, 0));
}

SiteRows::SiteRows(PGconn* connection, std::string site, std::string fileName)
    : connection_(connection), site_(std::move(site)), fileName_(std::move(fileName)) {}

std::vector<SiteRows::Placed> SiteRows::Controllers() const {
  const ServerRows rows(RunBinary(connection_,
                                  "SELECT \"Position\", \"Interface\", \"Node\" FROM controllers "
                                  "WHERE \"Site\" = $1 ORDER BY \"Position\"",
                                  {site_}));
  std::vector<Placed> placed;
  placed.reserve(static_cast<std::size_t>(rows.count));
  for (int row = 0; row < rows.count; ++row) {
    const ServerCells cells{&rows, row, 0};
    std::int64_t position = 0;
    std::int64_t interfaceId = 0;
    std::int64_t node = 0;
    cells.Integer(0, position);
    cells.Integer(1, interfaceId);
    cells.Integer(2, node);
    if (interfaceId < 1 || interfaceId > db::kInt32Max || node < 0 || node > db::kInt32Max) {
      throw PgError(fileName_ + ": controllers: interface " + std::to_string(interfaceId) +
                    " and node " + std::to_string(node) + " are not a controller's address");
    }
    placed.push_back(
        {position, {static_cast<std::int32_t>(interfaceId), static_cast<std::int32_t>(node)}});
  }
  return placed;
}

std::optional<std::int64_t> SiteRows::PositionOf(CSS_ControllerAddress address) const {
  const PgResult found =
      Run(connection_,
          "SELECT \"Position\" FROM controllers WHERE \"Site\" = $1 AND "
          "\"Interface\" = $2 AND \"Node\" = $3",
          {site_, std::to_string(address.interfaceId), std::to_string(address.node)});
  return FirstInteger(found.get());
}

std::int64_t SiteRows::NextPosition() const {
  const PgResult last = Run(
      connection_, "SELECT coalesce(max(\"Position\"), 0) + 1 FROM controllers WHERE \"Site\" = $1",
      {site_});
  return FirstInteger(last.get()).value_or(1);
}

std::vector<std::string> SiteRows::Read(std::int64_t position, CSS_ControllerAddress address,
                                        CSApplicationManagerStd& store) const {
  ServerSite rows(connection_, site_, &address);
  const std::int64_t positions[] = {position};
  rows.Window(positions, {});
  db::Check check;
  check.fileName = fileName_;
  db::ReadController(rows, check, position, address, store);
  if (check.Full()) check.errors.push_back(MoreErrorsLine(fileName_, "the controller"));
  return std::move(check.errors);
}

std::vector<std::string> SiteRows::ReadEach(
    CSApplicationManagerStd& store,
    const std::function<void(const Placed& placed, CSApplicationManagerStd& store)>& each) const {
  const std::vector<Placed> placed = Controllers();
  ServerSite rows(connection_, site_);
  db::Check check;
  check.fileName = fileName_;
  std::vector<std::int64_t> window;
  std::vector<std::int64_t> next;
  const auto positions = [&](std::size_t first, std::vector<std::int64_t>& into) {
    into.clear();
    for (std::size_t k = first; k < placed.size() && k < first + ServerSite::kWindow; ++k)
      into.push_back(placed[k].position);
  };
  positions(0, window);
  for (std::size_t first = 0; first < placed.size(); first += ServerSite::kWindow) {
    positions(first + ServerSite::kWindow, next);
    rows.Window(window, next);
    for (std::size_t k = first; k < placed.size() && k < first + ServerSite::kWindow; ++k) {
      db::ReadController(rows, check, placed[k].position, placed[k].address, store);
      if (!check.errors.empty()) {
        if (check.Full()) check.errors.push_back(MoreErrorsLine(fileName_, "the controller"));
        return std::move(check.errors);
      }
      each(placed[k], store);
    }
    std::swap(window, next);
  }
  return {};
}

std::vector<std::string> SiteRows::EnumTexts(std::vector<CSS_SiteEnumText>& texts) const {
  const std::unique_ptr<ServerRows> rows = ServerSite::EnumTextRows(connection_, site_);
  struct Source {
    const ServerRows* rows;
    ServerSite::Cursor EnumTexts() const { return {rows, 0, -1, rows->count}; }
  } source{rows.get()};
  db::Check check;
  check.fileName = fileName_;
  db::ReadEnumTexts(source, check, texts);
  if (check.Full()) check.errors.push_back(MoreErrorsLine(fileName_, "the enumeration texts"));
  return std::move(check.errors);
}

void SiteRows::Remove(CSS_ControllerAddress address, const db::TableSet& tables) const {
  // One statement for every table: the rows below a controller are no foreign keys, so the
  // order does not matter.
  std::vector<std::string> removes;
  for (std::size_t i = 0; i < db::kTableCount; ++i) {
    if (tables[i]) {
      removes.push_back("DELETE FROM " + std::string(Tables()[i].name) +
                        " WHERE \"Site\" = $1 AND \"Interface\" = $2 AND \"Node\" = $3");
    }
  }
  if (removes.empty()) return;
  std::string sql;
  for (std::size_t i = 1; i < removes.size(); ++i)
    sql += (i == 1 ? "WITH d" : ", d") + std::to_string(i) + " AS (" + removes[i] + ")";
  sql += (sql.empty() ? "" : " ") + removes[0];
  Run(connection_, sql, {site_, std::to_string(address.interfaceId), std::to_string(address.node)});
}

void SiteRows::Write(std::int64_t position, CSS_ControllerAddress address,
                     const CSApplicationManagerStd& records, const db::TableSet& tables) const {
  CopyRows rows(site_);
  db::DatabaseWriter writer(rows);
  writer.Controller(position, address, records, tables);
  rows.Send(connection_);
}

CSS_SiteLoadResult LoadSite(std::string_view text, unsigned jobs) {
  CSS_SiteLoadResult result;
  const auto location = Parsed(text, true);
  if (!location) {
    result.errors.push_back(location.error());
    result.unreadable = true;
    return result;
  }
  const std::string& name = location->name;
  db::Check check;
  check.fileName = name;
  auto data = std::make_unique<CSS_SiteData>();
  std::vector<std::string> images;
  try {
    const Connection connection = Connect(location->conninfo);
    PGconn* server = connection.get();
    Run(server, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    if (SchemaVersion(server) == 0) {
      throw PgError(
          "not a site database (it has no tables of sites: make them with ssmsg migrate " + name +
          ")");
    }
    const std::optional<std::string> site = SiteId(server, location->site);
    if (!site) throw PgError("the database has no site named \"" + location->site + "\"");
    {
      // Gone before the transaction ends: a window it was still reading is waited for.
      ServerSite rows(server, *site);
      SharedSite shared{rows};
      CheckSite(rows, shared, JobThreads(jobs), check, *data, images,
                [&](db::Check& found) { rows.Orphans(found); });
    }
    Run(server, "COMMIT");
  } catch (const std::exception& error) {
    result.errors.push_back(name + ": " + error.what());
    result.unreadable = dynamic_cast<const CannotConnect*>(&error) != nullptr;
    return result;
  }
  return db::CheckedSite(check, std::move(data), std::move(images));
}

CSS_DatabaseWriteResult WriteSite(const CSS_Site& site, std::string_view text, unsigned jobs) {
  CSS_DatabaseWriteResult result;
  const auto location = Parsed(text, true);
  if (!location) return {{location.error()}, true};
  const std::string& name = location->name;
  Connection connection;
  PGconn* server = nullptr;
  try {
    connection = Connect(location->conninfo);
    server = connection.get();
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
    // None when another program removed the site's row since it was made.
    if (PQntuples(id.get()) != 1) throw PgError("the site was removed while it was written");
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
    // The planner's statistics, for the first read of a site that was just written.
    std::string tables = "ANALYZE sites, enum_texts";
    for (const Table& table : Tables())
      tables += ", " + std::string(table.name);
    Run(server, tables);
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
    const Connection connection = Connect(location->conninfo);
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
