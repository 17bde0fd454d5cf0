// Reading a site database. The reader does not rely on the schema's constraints: a database may
// have been edited with checks turned off, or its tables made by another program, so every value,
// position and link to a parent row is checked again as it is read, and each error names the
// table and the row.

#include "site/db/DbReader.h"
#include "site/db/DbRows.h"
#include "site/db/SiteDb.h"

#include <ssmsg/SiteDatabase.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_set>
#include <utility>
#include <vector>

#include <ssmsg/Json.h>

#include "core/ErrorCap.h"
#include "core/OrderedWork.h"
#include "host/CSDevice_Fields.h"
#include "site/SiteData.h"
#include "site/SiteLists.h"
#include "site/StoreImage.h"
#include "site/db/Sqlite.h"
#include "site/db/Tables.h"

namespace ssmsg {
using namespace db;
namespace {

constexpr std::int64_t kMapSize = std::int64_t{1} << 30;  // bytes of the file mapped
constexpr int kCacheKiB = 8192;                           // the page cache

// An open database in one read transaction, with a statement for each table. One thread at a
// time reads through it (see Readers).
struct Database {
  DbHandle db;
  std::array<Statement, kTableCount> select;

  // The rows of table `id` of the controller at `address`.
  Query Rows(TableId id, const CSS_ControllerAddress& address) {
    Query rows(db.get(), select[id]);
    rows.Bind(address.interfaceId).Bind(address.node);
    return rows;
  }
};

// Connections to one database, each in a read transaction on the same snapshot, lent to one
// thread at a time: with several, the controllers are read on several threads at once.
class Readers {
 public:
  explicit Readers(std::unique_ptr<Database> first) { Add(std::move(first)); }

  void Add(std::unique_ptr<Database> database) {
    const std::lock_guard lock(mutex_);
    free_.push_back(database.get());
    all_.push_back(std::move(database));
  }
  std::size_t Count() const { return all_.size(); }
  Database& First() { return *all_.front(); }

  // A connection, waiting for one to be given back when every one is lent; given back with the
  // lease.
  class Lease {
   public:
    explicit Lease(Readers& readers) : readers_(readers), database_(readers.Take()) {}
    ~Lease() { readers_.Give(database_); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Database& operator*() const { return *database_; }

   private:
    Readers& readers_;
    Database* database_;
  };

 private:
  Database* Take() {
    std::unique_lock lock(mutex_);
    given_.wait(lock, [this] { return !free_.empty(); });
    Database* database = free_.back();
    free_.pop_back();
    return database;
  }
  void Give(Database* database) {
    {
      const std::lock_guard lock(mutex_);
      free_.push_back(database);
    }
    given_.notify_one();
  }

