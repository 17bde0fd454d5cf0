// The site editor through the ssmsg tool, as separate processes: user keeps the accounts in the
// database, serve refuses what it cannot serve safely, serves the demo database as a new user
// would try it and stops cleanly, a server killed mid-write leaves every change it answered, and
// every other program (sqlite3 among them) shares the database with a running server.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "http_client.h"
#include "server/Accounts.h"
#include "server/JsonValue.h"
#include "server_support.h"
#include "shell.h"
#include "support.h"

namespace ssmsg::server {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Result = test::ShellResult;
using test::Answer;
using test::ReadFile;

constexpr const char* kTime = " --time 2026-12-04T09:05:07";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

// The files that process `pid` has open but that no longer have a name: a database's WAL or
// shared memory that another program removed because it believed itself their last user.
std::vector<std::string> DeletedFiles(pid_t pid) {
  std::vector<std::string> deleted;
  std::error_code gone;
  for (const fs::directory_entry& fd :
       fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", gone)) {
    const std::string target = fs::read_symlink(fd.path(), gone).string();
    if (target.find(" (deleted)") != std::string::npos) deleted.push_back(target);
  }
  return deleted;
}

// Whether process `pid` holds a POSIX lock on `file`, as /proc/locks lists them by inode.
bool HoldsLock(pid_t pid, const fs::path& file) {
  struct stat status {};
  if (stat(file.c_str(), &status) != 0) return false;
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, kind, advisory, access, owner, device;
    fields >> number >> kind >> advisory >> access >> owner >> device;
    if (kind == "POSIX" && owner == std::to_string(pid) &&
        device.substr(device.rfind(':') + 1) == std::to_string(status.st_ino))
      return true;
  }
  return false;
}

// sqlite3 in a read transaction on a database for as long as it lives (`reading` once it is).
struct ReadingSqlite {
  ReadingSqlite(const fs::path& database, const fs::path& output) {
    int fds[2];  // no other child (a server started later) may hold its input open
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    pid = fork();
    if (pid == 0) {
      dup2(fds[0], STDIN_FILENO);
      const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(out, STDOUT_FILENO);
      dup2(out, STDERR_FILENO);
      close(fds[1]);
      execlp("sqlite3", "sqlite3", database.c_str(), nullptr);
      _exit(127);
    }
    close(fds[0]);
    input = fds[1];
    const std::string start = "BEGIN; SELECT 'reading', count(*) FROM controllers;\n";
    if (write(input, start.data(), start.size()) != static_cast<ssize_t>(start.size())) return;
    for (int i = 0; i < 500 && ReadFile(output).find("reading") == std::string::npos; ++i)
      std::this_thread::sleep_for(10ms);
    reading = ReadFile(output).find("reading|") != std::string::npos;
  }
  ~ReadingSqlite() {
    if (input >= 0) close(input);  // the end of its input ends it
    if (pid > 0) waitpid(pid, nullptr, 0);
  }
  pid_t pid = -1;
  int input = -1;
  bool reading = false;
};

class ServeTool : public ::testing::Test {
 protected:
  ServeTool() { fs::copy_file(SSMSG_SOURCE_DIR "/site/demo_site.json", folder_ / "demo.json"); }
  ~ServeTool() override {
    Stop(SIGKILL);
    for (const pid_t earlier : earlier_) {
      kill(earlier, SIGKILL);
      waitpid(earlier, nullptr, 0);
    }
  }

  // Runs the shell commands `script` in the test's folder; $SSMSG is the tool.
  Result Shell(const std::string& script) {
    return test::RunShell("SSMSG='" SSMSG_TOOL "'\n" + script, folder_.Path(),
                          folder_ / "shell.out", folder_ / "shell.err");
  }
  Result Tool(const std::string& args) { return Shell("\"$SSMSG\" " + args); }

  // `ssmsg serve --config DB` on any free port (with `more` arguments), its standard error in
  // serve.log; the port, once it says it serves (0 when it does not within ten seconds). A server
  // started before goes on serving, beside this one, until the test ends.
  std::uint16_t Serve(const std::string& database, std::vector<std::string> more = {}) {
    if (server_ > 0) earlier_.push_back(std::exchange(server_, -1));
    const std::string log = (folder_ / "serve.log").string();
    std::vector<std::string> args = {
        "ssmsg", "serve", "--config", (folder_ / database).string(), "--listen", "127.0.0.1:0"};
    args.insert(args.end(), more.begin(), more.end());
    std::error_code none;
    fs::remove(log, none);  // a server started before said where it served
    std::vector<char*> argv;
    for (std::string& arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    // A test that crashes takes its server with it, and no server holds ctest's output open.
    const pid_t test = getpid();
    server_ = fork();
    if (server_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != test) _exit(127);
      const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(fd, STDOUT_FILENO);
      dup2(fd, STDERR_FILENO);
      execv(SSMSG_TOOL, argv.data());
      _exit(127);
    }
    for (int i = 0; i < 1000; ++i) {
      const std::string text = ReadFile(log);
      if (const std::size_t at = text.find("://127.0.0.1:"); at != std::string::npos)
        return static_cast<std::uint16_t>(std::stoi(text.substr(at + 13)));
      int status = 0;
      if (waitpid(server_, &status, WNOHANG) == server_) {  // it gave up
        server_ = -1;
        break;
      }
      std::this_thread::sleep_for(10ms);
    }
    if (more.empty()) ADD_FAILURE() << "serve did not start: " << ReadFile(log);
    return 0;
  }

