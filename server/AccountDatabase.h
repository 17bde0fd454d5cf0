#pragma once

// The accounts of a site database: its users, their sessions and API tokens, in the editor's
// tables, over the server's one connection (SiteConnection). Every change of a user or a token is
// one BEGIN IMMEDIATE transaction with its audit row.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/SiteConnection.h"
#include "server/Store.h"

namespace ssmsg::server {

class AccountDatabase {
 public:
  explicit AccountDatabase(SiteConnection& connection);
  ~AccountDatabase();
  AccountDatabase(const AccountDatabase&) = delete;
  AccountDatabase& operator=(const AccountDatabase&) = delete;

  // As Store's methods of the same names.
  std::vector<User> Users();
  std::optional<User> FindUser(std::string_view name);
  std::optional<User> FindUserById(std::int64_t id);
  UserWrite AddUser(const User& user, const AuditNote& note);
  UserWrite UpdateUser(std::string_view name, Role role,
                       const std::optional<std::string>& passwordHash, const AuditNote& note);
  UserWrite RemoveUser(std::string_view name, const AuditNote& note);
  std::optional<std::int64_t> AddToken(const User& user, const std::string& tokenHash,
                                       const Token& token, const AuditNote& note);
  std::optional<TokenUser> FindToken(const std::string& tokenHash, std::int64_t now);
  std::optional<std::vector<Token>> Tokens(std::string_view name);
  UserWrite RemoveToken(std::string_view name, std::int64_t id, const AuditNote& note);
  bool AddSession(const Session& session, std::string_view passwordHash);
  std::optional<Session> FindSession(const std::string& idHash);
  void TouchSession(const std::string& idHash, std::int64_t now);
  void RemoveSession(const std::string& idHash);
  void EndStaleSessions(std::int64_t seenBy, std::int64_t madeBy);
  std::pair<LoginFailures, LoginFailures> FindLoginFailures(std::string_view name,
                                                            std::string_view address,
                                                            std::int64_t since);
  void CountLoginFailure(std::string_view name, std::string_view address, std::int64_t now,
                         std::int64_t since, std::int64_t keep);
  void ForgetLoginFailures(std::string_view name);

  struct Statements;

 private:
  // The user called `name`, or none; the caller holds mutex_.
  std::optional<User> UserNamed(std::string_view name);
  std::int64_t Admins();
  void Log(const AuditNote& note, std::string_view after);

  SiteConnection& connection_;
  std::mutex& mutex_;  // the connection's
  std::unique_ptr<Statements> sql_;
};

}  // namespace ssmsg::server
