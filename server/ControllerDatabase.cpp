#include "server/ControllerDatabase.h"

#include <ssmsg/Json.h>
#include <ssmsg/SiteDatabase.h>

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <utility>

#include "server/JsonValue.h"
#include "site/db/SiteDb.h"
#include "site/db/Sqlite.h"
#include "site/db/Tables.h"
#include "site/file/SiteFileWriter.h"

namespace ssmsg::server {

using db::Query;
using db::Statement;
using db::Transaction;

struct ControllerDatabase::Statements : db::Transactions {
  using Transactions::Transactions;
  Query operator()(const Statement& statement) const { return Query(db, statement); }
  Statement Make(std::string_view sql) const { return db::Prepare(db, std::string(sql)); }

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
  Statement sentMarks =
      Make("SELECT \"Interface\", \"Node\", \"Time\", \"Site\" FROM sent_controllers");
  Statement markSent = Make("INSERT OR REPLACE INTO sent_controllers VALUES (?1, ?2, ?3, ?4)");
  Statement forgetSent =
      Make("DELETE FROM sent_controllers WHERE \"Interface\" = ?1 AND \"Node\" = ?2");
  Statement previousAfter = Make(
      "SELECT \"Id\", \"After\" FROM audit_log WHERE \"Interface\" = ?1 AND \"Node\" = ?2 AND "
      "\"Id\" < ?3 ORDER BY \"Id\" DESC LIMIT 1");
  // The changes of controllers after audit id ?1, at most ?2: whether "Before" and "After" are
  // JSON's null tells a controller made and one removed (a longer text is a blob, never equal).
  Statement changes = Make(
      "SELECT \"Id\", \"Time\", \"Interface\", \"Node\", "
      "\"Method\" = 'POST' AND \"Path\" LIKE '%/sent', "
      "coalesce(\"Before\" = 'null', 0), \"After\" = 'null' FROM audit_log "
      "WHERE \"Id\" > ?1 AND \"Interface\" IS NOT NULL ORDER BY \"Id\" LIMIT ?2");
  Statement latestAudit = Make("SELECT coalesce(max(\"Id\"), 0) FROM audit_log");
  // The audit rows: [newest first][of one controller], for ?1 the bound id (after it, or before
  // it), ?2 the limit, ?3, ?4 the controller's address, and when not null ?5 the user (a login or
  // one of the user's tokens), ?6 and ?7 the times from and before which.
  std::array<std::array<Statement, 2>, 2> audit = [this] {
    std::array<std::array<Statement, 2>, 2> statements;
    for (const bool newest : {false, true}) {
      for (const bool one : {false, true}) {
        statements[newest][one] = Make(
            std::string("SELECT \"Id\", \"Time\", \"User\", \"Method\", \"Path\", "
                        "\"Interface\", \"Node\", \"Before\", \"After\" FROM audit_log WHERE ") +
            (one ? "\"Interface\" = ?3 AND \"Node\" = ?4 AND " : "") +
            "(?5 IS NULL OR \"User\" = ?5 OR substr(\"User\", 1, length(?5) + 8) = ?5 || "
            "' (token ') AND (?6 IS NULL OR \"Time\" >= ?6) AND (?7 IS NULL OR \"Time\" < ?7) "
            "AND " +
            (newest ? "\"Id\" < ?1 ORDER BY \"Id\" DESC" : "\"Id\" > ?1 ORDER BY \"Id\"") +
            " LIMIT ?2");
      }
    }
    return statements;
  }();
};

class ControllerDatabase::Change {
 public:
  Change(ControllerDatabase& store, CSS_ControllerAddress address, const Expect& expect)
      : lock_(store.mutex_), transaction_(*store.sql_, true) {
    store.Sync();
    entry = store.Find(address);
    status = expect.Check(entry ? &entry->etag : nullptr);
  }
  void Commit() { transaction_.Commit(); }

  Entry* entry = nullptr;
  WriteStatus status = WriteStatus::Done;

