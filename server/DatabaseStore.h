#pragma once

// The server's store over a site database: one connection to it (SiteConnection), shared by the
// store of its controllers (ControllerDatabase) and that of its accounts (AccountDatabase), under
// the one mutex of the connection.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/AccountDatabase.h"
#include "server/ControllerDatabase.h"
#include "server/SiteConnection.h"
#include "server/Store.h"

namespace ssmsg::server {

class DatabaseStore final : public Store {
 public:
  static constexpr std::size_t kCacheBytes = ControllerDatabase::kCacheBytes;

  // A store, or why not (naming the file).
  using Opened = Result<std::unique_ptr<DatabaseStore>, std::string>;
  // Opens the site database `file` for reading and writing (SiteConnection::Open); `cacheBytes`
  // of controllers' JSON are kept in memory at most.
  static Opened Open(const std::string& file, std::size_t cacheBytes = kCacheBytes) {
    SiteConnection::Opened connection = SiteConnection::Open(file);
    if (!connection) return Failure{std::move(connection.error())};
    return std::unique_ptr<DatabaseStore>(new DatabaseStore(std::move(*connection), cacheBytes));
  }

  std::string FileName() const override { return connection_->File(); }
  std::string SiteJson() override { return controllers_.SiteJson(); }
  std::vector<ControllerSummary> Controllers() override { return controllers_.Controllers(); }
  std::vector<CSS_ControllerAddress> Addresses() override { return controllers_.Addresses(); }
  std::optional<ControllerState> Controller(CSS_ControllerAddress address) override {
    return controllers_.Controller(address);
  }
  std::optional<ControllerRecords> RecordsOf(CSS_ControllerAddress address) override {
    return controllers_.RecordsOf(address);
  }
  Place PlaceOf(CSS_ControllerAddress address) override { return controllers_.PlaceOf(address); }
  std::string EnumsJson() override { return controllers_.EnumsJson(); }
  WriteResult PutController(CSS_ControllerAddress address, const Expect& expect,
                            const CSApplicationManagerStd& records,
                            const AuditNote& note) override {
    return controllers_.PutController(address, expect, records, note);
  }
  BatchResult PutControllers(std::span<const ControllerPut> puts, const AuditNote& note) override {
    return controllers_.PutControllers(puts, note);
  }
  WriteResult DeleteController(CSS_ControllerAddress address, const Expect& expect,
                               const AuditNote& note) override {
    return controllers_.DeleteController(address, expect, note);
  }
  std::optional<PendingSites> Pending(CSS_ControllerAddress address) override {
    return controllers_.Pending(address);
  }
  std::vector<SentMark> SentMarks() override { return controllers_.SentMarks(); }
  WriteResult MarkSent(CSS_ControllerAddress address, const Expect& expect,
                       const AuditNote& note) override {
    return controllers_.MarkSent(address, expect, note);
  }
  using Store::Audit;
  std::vector<AuditEntry> Audit(const AuditQuery& query, std::size_t limit) override {
    return controllers_.Audit(query, limit);
  }
  ChangePage Changes(std::int64_t after, std::size_t limit) override {
    return controllers_.Changes(after, limit);
  }
  std::int64_t LatestAudit() override { return controllers_.LatestAudit(); }

  std::vector<User> Users() override { return accounts_.Users(); }
  std::optional<User> FindUser(std::string_view name) override { return accounts_.FindUser(name); }
  std::optional<User> FindUserById(std::int64_t id) override { return accounts_.FindUserById(id); }
  UserWrite AddUser(const User& user, const AuditNote& note) override {
    return accounts_.AddUser(user, note);
  }
  UserWrite UpdateUser(std::string_view name, Role role,
                       const std::optional<std::string>& passwordHash,
                       const AuditNote& note) override {
    return accounts_.UpdateUser(name, role, passwordHash, note);
  }
  UserWrite RemoveUser(std::string_view name, const AuditNote& note) override {
    return accounts_.RemoveUser(name, note);
  }
  std::optional<std::int64_t> AddToken(const User& user, const std::string& tokenHash,
                                       const Token& token, const AuditNote& note) override {
    return accounts_.AddToken(user, tokenHash, token, note);
  }
  std::optional<TokenUser> FindToken(const std::string& tokenHash, std::int64_t now) override {
    return accounts_.FindToken(tokenHash, now);
  }
  std::optional<std::vector<Token>> Tokens(std::string_view name) override {
    return accounts_.Tokens(name);
  }
  UserWrite RemoveToken(std::string_view name, std::int64_t id, const AuditNote& note) override {
    return accounts_.RemoveToken(name, id, note);
  }
  bool AddSession(const Session& session, std::string_view passwordHash) override {
    return accounts_.AddSession(session, passwordHash);
  }
  std::optional<Session> FindSession(const std::string& idHash) override {
    return accounts_.FindSession(idHash);
  }
  void TouchSession(const std::string& idHash, std::int64_t now) override {
    accounts_.TouchSession(idHash, now);
  }
  void RemoveSession(const std::string& idHash) override { accounts_.RemoveSession(idHash); }
  void EndStaleSessions(std::int64_t seenBy, std::int64_t madeBy) override {
    accounts_.EndStaleSessions(seenBy, madeBy);
  }
  std::pair<LoginFailures, LoginFailures> FindLoginFailures(std::string_view name,
                                                            std::string_view address,
                                                            std::int64_t since) override {
    return accounts_.FindLoginFailures(name, address, since);
  }
  void CountLoginFailure(std::string_view name, std::string_view address, std::int64_t now,
                         std::int64_t since, std::int64_t keep) override {
    accounts_.CountLoginFailure(name, address, now, since, keep);
  }
  void ForgetLoginFailures(std::string_view name) override { accounts_.ForgetLoginFailures(name); }

 private:
  DatabaseStore(std::unique_ptr<SiteConnection> connection, std::size_t cacheBytes)
      : connection_(std::move(connection)),
        controllers_(*connection_, cacheBytes),
        accounts_(*connection_) {}

  // The stores' statements go before the connection they belong to.
  std::unique_ptr<SiteConnection> connection_;
  ControllerDatabase controllers_;
  AccountDatabase accounts_;
};

}  // namespace ssmsg::server
