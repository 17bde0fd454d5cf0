#include "server/PgStore.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

#include <ssmsg/Site.h>
#include <ssmsg/SiteDatabase.h>

#include "server/Http.h"
#include "site/SiteData.h"
#include "site/StoreImage.h"
#include "site/file/SiteFileWriter.h"
#include "site/pg/Location.h"
#include "site/pg/Postgres.h"
#include "site/pg/SiteRows.h"

namespace ssmsg::server {

using pg::PgResult;
using pg::Run;

namespace {

std::string Text(const PGresult* result, int row, int column) {
  return {PQgetvalue(result, row, column),
          static_cast<std::size_t>(PQgetlength(result, row, column))};
}

std::int64_t Int(const PGresult* result, int row, int column) {
  const char* text = PQgetvalue(result, row, column);
  std::int64_t value = 0;
  std::from_chars(text, text + PQgetlength(result, row, column), value);
  return value;
}

bool IsNull(const PGresult* result, int row, int column) {
  return PQgetisnull(result, row, column) != 0;
}

bool True(const PGresult* result, int row, int column) {
  return !IsNull(result, row, column) && *PQgetvalue(result, row, column) == 't';
}

std::string Number(std::int64_t value) {
  return std::to_string(value);
}

// What joins a user (u) to their role (r."Role") in the site $1: a database admin is an admin of
// every site; anyone else has their role there, and is none of its users without one.
constexpr std::string_view kSiteRole =
    "JOIN LATERAL (SELECT CASE WHEN u.\"DatabaseAdmin\" THEN 'admin' ELSE (SELECT \"Role\" FROM "
    "site_roles WHERE \"User\" = u.\"Id\" AND \"Site\" = $1) END AS \"Role\") r ON r.\"Role\" IS "
    "NOT NULL";
// The same for the accounts of the whole database ($1 is ''): the database admins as admins, and
// the users with a role in some site as viewers.
constexpr std::string_view kAnyRole =
    "JOIN LATERAL (SELECT CASE WHEN u.\"DatabaseAdmin\" THEN 'admin' WHEN EXISTS (SELECT 1 FROM "
    "site_roles WHERE \"User\" = u.\"Id\") THEN 'viewer' END AS \"Role\" WHERE $1::text = '') r "
    "ON r.\"Role\" IS NOT NULL";
constexpr std::string_view kTokenColumns = "t.\"Id\", t.\"Name\", t.\"Created\", t.\"Expires\"";

// The user of row `row`, none past the last.
std::optional<User> UserAt(const PGresult* result, int row = 0) {
  if (row >= PQntuples(result)) return std::nullopt;
  // A role that is none of the three (written with SQL) gives the least rights.
  return User{Int(result, row, 0), Text(result, row, 1),
              RoleFromName(Text(result, row, 2)).value_or(Role::Viewer), Text(result, row, 3)};
}

// The token in the row's columns from `first` on (kTokenColumns).
Token TokenAt(const PGresult* result, int row, int first) {
  Token token{
      Int(result, row, first), Text(result, row, first + 1), Int(result, row, first + 2), {}};
  if (!IsNull(result, row, first + 3)) token.expires = Int(result, row, first + 3);
  return token;
}

// The channel of the notices of changes, each with its site's id.
constexpr std::string_view kChannel = "ssmsg_changes";

constexpr const char* kRead = "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY";
constexpr const char* kWrite = "BEGIN";
// One statement on its own, which is a transaction of its own.
constexpr const char* kOne = nullptr;

// The bytes of controllers' JSON that a site's store keeps at most.
constexpr std::size_t kKeptBytes = std::size_t{16} << 20;

// The notices of changes of every site, heard on one connection of their own for all the stores
// of a link: whichever waiter comes first polls it and tells the others. A lost connection is
// connected again (at most once a second); as notices may have been lost meanwhile, it counts as
// one for every site.
class Notices {
 public:
  explicit Notices(std::string conninfo) : conninfo_(std::move(conninfo)) {}

  // How many notices the site `site` has had so far.
  std::uint64_t Count(const std::string& site) {
    const std::lock_guard lock(mutex_);
    return CountOf(site);
  }
  // Waits up to `timeout` for the site's notices to pass `seen`, which it moves on; whether they
  // did.
  bool Wait(const std::string& site, std::uint64_t& seen, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(mutex_);
    for (;;) {
      if (const std::uint64_t now = CountOf(site); now != seen) {
        seen = now;
        return true;
      }
      const auto left = until - std::chrono::steady_clock::now();
      if (left <= std::chrono::steady_clock::duration::zero()) return false;
      if (polling_) {
        heard_.wait_until(lock, until);
        continue;
      }
      polling_ = true;
      lock.unlock();
      std::vector<std::string> sites;
      const bool lost = Poll(std::chrono::duration_cast<std::chrono::milliseconds>(left), sites);
      lock.lock();
      polling_ = false;
      for (const std::string& heard : sites)
        ++counts_[heard];
      lost_ += lost ? 1 : 0;
      heard_.notify_all();  // with what came, and for another to poll on
    }
  }

 private:
  std::uint64_t CountOf(const std::string& site) const {
    const auto found = counts_.find(site);
    return lost_ + (found == counts_.end() ? 0 : found->second);
  }
  // Polls the connection for up to `timeout`, adding the sites of the notices heard to `sites`;
  // whether notices may have been lost. Only one thread at a time (the one `polling_`).
  bool Poll(std::chrono::milliseconds timeout, std::vector<std::string>& sites) {
    if (!connection_ && !Connect()) {
      std::this_thread::sleep_for(std::min(timeout, std::chrono::milliseconds(100)));
      return false;
    }
    pollfd socket{PQsocket(connection_.get()), POLLIN, 0};
    if (poll(&socket, 1, static_cast<int>(std::max<std::int64_t>(timeout.count(), 1))) <= 0)
      return false;
    if (PQconsumeInput(connection_.get()) == 0) {
      connection_.reset();
      return true;
    }
    while (PGnotify* notice = PQnotifies(connection_.get())) {
      sites.emplace_back(notice->extra);
      PQfreemem(notice);
    }
    return false;
  }
  bool Connect() {
    const auto now = std::chrono::steady_clock::now();
    if (now - tried_ < std::chrono::seconds(1)) return false;
    tried_ = now;
    try {
      connection_ = pg::Connect(conninfo_);
      Run(connection_.get(), "LISTEN " + std::string(kChannel));
      return true;
    } catch (const pg::PgError&) {
      connection_.reset();
      return false;
    }
  }

