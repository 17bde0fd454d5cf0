#pragma once

// The server's store over a site database (schema version 3): the site's own tables hold the
// controllers, the editor's tables (users, sessions, api_tokens, audit_log, sent_controllers) the
// rest. Every change is one BEGIN IMMEDIATE transaction that writes the controller's rows, its
// audit row and whatever else goes with it, so another program reading the database (settings,
// report) sees all of a change or none of it.
//
// A controller is given as compact JSON, and its entity tag is a hash of that. Each controller's
// tag is kept in memory once read, and the JSON of those used most recently, up to a budget. They
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
#include <string>
#include <unordered_map>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>

#include "server/Store.h"
#include "site/SiteData.h"
#include "site/db/DbReader.h"
#include "site/db/DbWriter.h"
#include "site/db/Sqlite.h"

namespace ssmsg::server {

class DatabaseStore final : public Store {
 public:
  // The bytes of controllers' JSON kept in memory at most (beyond the one being used), unless
  // told otherwise.
  static constexpr std::size_t kCacheBytes = std::size_t{16} << 20;

  struct Opened {
    std::unique_ptr<DatabaseStore> store;
    std::string error;  // why not, naming the file
  };
  // Opens the site database `file` for reading and writing. Refused: a file that is not a site
  // database, or one of another schema version (with the command that migrates an older one).
  static Opened Open(const std::string& file, std::size_t cacheBytes = kCacheBytes);
  ~DatabaseStore() override;

  std::string SiteJson() override;
  std::vector<ControllerSummary> Controllers() override;
  std::optional<ControllerState> Controller(CSS_ControllerAddress address) override;
  Place PlaceOf(CSS_ControllerAddress address) override;
  std::string EnumsJson() override;
  WriteResult PutController(CSS_ControllerAddress address, const Expect& expect,
                            const CSApplicationManagerStd& records, const AuditNote& note) override;
  WriteResult DeleteController(CSS_ControllerAddress address, const Expect& expect,
                               const AuditNote& note) override;
  std::optional<PendingSites> Pending(CSS_ControllerAddress address) override;
  WriteResult MarkSent(CSS_ControllerAddress address, const Expect& expect,
                       const AuditNote& note) override;
  std::vector<AuditEntry> Audit(std::int64_t after, std::size_t limit) override;

  std::vector<User> Users() override;
  std::optional<User> FindUser(std::string_view name) override;
  std::optional<User> FindUserById(std::int64_t id) override;
  UserWrite AddUser(const User& user, const AuditNote& note) override;
  UserWrite UpdateUser(std::string_view name, Role role,
                       const std::optional<std::string>& passwordHash,
                       const AuditNote& note) override;
  UserWrite RemoveUser(std::string_view name, const AuditNote& note) override;
  std::optional<std::int64_t> AddToken(const User& user, const std::string& tokenHash,
                                       const Token& token, const AuditNote& note) override;
  std::optional<TokenUser> FindToken(const std::string& tokenHash, std::int64_t now) override;
  std::optional<std::vector<Token>> Tokens(std::string_view name) override;
  UserWrite RemoveToken(std::string_view name, std::int64_t id, const AuditNote& note) override;
  bool AddSession(const Session& session, std::string_view passwordHash) override;
  std::optional<Session> FindSession(const std::string& idHash) override;
  void TouchSession(const std::string& idHash, std::int64_t now) override;
  void RemoveSession(const std::string& idHash) override;
  void EndStaleSessions(std::int64_t seenBy, std::int64_t madeBy) override;

  struct Statements;

 private:
  // The user called `name`, or none; the caller holds mutex_.
  std::optional<User> UserNamed(std::string_view name);

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
    std::list<std::uint64_t>::iterator place;  // in recent_, while cached
  };

  DatabaseStore(db::DbHandle db, std::string file, std::size_t cacheBytes);

  // Makes what is kept agree with the database in the transaction that is open.
  void Sync();
  // The compact JSON of the controller at `address` whose records are `records`.
  static std::string Text(CSS_ControllerAddress address, const CSApplicationManagerStd& records);
  // The entry of `address` with its name and entity tag (null: no such controller), after Sync.
  Entry* Find(CSS_ControllerAddress address);
  Entry& Known(Entry& entry);
  // The controller's JSON, read again from its rows when it is not kept.
  std::shared_ptr<const std::string> Json(Entry& entry);
  void ReadRows(Entry& entry);
  // Keeps `json` as the entry's, and drops the JSON of those used longest ago beyond the budget.
  void Keep(Entry& entry, std::string json);
  void Forget(Entry& entry);
  void Index();
  // A site file of the controller `json` alone, with the site's enumeration texts.
  std::string SiteOf(const std::string& json) const;
  // Writes the audit row of a change; `before` is left out (NULL) where the controller's last row
  // has it as its "After".
  void Log(const AuditNote& note, std::optional<CSS_ControllerAddress> address,
           std::optional<std::string_view> before, std::string_view after);
  void RemoveRows(CSS_ControllerAddress address, const db::TableSet& tables);
  std::int64_t Admins();

  std::mutex mutex_;  // one thread at a time uses the connection and what is kept
  db::DbHandle db_;
  std::string file_;
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
