#include "server/AccountDatabase.h"

#include <utility>

#include "site/db/Sqlite.h"

namespace ssmsg::server {

using db::Query;
using db::Statement;
using db::Transaction;

constexpr std::string_view kUserColumns = "\"Id\", \"Name\", \"Role\", \"PasswordHash\"";
constexpr std::string_view kTokenColumns = "t.\"Id\", t.\"Name\", t.\"Created\", t.\"Expires\"";

struct AccountDatabase::Statements : db::Transactions {
  using Transactions::Transactions;
  Query operator()(const Statement& statement) const { return Query(db, statement); }
  Statement Make(std::string_view sql) const { return db::Prepare(db, std::string(sql)); }

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
  // ?1 the kind, ?2 the name or address, ?3 the time before which a count has ended.
  Statement loginFailures = Make(
      "SELECT \"Count\", \"Last\" FROM login_failures WHERE \"Kind\" = ?1 AND \"Key\" = ?2 AND "
      "\"Last\" > ?3");
  Statement nextFailure = Make("SELECT coalesce(max(\"Seq\"), 0) + 1 FROM login_failures");
  // ?1 the kind, ?2 the name or address, ?3 now, ?4 the failure's number, ?5 as for loginFailures.
  Statement countFailure = Make(
      "INSERT INTO login_failures VALUES (?1, ?2, 1, ?3, ?4) ON CONFLICT (\"Kind\", \"Key\") DO "
      "UPDATE SET \"Count\" = CASE WHEN \"Last\" <= ?5 THEN 1 ELSE \"Count\" + 1 END, "
      "\"Last\" = ?3, \"Seq\" = ?4");
  Statement forgetOldFailures = Make("DELETE FROM login_failures WHERE \"Seq\" <= ?1");
  Statement forgetFailures =
      Make("DELETE FROM login_failures WHERE \"Kind\" = 'name' AND \"Key\" = ?1");
};

AccountDatabase::AccountDatabase(SiteConnection& connection)
    : connection_(connection),
      mutex_(connection.Mutex()),
      sql_(std::make_unique<Statements>(connection.Db())) {}

AccountDatabase::~AccountDatabase() = default;

void AccountDatabase::Log(const AuditNote& note, std::string_view after) {
  connection_.Log(note, std::nullopt, "null", after);
}

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

std::int64_t AccountDatabase::Admins() {
  Query query = (*sql_)(sql_->admins);
  query.Next();
  return query.Int(0);
}

std::vector<User> AccountDatabase::Users() {
  const std::lock_guard lock(mutex_);
  std::vector<User> users;
  Query query = (*sql_)(sql_->users);
  while (std::optional<User> user = UserOf(query))
    users.push_back(std::move(*user));
  return users;
}

std::optional<User> AccountDatabase::FindUser(std::string_view name) {
  const std::lock_guard lock(mutex_);
  return UserNamed(name);
}

std::optional<User> AccountDatabase::UserNamed(std::string_view name) {
  Query query = (*sql_)(sql_->userByName);
  return UserOf(query.Bind(name));
}

std::optional<User> AccountDatabase::FindUserById(std::int64_t id) {
  const std::lock_guard lock(mutex_);
  Query query = (*sql_)(sql_->userById);
  return UserOf(query.Bind(id));
}

std::optional<TokenUser> AccountDatabase::FindToken(const std::string& tokenHash,
                                                    std::int64_t now) {
  const std::lock_guard lock(mutex_);
  Query query = (*sql_)(sql_->userByToken);
  std::optional<User> user = UserOf(query.Bind(tokenHash).Bind(now));
  if (!user) return std::nullopt;
  return TokenUser{std::move(*user), TokenOf(query, 4)};
}

std::optional<std::vector<Token>> AccountDatabase::Tokens(std::string_view name) {
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

UserWrite AccountDatabase::RemoveToken(std::string_view name, std::int64_t id,
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
  Log(note, TokenChange(user->name, token));
  transaction.Commit();
  return UserWrite::Done;
}

UserWrite AccountDatabase::AddUser(const User& user, const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, true);
  if (UserNamed(user.name)) return UserWrite::Exists;
  (*sql_)(sql_->addUser).Bind(user.name).Bind(RoleName(user.role)).Bind(user.passwordHash).Run();
  Log(note, UserChange(user.name, user.role));
  transaction.Commit();
  return UserWrite::Done;
}

UserWrite AccountDatabase::UpdateUser(std::string_view name, Role role,
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
  Log(note, UserChange(user->name, role, &changed));
  transaction.Commit();
  return UserWrite::Done;
}

UserWrite AccountDatabase::RemoveUser(std::string_view name, const AuditNote& note) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, true);
  const std::optional<User> user = UserNamed(name);
  if (!user) return UserWrite::NotFound;
  if (user->role == Role::Admin && Admins() == 1) return UserWrite::LastAdmin;
  (*sql_)(sql_->endSessions).Bind(user->id).Run();
  (*sql_)(sql_->endTokens).Bind(user->id).Run();
  (*sql_)(sql_->removeUser).Bind(user->id).Run();
  Log(note, UserChange(user->name, user->role));
  transaction.Commit();
  return UserWrite::Done;
}