  const std::string conninfo_;
  std::mutex mutex_;
  std::condition_variable heard_;
  bool polling_ = false;
  std::map<std::string, std::uint64_t> counts_;  // by site id
  std::uint64_t lost_ = 0;
  pg::Connection connection_;  // the poller's alone
  std::chrono::steady_clock::time_point tried_{};
};

}  // namespace

// What the stores of one database in one process share: one connection, used by one thread at a
// time, and one that listens.
struct PgStore::Link {
  Link(std::string libpq, std::string named)
      : conninfo(libpq), name(std::move(named)), notices(std::move(libpq)) {}
  std::mutex mutex;
  const std::string conninfo;  // for libpq
  const std::string name;      // the location without its password, as errors name it
  pg::Connection connection;   // under `mutex`
  Notices notices;

  PGconn* Use() {
    if (connection && PQstatus(connection.get()) == CONNECTION_OK) return connection.get();
    connection.reset();
    connection = pg::Connect(conninfo);
    return connection.get();
  }
};

struct PgStore::State {
  std::shared_ptr<Link> link;
  std::string location;  // as given, with its password: the whole site is read by it
  std::string name;      // the location without its password, as errors name it
  std::string siteName;
  std::string site;  // its "Id"; empty for the accounts of the whole database
  // The query of the users with a role in the site, with that role, and then `columns`.
  std::string roleJoin{kSiteRole};
  std::string Users(std::string_view columns = {}) const {
    std::string query = "SELECT u.\"Id\", u.\"Name\", r.\"Role\", u.\"PasswordHash\"";
    if (!columns.empty()) query += ", " + std::string(columns);
    return query + " FROM users u " + roleJoin;
  }
  CSApplicationManagerStd records;  // a controller's records on their way

  // A controller as read: its JSON, entity tag, name, position and image.
  struct Read {
    std::string json;
    std::string etag;
    std::string name;
    std::int64_t position = 0;
    StoreImage image;
  };
  // A controller as kept: as read, and its place in the site (from 0).
  struct Known {
    Read read;
    std::size_t place = 0;
  };
  // What was read of the site at its "Version" `version` (under the link's mutex): the
  // controllers read since, and their list.
  struct Kept {
    std::int64_t version = -1;  // -1: nothing
    std::unordered_map<std::uint64_t, Known> controllers;
    std::size_t bytes = 0;
    std::optional<std::vector<ControllerSummary>> list;
  };
  Kept kept;
  // What the transaction's body keeps once it commits (under the same lock), none: nothing.
  std::function<void()> afterCommit;

  // What `body(connection)` returns, run in one transaction begun with `begin` (kOne: a single
  // statement, which is one). A failure of the server, or of the connection to it, is a
  // StoreUnavailable, and the next call connects again; any other failure of a statement is an
  // error that only the log tells.
  template <class Body>
  auto Transaction(const char* begin, Body&& body) {
    const std::lock_guard lock(link->mutex);
    PGconn* server = nullptr;
    try {
      server = link->Use();
      if (begin == kOne) return body(server);
      Run(server, begin);
      struct Rollback {
        PGconn* server;
        bool open = true;
        ~Rollback() {
          if (open) PQclear(PQexec(server, "ROLLBACK"));
        }
      } rollback{server};
      afterCommit = nullptr;
      auto result = body(server);
      Run(server, "COMMIT");
      rollback.open = false;
      if (afterCommit) std::exchange(afterCommit, nullptr)();
      return result;
    } catch (const pg::PgError& error) {
      if (server == nullptr || PQstatus(server) != CONNECTION_OK) {
        link->connection.reset();
        throw StoreUnavailable(name + ": the database server cannot be reached: " + error.what());
      }
      // Not a finding about the site's data: the answer does not tell it (it quotes SQL).
      throw std::runtime_error(name + ": " + error.what());
    }
  }

  pg::SiteRows Rows(PGconn* server) const { return {server, site, name}; }

  // Makes what is kept agree with the site's version as the transaction sees it: forgets it all
  // when the site changed since.
  void Sync(PGconn* server) {
    const PgResult found = Run(server, "SELECT \"Version\" FROM sites WHERE \"Id\" = $1", {site});
    if (PQntuples(found.get()) != 1) {
      throw StoreError(name + ": the site \"" + siteName + "\" was removed from the database");
    }
    const std::int64_t version = pg::FirstInteger(found.get()).value_or(0);
    if (version != kept.version) kept = Kept{version, {}, 0, {}};
  }
  // The kept state of the controller at `address`, null when none is kept.
  const Known* KeptState(CSS_ControllerAddress address) const {
    const auto found = kept.controllers.find(AddressKey(address));
    return found == kept.controllers.end() ? nullptr : &found->second;
  }
  // Keeps `known`, just written, once the transaction commits. The site's row is locked since
  // Sync: every count of its version since is this transaction's, and the other controllers kept
  // stay as they were (a new one comes last).
  void KeepWritten(PGconn* server, CSS_ControllerAddress address, Known known) {
    const PgResult found = Run(server, "SELECT \"Version\" FROM sites WHERE \"Id\" = $1", {site});
    const std::int64_t version = pg::FirstInteger(found.get()).value_or(-1);
    afterCommit = [this, address, version, known = std::move(known)]() mutable {
      kept.version = version;
      kept.list.reset();
      Keep(address, std::move(known));
    };
  }
  void Keep(CSS_ControllerAddress address, Known known) {
    const std::size_t bytes = known.read.json.size() + known.read.image.bytes.size();
    if (kept.bytes + bytes > kKeptBytes) {
      kept.controllers.clear();
      kept.bytes = 0;
    }
    kept.bytes += bytes;
    kept.controllers.insert_or_assign(AddressKey(address), std::move(known));
  }

  // Makes the writers of the site wait for each other from here to the end of the transaction.
  void LockSite(PGconn* server) const {
    if (site.empty()) return;  // the accounts of the database: changes of users alone
    const PgResult locked = Run(server, "SELECT 1 FROM sites WHERE \"Id\" = $1 FOR UPDATE", {site});
    if (PQntuples(locked.get()) != 1) {
      throw StoreError(name + ": the site \"" + siteName + "\" was removed from the database");
    }
  }

