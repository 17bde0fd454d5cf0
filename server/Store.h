#pragma once

// What the server keeps, behind one interface: the site's controllers, what each was last marked
// sent as, the audit log, and the accounts (users, sessions, API tokens). The site database
// implements it (DatabaseStore).
//
// Every change is one transaction that also writes its audit row: the conditional writes check
// the controller's entity tag inside it, so two writers that both read one version cannot both
// succeed.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/Site.h>

#include "site/SiteData.h"

namespace ssmsg::server {

// A store that cannot answer now, or whose data is not valid (the database is locked by another
// program too long, damaged, or holds a bad value someone wrote with SQL): what was found.
// A store's own database errors (db::DbError) mean the same.
struct StoreError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// `errors` as one line, separated by "; ", as a StoreError gives them.
std::string JoinedErrors(const std::vector<std::string>& errors);

enum class Role : unsigned char { Viewer, Editor, Admin };

// "viewer", "editor", "admin"; and back (nothing for another text).
std::string_view RoleName(Role role);
std::optional<Role> RoleFromName(std::string_view name);

struct User {
  std::int64_t id = 0;
  std::string name;
  Role role = Role::Viewer;
  std::string passwordHash;  // as crypto_pwhash_str writes it
};

// A site of a database of many, and a user's role in it.
struct SiteRole {
  std::string site;
  Role role = Role::Viewer;
};

struct Session {
  std::string idHash;  // the hash of the cookie's value; the value itself is not kept
  std::int64_t userId = 0;
  std::string csrf;           // the token that unsafe requests of this session must carry
  std::int64_t created = 0;   // seconds since 1970
  std::int64_t lastSeen = 0;  // seconds since 1970
};

// An API token as it is listed: never the token itself, nor its hash.
struct Token {
  std::int64_t id = 0;                  // never given to another token
  std::string name;                     // to tell the user's tokens apart
  std::int64_t created = 0;             // seconds since 1970
  std::optional<std::int64_t> expires;  // when it stops being accepted; none: never
};

// The user of a token, and the token.
struct TokenUser {
  User user;
  Token token;
};

// A token's name is 1 to kTokenNameBytes bytes of text without a control character (tab aside).
constexpr std::size_t kTokenNameBytes = 64;
// Why `name` cannot name a token, or nothing when it can.
std::optional<std::string> CheckTokenName(std::string_view name);

// "2026-03-01T12:00:00Z", of seconds since 1970; and back (only that form, and nothing for a
// time that is none).
std::string IsoTime(std::int64_t seconds);
std::optional<std::int64_t> FromIsoTime(std::string_view text);

// The "After" of an audit row of accounts: what changed, as a JSON object, with neither password
// nor token nor hash. Of a user: its name and role, and with `changed` what changed of it
// ({"user":"carol","role":"editor","changed":["password"]}).
std::string UserChange(std::string_view user, Role role,
                       const std::vector<std::string_view>* changed = nullptr);
// Of a token: {"user":"ed","token":3,"name":"deploy","expires":"2027-01-01T00:00:00Z"} (null
// expires: never).
std::string TokenChange(std::string_view user, const Token& token);

// The failed logins of one user name or from one client address: how many since the count began,
// and the last one's time (seconds since 1970).
struct LoginFailures {
  std::int64_t count = 0;
  std::int64_t last = 0;
};

// Who made a change, and how: written with the change as its audit row.
struct AuditNote {
  std::string user;
  std::string method;
  std::string path;
  std::int64_t time = 0;  // seconds since 1970
};

struct AuditEntry {
  std::int64_t id = 0;
  AuditNote note;
  std::optional<CSS_ControllerAddress> controller;  // none: a change of accounts
  std::string before;  // the controller's JSON before the change, "null" when it had none
  std::string after;   // and after it
};

// Which rows of the audit log: those after id `after`, oldest first; or, given `before`, those
// before it (0: up to the latest), newest first. Given `controller`, only its rows.
struct AuditQuery {
  std::int64_t after = 0;
  std::optional<std::int64_t> before;
  std::optional<CSS_ControllerAddress> controller;
  // Given, only the rows of that user (by a login or one of their tokens), and those made at
  // `since` or later and before `until` (seconds since 1970).
  std::optional<std::string> user;
  std::optional<std::int64_t> since;
  std::optional<std::int64_t> until;

