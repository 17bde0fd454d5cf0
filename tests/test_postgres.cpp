// Sites on a PostgreSQL server. The server tests run under pg_virtualenv, which starts a server of
// its own and sets PGHOST, PGPORT, PGUSER, PGPASSWORD and PGDATABASE; each test makes a database
// of its own in it. Without a server they say so and skip, unless SSMSG_REQUIRE_POSTGRESQL is set
// (as CI sets it): then they fail.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <ssmsg/SiteDatabase.h>

#include "shell.h"
#include "site/pg/Location.h"
#include "site/pg/Postgres.h"
#include "site_support.h"

namespace ssmsg {
namespace {

namespace fs = std::filesystem;

TEST(PostgresLocation, TellsUrisFromFiles) {
  for (const char* uri : {"postgresql://", "postgresql://h/db?site=a", "postgres://h"})
    EXPECT_TRUE(pg::IsLocation(uri)) << uri;
  for (const char* file : {"site.json", "postgresql:/h/db", "PostgreSQL://h", "./postgresql://h"})
    EXPECT_FALSE(pg::IsLocation(file)) << file;
}

TEST(PostgresLocation, TakesTheSiteOutAndThePasswordOutOfItsName) {
  // Each text, the connection's part of it, its site, and the name it is shown by.
  const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
      {"postgresql://h/db?site=a", "postgresql://h/db", "a", "postgresql://h/db?site=a"},
      {"postgresql:///db", "postgresql:///db", "", "postgresql:///db"},
      {"postgres://u:pw@h:5/db?sslmode=require&site=a%20b%C3%A9&password=x&connect_timeout=3",
       "postgres://u:pw@h:5/db?sslmode=require&password=x&connect_timeout=3", "a b\xC3\xA9",
       "postgres://u@h:5/db?sslmode=require&site=a%20b%C3%A9&connect_timeout=3"},
      {"postgresql://u:p@ss@h/db?site=s", "postgresql://u:p@ss@h/db", "s",
       "postgresql://u@h/db?site=s"},
  };
  for (const auto& [text, conninfo, site, name] : cases) {
    const auto location = pg::ParseLocation(text);
    ASSERT_TRUE(location) << text << ": " << location.error();
    EXPECT_EQ(location->conninfo, conninfo) << text;
    EXPECT_EQ(location->site, site) << text;
    EXPECT_EQ(location->name, name) << text;
  }
}

TEST(PostgresLocation, RefusesSiteNamesThatAreNone) {
  const std::string longName(pg::kMaxSiteName + 1, 'x');
  const std::pair<std::string, const char*> cases[] = {
      {"postgresql:///db?site=a&site=b", "named twice"},
      {"postgresql:///db?site=", "empty"},
      {"postgresql:///db?site", "empty"},
      {"postgresql:///db?site=%4", "percent-encoded"},
      {"postgresql:///db?site=%zz", "percent-encoded"},
      {"postgresql:///db?site=%FF", "UTF-8"},
      {"postgresql:///db?site=a%0Ab", "control"},
      {"postgresql:///db?site=" + longName, "longer than"},
  };
  for (const auto& [text, why] : cases) {
    const auto location = pg::ParseLocation(text);
    ASSERT_FALSE(location) << text;
    EXPECT_TRUE(test::Contains(location.error(), why)) << text;
  }
  // Exactly as long as allowed.
  EXPECT_TRUE(pg::ParseLocation("postgresql:///db?site=" + longName.substr(1)));
}

// A location without a site is refused for reading and for writing, and says how to name one,
// before any server is asked.
TEST(PostgresLocation, ALocationWithoutASiteSaysSo) {
  const std::string uri = "postgresql://nowhere.invalid/db";
  const CSS_SiteLoadResult read = LoadSite(uri, 1);
  ASSERT_EQ(read.errors.size(), 1U);
  EXPECT_TRUE(test::Contains(read.errors[0], "add ?site=NAME"));
  EXPECT_TRUE(read.unreadable);
  const CSS_DatabaseWriteResult written =
      WriteSiteDatabase(test::LoadOk(R"({"Controllers": []})"), uri, 1);
  ASSERT_EQ(written.errors.size(), 1U);
  EXPECT_TRUE(test::Contains(written.errors[0], "add ?site=NAME"));
}

// Rows of COPY's text format come back as the texts the server held: every escape the server
// writes, and those it may read, undone; NULL told from the text "\N".
TEST(PostgresCopyRows, ReadsEveryEscapeAndTellsNullFromItsText) {
  const std::pair<std::string_view, std::vector<std::optional<std::string>>> cases[] = {
      {"1\tDoor", {"1", "Door"}},
      {"\t", {"", ""}},
      {"\\N\t\\\\N", {std::nullopt, "\\N"}},
      {"a\\tb\tc\\nd", {"a\tb", "c\nd"}},
      {"\\\\\t\\b\\f\\r\\v", {"\\", "\b\f\r\v"}},
      {"\\101\\7x\t\\x41\\x4g", {"A\ax", "A\x04g"}},
      {"\\q\\x\t\xc3\xa9\x01", {"qx", "\xc3\xa9\x01"}},
      {"\\x9f\\xAf\t\\011\\0", {"\x9f\xaf", std::string("\t\0", 2)}},
  };
  for (const auto& [line, cells] : cases) {
    pg::TextRows rows(std::vector<Oid>(2, 25));
    rows.AddCopyRow(line);
    ASSERT_EQ(rows.Count(), 1) << line;
    for (int column = 0; column < 2; ++column) {
      const auto& want = cells[static_cast<std::size_t>(column)];
      EXPECT_EQ(rows.IsNull(0, column), !want) << line << " " << column;
      if (want) {
        EXPECT_EQ(rows.Value(0, column), *want) << line << " " << column;
      }
    }
  }
  // What the writer escapes reads back as it was, whatever the byte.
  std::string every;
  for (int c = 1; c < 256; ++c)
    every += static_cast<char>(c);
  std::string line;
  pg::AppendCopyText(line, every);
  line += '\t';
  pg::AppendCopyText(line, "\\N");
  pg::TextRows rows(std::vector<Oid>(2, 25));
  rows.AddCopyRow(line);
  EXPECT_EQ(rows.Value(0, 0), every);
  EXPECT_EQ(rows.Value(0, 1), "\\N");
  // A row of another width is refused, and the rows before it stay.
  EXPECT_THROW(rows.AddCopyRow("1\t2\t3"), pg::PgError);
  EXPECT_THROW(rows.AddCopyRow("1"), pg::PgError);
  rows.AddCopyRow("x\ty");
  ASSERT_EQ(rows.Count(), 2);
  EXPECT_EQ(rows.Value(1, 1), "y");
}

// A database of the test's own on the server that pg_virtualenv started, dropped at the end.
class PostgresSite : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("PGHOST") == nullptr) {
      if (std::getenv("SSMSG_REQUIRE_POSTGRESQL") != nullptr)
        FAIL() << "no PostgreSQL server (PGHOST is not set): run the tests under pg_virtualenv";
      GTEST_SKIP() << "no PostgreSQL server: run the tests under pg_virtualenv to test sites there";
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // At most 63 bytes, as PostgreSQL's names are.
    database_ = "ssmsg_" + std::to_string(getpid()) + "_" + std::string(info->name()).substr(0, 40);
    for (char& c : database_)
      c = c == '/' ? '_' : static_cast<char>(std::tolower(c));
    admin_ = pg::Connect("postgresql:///postgres");
    pg::Run(admin_.get(), "DROP DATABASE IF EXISTS \"" + database_ + "\"");
    pg::Run(admin_.get(), "CREATE DATABASE \"" + database_ + "\"");
    folder_ = fs::path(testing::TempDir()) / database_;
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    if (!admin_) return;
    pg::Run(admin_.get(), "DROP DATABASE IF EXISTS \"" + database_ + "\" WITH (FORCE)");
    fs::remove_all(folder_);
  }

  std::string Uri(const std::string& site) const {
    return "postgresql:///" + database_ + "?site=" + site;
  }
  void Sql(const std::string& sql) {
    const pg::Connection connection = pg::Connect("postgresql:///" + database_);
    const pg::PgResult result(PQexec(connection.get(), sql.c_str()));
    const ExecStatusType status = PQresultStatus(result.get());
    ASSERT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        << sql << ": " << PQresultErrorMessage(result.get());
  }
  std::int64_t Count(const std::string& sql) {
    const pg::Connection connection = pg::Connect("postgresql:///" + database_);
    return pg::FirstInteger(pg::Run(connection.get(), sql).get()).value_or(-1);
  }
  void Write(const CSS_Site& site, const std::string& location) {
    const CSS_DatabaseWriteResult written = WriteSiteDatabase(site, location, 2);
    ASSERT_TRUE(written.errors.empty()) << written.errors[0];
  }
  CSS_Site Read(const std::string& location) {
    CSS_SiteLoadResult loaded = LoadSite(location, 2);
    EXPECT_TRUE(loaded.errors.empty()) << loaded.errors[0];
    if (!loaded.site) return test::LoadOk(R"({"Controllers": []})");
    return std::move(*loaded.site);
  }
  std::vector<std::string> Errors(const std::string& location) {
    return LoadSite(location, 1).errors;
  }
  // Runs the shell commands `script` in the test's folder: $SSMSG is the tool, $D the test's
  // database, $S and $T its sites "s" and "t".
  test::ShellResult Shell(const std::string& script) {
    return test::RunShell("SSMSG='" SSMSG_TOOL "'\nS='" + Uri("s") + "'\nT='" + Uri("t") +
                              "'\nD='postgresql:///" + database_ + "'\n" + script,
                          folder_, folder_ / "shell.out", folder_ / "shell.err");
  }

  std::string database_;
  pg::Connection admin_;
  fs::path folder_;
};