  // Sends the server `signal` and waits for it to end: its exit status, or -signal.
  int Stop(int signal) {
    if (server_ <= 0) return 0;
    kill(server_, signal);
    int status = 0;
    waitpid(server_, &status, 0);
    server_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }

  std::string Log() { return ReadFile(folder_ / "serve.log"); }

  // A login of `name` with the password "NAME password" through the server on `port`.
  static Answer LogIn(std::uint16_t port, const std::string& name,
                      const std::string& password = {}) {
    return test::Request(
        port, "POST", "/api/session",
        {"Content-Type: application/json", "Origin: http://127.0.0.1:" + std::to_string(port)},
        "{\"name\":\"" + name + "\",\"password\":\"" +
            (password.empty() ? name + " password" : password) + "\"}");
  }

  // The shell command `ssmsg user ARGS` on site.db.
  static std::string User(const std::string& args) {
    return "\"$SSMSG\" user " + args + " --config site.db";
  }
  // The shell command that adds the user `name` of `role` to site.db, with the password
  // `password` ("NAME password" when none is given).
  static std::string UserAdd(const std::string& name, const std::string& role,
                             const std::string& password = {}) {
    return "printf '" + (password.empty() ? name + " password" : password) + "\\n' | " +
           User("add " + name + " --role " + role);
  }

  // Adds the admin `name` to site.db: her API token's header.
  std::string AddAdminWithToken(const std::string& name) {
    const Result made = Shell(UserAdd(name, "admin") + " && " + User("token " + name));
    EXPECT_EQ(made.status, 0) << made.err;
    return made.status == 0 ? "Authorization: Bearer " + made.out.substr(0, 43) : "";
  }

  // A site database of the demo site with the admin ada, and her API token's header.
  std::string DemoDatabaseWithAdmin() {
    EXPECT_EQ(Tool("convert demo.json site.db").status, 0);
    return AddAdminWithToken("ada");
  }

  // A site database of five controllers named "n0" (test::CounterSite) with the admin eve, and
  // her API token's header.
  std::string CounterDatabaseWithAdmin() {
    test::MakeDatabase(test::CounterSite(5), folder_ / "site.db");
    return AddAdminWithToken("eve");
  }

  // Sets controller 1.1's name (PATCH, after a GET for its ETag) through the server: the status.
  static int Rename(std::uint16_t port, const std::string& auth, const std::string& name) {
    const std::string target = "/api/controllers/1/1";
    const Answer read = test::Request(port, "GET", target, {auth});
    if (read.status != 200) return read.status;
    return test::Request(port, "PATCH", target,
                         {auth, "If-Match: " + read.Header("ETag"),
                          "Content-Type: application/merge-patch+json"},
                         "{\"Name\":\"" + name + "\"}")
        .status;
  }

  // Reads controller 1.`node` of a counter site ("nK") through the server on `port` and writes
  // it back counted up, under the ETag it read: the number written when that was answered 200.
  static std::optional<int> CountUp(std::uint16_t port, const std::string& auth, int node,
                                    std::chrono::milliseconds wait) {
    const std::string target = "/api/controllers/1/" + std::to_string(node);
    const Answer read = test::Request(port, "GET", target, {auth}, {}, wait);
    if (read.status != 200) return std::nullopt;
    const int number = std::stoi(ReadJson(read.body)->Find("Name")->text.substr(1)) + 1;
    const Answer write = test::Request(
        port, "PATCH", target,
        {auth, "If-Match: " + read.Header("ETag"), "Content-Type: application/merge-patch+json"},
        "{\"Name\":\"n" + std::to_string(number) + "\"}", wait);
    return write.status == 200 ? std::optional(number) : std::nullopt;
  }

  // What sqlite3 writes of `sql` on site.db, and controller 1.1's name, as another program reads
  // the database now.
  std::string Sqlite(const std::string& sql) {
    return Shell("sqlite3 site.db \"" + sql + "\"").out;
  }
  std::string NameRead() {
    return Sqlite("SELECT Name FROM controllers WHERE Interface = 1 AND Node = 1");
  }

  test::TempFolder folder_;
  pid_t server_ = -1;
  std::vector<pid_t> earlier_;  // servers started before server_, still serving
};

