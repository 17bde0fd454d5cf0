#pragma once

// What can be done to the accounts and read of the audit log, as typed operations: the users
// (listed, added, given a role or password, removed), their API tokens (made, listed, revoked) and
// a page of the audit log. The API's handlers and the admins' pages both call these; only the
// API's read JSON. A refusal's errors name the field they are about by its path ("role"), and
// AccountLines words them as the API answers them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/Auth.h"
#include "server/Controllers.h"
#include "server/Store.h"

namespace ssmsg::server {

// A field of a request as given: left out, text, a number (its digits as written), or a value of
// another kind, which is wrong wherever a field is read (a form gives only text).
struct Given {
  enum class Kind : unsigned char { Absent, Text, Number, Other };
  Kind kind = Kind::Absent;
  std::string text;

  static Given Of(std::string text) { return {Kind::Text, std::move(text)}; }
  bool given() const { return kind != Kind::Absent; }
};

// What a request asks of a user: its name (only when adding), role and password. `errors`: what
// the reader of the request found wrong already (keys it does not know), listed first.
struct UserRequest {
  Given name;
  Given role;
  Given password;
  SiteErrors errors;
};

// What a request asks of a new token: its name (left out: "token") and end (left out: never; a
// number: seconds from now; text: a time to come such as 2030-01-31T12:00:00Z).
struct TokenRequest {
  Given name;
  Given expires;
  SiteErrors errors;
};

// A token just made, with its secret, which is shown this once.
struct MadeToken {
  Token token;
  std::string secret;
  std::string user;  // the name of its user, as the store has it
};

// One answer's worth of the audit log: its entries from the first after the asked-for id, and the
// id to ask after for the ones that follow (none when there are no more).
struct AuditPage {
  std::vector<AuditEntry> entries;
  std::optional<std::int64_t> next;
};

// "role: must be viewer, editor or admin" for each error of a refusal of these operations.
std::vector<std::string> AccountLines(const Refusal& refusal);

std::vector<User> ListUsers(Store& store);

Outcome<User> AddUser(Store& store, Auth& auth, const UserRequest& request, const AuditNote& note);

// Gives the user `name` the role or password (or both) that `request` gives.
Outcome<User> UpdateUser(Store& store, Auth& auth, std::string_view name,
                         const UserRequest& request, const AuditNote& note);

Outcome<Removed> RemoveUser(Store& store, std::string_view name, const AuditNote& note);

// Makes a token for the user `name`, made at the note's time.
Outcome<MadeToken> NewToken(Store& store, std::string_view name, const TokenRequest& request,
                            const AuditNote& note);

Outcome<std::vector<Token>> ListTokens(Store& store, std::string_view name);

// The token of id `id` (as the path gives it) of the user `name`, revoked.
Outcome<Removed> RevokeToken(Store& store, std::string_view name, std::string_view id,
                             const AuditNote& note);

// What a request for the audit log asks, as its query gives it: "after" an id (oldest first; none:
// from the first), or "before" one (newest first; 0: from the latest), and "controller" ("1.2":
// its entries alone). An empty "controller", "user", "since" or "until" asks nothing.
struct AuditAsked {
  const std::string* after = nullptr;
  const std::string* before = nullptr;
  const std::string* controller = nullptr;
  // And "user" (a user's changes alone), "since" and "until" (a day, 2026-12-09, or a time,
  // 2026-12-09T10:00:00Z; "until" a day takes in the whole day).
  const std::string* user = nullptr;
  const std::string* since = nullptr;
  const std::string* until = nullptr;
};

// The entries `asked` for: at most a hundred, and no more once they hold 4 MiB as the API answers
// them (each holds a controller twice), so that the API and the page break the log alike. The
// page's `next` is the id to ask after (or before) for those that follow.
Outcome<AuditPage> ReadAudit(Store& store, const AuditAsked& asked);

// An entry of the audit log as the API answers it.
std::string AuditEntryJson(const AuditEntry& entry);

}  // namespace ssmsg::server
