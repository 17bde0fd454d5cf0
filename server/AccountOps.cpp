#include "server/AccountOps.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include <ssmsg/Json.h>

#include "server/Accounts.h"
#include "server/Controllers.h"
#include "server/Http.h"

namespace ssmsg::server {
namespace {

// One answer of the audit log holds at most this many rows, and no row more once it holds this
// many bytes.
constexpr std::size_t kAuditPage = 100;
constexpr std::size_t kAuditPageBytes = std::size_t{4} << 20;
// What the API's answer of the audit log holds before its first row: {"entries":[
constexpr std::size_t kAuditHead = 12;

// The longest a token may last.
constexpr std::int64_t kTokenMaxSeconds = std::int64_t{100} * 366 * 24 * 60 * 60;

Failure<Refusal> Refuse(int status, std::string message) {
  return Failure{Refusal::Because(status, std::move(message))};
}

Failure<Refusal> Invalid(SiteErrors errors) {
  Refusal refusal;
  refusal.status = 422;
  refusal.errors = std::move(errors);
  return Failure{std::move(refusal)};
}

// By UserWrite (Done refuses nothing: a change that says so went wrong).
constexpr Reason kUserReasons[] = {{500, "the change of accounts went wrong"},
                                   {404, "there is no user of that name"},
                                   {409, "there is a user of that name"},
                                   {409, "the last admin must stay an admin"}};

Failure<Refusal> UserFailure(UserWrite status) {
  return Failure{RefusalOf(status, kUserReasons)};
}

void Wrong(SiteErrors& errors, std::string path, std::string message) {
  errors.push_back({{}, std::move(path), std::move(message)});
}

// The role and password that `request` gives, checked; when `adding`, its name too, and all three
// are required.
struct UserFields {
  std::optional<Role> role;
  std::optional<std::string> password;
  SiteErrors errors;
};

UserFields ReadUserFields(const UserRequest& request, bool adding) {
  UserFields fields;
  fields.errors = request.errors;
  if (request.role.kind == Given::Kind::Text) {
    fields.role = RoleFromName(request.role.text);
    if (!fields.role) Wrong(fields.errors, "role", "must be viewer, editor or admin");
  }
  if (request.password.kind == Given::Kind::Text) {
    if (std::optional<std::string> why = CheckPassword(request.password.text)) {
      Wrong(fields.errors, "password", std::move(*why));
    } else {
      fields.password = request.password.text;
    }
  }
  const auto notText = [](const Given& given) {
    return given.given() && given.kind != Given::Kind::Text;
  };
  if (notText(request.role) || notText(request.password))
    Wrong(fields.errors, {}, "role and password must be strings");
  if (!adding) return fields;
  if (request.name.kind != Given::Kind::Text) {
    Wrong(fields.errors, "name", "a string is required");
  } else if (std::optional<std::string> why = CheckUserName(request.name.text)) {
    Wrong(fields.errors, "name", std::move(*why));
  }
  if (!request.role.given()) Wrong(fields.errors, "role", "required");
  if (!request.password.given()) Wrong(fields.errors, "password", "required");
  return fields;
}

}  // namespace

std::vector<std::string> AccountLines(const Refusal& refusal) {
  std::vector<std::string> lines;
  for (const SiteError& error : refusal.errors)
    lines.push_back(error.path.empty() ? error.message : error.path + ": " + error.message);
  return lines;
}

std::vector<User> ListUsers(Store& store) {
  return store.Users();
}

Outcome<User> AddUser(Store& store, Auth& auth, const UserRequest& request, const AuditNote& note) {
  UserFields fields = ReadUserFields(request, true);
  if (!fields.errors.empty()) return Invalid(std::move(fields.errors));
  const User user{0, request.name.text, *fields.role, auth.Hash(*fields.password)};
  if (const UserWrite status = store.AddUser(user, note); status != UserWrite::Done)
    return UserFailure(status);
  return user;
}

Outcome<User> UpdateUser(Store& store, Auth& auth, std::string_view name,
                         const UserRequest& request, const AuditNote& note) {
  UserFields fields = ReadUserFields(request, false);
  if (!fields.errors.empty()) return Invalid(std::move(fields.errors));
  std::optional<User> user = store.FindUser(name);
  if (!user && fields.role && !fields.password) {
    // In a database of many sites, a user of another site gets a role in this one.
    const UserWrite granted = store.UpdateUser(name, *fields.role, std::nullopt, note);
    if (granted != UserWrite::Done) return UserFailure(granted);
    user = store.FindUser(name);
    if (!user) return UserFailure(UserWrite::NotFound);
    return std::move(*user);
  }
  if (!user) return UserFailure(UserWrite::NotFound);
  const Role role = fields.role.value_or(user->role);
  std::optional<std::string> hash;
  if (fields.password) hash = auth.Hash(*fields.password);
  if (const UserWrite status = store.UpdateUser(user->name, role, hash, note);
      status != UserWrite::Done) {
    return UserFailure(status);
  }
  user->role = role;
  return std::move(*user);
}

Outcome<Removed> RemoveUser(Store& store, std::string_view name, const AuditNote& note) {
  if (const UserWrite status = store.RemoveUser(name, note); status != UserWrite::Done)
    return UserFailure(status);
  return Removed{};
}

Outcome<MadeToken> NewToken(Store& store, std::string_view name, const TokenRequest& request,
                            const AuditNote& note) {
  Token token{0, "token", note.time, {}};
  SiteErrors errors = request.errors;
  if (request.name.given()) {
    if (request.name.kind != Given::Kind::Text) {
      Wrong(errors, "name", "must be a string");
    } else if (std::optional<std::string> why = CheckTokenName(request.name.text)) {
      Wrong(errors, "name", std::move(*why));
    } else {
      token.name = request.name.text;
    }
  }
  if (request.expires.given()) {
    std::optional<std::int64_t> end;
    if (request.expires.kind == Given::Kind::Number) {
      if (const std::optional<std::int64_t> seconds =
              ParseDecimal(request.expires.text, 1, kTokenMaxSeconds)) {
        end = token.created + *seconds;
      }
    } else if (request.expires.kind == Given::Kind::Text) {
      end = FromIsoTime(request.expires.text);
      if (end && (*end <= token.created || *end - token.created > kTokenMaxSeconds)) end.reset();
    }
    if (!end) {
      Wrong(errors, "expires",
            "the seconds from now (1 to 100 years' worth), or a time to come such as "
            "2030-01-31T12:00:00Z");
    }
    token.expires = end;
  }
  if (!errors.empty()) return Invalid(std::move(errors));
  const std::optional<User> user = store.FindUser(name);
  if (!user) return UserFailure(UserWrite::NotFound);
  std::string secret = NewSecret();
  const std::optional<std::int64_t> id = store.AddToken(*user, SecretHash(secret), token, note);
  if (!id) return Refuse(409, "the user was removed or given a new password meanwhile");
  token.id = *id;
  return MadeToken{std::move(token), std::move(secret), user->name};
}

Outcome<std::vector<Token>> ListTokens(Store& store, std::string_view name) {
  std::optional<std::vector<Token>> tokens = store.Tokens(name);
  if (!tokens) return UserFailure(UserWrite::NotFound);
  return std::move(*tokens);
}

Outcome<Removed> RevokeToken(Store& store, std::string_view name, std::string_view id,
                             const AuditNote& note) {
  const std::optional<std::int64_t> number =
      ParseDecimal(id, 1, std::numeric_limits<std::int64_t>::max());
  if (!number) return Refuse(400, "the token in the path must be a token's id, a number from 1");
  if (store.RemoveToken(name, *number, note) != UserWrite::Done)
    return Refuse(404, "that user has no token of that id");
  return Removed{};
}

Outcome<AuditPage> ReadAudit(Store& store, const AuditAsked& asked) {
  const auto id = [](const std::string* text) {
    return ParseDecimal(*text, 0, std::numeric_limits<std::int64_t>::max());
  };
  AuditQuery query;
  if (asked.after != nullptr) {
    const std::optional<std::int64_t> after = id(asked.after);
    if (!after) return Refuse(400, "after must be an audit id, a number from 0");
    query.after = *after;
  }
  if (asked.before != nullptr) {
    query.before = id(asked.before);
    if (!query.before) return Refuse(400, "before must be an audit id, a number from 0");
  }
  if (asked.controller != nullptr && !asked.controller->empty()) {
    // "1.2"
    const std::string_view text = *asked.controller;
    const std::size_t dot = std::min(text.find('.'), text.size());
    query.controller =
        ParseAddress(text.substr(0, dot), dot < text.size() ? text.substr(dot + 1) : "");
    if (!query.controller)
      return Refuse(400, "controller must be an interface and a node, such as 1.2");
  }
  const auto given = [](const std::string* text) { return text != nullptr && !text->empty(); };
  if (given(asked.user)) query.user = *asked.user;
  // A day, or a time; a day "until" ends at the day's end.
  const auto time = [](const std::string& text, bool end) -> std::optional<std::int64_t> {
    if (text.size() != 10) return FromIsoTime(text);
    const std::optional<std::int64_t> day = FromIsoTime(text + "T00:00:00Z");
    return day && end ? std::optional(*day + 24 * 60 * 60) : day;
  };
  if (given(asked.since) && !(query.since = time(*asked.since, false)))
    return Refuse(400, "since must be a day, 2026-12-09, or a time, 2026-12-09T10:00:00Z");
  if (given(asked.until) && !(query.until = time(*asked.until, true)))
    return Refuse(400, "until must be a day, 2026-12-09, or a time, 2026-12-09T10:00:00Z");
  AuditPage page;
  page.entries = store.Audit(query, kAuditPage);
  std::size_t bytes = kAuditHead;
  std::size_t count = 0;
  for (; count < page.entries.size() && (count == 0 || bytes < kAuditPageBytes); ++count)
    bytes += (count > 0 ? 1 : 0) + AuditEntryJson(page.entries[count]).size();
  if (count < page.entries.size() || count == kAuditPage) page.next = page.entries[count - 1].id;
  page.entries.resize(count);
  return page;
}

std::string AuditEntryJson(const AuditEntry& entry) {
  const auto field = [](std::string& out, std::string_view name) {
    AppendJsonString(out, name);
    out += ':';
  };
  const auto text = [&field](std::string& out, std::string_view name, std::string_view value) {
    field(out, name);
    AppendJsonString(out, value);
    out += ',';
  };
  std::string row = "{";
  field(row, "id");
  row += std::to_string(entry.id);
  row += ',';
  text(row, "time", IsoTime(entry.note.time));
  text(row, "user", entry.note.user);
  text(row, "method", entry.note.method);
  text(row, "path", entry.note.path);
  field(row, "controller");
  if (entry.controller) {
    row += "{\"Interface\":" + std::to_string(entry.controller->interfaceId) +
           ",\"Node\":" + std::to_string(entry.controller->node) + "}";
  } else {
    row += "null";
  }
  row += ',';
  field(row, "before");
  row += entry.before;
  row += ',';
  field(row, "after");
  row += entry.after;
  row += '}';
  return row;
}

}  // namespace ssmsg::server