// `lines`, each without the name of its site (its first `name` bytes).
std::vector<std::string> Unnamed(std::vector<std::string> lines, std::size_t name) {
  for (std::string& line : lines)
    line.erase(0, name);
  return lines;
}

std::vector<std::string> Messages(const CSS_Site& site) {
  return test::SiteMessages(site, {.tasks = {}, .time = test::kFixedTime});
}

TEST_F(PostgresSite, GivesBackTheSiteItWasGivenByteForByte) {
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    const CSS_Site site = test::RandomSite(seed, 1 + seed % 3 * 3);
    const std::string location = Uri("random" + std::to_string(seed));
    Write(site, location);
    const CSS_Site back = Read(location);
    EXPECT_EQ(back.ToJson(), site.ToJson()) << "seed " << seed;
    EXPECT_EQ(Messages(back), Messages(site)) << "seed " << seed;
    EXPECT_EQ(Unnamed(back.Warnings(CSToolEnum()), location.size()),
              Unnamed(site.Warnings(CSToolEnum()), site.FileName().size()))
        << "seed " << seed;
  }
  // Enough controllers for several windows of those read at a time, the last one short.
  std::string text = R"({"Controllers": [)";
  for (int c = 0; c < 300; ++c) {
    // Addresses out of the order of the controllers, so that a window is no range of them.
    text += (c == 0 ? "" : ",") + std::string(R"({"Interface": )") + std::to_string(1 + c % 3) +
            R"(, "Node": )" + std::to_string((c * 7) % 300) + R"(, "Holidays": [{"Month": )" +
            std::to_string(1 + c % 12) + R"(, "Day": 1}], "Inputs": [null, {"Name": "in )" +
            std::to_string(c) + R"("}]})";
  }
  const CSS_Site many = test::LoadOk(text + "]}");
  Write(many, Uri("many"));
  EXPECT_EQ(Read(Uri("many")).ToJson(), many.ToJson());
  // Texts that COPY's text format would take for something else.
  const CSS_Site escaped = test::LoadOk(
      R"({"Enums": {"InputType": {"6": "\\N"}}, "Controllers": [{"Interface": 1, "Node": 0, )"
      R"("Name": "back\\slash \\t \\N", "Inputs": [{"Name": "\\"}]}]})");
  Write(escaped, Uri("escaped"));
  EXPECT_EQ(Read(Uri("escaped")).ToJson(), escaped.ToJson());
  // Through a site database file and back.
  const CSS_Site site = test::RandomSite(9, 5);
  const std::string file = (folder_ / "site.db").string();
  ASSERT_TRUE(WriteSiteDatabase(site, file).errors.empty());
  Write(Read(file), Uri("from-file"));
  ASSERT_TRUE(
      WriteSiteDatabase(Read(Uri("from-file")), (folder_ / "back.db").string()).errors.empty());
  EXPECT_EQ(Read((folder_ / "back.db").string()).ToJson(), site.ToJson());
}

