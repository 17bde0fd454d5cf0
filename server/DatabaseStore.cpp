#include "server/DatabaseStore.h"

#include <ssmsg/Json.h>
#include <ssmsg/SiteDatabase.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <map>
#include <utility>

#include "server/JsonValue.h"
#include "site/db/SiteDb.h"
#include "site/db/Sqlite.h"
#include "site/db/Tables.h"
#include "site/file/SiteFileWriter.h"

namespace ssmsg::server {

using db::DbError;
using db::Statement;

// Binds the parameters of a prepared statement, steps it and reads its columns; it is reset, and
// so holds no lock, once this goes.
class Query {
 public:
  Query(sqlite3* db, sqlite3_stmt* statement) : db_(db), statement_(statement) {}
  ~Query() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& Bind(std::int64_t value) {
    sqlite3_bind_int64(statement_, next_++, value);
    return *this;
  }
  Query& Bind(std::string_view text) {
    sqlite3_bind_text64(statement_, next_++, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
    return *this;
  }
  // A text, or NULL for none.
  Query& BindText(std::optional<std::string_view> text) {
    if (text) return Bind(*text);
    sqlite3_bind_null(statement_, next_++);
    return *this;
  }
  Query& Bind(std::optional<std::int64_t> value) {
    if (value) return Bind(*value);
    sqlite3_bind_null(statement_, next_++);
    return *this;
  }
  // True for a row, false at the end.
  bool Next() { return db::Step(db_, statement_); }
  void Run() {
    while (Next()) {
    }
  }
  std::int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
  bool IsNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
  std::string Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return {text != nullptr ? text : "",
            static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_;
  int next_ = 1;
};

constexpr std::string_view kUserColumns = "\"Id\", \"Name\", \"Role\", \"PasswordHash\"";
constexpr std::string_view kTokenColumns = "t.\"Id\", t.\"Name\", t.\"Created\", t.\"Expires\"";

struct DatabaseStore::Statements {
  explicit Statements(sqlite3* handle) : db(handle) {}
  Query operator()(const Statement& statement) const { return Query(db, statement.get()); }
  Statement Make(std::string_view sql) const { return db::Prepare(db, std::string(sql)); }

  sqlite3* db;
  Statement begin = Make("BEGIN");
  Statement beginWrite = Make("BEGIN IMMEDIATE");
  Statement commit = Make("COMMIT");
  Statement rollback = Make("ROLLBACK");
  Statement dataVersion = Make("PRAGMA data_version");
  Statement controllers =
      Make("SELECT \"Position\", \"Interface\", \"Node\" FROM controllers ORDER BY 1");
  Statement lastPosition = Make("SELECT coalesce(max(\"Position\"), 0) FROM controllers");
  std::array<Statement, db::kTableCount> removeRows = [this] {
    std::array<Statement, db::kTableCount> removes;
    for (std::size_t i = 0; i < db::kTableCount; ++i) {
      removes[i] = Make("DELETE FROM " + std::string(db::Tables()[i].name) +
                        " WHERE \"Interface\" = ?1 AND \"Node\" = ?2");
    }
    return removes;
  }();
  Statement sent = Make(
      "SELECT \"Site\" FROM sent_controllers WHERE \"Interface\" = ?1 AND "
      "\"Node\" = ?2");
  Statement markSent = Make("INSERT OR REPLACE INTO sent_controllers VALUES (?1, ?2, ?3, ?4)");
  Statement forgetSent =
      Make("DELETE FROM sent_controllers WHERE \"Interface\" = ?1 AND \"Node\" = ?2");
  Statement log = Make(
      "INSERT INTO audit_log (\"Time\", \"User\", \"Method\", \"Path\", \"Interface\", \"Node\", "
      "\"Before\", \"After\") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
  Statement previousAfter = Make(
      "SELECT \"After\" FROM audit_log WHERE \"Interface\" = ?1 AND \"Node\" = ?2 AND \"Id\" < ?3 "
      "ORDER BY \"Id\" DESC LIMIT 1");
  Statement audit = Make(
      "SELECT \"Id\", \"Time\", \"User\", \"Method\", \"Path\", \"Interface\", \"Node\", "
      "\"Before\", \"After\" FROM audit_log WHERE \"Id\" > ?1 ORDER BY \"Id\" LIMIT ?2");
  Statement users = Make("SELECT " + std::string(kUserColumns) + " FROM users ORDER BY \"Name\"");
  Statement userByName =
      Make("SELECT " + std::string(kUserColumns) + " FROM users WHERE \"Name\" = ?1");
  Statement userById =
      Make("SELECT " + std::string(kUserColumns) + " FROM users WHERE \"Id\" = ?1");
  // A token ends at its "Expires": from that second on it is not accepted.
  Statement userByToken = Make(
      "SELECT u.\"Id\", u.\"Name\", u.\"Role\", u.\"PasswordHash\", " + std::string(kTokenColumns) +
      " FROM api_tokens t JOIN users u ON u.\"Id\" = t.\"User\" WHERE t.\"Hash\" = ?1 AND "
      "(t.\"Expires\" IS NULL OR t.\"Expires\" > ?2)");
  Statement tokens = Make("SELECT " + std::string(kTokenColumns) +
                          " FROM api_tokens t WHERE t.\"User\" = ?1 ORDER BY t.\"Id\"");
  Statement token = Make("SELECT " + std::string(kTokenColumns) +
                         " FROM api_tokens t WHERE t.\"User\" = ?1 AND t.\"Id\" = ?2");
  Statement removeToken = Make("DELETE FROM api_tokens WHERE \"User\" = ?1 AND \"Id\" = ?2");
  Statement admins = Make("SELECT count(*) FROM users WHERE \"Role\" = 'admin'");
  Statement addUser =
      Make("INSERT INTO users (\"Name\", \"Role\", \"PasswordHash\") VALUES (?1, ?2, ?3)");
  Statement setRole = Make("UPDATE users SET \"Role\" = ?2 WHERE \"Id\" = ?1");
  Statement setPassword = Make("UPDATE users SET \"PasswordHash\" = ?2 WHERE \"Id\" = ?1");
  Statement removeUser = Make("DELETE FROM users WHERE \"Id\" = ?1");
  Statement endSessions = Make("DELETE FROM sessions WHERE \"User\" = ?1");
  Statement endTokens = Make("DELETE FROM api_tokens WHERE \"User\" = ?1");
  // Only for the user as read, with the password checked: not one who took over the id since.
  Statement addToken = Make(
      "INSERT INTO api_tokens (\"Hash\", \"User\", \"Name\", \"Created\", \"Expires\") SELECT ?1, "
      "?2, ?3, ?4, ?5 WHERE EXISTS (SELECT 1 FROM users WHERE \"Id\" = ?2 AND \"PasswordHash\" = "
      "?6)");
  Statement addSession = Make(
      "INSERT INTO sessions SELECT ?1, ?2, ?3, ?4, ?5 WHERE EXISTS (SELECT 1 FROM users WHERE "
      "\"Id\" = ?2 AND \"PasswordHash\" = ?6)");
  Statement session = Make(
      "SELECT \"User\", \"Csrf\", \"Created\", \"LastSeen\" FROM sessions WHERE \"IdHash\" = ?1");
  Statement touchSession = Make("UPDATE sessions SET \"LastSeen\" = ?2 WHERE \"IdHash\" = ?1");
  Statement removeSession = Make("DELETE FROM sessions WHERE \"IdHash\" = ?1");
  Statement endStaleSessions =
      Make("DELETE FROM sessions WHERE \"LastSeen\" <= ?1 OR \"Created\" <= ?2");
};

namespace {

// A transaction, rolled back unless committed.
class Transaction {
 public:
  Transaction(const DatabaseStore::Statements& sql, bool write) : sql_(sql) {
    sql_(write ? sql_.beginWrite : sql_.begin).Run();
  }
  ~Transaction() {
    if (done_) return;
    // Nothing is kept of a change that failed; a failed rollback leaves SQLite to undo it.
    sqlite3_step(sql_.rollback.get());
    sqlite3_reset(sql_.rollback.get());
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit() {
    sql_(sql_.commit).Run();
    done_ = true;
  }

 private:
  const DatabaseStore::Statements& sql_;
  bool done_ = false;
};

std::string Joined(const std::vector<std::string>& errors) {
  std::string text;
  for (const std::string& error : errors)
    text += (text.empty() ? "" : "; ") + error;
  return text;
}

// The site file's "Enums" object of `texts`, which come by enumeration and value.
std::string EnumsObject(const std::vector<CSS_SiteEnumText>& texts) {
  std::map<std::string_view, std::map<int, std::string_view>> byName;
  for (const CSS_SiteEnumText& text : texts)
    byName[CSToolEnum::Name(text.id)][text.value] = text.text;
  std::string out = "{";
  for (const auto& [name, values] : byName) {
    if (out.size() > 1) out += ',';
    AppendJsonString(out, name);
    out += ":{";
    bool first = true;
    for (const auto& [value, text] : values) {
      if (!first) out += ',';
      first = false;
      AppendJsonString(out, std::to_string(value));
      out += ':';
      AppendJsonString(out, text);
    }
    out += '}';
  }
  out += '}';
  return out;
}

// The tables of a controller's rows that hold its site file's member `key`.
db::TableSet TablesOf(std::string_view key) {
  static const std::map<std::string_view, db::TableId> kLists = {
      {"Holidays", db::kHolidays}, {"TimeZones", db::kTimeZones}, {"TimeGroups", db::kTimeGroups},
      {"Ports", db::kPorts},       {"FLAN", db::kFLan},           {"Inputs", db::kInputs},
      {"Outputs", db::kOutputs},   {"Readers", db::kReaders}};
  db::TableSet tables;
  const auto list = kLists.find(key);
  if (list == kLists.end()) return tables;
  for (std::size_t id = 0; id < db::kTableCount; ++id) {
    auto top = static_cast<db::TableId>(id);
    while (db::Tables()[top].parent != db::kControllers)
      top = db::Tables()[top].parent;
    if (top == list->second && id != db::kControllers) tables.set(id);
  }
  return tables;
}

// The tables whose rows differ between the controllers of the JSON texts `before` and `after`:
// those of the lists that differ, and always the controller's own row and its counts.
db::TableSet ChangedTables(std::string_view before, std::string_view after) {
  const std::optional<std::vector<RawMember>> old = RawMembers(before);
  const std::optional<std::vector<RawMember>> now = RawMembers(after);
  if (!old || !now) return db::TableSet().set();
  std::map<std::string_view, std::pair<std::string_view, std::string_view>> lists;
  for (const RawMember& member : *old)
    lists[member.name].first = member.value;
  for (const RawMember& member : *now)
    lists[member.name].second = member.value;
  db::TableSet changed;
  changed.set(db::kControllers).set(db::kResources);
  for (const auto& [key, values] : lists) {
    if (values.first != values.second) changed |= TablesOf(key);
  }
  return changed;
}

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

DatabaseStore::Opened DatabaseStore::Open(const std::string& file, std::size_t cacheBytes) {
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
      throw DbError("not a site database (its application id is " + std::to_string(application) +
                    ")");
    }
    if (version < kSiteDatabaseVersion) {
      throw DbError("the database has schema version " + std::to_string(version) +
                    ", older than this ssmsg serves (" + std::to_string(kSiteDatabaseVersion) +
                    "): bring it up to date with: ssmsg migrate " + file);
    }
    if (version > kSiteDatabaseVersion) {
      throw DbError("the database has schema version " + std::to_string(version) +
                    ", newer than this ssmsg knows (" + std::to_string(kSiteDatabaseVersion) +
                    "); use a newer ssmsg");
    }
    // Readers (settings, report, another server) go on reading while this one writes; a change
    // is on the disk before it is answered (db::Access::Write).
    db::Exec(handle, "PRAGMA journal_mode = WAL");
    opened.store.reset(new DatabaseStore(std::move(db), file, cacheBytes));
  } catch (const DbError& error) {
    opened.store.reset();
    opened.error = file + ": " + error.what();
  }
  return opened;
}

DatabaseStore::DatabaseStore(db::DbHandle db, std::string file, std::size_t cacheBytes)
    : db_(std::move(db)),
      file_(std::move(file)),
      cacheBytes_(cacheBytes),
      sql_(std::make_unique<Statements>(db_.get())),
      reader_(std::make_unique<db::ControllerReader>(db_.get(), file_)),
      writer_(std::make_unique<db::DatabaseWriter>(db_.get())) {}

// The statements go before the connection they belong to.
DatabaseStore::~DatabaseStore() {
  writer_.reset();
  reader_.reset();
  sql_.reset();
}

void DatabaseStore::Sync() {
  std::int64_t version = 0;
  {
    Query query = (*sql_)(sql_->dataVersion);
    query.Next();
    version = query.Int(0);
  }
  if (version == dataVersion_) return;
  dataVersion_ = -1;
  entries_.clear();
  recent_.clear();
  cachedBytes_ = 0;
  {
    Query query = (*sql_)(sql_->controllers);
    while (query.Next()) {
      const std::int64_t interfaceId = query.Int(1);
      const std::int64_t node = query.Int(2);
      if (interfaceId < 1 || interfaceId > db::kInt32Max || node < 0 || node > db::kInt32Max) {
        throw StoreError(file_ + ": controllers: interface " + std::to_string(interfaceId) +
                         " and node " + std::to_string(node) + " are not a controller's address");
      }
      Entry& entry = entries_.emplace_back();
      entry.address = {static_cast<std::int32_t>(interfaceId), static_cast<std::int32_t>(node)};
      entry.position = query.Int(0);
    }
  }
  Index();
  std::vector<CSS_SiteEnumText> texts;
  if (const std::vector<std::string> errors = reader_->EnumTexts(texts); !errors.empty())
    throw StoreError(Joined(errors));
  enumTexts_ = std::move(texts);
  enumsJson_ = EnumsObject(enumTexts_);
  dataVersion_ = version;
}

void DatabaseStore::Index() {
  index_.clear();
  for (std::size_t k = 0; k < entries_.size(); ++k) {
    if (!index_.emplace(AddressKey(entries_[k].address), k).second) {
      throw StoreError(file_ + ": controllers: a second controller at interface " +
                       std::to_string(entries_[k].address.interfaceId) + " and node " +
                       std::to_string(entries_[k].address.node));
    }
  }
}

void DatabaseStore::ReadRows(Entry& entry) {
  const std::vector<std::string> errors = reader_->Read(entry.position, entry.address, records_);
  if (!errors.empty()) throw StoreError(Joined(errors));
  std::string json = Text(entry.address, records_);
  entry.name = records_.GetConfig().Name;
  entry.etag = ControllerEtag(json);
  entry.known = true;
  Keep(entry, std::move(json));
}

std::string DatabaseStore::Text(CSS_ControllerAddress address,
                                const CSApplicationManagerStd& records) {
  std::string text;
  CSS_SiteWriter::ControllerText(text, address, records);
  return CompactJson(text);
}

DatabaseStore::Entry& DatabaseStore::Known(Entry& entry) {
  if (!entry.known) ReadRows(entry);
  return entry;
}

std::shared_ptr<const std::string> DatabaseStore::Json(Entry& entry) {
  if (!entry.cached) {
    ReadRows(entry);
  } else {
    recent_.splice(recent_.begin(), recent_, entry.place);
  }
  return entry.json;
}

void DatabaseStore::Keep(Entry& entry, std::string json) {
  Forget(entry);
  entry.json = std::make_shared<const std::string>(std::move(json));
  cachedBytes_ += entry.json->size();
  recent_.push_front(AddressKey(entry.address));
  entry.place = recent_.begin();
  entry.cached = true;
  // The least recently used go first; the one just kept stays, however large.
  while (cachedBytes_ > cacheBytes_ && recent_.size() > 1)
    Forget(entries_[index_.at(recent_.back())]);
}

void DatabaseStore::Forget(Entry& entry) {
  if (!entry.cached) return;
  cachedBytes_ -= entry.json->size();
  recent_.erase(entry.place);
  entry.json.reset();
  entry.cached = false;
}

DatabaseStore::Entry* DatabaseStore::Find(CSS_ControllerAddress address) {
  const auto found = index_.find(AddressKey(address));
  return found == index_.end() ? nullptr : &Known(entries_[found->second]);
}

std::string DatabaseStore::SiteOf(const std::string& json) const {
  std::string text;
  CSS_SiteWriter writer(text);
  writer.Enums(enumTexts_);
  writer.AppendController(json);
  writer.Finish();
  return text;
}

void DatabaseStore::Log(const AuditNote& note, std::optional<CSS_ControllerAddress> address,
                        std::optional<std::string_view> before, std::string_view after) {
  std::optional<std::int64_t> interfaceId;
  std::optional<std::int64_t> node;
  if (address) {
    interfaceId = address->interfaceId;
    node = address->node;
  }
  (*sql_)(sql_->log)
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

void DatabaseStore::RemoveRows(CSS_ControllerAddress address, const db::TableSet& tables) {
  for (std::size_t id = 0; id < db::kTableCount; ++id) {
    if (tables[id])
      (*sql_)(sql_->removeRows[id]).Bind(address.interfaceId).Bind(address.node).Run();
  }
}

// --- The site -----------------------------------------------------------------------------------

std::string DatabaseStore::SiteJson() {
  // Read as convert reads it, on connections of its own: what others ask meanwhile is answered.
  const CSS_SiteLoadResult site = LoadSite(file_);
  if (!site.site) throw StoreError(Joined(site.errors));
  return site.site->ToJson();
}

std::vector<ControllerSummary> DatabaseStore::Controllers() {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, false);
  Sync();
  std::vector<ControllerSummary> list;
  list.reserve(entries_.size());
  for (Entry& entry : entries_) {
    Known(entry);
    list.push_back({entry.address, entry.name, entry.etag});
  }
  transaction.Commit();
  return list;
}

std::optional<ControllerState> DatabaseStore::Controller(CSS_ControllerAddress address) {
  std::shared_ptr<const std::string> json;
  ControllerState state;
  {
    const std::lock_guard lock(mutex_);
    Transaction transaction(*sql_, false);
    Sync();
    Entry* entry = Find(address);
    if (!entry) return std::nullopt;
    json = Json(*entry);
    state.etag = entry->etag;
    state.position = static_cast<std::size_t>(entry - entries_.data());
    transaction.Commit();
  }
  // The copy is made outside the lock, so that others are answered meanwhile.
  state.json = *json;
  return state;
}

Store::Place DatabaseStore::PlaceOf(CSS_ControllerAddress address) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, false);
  Sync();
  const auto found = index_.find(AddressKey(address));
  transaction.Commit();
  return found == index_.end() ? Place{false, entries_.size()} : Place{true, found->second};
}

std::string DatabaseStore::EnumsJson() {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, false);
  Sync();
  transaction.Commit();
  return enumsJson_;
}

WriteResult DatabaseStore::PutController(CSS_ControllerAddress address, const Expect& expect,
                                         const CSApplicationManagerStd& records,
                                         const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, true);
  Sync();
  Entry* entry = Find(address);
  if (const WriteStatus status = expect.Check(entry ? &entry->etag : nullptr);
      status != WriteStatus::Done) {
    return {status, {}};
  }
  const std::shared_ptr<const std::string> before = entry ? Json(*entry) : nullptr;
  std::string json = Text(address, records);
  const std::string etag = ControllerEtag(json);
  // Only the rows of lists that changed are written again.
  std::int64_t position = 0;
  db::TableSet tables = db::TableSet().set();
  if (entry) {
    position = entry->position;
    tables = ChangedTables(*before, json);
    RemoveRows(address, tables);
  } else {
    Query last = (*sql_)(sql_->lastPosition);
    last.Next();
    position = last.Int(0) + 1;
  }
  writer_->Controller(position, address, records, tables);
  // The controller before goes in the log unless the log has it already.
  Log(note, address,
      entry && entry->logged ? std::nullopt
                             : std::optional<std::string_view>(before ? *before : "null"),
      json);
  transaction.Commit();
  if (!entry) {
    index_.emplace(AddressKey(address), entries_.size());
    entry = &entries_.emplace_back();
    entry->address = address;
    entry->position = position;
  }
  entry->name = records.GetConfig().Name;
  entry->etag = etag;
  entry->known = true;
  entry->logged = true;
  Keep(*entry, std::move(json));
  return {WriteStatus::Done,
          {*entry->json, entry->etag, static_cast<std::size_t>(entry - entries_.data())}};
}

