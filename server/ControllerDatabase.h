#pragma once

// The controllers of a site database (schema version 3), over the server's one connection
// (SiteConnection): the site's own tables hold them, the editor's tables (audit_log,
// sent_controllers) their history. Every change is one BEGIN IMMEDIATE transaction that writes the
// controller's rows, its audit row and whatever else goes with it, so another program reading the
// database (settings, report) sees all of a change or none of it.
//
// A controller is given as compact JSON, and its entity tag is a hash of its records' image (see
// site/StoreImage.h). Each controller's tag is kept in memory once read, and the JSON and image of
// those used most recently, up to a budget. They
// stay valid while no other connection commits: SQLite's data version, read inside each
// transaction, says when one did (someone changed rows with SQL, another server wrote), and
// everything kept is read again from the rows. So the entity tag changes whenever the controller's
// rows change, whoever changed them.

#include <sqlite3.h>

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>

#include "server/SiteConnection.h"
#include "server/Store.h"
#include "site/SiteData.h"
#include "site/StoreImage.h"
#include "site/db/DbReader.h"
#include "site/db/DbWriter.h"
#include "site/db/Sqlite.h"
#include "site/file/SiteFileWriter.h"

namespace ssmsg::server {

class ControllerDatabase {
 public:
  using Place = Store::Place;

  // The bytes of controllers' JSON kept in memory at most (beyond the one being used), unless
  // told otherwise.
  static constexpr std::size_t kCacheBytes = std::size_t{16} << 20;

  ControllerDatabase(SiteConnection& connection, std::size_t cacheBytes);
  ~ControllerDatabase();
  ControllerDatabase(const ControllerDatabase&) = delete;
  ControllerDatabase& operator=(const ControllerDatabase&) = delete;

  // As Store's methods of the same names.
  std::string SiteJson();
  std::vector<ControllerSummary> Controllers();
  std::vector<CSS_ControllerAddress> Addresses();
  std::optional<ControllerState> Controller(CSS_ControllerAddress address);
  std::optional<ControllerRecords> RecordsOf(CSS_ControllerAddress address);
  Place PlaceOf(CSS_ControllerAddress address);
  std::string EnumsJson();
  WriteResult PutController(CSS_ControllerAddress address, const Expect& expect,
                            const CSApplicationManagerStd& records, const AuditNote& note);
  BatchResult PutControllers(std::span<const ControllerPut> puts, const AuditNote& note);
  WriteResult DeleteController(CSS_ControllerAddress address, const Expect& expect,
                               const AuditNote& note);
  std::optional<PendingSites> Pending(CSS_ControllerAddress address);
  std::vector<SentMark> SentMarks();
  WriteResult MarkSent(CSS_ControllerAddress address, const Expect& expect, const AuditNote& note);
  std::vector<AuditEntry> Audit(const AuditQuery& query, std::size_t limit);
  ChangePage Changes(std::int64_t after, std::size_t limit);
  std::int64_t LatestAudit();

  struct Statements;

 private:
  // A controller as kept in memory: where it is, once read its name and entity tag, and while
  // it is among those used most recently its JSON.
  struct Entry {
    CSS_ControllerAddress address;
    std::int64_t position = 0;
    bool known = false;
    std::string name;
    std::string etag;
    bool logged = false;  // it is the "After" of its last audit row (which this store wrote)
    bool cached = false;
    std::shared_ptr<const std::string> json;   // shared with answers still being made
    StoreImage image;                          // its records, while cached
    CSS_ControllerLayout layout{};             // where the keys of its JSON end, while cached
    std::list<std::uint64_t>::iterator place;  // in recent_, while cached
  };

  // Makes what is kept agree with the database in the transaction that is open.
  void Sync();
  // `make` of every entry, in the site's order, from one read of the database.
  template <typename T, typename Make>
  std::vector<T> EachEntry(Make make);
  // The compact JSON of the controller at `address` whose records are `records`, and in `layout`
  // where its keys end; from `was` where the JSON before is given.
  static std::string Text(CSS_ControllerAddress address, const CSApplicationManagerStd& records,
                          CSS_ControllerLayout& layout, const CSS_ControllerText* was = nullptr);
  // The entry of `address` with its name and entity tag (null: no such controller), after Sync.
  Entry* Find(CSS_ControllerAddress address);
  Entry& Known(Entry& entry);
  // The controller's JSON, read again from its rows when it is not kept.
  std::shared_ptr<const std::string> Json(Entry& entry);
  void ReadRows(Entry& entry);
  // Keeps `json` as the entry's, and drops the JSON of those used longest ago beyond the budget.
  void Keep(Entry& entry, std::string json, StoreImage image, const CSS_ControllerLayout& layout);
  void Forget(Entry& entry);
  void Index();
  // A site file of the controller `json` alone, with the site's enumeration texts.
  std::string SiteOf(const std::string& json) const;
  // Writes the audit row of a change (SiteConnection::Log).
  void Log(const AuditNote& note, std::optional<CSS_ControllerAddress> address,
           std::optional<std::string_view> before, std::string_view after);
  void RemoveRows(CSS_ControllerAddress address, const db::TableSet& tables);
  // Writes `records` as the controller at `address` in the change that is open, whose entry was
  // `entry` (null: none); `before`, where the caller has them, are the entry's records.
  WriteResult Put(Entry* entry, CSS_ControllerAddress address,
                  const CSApplicationManagerStd& records, const AuditNote& note,
                  const CSApplicationManagerStd* before = nullptr);

  // A change of the controller at `address` under `expect`: the lock and the write transaction,
  // with what is kept made to agree with the database, the controller's entry (null: none) and
  // whether the change may go ahead (Done) or what refuses it.
  class Change;

  std::mutex& mutex_;  // the connection's: one thread at a time uses it and what is kept
  SiteConnection& connection_;
  const std::string& file_;
  std::size_t cacheBytes_;
  std::unique_ptr<Statements> sql_;
  std::unique_ptr<db::ControllerReader> reader_;
  std::unique_ptr<db::DatabaseWriter> writer_;
  CSApplicationManagerStd records_;  // a controller's records on their way
  std::int64_t dataVersion_ = -1;    // of the database as kept; -1: nothing kept yet
  std::vector<Entry> entries_;       // in the site's order
  std::unordered_map<std::uint64_t, std::size_t> index_;  // AddressKey -> entries_
  std::vector<CSS_SiteEnumText> enumTexts_;
  std::string enumsJson_;
  std::list<std::uint64_t> recent_;  // the AddressKeys of the entries with JSON, latest first
  std::size_t cachedBytes_ = 0;      // of their JSON
};

}  // namespace ssmsg::server