TEST_F(PostgresSite, KeepsManySitesApartAndReplacesOneWhole) {
  const CSS_Site big = test::RandomSite(21, 6);
  const CSS_Site small = test::RandomSite(22, 1);
  Write(big, Uri("a"));
  Write(big, Uri("b%20two"));
  Write(small, Uri("a"));
  EXPECT_EQ(Read(Uri("a")).ToJson(), small.ToJson());
  EXPECT_EQ(Read(Uri("b%20two")).ToJson(), big.ToJson());
  EXPECT_EQ(Count("SELECT count(*) FROM sites"), 2);
  // No row of the big site's is left under "a" beyond the small site's own.
  Write(test::LoadOk(R"({"Controllers": []})"), Uri("a"));
  EXPECT_EQ(Count("SELECT count(*) FROM controllers c JOIN sites s ON s.\"Id\" = c.\"Site\" "
                  "WHERE s.\"Name\" = 'a'"),
            0);
  EXPECT_EQ(Read(Uri("a")).ControllerCount(), 0U);
}

// A database that is not one of sites, or not of this version, is refused for reading and for
// writing, and a refused write leaves it as it was.
TEST_F(PostgresSite, RefusesWhatIsNoSiteAndWritesNothing) {
  const CSS_Site site = test::RandomSite(31, 2);
  struct Case {
    const char* setup;      // SQL, after the site "s" was written; empty: a database without it
    const char* site;       // the site read and written
    const char* readError;  // what reading it says
    bool writable;          // whether it may be written
  };
  const Case cases[] = {
      {"", "s", "it has no tables of sites: make them with ssmsg migrate", true},
      {"CREATE TABLE controllers (x integer)", "s", "of another program", false},
      {"UPDATE ssmsg_schema SET \"Version\" = 99", "s", "schema version 99", false},
      {"SELECT 1", "other", "has no site named \"other\"", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setup);
    SetUp();
    if (*c.setup != '\0') {
      if (std::string_view(c.setup).rfind("CREATE", 0) != 0) Write(site, Uri("s"));
      Sql(c.setup);
    }
    const std::vector<std::string> errors = Errors(Uri(c.site));
    ASSERT_EQ(errors.size(), 1U);
    EXPECT_EQ(errors[0].rfind(Uri(c.site) + ": ", 0), 0U) << errors[0];
    EXPECT_TRUE(test::Contains(errors[0], c.readError));
    const CSS_DatabaseWriteResult written = WriteSiteDatabase(site, Uri("new"));
    EXPECT_EQ(written.errors.empty(), c.writable);
    if (!c.writable) {
      EXPECT_TRUE(written.refused);
      EXPECT_TRUE(test::Contains(Errors(Uri("new")).at(0), c.readError));
    }
    TearDown();
  }
}