WriteResult DatabaseStore::DeleteController(CSS_ControllerAddress address, const Expect& expect,
                                            const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, true);
  Sync();
  Entry* entry = Find(address);
  if (const WriteStatus status = expect.Check(entry ? &entry->etag : nullptr);
      status != WriteStatus::Done) {
    return {status, {}};
  }
  RemoveRows(address, db::TableSet().set());
  (*sql_)(sql_->forgetSent).Bind(address.interfaceId).Bind(address.node).Run();
  Log(note, address, entry->logged ? std::nullopt : std::optional(*Json(*entry)), "null");
  transaction.Commit();
  Forget(*entry);
  entries_.erase(entries_.begin() + (entry - entries_.data()));
  Index();
  return {WriteStatus::Done, {}};
}

std::optional<PendingSites> DatabaseStore::Pending(CSS_ControllerAddress address) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, false);
  Sync();
  Entry* entry = Find(address);
  if (!entry) return std::nullopt;
  PendingSites sites{SiteOf(*Json(*entry)),
                     entry->etag,
                     {},
                     static_cast<std::size_t>(entry - entries_.data()),
                     entry->name};
  {
    Query sent = (*sql_)(sql_->sent);
    if (sent.Bind(address.interfaceId).Bind(address.node).Next()) sites.sent = sent.Text(0);
  }
  transaction.Commit();
  return sites;
}

