// Sites on a PostgreSQL server. A site is read in one REPEATABLE READ snapshot: from the images
// kept of its controllers while they are kept (ReadKeptImages), otherwise from its rows, through
// COPY a window of controllers at a time, which go through the checks of a site database's rows
// (site/db/SiteCheck.h): a site on the server is held to every rule of one in a file, in the
// same words. It is written through the one writer of site rows, its rows and images sent with
// COPY.

#include "site/pg/PgSite.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
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
#include <ssmsg/version.h>

#include "core/OrderedWork.h"
#include "site/Findings.h"
#include "site/StoreImage.h"
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

// The form of the images that this program keeps of a site's controllers: their layout and byte
// order, and the version whose checks they passed.
const std::string& ImageForm() {
  static const std::string form =
      std::string("ssmsg " SSMSG_VERSION_STRING ", image layout ") + std::to_string(kImageLayout) +
      (std::endian::native == std::endian::little ? ", little-endian" : ", big-endian");
  return form;
}

// Makes the rest of the transaction that `connection` is in a writer of images of ImageForm: its
// changes of a site's rows leave the site's images kept when they are of that form (every
// controller it changes is written with its image), and forget them otherwise.
void KeepImages(PGconn* connection) {
  Run(connection, "SELECT set_config('ssmsg.images', $1, true)", {ImageForm()});
}