// A statement is prepared on its connection once, however often it runs, with every value bound;
// one the server refuses says why, and leaves the connection as it was. An array's text is read
// by the server as its items, whatever they hold.
TEST_F(PostgresSite, PreparesEachStatementOnceAndBindsArraysItemByItem) {
  const pg::Connection connection = pg::Connect("postgresql:///" + database_);
  const std::string sql = "SELECT $1::integer + 1";
  for (int k = 0; k < 3; ++k) {
    const std::string value = std::to_string(k);
    EXPECT_EQ(pg::FirstInteger(pg::Run(connection.get(), sql, {value}).get()), k + 1);
  }
  const std::string prepared = "SELECT count(*) FROM pg_prepared_statements WHERE statement = $1";
  EXPECT_EQ(pg::FirstInteger(pg::Run(connection.get(), prepared, {sql}).get()), 1);
  EXPECT_THROW(pg::Run(connection.get(), "SELECT * FROM no_such_table"), pg::PgError);
  EXPECT_EQ(pg::FirstInteger(pg::Run(connection.get(), sql, {"41"}).get()), 42);
  // Another connection has statements of its own.
  const pg::Connection other = pg::Connect("postgresql:///" + database_);
  EXPECT_EQ(pg::FirstInteger(pg::Run(other.get(), prepared, {sql}).get()), 0);

  const std::vector<std::string> items = {"sites", "a,b", "{c}", "d\"e", "f\\g", "", "NULL", " h "};
  pg::ArrayText text;
  for (const std::string& item : items)
    text.Add(item);
  const char* unnest = "SELECT u FROM unnest($1::text[]) WITH ORDINALITY AS t(u, k) ORDER BY k";
  const pg::TextRows read(pg::Run(connection.get(), unnest, {text.Text()}).get());
  ASSERT_EQ(read.Count(), static_cast<int>(items.size()));
  for (int row = 0; row < read.Count(); ++row) {
    EXPECT_FALSE(read.IsNull(row, 0)) << row;
    EXPECT_EQ(read.Value(row, 0), items[static_cast<std::size_t>(row)]) << row;
  }
  EXPECT_EQ(pg::FirstInteger(
                pg::Run(connection.get(), "SELECT cardinality($1::int[])", {pg::ArrayText().Text()})
                    .get()),
            0);
}

