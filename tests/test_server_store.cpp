// The server's store over a site database: entity tags follow the rows whoever changes them, what
// the server writes is the site that every other reader of the database reads, and only site
// databases of this schema version are served.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <tuple>
#include <vector>

#include "memory_site.h"
#include "server/Api.h"
#include "server/JsonValue.h"
#include "server/Service.h"
#include "server/SiteConnection.h"
#include "server_support.h"
#include "site/file/SiteFile.h"
#include "site/file/SiteFileWriter.h"
#include "support.h"
#include "tests/store_filler.h"

namespace ssmsg::server {
namespace {

// The records of the controller `json`, which must check.
std::unique_ptr<CSApplicationManagerStd> RecordsOf(std::string_view json) {
  auto records = std::make_unique<CSApplicationManagerStd>();
  const Result<CSS_ControllerAddress> read = ReadControllerText(json, *records);
  EXPECT_TRUE(read) << read.error().front().Text();
  return records;
}

// Runs `sql` on a connection of its own to `file`, as another program would: the rows it gave,
// each its values joined by '|'.
std::vector<std::string> Elsewhere(const std::filesystem::path& file, const std::string& sql) {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  const auto row = [](void* out, int count, char** values, char**) {
    std::string text;
    for (int k = 0; k < count; ++k)
      text += (k ? "|" : "") + std::string(values[k] ? values[k] : "");
    static_cast<std::vector<std::string>*>(out)->push_back(text);
    return 0;
  };
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), row, &rows, &error), SQLITE_OK)
      << sql << ": " << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
  return rows;
}

const CSS_ControllerAddress kOne{1, 1};
const CSS_ControllerAddress kTwo{1, 2};

class ServerDatabase : public ::testing::Test {
 protected:
  ServerDatabase() {
    test::MakeDatabase(test::ReadFile(SSMSG_SOURCE_DIR "/site/demo_site.json"), file_);
    store_ = test::OpenDatabase(file_);
  }

  std::vector<std::string> Elsewhere(const std::string& sql) {
    return server::Elsewhere(file_, sql);
  }

  std::string Etag(CSS_ControllerAddress address) { return store_->Controller(address)->etag; }

  // Replaces the controller at `address`, which has the tag `etag`, with `json`; without a tag,
  // makes it where there is none.
  WriteResult Put(CSS_ControllerAddress address, const std::string& etag, const std::string& json) {
    const Expect expect{etag.empty() ? Expect::Kind::Absent : Expect::Kind::Present, etag};
    return store_->PutController(address, expect, *RecordsOf(json), {"eve", "PUT", "/", 0});
  }

  // Replaces controller 1/2 with its JSON (`json`, or as the store has it now) in which `from`
  // is replaced by `to`.
  WriteResult Rename(const std::string& etag, const std::string& from, const std::string& to,
                     std::string json = {}) {
    if (json.empty()) json = store_->Controller(kTwo)->json;
    json.replace(json.find(from), from.size(), to);
    return Put(kTwo, etag, json);
  }

  test::TempFolder folder_;
  std::filesystem::path file_ = folder_ / "site.db";
  std::unique_ptr<DatabaseStore> store_;
};

