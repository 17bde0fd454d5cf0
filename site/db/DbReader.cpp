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
#include "site/db/SiteCheck.h"
#include "site/db/Sqlite.h"
#include "site/db/Tables.h"

namespace ssmsg {
using namespace db;
namespace {

constexpr std::int64_t kMapSize = std::int64_t{1} << 30;  // bytes of the file mapped
constexpr int kCacheKiB = 8192;                           // the page cache

// A cursor over the rows of one use of a statement.
struct Cursor {
  Query query;
  bool Next() { return query.Next(); }
  SqliteCells Cells() const { return {query.Raw()}; }
};

// An open database in one read transaction, with a statement for each table: a source of rows for
// the checks of site/db/SiteCheck.h. One thread at a time reads through it (see Readers).
struct Database {
  using Cells = SqliteCells;

  DbHandle db;
  std::array<Statement, kTableCount> select;
  Statement controllers;
  Statement enumTexts;

  // The rows of table `id` of the controller at `address`.
  Cursor Rows(TableId id, const CSS_ControllerAddress& address) {
    Query rows(db.get(), select[id]);
    rows.Bind(address.interfaceId).Bind(address.node);
    return {std::move(rows)};
  }
  Cursor Controller(std::int64_t position) {
    Query row(db.get(), select[kControllers]);
    row.Bind(position);
    return {std::move(row)};
  }
  Cursor Controllers() {
    if (!controllers) {
      controllers = Prepare(
          db.get(), "SELECT \"Position\", \"Interface\", \"Node\" FROM controllers ORDER BY 1");
    }
    return {Query(db.get(), controllers)};
  }
  Cursor EnumTexts() {
    if (!enumTexts) {
      enumTexts = Prepare(
          db.get(), "SELECT \"Enumeration\", \"Value\", \"Text\" FROM enum_texts ORDER BY 1, 2");
    }
    return {Query(db.get(), enumTexts)};
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

    CheckSite(readers->First(), *readers, static_cast<unsigned>(readers->Count()), check, *site,
              images, [&](Check& found) { CheckOrphans(readers->First(), found); });
  } catch (const DbError& error) {
    check.Error({}, error.what());
  }
  return CheckedSite(check, std::move(site), std::move(images));
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