TEST_F(PostgresSite, SaysWhyItCannotConnect) {
  const std::string unreachable = "postgresql://127.0.0.1:1/db?site=s";
  const CSS_SiteLoadResult loaded = LoadSite(unreachable);
  ASSERT_EQ(loaded.errors.size(), 1U);
  EXPECT_TRUE(loaded.unreadable);
  EXPECT_TRUE(test::Contains(loaded.errors[0], unreachable + ": cannot connect: "));
  EXPECT_TRUE(test::Contains(loaded.errors[0], "port 1 failed"));
  // A refused password, which the error does not repeat.
  const char* host = std::getenv("PGHOST");
  const std::string refused = "postgresql://nobody:s3cret@" + std::string(host) + "/" + database_;
  const CSS_DatabaseWriteResult written =
      WriteSiteDatabase(test::RandomSite(1, 1), refused + "?site=s");
  ASSERT_EQ(written.errors.size(), 1U);
  EXPECT_TRUE(written.refused);
  EXPECT_TRUE(test::Contains(written.errors[0], "authentication failed"));
  EXPECT_FALSE(test::Contains(written.errors[0], "s3cret"));
}

// Rows that no writer of ssmsg makes, planted in the site of `first`'s controller: a time of an
// input that has no row, a name with a control character, and a holiday of a controller that is
// not there. On the server each row has its site.
std::string PlantedRows(const CSS_ControllerAddress& first, bool server) {
  const std::string keys = std::string(server ? "\"Site\", " : "") + "\"Interface\", \"Node\", ";
  const std::string site = server ? "1, " : "";
  return "INSERT INTO input_times (" + keys + "\"Number\") VALUES (" + site +
         std::to_string(first.interfaceId) + ", " + std::to_string(first.node) +
         ", 999); UPDATE controllers SET \"Name\" = 'a' || " + (server ? "chr" : "char") +
         "(1) WHERE \"Position\" = 1; INSERT INTO holidays (" + keys + "\"Number\") VALUES (" +
         site + "99, 99, 1)";
}