WriteResult DatabaseStore::MarkSent(CSS_ControllerAddress address, const Expect& expect,
                                    const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, true);
  Sync();
  Entry* entry = Find(address);
  if (const WriteStatus status = expect.Check(entry ? &entry->etag : nullptr);
      status != WriteStatus::Done) {
    return {status, {}};
  }
  const std::shared_ptr<const std::string> json = Json(*entry);
  (*sql_)(sql_->markSent)
      .Bind(address.interfaceId)
      .Bind(address.node)
      .Bind(SiteOf(*json))
      .Bind(note.time)
      .Run();
  Log(note, address, entry->logged ? std::nullopt : std::optional<std::string_view>(*json), *json);
  transaction.Commit();
  entry->logged = true;
  return {WriteStatus::Done,
          {*entry->json, entry->etag, static_cast<std::size_t>(entry - entries_.data())}};
}

std::vector<AuditEntry> DatabaseStore::Audit(std::int64_t after, std::size_t limit) {
  const std::lock_guard lock(mutex_);
  std::vector<AuditEntry> entries;
  std::unordered_map<std::uint64_t, std::size_t> last;  // the latest entry of each controller here
  Query query = (*sql_)(sql_->audit);
  query.Bind(after).Bind(static_cast<std::int64_t>(limit));
  while (query.Next()) {
    AuditEntry& entry = entries.emplace_back();
    entry.id = query.Int(0);
    entry.note = {query.Text(2), query.Text(3), query.Text(4), query.Int(1)};
    entry.after = query.Text(8);
    if (!query.IsNull(7)) entry.before = query.Text(7);
    if (query.IsNull(5) || query.IsNull(6)) continue;
    const CSS_ControllerAddress address{static_cast<std::int32_t>(query.Int(5)),
                                        static_cast<std::int32_t>(query.Int(6))};
    entry.controller = address;
    auto [previous, first] = last.try_emplace(AddressKey(address), entries.size() - 1);
    if (query.IsNull(7)) {
      // As the controller's entry before left it: one of these, or one before them.
      if (!first) {
        entry.before = entries[previous->second].after;
      } else {
        Query earlier = (*sql_)(sql_->previousAfter);
        entry.before = earlier.Bind(address.interfaceId).Bind(address.node).Bind(entry.id).Next()
                           ? earlier.Text(0)
                           : "null";
      }
    }
    previous->second = entries.size() - 1;
  }
  return entries;
}