// The body of a chunked response as far as it has come.
std::string Dechunked(std::string_view text) {
  std::string body;
  std::size_t at = text.find("\r\n\r\n");
  if (at == std::string_view::npos) return body;
  for (at += 4;;) {
    const std::size_t end = text.find("\r\n", at);
    if (end == std::string_view::npos) break;
    const std::size_t size = std::stoul(std::string(text.substr(at, end - at)), nullptr, 16);
    if (size == 0 || end + 2 + size > text.size()) break;
    body += text.substr(end + 2, size);
    at = end + 2 + size + 2;
  }
  return body;
}

TEST_F(ServeTool, UserKeepsTheAccountsInTheDatabase) {
  ASSERT_EQ(Tool("convert demo.json site.db").status, 0);
  const struct {
    std::string command;
    int status;
    std::string err;  // how standard error starts
  } cases[] = {
      {UserAdd("ada", "admin"), 0, "ssmsg: user add: ada is a user of site.db as admin"},
      {UserAdd("eve", "editor"), 0, ""},
      {UserAdd("ada", "viewer", "other password"), 1,
       "ssmsg: user: site.db has a user ada already"},
      {UserAdd("kim", "viewer", "short"), 2, "ssmsg: user: a password has at least 8 characters"},
      {User("add kim --role viewer") + " </dev/null", 2,
       "ssmsg: user: no password on standard input"},
      {User("add 'k m' --role viewer"), 2, "ssmsg: user add: a user name"},
      {User("add kim --role boss"), 2, "ssmsg: --role: boss not in"},
      {User("remove ada"), 1, "ssmsg: user: ada is the last admin of site.db"},
      {User("remove nobody"), 1, "ssmsg: user: site.db has no user nobody"},
      {"\"$SSMSG\" user list --config demo.json", 2,
       "demo.json: not a site database (a site file?"},
  };
  for (const auto& c : cases) {
    const Result result = Shell(c.command);
    EXPECT_EQ(result.status, c.status) << c.command << "\n" << result.err;
    EXPECT_EQ(result.err.substr(0, c.err.size()), c.err) << c.command;
  }
  EXPECT_EQ(Shell(User("list")).out, "ada admin\neve editor\n");

  // A token is printed once and kept as a hash; a new password or the user's removal ends it.
  const Result token = Shell(User("token eve"));
  ASSERT_EQ(token.status, 0);
  EXPECT_EQ(token.out.size(), 44U);
  EXPECT_EQ(
      Sqlite("SELECT count(*) FROM api_tokens WHERE Hash = '" + token.out.substr(0, 43) + "'"),
      "0\n");
  const std::unique_ptr<DatabaseStore> store = test::OpenDatabase(folder_ / "site.db");
  const auto eve = [&] { return store->FindToken(SecretHash(token.out.substr(0, 43)), 0); };
  EXPECT_TRUE(eve());
  EXPECT_EQ(Shell("printf 'new password\\n' | " + User("passwd eve")).status, 0);
  EXPECT_FALSE(eve());
  EXPECT_TRUE(VerifyPassword(store->FindUser("eve")->passwordHash, "new password"));
  EXPECT_EQ(Shell(User("remove eve")).status, 0);
  EXPECT_FALSE(store->FindUser("eve"));
  // Each change is in the audit log, made on the command line by its command.
  std::vector<std::string> rows;
  for (const AuditEntry& entry : store->Audit(0, 10))
    rows.push_back(entry.note.user + " " + entry.note.method + " " + entry.note.path + " " +
                   entry.after);
  const std::string by = "command line ssmsg user ";
  EXPECT_EQ(rows, (std::vector<std::string>{
                      by + R"(add ada {"user":"ada","role":"admin"})",
                      by + R"(add eve {"user":"eve","role":"editor"})",
                      by + R"(token eve {"user":"eve","token":1,"name":"token","expires":null})",
                      by + R"(passwd eve {"user":"eve","role":"editor","changed":["password"]})",
                      by + R"(remove eve {"user":"eve","role":"editor"})"}));

  // Tokens have names and ends, are listed without their secret and revoked one by one.
  ASSERT_EQ(Shell(User("token ada --name deploy --expires 2")).status, 0);
  ASSERT_EQ(Shell(User("token ada")).status, 0);
  const Result listed = Shell(User("token ada --list"));
  ASSERT_EQ(listed.status, 0);
  const std::vector<std::string> lines = Lines(listed.out);
  ASSERT_EQ(lines.size(), 2U) << listed.out;
  EXPECT_EQ(lines[0].substr(0, 9), "2\tdeploy\t");
  EXPECT_EQ(lines[0].size(), 9U + 20U + 1U + 20U) << lines[0];  // made and ends
  EXPECT_EQ(lines[1].substr(0, 8), "3\ttoken\t");
  EXPECT_EQ(lines[1].substr(lines[1].size() - 6), "\tnever");
  EXPECT_EQ(Shell(User("token ada --revoke 2")).status, 0);
  EXPECT_EQ(Shell(User("token ada --revoke 2")).err, "ssmsg: user token: ada has no token 2\n");
  EXPECT_EQ(Lines(Shell(User("token ada --list")).out).size(), 1U);
  const std::vector<AuditEntry> revoked = store->Audit(7, 10);
  ASSERT_EQ(revoked.size(), 1U);
  EXPECT_EQ(revoked[0].note.method + " " + revoked[0].note.path, "ssmsg user token ada --revoke 2");
  EXPECT_TRUE(test::Contains(revoked[0].after, "\"name\":\"deploy\""));
  EXPECT_EQ(Shell(User("token ada --name 'a\tb'")).status, 2);
  EXPECT_EQ(Shell(User("token ada --revoke 3 --list")).status, 2);
  // A write that the database refuses is reported, not a crash.
  const Result refused = Shell(
      "sqlite3 site.db \"CREATE TRIGGER no_more BEFORE INSERT ON users BEGIN SELECT RAISE(ABORT, "
      "'no more users'); END\" && " +
      UserAdd("kim", "viewer"));
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "ssmsg: site.db: no more users\n");
}