 private:
  std::lock_guard<std::mutex> lock_;
  Transaction transaction_;
};

ControllerDatabase::ControllerDatabase(SiteConnection& connection, std::size_t cacheBytes)
    : mutex_(connection.Mutex()),
      connection_(connection),
      file_(connection.File()),
      cacheBytes_(cacheBytes),
      sql_(std::make_unique<Statements>(connection.Db())),
      reader_(std::make_unique<db::ControllerReader>(connection.Db(), file_)),
      writer_(std::make_unique<db::DatabaseWriter>(connection.Db())) {}

ControllerDatabase::~ControllerDatabase() = default;

void ControllerDatabase::Sync() {
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
    throw StoreError(JoinedErrors(errors));
  enumTexts_ = std::move(texts);
  enumsJson_ = EnumsJsonOf(enumTexts_);
  dataVersion_ = version;
}

void ControllerDatabase::Index() {
  index_.clear();
  for (std::size_t k = 0; k < entries_.size(); ++k) {
    if (!index_.emplace(AddressKey(entries_[k].address), k).second) {
      throw StoreError(file_ + ": controllers: a second controller at interface " +
                       std::to_string(entries_[k].address.interfaceId) + " and node " +
                       std::to_string(entries_[k].address.node));
    }
  }
}

void ControllerDatabase::ReadRows(Entry& entry) {
  const std::vector<std::string> errors = reader_->Read(entry.position, entry.address, records_);
  if (!errors.empty()) throw StoreError(JoinedErrors(errors));
  CSS_ControllerLayout layout{};
  std::string json = Text(entry.address, records_, layout);
  StoreImage image = ImageOf(records_);
  entry.name = records_.GetConfig().Name;
  entry.etag = ControllerEtag(image.bytes);
  entry.known = true;
  Keep(entry, std::move(json), std::move(image), layout);
}

std::string ControllerDatabase::Text(CSS_ControllerAddress address,
                                     const CSApplicationManagerStd& records,
                                     CSS_ControllerLayout& layout, const CSS_ControllerText* was) {
  std::string text;
  layout = CSS_SiteWriter::CompactControllerText(text, address, records, was);
  return text;
}

ControllerDatabase::Entry& ControllerDatabase::Known(Entry& entry) {
  if (!entry.known) ReadRows(entry);
  return entry;
}

std::shared_ptr<const std::string> ControllerDatabase::Json(Entry& entry) {
  if (!entry.cached) {
    ReadRows(entry);
  } else {
    recent_.splice(recent_.begin(), recent_, entry.place);
  }
  return entry.json;
}

void ControllerDatabase::Keep(Entry& entry, std::string json, StoreImage image,
                              const CSS_ControllerLayout& layout) {
  Forget(entry);
  entry.json = std::make_shared<const std::string>(std::move(json));
  entry.image = std::move(image);
  entry.layout = layout;
  cachedBytes_ += entry.json->size() + entry.image.bytes.size();
  recent_.push_front(AddressKey(entry.address));
  entry.place = recent_.begin();
  entry.cached = true;
  // The least recently used go first; the one just kept stays, however large.
  while (cachedBytes_ > cacheBytes_ && recent_.size() > 1)
    Forget(entries_[index_.at(recent_.back())]);
}

void ControllerDatabase::Forget(Entry& entry) {
  if (!entry.cached) return;
  cachedBytes_ -= entry.json->size() + entry.image.bytes.size();
  recent_.erase(entry.place);
  entry.json.reset();
  entry.image = {};
  entry.cached = false;
}

ControllerDatabase::Entry* ControllerDatabase::Find(CSS_ControllerAddress address) {
  const auto found = index_.find(AddressKey(address));
  return found == index_.end() ? nullptr : &Known(entries_[found->second]);
}

std::string ControllerDatabase::SiteOf(const std::string& json) const {
  return ControllerSite(enumTexts_, json);
}

void ControllerDatabase::Log(const AuditNote& note, std::optional<CSS_ControllerAddress> address,
                             std::optional<std::string_view> before, std::string_view after) {
  connection_.Log(note, address, before, after);
}

void ControllerDatabase::RemoveRows(CSS_ControllerAddress address, const db::TableSet& tables) {
  for (std::size_t id = 0; id < db::kTableCount; ++id) {
    if (tables[id])
      (*sql_)(sql_->removeRows[id]).Bind(address.interfaceId).Bind(address.node).Run();
  }
}

// --- The site -----------------------------------------------------------------------------------

std::string ControllerDatabase::SiteJson() {
  // Read as convert reads it, on connections of its own: what others ask meanwhile is answered.
  const CSS_SiteLoadResult site = LoadSite(file_);
  if (!site.site) throw StoreError(JoinedErrors(site.errors));
  return site.site->ToJson();
}

template <typename T, typename Make>
std::vector<T> ControllerDatabase::EachEntry(Make make) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, false);
  Sync();
  std::vector<T> list;
  list.reserve(entries_.size());
  for (Entry& entry : entries_)
    list.push_back(make(entry));
  transaction.Commit();
  return list;
}