// --- Accounts -----------------------------------------------------------------------------------

namespace {

// The user of the query's row, or nothing when it has none.
std::optional<User> UserOf(Query& query) {
  if (!query.Next()) return std::nullopt;
  // A role that is none of the three (written with SQL) gives the least rights.
  return User{query.Int(0), query.Text(1), RoleFromName(query.Text(2)).value_or(Role::Viewer),
              query.Text(3)};
}

// The token in the query's columns from `first` on (kTokenColumns).
Token TokenOf(const Query& query, int first) {
  Token token{query.Int(first), query.Text(first + 1), query.Int(first + 2), {}};
  if (!query.IsNull(first + 3)) token.expires = query.Int(first + 3);
  return token;
}

}  // namespace

std::int64_t DatabaseStore::Admins() {
  Query query = (*sql_)(sql_->admins);
  query.Next();
  return query.Int(0);
}

std::vector<User> DatabaseStore::Users() {
  const std::lock_guard lock(mutex_);
  std::vector<User> users;
  Query query = (*sql_)(sql_->users);
  while (std::optional<User> user = UserOf(query))
    users.push_back(std::move(*user));
  return users;
}

std::optional<User> DatabaseStore::FindUser(std::string_view name) {
  const std::lock_guard lock(mutex_);
  return UserNamed(name);
}

