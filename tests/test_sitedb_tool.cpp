// Site databases through the ssmsg tool, as separate processes: convert both ways, the same
// messages from a database as from its site file, diff after an SQL UPDATE, errors and exit
// statuses, a reader while another process writes, a locked database, and convert killed at
// several moments.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <ssmsg/SiteDatabase.h>

#include "shell.h"

namespace ssmsg {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

using Result = test::ShellResult;

class SiteDbTool : public ::testing::Test {
 protected:
  fs::path folder = fs::path(testing::TempDir()) / ("sitedb_tool." + std::to_string(getpid()));

  void SetUp() override {
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(SSMSG_SOURCE_DIR "/site/demo_site.json", folder / "demo.json");
  }
  void TearDown() override { fs::remove_all(folder); }

  // Runs the shell commands `script` in the test's folder; $SSMSG is the tool.
  Result Shell(const std::string& script) {
    return test::RunShell("SSMSG='" SSMSG_TOOL "'\n" + script, folder, folder / "shell.out",
                          folder / "shell.err");
  }
  Result Tool(const std::string& args) { return Shell("\"$SSMSG\" " + args); }
};

constexpr const char* kTime = " --time 2026-12-04T09:05:07";

// Shell commands that wait up to 30 s for `file`, which a process started in the background makes
// when it is ready; a process that fails first leaves the test to fail, not to wait for ever.
std::string WaitFor(const std::string& file) {
  return "i=0; while [ ! -e " + file + " ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i + 1)); done; ";
}

TEST_F(SiteDbTool, ADatabaseMakesTheSameBytesAsItsSiteFile) {
  ASSERT_EQ(Tool("convert demo.json site.db").status, 0);
  ASSERT_EQ(Tool("convert demo.json other --to sqlite --jobs 2").status, 0);
  EXPECT_EQ(ReadFile(folder / "other"), ReadFile(folder / "site.db"));  // whatever the jobs
  for (const std::string args :
       {"", " --task 165,161,177", " --interface 1", " --interface 1 --node 2 --format json"}) {
    const Result json = Tool("settings --config demo.json" + args + kTime);
    ASSERT_EQ(json.status, 0) << json.err;
    ASSERT_NE(json.out, "");
    for (const std::string config : {"site.db", "other", "- <site.db"}) {
      const Result db = Tool("settings --config " + config + args + kTime);
      EXPECT_EQ(db.status, 0) << db.err;
      EXPECT_EQ(db.out, json.out) << config << args;
    }
  }
  // Back to a site file: the canonical one, as demo-site writes it.
  ASSERT_EQ(Tool("convert site.db back.json").status, 0);
  ASSERT_EQ(Tool("demo-site --output canonical.json").status, 0);
  ASSERT_NE(ReadFile(folder / "canonical.json"), "");
  EXPECT_EQ(ReadFile(folder / "back.json"), ReadFile(folder / "canonical.json"));
  EXPECT_EQ(Tool("validate --config site.db").status, 0);
}

TEST_F(SiteDbTool, OneUpdateAndDiffWriteOnlyThatName) {
  ASSERT_EQ(Tool("convert demo.json old.db").status, 0);
  const Result edited = Shell(
      "cp old.db site.db && sqlite3 site.db \"UPDATE inputs SET Name = 'Dock door' WHERE "
      "Interface = 1 AND Node = 2 AND Number = 1\"");
  ASSERT_EQ(edited.status, 0) << edited.err;
  const Result diff = Tool(std::string("diff --from old.db --to site.db") + kTime);
  ASSERT_EQ(diff.status, 0) << diff.err;
  ASSERT_FALSE(diff.out.empty());
  std::size_t lines = 0;
  for (std::size_t at = 0; at < diff.out.size(); at = diff.out.find('\n', at) + 1, ++lines)
    EXPECT_NE(diff.out.substr(at, diff.out.find('\n', at) - at).find("Dock door"),
              std::string::npos);
  EXPECT_EQ(lines, 1u);
}

TEST_F(SiteDbTool, BadDatabasesExitTwoWithNothingWritten) {
  ASSERT_EQ(Tool("convert demo.json good.db").status, 0);
  const Result made = Shell(
      "cp good.db range.db && sqlite3 range.db 'PRAGMA ignore_check_constraints = ON; UPDATE "
      "input_times SET Debounce = 70000 WHERE Interface = 1 AND Node = 2 AND Number = 1' && "
      "sqlite3 other.db 'CREATE TABLE t (a)' && head -c 3000 good.db >truncated.db");
  ASSERT_EQ(made.status, 0) << made.err;
  const struct {
    std::string file, error;
  } cases[] = {
      {"range.db",
       "range.db: input_times[interface 1, node 2, number 1].Debounce: 70000 is outside "
       "-32768..32767\n"},
      {"other.db",
       "other.db: not a site database (an SQLite database of another program: its application "
       "id is 0, not 1936944487)\n"},
      {"truncated.db", "truncated.db: "},
  };
  for (const auto& bad : cases) {
    for (const std::string command : {"settings --config ", "validate --config ",
                                      "convert out.json ", "diff --from good.db --to "}) {
      const std::string args =
          command == "convert out.json " ? "convert " + bad.file + " out.json" : command + bad.file;
      const Result result = Tool(args);
      EXPECT_EQ(result.status, 2) << args;
      EXPECT_EQ(result.out, "") << args;
      EXPECT_EQ(result.err.substr(0, bad.error.size()), bad.error) << args;
    }
  }
  EXPECT_FALSE(fs::exists(folder / "out.json"));
  EXPECT_EQ(Tool("migrate other.db").status, 2);
  const Result newer =
      Shell("sqlite3 good.db 'PRAGMA user_version = " + std::to_string(kSiteDatabaseVersion + 1) +
            "' && \"$SSMSG\" settings --config good.db");
  EXPECT_EQ(newer.status, 2);
  EXPECT_NE(newer.err.find("newer than this ssmsg reads"), std::string::npos) << newer.err;
}

// A site on a PostgreSQL server that cannot be reached: status 2, libpq's reason, nothing written.
// A tool built without libpq (the Windows one) says so instead, with the same status.
TEST_F(SiteDbTool, AnUnreachableServerExitsTwoWithItsReason) {
  const std::string uri = "postgresql://127.0.0.1:1/db";
  const std::string why =
      SSMSG_TOOL_ON_WINDOWS ? ": this ssmsg was built without PostgreSQL" : ": cannot connect: ";
  const std::string site = "'" + uri + "?site=s'";
  for (const std::string& args :
       {"settings --config " + site, "validate --config " + site, "convert " + site + " out.json",
        "convert demo.json " + site, "diff --from demo.json --to " + site, "migrate " + site}) {
    const Result result = Tool(args);
    EXPECT_EQ(result.status, 2) << args;
    EXPECT_EQ(result.out, "") << args;
    EXPECT_NE(result.err.find(uri + "?site=s" + why), std::string::npos)
        << args << ": " << result.err;
  }
  EXPECT_FALSE(fs::exists(folder / "out.json"));
  const Result named = Tool("convert demo.json " + uri);
  EXPECT_EQ(named.status, 2);
  EXPECT_EQ(named.err,
            uri + (SSMSG_TOOL_ON_WINDOWS ? ": this ssmsg was built without PostgreSQL\n"
                                         : ": no site named: add ?site=NAME to the URI\n"));
}

// A reader sees one snapshot: while another process renames every input again and again, each
// transaction to names of one round, every settings run writes names of one round only.
TEST_F(SiteDbTool, SettingsReadOneSnapshotWhileAnotherProcessWrites) {
  ASSERT_EQ(Tool("convert demo.json site.db").status, 0);
  std::ofstream(folder / "writer.py") << R"(import sqlite3, time
c = sqlite3.connect('site.db', isolation_level=None)
end = time.time() + 3
n = 0
while time.time() < end:
    n += 1
    c.execute('BEGIN')
    c.execute("UPDATE inputs SET Name = 'Round ' || ?", (n,))
    c.execute("UPDATE outputs SET Name = 'Round ' || ?", (n,))
    c.execute('COMMIT')
    if n == 1:
        open('started', 'w').close()
)";
  const Result result = Shell("python3 writer.py & " + WaitFor("started") +
                              "for i in 1 2 3 4 5 6 7 8; do \"$SSMSG\" settings --config site.db "
                              "--jobs 2 >run$i.txt || exit 9; done; wait");
  ASSERT_EQ(result.status, 0) << result.err;
  for (int i = 1; i <= 8; ++i) {
    const std::string out = ReadFile(folder / ("run" + std::to_string(i) + ".txt"));
    std::set<std::string> rounds;
    for (std::size_t at = 0; (at = out.find("Round ", at)) != std::string::npos; at += 6)
      rounds.insert(out.substr(at, out.find('<', at) - at));
    EXPECT_EQ(rounds.size(), 1u) << "run " << i;
  }
}