// Marks the images of the site whose id is `site`, just written for each of its controllers in
// the transaction `connection` is in, as kept in this program's form.
void MarkImagesKept(PGconn* connection, const std::string& site) {
  Run(connection, "UPDATE sites SET \"Images\" = $2 WHERE \"Id\" = $1", {site, ImageForm()});
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
    if (version < 3) sql += db::PostgresSiteVersions();
    sql += db::PostgresKeptImages();
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

// The rows of a result in text format.
std::unique_ptr<TextRows> RowsOf(PgResult result) {
  return std::make_unique<TextRows>(result.get());
}

// The cells of one row of a result, from column `first` on (the columns before are its keys).
struct ServerCells {
  const TextRows* rows;
  int row;
  int first;

  bool IsNull(int column) const { return rows->IsNull(row, first + column); }
  bool Integer(int column, std::int64_t& value) const {
    const int at = first + column;
    const Oid type = rows->Type(at);
    if ((type != kInt2 && type != kInt4 && type != kInt8) || rows->IsNull(row, at)) return false;
    const std::string_view text = rows->Value(row, at);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
  }
  bool Text(int column, std::string_view& text) const {
    const int at = first + column;
    if (rows->Type(at) != kText || rows->IsNull(row, at)) return false;
    text = rows->Value(row, at);
    return true;
  }
  std::string Describe(int column) const {
    std::int64_t value = 0;
    std::string_view text;
    if (IsNull(column)) return "NULL";
    if (Integer(column, value)) return std::to_string(value);
    if (!Text(column, text)) return "a value of type " + std::to_string(rows->Type(first + column));
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
    const TextRows* rows;
    int first;
    int row;  // before the next
    int end;
    const int* order = nullptr;  // the rows by key; none: in the result's order
    bool Next() { return ++row < end; }
    ServerCells Cells() const { return {rows, order != nullptr ? order[row] : row, first}; }
  };

  // The controllers of the site whose id is `site`, or given `only`, the controller at that
  // address alone; when `whole`, the site as a whole too: its enumeration texts, and the count of
  // its rows that finds those without a controller (Orphans).
  ServerSite(PGconn* connection, std::string site, const CSS_ControllerAddress* only = nullptr,
             bool whole = false)
      : connection_(connection), site_(std::move(site)), whole_(whole && only == nullptr) {
    const std::string columns = "SELECT " + Columns(Tables()[db::kControllers], db::kControllers) +
                                " FROM controllers WHERE \"Site\" = $1";
    if (only != nullptr) {
      const std::string interfaceId = std::to_string(only->interfaceId);
      const std::string node = std::to_string(only->node);
      controllers_ = RowsOf(Run(connection_, columns + " AND \"Interface\" = $2 AND \"Node\" = $3",
                                {site_, interfaceId, node}));
    } else {
      controllers_ = RowsOf(Run(connection_, columns + " ORDER BY \"Position\"", {site_}));
    }
    for (int row = 0; row < controllers_->Count(); ++row) {
      std::int64_t position = 0;
      ServerCells{controllers_.get(), row, 0}.Integer(0, position);
      controllerRows_.emplace(position, row);
    }
    if (whole_) enumTexts_ = EnumTextRows(connection_, site_);
    ColumnTypes();
  }

  static std::unique_ptr<TextRows> EnumTextRows(PGconn* connection, const std::string& site) {
    return RowsOf(Run(connection,
                      "SELECT \"Enumeration\", \"Value\", \"Text\" FROM enum_texts WHERE "
                      "\"Site\" = $1 ORDER BY 1, 2",
                      {site}));
  }

  // Holds the rows of the controllers at `positions` in place of the window before, and starts
  // reading those at `next` (if any) while they are checked. After the last window of the whole
  // site, it counts the site's rows of each table meanwhile (Orphans).
  void Window(std::span<const std::int64_t> positions, std::span<const std::int64_t> next) {
    window_ = pending_.valid() ? pending_.get() : Fetch(positions);
    if (!next.empty()) {
      pending_ = std::async(std::launch::async,
                            [this, next = std::vector<std::int64_t>(next.begin(), next.end())] {
                              return Fetch(next);
                            });
    } else if (whole_) {
      counts_ = std::async(std::launch::async, [this] { return Counts(); });
    }
  }

 private:
  // The rows of a window of controllers, by table.
  struct WindowRows {
    // The place of each controller in the window, by AddressKey.
    std::unordered_map<std::uint64_t, int> places;
    std::array<std::unique_ptr<TextRows>, db::kTableCount> tables;
    std::array<std::vector<int>, db::kTableCount> order;  // the rows by key
    // The range of each controller's rows in `order`, by its place.
    std::array<std::vector<std::pair<int, int>>, db::kTableCount> rows;
  };

  // The columns that a window's rows of each table have: the controller's place in the window,
  // then its keys after "Node" and its columns.
  static std::vector<std::string_view> WindowColumns(const Table& table) {
    std::vector<std::string_view> columns = db::KeyNames(table);
    columns.erase(columns.begin(), columns.begin() + 2);
    for (const db::Column& column : table.columns)
      columns.push_back(column.name);
    return columns;
  }

  // The server's type of each column of the windows' rows, for the checks of their cells: COPY's
  // rows are texts.
  void ColumnTypes() {
    ArrayText names;
    for (std::size_t i = db::kResources; i < db::kTableCount; ++i)
      names.Add(Tables()[i].name);
    const TextRows found(
        Run(connection_,
            "SELECT a.attrelid::regclass::text, a.attname, a.atttypid FROM pg_attribute a WHERE "
            "a.attrelid = ANY ($1::regclass[]) AND a.attnum > 0 AND NOT a.attisdropped",
            {names.Text()})
            .get());
    std::unordered_map<std::string, Oid> types;
    for (int row = 0; row < found.Count(); ++row) {
      Oid type = 0;
      const std::string_view text = found.Value(row, 2);
      std::from_chars(text.data(), text.data() + text.size(), type);
      types.emplace(std::string(found.Value(row, 0)) + '.' + std::string(found.Value(row, 1)),
                    type);
    }
    for (std::size_t i = db::kResources; i < db::kTableCount; ++i) {
      const Table& table = Tables()[i];
      types_[i] = {kInt8};  // the place, a bigint of WITH ORDINALITY
      for (const std::string_view column : WindowColumns(table)) {
        const auto type = types.find(std::string(table.name) + '.' + std::string(column));
        types_[i].push_back(type != types.end() ? type->second : 0);
      }
    }
  }

  // Reads the rows of the controllers at `positions`, on the connection, which nothing else uses
  // meanwhile.
  std::unique_ptr<WindowRows> Fetch(std::span<const std::int64_t> positions) const {
    auto window = std::make_unique<WindowRows>();
    // Their addresses, as two arrays: the server finds each controller's rows by its key. COPY
    // binds no parameters, so its query takes them from settings of the session.
    ArrayText interfaces;
    ArrayText nodes;
    for (const std::int64_t position : positions) {
      const auto found = controllerRows_.find(position);
      if (found == controllerRows_.end()) continue;
      const CSS_ControllerAddress address = AddressAt(*controllers_, found->second, 1);
      window->places.emplace(AddressKey(address), static_cast<int>(window->places.size()) + 1);
      interfaces.Add(std::to_string(address.interfaceId));
      nodes.Add(std::to_string(address.node));
    }
    Run(connection_,
        "SELECT set_config('ssmsg.site', $1, false), set_config('ssmsg.interfaces', $2, false), "
        "set_config('ssmsg.nodes', $3, false)",
        {site_, interfaces.Text(), nodes.Text()});
    const std::size_t places = window->places.size() + 1;
    for (std::size_t i = db::kResources; i < db::kTableCount; ++i) {
      const auto id = static_cast<TableId>(i);
      const Table& table = Tables()[id];
      window->tables[i] = std::make_unique<TextRows>(types_[i]);
      CopyOut(connection_,
              // Each controller's rows through the table's key: OFFSET 0 keeps the planner from
              // making it one join, which would scan the whole table for every window.
              "COPY (SELECT w.k, t.* FROM unnest(current_setting('ssmsg.interfaces')::integer[], "
              "current_setting('ssmsg.nodes')::integer[]) WITH ORDINALITY AS w (i, n, k) CROSS "
              "JOIN LATERAL (SELECT " +
                  Qualified(WindowColumns(table)) + " FROM " + std::string(table.name) +
                  " t WHERE t.\"Site\" = current_setting('ssmsg.site')::integer AND "
                  "t.\"Interface\" = w.i AND t.\"Node\" = w.n OFFSET 0) t) TO STDOUT",
              *window->tables[i]);
      // The rows in the order of their keys, each controller's after each other: the server
      // is not asked to sort them, which would cost it more than this.
      const TextRows& rows = *window->tables[i];
      const int keys = static_cast<int>(db::KeyNames(table).size()) - 1;
      std::vector<std::pair<std::array<std::int64_t, 3>, int>> sorted(
          static_cast<std::size_t>(rows.Count()));
      for (int row = 0; row < rows.Count(); ++row) {
        auto& [key, at] = sorted[static_cast<std::size_t>(row)];
        key = {};
        for (int k = 0; k < keys; ++k)
          ServerCells{&rows, row, 0}.Integer(k, key[static_cast<std::size_t>(k)]);
        at = row;
      }
      if (!std::is_sorted(sorted.begin(), sorted.end())) std::sort(sorted.begin(), sorted.end());
      std::vector<int>& byKey = window->order[i];
      byKey.resize(sorted.size());
      auto& ranges = window->rows[i];
      ranges.assign(places, {0, 0});
      for (std::size_t k = 0; k < sorted.size();) {
        const std::size_t begin = k;
        while (k < sorted.size() && sorted[k].first[0] == sorted[begin].first[0]) {
          byKey[k] = sorted[k].second;
          ++k;
        }
        const auto place = static_cast<std::size_t>(sorted[begin].first[0]);
        if (place < places) ranges[place] = {static_cast<int>(begin), static_cast<int>(k)};
      }
    }
    return window;
  }

  // The number of the site's rows in each table below controllers, in one statement.
  std::vector<std::int64_t> Counts() const {
    std::string sql;
    for (std::size_t i = db::kResources; i < db::kTableCount; ++i) {
      sql += (sql.empty() ? "SELECT " : ", ") + std::string("(SELECT count(*) FROM ") +
             std::string(Tables()[i].name) + " WHERE \"Site\" = $1)";
    }
    const TextRows counts(Run(connection_, sql, {site_}).get());
    std::vector<std::int64_t> values(db::kTableCount, 0);
    for (std::size_t i = db::kResources; i < db::kTableCount; ++i) {
      ServerCells{&counts, 0, 0}.Integer(static_cast<int>(i - db::kResources), values[i]);
    }
    return values;
  }

 public:
  Cursor Rows(TableId id, const CSS_ControllerAddress& address) const {
    const auto place = window_->places.find(AddressKey(address));
    if (place == window_->places.end()) return {window_->tables[id].get(), 1, 0, 0};
    const auto [begin, end] = window_->rows[id][static_cast<std::size_t>(place->second)];
    return {window_->tables[id].get(), 1, begin - 1, end, window_->order[id].data()};
  }
  Cursor Controller(std::int64_t position) const {
    const auto found = controllerRows_.find(position);
    if (found == controllerRows_.end()) return {controllers_.get(), 3, 0, 0};
    return {controllers_.get(), 3, found->second - 1, found->second + 1};
  }
  Cursor Controllers() const { return {controllers_.get(), 0, -1, controllers_->Count()}; }
  Cursor EnumTexts() const { return {enumTexts_.get(), 0, -1, enumTexts_->Count()}; }

  // Adds an error for each row of a table below controllers whose controller is not there (at
  // most kMaxErrors a table), where fewer rows were read than there are.
  void Orphans(db::Check& check) {
    const std::vector<std::int64_t> counts = counts_.valid() ? counts_.get() : Counts();
    const std::string limit = std::to_string(kMaxErrors);
    for (std::size_t i = db::kResources; i < db::kTableCount; ++i) {
      if (counts[i] == check.rows[i]) continue;
      const auto id = static_cast<TableId>(i);
      const db::Table& table = Tables()[id];
      const std::string name(table.name);
      const std::string keys = Qualified(db::KeyNames(table));
      const TextRows orphans(
          Run(connection_,
              "SELECT " + keys + " FROM " + name +
                  " t WHERE t.\"Site\" = $1 AND NOT EXISTS (SELECT 1 FROM controllers c WHERE "
                  "c.\"Site\" = t.\"Site\" AND c.\"Interface\" = t.\"Interface\" AND "
                  "c.\"Node\" = t.\"Node\") ORDER BY " +
                  keys + " LIMIT $2",
              {site_, limit})
              .get());
      for (int row = 0; row < orphans.Count(); ++row) {
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
  static CSS_ControllerAddress AddressAt(const TextRows& rows, int row, int first = 0) {
    std::int64_t interfaceId = 0;
    std::int64_t node = 0;
    const ServerCells keys{&rows, row, first};
    keys.Integer(0, interfaceId);
    keys.Integer(1, node);
    return {static_cast<std::int32_t>(interfaceId), static_cast<std::int32_t>(node)};
  }

  PGconn* connection_;
  std::string site_;
  bool whole_;
  std::unique_ptr<TextRows> controllers_;
  std::unique_ptr<TextRows> enumTexts_;
  std::unordered_map<std::int64_t, int> controllerRows_;  // by "Position"
  std::array<std::vector<Oid>, db::kTableCount> types_;   // of each table's window rows
  std::unique_ptr<WindowRows> window_;
  std::future<std::unique_ptr<WindowRows>> pending_;  // the next window, being read
  std::future<std::vector<std::int64_t>> counts_;     // the site's rows, being counted
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
  explicit CopyRows(std::string site) : site_(std::move(site)) {
    std::from_chars(site_.data(), site_.data() + site_.size(), siteId_);
  }

  void Rows(TableId id, std::span<const Cell> cells, std::size_t rows) override {
    std::string& text = tables_[id];
    counts_[id] += rows;
    const std::size_t width = cells.size() / rows;
    for (std::size_t row = 0; row < rows; ++row)
      Row(text, cells.subspan(row * width, width));
  }
  void EnumTexts(const std::vector<CSS_SiteEnumText>& texts) override {
    for (const CSS_SiteEnumText& text : texts)
      Row(enumTexts_, db::EnumTextCells(text));
    enumTextCount_ += texts.size();
  }

  // How many rows of table `id`, and of enumeration texts, there are.
  std::size_t Count(TableId id) const { return counts_[id]; }
  std::size_t EnumTextCount() const { return enumTextCount_; }

  // Adds the image of the controller at `address`, in COPY's binary format (its bytes as they are).
  void Image(const CSS_ControllerAddress& address, std::string_view image) {
    if (images_.empty()) {
      images_.append("PGCOPY\n\377\r\n\0", 11);
      PutBig(std::int32_t{0});  // flags
      PutBig(std::int32_t{0});  // the length of the header's extension
    }
    PutBig(std::int16_t{4});
    for (const std::int32_t key : {siteId_, address.interfaceId, address.node}) {
      PutBig(std::int32_t{4});
      PutBig(key);
    }
    PutBig(static_cast<std::int32_t>(image.size()));
    images_ += image;
  }

  // Sends every table's rows, parents before their children, then the images.
  void Send(PGconn* connection) {
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
    if (!images_.empty()) {
      PutBig(std::int16_t{-1});  // the end
      CopyIn(connection,
             "COPY controller_images (\"Site\", \"Interface\", \"Node\", \"Image\") FROM STDIN "
             "(FORMAT binary)",
             images_);
      images_.clear();
    }
  }

 private:
  template <class Integer>
  void PutBig(Integer value) {
    using Unsigned = std::make_unsigned_t<Integer>;
    const auto bits = static_cast<Unsigned>(value);
    for (int shift = static_cast<int>(sizeof bits * 8) - 8; shift >= 0; shift -= 8)
      images_ += static_cast<char>((bits >> shift) & 0xFF);
  }

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
  std::array<std::size_t, db::kTableCount> counts_{};
  std::string enumTexts_;
  std::size_t enumTextCount_ = 0;
  std::int32_t siteId_ = 0;
  std::string images_;  // COPY's binary format
};

// Updates the planner's statistics of the tables that the site just written into them (`rows`)
// grew to more than twice what the planner last counted in them, or that it never counted: a
// site read from tables that the planner thinks all but empty would be read with plans for
// almost no rows. Smaller growth leaves its plans as good, and the server's autovacuum counts
// again in its own time.
void CountGrownTables(PGconn* server, const CopyRows& rows) {
  std::vector<std::pair<std::string, std::size_t>> written{{"sites", 1},
                                                           {"enum_texts", rows.EnumTextCount()}};
  for (std::size_t i = 0; i < db::kTableCount; ++i) {
    written.emplace_back(Tables()[i].name, rows.Count(static_cast<TableId>(i)));
  }
  ArrayText names;
  for (const auto& [name, count] : written)
    names.Add(name);
  const TextRows counted(Run(server,
                             "SELECT c.relname::text, c.reltuples::bigint FROM pg_class c WHERE "
                             "c.oid = ANY ($1::regclass[])",
                             {names.Text()})
                             .get());
  std::unordered_map<std::string, std::int64_t> planned;
  for (int row = 0; row < counted.Count(); ++row) {
    std::int64_t tuples = -1;
    ServerCells{&counted, row, 0}.Integer(1, tuples);
    planned.emplace(std::string(counted.Value(row, 0)), tuples);
  }
  std::string sql;
  for (const auto& [name, count] : written) {
    const auto found = planned.find(name);
    const std::int64_t before = found != planned.end() ? found->second : -1;
    if (before >= 0 && static_cast<std::int64_t>(count) <= before) continue;
    sql += (sql.empty() ? "ANALYZE " : ", ") + name;
  }
  if (!sql.empty()) Run(server, sql);
}

}  // namespace

std::optional<std::string> SiteId(PGconn* connection, const std::string& name) {
  const PgResult id = Run(connection, "SELECT \"Id\" FROM sites WHERE \"Name\" = $1", {name});
  if (PQntuples(id.get()) == 0) return std::nullopt;
  return std::string(PQgetvalue(id.get(), 0, 0));
}

SiteRows::SiteRows(PGconn* connection, std::string site, std::string fileName)
    : connection_(connection), site_(std::move(site)), fileName_(std::move(fileName)) {}

std::vector<SiteRows::Placed> SiteRows::Controllers() const {
  const TextRows rows(Run(connection_,
                          "SELECT \"Position\", \"Interface\", \"Node\" FROM controllers "
                          "WHERE \"Site\" = $1 ORDER BY \"Position\"",
                          {site_})
                          .get());
  std::vector<Placed> placed;
  placed.reserve(static_cast<std::size_t>(rows.Count()));
  for (int row = 0; row < rows.Count(); ++row) {
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

namespace {

// Reads and checks the enumeration texts of the site whose id is `site` into `texts`.
void ReadEnumTexts(PGconn* connection, const std::string& site, db::Check& check,
                   std::vector<CSS_SiteEnumText>& texts) {
  const std::unique_ptr<TextRows> rows = ServerSite::EnumTextRows(connection, site);
  struct Source {
    const TextRows* rows;
    ServerSite::Cursor EnumTexts() const { return {rows, 0, -1, rows->Count()}; }
  } source{rows.get()};
  db::ReadEnumTexts(source, check, texts);
}

// The kept images of a site's controllers, one a row of `rows`: "Interface", "Node" and "Image",
// in binary format.
struct KeptImages {
  const PGresult* rows;
  std::string_view Image(std::size_t controller) const {
    const int row = static_cast<int>(controller);
    return {PQgetvalue(rows, row, 2), static_cast<std::size_t>(PQgetlength(rows, row, 2))};
  }
};

// Reads one controller out of its kept image, and finds what a check of its rows would find.
struct ImageWorker {
  using Context = KeptImages;
  using Input = std::size_t;
  struct Output {
    bool read = false;
    SiteFindings findings;
  };

  explicit ImageWorker(const Context& context_) : context(context_) {}
  void Run(std::size_t controller, Output& out) {
    out.findings = {};
    out.read = DecodeStore(context.Image(controller), store);
    if (out.read) out.findings.AddController(controller, store);
  }

  const Context& context;
  CSApplicationManagerStd store;
};

// Reads and checks the rows of every controller of the site whose id is `site`, its orphans and
// its enumeration texts into `data` and `images`, on `jobs` threads.
void ReadSiteRows(PGconn* server, const std::string& site, unsigned jobs, db::Check& check,
                  CSS_SiteData& data, std::vector<std::string>& images) {
  // Gone before the transaction ends: a window it was still reading is waited for.
  ServerSite rows(server, site, nullptr, true);
  SharedSite shared{rows};
  CheckSite(rows, shared, JobThreads(jobs), check, data, images,
            [&](db::Check& found) { rows.Orphans(found); });
}

// Reads the site whose id is `site` from the images kept of its controllers into `data` and
// `images`: only when they are kept in this program's form (ImageForm), every controller has
// one, and each is whole; false otherwise, with nothing read, and the site is read from its rows.
// Its enumeration texts are read from their rows either way.
bool ReadKeptImages(PGconn* server, const std::string& site, unsigned jobs, db::Check& check,
                    CSS_SiteData& data, std::vector<std::string>& images) {
  const PgResult kept =
      Run(server, "SELECT \"Images\" = $2 FROM sites WHERE \"Id\" = $1", {site, ImageForm()});
  if (PQntuples(kept.get()) != 1 || std::string_view(PQgetvalue(kept.get(), 0, 0)) != "t") {
    return false;
  }
  const PgResult rows = RunBinary(
      server,
      "SELECT c.\"Interface\", c.\"Node\", i.\"Image\" FROM controllers c LEFT JOIN "
      "controller_images i ON i.\"Site\" = c.\"Site\" AND i.\"Interface\" = c.\"Interface\" AND "
      "i.\"Node\" = c.\"Node\" WHERE c.\"Site\" = $1 ORDER BY c.\"Position\"",
      {site});
  const PGresult* result = rows.get();
  const auto count = static_cast<std::size_t>(PQntuples(result));
  std::vector<CSS_ControllerAddress> addresses;
  addresses.reserve(count);
  const auto integer = [result](int row, int column) -> std::optional<std::int32_t> {
    if (PQftype(result, column) != kInt4 || PQgetisnull(result, row, column) ||
        PQgetlength(result, row, column) != 4) {
      return std::nullopt;
    }
    std::uint32_t bits = 0;
    for (int k = 0; k < 4; ++k)
      bits = bits << 8 | static_cast<unsigned char>(PQgetvalue(result, row, column)[k]);
    return static_cast<std::int32_t>(bits);
  };
  for (int row = 0; row < static_cast<int>(count); ++row) {
    const std::optional<std::int32_t> interfaceId = integer(row, 0);
    const std::optional<std::int32_t> node = integer(row, 1);
    if (!interfaceId || *interfaceId < 1 || !node || *node < 0 || PQgetisnull(result, row, 2)) {
      return false;
    }
    addresses.push_back({*interfaceId, *node});
  }
  const KeptImages context{result};
  SiteFindings findings;
  const bool whole = RunOrdered<ImageWorker>(context, count, JobThreads(jobs),
                                             [&findings](ImageWorker::Output& controller) {
                                               if (!controller.read) return false;
                                               findings.Append(controller.findings);
                                               return true;
                                             });
  if (!whole) return false;
  data.addresses = std::move(addresses);
  data.findings = std::move(findings);
  images.reserve(count);
  for (std::size_t controller = 0; controller < count; ++controller)
    images.emplace_back(context.Image(controller));
  ReadEnumTexts(server, site, check, data.enumTexts);
  return true;
}

}  // namespace

std::vector<std::string> SiteRows::EnumTexts(std::vector<CSS_SiteEnumText>& texts) const {
  db::Check check;
  check.fileName = fileName_;
  ReadEnumTexts(connection_, site_, check, texts);
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
  if (tables[db::kControllers]) {
    removes.emplace_back(
        "DELETE FROM controller_images WHERE \"Site\" = $1 AND \"Interface\" = $2 AND "
        "\"Node\" = $3");
  }
  KeepImages(connection_);
  std::string sql;
  for (std::size_t i = 1; i < removes.size(); ++i)
    sql += (i == 1 ? "WITH d" : ", d") + std::to_string(i) + " AS (" + removes[i] + ")";
  sql += (sql.empty() ? "" : " ") + removes[0];
  Run(connection_, sql, {site_, std::to_string(address.interfaceId), std::to_string(address.node)});
}

void SiteRows::Write(std::int64_t position, CSS_ControllerAddress address,
                     const CSApplicationManagerStd& records, const db::TableSet& tables) const {
  if (tables.none()) return;
  KeepImages(connection_);
  CopyRows rows(site_);
  db::DatabaseWriter writer(rows);
  writer.Controller(position, address, records, tables);
  // Its image in place of the one before.
  Run(connection_,
      "DELETE FROM controller_images WHERE \"Site\" = $1 AND \"Interface\" = $2 AND "
      "\"Node\" = $3",
      {site_, std::to_string(address.interfaceId), std::to_string(address.node)});
  std::string image;
  EncodeStore(records, image);
  rows.Image(address, image);
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
    // The rows are counted while this program checks those it read: workers of the server's
    // own would only take the cores that checking needs.
    Run(server, "SET LOCAL max_parallel_workers_per_gather = 0");
    if (SchemaVersion(server) == 0) {
      throw PgError(
          "not a site database (it has no tables of sites: make them with ssmsg migrate " + name +
          ")");
    }
    const std::optional<std::string> site = SiteId(server, location->site);
    if (!site) throw PgError("the database has no site named \"" + location->site + "\"");
    if (!ReadKeptImages(server, *site, jobs, check, *data, images)) {
      ReadSiteRows(server, *site, jobs, check, *data, images);
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
    KeepImages(server);
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
    Run(server, "DELETE FROM controller_images WHERE \"Site\" = $1", {siteId});
    CopyRows rows(siteId);
    db::DatabaseWriter writer(rows);
    db::WriteSiteRows(writer, site, jobs,
                      [&rows](const CSS_ControllerAddress& address, std::string& image) {
                        rows.Image(address, image);
                      });
    rows.Send(server);
    MarkImagesKept(server, siteId);
    CountGrownTables(server, rows);
    Run(server, "COMMIT");
  } catch (const std::exception& error) {
    result.errors.push_back(name + ": cannot write the site: " + error.what());
  }
  return result;
}

namespace {

// Keeps the images of each site of the database whose images are not kept in this program's
// form: each site in a transaction of its own that holds its row, so that no change of its rows
// commits meanwhile (every one counts the site's version up in that row). A site whose rows have
// errors stays as it is, read from its rows, where its errors are told.
void KeepImagesOfEverySite(PGconn* server, const std::string& name) {
  const TextRows sites(
      Run(server, "SELECT \"Id\" FROM sites WHERE \"Images\" IS DISTINCT FROM $1 ORDER BY 1",
          {ImageForm()})
          .get());
  for (int row = 0; row < sites.Count(); ++row) {
    const std::string site(sites.Value(row, 0));
    Run(server, "BEGIN");
    const PgResult locked = Run(server, "SELECT 1 FROM sites WHERE \"Id\" = $1 FOR UPDATE", {site});
    db::Check check;
    check.fileName = name;
    CSS_SiteData data;
    std::vector<std::string> images;
    if (PQntuples(locked.get()) == 1) ReadSiteRows(server, site, 0, check, data, images);
    if (PQntuples(locked.get()) != 1 || !check.errors.empty()) {
      Run(server, "ROLLBACK");
      continue;
    }
    KeepImages(server);
    Run(server, "DELETE FROM controller_images WHERE \"Site\" = $1", {site});
    CopyRows kept(site);
    for (std::size_t controller = 0; controller < images.size(); ++controller)
      kept.Image(data.addresses[controller], images[controller]);
    kept.Send(server);
    MarkImagesKept(server, site);
    Run(server, "COMMIT");
  }
}

}  // namespace

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
    KeepImagesOfEverySite(connection.get(), location->name);
  } catch (const std::exception& error) {
    result.errors.push_back(location->name + ": " + error.what());
  }
  return result;
}

}  // namespace ssmsg::pg