std::optional<User> DatabaseStore::UserNamed(std::string_view name) {
  Query query = (*sql_)(sql_->userByName);
  return UserOf(query.Bind(name));
}

std::optional<User> DatabaseStore::FindUserById(std::int64_t id) {
  const std::lock_guard lock(mutex_);
  Query query = (*sql_)(sql_->userById);
  return UserOf(query.Bind(id));
}

std::optional<TokenUser> DatabaseStore::FindToken(const std::string& tokenHash, std::int64_t now) {
  const std::lock_guard lock(mutex_);
  Query query = (*sql_)(sql_->userByToken);
  std::optional<User> user = UserOf(query.Bind(tokenHash).Bind(now));
  if (!user) return std::nullopt;
  return TokenUser{std::move(*user), TokenOf(query, 4)};
}

std::optional<std::vector<Token>> DatabaseStore::Tokens(std::string_view name) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, false);
  const std::optional<User> user = UserNamed(name);
  if (!user) return std::nullopt;
  std::vector<Token> tokens;
  {
    Query query = (*sql_)(sql_->tokens);
    query.Bind(user->id);
    while (query.Next())
      tokens.push_back(TokenOf(query, 0));
  }
  transaction.Commit();
  return tokens;
}

UserWrite DatabaseStore::RemoveToken(std::string_view name, std::int64_t id,
                                     const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, true);
  const std::optional<User> user = UserNamed(name);
  if (!user) return UserWrite::NotFound;
  Token token;
  {
    Query query = (*sql_)(sql_->token);
    if (!query.Bind(user->id).Bind(id).Next()) return UserWrite::NotFound;
    token = TokenOf(query, 0);
  }
  (*sql_)(sql_->removeToken).Bind(user->id).Bind(id).Run();
  Log(note, std::nullopt, "null", TokenChange(user->name, token));
  transaction.Commit();
  return UserWrite::Done;
}