TEST_F(ServerDatabase, EntityTagsFollowTheRowsWhoeverChangesThem) {
  const std::string one = Etag(kOne);
  const std::string two = Etag(kTwo);
  // A commit elsewhere that leaves these controllers as they were leaves their tags.
  Elsewhere("INSERT INTO enum_texts VALUES ('InputType', 77, 'Seventy-seven')");
  EXPECT_EQ(Etag(kOne), one);
  EXPECT_EQ(Etag(kTwo), two);
  EXPECT_TRUE(test::Contains(store_->EnumsJson(), "\"77\":\"Seventy-seven\""));

  // Rows changed with SQL behind the server's back: the tag changes, and a write made with the
  // old tag is refused.
  Elsewhere("UPDATE inputs SET Name = 'Side door' WHERE Interface = 1 AND Node = 2 AND Number = 1");
  const std::string changed = Etag(kTwo);
  EXPECT_NE(changed, two);
  EXPECT_EQ(Etag(kOne), one);
  EXPECT_TRUE(test::Contains(store_->Controller(kTwo)->json, "Side door"));
  EXPECT_EQ(Rename(two, "Side door", "Lost").status, WriteStatus::Stale);

  // The server's own write gives the tag that reading its rows again gives.
  const WriteResult written = Rename(changed, "Side door", "Front door");
  ASSERT_EQ(written.status, WriteStatus::Done);
  Elsewhere("DELETE FROM enum_texts WHERE Value = 77");
  EXPECT_EQ(Etag(kTwo), written.state.etag);
  EXPECT_EQ(test::OpenDatabase(file_)->Controller(kTwo)->etag, written.state.etag);

  // A controller moved away with SQL is gone for the server too.
  Elsewhere("UPDATE controllers SET Node = 9 WHERE Node = 2");
  EXPECT_FALSE(store_->Controller(kTwo));
}

// With room for one controller's JSON only, the others are read again from their rows whenever
// they are needed, and a change still logs what the controller was before it.
TEST_F(ServerDatabase, ControllersNotKeptAreReadAgainFromTheirRows) {
  store_ = test::OpenDatabase(file_, 0);
  const ControllerState original = *store_->Controller(kTwo);
  EXPECT_EQ(store_->Controller(kOne)->position, 0U);  // and 1/2 is no longer kept
  const WriteResult written = Rename(original.etag, "Warehouse Vending", "Dock", original.json);
  ASSERT_EQ(written.status, WriteStatus::Done);
  const std::vector<AuditEntry> audit = store_->Audit(0, 10);
  ASSERT_EQ(audit.size(), 1U);
  EXPECT_EQ(audit[0].before, original.json);
  EXPECT_EQ(audit[0].after, written.state.json);
  store_->Controller(kOne);
  EXPECT_EQ(store_->Controller(kTwo)->json, written.state.json);
  store_->Controller(kOne);
  EXPECT_EQ(store_->Pending(kTwo)->etag, written.state.etag);
  // A later change's "before" is the earlier one's "after", also read in a page of its own.
  const WriteResult again = Rename(written.state.etag, "Dock", "Bay", written.state.json);
  ASSERT_EQ(again.status, WriteStatus::Done);
  const std::vector<AuditEntry> later = store_->Audit(audit[0].id, 10);
  ASSERT_EQ(later.size(), 1U);
  EXPECT_EQ(later[0].before, written.state.json);
  EXPECT_EQ(later[0].after, again.state.json);
}

// The log read newest first, a page at a time, and one controller's alone: each entry's "before"
// is what the controller was, whichever entries the page leaves out.
TEST_F(ServerDatabase, TheLogIsReadNewestFirstAndByController) {
  std::vector<std::string> twos = {store_->Controller(kTwo)->json};
  const char* const names[] = {"Warehouse Vending", "A", "B", "C"};
  for (std::size_t k = 1; k < 4; ++k) {
    ASSERT_EQ(Rename(Etag(kTwo), names[k - 1], names[k], twos.back()).status, WriteStatus::Done);
    twos.push_back(store_->Controller(kTwo)->json);
    std::string one = store_->Controller(kOne)->json;
    one.replace(one.find("\"Name\":\"") + 8, 0, names[k]);
    ASSERT_EQ(Put(kOne, Etag(kOne), one).status, WriteStatus::Done);
  }
  const std::vector<AuditEntry> all = store_->Audit(0, 100);
  ASSERT_EQ(all.size(), 6U);
  const std::vector<AuditEntry> latest = store_->Audit(AuditQuery{0, 0, {}, {}, {}, {}}, 2);
  ASSERT_EQ(latest.size(), 2U);
  EXPECT_EQ(latest[0].id, all[5].id);
  EXPECT_EQ(latest[1].id, all[4].id);
  const std::vector<AuditEntry> earlier =
      store_->Audit(AuditQuery{0, latest[1].id, {}, {}, {}, {}}, 100);
  ASSERT_EQ(earlier.size(), 4U);
  EXPECT_EQ(earlier[0].id, all[3].id);
  EXPECT_EQ(earlier[3].id, all[0].id);
  const std::vector<AuditEntry> two = store_->Audit(AuditQuery{0, 0, kTwo, {}, {}, {}}, 2);
  ASSERT_EQ(two.size(), 2U);
  for (std::size_t k = 0; k < two.size(); ++k) {
    EXPECT_EQ(two[k].controller, kTwo);
    EXPECT_EQ(two[k].after, twos[3 - k]);
    EXPECT_EQ(two[k].before, twos[2 - k]);
  }
  EXPECT_EQ(store_->Audit(AuditQuery{all[0].id, {}, kOne, {}, {}, {}}, 100).size(), 3U);
}