  // The controller at `address` as its rows are now, none when there is none.
  std::optional<Read> ReadController(PGconn* server, CSS_ControllerAddress address) {
    const pg::SiteRows rows = Rows(server);
    const std::optional<std::int64_t> position = rows.PositionOf(address);
    if (!position) return std::nullopt;
    const std::vector<std::string> errors = rows.Read(*position, address, records);
    if (!errors.empty()) throw StoreError(JoinedErrors(errors));
    return Made(address, *position, records);
  }
  // What `records` are, at `address` and `position`.
  static Read Made(CSS_ControllerAddress address, std::int64_t position,
                   const CSApplicationManagerStd& records) {
    Read read;
    CSS_SiteWriter::ControllerText(read.json, address, records, true);
    read.image = ImageOf(records);
    read.etag = ControllerEtag(read.image.bytes);
    read.name = records.GetConfig().Name;
    read.position = position;
    return read;
  }

  // A change of the controller at `address` under `expect`, begun: the site locked, the
  // controller as it is (none: not there), and whether the change may go ahead (Done).
  struct Change {
    WriteStatus status = WriteStatus::Done;
    std::optional<Read> before;
  };
  Change Begin(PGconn* server, CSS_ControllerAddress address, const Expect& expect) {
    LockSite(server);
    Sync(server);
    Change change;
    if (const Known* known = KeptState(address)) {
      change.before = known->read;
    } else {
      change.before = ReadController(server, address);
    }
    change.status = expect.Check(change.before ? &change.before->etag : nullptr);
    return change;
  }

  // What `write(server, change)` returns, run in a write transaction once the controller at
  // `address` meets `expect`; otherwise why it does not.
  template <class Write>
  WriteResult Changing(CSS_ControllerAddress address, const Expect& expect, Write&& write) {
    return Transaction(kWrite, [&](PGconn* server) -> WriteResult {
      Change change = Begin(server, address, expect);
      if (change.status != WriteStatus::Done) return {change.status, {}};
      return write(server, change);
    });
  }

  // Writes `written` as the controller at `address`, which `change` found, in the change that is
  // open: the state after it, as it is kept.
  Known Put(PGconn* server, const Change& change, CSS_ControllerAddress address,
            const CSApplicationManagerStd& written, const AuditNote& note);

  // The place in the site, from 0, of the controller at `position`.
  std::size_t PlaceAt(PGconn* server, std::int64_t position) const {
    const PgResult before =
        Run(server, "SELECT count(*) FROM controllers WHERE \"Site\" = $1 AND \"Position\" < $2",
            {site, Number(position)});
    return static_cast<std::size_t>(pg::FirstInteger(before.get()).value_or(0));
  }

  static ControllerState StateOf(const Known& known) {
    return {known.read.json, known.read.etag, known.place};
  }
  ControllerState StateOf(PGconn* server, Read read) const {
    const std::size_t place = PlaceAt(server, read.position);
    return {std::move(read.json), std::move(read.etag), place};
  }

  std::vector<CSS_SiteEnumText> EnumTexts(PGconn* server) const {
    std::vector<CSS_SiteEnumText> texts;
    if (const std::vector<std::string> errors = Rows(server).EnumTexts(texts); !errors.empty())
      throw StoreError(JoinedErrors(errors));
    return texts;
  }

  // Writes the audit row of a change, and tells the site's listeners (ListenForChanges) when it
  // commits.
  void Log(PGconn* server, const AuditNote& note, std::optional<CSS_ControllerAddress> address,
           std::string_view before, std::string_view after) const {
    // The audit log is a site's: a change of the database's accounts has none (the program that
    // made it, ssmsg user, says what it did).
    if (site.empty()) return;
    Run(server, "SELECT pg_notify($1, $2)", {kChannel, site});
    const std::string interfaceId = address ? Number(address->interfaceId) : std::string();
    const std::string node = address ? Number(address->node) : std::string();
    Run(server,
        "INSERT INTO audit_log (\"Site\", \"Time\", \"User\", \"Method\", \"Path\", \"Interface\", "
        "\"Node\", \"Before\", \"After\") VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9)",
        {site, Number(note.time), note.user, note.method, note.path,
         address ? std::optional<std::string_view>(interfaceId) : std::nullopt,
         address ? std::optional<std::string_view>(node) : std::nullopt, before, after});
  }

  std::optional<User> UserNamed(PGconn* server, std::string_view user) const {
    const PgResult found = Run(server, Users() + " WHERE u.\"Name\" = $2", {site, user});
    return UserAt(found.get());
  }

  // The admins of the site, the database's among them. (The database's accounts have no last
  // admin: each site has its own.)
  std::int64_t Admins(PGconn* server) const {
    if (site.empty()) return 2;
    const PgResult admins = Run(server, Users() + " WHERE r.\"Role\" = 'admin'", {site});
    return PQntuples(admins.get());
  }

  void EndLogins(PGconn* server, std::int64_t user) const {
    const std::string id = Number(user);
    Run(server, "DELETE FROM sessions WHERE \"User\" = $1", {id});
    Run(server, "DELETE FROM api_tokens WHERE \"User\" = $1", {id});
  }
};

namespace {

// Hears the notices of one site.
class NoticeListener final : public ChangeListener {
 public:
  NoticeListener(std::shared_ptr<PgStore::Link> link, std::string site)
      : link_(std::move(link)), site_(std::move(site)), seen_(link_->notices.Count(site_)) {}
  bool Wait(std::chrono::milliseconds timeout) override {
    return link_->notices.Wait(site_, seen_, timeout);
  }