  bool Filtered() const { return user || since || until; }
};

// What a change did to its controller, as the change feed tells it.
enum class ChangeKind : unsigned char { Created, Changed, Deleted, Sent };

// "created", "changed", "deleted", "sent".
std::string_view ChangeKindName(ChangeKind kind);

// A committed change of a controller: its audit row, without the controller's texts.
struct ChangeRow {
  std::int64_t id = 0;    // the audit row's
  std::int64_t time = 0;  // seconds since 1970
  ChangeKind kind = ChangeKind::Changed;
  CSS_ControllerAddress controller;
};

// The changes after an audit id, read at one moment, and the id a reader asks after next: the
// last change given when there may be more, else the latest audit row (of accounts, perhaps),
// so that the next question skips what this one has seen.
struct ChangePage {
  std::vector<ChangeRow> changes;
  std::int64_t last = 0;
};

// A controller as the store holds it now.
struct ControllerState {
  std::string json;          // its canonical JSON object, as the site file writes it
  std::string etag;          // ControllerEtag of its JSON or of its records' image
  std::size_t position = 0;  // its place in the site, from 0
};

// A controller as records, with its ETag and its place in the site (from 0).
struct ControllerRecords {
  std::unique_ptr<CSApplicationManagerStd> records;
  std::string etag;
  std::size_t position = 0;
};

struct ControllerSummary {
  CSS_ControllerAddress address;
  std::string name;
  std::string etag;
};

// The two sites whose difference are a controller's pending messages, read at one moment.
struct PendingSites {
  std::string current;              // a site file of the controller alone, with the site's texts
  std::string etag;                 // of the controller now
  std::optional<std::string> sent;  // a site file of it as last marked sent; none: never sent
  std::size_t position = 0;         // its place in the site, from 0
  std::string name;                 // its name now
};

// What a controller was last marked sent as: when, and a stamp of the site file kept (two marks
// with one stamp keep the same). A controller removed from the site keeps its mark until it is
// marked sent again as removed: until then it still holds, on site, what the mark says.
struct SentMark {
  CSS_ControllerAddress address;
  std::int64_t time = 0;
  std::size_t stamp = 0;
};

// The stamp of a site file kept as what a controller was last sent.
std::size_t SentStamp(std::string_view site);

enum class WriteStatus : unsigned char {
  Done,
  NotFound,  // the controller (or user) is not there
  Stale,     // the entity tag did not match; nothing changed
  Exists,    // it was to be made but is there already
};

// How a change of accounts went. The check for the last admin is made in the change's own
// transaction, so two admins that demote each other at once cannot both succeed.
enum class UserWrite : unsigned char { Done, NotFound, Exists, LastAdmin };

struct WriteResult {
  WriteStatus status = WriteStatus::Done;
  ControllerState state;  // after the change (Done, but not for a removal)
};

// What a conditional write expects to find: no controller (If-None-Match: *), or one whose
// entity tag an If-Match value matches ("*" matches any).
struct Expect {
  enum class Kind : unsigned char { Absent, Present };
  Kind kind = Kind::Present;
  std::string ifMatch;  // for Present

  // What a write that finds the entity tag `etag` (null: no controller) must answer: Done when
  // it may go ahead.
  WriteStatus Check(const std::string* etag) const;
};

// One controller of a change of many: its records, checked already, and what it must be found as.
struct ControllerPut {
  CSS_ControllerAddress address;
  Expect expect;
  const CSApplicationManagerStd* records = nullptr;
  // The records it replaces, as the caller read them under `expect`'s ETag, where it has them:
  // the store need not read them again.
  const CSApplicationManagerStd* before = nullptr;
};

// How a change of many controllers went: Done, with each one's state after it; or, with nothing
// written, the status of the first that refused it, `failed` being its place in the change.
struct BatchResult {
  WriteStatus status = WriteStatus::Done;
  std::size_t failed = 0;
  std::vector<ControllerState> states;
};

// Hears of the changes that other programs commit to a store's database, as they commit.
class ChangeListener {
 public:
  virtual ~ChangeListener() = default;
  // Waits up to `timeout` for a change: true when one may have been committed meanwhile.
  virtual bool Wait(std::chrono::milliseconds timeout) = 0;
};

class Store {
 public:
  virtual ~Store() = default;

