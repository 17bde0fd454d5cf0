#pragma once

// A store that keeps everything in memory, for the server's tests and fuzz target: one lock
// stands for the database's transactions.

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "server/Store.h"

namespace ssmsg::server {

class MemoryStore : public Store {
 public:
  // Starts from the site file `siteText`, which must be valid.
  explicit MemoryStore(std::string_view siteText);

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

 private:
  // Whether the user `id` exists with that password (the mutex held).
  bool StillThere(std::int64_t id, std::string_view passwordHash) const;
  struct Entry {
    CSS_ControllerAddress address;
    std::string json;
  };
  using Key = std::pair<std::int32_t, std::int32_t>;

  std::size_t Find(CSS_ControllerAddress address) const;  // npos: none
  ControllerState State(std::size_t k) const;
  std::string SiteOf(const std::string& controllerJson) const;
  void Log(const AuditNote& note, std::optional<CSS_ControllerAddress> address, std::string before,
           std::string after);
  void EndSessionsOf(std::int64_t userId);
  bool LastAdmin(const User& user) const;

  std::mutex mutex_;
  std::string enums_;
  std::vector<Entry> controllers_;
  std::map<Key, std::string> sent_;
  std::vector<AuditEntry> audit_;
  std::vector<User> users_;
  std::int64_t nextUserId_ = 1;
  struct StoredToken {
    std::int64_t userId = 0;
    Token token;
  };
  std::map<std::string, StoredToken> tokens_;  // hash -> token
  std::int64_t nextTokenId_ = 1;
  std::map<std::string, Session> sessions_;  // id hash -> session
};

}  // namespace ssmsg::server