TEST_F(ServerDatabase, RowsMadeInvalidWithSqlAreNamedAndTheRestIsServed) {
  Service service(*store_, {});
  AddApiRoutes(service);
  store_->AddUser({0, "vic", Role::Viewer, ""}, {});
  store_->AddToken(*store_->FindUser("vic"), SecretHash("vic-token"), {}, {});
  const auto get = [&](const std::string& target) {
    return service.Handle(
        {"GET", target, {{"Authorization", "Bearer vic-token"}}, "", "", false, {}});
  };
  Elsewhere(
      "PRAGMA ignore_check_constraints = ON; UPDATE inputs SET EOL = 2 WHERE Node = 2 AND "
      "Number = 1");
  const Response bad = get("/api/controllers/1/2");
  EXPECT_EQ(bad.status, 500);
  EXPECT_TRUE(
      test::Contains(bad.body, "inputs[interface 1, node 2, number 1].EOL: 2 is outside 0..1"));
  EXPECT_EQ(get("/api/controllers/1/1").status, 200);
  Elsewhere("UPDATE inputs SET EOL = 1 WHERE Node = 2 AND Number = 1");
  EXPECT_EQ(get("/api/controllers/1/2").status, 200);
}

// What the server writes is what convert, settings and report read: the whole site as the server
// gives it is the site file that loading the database gives.
TEST_F(ServerDatabase, WhatItWritesIsTheSiteOthersRead) {
  ASSERT_EQ(Rename(Etag(kTwo), "\"Name\":\"Warehouse Vending\"", "\"Name\":\"Dock\"").status,
            WriteStatus::Done);
  const std::string made = "{\"Interface\":3,\"Node\":0,\"Name\":\"New\"}";
  ASSERT_EQ(Put({3, 0}, {}, made).status, WriteStatus::Done);
  ASSERT_EQ(store_->DeleteController(kOne, {Expect::Kind::Present, "*"}, {"eve", "DELETE", "/", 0})
                .status,
            WriteStatus::Done);
  const CSS_SiteLoadResult loaded = LoadSite(file_);
  ASSERT_TRUE(loaded.site) << loaded.errors[0];
  EXPECT_EQ(store_->SiteJson(), loaded.site->ToJson());
  // Each controller as the server gives it is the one in the site file that others read.
  const JsonValue site = *ReadJson(loaded.site->ToJson());
  const std::vector<JsonValue>& controllers = site.Find("Controllers")->items;
  ASSERT_EQ(controllers.size(), 2U);
  EXPECT_EQ(store_->Controller(kTwo)->json, ToJson(controllers[0]));
  EXPECT_EQ(store_->Controller({3, 0})->json, ToJson(controllers[1]));
  EXPECT_EQ(controllers[0].Find("Name")->text, "Dock");
}

// A random controller at 1/1, as compact JSON.
std::string RandomController(std::uint32_t seed) {
  test::RandomSource source(seed);
  test::MemorySite site;
  CSS_SiteController& controller = site.controllers.emplace_back();
  controller.address = {1, 1};
  test::FillStore(source, controller.store);
  test::DropOrphans(controller.store);
  return ToJson(ReadJson(site.Json())->Find("Controllers")->items.at(0));
}