  // The file the store keeps the site in, named as it was opened ("" for none): its errors name
  // it, which the server's answers leave out.
  virtual std::string FileName() const { return {}; }

  // --- The site ---
  // The whole site as its canonical site file.
  virtual std::string SiteJson() = 0;
  virtual std::vector<ControllerSummary> Controllers() = 0;
  // The addresses of the site's controllers, in its order: for a caller that reads each one
  // anyway, and needs neither its name nor its ETag first.
  virtual std::vector<CSS_ControllerAddress> Addresses();
  virtual std::optional<ControllerState> Controller(CSS_ControllerAddress address) = 0;
  // The same controller as records, for a caller that changes them rather than its JSON.
  virtual std::optional<ControllerRecords> RecordsOf(CSS_ControllerAddress address);
  // Where the controller at `address` is in the site, or where a new one would go (last).
  struct Place {
    bool exists = false;
    std::size_t position = 0;
  };
  virtual Place PlaceOf(CSS_ControllerAddress address) = 0;
  // The site's enumeration texts as the site file's "Enums" object ("{}" for none).
  virtual std::string EnumsJson() = 0;

  // Replaces (or makes, with Expect::Absent) the controller at `address` with `records`, which
  // were checked already; a new controller goes last.
  virtual WriteResult PutController(CSS_ControllerAddress address, const Expect& expect,
                                    const CSApplicationManagerStd& records,
                                    const AuditNote& note) = 0;
  // Replaces (or makes) every controller of `puts` in one transaction, each with its audit row
  // under `note`: all of them, or none when one is not as expected.
  virtual BatchResult PutControllers(std::span<const ControllerPut> puts,
                                     const AuditNote& note) = 0;
  virtual WriteResult DeleteController(CSS_ControllerAddress address, const Expect& expect,
                                       const AuditNote& note) = 0;

  virtual std::optional<PendingSites> Pending(CSS_ControllerAddress address) = 0;
  // Every controller's mark of what was last sent to it, in no order: those of controllers
  // removed from the site since then too.
  virtual std::vector<SentMark> SentMarks() = 0;
  // Keeps the controller as it is now as the configuration last sent to it; with Expect::Absent,
  // a controller removed from the site as cleared on site (its mark forgotten; NotFound: none).
  virtual WriteResult MarkSent(CSS_ControllerAddress address, const Expect& expect,
                               const AuditNote& note) = 0;

  // The audit rows of `query`, at most `limit`.
  virtual std::vector<AuditEntry> Audit(const AuditQuery& query, std::size_t limit) = 0;
  // The audit rows after id `after`, oldest first, at most `limit`.
  std::vector<AuditEntry> Audit(std::int64_t after, std::size_t limit) {
    return Audit(AuditQuery{after, {}, {}, {}, {}, {}}, limit);
  }

  // The changes of controllers after audit id `after`, oldest first, at most `limit`. Audit ids
  // are given in the order their changes commit, so a reader that asks after the last id it was
  // given misses none.
  virtual ChangePage Changes(std::int64_t after, std::size_t limit) = 0;
  // The id of the latest audit row, 0 when there is none.
  virtual std::int64_t LatestAudit() = 0;
  // A listener for the changes that other programs commit, none when the store cannot hear of
  // them (its feed then asks at an interval alone).
  virtual std::unique_ptr<ChangeListener> ListenForChanges() { return nullptr; }