UserWrite DatabaseStore::AddUser(const User& user, const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, true);
  if (UserNamed(user.name)) return UserWrite::Exists;
  (*sql_)(sql_->addUser).Bind(user.name).Bind(RoleName(user.role)).Bind(user.passwordHash).Run();
  Log(note, std::nullopt, "null", UserChange(user.name, user.role));
  transaction.Commit();
  return UserWrite::Done;
}

UserWrite DatabaseStore::UpdateUser(std::string_view name, Role role,
                                    const std::optional<std::string>& passwordHash,
                                    const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, true);
  const std::optional<User> user = UserNamed(name);
  if (!user) return UserWrite::NotFound;
  if (user->role == Role::Admin && role != Role::Admin && Admins() == 1)
    return UserWrite::LastAdmin;
  (*sql_)(sql_->setRole).Bind(user->id).Bind(RoleName(role)).Run();
  if (passwordHash) {
    (*sql_)(sql_->setPassword).Bind(user->id).Bind(*passwordHash).Run();
    (*sql_)(sql_->endSessions).Bind(user->id).Run();
    (*sql_)(sql_->endTokens).Bind(user->id).Run();
  }
  std::vector<std::string_view> changed;
  if (role != user->role) changed.emplace_back("role");
  if (passwordHash) changed.emplace_back("password");
  Log(note, std::nullopt, "null", UserChange(user->name, role, &changed));
  transaction.Commit();
  return UserWrite::Done;
}