TEST_F(SiteDbTool, ALockedDatabaseIsReportedAfterTheBusyTimeout) {
  ASSERT_EQ(Tool("convert demo.json site.db").status, 0);
  const Result result = Shell(
      "python3 -c \"\nimport sqlite3, sys, time\nc = sqlite3.connect('site.db', "
      "isolation_level=None)\nc.execute('PRAGMA locking_mode = EXCLUSIVE')\n"
      "c.execute('BEGIN EXCLUSIVE')\nc.execute('UPDATE inputs SET Name = Name')\n"
      "open('locked', 'w').close()\ntime.sleep(9)\n\" & " +
      WaitFor("locked") +
      "\"$SSMSG\" settings --config site.db; echo \"status $?\"; kill %1; wait");
  EXPECT_NE(result.out.find("status 2"), std::string::npos) << result.out;
  EXPECT_NE(result.err.find("site.db: the database is locked by another program (waited 5 s)"),
            std::string::npos)
      << result.err;
}

// convert killed with SIGKILL at several moments, into a site database (written in place, in
// one transaction) and into a file that is not one (replaced by a temporary file): site.db is the
// old file or the whole new database, never a part of one; the temporary file a kill leaves is
// cleared by the next convert.
TEST_F(SiteDbTool, KilledConvertLeavesTheOldFileOrTheNewDatabase) {
  const Result made = Shell("python3 '" SSMSG_SOURCE_DIR
                            "/bench/make_site.py' 8 >big.json && \"$SSMSG\" convert demo.json "
                            "old.db && \"$SSMSG\" convert big.json new.db");
  ASSERT_EQ(made.status, 0) << made.err;
  const auto json = [this](const std::string& db) {
    return Shell("\"$SSMSG\" convert " + db + " - --to json").out;
  };
  const std::string newJson = json("new.db");
  const std::string oldJson = json("old.db");
  ASSERT_GT(oldJson.size(), 1000u);
  ASSERT_GT(newJson.size(), oldJson.size());  // the kills must be told apart
  const auto temporaries = [this] {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder))
      count += entry.path().filename().string().find(".ssmsg-tmp.") != std::string::npos;
    return count;
  };
  const std::string text = "not a database yet\n";
  bool leftTemporary = false;
  for (const bool inPlace : {true, false}) {
    for (const char* delay : {"0", "0.02", "0.05", "0.1", "0.2", "0.4", "0.8", "1.5"}) {
      SCOPED_TRACE(std::string(inPlace ? "in place" : "replaced") + ", killed after " + delay +
                   " s");
      for (const char* file : {"site.db", "site.db-wal", "site.db-shm"})
        fs::remove(folder / file);
      if (inPlace) {
        fs::copy_file(folder / "old.db", folder / "site.db");
      } else {
        std::ofstream(folder / "site.db") << text;
      }
      const Result killed = Shell(std::string("\"$SSMSG\" convert big.json site.db & sleep ") +
                                  delay + "; kill -9 $! 2>/dev/null; wait; true");
      leftTemporary = leftTemporary || temporaries() > 0;
      if (!inPlace && ReadFile(folder / "site.db") == text) continue;
      const std::string now = json("site.db");
      EXPECT_TRUE(now == newJson || (inPlace && now == oldJson));
    }
  }
  if (leftTemporary) {
    ASSERT_EQ(Tool("convert demo.json other.db").status, 0);
    EXPECT_EQ(temporaries(), 0u);
  }
}