// The compact text that the store keeps is the site file's text of the controller without its
// blanks, whatever the controller holds.
TEST(SiteWriter, TheCompactTextIsThePrettyOneWithoutBlanks) {
  for (std::uint32_t seed = 1; seed <= 30; ++seed) {
    test::RandomSource source(seed);
    CSApplicationManagerStd store;
    test::FillStore(source, store);
    std::string pretty;
    std::string compact;
    CSS_SiteWriter::ControllerText(pretty, {1, 2}, store);
    CSS_SiteWriter::ControllerText(compact, {1, 2}, store, true);
    ASSERT_EQ(compact, CompactJson(pretty)) << "seed " << seed;
  }
}

// A controller's text written again from the text before, for any part of its records changed,
// is the text written whole, and so is where its keys end.
TEST(SiteWriter, TextWrittenAgainFromTheOldOneIsTheWholeText) {
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    for (std::size_t part = 0; part < kStorePartCount; ++part) {
      test::RandomSource source(seed), other(seed + 100);
      CSApplicationManagerStd before, changed;
      test::FillStore(source, before);
      test::FillStore(other, changed);
      std::string text;
      const CSS_ControllerLayout layout =
          CSS_SiteWriter::CompactControllerText(text, {1, 2}, before);
      const StoreImage was = ImageOf(before);
      MoveStorePart(static_cast<StorePart>(part), changed, before);
      std::string whole, again;
      const CSS_ControllerLayout wholeLayout =
          CSS_SiteWriter::CompactControllerText(whole, {1, 2}, before);
      const CSS_ControllerText old{text, layout, ChangedParts(was, ImageOf(before))};
      const CSS_ControllerLayout againLayout =
          CSS_SiteWriter::CompactControllerText(again, {1, 2}, before, &old);
      ASSERT_EQ(again, whole) << "seed " << seed << ", part " << part;
      EXPECT_EQ(againLayout, wholeLayout) << "seed " << seed << ", part " << part;
    }
  }
}

// A patch of whole lists read onto a controller's records leaves them as reading the patched
// text does; any other patch, and one with a mistake, leaves them alone and says so.
TEST(SiteReader, APatchOfListsReadsAsThePatchedText) {
  // Counts not given follow their lists; one given stays.
  const std::string base = MergePatchText(RandomController(3), "{\"Resource\":null}");
  const std::string other = RandomController(4);
  const std::vector<RawMember> random = *RawMembers(other);
  const auto list = [&random](std::string_view name) {
    for (const RawMember& member : random) {
      if (member.name == name) return "\"" + member.name + "\":" + std::string(member.value);
    }
    return std::string("\"") + std::string(name) + "\":[]";
  };
  const std::string counted = MergePatchText(base, "{\"Resource\":{\"Inputs\":300}}");
  // What a case is, the controller, the patch, and whether the patch is read.
  const std::tuple<std::string, std::string, std::string, bool> cases[] = {
      {"one list", base, "{" + list("Inputs") + "}", true},
      {"every list", base,
       "{" + list("Holidays") + "," + list("TimeZones") + "," + list("TimeGroups") + "," +
           list("Ports") + "," + list("FLAN") + "," + list("Inputs") + "," + list("Outputs") + "," +
           list("Readers") + "}",
       true},
      {"lists emptied", base, "{\"Inputs\":[],\"TimeGroups\":[]}", true},
      {"declined positions", base, "{\"Readers\":[null,{\"Name\":\"Gate\"},null]}", true},
      {"a count given stays", counted, "{\"Inputs\":[{\"Name\":\"Dock\"}]}", true},
      {"nothing", base, "{}", true},
      {"a list removed", base, "{\"Inputs\":null}", false},
      {"not a list", base, "{\"Name\":\"Dock\"}", false},
      {"a record's fields", base, "{\"Config\":{}}", false},
      {"a list beside another key", base, "{" + list("Inputs") + ",\"Node\":1}", false},
      {"a mistake", base, "{\"Inputs\":[{\"Name\":5}]}", false},
      {"an unknown key", base, "{\"Inputs\":[{\"Nmae\":\"x\"}]}", false},
  };
  for (const auto& [what, controller, patch, read] : cases) {
    SCOPED_TRACE(what);
    const std::unique_ptr<CSApplicationManagerStd> records = RecordsOf(controller);
    const std::string before = ImageOf(*records).bytes;
    ASSERT_EQ(ReadListPatch(patch, *records), read);
    EXPECT_EQ(ImageOf(*records).bytes,
              read ? ImageOf(*RecordsOf(MergePatchText(controller, patch))).bytes : before);
  }
}