 private:
  std::shared_ptr<PgStore::Link> link_;
  std::string site_;
  std::uint64_t seen_;
};

}  // namespace

std::unique_ptr<ChangeListener> PgStore::ListenForChanges() {
  return std::make_unique<NoticeListener>(state_->link, state_->site);
}

PgStore::PgStore(std::unique_ptr<State> state) : state_(std::move(state)) {}
PgStore::~PgStore() = default;

PgStore::Opened PgStore::Open(std::string_view location) {
  return OpenAt(location, false);
}

PgStore::Opened PgStore::OpenAccounts(std::string_view location) {
  return OpenAt(location, true);
}

PgStore::Opened PgStore::OpenAt(std::string_view location, bool accounts) {
  auto parsed = pg::ParseLocation(location);
  if (!parsed) return Failure{"the PostgreSQL location: " + parsed.error()};
  if (parsed->site.empty() && !accounts)
    return Failure{parsed->name + ": no site named: add ?site=NAME to the URI"};
  auto state = std::make_unique<State>();
  state->link = std::make_shared<Link>(parsed->conninfo, parsed->name);
  if (accounts) state->roleJoin = kAnyRole;
  state->location = location;
  state->name = parsed->name;
  state->siteName = parsed->site;
  try {
    PGconn* server = state->link->Use();
    Run(server, kRead);
    const int version = pg::SchemaVersion(server);
    if (version == 0) {
      return Failure{state->name +
                     ": not a site database (it has no tables of sites: make them with ssmsg "
                     "migrate " +
                     state->name + ")"};
    }
    if (version != kPostgresSchemaVersion) {
      return Failure{state->name + ": the database has tables of sites of schema version " +
                     std::to_string(version) + ", older than this ssmsg serves (" +
                     std::to_string(kPostgresSchemaVersion) +
                     "); bring them up to date with: " + "ssmsg migrate " + state->name};
    }
    if (!accounts) {
      const std::optional<std::string> site = pg::SiteId(server, state->siteName);
      if (!site) {
        return Failure{state->name + ": the database has no site named \"" + state->siteName +
                       "\""};
      }
      state->site = *site;
    }
    Run(server, "COMMIT");
  } catch (const pg::PgError& error) {
    return Failure{state->name + ": " + error.what()};
  }
  return std::unique_ptr<PgStore>(new PgStore(std::move(state)));
}

Result<std::unique_ptr<Store>, std::string> OpenPgStore(std::string_view location) {
  PgStore::Opened opened = PgStore::Open(location);
  if (!opened) return Failure{std::move(opened.error())};
  return std::unique_ptr<Store>(std::move(*opened));
}

std::unique_ptr<Store> PgStore::SiteOf(const std::string& name) {
  const std::optional<std::string> id =
      state_->Transaction(kRead, [&](PGconn* server) { return pg::SiteId(server, name); });
  if (!id) return nullptr;
  auto state = std::make_unique<State>();
  state->link = state_->link;
  const std::string& conninfo = state->link->conninfo;
  // The site's name, percent-encoded as a URI's query wants it.
  state->location = conninfo + (conninfo.find('?') == std::string::npos ? "?" : "&") +
                    "site=" + PercentEncode(name);
  state->name = state_->name;
  state->siteName = name;
  state->site = *id;
  return std::unique_ptr<PgStore>(new PgStore(std::move(state)));
}

Result<std::unique_ptr<Store>, std::string> OpenPgAccounts(std::string_view location) {
  PgStore::Opened opened = PgStore::OpenAccounts(location);
  if (!opened) return Failure{std::move(opened.error())};
  return std::unique_ptr<Store>(std::move(*opened));
}

Result<std::vector<std::string>, std::string> PgSiteNames(std::string_view location) {
  const auto parsed = pg::ParseLocation(location);
  if (!parsed) return Failure{"the PostgreSQL location: " + parsed.error()};
  try {
    const pg::Connection connection = pg::Connect(parsed->conninfo);
    const PgResult rows =
        Run(connection.get(), "SELECT \"Name\" FROM sites ORDER BY \"Name\" COLLATE \"C\"");
    std::vector<std::string> names;
    for (int row = 0; row < PQntuples(rows.get()); ++row)
      names.push_back(Text(rows.get(), row, 0));
    return names;
  } catch (const pg::PgError& error) {
    return Failure{parsed->name + ": " + error.what()};
  }
}

std::unique_ptr<Store> OpenPgSite(std::string_view location, const std::string& name) {
  PgStore::Opened accounts = PgStore::OpenAccounts(location);
  if (!accounts) throw StoreUnavailable(accounts.error());
  return (*accounts)->SiteOf(name);
}

std::string PgStore::FileName() const {
  return state_->name;
}

// --- The site -----------------------------------------------------------------------------------

std::string PgStore::SiteJson() {
  const CSS_SiteLoadResult site = LoadSite(state_->location);
  if (!site.site) {
    const std::string errors = JoinedErrors(site.errors);
    if (site.unreadable) throw StoreUnavailable(errors);
    throw StoreError(errors);
  }
  return site.site->ToJson();
}

std::vector<ControllerSummary> PgStore::Controllers() {
  return state_->Transaction(kRead, [&](PGconn* server) {
    state_->Sync(server);
    if (state_->kept.list) return *state_->kept.list;
    std::vector<ControllerSummary> list;
    const std::vector<std::string> errors = state_->Rows(server).ReadEach(
        state_->records, [&](const pg::SiteRows::Placed& placed, CSApplicationManagerStd& records) {
          list.push_back(
              {placed.address, records.GetConfig().Name, ControllerEtag(ImageOf(records).bytes)});
        });
    if (!errors.empty()) throw StoreError(JoinedErrors(errors));
    state_->kept.list = list;
    return list;
  });
}

std::optional<ControllerState> PgStore::Controller(CSS_ControllerAddress address) {
  // Most often the site did not change since the controller was read: one statement tells.
  std::optional<ControllerState> kept =
      state_->Transaction(kOne, [&](PGconn* server) -> std::optional<ControllerState> {
        state_->Sync(server);
        const State::Known* found = state_->KeptState(address);
        return found ? std::optional(State::StateOf(*found)) : std::nullopt;
      });
  if (kept) return kept;
  return state_->Transaction(kRead, [&](PGconn* server) -> std::optional<ControllerState> {
    state_->Sync(server);
    if (const State::Known* found = state_->KeptState(address)) return State::StateOf(*found);
    std::optional<State::Read> read = state_->ReadController(server, address);
    if (!read) return std::nullopt;
    State::Known known{std::move(*read), 0};
    known.place = state_->PlaceAt(server, known.read.position);
    ControllerState state = State::StateOf(known);
    state_->Keep(address, std::move(known));
    return state;
  });
}

Store::Place PgStore::PlaceOf(CSS_ControllerAddress address) {
  return state_->Transaction(kRead, [&](PGconn* server) {
    const std::optional<std::int64_t> position = state_->Rows(server).PositionOf(address);
    if (position) return Place{true, state_->PlaceAt(server, *position)};
    const PgResult count =
        Run(server, "SELECT count(*) FROM controllers WHERE \"Site\" = $1", {state_->site});
    return Place{false, static_cast<std::size_t>(pg::FirstInteger(count.get()).value_or(0))};
  });
}

std::string PgStore::EnumsJson() {
  return state_->Transaction(
      kRead, [&](PGconn* server) { return EnumsJsonOf(state_->EnumTexts(server)); });
}

PgStore::State::Known PgStore::State::Put(PGconn* server, const Change& change,
                                          CSS_ControllerAddress address,
                                          const CSApplicationManagerStd& written,
                                          const AuditNote& note) {
  const std::optional<Read>& before = change.before;
  const pg::SiteRows rows = Rows(server);
  const std::int64_t position = before ? before->position : rows.NextPosition();
  Read after = Made(address, position, written);
  // Only the tables of the parts that changed are written again (all of them for a new one).
  db::TableSet tables = db::TableSet().set();
  if (before) {
    tables = db::TablesOfParts(ChangedParts(before->image, after.image));
    rows.Remove(address, tables);
  }
  rows.Write(position, address, written, tables);
  Log(server, note, address, before ? std::string_view(before->json) : "null", after.json);
  Known known{std::move(after), 0};
  known.place = PlaceAt(server, position);
  return known;
}

WriteResult PgStore::PutController(CSS_ControllerAddress address, const Expect& expect,
                                   const CSApplicationManagerStd& records, const AuditNote& note) {
  return state_->Changing(address, expect, [&](PGconn* server, const State::Change& change) {
    State::Known known = state_->Put(server, change, address, records, note);
    WriteResult written{WriteStatus::Done, State::StateOf(known)};
    state_->KeepWritten(server, address, std::move(known));
    return written;
  });
}

BatchResult PgStore::PutControllers(std::span<const ControllerPut> puts, const AuditNote& note) {
  return state_->Transaction(kWrite, [&](PGconn* server) -> BatchResult {
    BatchResult result;
    std::vector<State::Change> changes;
    changes.reserve(puts.size());
    for (std::size_t k = 0; k < puts.size(); ++k) {
      changes.push_back(state_->Begin(server, puts[k].address, puts[k].expect));
      if (changes.back().status != WriteStatus::Done) {
        result.status = changes.back().status;
        result.failed = k;
        return result;
      }
    }
    // What is kept is read again once the site's version has moved on.
    for (std::size_t k = 0; k < puts.size(); ++k) {
      result.states.push_back(
          State::StateOf(state_->Put(server, changes[k], puts[k].address, *puts[k].records, note)));
    }
    return result;
  });
}

WriteResult PgStore::DeleteController(CSS_ControllerAddress address, const Expect& expect,
                                      const AuditNote& note) {
  return state_->Changing(address, expect, [&](PGconn* server, const State::Change& change) {
    const std::optional<State::Read>& before = change.before;
    if (!before) return WriteResult{WriteStatus::NotFound, {}};
    // What was last sent to it stays until it is marked sent as removed.
    state_->Rows(server).Remove(address);
    state_->Log(server, note, address, before->json, "null");
    return WriteResult{WriteStatus::Done, {}};
  });
}

std::optional<PendingSites> PgStore::Pending(CSS_ControllerAddress address) {
  return state_->Transaction(kRead, [&](PGconn* server) -> std::optional<PendingSites> {
    std::optional<State::Read> read = state_->ReadController(server, address);
    if (!read) return std::nullopt;
    PendingSites sites{ControllerSite(state_->EnumTexts(server), read->json),
                       read->etag,
                       {},
                       state_->PlaceAt(server, read->position),
                       read->name};
    const PgResult sent = Run(server,
                              "SELECT \"SiteFile\" FROM sent_controllers WHERE \"Site\" = $1 AND "
                              "\"Interface\" = $2 AND \"Node\" = $3",
                              {state_->site, Number(address.interfaceId), Number(address.node)});
    if (PQntuples(sent.get()) == 1) sites.sent = Text(sent.get(), 0, 0);
    return sites;
  });
}

std::vector<SentMark> PgStore::SentMarks() {
  return state_->Transaction(kRead, [&](PGconn* server) {
    const PgResult found = Run(server,
                               "SELECT \"Interface\", \"Node\", \"Time\", \"SiteFile\" FROM "
                               "sent_controllers WHERE \"Site\" = $1",
                               {state_->site});
    std::vector<SentMark> marks;
    for (int row = 0; row < PQntuples(found.get()); ++row) {
      const PGresult* result = found.get();
      marks.push_back({{static_cast<std::int32_t>(Int(result, row, 0)),
                        static_cast<std::int32_t>(Int(result, row, 1))},
                       Int(result, row, 2),
                       SentStamp({PQgetvalue(result, row, 3),
                                  static_cast<std::size_t>(PQgetlength(result, row, 3))})});
    }
    return marks;
  });
}

WriteResult PgStore::MarkSent(CSS_ControllerAddress address, const Expect& expect,
                              const AuditNote& note) {
  return state_->Changing(address, expect, [&](PGconn* server, State::Change& change) {
    std::optional<State::Read>& read = change.before;
    if (!read) {
      // A controller removed from the site, now cleared on site.
      const PgResult forgotten =
          Run(server,
              "DELETE FROM sent_controllers WHERE \"Site\" = $1 AND \"Interface\" = $2 AND "
              "\"Node\" = $3",
              {state_->site, Number(address.interfaceId), Number(address.node)});
      if (std::string_view(PQcmdTuples(forgotten.get())) == "0")
        return WriteResult{WriteStatus::NotFound, {}};
      state_->Log(server, note, address, "null", "null");
      return WriteResult{WriteStatus::Done, {}};
    }
    Run(server,
        "INSERT INTO sent_controllers VALUES ($1, $2, $3, $4, $5) ON CONFLICT (\"Site\", "
        "\"Interface\", \"Node\") DO UPDATE SET \"SiteFile\" = EXCLUDED.\"SiteFile\", \"Time\" = "
        "EXCLUDED.\"Time\"",
        {state_->site, Number(address.interfaceId), Number(address.node),
         ControllerSite(state_->EnumTexts(server), read->json), Number(note.time)});
    state_->Log(server, note, address, read->json, read->json);
    return WriteResult{WriteStatus::Done, state_->StateOf(server, std::move(*read))};
  });
}

// The audit log's conditions on a row's user and time, numbered from $`first`: each holds when its
// parameter is null.
static std::string Filters(int first) {
  const std::string user = "$" + std::to_string(first) + "::text";
  const std::string since = "$" + std::to_string(first + 1) + "::bigint";
  const std::string until = "$" + std::to_string(first + 2) + "::bigint";
  return "(" + user + " IS NULL OR \"User\" = " + user + " OR left(\"User\", length(" + user +
         ") + 8) = " + user + " || ' (token ') AND (" + since + " IS NULL OR \"Time\" >= " + since +
         ") AND (" + until + " IS NULL OR \"Time\" < " + until + ") AND ";
}

std::vector<AuditEntry> PgStore::Audit(const AuditQuery& query, std::size_t limit) {
  return state_->Transaction(kRead, [&](PGconn* server) {
    const bool newest = query.before.has_value();
    std::int64_t bound = newest ? *query.before : query.after;
    if (newest && bound <= 0) bound = std::numeric_limits<std::int64_t>::max();
    const std::string sql =
        std::string(
            "SELECT \"Id\", \"Time\", \"User\", \"Method\", \"Path\", \"Interface\", "
            "\"Node\", \"Before\", \"After\" FROM audit_log WHERE \"Site\" = $1 AND ") +
        (query.controller ? "\"Interface\" = $4 AND \"Node\" = $5 AND " : "") +
        Filters(query.controller ? 6 : 4) +
        (newest ? "\"Id\" < $2 ORDER BY \"Id\" DESC" : "\"Id\" > $2 ORDER BY \"Id\"") + " LIMIT $3";
    const std::optional<std::string_view> user =
        query.user ? std::optional<std::string_view>(*query.user) : std::nullopt;
    const std::optional<std::string> sinceText =
        query.since ? std::optional(Number(*query.since)) : std::nullopt;
    const std::optional<std::string> untilText =
        query.until ? std::optional(Number(*query.until)) : std::nullopt;
    const std::optional<std::string_view> since =
        sinceText ? std::optional<std::string_view>(*sinceText) : std::nullopt;
    const std::optional<std::string_view> until =
        untilText ? std::optional<std::string_view>(*untilText) : std::nullopt;
    const std::string interfaceId = query.controller ? Number(query.controller->interfaceId) : "";
    const std::string node = query.controller ? Number(query.controller->node) : "";
    const PgResult rows =
        query.controller
            ? Run(server, sql,
                  {state_->site, Number(bound), Number(static_cast<std::int64_t>(limit)),
                   interfaceId, node, user, since, until})
            : Run(server, sql,
                  {state_->site, Number(bound), Number(static_cast<std::int64_t>(limit)), user,
                   since, until});
    std::vector<AuditEntry> entries;
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
      AuditEntry& entry = entries.emplace_back();
      const PGresult* r = rows.get();
      entry.id = Int(r, row, 0);
      entry.note = {Text(r, row, 2), Text(r, row, 3), Text(r, row, 4), Int(r, row, 1)};
      if (!IsNull(r, row, 5) && !IsNull(r, row, 6)) {
        entry.controller = CSS_ControllerAddress{static_cast<std::int32_t>(Int(r, row, 5)),
                                                 static_cast<std::int32_t>(Int(r, row, 6))};
      }
      entry.before = Text(r, row, 7);
      entry.after = Text(r, row, 8);
    }
    return entries;
  });
}