// convert and import into a database that is one already replace its site in place and keep the
// site editor's tables; an older one is brought up to date; another program's is left alone.
TEST_F(SiteDbTool, IntoASiteDatabaseTheSiteIsReplacedAndTheRestKept) {
  const std::string users = "sqlite3 site.db 'SELECT Name FROM users'";
  const std::string edit = "sqlite3 site.db \"UPDATE controllers SET Name = 'edited'\"";
  const Result made = Shell(
      "\"$SSMSG\" convert demo.json site.db && sqlite3 site.db \"INSERT INTO users (Name, Role, "
      "PasswordHash) VALUES ('ada', 'admin', 'a hash')\" && " +
      edit + " && \"$SSMSG\" settings --config demo.json" + kTime + " >sent.txt && " + users);
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_EQ(made.out, "ada\n");
  const std::string demo = Tool("convert demo.json - --to json").out;
  for (const char* command : {"import sent.txt --output site.db", "convert demo.json site.db"}) {
    SCOPED_TRACE(command);
    ASSERT_EQ(Shell(edit).status, 0);
    const Result written = Tool(command);
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_EQ(Shell(users).out, "ada\n");
    EXPECT_EQ(
        Shell("sqlite3 site.db \"SELECT count(*) FROM controllers WHERE Name = 'edited'\"").out,
        "0\n");
    EXPECT_EQ(Shell("sqlite3 site.db 'PRAGMA journal_mode; PRAGMA integrity_check'").out,
              "wal\nok\n");
  }
  EXPECT_EQ(Tool("convert site.db - --to json").out, demo);

  // Version 1, before the editor's tables: brought up to date in the same transaction.
  ASSERT_EQ(Shell("\"$SSMSG\" convert demo.json v1.db && sqlite3 v1.db 'DROP TABLE users; DROP "
                  "TABLE sessions; DROP TABLE api_tokens; DROP TABLE audit_log; DROP TABLE "
                  "sent_controllers; DROP TABLE login_failures; PRAGMA user_version = 1'")
                .status,
            0);
  EXPECT_EQ(Tool("convert demo.json v1.db").status, 0);
  EXPECT_EQ(Shell("sqlite3 v1.db 'PRAGMA user_version; SELECT count(*) FROM users'").out,
            std::to_string(kSiteDatabaseVersion) + "\n0\n");

  // An SQLite database of another program.
  ASSERT_EQ(Shell("sqlite3 other.db 'CREATE TABLE mine (x); INSERT INTO mine VALUES (7)'").status,
            0);
  const std::string before = ReadFile(folder / "other.db");
  const Result refused = Tool("convert demo.json other.db");
  EXPECT_EQ(refused.status, 3);
  EXPECT_EQ(refused.err,
            "other.db: cannot write the database: not a site database (an SQLite database of "
            "another program: its application id is 0)\n");
  EXPECT_EQ(ReadFile(folder / "other.db"), before);
}

}  // namespace
}  // namespace ssmsg