// A site database, its WAL and a token written to a file hold secrets: only their owner may read
// them, whatever the umask lets.
TEST_F(ServeTool, SecretsAreTheirOwnersAlone) {
  const auto mode = [this](const char* name) {
    struct stat status {};
    return ::stat((folder_ / name).c_str(), &status) == 0 ? status.st_mode & 0777 : 01000U;
  };
  ASSERT_EQ(Shell("umask 022 && \"$SSMSG\" convert demo.json site.db").status, 0);
  EXPECT_EQ(mode("site.db"), 0600U);
  ASSERT_EQ(Shell(UserAdd("eve", "editor")).status, 0);
  {
    const std::unique_ptr<DatabaseStore> store = test::OpenDatabase(folder_ / "site.db");
    EXPECT_EQ(mode("site.db-wal"), 0600U);
  }
  ASSERT_EQ(Shell("umask 022 && " + User("token eve") + " --output token").status, 0);
  EXPECT_EQ(mode("token"), 0600U);
  // Other outputs are as the umask makes them.
  ASSERT_EQ(Shell("umask 022 && \"$SSMSG\" convert site.db site.json").status, 0);
  EXPECT_EQ(mode("site.json"), 0644U);
}

// A database the store cannot open is told in the store's words; the address and TLS are serve's.
TEST_F(ServeTool, ServeRefusesWhatItCannotServeSafely) {
  ASSERT_EQ(Tool("convert demo.json site.db").status, 0);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"serve --config site.db",
       "ssmsg: serve: site.db has no admin account yet; add one with: ssmsg user add NAME --role "
       "admin --config site.db"},
      {"serve --config demo.json",
       "demo.json: not a site database (a site file? the site editor serves a database: make one "
       "with \"ssmsg convert demo.json site.db\" and serve that)"},
      {"serve --config site.db --listen 0.0.0.0:8443",
       "ssmsg: serve: 0.0.0.0 is not a loopback address: serving it needs --tls-cert and "
       "--tls-key"},
      {"serve --config site.db --listen localhost:8080",
       "ssmsg: serve: --listen localhost:8080: \"localhost\" is not a numeric IPv4 or IPv6 "
       "address"},
      {"serve --config site.db --listen 127.0.0.1:65536",
       "ssmsg: serve: --listen 127.0.0.1:65536: the port must be a number from 0 to 65535"},
      {"serve --config site.db --tls-cert site.db", "ssmsg: serve: TLS needs both"},
  };
  for (const auto& [args, err] : cases) {
    const Result result = Tool(args);
    EXPECT_EQ(result.status, 2) << args;
    EXPECT_EQ(result.err.substr(0, err.size()), err) << args << "\n" << result.err;
  }
}