ChangePage PgStore::Changes(std::int64_t after, std::size_t limit) {
  return state_->Transaction(kRead, [&](PGconn* server) {
    ChangePage page;
    const PgResult rows =
        Run(server,
            "SELECT \"Id\", \"Time\", \"Interface\", \"Node\", \"Method\" = 'POST' AND "
            "\"Path\" LIKE '%/sent', \"Before\" = 'null', "
            "\"After\" = 'null' FROM audit_log WHERE \"Site\" = $1 AND \"Id\" > $2 AND "
            "\"Interface\" IS NOT NULL ORDER BY \"Id\" LIMIT $3",
            {state_->site, Number(after), Number(static_cast<std::int64_t>(limit))});
    const PGresult* r = rows.get();
    for (int row = 0; row < PQntuples(r); ++row) {
      ChangeRow& change = page.changes.emplace_back();
      change.id = Int(r, row, 0);
      change.time = Int(r, row, 1);
      change.controller = {static_cast<std::int32_t>(Int(r, row, 2)),
                           static_cast<std::int32_t>(Int(r, row, 3))};
      if (True(r, row, 6)) {
        change.kind = ChangeKind::Deleted;
      } else if (True(r, row, 4)) {
        change.kind = ChangeKind::Sent;
      } else {
        change.kind = True(r, row, 5) ? ChangeKind::Created : ChangeKind::Changed;
      }
    }
    if (!page.changes.empty() && page.changes.size() == limit) {
      page.last = page.changes.back().id;
    } else {
      const PgResult latest =
          Run(server, "SELECT coalesce(max(\"Id\"), 0) FROM audit_log WHERE \"Site\" = $1",
              {state_->site});
      page.last = std::max(after, pg::FirstInteger(latest.get()).value_or(0));
    }
    return page;
  });
}