UserWrite DatabaseStore::RemoveUser(std::string_view name, const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, true);
  const std::optional<User> user = UserNamed(name);
  if (!user) return UserWrite::NotFound;
  if (user->role == Role::Admin && Admins() == 1) return UserWrite::LastAdmin;
  (*sql_)(sql_->endSessions).Bind(user->id).Run();
  (*sql_)(sql_->endTokens).Bind(user->id).Run();
  (*sql_)(sql_->removeUser).Bind(user->id).Run();
  Log(note, std::nullopt, "null", UserChange(user->name, user->role));
  transaction.Commit();
  return UserWrite::Done;
}

std::optional<std::int64_t> DatabaseStore::AddToken(const User& user, const std::string& tokenHash,
                                                    const Token& token, const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, true);
  (*sql_)(sql_->addToken)
      .Bind(tokenHash)
      .Bind(user.id)
      .Bind(token.name)
      .Bind(token.created)
      .Bind(token.expires)
      .Bind(user.passwordHash)
      .Run();
  if (sqlite3_changes(db_.get()) != 1) return std::nullopt;
  Token added = token;
  added.id = sqlite3_last_insert_rowid(db_.get());
  Log(note, std::nullopt, "null", TokenChange(user.name, added));
  transaction.Commit();
  return added.id;
}