  std::mutex mutex_;
  std::condition_variable given_;
  std::vector<std::unique_ptr<Database>> all_;
  std::vector<Database*> free_;
};

// Hands `each` every row of table `id` of the controller at `address` (in the order of its
// numbers) with its "Number", which must be 1 or more and given once; the last number that a row
// has (0 for none).
template <class Each>
std::int64_t NumberedRows(Database& database, Check& check, TableId id,
                          const CSS_ControllerAddress& address, Each each) {
  Query rows = database.Rows(id, address);
  std::int64_t last = 0;
  while (rows.Next()) {
    ++check.rows[id];
    Row row{rows.Raw(), check, id, address};
    std::int64_t number = 0;
    if (!row.Integer(0, "Number", 1, kMaxPosition, number)) continue;
    row.number = number;
    if (number == last) {
      check.Error(row.Where(), "a second row for this position");
      continue;
    }
    last = number;
    each(row, number);
  }
  return last;
}

// Reads the rows of list table `id` of the controller at `address` into `records`, each row at
// its position; every row must have a record of `parent` at its position. The last position that
// has a row (0 for none).
template <class Records, class Parent = Records, class Extra = std::nullptr_t>
std::int64_t ReadList(Database& database, Check& check, TableId id,
                      const CSS_ControllerAddress& address, Records& records,
                      const Parent* parent = nullptr, Extra extra = nullptr) {
  using Item = typename Records::Item;
  Item item;
  return NumberedRows(database, check, id, address, [&](Row& row, std::int64_t number) {
    if (parent != nullptr &&
        parent->Find(static_cast<int>(number - 1 + Parent::kFirstIndex)) == nullptr) {
      check.Error(row.Where(), "no row of " + std::string(Tables()[Tables()[id].parent].name) +
                                   " at this number");
      return;
    }
    item.Clear();
    const int next = ReadFields(row, 1, kRecordFields<Item>, item);
    if constexpr (!std::is_same_v<Extra, std::nullptr_t>) extra(row, next, item);
    records.Set(static_cast<int>(number - 1 + Records::kFirstIndex), item);
  });
}

// Makes `records` `length` positions long at least, the new ones without a record.
template <class Records>
void Extend(Records& records, std::int64_t length) {
  if (length > records.GetRecordCount()) {
    records.Decline(static_cast<int>(length - 1 + Records::kFirstIndex));
  }
}

void ReadTimeGroups(Database& database, Check& check, const CSS_ControllerAddress& address,
                    std::int64_t length, CSDevice_TimeGroupZone& groups) {
  std::vector<std::int64_t> numbers;  // of the groups, ascending
  NumberedRows(database, check, kTimeGroups, address,
               [&numbers](Row&, std::int64_t number) { numbers.push_back(number); });
  std::vector<std::pair<std::int64_t, CSDevice_TimeGroupZoneItem>> zones;
  {
    Query rows = database.Rows(kZones, address);
    std::int64_t lastGroup = 0;
    std::int64_t lastNumber = 0;
    while (rows.Next()) {
      ++check.rows[kZones];
      Row row{rows.Raw(), check, kZones, address};
      std::int64_t group = 0;
      std::int64_t number = 0;
      if (!row.Integer(0, "TimeGroup", 1, kMaxPosition, group)) continue;
      row.group = group;
      if (!row.Integer(1, "Number", 1, kMaxPosition, number)) continue;
      row.number = number;
      if (group == lastGroup && number == lastNumber) {
        check.Error(row.Where(), "a second row for this position");
        continue;
      }
      lastGroup = group;
      lastNumber = number;
      if (!std::binary_search(numbers.begin(), numbers.end(), group)) {
        check.Error(row.Where(), "no row of time_groups at this time group");
        continue;
      }
      CSDevice_TimeGroupZoneItem zone{};
      ReadFields(row, 2, kRecordFields<CSDevice_TimeGroupZoneItem>, zone);
      zone.TimeGroupNo = static_cast<std::int16_t>(group);
      zones.emplace_back(group, zone);
    }
  }
  const std::int64_t count = std::max(length, numbers.empty() ? 0 : numbers.back());
  auto zone = zones.begin();
  auto number = numbers.begin();
  for (std::int64_t group = 1; group <= count; ++group) {
    if (number == numbers.end() || *number != group) {
      groups.Append(std::nullopt);
      continue;
    }
    ++number;
    std::vector<CSDevice_TimeGroupZoneItem> items;
    for (; zone != zones.end() && zone->first == group; ++zone)
      items.push_back(zone->second);
    groups.Append(std::move(items));
  }
}

// Reads every record of the controller at `position` and `address` into `store`.
void ReadController(Database& database, Check& check, std::int64_t position,
                    const CSS_ControllerAddress& address, CSApplicationManagerStd& store) {
  sqlite3* db = database.db.get();
  store.Clear();
  std::array<std::int64_t, kListCount> lengths{};
  {
    Query controller(db, database.select[kControllers]);
    if (!controller.Bind(position).Next())
      throw DbError("controllers: a row vanished while it was read");
    const Row row{controller.Raw(), check, kControllers, address};
    int column = ReadFields(row, 0, kXtraNameField, store.GetConfig());
    column = ReadFields(row, column, kRecordFields<CSDevice_Config>, store.GetConfig());
    column = ReadFields(row, column, kRecordFields<CSDevice_XTRA>, store.GetXTRA());
    for (std::size_t list = 0; list < kListCount; ++list)
      row.Nullable(column++, kListKeys[list], 0, kMaxPosition, lengths[list]);
  }
  const auto list = [&](TableId id, auto& records, ListId length) {
    Extend(records, std::max(ReadList(database, check, id, address, records), lengths[length]));
  };
  list(kHolidays, store.GetHoliday(), kLHolidays);
  list(kTimeZones, store.GetTimeZone(), kLTimeZones);
  ReadTimeGroups(database, check, address, lengths[kLTimeGroups], store.GetTimeGroupZone());
  list(kPorts, store.GetPort(), kLPorts);
  list(kFLan, store.GetFLan_Setup(), kLFLan);

  list(kInputs, store.GetInputType(), kLInputs);
  const CSDevice_InputType& inputs = store.GetInputType();
  ReadList(database, check, kInputTimes, address, store.GetInputTime(), &inputs,
           [](const Row& row, int column, CSDevice_InputTimeItem& item) {
             for (int level = 0; level < CSDevice_InputTimeItem::kLevels; ++level) {
               std::int64_t value = 0;
               const auto at = static_cast<std::size_t>(level);
               if (row.Integer(column + level, kLevelColumns[at], kInt16Min, kInt16Max, value)) {
                 item.LevelTG[at] = static_cast<std::int16_t>(value);
               }
             }
           });
  ReadList(database, check, kInputLinks, address, store.GetInputLink(), &inputs);

  list(kOutputs, store.GetOutputType(), kLOutputs);
  const CSDevice_OutputType& outputs = store.GetOutputType();
  ReadList(database, check, kOutputTimes, address, store.GetOutputTime(), &outputs);

  list(kReaders, store.GetRdConfiguration(), kLReaders);
  const CSDevice_RdConfiguration& readers = store.GetRdConfiguration();
  ReadList(database, check, kCardControls, address, store.GetRdCardControl(), &readers);
  ReadList(database, check, kCardLocations, address, store.GetRdCardLocation(), &readers);
  ReadList(database, check, kCardStructures, address, store.GetRdCardStructure(), &readers);
  ReadList(database, check, kAccessAlarms, address, store.GetRdAccessAlarm(), &readers);

  // The counts given, then the lengths of their lists for those not given.
  std::array<bool, std::size(kCountedLists)> given{};
  {
    Query rows = database.Rows(kResources, address);
    bool first = true;
    while (rows.Next()) {
      ++check.rows[kResources];
      const Row row{rows.Raw(), check, kResources, address};
      if (!first) {
        check.Error(row.Where(), "a second row for this controller");
        continue;
      }
      first = false;
      for (std::size_t i = 0; i < std::size(kCountedLists); ++i) {
        std::int64_t count = 0;
        if (!row.Nullable(static_cast<int>(i), kCountedLists[i].count, kInt16Min, kInt16Max,
                          count)) {
          continue;
        }
        (store.GetResource().*kCountedLists[i].set)(static_cast<std::int16_t>(count));
        (store.GetResource().*kCountedLists[i].setGiven)(true);
        given[i] = true;
      }
    }
  }
  for (std::size_t i = 0; i < std::size(kCountedLists); ++i) {
    if (given[i]) continue;
    const CSS_CountedList& counted = kCountedLists[i];
    (store.GetResource().*counted.set)(static_cast<std::int16_t>(counted.length(store)));
  }
}

// What the check of each controller needs: the connections and where each controller is.
struct CheckContext {
  Readers& readers;
  const std::vector<std::int64_t>& positions;
  const std::vector<CSS_ControllerAddress>& addresses;
  std::string_view fileName;
};

// One controller, read and checked: what was wrong, and otherwise its findings and its image.
struct CheckedController {
  Check check;
  SiteFindings findings;
  std::string image;
};

// Reads and checks one controller on a connection of its own; its findings are added to the
// site's in the controllers' order (AddChecked), so that they are the same whatever the number
// of threads. A controller is read once: its image is what the site keeps of it.
struct CheckWorker {
  using Context = CheckContext;
  using Input = std::size_t;
  using Output = CheckedController;