std::vector<ControllerSummary> ControllerDatabase::Controllers() {
  return EachEntry<ControllerSummary>([this](Entry& entry) {
    Known(entry);
    return ControllerSummary{entry.address, entry.name, entry.etag};
  });
}

std::vector<CSS_ControllerAddress> ControllerDatabase::Addresses() {
  return EachEntry<CSS_ControllerAddress>([](const Entry& entry) { return entry.address; });
}

std::optional<ControllerState> ControllerDatabase::Controller(CSS_ControllerAddress address) {
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

std::optional<ControllerRecords> ControllerDatabase::RecordsOf(CSS_ControllerAddress address) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, false);
  Sync();
  const auto found = index_.find(AddressKey(address));
  if (found == index_.end()) return std::nullopt;
  Entry& entry = entries_[found->second];
  ControllerRecords read{std::make_unique<CSApplicationManagerStd>(), {}, found->second};
  // From what is kept where it is, which is the same records for less than their rows cost.
  if (entry.cached) {
    static_cast<void>(DecodeStore(entry.image.bytes, *read.records));  // made by this process
    recent_.splice(recent_.begin(), recent_, entry.place);
    transaction.Commit();
    read.etag = entry.etag;
    return read;
  }
  const std::vector<std::string> errors = reader_->Read(entry.position, address, *read.records);
  if (!errors.empty()) throw StoreError(JoinedErrors(errors));
  transaction.Commit();
  // Its ETag from the records just read where it is not known yet, rather than reading it twice.
  if (!entry.known) {
    entry.name = read.records->GetConfig().Name;
    entry.etag = ControllerEtag(ImageOf(*read.records).bytes);
    entry.known = true;
  }
  read.etag = entry.etag;
  return read;
}

Store::Place ControllerDatabase::PlaceOf(CSS_ControllerAddress address) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, false);
  Sync();
  const auto found = index_.find(AddressKey(address));
  transaction.Commit();
  return found == index_.end() ? Place{false, entries_.size()} : Place{true, found->second};
}

std::string ControllerDatabase::EnumsJson() {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, false);
  Sync();
  transaction.Commit();
  return enumsJson_;
}

WriteResult ControllerDatabase::PutController(CSS_ControllerAddress address, const Expect& expect,
                                              const CSApplicationManagerStd& records,
                                              const AuditNote& note) {
  Change change(*this, address, expect);
  if (change.status != WriteStatus::Done) return {change.status, {}};
  try {
    WriteResult written = Put(change.entry, address, records, note);
    change.Commit();
    return written;
  } catch (...) {
    dataVersion_ = -1;  // what is kept may hold the write that was rolled back
    throw;
  }
}

BatchResult ControllerDatabase::PutControllers(std::span<const ControllerPut> puts,
                                               const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, true);
  Sync();
  BatchResult result;
  for (std::size_t k = 0; k < puts.size(); ++k) {
    const Entry* entry = Find(puts[k].address);
    result.status = puts[k].expect.Check(entry ? &entry->etag : nullptr);
    if (result.status != WriteStatus::Done) {
      result.failed = k;
      return result;
    }
  }
  try {
    for (const ControllerPut& put : puts)
      result.states.push_back(
          Put(Find(put.address), put.address, *put.records, note, put.before).state);
    transaction.Commit();
  } catch (...) {
    dataVersion_ = -1;  // what is kept may hold writes that were rolled back
    throw;
  }
  return result;
}

