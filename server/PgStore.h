#pragma once

// The server's store over one site of a PostgreSQL database. Any number of servers may use one
// database at once and behave as one: every change is one transaction that first locks the site's
// row of sites, then checks the controller's entity tag against its rows as they are, writes, and
// writes its audit row. So a site's changes go one after the other, their audit ids commit in
// order, and no change is lost to another made meanwhile.
//
// Users are the database's: a user has a role in each site they may use, and a login (a session,
// an API token, a password) is the same in every site. A user without a role in this site is no
// user of it here, until given one (UpdateUser of a role alone).
//
// A store keeps one connection to the database, and one that listens for changes, which the stores
// of the sites of its accounts (SiteOf) share. When the server cannot be reached, a call throws
// StoreUnavailable, and the next one connects again.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Result.h"
#include "server/Store.h"

namespace ssmsg::server {

class PgStore final : public Store {
 public:
  // A store, or why not (naming the location without its password).
  using Opened = Result<std::unique_ptr<PgStore>, std::string>;
  // Opens the site that `location` names ("postgresql://...?site=NAME"). Refused: a location
  // that names no site, a server that cannot be reached or refuses the login, a database without
  // the tables of sites or with those of another version (with the command that migrates them),
  // and a site that is not there.
  static Opened Open(std::string_view location);
  // The accounts of the whole database at `location` (whose site, if any, is left aside): every
  // user with a role in some site, each as a viewer, with the database's logins, tokens and
  // login failures; it has no controllers. Refused as Open refuses.
  static Opened OpenAccounts(std::string_view location);
  ~PgStore() override;
  PgStore(const PgStore&) = delete;
  PgStore& operator=(const PgStore&) = delete;

  std::string FileName() const override;
  std::string SiteJson() override;
  std::vector<ControllerSummary> Controllers() override;
  std::optional<ControllerState> Controller(CSS_ControllerAddress address) override;
  Place PlaceOf(CSS_ControllerAddress address) override;
  std::string EnumsJson() override;
  WriteResult PutController(CSS_ControllerAddress address, const Expect& expect,
                            const CSApplicationManagerStd& records, const AuditNote& note) override;
  BatchResult PutControllers(std::span<const ControllerPut> puts, const AuditNote& note) override;
  WriteResult DeleteController(CSS_ControllerAddress address, const Expect& expect,
                               const AuditNote& note) override;
  std::optional<PendingSites> Pending(CSS_ControllerAddress address) override;
  std::vector<SentMark> SentMarks() override;
  WriteResult MarkSent(CSS_ControllerAddress address, const Expect& expect,
                       const AuditNote& note) override;
  using Store::Audit;
  std::vector<AuditEntry> Audit(const AuditQuery& query, std::size_t limit) override;
  ChangePage Changes(std::int64_t after, std::size_t limit) override;
  std::int64_t LatestAudit() override;
  // Hears PostgreSQL's notices, which every change of the site sends as it commits.
  std::unique_ptr<ChangeListener> ListenForChanges() override;

  std::vector<User> Users() override;
  std::optional<User> FindUser(std::string_view name) override;
  std::optional<User> FindUserById(std::int64_t id) override;
  std::vector<SiteRole> SitesOf(std::int64_t id) override;
  std::unique_ptr<Store> SiteOf(const std::string& name) override;
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
  std::pair<LoginFailures, LoginFailures> FindLoginFailures(std::string_view name,
                                                            std::string_view address,
                                                            std::int64_t since) override;
  void CountLoginFailure(std::string_view name, std::string_view address, std::int64_t now,
                         std::int64_t since, std::int64_t keep) override;
  void ForgetLoginFailures(std::string_view name) override;

  struct State;
  struct Link;

 private:
  explicit PgStore(std::unique_ptr<State> state);
  static Opened OpenAt(std::string_view location, bool accounts);
  std::unique_ptr<State> state_;
};

// The names of the sites of the database at `location` (whose own site, if any, is left aside),
// in order; or why not, naming the location.
Result<std::vector<std::string>, std::string> PgSiteNames(std::string_view location);
// The store of the site `name` of the database at `location`: none when it has no such site; a
// StoreUnavailable when it cannot be opened.
std::unique_ptr<Store> OpenPgSite(std::string_view location, const std::string& name);

// PgStore::Open and PgStore::OpenAccounts as a Store; in a build without PostgreSQL, a refusal
// that says so.
Result<std::unique_ptr<Store>, std::string> OpenPgStore(std::string_view location);
Result<std::unique_ptr<Store>, std::string> OpenPgAccounts(std::string_view location);

}  // namespace ssmsg::server