// As a new user would try it: convert the demo site, add an admin, serve, log in, rename a door,
// see its pending messages (what diff sends from the database before the rename), mark them sent,
// stop.
TEST_F(ServeTool, TheDemoSiteServedAsANewUserWouldTryIt) {
  ASSERT_FALSE(DemoDatabaseWithAdmin().empty());
  ASSERT_EQ(Shell("cp site.db before.db").status, 0);
  const std::uint16_t port = Serve("site.db");
  ASSERT_NE(port, 0);
  const std::string origin = "Origin: http://127.0.0.1:" + std::to_string(port);
  const Answer login = LogIn(port, "ada");
  ASSERT_EQ(login.status, 200) << login.body;
  const std::string cookie =
      "Cookie: " + login.Header("Set-Cookie").substr(0, login.Header("Set-Cookie").find(';'));
  const std::string csrf = "X-CSRF-Token: " + ReadJson(login.body)->Find("csrf")->text;

  // What the controller has is sent first; then a door is renamed.
  const std::string door = "/api/controllers/1/1";
  const auto markSent = [&](const Answer& version) {
    return test::Request(port, "POST", door + "/sent",
                         {cookie, csrf, origin, "If-Match: " + version.Header("ETag")})
        .status;
  };
  const Answer read = test::Request(port, "GET", door, {cookie});
  ASSERT_EQ(read.status, 200);
  ASSERT_EQ(markSent(read), 204);
  JsonValue controller = *ReadJson(read.body);
  controller.Find("Inputs")->items[0].Find("Name")->text = "Lobby door contact";
  const Answer renamed = test::Request(
      port, "PUT", door,
      {cookie, csrf, origin, "If-Match: " + read.Header("ETag"), "Content-Type: application/json"},
      ToJson(controller));
  ASSERT_EQ(renamed.status, 200) << renamed.body;

  // The database is read by others meanwhile, as it is.
  const Result diff = Tool("diff --from before.db --to site.db --interface 1 --node 1");
  ASSERT_EQ(diff.status, 0) << diff.err;
  const Answer pending = test::Request(port, "GET", door + "/pending", {cookie});
  ASSERT_EQ(pending.status, 200);
  std::string lines;
  const JsonValue messages = *ReadJson(pending.body);
  for (const JsonValue& message : messages.Find("messages")->items)
    lines += message.text + "\n";
  EXPECT_TRUE(test::Contains(lines, "<Name>Lobby door</Name>"));
  EXPECT_EQ(lines, diff.out);

  EXPECT_EQ(markSent(renamed), 204);
  EXPECT_EQ(test::Request(port, "GET", door + "/pending", {cookie}).body.substr(0, 14),
            "{\"messages\":[]");

  EXPECT_EQ(Stop(SIGTERM), 0);
  const std::string log = Log();
  EXPECT_TRUE(test::Contains(log, "127.0.0.1 ada \"PUT /api/controllers/1/1\" 200 "));
  EXPECT_TRUE(test::Contains(log, "ssmsg: stopped"));
  EXPECT_EQ(Tool("validate --config site.db").status, 0);
}

// With a certificate and its key it serves HTTPS, and its session cookie is then a secure one.
TEST_F(ServeTool, ServesHttpsWithTheCertificateGiven) {
  ASSERT_FALSE(DemoDatabaseWithAdmin().empty());
  const std::string tls = SSMSG_SOURCE_DIR "/tests/tls/";
  const std::uint16_t port =
      Serve("site.db", {"--tls-cert", tls + "cert.pem", "--tls-key", tls + "key.pem"});
  ASSERT_NE(port, 0) << Log();
  const Result https = Shell("python3 - " + std::to_string(port) + " " + tls + R"(cert.pem <<'EOF'
import http.client, json, socket, ssl, sys
port, cert = int(sys.argv[1]), sys.argv[2]
connection = http.client.HTTPSConnection(
    "127.0.0.1", port, context=ssl.create_default_context(cafile=cert))
connection.request("POST", "/api/session", json.dumps({"name": "ada", "password": "ada password"}),
                   {"Content-Type": "application/json", "Origin": f"https://127.0.0.1:{port}"})
answer = connection.getresponse()
answer.read()
cookie = answer.getheader("Set-Cookie")
print(answer.status, cookie.split("=")[0], "; Secure" in cookie,
      answer.getheader("Strict-Transport-Security"))
connection.request("GET", "/api/controllers", headers={"Cookie": cookie.split(";")[0]})
answer = connection.getresponse()
answer.read()
print(answer.status)
# Old versions, and a key exchange without forward secrecy, get no handshake.
for name, version, ciphers in (("TLS 1.0", ssl.TLSVersion.TLSv1, "DEFAULT"),
                               ("TLS 1.1", ssl.TLSVersion.TLSv1_1, "DEFAULT"),
                               ("static RSA", ssl.TLSVersion.TLSv1_2, "AES128-GCM-SHA256")):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    context.minimum_version = context.maximum_version = version
    context.set_ciphers(ciphers + ":@SECLEVEL=0")
    try:
        with context.wrap_socket(socket.create_connection(("127.0.0.1", port))):
            print(name, "accepted")
    except (ssl.SSLError, OSError):
        print(name, "refused")
EOF)");
  EXPECT_EQ(https.out,
            "200 __Host-ssmsg_session True max-age=31536000\n200\nTLS 1.0 refused\nTLS 1.1 "
            "refused\nstatic RSA refused\n")
      << https.err;
  // Plain HTTP gets no answer of the site there.
  EXPECT_NE(test::Request(port, "GET", "/api/openapi.json", {}, {}, 2s).status, 200);
  EXPECT_EQ(Stop(SIGTERM), 0);

  // A key that is not the certificate's is refused.
  const Result mismatched = Tool("serve --config site.db --tls-cert " + tls +
                                 "cert.pem --tls-key " + tls + "other-key.pem");
  EXPECT_EQ(mismatched.status, 2);
  EXPECT_TRUE(test::Contains(
      mismatched.err,
      "other-key.pem cannot serve TLS: The certificate and the given key do not match."));
}