WriteResult ControllerDatabase::Put(Entry* entry, CSS_ControllerAddress address,
                                    const CSApplicationManagerStd& records, const AuditNote& note,
                                    const CSApplicationManagerStd* before) {
  // What it replaces: its image, to know the parts that change, and its text unless the log has
  // it; from the caller's records where they are of the same version and nothing is kept.
  std::shared_ptr<const std::string> was;
  StoreImage given;
  const StoreImage* old = nullptr;
  CSS_ControllerLayout layout{};
  if (entry && !entry->cached && before != nullptr) {
    given = ImageOf(*before);
    if (ControllerEtag(given.bytes) == entry->etag) {
      old = &given;
      if (!entry->logged) was = std::make_shared<const std::string>(Text(address, *before, layout));
    }
  }
  if (entry && old == nullptr) {
    was = Json(*entry);
    old = &entry->image;
  }
  StoreImage image = ImageOf(records);
  const std::string etag = ControllerEtag(image.bytes);
  // Only what changed is written again: the keys of its JSON (the rest is copied from the JSON
  // kept) and the tables of its parts (all of them for a new one).
  std::bitset<kStorePartCount> changed;
  changed.set();
  if (old != nullptr) changed = ChangedParts(*old, image);
  std::string json;
  if (entry && old == &entry->image) {
    const CSS_ControllerText text{*entry->json, entry->layout, changed};
    json = Text(address, records, layout, &text);
  } else {
    json = Text(address, records, layout);
  }
  std::int64_t position = 0;
  db::TableSet tables = db::TableSet().set();
  if (entry) {
    position = entry->position;
    tables = db::TablesOfParts(changed);
    RemoveRows(address, tables);
  } else {
    Query last = (*sql_)(sql_->lastPosition);
    last.Next();
    position = last.Int(0) + 1;
  }
  writer_->Controller(position, address, records, tables);
  // The controller before goes in the log unless the log has it already.
  Log(note, address,
      entry && entry->logged ? std::nullopt : std::optional<std::string_view>(was ? *was : "null"),
      json);
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
  Keep(*entry, std::move(json), std::move(image), layout);
  return {WriteStatus::Done,
          {*entry->json, entry->etag, static_cast<std::size_t>(entry - entries_.data())}};
}

WriteResult ControllerDatabase::DeleteController(CSS_ControllerAddress address,
                                                 const Expect& expect, const AuditNote& note) {
  Change change(*this, address, expect);
  if (change.status != WriteStatus::Done) return {change.status, {}};
  Entry* entry = change.entry;
  // What was last sent to it stays until it is marked sent as removed.
  RemoveRows(address, db::TableSet().set());
  Log(note, address, entry->logged ? std::nullopt : std::optional(*Json(*entry)), "null");
  change.Commit();
  Forget(*entry);
  entries_.erase(entries_.begin() + (entry - entries_.data()));
  Index();
  return {WriteStatus::Done, {}};
}

std::optional<PendingSites> ControllerDatabase::Pending(CSS_ControllerAddress address) {
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

std::vector<SentMark> ControllerDatabase::SentMarks() {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, false);
  std::vector<SentMark> marks;
  Query query = (*sql_)(sql_->sentMarks);
  while (query.Next()) {
    marks.push_back(
        {{static_cast<std::int32_t>(query.Int(0)), static_cast<std::int32_t>(query.Int(1))},
         query.Int(2),
         SentStamp(query.View(3))});
  }
  transaction.Commit();
  return marks;
}

WriteResult ControllerDatabase::MarkSent(CSS_ControllerAddress address, const Expect& expect,
                                         const AuditNote& note) {
  Change change(*this, address, expect);
  if (change.status != WriteStatus::Done) return {change.status, {}};
  Entry* entry = change.entry;
  if (entry == nullptr) {
    // A controller removed from the site, now cleared on site.
    (*sql_)(sql_->forgetSent).Bind(address.interfaceId).Bind(address.node).Run();
    if (sqlite3_changes(connection_.Db()) == 0) return {WriteStatus::NotFound, {}};
    Log(note, address, "null", "null");
    change.Commit();
    return {WriteStatus::Done, {}};
  }
  const std::shared_ptr<const std::string> json = Json(*entry);
  (*sql_)(sql_->markSent)
      .Bind(address.interfaceId)
      .Bind(address.node)
      .Bind(SiteOf(*json))
      .Bind(note.time)
      .Run();
  Log(note, address, entry->logged ? std::nullopt : std::optional<std::string_view>(*json), *json);
  change.Commit();
  entry->logged = true;
  return {WriteStatus::Done,
          {*entry->json, entry->etag, static_cast<std::size_t>(entry - entries_.data())}};
}