// Whatever replaces a controller, its rows give back just that: the rows of the lists that stayed
// as they were are kept, the others written again.
TEST_F(ServerDatabase, ReplacedControllersReadBackAsWritten) {
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    const ControllerState now = *store_->Controller(kOne);
    const std::string random = RandomController(seed);
    std::string json = random;
    if (seed % 4 != 0) {
      // One list of the random controller in the one there is.
      const std::vector<RawMember> members = *RawMembers(random);
      const RawMember& taken = members[seed % members.size()];
      json = MergePatchText(now.json, "{\"" + taken.name + "\":" + std::string(taken.value) + "}");
    }
    const WriteResult written = Put(kOne, now.etag, json);
    ASSERT_EQ(written.status, WriteStatus::Done);
    EXPECT_EQ(test::OpenDatabase(file_, 0)->Controller(kOne)->json, written.state.json)
        << "seed " << seed;
  }
  EXPECT_TRUE(LoadSite(file_).site);
}

// Each value of a list's first element changed alone, a sub-record's too (an input's "Time", a
// reader's card location: rows of tables of their own), reads back as written.
TEST_F(ServerDatabase, AValueOfAnElementChangedAloneReadsBackAsWritten) {
  const JsonValue random = *ReadJson(RandomController(7));
  const JsonValue base = *ReadJson(store_->Controller(kOne)->json);
  std::size_t changes = 0;
  for (const JsonMember& list : random.members) {
    const JsonValue* ours = base.Find(list.name);
    if (list.value.kind != JsonValue::Kind::Array || list.value.items.empty() || !ours ||
        ours->items.empty()) {
      continue;
    }
    for (const JsonMember& value : list.value.items[0].members) {
      JsonValue changed = *ReadJson(store_->Controller(kOne)->json);
      JsonValue* element = &changed.Find(list.name)->items[0];
      JsonValue* target = element->Find(value.name);
      if (target != nullptr && ToJson(*target) == ToJson(value.value)) continue;
      if (target == nullptr) {
        element->members.push_back(value);
      } else {
        *target = value.value;
      }
      const WriteResult written = Put(kOne, Etag(kOne), ToJson(changed));
      ASSERT_EQ(written.status, WriteStatus::Done);
      EXPECT_EQ(test::OpenDatabase(file_, 0)->Controller(kOne)->json, written.state.json)
          << list.name << "[0]." << value.name;
      ++changes;
    }
  }
  EXPECT_GT(changes, 20u);
}

// An input that only its time record makes (a store may hold one: the database writes it with a
// cleared record of its own) gets its own row too, though its own records did not change.
TEST_F(ServerDatabase, AnElementThatOnlyASubRecordMakesGetsItsRow) {
  const ControllerState now = *store_->Controller(kOne);
  const std::unique_ptr<CSApplicationManagerStd> records = RecordsOf(now.json);
  auto& times = records->GetInputTime();
  using Times = std::remove_reference_t<decltype(times)>;
  Times::Item time{};
  time.Clear();
  const int position = std::max(records->GetInputType().GetRecordCount(), times.GetRecordCount());
  times.Set(position + Times::kFirstIndex, time);
  const WriteResult written = store_->PutController(kOne, {Expect::Kind::Present, now.etag},
                                                    *records, {"eve", "PUT", "/", 0});
  ASSERT_EQ(written.status, WriteStatus::Done);
  // Its time row has the row of its input to belong to.
  const CSS_SiteLoadResult site = LoadSite(file_);
  EXPECT_TRUE(site.site) << site.errors.front();
}