// The rows of a site are checked as those of a database file are, in the same words.
TEST_F(PostgresSite, ChecksEveryRowAsAFileIs) {
  const CSS_Site site = test::RandomSite(41, 3);
  const std::string file = (folder_ / "site.db").string();
  ASSERT_TRUE(WriteSiteDatabase(site, file).errors.empty());
  Write(site, Uri("s"));
  Sql(PlantedRows(site.Address(0), true));
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  const std::string fileSql = PlantedRows(site.Address(0), false);
  EXPECT_EQ(sqlite3_exec(db, fileSql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
      << sqlite3_errmsg(db);
  sqlite3_close(db);
  const std::vector<std::string> fromFile = Unnamed(Errors(file), file.size());
  EXPECT_EQ(fromFile.size(), 3U) << testing::PrintToString(fromFile);
  EXPECT_EQ(Unnamed(Errors(Uri("s")), Uri("s").size()), fromFile);
}

// A write that fails half way leaves the site that was there, whole.
TEST_F(PostgresSite, WritesAllOrNothing) {
  const CSS_Site before = test::RandomSite(51, 3);
  Write(before, Uri("s"));
  Sql("CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS "
      "$$BEGIN RAISE EXCEPTION 'no outputs today'; END$$; "
      "CREATE TRIGGER refuse BEFORE INSERT ON outputs FOR EACH ROW EXECUTE FUNCTION refuse()");
  const CSS_DatabaseWriteResult written = WriteSiteDatabase(test::RandomSite(52, 4), Uri("s"));
  ASSERT_EQ(written.errors.size(), 1U);
  EXPECT_FALSE(written.refused);
  EXPECT_TRUE(test::Contains(written.errors[0], "cannot write the site: ERROR:  no outputs today"));
  EXPECT_EQ(Read(Uri("s")).ToJson(), before.ToJson());
}

TEST_F(PostgresSite, MigrateMakesTheTablesOnce) {
  const std::string database = "postgresql:///" + database_;
  const CSS_MigrateResult made = MigrateSiteDatabase(database);
  ASSERT_TRUE(made.errors.empty()) << made.errors[0];
  EXPECT_EQ(made.from, 0);
  EXPECT_EQ(made.to, kPostgresSchemaVersion);
  const CSS_MigrateResult again = MigrateSiteDatabase(database + "?site=any");
  ASSERT_TRUE(again.errors.empty()) << again.errors[0];
  EXPECT_EQ(again.from, kPostgresSchemaVersion);
  EXPECT_EQ(Count("SELECT count(*) FROM ssmsg_schema"), 1);
}

// A database of an older version gains by migrate what came since (2: the site editor's tables,
// 3: database admins and the sites' versions, which count every change of a site's rows, 4: the
// kept images), and its sites stay as they were.
TEST_F(PostgresSite, AnOlderVersionGainsWhatCameSinceByMigrate) {
  const CSS_Site site =
      test::LoadOk(R"({"Controllers": [{"Interface": 1, "Node": 1, "Name": "a"}]})");
  for (const int old : {1, 2, 3}) {
    Write(site, Uri("s"));
    std::string undo =
        "DROP TABLE controller_images; ALTER TABLE sites DROP COLUMN \"Images\"; DROP FUNCTION "
        "ssmsg_sites_truncated CASCADE; DROP FUNCTION ssmsg_images_changed; ";
    if (old < 3) {
      undo +=
          "DROP FUNCTION ssmsg_site_changed CASCADE; ALTER TABLE sites DROP COLUMN \"Version\"; "
          "ALTER TABLE users DROP COLUMN \"DatabaseAdmin\"; ";
    }
    if (old == 1) {
      undo +=
          "DROP TABLE users, site_roles, sessions, api_tokens, audit_log, sent_controllers, "
          "login_failures; ";
    }
    Sql(undo + "UPDATE ssmsg_schema SET \"Version\" = " + std::to_string(old));
    const CSS_MigrateResult migrated = MigrateSiteDatabase(Uri("s"));
    ASSERT_TRUE(migrated.errors.empty()) << migrated.errors[0];
    EXPECT_EQ(migrated.from, old);
    EXPECT_EQ(Count("SELECT max(\"Version\") FROM ssmsg_schema"), kPostgresSchemaVersion);
    EXPECT_EQ(Count("SELECT count(*) FROM users") + Count("SELECT count(*) FROM audit_log"), 0);
    EXPECT_EQ(Count("SELECT count(\"Images\") FROM sites"), 1) << old;
    EXPECT_EQ(Read(Uri("s")).ToJson(), site.ToJson());
    const auto version = Count("SELECT \"Version\" FROM sites");
    Sql("UPDATE controllers SET \"Name\" = 'b'");
    Sql("DELETE FROM controllers");
    EXPECT_EQ(Count("SELECT \"Version\" FROM sites"), version + 2) << old;
  }
}

// A site is read from the images kept of its controllers while its rows are as the program that
// wrote them left them: any other change of its rows (here by hand) is read from the rows, and so
// is a site whose images are damaged.
TEST_F(PostgresSite, ASiteIsReadFromItsImagesUntilItsRowsChangeOtherwise) {
  const CSS_Site site = test::LoadOk(R"({"Controllers": [
      {"Interface": 1, "Node": 1, "Name": "a", "Inputs": [{"Name": "in"}]},
      {"Interface": 1, "Node": 2, "Name": "b"}]})");
  const std::string original = site.ToJson();
  // The site read, or its first error.
  const auto outcome = [this] {
    CSS_SiteLoadResult loaded = LoadSite(Uri("s"), 2);
    return loaded.site ? loaded.site->ToJson() : loaded.errors.at(0);
  };
  // As a writer of images does it: the images stay.
  const std::string asWriter =
      "BEGIN; SELECT set_config('ssmsg.images', \"Images\", true) FROM sites; ";
  // Each change, and whether the images are kept after it.
  const std::pair<std::string, bool> cases[] = {
      {"UPDATE inputs SET \"Name\" = 'by hand'", false},
      {"DELETE FROM controllers WHERE \"Node\" = 2", false},
      {"INSERT INTO inputs (\"Site\", \"Interface\", \"Node\", \"Number\") SELECT \"Id\", 7, 7, 1 "
       "FROM sites",
       false},
      {"TRUNCATE inputs", false},
      {"UPDATE controller_images SET \"Image\" = \"Image\" || '\\x00'::bytea", false},
      {asWriter + "UPDATE inputs SET \"Name\" = 'by hand'; COMMIT", true},
      {asWriter + "UPDATE controller_images SET \"Image\" = substring(\"Image\" FROM 1 FOR "
                  "length(\"Image\") - 1); COMMIT",
       true},
      {asWriter + "UPDATE controller_images SET \"Image\" = \"Image\" || '\\x00'::bytea; COMMIT",
       true},
  };
  for (const auto& [change, kept] : cases) {
    Write(site, Uri("s"));
    ASSERT_EQ(Count("SELECT count(\"Images\") FROM sites"), 1);
    Sql(change);
    EXPECT_EQ(Count("SELECT count(\"Images\") FROM sites"), kept ? 1 : 0) << change;
    const std::string read = outcome();
    Sql("UPDATE sites SET \"Images\" = NULL");
    const std::string rows = outcome();
    const bool damaged = change.find("controller_images") != std::string::npos;
    if (kept && !damaged) {
      EXPECT_NE(rows, original) << change;  // the rows did change
      EXPECT_EQ(read, original) << change;
    } else {
      EXPECT_EQ(read, rows) << change;
    }
  }
  // migrate keeps them again, as the rows are.
  Write(site, Uri("s"));
  Sql("UPDATE inputs SET \"Name\" = 'by hand'");
  ASSERT_TRUE(MigrateSiteDatabase(Uri("s")).errors.empty());
  EXPECT_EQ(Count("SELECT count(\"Images\") FROM sites"), 1);
  EXPECT_TRUE(test::Contains(outcome(), "\"by hand\""));
  // A site whose rows have errors is left to be read from them.
  Sql("INSERT INTO inputs (\"Site\", \"Interface\", \"Node\", \"Number\") SELECT \"Id\", 7, 7, 1 "
      "FROM sites");
  ASSERT_TRUE(MigrateSiteDatabase(Uri("s")).errors.empty());
  EXPECT_EQ(Count("SELECT count(\"Images\") FROM sites"), 0);
}

