// Site databases: a site written as a database and read back gives the same site (the same
// messages for every task list, the same canonical site file), and bad databases give errors that
// name the table and the row.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <ssmsg/SiteDatabase.h>
#include <ssmsg/SiteSettings.h>
#include "memory_site.h"
#include "site/SiteData.h"
#include "site/StoreImage.h"
#include "site/file/SiteFileWriter.h"
#include "site_support.h"
#include "support.h"
#include "tests/store_filler.h"

namespace ssmsg {
namespace {

namespace fs = std::filesystem;
using Tasks = std::vector<ApplicationManagerTask>;

std::vector<std::string> Settings(const CSS_Site& site, const Tasks& tasks,
                                  const CSS_Selection& selection = {}) {
  return test::SiteMessages(site,
                            {.selection = selection, .tasks = tasks, .time = test::kFixedTime});
}

using test::LoadOk;

class SiteDb : public ::testing::Test {
 protected:
  fs::path folder = fs::path(testing::TempDir()) / ("sitedb." + std::to_string(getpid()));
  fs::path file = folder / "site.db";

  void SetUp() override {
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }

  void Write(const CSS_Site& site) {
    const std::vector<std::string> errors = WriteSiteDatabase(site, file).errors;
    ASSERT_TRUE(errors.empty()) << errors[0];
  }

  // Runs `sql` on the database, as a careless program might, and expects its result `code`.
  void Edit(const std::string& sql, int expected = SQLITE_OK) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.string().c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    const int code = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    EXPECT_EQ(code, expected) << sql << ": " << (error != nullptr ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
  }

  // The site file of the site that the database holds ("" when it does not load).
  std::string Loaded() {
    const CSS_SiteLoadResult loaded = LoadSite(file);
    EXPECT_TRUE(loaded.site.has_value()) << loaded.errors[0];
    return loaded.site ? loaded.site->ToJson() : "";
  }