std::int64_t PgStore::LatestAudit() {
  if (state_->site.empty()) return 0;  // the accounts of the whole database have no audit
  return state_->Transaction(kOne, [&](PGconn* server) {
    const PgResult latest =
        Run(server, "SELECT coalesce(max(\"Id\"), 0) FROM audit_log WHERE \"Site\" = $1",
            {state_->site});
    return pg::FirstInteger(latest.get()).value_or(0);
  });
}

// --- Accounts -----------------------------------------------------------------------------------

std::vector<User> PgStore::Users() {
  return state_->Transaction(kRead, [&](PGconn* server) {
    const PgResult rows =
        Run(server, state_->Users() + " ORDER BY u.\"Name\" COLLATE \"C\"", {state_->site});
    std::vector<User> users;
    for (int row = 0; std::optional<User> user = UserAt(rows.get(), row); ++row)
      users.push_back(std::move(*user));
    return users;
  });
}

std::optional<User> PgStore::FindUser(std::string_view name) {
  return state_->Transaction(kOne, [&](PGconn* server) { return state_->UserNamed(server, name); });
}

std::optional<User> PgStore::FindUserById(std::int64_t id) {
  return state_->Transaction(kOne, [&](PGconn* server) {
    const PgResult found =
        Run(server, state_->Users() + " WHERE u.\"Id\" = $2", {state_->site, Number(id)});
    return UserAt(found.get());
  });
}

std::vector<SiteRole> PgStore::SitesOf(std::int64_t id) {
  return state_->Transaction(kOne, [&](PGconn* server) {
    // A database admin is an admin of every site.
    const PgResult rows = Run(
        server,
        "SELECT s.\"Name\", CASE WHEN u.\"DatabaseAdmin\" THEN 'admin' ELSE r.\"Role\" END FROM "
        "sites s JOIN users u ON u.\"Id\" = $1 LEFT JOIN site_roles r ON r.\"Site\" = s.\"Id\" AND "
        "r.\"User\" = u.\"Id\" WHERE u.\"DatabaseAdmin\" OR r.\"Role\" IS NOT NULL ORDER BY "
        "s.\"Name\" COLLATE \"C\"",
        {Number(id)});
    std::vector<SiteRole> sites;
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
      sites.push_back({Text(rows.get(), row, 0),
                       RoleFromName(Text(rows.get(), row, 1)).value_or(Role::Viewer)});
    }
    return sites;
  });
}