// The example transmitter, run as its README says: the first time it brings every controller up
// to date; then it sends only what changed, and what a failing program did not send stays pending.
TEST_F(ServeTool, TheExampleTransmitterSendsWhatChangedAndMarksItSent) {
  const std::string auth = DemoDatabaseWithAdmin();
  const std::uint16_t port = Serve("site.db");
  ASSERT_TRUE(!auth.empty() && port != 0);
  const auto transmit = [&](const std::string& program) {
    return Shell("SSMSG_TOKEN='" + auth.substr(22) +
                 "' python3 '" SSMSG_SOURCE_DIR
                 "/examples/transmitter.py' --url http://127.0.0.1:" +
                 std::to_string(port) + " --state last --once -- " + program);
  };
  const std::string keep = "sh -c 'cat >> sent-$0.$1; echo >> sent-$0.$1'";
  const auto waiting = [&](const std::string& node) {
    return ReadJson(
               test::Request(port, "GET", "/api/controllers/1/" + node + "/pending", {auth}).body)
        ->Find("messages")
        ->items.size();
  };
  const std::size_t all = waiting("1");
  ASSERT_GT(all, 1U);
  Result run = transmit(keep);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(waiting("1") + waiting("2"), 0U);
  const std::string first = ReadFile(folder_ / "sent-1.1");
  EXPECT_EQ(static_cast<std::size_t>(std::count(first.begin(), first.end(), '\n')), all);
  const std::string second = ReadFile(folder_ / "sent-1.2");

  ASSERT_EQ(Rename(port, auth, "Renamed"), 200);
  ASSERT_EQ(Rename(port, auth, "Again"), 200);
  run = transmit("false");
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(waiting("1"), 1U);
  run = transmit(keep);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(waiting("1"), 0U);
  const std::string now = ReadFile(folder_ / "sent-1.1");
  ASSERT_EQ(now.substr(0, first.size()), first);
  const std::string added = now.substr(first.size());
  EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << added;
  EXPECT_TRUE(test::Contains(added, "<Name>Again</Name>"));
  EXPECT_EQ(ReadFile(folder_ / "sent-1.2"), second);
}

// Killed at any moment, the server leaves a valid database that holds every change it answered
// with 200 (and perhaps one it made but could not answer any more).
TEST_F(ServeTool, KilledMidWriteItKeepsEveryChangeItAnswered) {
  const std::string auth = CounterDatabaseWithAdmin();
  const std::uint16_t port = Serve("site.db");
  ASSERT_TRUE(!auth.empty() && port != 0);

  std::atomic<bool> going{true};
  std::atomic<int> answered{0};
  std::vector<std::map<int, int>> highest(8);  // by client: node -> the highest number it got
  std::vector<std::thread> clients;
  for (std::size_t client = 0; client < highest.size(); ++client) {
    clients.emplace_back([&, client] {
      for (int k = 0; going; ++k) {
        const int node = 1 + static_cast<int>(client + static_cast<std::size_t>(k)) % 5;
        if (const std::optional<int> number = CountUp(port, auth, node, 2s)) {
          highest[client][node] = *number;
          ++answered;
        }
      }
    });
  }
  while (answered < 60)
    std::this_thread::sleep_for(1ms);
  EXPECT_EQ(Stop(SIGKILL), -SIGKILL);
  going = false;
  for (std::thread& client : clients)
    client.join();

  const Result validate = Tool("validate --config site.db");
  EXPECT_EQ(validate.status, 0) << validate.err;
  const std::unique_ptr<DatabaseStore> store = test::OpenDatabase(folder_ / "site.db");
  for (int node = 1; node <= 5; ++node) {
    const int kept =
        std::stoi(ReadJson(store->Controller({1, node})->json)->Find("Name")->text.substr(1));
    for (const std::map<int, int>& got : highest) {
      if (got.count(node)) {
        EXPECT_GE(kept, got.at(node)) << "node " << node;
      }
    }
  }
  EXPECT_GE(store->Audit(1, 100000).size(), static_cast<std::size_t>(answered.load()));
}