bool DatabaseStore::AddSession(const Session& session, std::string_view passwordHash) {
  const std::lock_guard lock(mutex_);
  (*sql_)(sql_->addSession)
      .Bind(session.idHash)
      .Bind(session.userId)
      .Bind(session.csrf)
      .Bind(session.created)
      .Bind(session.lastSeen)
      .Bind(passwordHash)
      .Run();
  return sqlite3_changes(db_.get()) == 1;
}

std::optional<Session> DatabaseStore::FindSession(const std::string& idHash) {
  const std::lock_guard lock(mutex_);
  Query query = (*sql_)(sql_->session);
  if (!query.Bind(idHash).Next()) return std::nullopt;
  return Session{idHash, query.Int(0), query.Text(1), query.Int(2), query.Int(3)};
}

void DatabaseStore::TouchSession(const std::string& idHash, std::int64_t now) {
  const std::lock_guard lock(mutex_);
  (*sql_)(sql_->touchSession).Bind(idHash).Bind(now).Run();
}

void DatabaseStore::EndStaleSessions(std::int64_t seenBy, std::int64_t madeBy) {
  const std::lock_guard lock(mutex_);
  (*sql_)(sql_->endStaleSessions).Bind(seenBy).Bind(madeBy).Run();
}

void DatabaseStore::RemoveSession(const std::string& idHash) {
  const std::lock_guard lock(mutex_);
  (*sql_)(sql_->removeSession).Bind(idHash).Run();
}

}  // namespace ssmsg::server