UserWrite PgStore::AddUser(const User& user, const AuditNote& note) {
  // A user added to the database's accounts is a database admin (OpenAccounts).
  const bool accounts = state_->site.empty();
  return state_->Transaction(kWrite, [&](PGconn* server) {
    state_->LockSite(server);
    // A name is the database's: one taken in another site is taken here too.
    const PgResult added =
        Run(server,
            "INSERT INTO users (\"Name\", \"PasswordHash\", \"DatabaseAdmin\") "
            "VALUES ($1, $2, $3) ON CONFLICT (\"Name\") DO NOTHING RETURNING \"Id\"",
            {user.name, user.passwordHash, accounts ? "true" : "false"});
    if (PQntuples(added.get()) != 1) return UserWrite::Exists;
    if (!accounts) {
      Run(server, "INSERT INTO site_roles VALUES ($1, $2, $3)",
          {state_->site, Text(added.get(), 0, 0), RoleName(user.role)});
    }
    state_->Log(server, note, std::nullopt, "null", UserChange(user.name, user.role));
    return UserWrite::Done;
  });
}

UserWrite PgStore::UpdateUser(std::string_view name, Role role,
                              const std::optional<std::string>& passwordHash,
                              const AuditNote& note) {
  return state_->Transaction(kWrite, [&](PGconn* server) {
    state_->LockSite(server);
    const std::optional<User> user = state_->UserNamed(server, name);
    if (!user && !passwordHash && !state_->site.empty()) {
      // A user of another site of the database gets a role in this one, and keeps their password
      // and logins.
      const PgResult granted = Run(server,
                                   "INSERT INTO site_roles SELECT $1, \"Id\", $3 FROM users WHERE "
                                   "\"Name\" = $2 RETURNING \"User\"",
                                   {state_->site, name, RoleName(role)});
      if (PQntuples(granted.get()) != 1) return UserWrite::NotFound;
      std::vector<std::string_view> changed{"role"};
      state_->Log(server, note, std::nullopt, "null",
                  UserChange(std::string(name), role, &changed));
      return UserWrite::Done;
    }
    if (!user) return UserWrite::NotFound;
    if (user->role == Role::Admin && role != Role::Admin && state_->Admins(server) == 1)
      return UserWrite::LastAdmin;
    const std::string id = Number(user->id);
    if (state_->site.empty()) {
      Run(server, "UPDATE users SET \"DatabaseAdmin\" = $2 WHERE \"Id\" = $1",
          {id, role == Role::Admin ? "true" : "false"});
    } else {
      Run(server, "UPDATE site_roles SET \"Role\" = $3 WHERE \"Site\" = $1 AND \"User\" = $2",
          {state_->site, id, RoleName(role)});
    }
    if (passwordHash) {
      Run(server, "UPDATE users SET \"PasswordHash\" = $2 WHERE \"Id\" = $1", {id, *passwordHash});
      state_->EndLogins(server, user->id);
    }
    std::vector<std::string_view> changed;
    if (role != user->role) changed.emplace_back("role");
    if (passwordHash) changed.emplace_back("password");
    state_->Log(server, note, std::nullopt, "null", UserChange(user->name, role, &changed));
    return UserWrite::Done;
  });
}

UserWrite PgStore::RemoveUser(std::string_view name, const AuditNote& note) {
  return state_->Transaction(kWrite, [&](PGconn* server) {
    state_->LockSite(server);
    const std::optional<User> user = state_->UserNamed(server, name);
    if (!user) return UserWrite::NotFound;
    if (user->role == Role::Admin && state_->Admins(server) == 1) return UserWrite::LastAdmin;
    const std::string id = Number(user->id);
    if (state_->site.empty()) {
      // From the database's accounts: the user, with their roles and logins.
      Run(server, "DELETE FROM users WHERE \"Id\" = $1", {id});
    } else {
      Run(server, "DELETE FROM site_roles WHERE \"Site\" = $1 AND \"User\" = $2",
          {state_->site, id});
      // A user of no site any more is no user: their logins end with them. One who keeps a role
      // elsewhere (or is a database admin) keeps their logins, which this site takes no more.
      Run(server,
          "DELETE FROM users WHERE \"Id\" = $1 AND NOT \"DatabaseAdmin\" AND NOT EXISTS (SELECT 1 "
          "FROM site_roles WHERE \"User\" = $1)",
          {id});
    }
    state_->Log(server, note, std::nullopt, "null", UserChange(user->name, user->role));
    return UserWrite::Done;
  });
}

std::optional<std::int64_t> PgStore::AddToken(const User& user, const std::string& tokenHash,
                                              const Token& token, const AuditNote& note) {
  return state_->Transaction(kWrite, [&](PGconn* server) -> std::optional<std::int64_t> {
    state_->LockSite(server);
    const std::string expires = token.expires ? Number(*token.expires) : std::string();
    // Only for the user as read, with the password checked and a role here: not one who took over
    // the id since.
    const PgResult added = Run(
        server,
        "INSERT INTO api_tokens (\"Hash\", \"User\", \"Name\", \"Created\", \"Expires\") SELECT "
        "$2, $3, $4, $5, $6 WHERE EXISTS (SELECT 1 FROM users u " +
            state_->roleJoin + " WHERE u.\"Id\" = $3 AND u.\"PasswordHash\" = $7) RETURNING \"Id\"",
        {state_->site, tokenHash, Number(user.id), token.name, Number(token.created),
         token.expires ? std::optional<std::string_view>(expires) : std::nullopt,
         user.passwordHash});
    if (PQntuples(added.get()) != 1) return std::nullopt;
    Token made = token;
    made.id = Int(added.get(), 0, 0);
    state_->Log(server, note, std::nullopt, "null", TokenChange(user.name, made));
    return made.id;
  });
}