  // The errors of loading the database, the same whether it is checked on one thread or two.
  std::vector<std::string> Errors() {
    const CSS_SiteLoadResult loaded = LoadSite(file);
    EXPECT_FALSE(loaded.site.has_value());
    EXPECT_EQ(LoadSite(file, 2).errors, loaded.errors);
    return loaded.errors;
  }
};

TEST_F(SiteDb, RandomSitesComeBackWithTheSameMessagesAndSiteFile) {
  const Tasks all(kSettingsTasks.begin(), kSettingsTasks.end());
  std::mt19937 random(11);
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    const CSS_Site site = test::RandomSite(seed, 1 + seed % 4);
    Write(site);
    CSS_SiteLoadResult loaded = LoadSite(file, 2);
    ASSERT_TRUE(loaded.errors.empty()) << "seed " << seed << ": " << loaded.errors[0];
    const CSS_Site& back = *loaded.site;
    EXPECT_EQ(back.ToJson(), site.ToJson()) << "seed " << seed;
    ASSERT_EQ(back.ControllerCount(), site.ControllerCount());
    EXPECT_EQ(Settings(back, all), Settings(site, all)) << "seed " << seed;
    // A task list and a selection of their own.
    Tasks tasks(1 + random() % 6);
    for (ApplicationManagerTask& task : tasks)
      task = kSettingsTasks[random() % kSettingsTasks.size()];
    const CSS_Selection chosen{site.Address(0).interfaceId, std::nullopt};
    EXPECT_EQ(Settings(back, tasks, chosen), Settings(site, tasks, chosen)) << "seed " << seed;
    // The warnings name the same values, each where the database has it.
    CSToolEnum enums;
    EXPECT_EQ(back.Warnings(enums).size(), site.Warnings(enums).size()) << "seed " << seed;
  }
}

// Sites that come back whole, also from the database's bytes (as from standard input): the
// demo site and an empty one; lists longer than the rows that go into the database in one
// statement, with positions without a row among them, and a time group's zones between rows of
// time_groups, in order; a count given equal to its list's length (an empty list too), which
// stays given while one not given still follows its list; and an input that a host's store times
// without a record for it, written as a cleared record as the site file writes it.
TEST_F(SiteDb, SitesComeBackWhole) {
  std::string inputs;
  std::string zones;
  for (int i = 1; i <= 70; ++i) {
    inputs +=
        (i == 1 ? "" : ", ") +
        (i % 11 == 0 ? std::string("null") : "{ \"Name\": \"input " + std::to_string(i) + "\" }");
    zones += (i == 1 ? "" : ", ") + std::string("{ \"ZoneNo\": ") + std::to_string(i % 50) +
             ", \"Monday\": " + (i % 3 == 0 ? "true" : "false") + " }";
  }
  const std::string counted =
      LoadOk(R"({ "Controllers": [ { "Interface": 1, "Node": 2, "Resource": { "Comms": 0, )"
             R"("Inputs": 2 }, "Inputs": [ { "Name": "a" }, { "Name": "b" } ], )"
             R"("Outputs": [ { "Name": "c" } ] } ] })")
          .ToJson();
  EXPECT_NE(counted.find("\"Resource\": { \"Inputs\": 2, \"Comms\": 0 }"), std::string::npos);
  EXPECT_EQ(LoadOk(counted).ToJson(), counted);
  test::MemorySite timed;
  CSS_SiteController& controller = timed.controllers.emplace_back();
  controller.address = {1, 2};
  CSDevice_InputTimeItem time{};
  time.Clear();
  time.Debounce = 7;
  for (int input = 0; input < 40; ++input)
    controller.store.GetInputTime().Set(input, time);
  const struct {
    CSS_Site site;
    std::string json;
  } cases[] = {
      {LoadOk(test::ReadFile(SSMSG_TEST_SITES "/../../site/demo_site.json")), ""},
      {LoadOk("{ \"Controllers\": [] }"), ""},
      {LoadOk(R"({ "Controllers": [ { "Interface": 1, "Node": 2, "Inputs": [ )" + inputs +
              R"( ], "TimeGroups": [ { "Zones": [ )" + zones +
              R"( ] }, null, { "Zones": [ { "ZoneNo": 3 } ] }, { "Zones": [ )" + zones +
              R"( ] } ] }, { "Interface": 1, "Node": 3, "Inputs": [ )" + inputs + " ] } ] }"),
       ""},
      {LoadOk(counted), counted},
      {timed.Make(), LoadOk(timed.Json()).ToJson()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("case " + std::to_string(&c - cases));
    const std::string json = c.json.empty() ? c.site.ToJson() : c.json;
    Write(c.site);
    EXPECT_EQ(Loaded(), json);
    const CSS_SiteLoadResult fromBytes = LoadSiteText(test::ReadFile(file), "<stdin>");
    ASSERT_TRUE(fromBytes.site.has_value()) << fromBytes.errors[0];
    EXPECT_EQ(fromBytes.site->ToJson(), json);
  }
}

TEST_F(SiteDb, TheSchemaMakesADatabaseThatRowsCanBeWrittenInto) {
  Edit(SiteDatabaseSchema() +
       "INSERT INTO controllers (Interface, Node, Name) VALUES (1, 2, 'Gate');"
       "INSERT INTO inputs (Interface, Node, Number, Name) VALUES (1, 2, 2, 'Door');"
       "INSERT INTO input_times (Interface, Node, Number, Debounce) VALUES (1, 2, 2, 5);");
  Edit("UPDATE input_times SET Debounce = 70000", SQLITE_CONSTRAINT);  // SQLite refuses it itself
  EXPECT_EQ(Loaded(),
            LoadOk(R"({ "Controllers": [ { "Interface": 1, "Node": 2, "Name": "Gate", "Inputs": )"
                   R"([ null, { "Name": "Door", "Time": { "Debounce": 5, "LevelTGs": [0, 0, 0, )"
                   R"(0, 0] } } ] } ] })")
                .ToJson());
}

// Each bad database gives its error, naming the file, the table and the row.
TEST_F(SiteDb, BadDatabasesSayWhatIsWrongAndWhere) {
  const CSS_Site site = LoadOk(
      R"({ "Controllers": [ { "Interface": 1, "Node": 2, "Holidays": [ { "Month": 1 } ], )"
      R"("TimeGroups": [ { "Zones": [ { "ZoneNo": 1 } ] } ], "Inputs": [ { "Name": "In", "Time": )"
      R"({ "Debounce": 3, "LevelTGs": [1, 2, 3, 4, 5] } } ] } ] })");
  const std::string name = file.string() + ": ";
  const std::pair<std::string, std::string> cases[] = {
      {"PRAGMA ignore_check_constraints = ON; UPDATE input_times SET Debounce = 70000",
       "input_times[interface 1, node 2, number 1].Debounce: 70000 is outside -32768..32767"},
      {"PRAGMA ignore_check_constraints = ON; UPDATE inputs SET EOL = 2",
       "inputs[interface 1, node 2, number 1].EOL: 2 is outside 0..1"},
      {"PRAGMA ignore_check_constraints = ON; UPDATE time_group_zones SET Monday = -1",
       "time_group_zones[interface 1, node 2, time group 1, number 1].Monday: -1 is outside 0..1"},
      {"PRAGMA ignore_check_constraints = ON; UPDATE controllers SET Node = -4",
       "controllers[interface 1, node -4].Node: -4 is outside 0..2147483647"},
      {"INSERT INTO inputs (Interface, Node, Number) VALUES (9, 9, 1)",
       "inputs[interface 9, node 9, number 1]: no controller has interface 9 and node 9"},
      {"INSERT INTO input_links (Interface, Node, Number) VALUES (1, 2, 4)",
       "input_links[interface 1, node 2, number 4]: no row of inputs at this number"},
      {"INSERT INTO time_group_zones (Interface, Node, TimeGroup, Number) VALUES (1, 2, 3, 1)",
       "time_group_zones[interface 1, node 2, time group 3, number 1]: no row of time_groups at "
       "this time group"},
      // A table made again without its key, and a second row for one position.
      {"CREATE TABLE copy AS SELECT * FROM holidays; DROP TABLE holidays; "
       "ALTER TABLE copy RENAME TO holidays; INSERT INTO holidays SELECT * FROM holidays",
       "holidays[interface 1, node 2, number 1]: a second row for this position"},
      {"CREATE TABLE copy AS SELECT * FROM holidays; DROP TABLE holidays; "
       "ALTER TABLE copy RENAME TO holidays; UPDATE holidays SET Day = 'x'",
       "holidays[interface 1, node 2, number 1].Day: \"x\" is not an integer"},
      {"UPDATE inputs SET Name = CAST(x'ff' AS TEXT)",
       "inputs[interface 1, node 2, number 1].Name: the text is not valid UTF-8"},
      {"INSERT INTO enum_texts VALUES ('InputType', 3, CAST(x'c0' AS TEXT))",
       "enum_texts[\"InputType\", 3].Text: the text is not valid UTF-8"},
      {"UPDATE inputs SET Name = 'Door' || char(10) || '<Command>'",
       "inputs[interface 1, node 2, number 1].Name: the text holds the control character U+000A; "
       "of those, a text may hold tab only"},
      {"INSERT INTO enum_texts VALUES ('InputType', 3, 'C1 ' || char(133))",
       "enum_texts[\"InputType\", 3].Text: the text holds the control character U+0085; of "
       "those, a text may hold tab only"},
      {"PRAGMA ignore_check_constraints = ON; INSERT INTO enum_texts VALUES ('Nope', 1, 'x')",
       "enum_texts[\"Nope\", 1].Enumeration: unknown enumeration"},
      {"PRAGMA user_version = " + std::to_string(kSiteDatabaseVersion + 1),
       "the database has schema version " + std::to_string(kSiteDatabaseVersion + 1) +
           ", newer than this ssmsg reads (" + std::to_string(kSiteDatabaseVersion) +
           "); use a newer ssmsg"},
      {"PRAGMA user_version = 0",
       "the database has schema version 0, older than this ssmsg reads (1); bring it up to date "
       "with: ssmsg migrate " +
           file.string()},
      {"PRAGMA application_id = 7",
       "not a site database (an SQLite database of another program: its application id is 7, "
       "not 1936944487)"},
      {"DROP TABLE reader_access_alarms",
       "not a site database of this version: table reader_access_alarms: no such table: "
       "reader_access_alarms"},
  };
  for (const auto& [sql, error] : cases) {
    fs::remove(file);  // a damaged database is not written into
    Write(site);
    Edit(sql);
    const std::vector<std::string> errors = Errors();
    ASSERT_FALSE(errors.empty()) << sql;
    EXPECT_NE(errors[0].find(name), std::string::npos) << errors[0];
    EXPECT_EQ(errors[0].substr(errors[0].find(name) == 0 ? name.size() : 0), error) << sql;
  }
}

// Past 100 errors the check stops, at the same error whether one thread checks or two: here the
// second of three controllers, each with 60 bad inputs.
TEST_F(SiteDb, ErrorsStopAtTheHundredthInControllerOrder) {
  std::string text = "{ \"Controllers\": [";
  for (int node = 1; node <= 3; ++node) {
    text += std::string(node == 1 ? "" : ",") +
            " { \"Interface\": 1, \"Node\": " + std::to_string(node) + ", \"Inputs\": [";
    for (int input = 1; input <= 60; ++input)
      text += std::string(input == 1 ? "" : ",") + " { \"Name\": \"i\" }";
    text += " ] }";
  }
  Write(LoadOk(text + " ] }"));
  Edit("PRAGMA ignore_check_constraints = ON; UPDATE inputs SET EOL = 2");
  const std::vector<std::string> errors = Errors();
  ASSERT_EQ(errors.size(), 101u);
  EXPECT_EQ(errors[99],
            file.string() + ": inputs[interface 1, node 2, number 40].EOL: 2 is outside 0..1");
  EXPECT_EQ(errors[100],
            file.string() + ": more than 100 errors, the rest of the database is not checked");
}

TEST_F(SiteDb, DamagedFilesAreErrorsNotCrashes) {
  const CSS_Site site = LoadOk(test::ReadFile(SSMSG_TEST_SITES "/../../site/demo_site.json"));
  Write(site);
  const std::string whole = test::ReadFile(file);
  std::vector<std::string> damaged = {
      std::string("SQLite format 3\0", 16) + std::string(100, 'x'),  // a header and no database
      whole.substr(0, whole.size() / 2),                             // truncated
      whole.substr(0, 4096 + 100),
  };
  for (std::size_t at = 4096; at + 64 < whole.size(); at += 4096 + 512) {
    std::string corrupted = whole;  // a page's bytes overwritten
    for (std::size_t i = 0; i < 64; ++i)
      corrupted[at + i * 7 % 512] = static_cast<char>(0xA5 ^ i);
    damaged.push_back(corrupted);
  }
  for (const std::string& bytes : damaged) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    const CSS_SiteLoadResult loaded = LoadSite(file);
    if (loaded.site) {
      // Damage that SQLite does not notice changes values that are still valid; loading every
      // controller must still work.
      CSApplicationManagerStd store;
      for (std::size_t i = 0; i < loaded.site->ControllerCount(); ++i)
        loaded.site->LoadController(i, store);
      continue;
    }
    ASSERT_FALSE(loaded.errors.empty());
    EXPECT_EQ(loaded.errors[0].rfind(file.string() + ": ", 0), 0u) << loaded.errors[0];
  }
}

TEST_F(SiteDb, MigrateMakesAnEmptyDatabaseASiteAndRefusesOthers) {
  std::ofstream(file).close();  // an empty file is an empty database
  CSS_MigrateResult result = MigrateSiteDatabase(file);
  ASSERT_TRUE(result.errors.empty()) << result.errors[0];
  EXPECT_EQ(result.from, 0);
  EXPECT_EQ(result.to, kSiteDatabaseVersion);
  EXPECT_EQ(Loaded(), LoadOk("{ \"Controllers\": [] }").ToJson());
  result = MigrateSiteDatabase(file);  // already there
  EXPECT_TRUE(result.errors.empty());
  EXPECT_EQ(result.from, kSiteDatabaseVersion);

  Edit("PRAGMA user_version = 9");
  result = MigrateSiteDatabase(file);
  ASSERT_EQ(result.errors.size(), 1u);
  EXPECT_NE(result.errors[0].find("schema version 9, newer"), std::string::npos);
  fs::remove(file);
  Edit("CREATE TABLE other (a)");
  result = MigrateSiteDatabase(file);
  ASSERT_EQ(result.errors.size(), 1u);
  EXPECT_NE(result.errors[0].find("another program"), std::string::npos);
}

// A database of version 1 (before the site editor's tables) is read as a site as it is, and
// migrate adds the editor's tables without touching the site.
TEST_F(SiteDb, VersionOneIsReadAndMigratedToTheLatest) {
  fs::copy_file(SSMSG_TEST_SITES "/demo_site.db", file);
  const std::string before = Loaded();
  ASSERT_NE(before, "");
  const CSS_MigrateResult result = MigrateSiteDatabase(file);
  ASSERT_TRUE(result.errors.empty()) << result.errors[0];
  EXPECT_EQ(result.from, 1);
  EXPECT_EQ(result.to, kSiteDatabaseVersion);
  EXPECT_EQ(Loaded(), before);
  // The new tables are there, empty, and take rows.
  Edit(
      "INSERT INTO users (Name, Role, PasswordHash) VALUES ('ada', 'admin', 'x');"
      "INSERT INTO audit_log (Time, User, Method, Path, Before, After) "
      "VALUES (1, 'ada', 'PUT', '/', 'null', 'null')");
  EXPECT_TRUE(LoadSite(file).site);
}

TEST_F(SiteDb, AFailedWriteLeavesTheOldDatabase) {
  const CSS_Site site = test::RandomSite(3, 3);
  Write(site);
  const std::string before = test::ReadFile(file);
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
  // Root writes anyway, and so does anyone on Windows, where a folder's read-only flag does not
  // keep files out.
  const bool unwritable = !std::ofstream(folder / "probe");
  const std::vector<std::string> errors = WriteSiteDatabase(test::RandomSite(4, 3), file).errors;
  fs::permissions(folder, fs::perms::owner_all);
  fs::remove(folder / "probe");
  if (unwritable) {
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind(file.string() + ": cannot write the database: ", 0), 0u);
    EXPECT_EQ(test::ReadFile(file), before);
  }
  // No temporary file left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

// An image that is cut short anywhere, or runs on past its end, is refused and leaves the store
// empty: the images that a database server keeps are read as the rows are, not taken on trust.
TEST(StoreImage, ADamagedImageIsRefusedWhereverItIsCut) {
  const CSS_Site site = test::RandomSite(17, 1);
  CSApplicationManagerStd store;
  CSS_SiteAccess::Of(site).Load(0, store);
  std::string image;
  EncodeStore(store, image);
  std::string empty;
  EncodeStore(CSApplicationManagerStd(), empty);
  CSApplicationManagerStd read;
  ASSERT_TRUE(DecodeStore(image, read));
  std::string again;
  EncodeStore(read, again);
  ASSERT_EQ(again, image);
  std::vector<std::string> damaged{image + '\0'};
  // Its name with a line feed, and with a byte that is not UTF-8.
  const std::string& name = store.GetConfig().Name;
  ASSERT_FALSE(name.empty());
  for (const char bad : {'\n', '\xFF'}) {
    std::string text = image;
    text[text.find(name)] = bad;
    damaged.push_back(text);
  }
  for (std::size_t cut = 0; cut < image.size(); cut += 1 + image.size() / 200)
    damaged.push_back(image.substr(0, cut));
  for (const std::string& bytes : damaged) {
    ASSERT_TRUE(DecodeStore(image, read));
    EXPECT_FALSE(DecodeStore(bytes, read)) << bytes.size() << " of " << image.size();
    again.clear();
    EncodeStore(read, again);
    EXPECT_EQ(again, empty) << bytes.size();
  }
}

}  // namespace
}  // namespace ssmsg