  // --- Accounts ---
  virtual std::vector<User> Users() = 0;
  virtual std::optional<User> FindUser(std::string_view name) = 0;
  virtual std::optional<User> FindUserById(std::int64_t id) = 0;
  // For the accounts of a database of many sites: the sites where the user `id` has a role, in
  // the sites' order. A store of one site has none.
  virtual std::vector<SiteRole> SitesOf(std::int64_t /*id*/) { return {}; }
  // For the same: the store of the site `name`, none when there is no such site (or this is a
  // store of one site).
  virtual std::unique_ptr<Store> SiteOf(const std::string& /*name*/) { return nullptr; }
  // Exists when the name is taken.
  virtual UserWrite AddUser(const User& user, const AuditNote& note) = 0;
  // Changes a user's role and, when `passwordHash` is given, password; a new password ends the
  // user's sessions and tokens in the same transaction. LastAdmin, with nothing changed, when it
  // would leave the site without an admin.
  virtual UserWrite UpdateUser(std::string_view name, Role role,
                               const std::optional<std::string>& passwordHash,
                               const AuditNote& note) = 0;
  // Removes a user with its sessions and tokens; not the last admin.
  virtual UserWrite RemoveUser(std::string_view name, const AuditNote& note) = 0;

  // Adds the token `token` (its name, when made and when it ends) of `user` as read before, with
  // its audit row, and returns its id: nothing, with nothing added, when that user has been
  // removed or given a new password since (their id may be another user's by then).
  virtual std::optional<std::int64_t> AddToken(const User& user, const std::string& tokenHash,
                                               const Token& token, const AuditNote& note) = 0;
  // The user whose token has hash `tokenHash`, with the token; nothing when it ended by `now`.
  virtual std::optional<TokenUser> FindToken(const std::string& tokenHash, std::int64_t now) = 0;
  // The tokens of the user `name`, ended ones too, oldest first; nothing when there is no such
  // user.
  virtual std::optional<std::vector<Token>> Tokens(std::string_view name) = 0;
  // Revokes the token `id` of the user `name`, with its audit row; NotFound when that user has no
  // such token.
  virtual UserWrite RemoveToken(std::string_view name, std::int64_t id, const AuditNote& note) = 0;

  // Adds a session of the user `session.userId` on the same terms, `passwordHash` being the
  // password the login checked.
  virtual bool AddSession(const Session& session, std::string_view passwordHash) = 0;
  virtual std::optional<Session> FindSession(const std::string& idHash) = 0;
  virtual void TouchSession(const std::string& idHash, std::int64_t now) = 0;
  virtual void RemoveSession(const std::string& idHash) = 0;
  // Removes the sessions last used at `seenBy` or earlier, or made at `madeBy` or earlier: those
  // that ended without their cookie being seen again.
  virtual void EndStaleSessions(std::int64_t seenBy, std::int64_t madeBy) = 0;

  // --- Failed logins, kept with the accounts so that every server on them counts alike ---
  // The failures of the name `name` and of the address `address`, each none when its last one
  // came at `since` or before.
  virtual std::pair<LoginFailures, LoginFailures> FindLoginFailures(std::string_view name,
                                                                    std::string_view address,
                                                                    std::int64_t since) = 0;
  // Counts a failure of the name `name` and one of the address `address` at `now`; a count whose
  // last failure came at `since` or before begins again. Names and addresses whose last failure
  // is `keep` failures ago or more are forgotten.
  virtual void CountLoginFailure(std::string_view name, std::string_view address, std::int64_t now,
                                 std::int64_t since, std::int64_t keep) = 0;
  // Forgets the failures of the name `name`.
  virtual void ForgetLoginFailures(std::string_view name) = 0;
};

// The entity tag of a controller: a hash, quoted, of a canonical form of it (its JSON, or the
// image of its records, which is smaller and says the same).
std::string ControllerEtag(std::string_view canonical);

// A store that cannot answer now because its database server cannot be reached: a later request
// may find it again. What the error says goes to the log, not to the answer.
struct StoreUnavailable : StoreError {
  using StoreError::StoreError;
};

// The site file's "Enums" object of `texts`, which come by enumeration and value ("{}" for none).
std::string EnumsJsonOf(const std::vector<CSS_SiteEnumText>& texts);
// A site file of the controller `json` (compact, as a store keeps it) alone, with the site's
// enumeration texts `texts`: what pending messages are made from.
std::string ControllerSite(const std::vector<CSS_SiteEnumText>& texts, std::string_view json);

}  // namespace ssmsg::server