  explicit CheckWorker(const CheckContext& context_) : context(context_) {}

  void Run(std::size_t controller, CheckedController& out) {
    Check& check = out.check;
    check.fileName = context.fileName;
    check.errors.clear();
    check.beyond = 0;
    check.rows.fill(0);
    out.findings = {};
    out.image.clear();
    {
      const Readers::Lease database(context.readers);
      ReadController(*database, check, context.positions[controller], context.addresses[controller],
                     store);
    }
    if (!check.errors.empty()) return;
    out.findings.AddController(controller, store);
    EncodeStore(store, out.image);
  }

  const CheckContext& context;
  CSApplicationManagerStd store;
};

// Adds one controller's check to the site's; false once there are more errors than are listed.
bool AddChecked(Check& check, SiteFindings& findings, std::vector<std::string>& images,
                CheckedController& piece) {
  for (std::size_t id = 0; id < kTableCount; ++id)
    check.rows[id] += piece.check.rows[id];
  for (std::string& error : piece.check.errors)
    KeepError(check.errors, check.beyond, std::move(error));
  check.beyond += piece.check.beyond;
  if (check.errors.empty()) {
    findings.Append(piece.findings);
    images.push_back(std::move(piece.image));
  }
  return !check.Full();
}

// Finds the rows of child tables whose controller is missing, in tables where fewer rows were read
// than there are.
void CheckOrphans(Database& database, Check& check) {
  sqlite3* db = database.db.get();
  for (std::size_t i = kResources; i < kTableCount; ++i) {
    const auto id = static_cast<TableId>(i);
    const Table& table = Tables()[id];
    const Statement count = Prepare(db, "SELECT count(*) FROM " + std::string(table.name));
    if (Query rows(db, count); !rows.Next() || rows.Int(0) == check.rows[id]) continue;
    std::string keys;
    for (std::string_view key : KeyNames(table))
      keys += (keys.empty() ? "c." : ", c.") + Quote(key);
    const Statement orphans =
        Prepare(db, "SELECT " + keys + " FROM " + std::string(table.name) +
                        " c WHERE NOT EXISTS (SELECT 1 FROM controllers p WHERE p.\"Interface\" = "
                        "c.\"Interface\" AND p.\"Node\" = c.\"Node\") LIMIT " +
                        std::to_string(kMaxErrors));
    Query query(db, orphans);
    while (query.Next()) {
      const CSS_ControllerAddress address{static_cast<std::int32_t>(query.Int(0)),
                                          static_cast<std::int32_t>(query.Int(1))};
      const std::int64_t group = table.keys == Keys::Zone ? query.Int(2) : 0;
      const std::int64_t number =
          table.keys == Keys::Controller ? 0 : query.Int(table.keys == Keys::Zone ? 3 : 2);
      check.Error(RowName(id, address, group, number),
                  "no controller has interface " + std::to_string(address.interfaceId) +
                      " and node " + std::to_string(address.node));
    }
  }
}

void ReadEnumTexts(Database& database, Check& check, std::vector<CSS_SiteEnumText>& texts) {
  sqlite3* db = database.db.get();
  const Statement statement =
      Prepare(db, "SELECT \"Enumeration\", \"Value\", \"Text\" FROM enum_texts ORDER BY 1, 2");
  Query query(db, statement);
  while (query.Next()) {
    CSS_SiteEnumText text{};
    const auto where = [&] {
      return "enum_texts[" + ValueText(query.Raw(), 0) + ", " + ValueText(query.Raw(), 1) + "]";
    };
    const std::optional<CSToolEnumId> id =
        query.Type(0) == SQLITE_TEXT ? CSToolEnum::FindByName(query.View(0)) : std::nullopt;
    std::int64_t value = 0;
    if (!id) {
      check.Error(where() + ".Enumeration", "unknown enumeration");
      continue;
    }
    if (query.Type(1) != SQLITE_INTEGER || (value = query.Int(1)) < kInt32Min ||
        value > kInt32Max) {
      check.Error(where() + ".Value", "not an integer in " + std::to_string(kInt32Min) + ".." +
                                          std::to_string(kInt32Max));
      continue;
    }
    if (query.Type(2) != SQLITE_TEXT) {
      check.Error(where() + ".Text", ValueText(query.Raw(), 2) + " is not a text");
      continue;
    }
    text.text = query.Text(2);
    if (!IsUtf8(text.text)) {
      check.Error(where() + ".Text", "the text is not valid UTF-8");
      continue;
    }
    if (const std::optional<char32_t> control = utf8::FirstControl(text.text)) {
      check.Error(where() + ".Text", utf8::ControlProblem(*control));
      continue;
    }
    text.id = *id;
    text.value = static_cast<int>(value);
    texts.push_back(std::move(text));
  }
}

// Checks the open database `db` (fresh, not yet read) and makes the site.
// Sets a reading connection up and starts its read transaction, which lasts as long as the site
// lives: every controller is read from the snapshot that was checked, whatever another program
// writes meanwhile. The transaction takes its snapshot at its first read.
void StartReading(sqlite3* db) {
  // Pages are read through a mapping of the file rather than copied into the page cache, which
  // stays small.
  Exec(db, "PRAGMA mmap_size = " + std::to_string(kMapSize) + "; PRAGMA cache_size = -" +
               std::to_string(kCacheKiB));
  Exec(db, "BEGIN");
}

DbHandle OpenReading(const char* file) {
  return OpenDatabase(file, Access::Read);
}

// A connection that watches `file` for commits, and its data version now.
std::pair<DbHandle, std::int64_t> Watch(const char* file) {
  DbHandle watch = OpenReading(file);
  sqlite3_busy_timeout(watch.get(), 0);  // one that cannot look at once is no watch: no waiting
  const std::int64_t version = PragmaValue(watch.get(), "data_version");
  return {std::move(watch), version};
}

// Adds connections to `readers` up to `count`, each on the snapshot of the first. SQLite here
// cannot hand a snapshot from one connection to another, so each starts reading on its own, and
// `watch`, whose data version was `before` when the first had not started yet, says whether any
// program committed since: then the new connections are dropped, and the site is read through
// the first alone. Failing to open one is no error either.
void MoreReaders(Readers& readers, const char* file, unsigned count, sqlite3* watch,
                 std::int64_t before) {
  std::vector<std::unique_ptr<Database>> more;
  try {
    while (readers.Count() + more.size() < count) {
      auto database = std::make_unique<Database>();
      database->db = OpenReading(file);
      StartReading(database->db.get());
      PragmaValue(database->db.get(), "user_version");  // the first read: the snapshot
      for (std::size_t i = 0; i < kTableCount; ++i) {
        database->select[i] =
            Prepare(database->db.get(), SelectSql(Tables()[i], static_cast<TableId>(i)));
      }
      more.push_back(std::move(database));
    }
    if (PragmaValue(watch, "data_version") != before) return;
  } catch (const DbError&) {
    return;
  }
  for (std::unique_ptr<Database>& database : more)
    readers.Add(std::move(database));
}

CSS_SiteLoadResult LoadOpened(DbHandle db, std::string_view fileName, const char* file,
                              unsigned jobs) {
  CSS_SiteLoadResult result;
  Check check;
  check.fileName = fileName;
  auto database = std::make_unique<Database>();
  database->db = std::move(db);
  sqlite3* handle = database->db.get();
  auto site = std::make_unique<CSS_SiteData>();
  std::vector<std::int64_t> positions;
  std::vector<std::string> images;
  std::unique_ptr<Readers> readers;
  try {
    // Whether another program commits while the connections start reading (see MoreReaders).
    DbHandle watch;
    std::int64_t before = 0;
    const unsigned threads = file != nullptr ? JobThreads(jobs) : 1;
    if (threads > 1) {
      try {
        std::tie(watch, before) = Watch(file);
      } catch (const DbError&) {
        // No watch: the site is read through one connection.
      }
    }
    StartReading(handle);
    if (const SchemaCheck schema = CheckSchema(handle, Use::Read, fileName);
        !schema.refusal.empty()) {
      check.Error({}, schema.refusal);
    }
    if (!check.errors.empty()) {
      result.errors = std::move(check.errors);
      return result;
    }
    for (std::size_t i = 0; i < kTableCount; ++i) {
      try {
        database->select[i] = Prepare(handle, SelectSql(Tables()[i], static_cast<TableId>(i)));
      } catch (const DbError& error) {
        check.Error({}, "not a site database of this version: table " +
                            std::string(Tables()[i].name) + ": " + error.what());
      }
    }
    if (!check.errors.empty()) {
      result.errors = std::move(check.errors);
      return result;
    }
    readers = std::make_unique<Readers>(std::move(database));
    if (watch) MoreReaders(*readers, file, threads, watch.get(), before);

    // The controllers, in order, each with an address of its own.
    {
      const Statement statement = Prepare(
          handle, "SELECT \"Position\", \"Interface\", \"Node\" FROM controllers ORDER BY 1");
      std::unordered_set<std::uint64_t> addresses;
      Query query(handle, statement);
      while (query.Next()) {
        Row row{statement.get(), check, kControllers, {}};
        std::int64_t position = query.Int(0);
        std::int64_t interfaceId = 0;
        std::int64_t node = 0;
        row.address.interfaceId = static_cast<std::int32_t>(query.Int(1));
        row.address.node = static_cast<std::int32_t>(query.Int(2));
        const bool valid = row.Integer(1, "Interface", 1, kInt32Max, interfaceId) &&
                           row.Integer(2, "Node", 0, kInt32Max, node);
        if (!valid) continue;
        const CSS_ControllerAddress address{static_cast<std::int32_t>(interfaceId),
                                            static_cast<std::int32_t>(node)};
        if (!addresses.insert(AddressKey(address)).second) {
          check.Error(row.Where(), "a second controller at this interface and node");
          continue;
        }
        positions.push_back(position);
        site->addresses.push_back(address);
      }
    }
    const CheckContext context{*readers, positions, site->addresses, fileName};
    RunOrdered<CheckWorker>(
        context, positions.size(), static_cast<unsigned>(readers->Count()),
        [&](CheckedController& piece) { return AddChecked(check, site->findings, images, piece); });
    if (!check.Full()) CheckOrphans(readers->First(), check);
    ReadEnumTexts(readers->First(), check, site->enumTexts);
  } catch (const DbError& error) {
    check.Error({}, error.what());
  }
  if (check.Full()) check.errors.push_back(MoreErrorsLine(fileName, "the database"));
  if (!check.errors.empty()) {
    result.errors = std::move(check.errors);
    return result;
  }
  // The site keeps what it read: the database is not read again, and its connections end here.
  site->fileName = fileName;
  site->records = std::make_unique<ImageRecords>(std::move(images));
  result.site = CSS_SiteAccess::Make(std::move(site));
  return result;
}

CSS_SiteLoadResult OpenFailed(std::string_view fileName, const std::string& why, bool unreadable) {
  CSS_SiteLoadResult result;
  result.errors.push_back(std::string(fileName) + ": " + why);
  result.unreadable = unreadable;
  return result;
}

}  // namespace

namespace db {

// The reader's connection is the caller's: its handle is given back, not closed, at the end.
struct ControllerReader::State {
  Database database;
  Check check;

