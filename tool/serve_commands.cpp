// The site editor's subcommands: serve (the server over a site database, or a site of a
// PostgreSQL database) and user (its accounts).

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "command.h"
#include "platform/InputFile.h"
#include "platform/ReadSecret.h"
#include "platform/StopSignal.h"
#include "server/Accounts.h"
#include "server/Api.h"
#include "server/Daemon.h"
#include "server/OpenStore.h"
#include "server/PgStore.h"
#include "server/Service.h"
#include "server/SiteDirectory.h"
#include "server/pages/Pages.h"
#include "site/pg/Location.h"

namespace ssmsg::tool {
namespace {

using namespace server;

constexpr std::size_t kMaxPemBytes = std::size_t{1} << 20;

// The whole of the small file `name` (a certificate, a key), or nothing after saying why.
std::optional<std::string> ReadSmallFile(const std::string& name, const std::string& what) {
  int error = 0;
  const std::unique_ptr<InputFile> in = InputFile::Open(name, error);
  std::string text;
  while (in && text.size() <= kMaxPemBytes) {
    char buffer[16384];
    const std::int64_t got = in->Read(buffer, sizeof buffer);
    if (got < 0) error = static_cast<int>(-got);
    if (got <= 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  if (error != 0) {
    Complain("serve: " + what + " " + name + ": cannot read the file: " + std::strerror(error));
    return std::nullopt;
  }
  if (text.size() > kMaxPemBytes) {
    Complain("serve: " + what + " " + name + ": larger than 1 MiB; is it a PEM file?");
    return std::nullopt;
  }
  return text;
}

// The site at `location` (a site database, or a site of a PostgreSQL database) opened for the
// site editor, or nothing after saying why.
std::unique_ptr<Store> OpenSite(const std::string& location) {
  Result<std::unique_ptr<Store>, std::string> opened = OpenStore(location);
  if (!opened) {
    std::fprintf(stderr, "%s\n", opened.error().c_str());
    return nullptr;
  }
  return std::move(*opened);
}

bool StartCrypto() {
  if (InitCrypto()) return true;
  Complain("the crypto library cannot start (is there a source of random numbers?)");
  return false;
}

// --- serve --------------------------------------------------------------------------------------

struct ServeOptions {
  std::string config;
  std::string listen = "127.0.0.1:8080";
  std::string tlsCertificate;
  std::string tlsKey;
  std::vector<std::string> hosts;
};

// Whether `location` names a PostgreSQL database rather than one site of it.
bool IsDatabaseOfSites(const std::string& location) {
  if (!pg::IsLocation(location)) return false;
  const auto parsed = pg::ParseLocation(location);
  return parsed && parsed->site.empty();
}

// The address the daemon serves, for its first line.
std::string Served(const Listen& listen, bool tls, const Daemon& daemon) {
  const bool v6 = listen.address.find(':') != std::string::npos;
  return std::string(tls ? "https" : "http") + "://" +
         (v6 ? "[" + listen.address + "]" : listen.address) + ":" + std::to_string(daemon.Port()) +
         "/";
}

// Serves until stopped; the exit status.
int ServeUntilStopped(RequestHandler& handler, DaemonOptions& daemonOptions,
                      const std::string& what, const Listen& listen, bool tls,
                      const std::function<void(std::string_view)>& log, StopSignal& stop) {
  daemonOptions.log = log;
  std::string error;
  const std::unique_ptr<Daemon> daemon = Daemon::Start(handler, daemonOptions, error);
  if (!daemon) {
    Complain("serve: " + error);
    return kFailed;
  }
  Complain("serving " + what + " at " + Served(listen, tls, *daemon) + " (stop it with Ctrl-C)");
  stop.Wait();
  Complain("stopping: the requests being answered finish first");
  daemon->Stop();
  Complain("stopped");
  return kDone;
}

// serve for every site of a PostgreSQL database: the API of each under /api/sites/{site}/, its
// pages under /sites/{site}/.
int ServeSites(const ServeOptions& options, DaemonOptions& daemonOptions, bool tls,
               const Listen& listen) {
  auto accounts = OpenPgAccounts(options.config);
  if (!accounts) {
    Complain("serve: " + accounts.error());
    return kBadInput;
  }
  const auto names = PgSiteNames(options.config);
  if (!names) {
    Complain("serve: " + names.error());
    return kBadInput;
  }
  std::mutex logMutex;
  const std::function<void(std::string_view)> log = [&logMutex](std::string_view line) {
    const std::lock_guard lock(logMutex);
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
  };
  ServiceOptions serviceOptions;
  serviceOptions.hosts = options.hosts;
  serviceOptions.log = log;
  const std::string location = options.config;
  StopSignal stop;  // before the daemon's and the feeds' threads start, which inherit it
  SiteDirectory sites(std::move(*accounts), serviceOptions,
                      {[](Service& service) {
                         AddApiRoutes(service);
                         AddPageRoutes(service);
                       },
                       AddSitesPages},
                      std::chrono::milliseconds(100));
  return ServeUntilStopped(
      sites, daemonOptions,
      "the " + std::to_string(names->size()) + " sites of " + pg::ParseLocation(location)->name,
      listen, tls, log, stop);
}

int RunServe(const ServeOptions& options, const CLI::App&, Output&) {
  const Listen listen = ParseListen(options.listen);
  if (!listen.error.empty()) {
    Complain("serve: --listen " + options.listen + ": " + listen.error);
    return kBadInput;
  }
  const bool tls = !options.tlsCertificate.empty() || !options.tlsKey.empty();
  if (tls && (options.tlsCertificate.empty() || options.tlsKey.empty())) {
    Complain("serve: TLS needs both --tls-cert and --tls-key");
    return kBadInput;
  }
  if (!tls && !IsLoopbackAddress(listen.address)) {
    Complain("serve: " + listen.address +
             " is not a loopback address: serving it needs --tls-cert and --tls-key, or "
             "passwords and session cookies would cross the network unencrypted");
    return kBadInput;
  }
  DaemonOptions daemonOptions;
  daemonOptions.address = listen.address;
  daemonOptions.port = listen.port;
  if (tls) {
    const std::optional<std::string> certificate =
        ReadSmallFile(options.tlsCertificate, "--tls-cert");
    const std::optional<std::string> key = ReadSmallFile(options.tlsKey, "--tls-key");
    if (!certificate || !key) return kBadInput;
    if (const std::optional<std::string> why = TlsProblem(*certificate, *key)) {
      Complain("serve: --tls-cert " + options.tlsCertificate + " and --tls-key " + options.tlsKey +
               " cannot serve TLS: " + *why);
      return kBadInput;
    }
    daemonOptions.tlsCertificate = *certificate;
    daemonOptions.tlsKey = *key;
  }
  if (!StartCrypto()) return kFailed;
  if (IsDatabaseOfSites(options.config)) return ServeSites(options, daemonOptions, tls, listen);
  const std::unique_ptr<Store> store = OpenSite(options.config);
  if (!store) return kBadInput;
  // The whole site is checked once, as settings would check it.
  {
    const CSS_SiteLoadResult site = LoadSite(options.config);
    for (const std::string& error : site.errors)
      std::fprintf(stderr, "%s\n", error.c_str());
    if (!site.site) return kBadInput;
  }
  bool admin = false;
  for (const User& user : store->Users())
    admin = admin || user.role == Role::Admin;
  if (!admin) {
    Complain("serve: " + options.config +
             " has no admin account yet; add one with: ssmsg user add NAME --role admin "
             "--config " +
             options.config);
    return kBadInput;
  }

  // The requests' lines and the failures' come from the daemon's threads, one line at a time.
  std::mutex logMutex;
  const auto log = [&logMutex](std::string_view line) {
    const std::lock_guard lock(logMutex);
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
  };
  ServiceOptions serviceOptions;
  serviceOptions.hosts = options.hosts;
  serviceOptions.log = log;
  Service service(*store, serviceOptions);
  AddApiRoutes(service);
  AddPageRoutes(service);
  StopSignal stop;  // before the daemon's and the feed's threads start, which inherit it
  // Changes that other programs make to the database reach the feed's subscribers too.
  service.Feed().Watch(std::chrono::milliseconds(100));
  return ServeUntilStopped(service, daemonOptions, options.config, listen, tls, log, stop);
}

// --- user ---------------------------------------------------------------------------------------

struct UserOptions {
  // A file that user writes (a token) may be read by its owner alone.
  static constexpr bool kSecretOutput = true;
  std::string config;
  std::string name;
  std::string role;
  std::string output;
  // user token
  std::string tokenName = "token";
  std::int64_t expiresDays = 0;  // 0: never
  std::int64_t revoke = 0;       // the id of the token to revoke; 0: none
  bool list = false;
};

// The audit note of a change made on the command line: made there, by the command `command`
// ("user add eve"), which the audit log shows as "ssmsg user add eve".
AuditNote CommandNote(const std::string& command) {
  return {"command line", "ssmsg", command, static_cast<std::int64_t>(std::time(nullptr))};
}

// A new password from standard input (asked twice on a terminal), or nothing after saying why.
std::optional<std::string> NewPassword(const std::string& name) {
  std::optional<std::string> password = ReadSecret("Password for " + name + ": ");
  if (!password) {
    Complain("user: no password on standard input (give it as its first line)");
    return std::nullopt;
  }
  if (const std::optional<std::string> why = CheckPassword(*password)) {
    Complain("user: " + *why);
    return std::nullopt;
  }
  if (InputIsTerminal() && ReadSecret("The same again: ") != password) {
    Complain("user: the two passwords differ; nothing was changed");
    return std::nullopt;
  }
  return password;
}

int UserFailed(UserWrite status, const std::string& name, const std::string& config) {
  switch (status) {
    case UserWrite::NotFound:
      Complain("user: " + config + " has no user " + name);
      break;
    case UserWrite::Exists:
      Complain("user: " + config + " has a user " + name + " already");
      break;
    case UserWrite::LastAdmin:
      Complain("user: " + name + " is the last admin of " + config +
               "; make another user an admin first");
      break;
    case UserWrite::Done:
      return kDone;
  }
  return kFailed;
}

// The store of `config` for a subcommand that hashes a password or makes a token, once the name
// it was given passed its check: nullptr, with the exit status in `status`, when `badName` says
// what is wrong with the name (after `what`), the crypto library does not start or the database
// does not open.
std::unique_ptr<Store> OpenForSecrets(const std::string& config,
                                      const std::optional<std::string>& badName,
                                      const std::string& what, int& status) {
  status = kBadInput;
  if (badName) {
    Complain(what + *badName);
    return nullptr;
  }
  if (!StartCrypto()) {
    status = kFailed;
    return nullptr;
  }
  return OpenSite(config);
}

int RunUserAdd(const UserOptions& options, const CLI::App&, Output&) {
  int refused = kDone;
  const std::unique_ptr<Store> store =
      OpenForSecrets(options.config, CheckUserName(options.name), "user add: ", refused);
  if (!store) return refused;
  if (IsDatabaseOfSites(options.config) && options.role != "admin") {
    Complain("user add: a user of " + options.config +
             " itself is a database admin (--role admin); for another role, name a site "
             "(?site=NAME)");
    return kBadInput;
  }
  const std::optional<std::string> password = NewPassword(options.name);
  if (!password) return kBadInput;
  const User user{0, options.name, *RoleFromName(options.role),
                  HashPassword(*password, PasswordCost::Default())};
  const UserWrite status = store->AddUser(user, CommandNote("user add " + options.name));
  if (status != UserWrite::Done) return UserFailed(status, options.name, options.config);
  Complain("user add: " + options.name + " is a user of " + options.config + " as " + options.role);
  return kDone;
}

int RunUserPasswd(const UserOptions& options, const CLI::App&, Output&) {
  int refused = kDone;
  const std::unique_ptr<Store> store = OpenForSecrets(options.config, std::nullopt, "", refused);
  if (!store) return refused;
  const std::optional<User> user = store->FindUser(options.name);
  if (!user) return UserFailed(UserWrite::NotFound, options.name, options.config);
  const std::optional<std::string> password = NewPassword(options.name);
  if (!password) return kBadInput;
  const UserWrite status =
      store->UpdateUser(options.name, user->role, HashPassword(*password, PasswordCost::Default()),
                        CommandNote("user passwd " + options.name));
  if (status != UserWrite::Done) return UserFailed(status, options.name, options.config);
  Complain("user passwd: the password of " + options.name +
           " is changed; its sessions and API tokens have ended");
  return kDone;
}

// Opens the site and makes the change `change` to a user there: kDone, or why not (said).
int ChangeUser(const UserOptions& options, const std::function<UserWrite(Store&)>& change) {
  const std::unique_ptr<Store> store = OpenSite(options.config);
  if (!store) return kBadInput;
  const UserWrite status = change(*store);
  if (status != UserWrite::Done) return UserFailed(status, options.name, options.config);
  return kDone;
}

int RunUserRole(const UserOptions& options, const CLI::App&, Output&) {
  const int changed = ChangeUser(options, [&options](Store& store) {
    return store.UpdateUser(options.name, *RoleFromName(options.role), std::nullopt,
                            CommandNote("user role " + options.name + " --role " + options.role));
  });
  if (changed != kDone) return changed;
  if (!IsDatabaseOfSites(options.config)) {
    Complain("user role: " + options.name + " is a user of " + options.config + " as " +
             options.role);
  } else if (options.role == "admin") {
    Complain("user role: " + options.name + " is a database admin of " + options.config);
  } else {
    Complain("user role: " + options.name + " is no database admin of " + options.config +
             " now; their roles in its sites stay");
  }
  return kDone;
}

int RunUserRemove(const UserOptions& options, const CLI::App&, Output&) {
  const int changed = ChangeUser(options, [&options](Store& store) {
    return store.RemoveUser(options.name, CommandNote("user remove " + options.name));
  });
  if (changed != kDone) return changed;
  Complain("user remove: " + options.name + " is removed, with its sessions and API tokens");
  return kDone;
}

int RunUserList(const UserOptions& options, const CLI::App&, Output& output) {
  const std::unique_ptr<Store> store = OpenSite(options.config);
  if (!store) return kBadInput;
  for (const User& user : store->Users())
    output.Write(user.name + " " + std::string(RoleName(user.role)) + "\n");
  return kDone;
}

int RunUserTokens(const UserOptions& options, Store& store, Output& output) {
  const std::optional<std::vector<Token>> tokens = store.Tokens(options.name);
  if (!tokens) return UserFailed(UserWrite::NotFound, options.name, options.config);
  for (const Token& token : *tokens) {
    output.Write(std::to_string(token.id) + "\t" + token.name + "\t" + IsoTime(token.created) +
                 "\t" + (token.expires ? IsoTime(*token.expires) : std::string("never")) + "\n");
  }
  return kDone;
}

int RunUserToken(const UserOptions& options, const CLI::App&, Output& output) {
  int refused = kDone;
  const std::unique_ptr<Store> store = OpenForSecrets(
      options.config, CheckTokenName(options.tokenName), "user token: --name: ", refused);
  if (!store) return refused;
  if (options.list) return RunUserTokens(options, *store, output);
  if (options.revoke > 0) {
    if (store->RemoveToken(options.name, options.revoke,
                           CommandNote("user token " + options.name + " --revoke " +
                                       std::to_string(options.revoke))) != UserWrite::Done) {
      Complain("user token: " + options.name + " has no token " + std::to_string(options.revoke));
      return kBadInput;
    }
    Complain("user token: token " + std::to_string(options.revoke) + " of " + options.name +
             " is revoked");
    return kDone;
  }
  const std::optional<User> user = store->FindUser(options.name);
  if (!user) return UserFailed(UserWrite::NotFound, options.name, options.config);
  const AuditNote note = CommandNote("user token " + options.name);
  Token token{0, options.tokenName, note.time, {}};
  if (options.expiresDays > 0) token.expires = note.time + options.expiresDays * 24 * 60 * 60;
  const std::string secret = NewSecret();
  const std::optional<std::int64_t> id = store->AddToken(*user, SecretHash(secret), token, note);
  if (!id) {
    Complain("user token: " + options.name + " was removed or given a new password meanwhile");
    return kFailed;
  }
  output.Write(secret + "\n");
  Complain("user token: token " + std::to_string(*id) + " of " + options.name + " is made" +
           (token.expires ? ", until " + IsoTime(*token.expires) : std::string()));
  return kDone;
}

// `run`, with a failure of the database on the way (locked too long, damaged, a disk that is
// full) reported as one line and exit status 1 instead of ending the tool.
template <auto run, class Options>
int Reported(const Options& options, const CLI::App& command, Output& output) {
  try {
    return run(options, command, output);
  } catch (const std::exception& error) {
    Complain(options.config + ": " + error.what());
    return kFailed;
  }
}

CLI::Option* AddDatabase(CLI::App& command, std::string& config) {
  return command
      .add_option(
          "--config", config,
          "the site database file, or a PostgreSQL site: postgresql://HOST/DBNAME?site=NAME")
      ->required()
      ->type_name("DB");
}

}  // namespace

void AddServeCommand(CLI::App& app, CSS_Chosen& chosen) {
  const auto [serve, options] =
      AddCommand<ServeOptions>(app, "serve", chosen, Reported<RunServe, ServeOptions>);
  AddDatabase(*serve, options->config);
  serve
      ->add_option("--listen", options->listen,
                   "the address and port, ADDRESS:PORT; an address other than loopback needs "
                   "TLS")
      ->type_name("ADDRESS:PORT")
      ->default_str("127.0.0.1:8080");
  serve->add_option("--tls-cert", options->tlsCertificate, "the TLS certificate chain, a PEM file")
      ->type_name("FILE");
  serve->add_option("--tls-key", options->tlsKey, "the TLS private key, a PEM file")
      ->type_name("FILE");
  serve
      ->add_option("--allow-host", options->hosts,
                   "a host name that browsers reach the server by (besides localhost and "
                   "numeric addresses, which are always answered); may be repeated")
      ->type_name("NAME");
}

void AddUserCommand(CLI::App& app, CSS_Chosen& chosen) {
  CLI::App* user = AddGroup(app, "user");
  const auto named = [&](const char* name, auto run) {
    const auto [command, options] = AddCommand<UserOptions>(*user, name, chosen, run);
    command->add_option("NAME", options->name, "the user's name")->required();
    AddDatabase(*command, options->config);
    return std::pair{command, options};
  };
  const auto [add, addOptions] = named("add", Reported<RunUserAdd, UserOptions>);
  const auto [role, roleOptions] = named("role", Reported<RunUserRole, UserOptions>);
  for (const auto& [command, options] : {std::pair{add, addOptions}, {role, roleOptions}}) {
    command->add_option("--role", options->role, "what the user may do")
        ->required()
        ->check(CLI::IsMember({"viewer", "editor", "admin"}));
  }
  named("passwd", Reported<RunUserPasswd, UserOptions>);
  named("remove", Reported<RunUserRemove, UserOptions>);
  const auto [token, tokenOptions] = named("token", Reported<RunUserToken, UserOptions>);
  AddOutput(*token, tokenOptions->output);
  token->add_option("--name", tokenOptions->tokenName, "the new token's name, to tell it by")
      ->type_name("LABEL")
      ->default_str("token");
  token
      ->add_option("--expires", tokenOptions->expiresDays,
                   "the days until the new token ends (never when not given)")
      ->type_name("DAYS")
      ->check(CLI::Range(std::int64_t{1}, std::int64_t{36500}));
  CLI::Option* revoke = token
                            ->add_option("--revoke", tokenOptions->revoke,
                                         "revokes the user's token of this id instead")
                            ->type_name("ID")
                            ->check(CLI::PositiveNumber);
  CLI::Option* listTokens = token->add_flag(
      "--list", tokenOptions->list,
      "lists the user's tokens instead, one per line: id, name, made and ends (tab-separated)");
  revoke->excludes(listTokens);
  for (const char* made : {"--name", "--expires"}) {
    token->get_option(made)->excludes(revoke);
    token->get_option(made)->excludes(listTokens);
  }
  const auto [list, listOptions] =
      AddCommand<UserOptions>(*user, "list", chosen, Reported<RunUserList, UserOptions>);
  AddDatabase(*list, listOptions->config);
  AddOutput(*list, listOptions->output);
}

}  // namespace ssmsg::tool