// A database of version 4 had no count of failed logins: refused until migrated, then counted.
TEST_F(ServerDatabase, VersionFourGainsTheFailedLoginsByMigrate) {
  store_.reset();
  Elsewhere("DROP TABLE login_failures; PRAGMA user_version = 4");
  EXPECT_FALSE(DatabaseStore::Open(file_.string()));
  ASSERT_TRUE(MigrateSiteDatabase(file_).errors.empty());
  store_ = test::OpenDatabase(file_);
  ASSERT_TRUE(store_);
  store_->CountLoginFailure("ed", "10.0.0.1", 100, 0, 10);
  EXPECT_EQ(store_->FindLoginFailures("ed", "10.0.0.1", 0).first.count, 1);
}

// A database of version 2, whose tokens had no id, name or end, is refused until migrated; its
// tokens are then kept, named "token", and the ids of revoked tokens are not given again.
TEST_F(ServerDatabase, TokensOfVersionTwoAreKeptByMigrate) {
  store_->AddUser({0, "ed", Role::Editor, "hash"}, {});
  const std::int64_t ed = store_->FindUser("ed")->id;
  store_.reset();
  Elsewhere(
      "DROP TABLE api_tokens; CREATE TABLE api_tokens (\"Hash\" TEXT PRIMARY KEY, \"User\" INTEGER "
      "NOT NULL REFERENCES users (\"Id\") ON DELETE CASCADE, \"Created\" INTEGER NOT NULL) "
      "STRICT, WITHOUT ROWID; INSERT INTO api_tokens VALUES ('" +
      SecretHash("later") + "', " + std::to_string(ed) + ", 20), ('" + SecretHash("first") + "', " +
      std::to_string(ed) + ", 10); DROP TABLE login_failures; PRAGMA user_version = 2");
  const DatabaseStore::Opened refused = DatabaseStore::Open(file_.string());
  ASSERT_FALSE(refused);
  EXPECT_TRUE(test::Contains(refused.error(), "schema version 2, older than this ssmsg serves (" +
                                                  std::to_string(kSiteDatabaseVersion) +
                                                  "): bring it up to date with: ssmsg migrate "));

  const CSS_MigrateResult migrated = MigrateSiteDatabase(file_);
  ASSERT_TRUE(migrated.errors.empty()) << migrated.errors[0];
  EXPECT_EQ(migrated.from, 2);
  store_ = test::OpenDatabase(file_);
  ASSERT_TRUE(store_);
  const std::optional<TokenUser> first = store_->FindToken(SecretHash("first"), 1000);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->user.name, "ed");
  EXPECT_EQ(first->token.id, 1);  // in the order they were made
  EXPECT_EQ(first->token.name, "token");
  EXPECT_EQ(first->token.created, 10);
  EXPECT_FALSE(first->token.expires);
  ASSERT_TRUE(store_->FindToken(SecretHash("later"), 1000));
  EXPECT_EQ(store_->FindToken(SecretHash("later"), 1000)->token.id, 2);

  EXPECT_EQ(store_->RemoveToken("ed", 2, {}), UserWrite::Done);
  EXPECT_FALSE(store_->FindToken(SecretHash("later"), 1000));
  EXPECT_EQ(store_->AddToken(*store_->FindUser("ed"), SecretHash("new"), {0, "new", 30, {}}, {}),
            3);
  EXPECT_EQ(store_->RemoveToken("ed", 2, {}), UserWrite::NotFound);
}