std::vector<AuditEntry> ControllerDatabase::Audit(const AuditQuery& wanted, std::size_t limit) {
  const std::lock_guard lock(mutex_);
  std::vector<AuditEntry> entries;
  std::vector<bool> chained;  // whose "Before" is the "After" of the controller's entry before
  const bool newest = wanted.before.has_value();
  std::int64_t bound = newest ? *wanted.before : wanted.after;
  if (newest && bound <= 0) bound = std::numeric_limits<std::int64_t>::max();
  Query query = (*sql_)(sql_->audit[newest][wanted.controller.has_value()]);
  query.Bind(bound).Bind(static_cast<std::int64_t>(limit));
  if (wanted.controller) {
    query.Bind(wanted.controller->interfaceId).Bind(wanted.controller->node);
  } else {
    query.BindNull().BindNull();
  }
  query.BindText(wanted.user).Bind(wanted.since).Bind(wanted.until);
  while (query.Next()) {
    AuditEntry& entry = entries.emplace_back();
    entry.id = query.Int(0);
    entry.note = {query.Text(2), query.Text(3), query.Text(4), query.Int(1)};
    entry.after = connection_.Logged(query, 8, entry.id);
    chained.push_back(query.IsNull(7));
    if (!query.IsNull(7)) entry.before = connection_.Logged(query, 7, entry.id);
    if (!query.IsNull(5) && !query.IsNull(6)) {
      entry.controller = CSS_ControllerAddress{static_cast<std::int32_t>(query.Int(5)),
                                               static_cast<std::int32_t>(query.Int(6))};
    }
  }
  if (newest) {
    std::reverse(entries.begin(), entries.end());
    std::reverse(chained.begin(), chained.end());
  }
  // Oldest first: each controller's entries here follow one another, whatever the query left out.
  std::unordered_map<std::uint64_t, std::size_t> last;  // the latest entry of each controller here
  for (std::size_t k = 0; k < entries.size(); ++k) {
    AuditEntry& entry = entries[k];
    if (!entry.controller) continue;
    const CSS_ControllerAddress address = *entry.controller;
    auto [previous, first] = last.try_emplace(AddressKey(address), k);
    if (chained[k]) {
      // As the controller's entry before left it: one of these (unless the query left some of
      // the controller's out), or one before them.
      if (!first && !wanted.Filtered()) {
        entry.before = entries[previous->second].after;
      } else {
        Query earlier = (*sql_)(sql_->previousAfter);
        entry.before = earlier.Bind(address.interfaceId).Bind(address.node).Bind(entry.id).Next()
                           ? connection_.Logged(earlier, 1, earlier.Int(0))
                           : "null";
      }
    }
    previous->second = k;
  }
  if (newest) std::reverse(entries.begin(), entries.end());
  return entries;
}

ChangePage ControllerDatabase::Changes(std::int64_t after, std::size_t limit) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, false);
  ChangePage page;
  Query query = (*sql_)(sql_->changes);
  query.Bind(after).Bind(static_cast<std::int64_t>(limit));
  while (query.Next()) {
    ChangeRow& row = page.changes.emplace_back();
    row.id = query.Int(0);
    row.time = query.Int(1);
    row.controller = {static_cast<std::int32_t>(query.Int(2)),
                      static_cast<std::int32_t>(query.Int(3))};
    // A controller's changes are its writes (PUT, PATCH, a revert), its removal and its marking
    // as sent (POST .../sent), as the audit row's request says.
    if (query.Int(6) != 0) {
      row.kind = ChangeKind::Deleted;
    } else if (query.Int(4) != 0) {
      row.kind = ChangeKind::Sent;
    } else {
      row.kind = query.Int(5) != 0 ? ChangeKind::Created : ChangeKind::Changed;
    }
  }
  if (!page.changes.empty() && page.changes.size() == limit) {
    page.last = page.changes.back().id;
  } else {
    Query latest = (*sql_)(sql_->latestAudit);
    latest.Next();
    page.last = std::max(after, latest.Int(0));
  }
  transaction.Commit();
  return page;
}

std::int64_t ControllerDatabase::LatestAudit() {
  const std::lock_guard lock(mutex_);
  Query latest = (*sql_)(sql_->latestAudit);
  latest.Next();
  return latest.Int(0);
}

}  // namespace ssmsg::server