std::optional<std::int64_t> AccountDatabase::AddToken(const User& user,
                                                      const std::string& tokenHash,
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
  if (sqlite3_changes(connection_.Db()) != 1) return std::nullopt;
  Token added = token;
  added.id = sqlite3_last_insert_rowid(connection_.Db());
  Log(note, TokenChange(user.name, added));
  transaction.Commit();
  return added.id;
}

bool AccountDatabase::AddSession(const Session& session, std::string_view passwordHash) {
  const std::lock_guard lock(mutex_);
  (*sql_)(sql_->addSession)
      .Bind(session.idHash)
      .Bind(session.userId)
      .Bind(session.csrf)
      .Bind(session.created)
      .Bind(session.lastSeen)
      .Bind(passwordHash)
      .Run();
  return sqlite3_changes(connection_.Db()) == 1;
}

std::optional<Session> AccountDatabase::FindSession(const std::string& idHash) {
  const std::lock_guard lock(mutex_);
  Query query = (*sql_)(sql_->session);
  if (!query.Bind(idHash).Next()) return std::nullopt;
  return Session{idHash, query.Int(0), query.Text(1), query.Int(2), query.Int(3)};
}

void AccountDatabase::TouchSession(const std::string& idHash, std::int64_t now) {
  const std::lock_guard lock(mutex_);
  (*sql_)(sql_->touchSession).Bind(idHash).Bind(now).Run();
}

void AccountDatabase::EndStaleSessions(std::int64_t seenBy, std::int64_t madeBy) {
  const std::lock_guard lock(mutex_);
  (*sql_)(sql_->endStaleSessions).Bind(seenBy).Bind(madeBy).Run();
}

void AccountDatabase::RemoveSession(const std::string& idHash) {
  const std::lock_guard lock(mutex_);
  (*sql_)(sql_->removeSession).Bind(idHash).Run();
}

std::pair<LoginFailures, LoginFailures> AccountDatabase::FindLoginFailures(std::string_view name,
                                                                           std::string_view address,
                                                                           std::int64_t since) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, false);
  const auto find = [&](std::string_view kind, std::string_view key) {
    Query query = (*sql_)(sql_->loginFailures);
    return query.Bind(kind).Bind(key).Bind(since).Next() ? LoginFailures{query.Int(0), query.Int(1)}
                                                         : LoginFailures{};
  };
  std::pair<LoginFailures, LoginFailures> found{find("name", name), find("address", address)};
  transaction.Commit();
  return found;
}

void AccountDatabase::CountLoginFailure(std::string_view name, std::string_view address,
                                        std::int64_t now, std::int64_t since, std::int64_t keep) {
  const std::lock_guard lock(mutex_);
  Transaction transaction(*sql_, true);
  Query next = (*sql_)(sql_->nextFailure);
  next.Next();
  // The name and the address of one failure share its number.
  const std::int64_t number = next.Int(0);
  for (const auto& [kind, key] : {std::pair{"name", name}, std::pair{"address", address}})
    (*sql_)(sql_->countFailure).Bind(kind).Bind(key).Bind(now).Bind(number).Bind(since).Run();
  (*sql_)(sql_->forgetOldFailures).Bind(number - keep).Run();
  transaction.Commit();
}

void AccountDatabase::ForgetLoginFailures(std::string_view name) {
  const std::lock_guard lock(mutex_);
  (*sql_)(sql_->forgetFailures).Bind(name).Run();
}

}  // namespace ssmsg::server