// A site of `count` controllers whose names end in `mark`: two such sites differ in every
// controller, so that a mixture of them is seen.
std::string MarkedSite(int count, const std::string& mark) {
  std::string text = R"({"Controllers": [)";
  for (int c = 0; c < count; ++c) {
    text += (c == 0 ? "" : ",") + std::string(R"({"Interface": 1, "Node": )") + std::to_string(c) +
            R"(, "Name": "controller )" + mark + R"(", "Inputs": [)";
    for (int i = 0; i < 64; ++i)
      text += (i == 0 ? "" : ",") + std::string(R"({"Name": "input )") + mark + R"("})";
    text += "]}";
  }
  return text + "]}";
}

// The tool as a process, on the server: each read of a site sees the whole of one write, while
// another process writes it again and again, and a write killed at any moment leaves the site of
// before or the whole new one.
TEST_F(PostgresSite, ReadersSeeOneWriteWholeAndAKilledWriteLeavesTheSiteWhole) {
  for (const char* mark : {"a", "b"}) {
    std::ofstream(folder_ / (std::string(mark) + ".json")) << MarkedSite(400, mark);
    ASSERT_EQ(Shell(std::string("\"$SSMSG\" convert ") + mark + ".json " + mark + ".canon").status,
              0);
  }
  ASSERT_EQ(Shell("\"$SSMSG\" convert a.json \"$S\"").status, 0);
  // A writer that goes on until the readers are done, or one of its writes fails; the readers
  // stop it however they end.
  const test::ShellResult read = Shell(
      "(while [ ! -e done ]; do \"$SSMSG\" convert b.json \"$S\" && \"$SSMSG\" convert a.json "
      "\"$S\" || break; done) & writer=$!\ntrap 'touch done; wait $writer' EXIT\n"
      "for i in 1 2 3 4 5 6 7 8; do \"$SSMSG\" convert \"$S\" read.json || exit 1; "
      "cmp -s read.json a.canon || cmp -s read.json b.canon || { echo \"read $i is no one write\"; "
      "exit 1; }; done");
  EXPECT_EQ(read.status, 0) << read.out << read.err;
  for (const char* delay : {"0.05", "0.2", "0.4", "0.7"}) {
    const test::ShellResult killed =
        Shell(std::string("\"$SSMSG\" convert a.json \"$S\" || exit 1\n"
                          "\"$SSMSG\" convert b.json \"$S\" & writer=$!; sleep ") +
              delay +
              "; kill -9 $writer; wait $writer\n\"$SSMSG\" convert \"$S\" read.json || exit 1\n"
              "cmp -s read.json a.canon || cmp -s read.json b.canon || { echo 'no whole site'; "
              "exit 1; }");
    EXPECT_EQ(killed.status, 0) << delay << ": " << killed.out << killed.err;
  }
}

// The site editor's commands on a site of the server: users are given a role in one site, and
// serve refuses a site that is not there or has no admin yet, naming why.
TEST_F(PostgresSite, UsersHaveARolePerSiteAndServeNamesWhatIsMissing) {
  Write(test::LoadOk(R"({"Controllers": [{"Interface": 1, "Node": 1, "Name": "a"}]})"), Uri("s"));
  Write(test::LoadOk(R"({"Controllers": []})"), Uri("t"));
  // Each script, its status, and what it said: in its standard error, or its output for status 0.
  const std::tuple<const char*, int, const char*> cases[] = {
      {"\"$SSMSG\" serve --config \"${S%s}none\"", 2, "has no site named \"none\""},
      {"\"$SSMSG\" serve --config \"$S\"", 2, "has no admin account yet"},
      {"printf 'a long password 1\\n' | \"$SSMSG\" user add ada --role admin --config \"$S\"", 0,
       ""},
      {"\"$SSMSG\" user list --config \"$S\"", 0, "ada admin\n"},
      // ada is no user of t, and her name is the database's.
      {"\"$SSMSG\" user list --config \"$T\"", 0, ""},
      {"printf 'a long password 2\\n' | \"$SSMSG\" user add ada --role viewer --config \"$T\"", 1,
       "has a user ada already"},
      // ... who may be given a role there, and keeps her password.
      {"\"$SSMSG\" user role ada --role viewer --config \"$T\"", 0, ""},
      {"\"$SSMSG\" user list --config \"$T\"", 0, "ada viewer\n"},
      {"\"$SSMSG\" user list --config \"$S\"", 0, "ada admin\n"},
      {"\"$SSMSG\" user role bob --role viewer --config \"$T\"", 1, "no user bob"},
      {"\"$SSMSG\" user remove ada --config \"$S\"", 1, "is the last admin"},
      // A user of the database itself is a database admin: an admin of every site.
      {"printf 'a long password 3\\n' | \"$SSMSG\" user add root --role viewer --config \"$D\"", 2,
       "is a database admin (--role admin)"},
      {"printf 'a long password 3\\n' | \"$SSMSG\" user add root --role admin --config \"$D\"", 0,
       ""},
      {"\"$SSMSG\" user list --config \"$T\"", 0, "ada viewer\nroot admin\n"},
      {"\"$SSMSG\" user remove ada --config \"$S\"", 0, ""},
      {"\"$SSMSG\" user role root --role editor --config \"$D\"", 0, ""},
      {"\"$SSMSG\" user list --config \"$S\"", 0, ""},
      {"\"$SSMSG\" user list --config \"$T\"", 0, "ada viewer\n"},
  };
  for (const auto& [script, status, said] : cases) {
    const test::ShellResult result = Shell(script);
    EXPECT_EQ(result.status, status) << script << ": " << result.err;
    if (status == 0) {
      EXPECT_EQ(result.out, said) << script;
    } else {
      EXPECT_TRUE(test::Contains(result.err, said)) << script;
    }
  }
}

}  // namespace
}  // namespace ssmsg