// A log of version 3 kept every text as it is: migrate keeps its rows and ids, and the next row
// gets the id the log would have given. Long texts are kept compressed from then on; one that is
// damaged is named with its row and column.
TEST_F(ServerDatabase, TheLogOfVersionThreeIsKeptByMigrate) {
  const ControllerState one = *store_->Controller(kOne);
  ASSERT_GE(one.json.size(), SiteConnection::kPackedFrom);
  store_.reset();
  Elsewhere(
      "DROP TABLE audit_log; CREATE TABLE audit_log (\"Id\" INTEGER PRIMARY KEY AUTOINCREMENT, "
      "\"Time\" INTEGER NOT NULL, \"User\" TEXT NOT NULL, \"Method\" TEXT NOT NULL, \"Path\" "
      "TEXT NOT NULL, \"Interface\" INTEGER, \"Node\" INTEGER, \"Before\" TEXT, \"After\" TEXT "
      "NOT NULL) STRICT; CREATE INDEX audit_log_controller ON audit_log (\"Interface\", \"Node\", "
      "\"Id\"); INSERT INTO audit_log VALUES (4, 10, 'ed', 'PUT', '/', 1, 1, 'null', '" +
      one.json +
      "'); UPDATE sqlite_sequence SET seq = 6; DROP TABLE login_failures; PRAGMA user_version = 3");
  ASSERT_TRUE(MigrateSiteDatabase(file_).errors.empty());
  store_ = test::OpenDatabase(file_);
  const std::string two = store_->Controller(kTwo)->json;
  const WriteResult renamed = Rename(Etag(kTwo), "Warehouse Vending", "Dock");
  ASSERT_EQ(renamed.status, WriteStatus::Done);
  const std::vector<AuditEntry> audit = store_->Audit(0, 10);
  ASSERT_EQ(audit.size(), 2U);
  EXPECT_EQ(audit[0].id, 4);
  EXPECT_EQ(audit[0].before, "null");
  EXPECT_EQ(audit[0].after, one.json);
  EXPECT_EQ(audit[1].id, 7);
  EXPECT_EQ(audit[1].before, two);
  EXPECT_EQ(audit[1].after, renamed.state.json);

  const std::vector<std::string> packed =
      Elsewhere("SELECT typeof(After), length(After) FROM audit_log WHERE Id = 7");
  ASSERT_EQ(packed.size(), 1U);
  EXPECT_EQ(packed[0].substr(0, 5), "blob|");
  EXPECT_LT(std::stoul(packed[0].substr(5)), renamed.state.json.size() / 2);

  Elsewhere("UPDATE audit_log SET \"Before\" = x'0102' WHERE \"Id\" = 7");
  try {
    store_->Audit(0, 10);
    ADD_FAILURE() << "a damaged text was read";
  } catch (const StoreError& error) {
    EXPECT_EQ(std::string(error.what()),
              file_.string() + ": audit_log: row 7: its \"Before\" is not a compressed text");
  }
}

// A row of the log keeps its "Before" only where that is not the "After" of the controller's
// row before it, which this store wrote: the first change after opening keeps it, a change after a
// rename, a mark as sent or another change does not. Read back, every row has its "Before".
TEST_F(ServerDatabase, TheLogKeepsABeforeOnlyWhereTheRowBeforeDoesNotEndWithIt) {
  const AuditNote note{"eve", "POST", "/", 0};
  const std::string two = store_->Controller(kTwo)->json;
  const WriteResult renamed = Rename(Etag(kTwo), "Warehouse Vending", "Dock");
  ASSERT_EQ(renamed.status, WriteStatus::Done);
  ASSERT_EQ(store_->MarkSent(kTwo, {Expect::Kind::Present, renamed.state.etag}, note).status,
            WriteStatus::Done);
  const WriteResult again = Rename(Etag(kTwo), "Dock", "Yard");
  ASSERT_EQ(again.status, WriteStatus::Done);
  ASSERT_EQ(store_->DeleteController(kTwo, {Expect::Kind::Present, "*"}, note).status,
            WriteStatus::Done);

  EXPECT_EQ(Elsewhere("SELECT \"Before\" IS NULL FROM audit_log ORDER BY \"Id\""),
            (std::vector<std::string>{"0", "1", "1", "1"}));

  std::vector<std::string> befores;
  for (const AuditEntry& entry : store_->Audit(0, 10))
    befores.push_back(entry.before);
  EXPECT_EQ(befores, (std::vector<std::string>{two, renamed.state.json, renamed.state.json,
                                               again.state.json}));
}