// Two servers on one database are one server: a session made through one is known to the other
// and ends on both; forty clients taking turns between them over five controllers lose no change
// either acknowledged, also when one of them is killed midway; and a subscriber of one's feed
// gets every change made through either, once and in order.
TEST_F(ServeTool, TwoServersOnOneDatabaseBehaveAsOne) {
  const std::string auth = CounterDatabaseWithAdmin();
  const std::uint16_t one = Serve("site.db");
  const std::uint16_t other = Serve("site.db");
  ASSERT_TRUE(!auth.empty() && one != 0 && other != 0);

  const Answer login = LogIn(one, "eve");
  ASSERT_EQ(login.status, 200);
  const std::string cookie =
      "Cookie: " + login.Header("Set-Cookie").substr(0, login.Header("Set-Cookie").find(';'));
  EXPECT_EQ(test::Request(other, "GET", "/api/session", {cookie}).status, 200);
  EXPECT_EQ(test::Request(other, "DELETE", "/api/session",
                          {cookie, "Origin: http://127.0.0.1:" + std::to_string(other),
                           "X-CSRF-Token: " + ReadJson(login.body)->Find("csrf")->text})
                .status,
            204);
  EXPECT_EQ(test::Request(one, "GET", "/api/session", {cookie}).status, 401);

  const std::int64_t start = test::OpenDatabase(folder_ / "site.db")->LatestAudit();
  test::Client feed(one);
  ASSERT_TRUE(feed.Send("GET /api/changes/stream?after=" + std::to_string(start) +
                        " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + auth + "\r\n\r\n"));

  std::atomic<int> answered{0};
  std::vector<std::vector<std::pair<int, int>>> got(40);  // by client: (node, number) written
  std::vector<std::thread> clients;
  for (std::size_t client = 0; client < got.size(); ++client) {
    clients.emplace_back([&, client] {
      for (std::size_t k = 0; k < 25; ++k) {
        const std::uint16_t port = (client + k) % 2 ? one : other;
        const int node = 1 + static_cast<int>((client + k) % 5);
        if (const std::optional<int> number = CountUp(port, auth, node, 5s)) {
          got[client].emplace_back(node, *number);
          ++answered;
        }
      }
    });
  }
  for (const auto until = std::chrono::steady_clock::now() + 60s;
       answered < 150 && std::chrono::steady_clock::now() < until;)
    std::this_thread::sleep_for(1ms);
  const int beforeKill = answered;
  EXPECT_EQ(Stop(SIGKILL), -SIGKILL);  // the other one
  for (std::thread& client : clients)
    client.join();
  EXPECT_GT(answered, beforeKill);
  // A change through a server started since reaches the feed too, within its watch (a tenth of a
  // second).
  const std::uint16_t third = Serve("site.db");
  ASSERT_NE(third, 0);
  ASSERT_TRUE(CountUp(third, auth, 1, 5s));
  ++answered;

  // Each controller's log runs n1, n2, ... without a gap or a number twice (two writers that read
  // one version both acknowledged would write one number twice), and holds every number
  // acknowledged.
  const std::unique_ptr<DatabaseStore> store = test::OpenDatabase(folder_ / "site.db");
  std::map<int, std::vector<int>> logged;
  std::vector<std::int64_t> ids;
  for (const AuditEntry& entry : store->Audit(start, 100000)) {
    ASSERT_TRUE(entry.controller);
    logged[entry.controller->node].push_back(
        std::stoi(ReadJson(entry.after)->Find("Name")->text.substr(1)));
    ids.push_back(entry.id);
  }
  for (auto& [node, numbers] : logged) {
    for (std::size_t k = 0; k < numbers.size(); ++k)
      ASSERT_EQ(numbers[k], static_cast<int>(k) + 1) << "node " << node;
    EXPECT_EQ(ReadJson(store->Controller({1, node})->json)->Find("Name")->text,
              "n" + std::to_string(numbers.size()));
  }
  for (const auto& writes : got) {
    for (const auto& [node, number] : writes)
      EXPECT_LE(number, static_cast<int>(logged[node].size())) << "node " << node;
  }
  // A change may be in without its answer (the server killed between, or the answer late).
  EXPECT_GE(ids.size(), static_cast<std::size_t>(answered.load()));

  // The feed of the one left has them all, those made through the other too.
  std::string stream;
  const std::string lastId = "id: " + std::to_string(ids.back()) + "\n";
  // The last change, through the third, within the watch's tenth of a second (not the stream's
  // ten-second keep-alive, which reads the database too).
  for (const auto until = std::chrono::steady_clock::now() + 3s;
       stream.find(lastId) == std::string::npos && std::chrono::steady_clock::now() < until;)
    stream += feed.Read(200ms);
  std::vector<std::int64_t> events;
  const std::string body = Dechunked(stream);
  for (std::size_t at = body.find("id: "); at != std::string::npos;
       at = body.find("\nid: ", at + 1))
    events.push_back(std::stoll(body.substr(at + (body[at] == '\n' ? 5 : 4))));
  EXPECT_EQ(events, ids);
}

// Every program that reads or writes a site database, run while the server serves it and while
// sqlite3 holds a read transaction: afterwards the server still holds its locks and has no file
// open that another program removed, and what it writes is what the others read and the other way
// round. That a change answered survives them and kill -9 is the writer storm's to show.
TEST_F(ServeTool, EveryProgramSharesTheDatabaseWithARunningServer) {
  const std::string auth = DemoDatabaseWithAdmin();
  ASSERT_FALSE(auth.empty());
  ASSERT_EQ(Tool("settings --config demo.json" + std::string(kTime) + " >sent.txt").status, 0);
  const std::uint16_t port = Serve("site.db");
  ASSERT_NE(port, 0);
  const fs::path database = folder_ / "site.db";
  // The whole site, read as convert reads it, by the server itself.
  ASSERT_EQ(test::Request(port, "GET", "/api/site", {auth}).status, 200);
  EXPECT_TRUE(HoldsLock(server_, database));
  const ReadingSqlite reader(database, folder_ / "reader.out");
  ASSERT_TRUE(reader.reading) << ReadFile(folder_ / "reader.out");

  const auto logsIn = [&](const std::string& name) { return LogIn(port, name).status == 200; };
  const auto second = [&] {
    return test::Request(port, "GET", "/api/controllers/1/2", {auth}).body;
  };
  struct Case {
    std::string command;
    std::function<void()> check;  // what the command did, as the server sees it
  };
  const std::vector<Case> cases = {
      {UserAdd("bob", "editor"), [&] { EXPECT_TRUE(logsIn("bob")); }},
      {"printf 'new password\\n' | " + User("passwd bob"), {}},
      {User("list"), {}},
      {"\"$SSMSG\" settings --config site.db" + std::string(kTime), {}},
      {"\"$SSMSG\" validate --config site.db", {}},
      {"\"$SSMSG\" diff --from demo.json --to site.db" + std::string(kTime), {}},
      {"\"$SSMSG\" report --config site.db --output report.html", {}},
      {"\"$SSMSG\" migrate site.db", {}},
      {"\"$SSMSG\" convert site.db copy.json", {}},
      {"sqlite3 site.db 'SELECT count(*) FROM users'", {}},
      {"sqlite3 site.db \"UPDATE controllers SET Name = 'by sqlite3' WHERE Interface = 1 AND "
       "Node = 2\"",
       [&] { EXPECT_TRUE(test::Contains(second(), "\"Name\":\"by sqlite3\"")); }},
      // Into the database being served: the site is replaced in place, the accounts stay.
      {"\"$SSMSG\" convert demo.json site.db",
       [&] {
         EXPECT_FALSE(test::Contains(second(), "by sqlite3"));
         EXPECT_TRUE(logsIn("ada"));
       }},
      {"\"$SSMSG\" import sent.txt --output site.db", {}},
  };
  int step = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const Result result = Shell(c.command);
    EXPECT_EQ(result.status, 0) << result.err;
    if (c.check) c.check();
    EXPECT_EQ(DeletedFiles(server_), std::vector<std::string>{});
    EXPECT_TRUE(HoldsLock(server_, database));
    const std::string name = "step " + std::to_string(++step);
    ASSERT_EQ(Rename(port, auth, name), 200);
    EXPECT_EQ(NameRead(), name + "\n");
  }
  EXPECT_EQ(Sqlite("PRAGMA integrity_check"), "ok\n");
}

// Twenty changes a second through the server for half a minute while user add and settings run
// in a loop beside it: every change answered with 200 is in the database, with its audit entry,
// and every user added logs in at once.
TEST_F(ServeTool, AWriterStormBesideTheServerLosesNoAnsweredChange) {
  const std::string auth = DemoDatabaseWithAdmin();
  const std::uint16_t port = Serve("site.db");
  ASSERT_TRUE(!auth.empty() && port != 0);
  Result loop;
  std::thread others([&] {
    loop = Shell(
        "i=0; while [ ! -e stop ]; do i=$((i + 1)); printf 'storm password\\n' | \"$SSMSG\" user "
        "add u$i --role viewer --config site.db || exit 1; \"$SSMSG\" settings --config site.db "
        ">/dev/null || exit 1; done; echo $i");
  });
  std::vector<std::string> answered;
  const auto end = std::chrono::steady_clock::now() + 30s;
  for (int k = 0; std::chrono::steady_clock::now() < end; ++k) {
    const auto next = std::chrono::steady_clock::now() + 50ms;
    const std::string name = "s" + std::to_string(k);
    if (Rename(port, auth, name) == 200) answered.push_back(name);
    std::this_thread::sleep_until(next);
  }
  std::ofstream(folder_ / "stop").put('\n');
  others.join();
  ASSERT_EQ(loop.status, 0) << loop.err;
  EXPECT_GT(answered.size(), 100U);  // of at most 600, on a slow machine too
  const int users = std::stoi(loop.out);
  EXPECT_EQ(LogIn(port, "u" + std::to_string(users), "storm password").status, 200);
  EXPECT_EQ(Stop(SIGKILL), -SIGKILL);

  EXPECT_EQ(NameRead(), answered.back() + "\n");
  // The log as the server reads it (its long texts are compressed).
  std::vector<std::string> logged;
  for (const AuditEntry& entry : test::OpenDatabase(folder_ / "site.db")->Audit(0, 100000)) {
    if (entry.note.path == "/api/controllers/1/1")
      logged.push_back(ReadJson(entry.after)->Find("Name")->text);
  }
  for (const std::string& name : answered)
    EXPECT_EQ(std::count(logged.begin(), logged.end(), name), 1) << name;
  EXPECT_EQ(Sqlite("SELECT count(*) FROM users"), std::to_string(users + 1) + "\n");
  EXPECT_EQ(Sqlite("PRAGMA integrity_check"), "ok\n");
}

}  // namespace
}  // namespace ssmsg::server