std::optional<TokenUser> PgStore::FindToken(const std::string& tokenHash, std::int64_t now) {
  return state_->Transaction(kOne, [&](PGconn* server) -> std::optional<TokenUser> {
    // A token ends at its "Expires": from that second on it is not accepted.
    const PgResult found = Run(server,
                               state_->Users(kTokenColumns) +
                                   " JOIN api_tokens t ON t.\"User\" = u.\"Id\" WHERE t.\"Hash\" "
                                   "= $2 AND (t.\"Expires\" IS NULL OR t.\"Expires\" > $3)",
                               {state_->site, tokenHash, Number(now)});
    std::optional<User> user = UserAt(found.get());
    if (!user) return std::nullopt;
    return TokenUser{std::move(*user), TokenAt(found.get(), 0, 4)};
  });
}

std::optional<std::vector<Token>> PgStore::Tokens(std::string_view name) {
  return state_->Transaction(kRead, [&](PGconn* server) -> std::optional<std::vector<Token>> {
    const std::optional<User> user = state_->UserNamed(server, name);
    if (!user) return std::nullopt;
    const PgResult rows = Run(server,
                              "SELECT " + std::string(kTokenColumns) +
                                  " FROM api_tokens t WHERE t.\"User\" = $1 ORDER BY t.\"Id\"",
                              {Number(user->id)});
    std::vector<Token> tokens;
    for (int row = 0; row < PQntuples(rows.get()); ++row)
      tokens.push_back(TokenAt(rows.get(), row, 0));
    return tokens;
  });
}

UserWrite PgStore::RemoveToken(std::string_view name, std::int64_t id, const AuditNote& note) {
  return state_->Transaction(kWrite, [&](PGconn* server) {
    state_->LockSite(server);
    const std::optional<User> user = state_->UserNamed(server, name);
    if (!user) return UserWrite::NotFound;
    const PgResult removed = Run(server,
                                 "DELETE FROM api_tokens t WHERE t.\"User\" = $1 AND t.\"Id\" = "
                                 "$2 RETURNING " +
                                     std::string(kTokenColumns),
                                 {Number(user->id), Number(id)});
    if (PQntuples(removed.get()) != 1) return UserWrite::NotFound;
    state_->Log(server, note, std::nullopt, "null",
                TokenChange(user->name, TokenAt(removed.get(), 0, 0)));
    return UserWrite::Done;
  });
}

bool PgStore::AddSession(const Session& session, std::string_view passwordHash) {
  return state_->Transaction(kWrite, [&](PGconn* server) {
    const PgResult added =
        Run(server,
            "INSERT INTO sessions SELECT $2, $3, $4, $5, $6 WHERE EXISTS (SELECT 1 FROM users u " +
                state_->roleJoin + " WHERE u.\"Id\" = $3 AND u.\"PasswordHash\" = $7)",
            {state_->site, session.idHash, Number(session.userId), session.csrf,
             Number(session.created), Number(session.lastSeen), passwordHash});
    return std::string_view(PQcmdTuples(added.get())) == "1";
  });
}

std::optional<Session> PgStore::FindSession(const std::string& idHash) {
  return state_->Transaction(kOne, [&](PGconn* server) -> std::optional<Session> {
    const PgResult found = Run(server,
                               "SELECT \"User\", \"Csrf\", \"Created\", \"LastSeen\" FROM sessions "
                               "WHERE \"IdHash\" = $1",
                               {idHash});
    const PGresult* r = found.get();
    if (PQntuples(r) != 1) return std::nullopt;
    return Session{idHash, Int(r, 0, 0), Text(r, 0, 1), Int(r, 0, 2), Int(r, 0, 3)};
  });
}

void PgStore::TouchSession(const std::string& idHash, std::int64_t now) {
  state_->Transaction(kWrite, [&](PGconn* server) {
    Run(server, "UPDATE sessions SET \"LastSeen\" = $2 WHERE \"IdHash\" = $1",
        {idHash, Number(now)});
    return true;
  });
}

void PgStore::RemoveSession(const std::string& idHash) {
  state_->Transaction(kWrite, [&](PGconn* server) {
    Run(server, "DELETE FROM sessions WHERE \"IdHash\" = $1", {idHash});
    return true;
  });
}

void PgStore::EndStaleSessions(std::int64_t seenBy, std::int64_t madeBy) {
  state_->Transaction(kWrite, [&](PGconn* server) {
    Run(server, "DELETE FROM sessions WHERE \"LastSeen\" <= $1 OR \"Created\" <= $2",
        {Number(seenBy), Number(madeBy)});
    return true;
  });
}

std::pair<LoginFailures, LoginFailures> PgStore::FindLoginFailures(std::string_view name,
                                                                   std::string_view address,
                                                                   std::int64_t since) {
  return state_->Transaction(kRead, [&](PGconn* server) {
    const auto find = [&](std::string_view kind, std::string_view key) {
      const PgResult found = Run(server,
                                 "SELECT \"Count\", \"Last\" FROM login_failures WHERE \"Kind\" = "
                                 "$1 AND \"Key\" = $2 AND \"Last\" > $3",
                                 {kind, key, Number(since)});
      return PQntuples(found.get()) == 1
                 ? LoginFailures{Int(found.get(), 0, 0), Int(found.get(), 0, 1)}
                 : LoginFailures{};
    };
    return std::pair{find("name", name), find("address", address)};
  });
}

void PgStore::CountLoginFailure(std::string_view name, std::string_view address, std::int64_t now,
                                std::int64_t since, std::int64_t keep) {
  state_->Transaction(kWrite, [&](PGconn* server) {
    const PgResult next = Run(server, "SELECT coalesce(max(\"Seq\"), 0) + 1 FROM login_failures");
    // The name and the address of one failure share its number.
    const std::int64_t number = pg::FirstInteger(next.get()).value_or(1);
    for (const auto& [kind, key] : {std::pair{"name", name}, std::pair{"address", address}}) {
      Run(server,
          "INSERT INTO login_failures AS f VALUES ($1, $2, 1, $3, $4) ON CONFLICT (\"Kind\", "
          "\"Key\") DO UPDATE SET \"Count\" = CASE WHEN f.\"Last\" <= $5 THEN 1 ELSE f.\"Count\" "
          "+ 1 END, \"Last\" = $3, \"Seq\" = $4",
          {kind, key, Number(now), Number(number), Number(since)});
    }
    Run(server, "DELETE FROM login_failures WHERE \"Seq\" <= $1", {Number(number - keep)});
    return true;
  });
}

void PgStore::ForgetLoginFailures(std::string_view name) {
  state_->Transaction(kWrite, [&](PGconn* server) {
    Run(server, "DELETE FROM login_failures WHERE \"Kind\" = 'name' AND \"Key\" = $1", {name});
    return true;
  });
}

}  // namespace ssmsg::server