TEST(ServerDatabaseOpen, OnlySiteDatabasesOfThisVersionAreServed) {
  const test::TempFolder folder;
  const std::string demo = SSMSG_SOURCE_DIR "/site/demo_site.json";
  const std::string old = (folder / "old.db").string();
  std::filesystem::copy_file(SSMSG_SOURCE_DIR "/tests/sites/demo_site.db", old);
  const std::string other = (folder / "other.db").string();
  Elsewhere(other, "CREATE TABLE t (a)");
  const std::string newer = (folder / "newer.db").string();
  const std::string version = std::to_string(kSiteDatabaseVersion);
  const std::string next = std::to_string(kSiteDatabaseVersion + 1);
  Elsewhere(newer, SiteDatabaseSchema() + "PRAGMA user_version = " + next + ";");
  const std::string missing = (folder / "missing.db").string();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {demo, demo +
                 ": not a site database (a site file? the site editor serves a database: make "
                 "one with \"ssmsg convert " +
                 demo + " site.db\" and serve that)"},
      {old, old + ": the database has schema version 1, older than this ssmsg serves (" + version +
                "): bring it up to date with: ssmsg migrate " + old},
      {other, other + ": not a site database (its application id is 0)"},
      {newer, newer + ": the database has schema version " + next +
                  ", newer than this ssmsg knows (" + version + "); use a newer ssmsg"},
      {missing, missing + ": cannot read the file: No such file or directory"},
  };
  for (const auto& [file, error] : cases) {
    const DatabaseStore::Opened opened = DatabaseStore::Open(file);
    ASSERT_FALSE(opened) << file;
    EXPECT_EQ(opened.error(), error);
  }
  ASSERT_TRUE(MigrateSiteDatabase(old).errors.empty());
  EXPECT_TRUE(test::OpenDatabase(old));
  // What `ssmsg schema` writes makes a database with the editor's tables too.
  const std::string made = (folder / "made.db").string();
  Elsewhere(made, SiteDatabaseSchema());
  const std::unique_ptr<DatabaseStore> store = test::OpenDatabase(made);
  ASSERT_TRUE(store);
  EXPECT_EQ(store->AddUser({0, "ada", Role::Admin, "x"}, {}), UserWrite::Done);
}

// The list of a site's controllers holds each once, in their order, however many windows of them
// a store reads at a time.
TEST(ControllerListPostgres, HoldsEachControllerOnceInItsOrder) {
  constexpr int kCount = 300;
  std::string text = R"({"Controllers": [)";
  for (int c = 0; c < kCount; ++c) {
    text += (c == 0 ? "" : ",") + std::string(R"({"Interface": 1, "Node": )") +
            std::to_string(kCount - c) + R"(, "Name": "c)" + std::to_string(c) + "\"}";
  }
  text += "]}";
  for (const test::StoreKind kind : test::StoreKinds()) {
    const std::string name = test::KindName({kind, 0});
    const test::TempFolder folder;
    const std::unique_ptr<Store> store = test::MakeStore(kind, text, folder);
    ASSERT_TRUE(store);
    const std::vector<ControllerSummary> list = store->Controllers();
    ASSERT_EQ(list.size(), std::size_t{kCount}) << name;
    for (int c = 0; c < kCount; ++c) {
      const ControllerSummary& summary = list[static_cast<std::size_t>(c)];
      EXPECT_EQ(summary.address.node, kCount - c) << name;
      EXPECT_EQ(summary.name, "c" + std::to_string(c)) << name;
    }
  }
}

}  // namespace
}  // namespace ssmsg::server