  ~State() { static_cast<void>(database.db.release()); }

  std::vector<std::string> Errors() {
    std::vector<std::string> errors = std::move(check.errors);
    if (check.Full()) errors.push_back(MoreErrorsLine(check.fileName, "the controller"));
    check.errors.clear();
    check.beyond = 0;
    return errors;
  }
};

ControllerReader::ControllerReader(sqlite3* db, std::string fileName)
    : state_(std::make_unique<State>()) {
  state_->database.db.reset(db);
  state_->check.fileName = std::move(fileName);
  for (std::size_t i = 0; i < kTableCount; ++i)
    state_->database.select[i] = Prepare(db, SelectSql(Tables()[i], static_cast<TableId>(i)));
}

ControllerReader::~ControllerReader() = default;

std::vector<std::string> ControllerReader::Read(std::int64_t position,
                                                const CSS_ControllerAddress& address,
                                                CSApplicationManagerStd& store) {
  try {
    ReadController(state_->database, state_->check, position, address, store);
  } catch (const DbError&) {
    state_->Errors();
    throw;
  }
  return state_->Errors();
}

std::vector<std::string> ControllerReader::EnumTexts(std::vector<CSS_SiteEnumText>& texts) {
  ReadEnumTexts(state_->database, state_->check, texts);
  return state_->Errors();
}

}  // namespace db

CSS_SiteLoadResult LoadSiteDatabase(const char* file, std::string_view fileName, unsigned jobs) {
  DbHandle db;
  try {
    db = OpenReading(file);
  } catch (const DbError& error) {
    return OpenFailed(fileName, error.what(), true);
  }
  return LoadOpened(std::move(db), fileName, file, jobs);
}

CSS_SiteLoadResult LoadSiteDatabaseHandle(db::DbHandle db, std::string_view fileName) {
  return LoadOpened(std::move(db), fileName, nullptr, 1);
}

CSS_SiteLoadResult LoadSiteDatabaseBytes(std::string_view bytes, std::string_view fileName) {
  sqlite3* opened = nullptr;
  const int code =
      sqlite3_open_v2(":memory:", &opened, SQLITE_OPEN_READWRITE | kOneThread, nullptr);
  DbHandle db(opened);
  if (code != SQLITE_OK) return OpenFailed(fileName, Describe(opened, code), true);
  auto* copy =
      static_cast<unsigned char*>(sqlite3_malloc64(std::max<std::size_t>(bytes.size(), 1)));
  if (copy == nullptr) return OpenFailed(fileName, "out of memory", true);
  std::memcpy(copy, bytes.data(), bytes.size());
  // A database in memory cannot be in WAL mode: its header is read as a rollback one's.
  if (bytes.size() > 19 && copy[18] == 2 && copy[19] == 2) copy[18] = copy[19] = 1;
  const auto size = static_cast<sqlite3_int64>(bytes.size());
  const int loaded =
      sqlite3_deserialize(db.get(), "main", copy, size, size,
                          SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY);
  if (loaded != SQLITE_OK) return OpenFailed(fileName, Describe(db.get(), loaded), false);
  return LoadOpened(std::move(db), fileName, nullptr, 1);
}

}  // namespace ssmsg
