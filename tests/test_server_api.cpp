// The server's API, driven through its request handler (no sockets) over a site database made
// from the demo site.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <ssmsg/SiteDiff.h>

#include "server/Api.h"
#include "server/Csv.h"
#include "server/JsonValue.h"
#include "server/Service.h"
#include "server/pages/Pages.h"
#include "server_support.h"
#include "site/db/Sqlite.h"
#include "support.h"

namespace ssmsg::server {
namespace {

using test::Contains;

const std::string kOne = "/api/controllers/1/1";
const std::string kTwo = "/api/controllers/1/2";
const Header kJson{"Content-Type", "application/json"};
const std::string kCsvHead = "Interface,Node,Kind,Number,Field,Value\r\n";

std::string DemoSite() {
  return test::ReadFile(SSMSG_SOURCE_DIR "/site/demo_site.json");
}

// A controller of the site's JSON by "I/N".
std::string Key(const JsonValue& c) {
  return c.Find("Interface")->text + "/" + c.Find("Node")->text;
}

class ServerApi : public ::testing::TestWithParam<test::StoreKind> {
 protected:
  ServerApi()
      : storage_(test::MakeStore(GetParam(), DemoSite(), folder_)),
        store_(*storage_),
        service_(store_, Options(now_, checked_)) {
    AddApiRoutes(service_);
    // Audit rows 1 to 3 add the users, 4 to 6 their tokens.
    const std::initializer_list<std::pair<const char*, Role>> users = {
        {"ada", Role::Admin}, {"eve", Role::Editor}, {"vic", Role::Viewer}};
    for (const auto& [name, role] : users)
      store_.AddUser({0, name, role, HashPassword(std::string(name) + " password", Cheap())}, {});
    for (const auto& [name, role] : users) {
      const std::string token = NewSecret();
      store_.AddToken(*store_.FindUser(name), SecretHash(token), {0, "fixture", 0, {}}, {});
      tokens_[name] = token;
    }
  }

  static PasswordCost Cheap() { return PasswordCost::Cheapest(); }
  static ServiceOptions Options(std::int64_t& now, std::function<void()>& checked) {
    ServiceOptions options;
    options.auth.cost = Cheap();
    options.auth.clock = [&now] { return now; };
    options.auth.passwordChecked = [&checked] {
      if (checked) std::exchange(checked, {})();
    };
    options.hosts = {"editor.example"};
    return options;
  }

  // A request by `who` ("" for no credentials) with its token.
  Response Send(const std::string& who, const std::string& method, const std::string& target,
                std::vector<Header> headers = {}, std::string body = {}) {
    Request request{method, target, std::move(headers), std::move(body), "127.0.0.1", false, {}};
    if (!who.empty()) request.headers.push_back({"Authorization", "Bearer " + tokens_[who]});
    return service_.Handle(request);
  }

  // The site's controllers by "I/N".
  std::map<std::string, std::string> Controllers() {
    std::map<std::string, std::string> controllers;
    const JsonValue site = Read("/api/site");
    for (const JsonValue& c : site.Find("Controllers")->items)
      controllers[Key(c)] = ToJson(c);
    return controllers;
  }

  JsonValue Read(const std::string& target) { return *ReadJson(Send("vic", "GET", target).body); }

  std::string Etag(const std::string& target) {
    const Response response = Send("vic", "GET", target);
    return response.Find("ETag") ? *response.Find("ETag") : "";
  }
  // The current tag of `target` as a JSON string, as a change set is given it.
  std::string EtagJson(const std::string& target) {
    return ToJson(JsonValue{JsonValue::Kind::String, Etag(target), {}, {}});
  }

  Response Patch(const std::string& target, const std::string& etag, const std::string& patch,
                 const std::string& who = "eve") {
    return Send(who, "PATCH", target,
                {{"If-Match", etag}, {"Content-Type", "application/merge-patch+json"}}, patch);
  }

  // Replaces the controller at `target` under its current tag.
  Response Put(const std::string& target, const JsonValue& controller) {
    return Send("eve", "PUT", target, {kJson, {"If-Match", Etag(target)}}, ToJson(controller));
  }
  // Makes the controller at `target`, where there is none.
  Response Create(const std::string& target, const std::string& controller) {
    return Send("eve", "PUT", target, {kJson, {"If-None-Match", "*"}}, controller);
  }
  Response PostJson(const std::string& who, const std::string& target, const std::string& body) {
    return Send(who, "POST", target, {kJson}, body);
  }

  Response PostCsv(const std::string& body, const std::string& type = "text/csv") {
    return Send("eve", "POST", "/api/csv", {{"Content-Type", type}}, body);
  }
  Response PatchUser(const std::string& name, const std::string& body) {
    return Send("ada", "PATCH", "/api/users/" + name, {kJson}, body);
  }

  Response AddKim() {
    return PostJson("ada", "/api/users",
                    "{\"name\":\"kim\",\"role\":\"editor\",\"password\":\"kim password\"}");
  }

  std::int64_t now_ = 1'700'000'000;
  std::function<void()> checked_;  // run once by the next login, between its check and session
  test::TempFolder folder_;
  std::unique_ptr<Store> storage_;
  Store& store_;
  Service service_;
  std::map<std::string, std::string> tokens_;
};

TEST_P(ServerApi, EachStatusOfTheControllerRoutes) {
  const std::string etag = Etag(kTwo);
  ASSERT_FALSE(etag.empty());
  const Header match{"If-Match", etag};
  const std::string body = Send("vic", "GET", kTwo).body;
  const struct Case {
    std::string who, method, target;
    std::vector<Header> headers;
    std::string body;
    int status;
  } cases[] = {
      {"", "GET", kTwo, {}, "", 401},
      {"vic", "GET", kTwo, {{"If-None-Match", etag}}, "", 304},
      {"vic", "GET", "/api/controllers/1/3", {}, "", 404},
      {"vic", "GET", "/api/controllers/0/2", {}, "", 400},
      {"vic", "GET", "/api/controllers/1/2147483648", {}, "", 400},
      {"vic", "GET", "/api/controllers/1/-2", {}, "", 400},
      {"vic", "GET", "/api/controllers/1/%32", {}, "", 200},  // an encoded digit is still a 2
      {"vic", "GET", "/api/controllers/1/../2", {}, "", 400},
      {"vic", "GET", "/api/controllers/1%2F2", {}, "", 400},
      {"vic", "GET", "/api/nothing", {}, "", 404},
      {"vic", "POST", kTwo, {}, "", 405},
      {"vic", "PUT", kTwo, {kJson, match}, body, 403},
      {"eve", "PUT", kTwo, {kJson}, body, 428},
      {"eve", "PUT", kTwo, {kJson, {"If-Match", "\"stale\""}}, body, 412},
      {"eve", "PUT", kTwo, {kJson, {"If-None-Match", "*"}}, body, 412},
      {"eve", "PUT", kTwo, {{"Content-Type", "text/plain"}, match}, body, 415},
      {"eve", "PUT", kTwo, {kJson, match}, "{\"Interface\":1,", 400},
      {"eve", "PUT", kTwo, {kJson, match}, "\"\xFF\"", 400},
      {"eve", "PUT", kTwo, {kJson, match}, std::string(100, '[') + std::string(100, ']'), 400},
      {"eve", "PUT", kTwo, {kJson, match}, "{\"Interface\":1,\"Node\":2,\"Nmae\":\"x\"}", 422},
      {"eve", "PUT", "/api/controllers/1/3", {kJson, match}, body, 404},
      {"eve", "PUT", kTwo, {kJson, match}, std::string((16 << 20) + 1, ' '), 413},
      {"vic", "GET", kTwo, {{"X-Big", std::string(16 << 10, 'x')}}, "", 431},
      {"eve", "DELETE", kTwo, {}, "", 428},
      {"eve", "POST", kTwo + "/sent", {}, "", 428},
      {"vic", "GET", "/api/audit", {}, "", 403},
      {"ada", "GET", "/api/audit?after=-1", {}, "", 400},
      {"", "GET", "/api/openapi.json", {}, "", 200},
      {"vic", "GET", kTwo, {}, "", 200},  // nothing above changed it
  };
  for (const Case& c : cases) {
    const Response response = Send(c.who, c.method, c.target, c.headers, c.body);
    EXPECT_EQ(response.status, c.status) << c.who << " " << c.method << " " << c.target << " "
                                         << c.body.substr(0, 40) << ": " << response.body;
    // Only a 401 says how to authenticate.
    EXPECT_EQ(response.Find("WWW-Authenticate") != nullptr, c.status == 401)
        << c.who << " " << c.method << " " << c.target;
  }
  EXPECT_EQ(Etag(kTwo), etag);
  EXPECT_EQ(store_.Audit(0, 10).size(), 6U);  // the three users and their tokens
  // A method the route does not take is answered with those it does, HEAD beside GET.
  const Response refused = Send("vic", "POST", kTwo, {}, "");
  ASSERT_NE(refused.Find("Allow"), nullptr);
  EXPECT_EQ(*refused.Find("Allow"), "GET, HEAD, PUT, PATCH, DELETE");
}

// Invalid values are refused in the site file's words. A line feed in a name would split its
// message in a log of one message per line: every control character but tab is refused too.
TEST_P(ServerApi, InvalidValuesAreNamedAsInTheSiteFile) {
  JsonValue controller = Read(kTwo);
  controller.Find("Inputs")->items[0].Find("Time")->Find("Debounce")->text = "70000";
  controller.Find("Node")->text = "3";
  const Response response = Put(kTwo, controller);
  EXPECT_EQ(response.status, 422);
  EXPECT_EQ(response.body,
            "{\"errors\":[\"Controllers[1].Inputs[0].Time.Debounce: 70000 is outside "
            "-32768..32767\"]}");
  // With the value right, the node that differs from the path's is what is wrong.
  controller.Find("Inputs")->items[0].Find("Time")->Find("Debounce")->text = "7";
  EXPECT_EQ(Put(kTwo, controller).body,
            "{\"errors\":[\"Controllers[1].Node: 3 is not the path's node 2\"]}");
  const Response control = Patch(kTwo, Etag(kTwo), "{\"Name\":\"Door\\n<Command>\"}");
  EXPECT_EQ(control.status, 422);
  EXPECT_EQ(control.body,
            "{\"errors\":[\"Controllers[1].Name: the text holds the control character U+000A; of "
            "those, a text may hold tab only\"]}");
  EXPECT_EQ(Patch(kTwo, Etag(kTwo), "{\"Name\":\"Door\\tone\"}").status, 200);
}

// A capability count given equal to its list stays given as the list grows to it, and a record
// beyond it is refused as validate words it, whether it comes by PUT or by PATCH. A count lowered
// below records already there leaves them, never sent.
TEST_P(ServerApi, ACapabilityCountStaysAndARecordBeyondItIsRefused) {
  // The second controller gives Resource.Inputs 4 and has 3 inputs.
  const auto withInputs = [&](std::size_t count) {
    JsonValue controller = Read(kTwo);
    std::vector<JsonValue>& inputs = controller.Find("Inputs")->items;
    while (inputs.size() < count)
      inputs.push_back(*ReadJson("{\"Name\":\"Added\"}"));
    return controller;
  };
  ASSERT_EQ(Put(kTwo, withInputs(4)).status, 200);
  const JsonValue four = Read(kTwo);
  ASSERT_NE(four.Find("Resource"), nullptr);
  EXPECT_EQ(ToJson(*four.Find("Resource")), "{\"Inputs\":4}");
  EXPECT_EQ(four.Find("Inputs")->items.size(), 4U);

  const std::string etag = Etag(kTwo);
  const JsonValue five = withInputs(5);
  const std::string inputs = ToJson(*five.Find("Inputs"));
  const std::string beyond =
      "{\"errors\":[\"Controllers[1].Inputs[4]: 1 record lies beyond Resource.Inputs (4) and "
      "is never sent\"]}";
  const std::string lowered =
      "{\"errors\":[\"Controllers[1].Inputs[4]: 1 record lies beyond Resource.Inputs (2) and "
      "is never sent\"]}";
  const struct {
    const char* what;
    Response response;
    std::string body;
  } refused[] = {
      {"PUT", Put(kTwo, five), beyond},
      {"PATCH", Patch(kTwo, etag, "{\"Inputs\":" + inputs + "}"), beyond},
      {"PATCH with the count",
       Patch(kTwo, etag, "{\"Resource\":{\"Inputs\":4},\"Inputs\":" + inputs + "}"), beyond},
      {"PATCH lowering the count",
       Patch(kTwo, etag, "{\"Resource\":{\"Inputs\":2},\"Inputs\":" + inputs + "}"), lowered},
  };
  for (const auto& [what, response, body] : refused) {
    EXPECT_EQ(response.status, 422) << what;
    EXPECT_EQ(response.body, body) << what;
  }
  EXPECT_EQ(Etag(kTwo), etag);

  // Lowered alone, the count leaves the inputs beyond it where they are.
  const Response lower = Patch(kTwo, etag, "{\"Resource\":{\"Inputs\":2}}");
  ASSERT_EQ(lower.status, 200) << lower.body;
  const JsonValue two = *ReadJson(lower.body);
  EXPECT_EQ(ToJson(*two.Find("Resource")), "{\"Inputs\":2}");
  EXPECT_EQ(two.Find("Inputs")->items.size(), 4U);
}

TEST_P(ServerApi, ChangesGoThroughOnlyWithTheCurrentEtag) {
  const std::string first = Etag(kTwo);
  const auto listed = [&] { return Send("vic", "GET", "/api/controllers").body; };
  EXPECT_FALSE(Contains(listed(), "Dock"));  // (and the store may keep the list)
  Response renamed = Patch(kTwo, first, "{\"Name\":\"Dock \\\"7\\\"\"}");
  ASSERT_EQ(renamed.status, 200) << renamed.body;
  const std::string second = *renamed.Find("ETag");
  EXPECT_NE(second, first);
  EXPECT_EQ(Etag(kTwo), second);
  EXPECT_TRUE(Contains(listed(), "Dock \\\"7\\\""));
  EXPECT_EQ(Read(kTwo).Find("Name")->text, "Dock \"7\"");
  // The other controller kept its tag.
  EXPECT_EQ(Send("vic", "GET", kOne, {{"If-None-Match", Etag(kOne)}}).status, 304);

  // A second writer with the first tag changes nothing.
  EXPECT_EQ(Patch(kTwo, first, "{\"Name\":\"Lost\"}").status, 412);
  EXPECT_EQ(Etag(kTwo), second);
  // A patch that makes the controller invalid changes nothing either.
  EXPECT_EQ(Patch(kTwo, second, "{\"Inputs\":[{\"DPort\":99999}]}").status, 422);
  EXPECT_EQ(Patch(kTwo, second, "{\"Interface\":7}").status, 422);
  EXPECT_EQ(Etag(kTwo), second);

  // Made, then removed.
  const std::string made = "/api/controllers/4/0";
  const Response created = Create(made, "{\"Interface\":4,\"Node\":0,\"Name\":\"New\"}");
  ASSERT_EQ(created.status, 201) << created.body;
  EXPECT_EQ(*created.Find("Location"), made);
  EXPECT_TRUE(Contains(Send("vic", "GET", "/api/controllers").body,
                       "{\"Interface\":4,\"Node\":0,\"Name\":\"New\""));
  EXPECT_EQ(Send("eve", "DELETE", made, {{"If-Match", first}}).status, 412);
  EXPECT_EQ(Send("eve", "DELETE", made, {{"If-Match", *created.Find("ETag")}}).status, 204);
  EXPECT_EQ(Send("vic", "GET", made).status, 404);
  EXPECT_FALSE(Contains(listed(), "\"Interface\":4")) << listed();
  EXPECT_EQ(Send("eve", "DELETE", made, {{"If-Match", "*"}}).status, 404);
}

std::vector<std::string> Messages(const Response& response) {
  std::vector<std::string> messages;
  const JsonValue body = *ReadJson(response.body);
  const JsonValue* list = body.Find("messages");
  if (!list) ADD_FAILURE() << "no messages in " << response.status << " " << response.body;
  for (const JsonValue& item : list ? list->items : std::vector<JsonValue>{})
    messages.push_back(item.text);
  return messages;
}

std::vector<std::string> Diff(const std::string& before, const std::string& after, int node) {
  const CSS_SiteLoadResult old = LoadSiteText(before, "old");
  const CSS_SiteLoadResult now = LoadSiteText(after, "new");
  CSS_DiffOptions options;
  options.selection = {1, node};
  std::vector<std::string> messages;
  MakeSiteDiff(*old.site, *now.site, options, [&](const CSS_SiteMessage& message) {
    messages.emplace_back(message.text);
    return true;
  });
  return messages;
}

// A patch made on an earlier version (Merge-From) merges with what was saved since: changes
// apart both stay, one value changed alike is no conflict, one changed to another is a 409 that
// names it and changes nothing, and a version that is not in the log is a 412.
TEST_P(ServerApi, APatchFromAnEarlierVersionMergesWithWhatWasSavedSince) {
  const std::string opened = Etag(kTwo);
  ASSERT_EQ(Patch(kTwo, opened, R"({"Name":"Theirs"})").status, 200);
  const auto from = [&](const std::string& version, const std::string& patch) {
    return Send("eve", "PATCH", kTwo,
                {{"Merge-From", version}, {"Content-Type", "application/merge-patch+json"}}, patch);
  };
  const Response apart = from(opened, R"({"Config":{"LockSize":200}})");
  EXPECT_EQ(apart.status, 200) << apart.body;
  JsonValue now = Read(kTwo);
  EXPECT_EQ(now.Find("Name")->text, "Theirs");
  EXPECT_EQ(now.Find("Config")->Find("LockSize")->text, "200");
  EXPECT_EQ(from(opened, R"({"Name":"Theirs"})").status, 200);

  const std::string before = Etag(kTwo);
  const Response met = from(opened, R"({"Name":"Mine","Config":{"DbSize":4000}})");
  EXPECT_EQ(met.status, 409);
  EXPECT_TRUE(Contains(met.body,
                       "Controllers[1].Name: changed since to \\\"Theirs\\\", and by this "
                       "patch to \\\"Mine\\\""));
  EXPECT_FALSE(Contains(met.body, "DbSize")) << "only the value both changed";
  EXPECT_EQ(Etag(kTwo), before);

  EXPECT_EQ(from("\"not a version\"", R"({"Name":"Mine"})").status, 412);
  EXPECT_EQ(from(before, R"({"Name":"Mine"})").status, 200);
  EXPECT_EQ(Read(kTwo).Find("Name")->text, "Mine");
}

// A revert puts the controller back exactly as it was before one of its changes, as a change of
// its own (not a marking as sent); a removal is reverted too.
TEST_P(ServerApi, ARevertPutsTheControllerBackExactly) {
  const std::string original = Send("vic", "GET", kTwo).body;
  const std::string originalTag = Etag(kTwo);
  ASSERT_EQ(Patch(kTwo, originalTag, R"({"Name":"A"})").status, 200);
  ASSERT_EQ(Patch(kTwo, Etag(kTwo), R"({"Config":{"LockSize":200}})").status, 200);
  const std::vector<AuditEntry> changes = store_.Audit(AuditQuery{0, 0, {{1, 2}}, {}, {}, {}}, 10);
  ASSERT_EQ(changes.size(), 2U);
  const std::int64_t rename = changes.back().id;
  const auto revert = [&](std::vector<Header> headers, const std::string& body) {
    headers.push_back(kJson);
    return Send("eve", "POST", kTwo + "/revert", headers, body);
  };
  const std::string body = "{\"before\":" + std::to_string(rename) + "}";
  EXPECT_EQ(revert({}, body).status, 428);
  EXPECT_EQ(revert({{"If-Match", originalTag}}, body).status, 412);
  EXPECT_EQ(revert({{"If-Match", Etag(kTwo)}}, "{\"before\":999999}").status, 404);
  EXPECT_EQ(revert({{"If-Match", Etag(kTwo)}}, "{\"before\":\"1\"}").status, 400);
  EXPECT_EQ(revert({{"If-Match", Etag(kTwo)}}, "{\"before\":0}").status, 400);
  // Entry 1 is there, but it is a user's, not this controller's.
  EXPECT_EQ(revert({{"If-Match", Etag(kTwo)}}, "{\"before\":1}").status, 404);
  const std::int64_t latest = store_.LatestAudit();
  const Response reverted = revert({{"If-Match", Etag(kTwo)}}, body);
  ASSERT_EQ(reverted.status, 200) << reverted.body;
  EXPECT_EQ(reverted.body, original);
  EXPECT_EQ(*reverted.Find("ETag"), originalTag);
  const ChangePage feed = store_.Changes(latest, 10);
  ASSERT_EQ(feed.changes.size(), 1U);
  EXPECT_EQ(feed.changes.front().kind, ChangeKind::Changed);

  // Removed, then put back as it was before its removal.
  ASSERT_EQ(Send("eve", "DELETE", kTwo, {{"If-Match", originalTag}}).status, 204);
  const std::int64_t removal = store_.LatestAudit();
  EXPECT_EQ(
      revert({{"If-Match", originalTag}}, "{\"before\":" + std::to_string(removal) + "}").status,
      404);
  const Response back =
      revert({{"If-None-Match", "*"}}, "{\"before\":" + std::to_string(removal) + "}");
  ASSERT_EQ(back.status, 200) << back.body;
  EXPECT_EQ(Send("vic", "GET", kTwo).body, original);
}

// A change set is previewed without a write, then applied to every controller it selects in one
// go: with one controller's ETag stale or missing, or one controller that would not check, none
// is changed.
TEST_P(ServerApi, AChangeSetChangesEveryControllerItSelectsOrNone) {
  const auto post = [&](const std::string& body) {
    return PostJson("eve", "/api/change-sets", body);
  };
  const std::string holiday = R"("append":{"Holidays":[{"Month":12,"Day":24}]})";
  const Response preview = post("{\"select\":{\"interface\":1}," + holiday + "}");
  ASSERT_EQ(preview.status, 200) << preview.body;
  const JsonValue listed = *ReadJson(preview.body);
  ASSERT_EQ(listed.Find("controllers")->items.size(), 2U);
  std::string etags;
  for (const JsonValue& c : listed.Find("controllers")->items) {
    EXPECT_EQ(c.Find("changed")->text, "1") << "one record added";
    EXPECT_EQ(c.Find("ETag")->text, Etag("/api/controllers/1/" + c.Find("Node")->text));
    etags += std::string(etags.empty() ? "" : ",") + "\"1." + c.Find("Node")->text +
             "\":" + ToJson(*c.Find("ETag"));
  }
  const std::map<std::string, std::string> before = Controllers();
  const std::string apply = "{\"select\":{\"interface\":1}," + holiday + ",\"apply\":true";
  EXPECT_EQ(post(apply + "}").status, 428);
  EXPECT_EQ(post(apply + R"(,"patch":{"Config":{"LockSize":-1}},"etags":{)" + etags + "}}").status,
            422);
  // The name picks the second alone, which then changes.
  const Response name = post(R"({"select":{"name":"VEND"},"patch":{"Name":"Depot"}})");
  EXPECT_TRUE(Contains(name.body, "\"Node\":2"));
  EXPECT_FALSE(Contains(name.body, "\"Node\":1,"));
  EXPECT_EQ(Controllers(), before) << "a refused or previewed change set wrote";
  ASSERT_EQ(Patch(kTwo, Etag(kTwo), R"({"Name":"Depot"})").status, 200);
  const Response stale = post(apply + ",\"etags\":{" + etags + "}}");
  EXPECT_EQ(stale.status, 412);
  EXPECT_TRUE(Contains(stale.body, "controller 1.2"));
  EXPECT_EQ(Controllers().at("1/1"), before.at("1/1"));

  const std::size_t audited = store_.Audit(0, 1000).size();
  const std::string current = "\"1.1\":" + EtagJson(kOne) + ",\"1.2\":" + EtagJson(kTwo);
  const Response applied = post(apply + ",\"etags\":{" + current + "}}");
  ASSERT_EQ(applied.status, 200) << applied.body;
  for (const std::string& target : {kOne, kTwo}) {
    const JsonValue controller = Read(target);
    EXPECT_EQ(ToJson(controller.Find("Holidays")->items.back()), R"({"Month":12,"Day":24})")
        << target;
  }
  const std::vector<AuditEntry> audit = store_.Audit(0, 1000);
  ASSERT_EQ(audit.size(), audited + 2) << "one entry per controller";
  EXPECT_EQ(audit.back().note.path, "/api/change-sets");

  // The time zones of the first, copied to the second.
  ASSERT_EQ(post(R"({"select":{"from":2,"to":2},"copy":{"from":"1.1","parts":["TimeZones"]},)"
                 R"("apply":true,"etags":{"1.2":)" +
                 EtagJson(kTwo) + "}}")
                .status,
            200);
  EXPECT_EQ(ToJson(*Read(kTwo).Find("TimeZones")), ToJson(*Read(kOne).Find("TimeZones")));
  EXPECT_EQ(post(R"({"select":{"from":"2"}})").status, 400);
}

// A change of many is reverted whole from any of its entries, and only it: not the change made
// just before it by the same user, nor one of its controllers changed since.
TEST_P(ServerApi, AChangeSetIsRevertedWholeOrNotAtAll) {
  const auto revert = [&](const std::string& entry) {
    return PostJson("eve", "/api/change-sets/revert", "{\"entry\":" + entry + "}");
  };
  ASSERT_EQ(Patch(kOne, Etag(kOne), R"({"Name":"Lobby"})").status, 200);
  const std::map<std::string, std::string> before = Controllers();
  const std::string etags = "{\"1.1\":" + EtagJson(kOne) + ",\"1.2\":" + EtagJson(kTwo) + "}";
  ASSERT_EQ(PostJson("eve", "/api/change-sets",
                     R"({"select":{"interface":1},"append":{"Holidays":[{"Month":1,"Day":2}]},)"
                     R"("apply":true,"etags":)" +
                         etags + "}")
                .status,
            200);
  const std::vector<AuditEntry> set = store_.Audit(0, 1000);
  const std::int64_t first = set[set.size() - 2].id;
  const std::int64_t last = set.back().id;
  const std::map<std::string, std::string> applied = Controllers();

  now_ += 5;
  ASSERT_EQ(Patch(kTwo, Etag(kTwo), R"({"Name":"Depot"})").status, 200);
  const Response stale = revert(std::to_string(first));
  EXPECT_EQ(stale.status, 412);
  EXPECT_TRUE(Contains(stale.body, "controller 1.2 changed since"));
  EXPECT_EQ(Controllers().at("1/1"), applied.at("1/1")) << "a refused revert wrote";
  ASSERT_EQ(revert(std::to_string(store_.Audit(0, 1000).back().id)).status, 200);

  const std::size_t audited = store_.Audit(0, 1000).size();
  const Response reverted = revert(std::to_string(last));
  ASSERT_EQ(reverted.status, 200) << reverted.body;
  EXPECT_EQ(reverted.body, "{\"controllers\":2}");
  EXPECT_EQ(Controllers(), before);
  EXPECT_EQ(store_.Audit(0, 1000).size(), audited + 2);
  EXPECT_EQ(revert("999999").status, 404);
  EXPECT_EQ(revert("\"1\"").status, 400);
}

// The audit log by user and by day: a user's changes through any of their tokens, and each
// entry's "before" right although the entries between them are left out.
TEST_P(ServerApi, TheAuditLogIsFilteredByUserAndDay) {
  const std::int64_t first = now_;
  const auto rename = [&](const std::string& who, const std::string& name) {
    return Patch(kTwo, Etag(kTwo), "{\"Name\":\"" + name + "\"}", who).status;
  };
  ASSERT_EQ(rename("eve", "X"), 200);
  now_ += 2 * 24 * 60 * 60;
  ASSERT_EQ(rename("ada", "Y"), 200);
  ASSERT_EQ(rename("eve", "Z"), 200);
  const auto names = [&](const std::string& query) {
    const Response response = Send("ada", "GET", "/api/audit?after=6" + query);
    EXPECT_EQ(response.status, 200) << query << " " << response.body;
    std::vector<std::string> found;
    const JsonValue page = *ReadJson(response.body);
    for (const JsonValue& entry : page.Find("entries")->items)
      found.push_back(entry.Find("after")->Find("Name")->text);
    return found;
  };
  using Names = std::vector<std::string>;
  EXPECT_EQ(names(""), (Names{"X", "Y", "Z"}));
  EXPECT_EQ(names("&user=eve"), (Names{"X", "Z"}));
  EXPECT_EQ(names("&user=ev"), Names{});
  const std::string day = IsoTime(first).substr(0, 10);
  const std::string later = IsoTime(now_).substr(0, 10);
  EXPECT_EQ(names("&until=" + day), (Names{"X"}));
  EXPECT_EQ(names("&since=" + later), (Names{"Y", "Z"}));
  EXPECT_EQ(names("&since=" + later + "&user=eve&controller=1.2"), (Names{"Z"}));
  EXPECT_EQ(Send("ada", "GET", "/api/audit?since=yesterday").status, 400);

  AuditQuery eve{0, 0, {{1, 2}}, "eve", {}, {}};
  const std::vector<AuditEntry> hers = store_.Audit(eve, 10);
  ASSERT_EQ(hers.size(), 2U);
  EXPECT_EQ(ReadJson(hers.front().before)->Find("Name")->text, "Y") << "as ada left it";
  // Newest first, before an id; before 0 means up to the latest.
  const auto ids = [&](std::int64_t before) {
    std::vector<std::int64_t> found;
    for (const AuditEntry& entry : store_.Audit(AuditQuery{0, before, {}, {}, {}, {}}, 2))
      found.push_back(entry.id);
    return found;
  };
  using Ids = std::vector<std::int64_t>;
  EXPECT_EQ(ids(1), Ids{});
  EXPECT_EQ(ids(2), Ids{1});
  EXPECT_EQ(ids(0), (Ids{9, 8}));
}

TEST_P(ServerApi, PendingMessagesAreTheDiffFromWhatWasLastSent) {
  const std::string empty = "{\"Controllers\":[]}";
  const std::string demo = Send("vic", "GET", "/api/site").body;
  // Never marked sent: every setting of the controller.
  const Response all = Send("vic", "GET", kTwo + "/pending");
  ASSERT_EQ(all.status, 200);
  EXPECT_EQ(Messages(all), Diff(empty, demo, 2));
  EXPECT_GT(Messages(all).size(), 10U);

  // Marked sent under a stale tag: nothing happens; under the current one: nothing is pending.
  EXPECT_EQ(Send("eve", "POST", kTwo + "/sent", {{"If-Match", "\"old\""}}).status, 412);
  EXPECT_EQ(Send("vic", "POST", kTwo + "/sent", {{"If-Match", Etag(kTwo)}}).status, 403);
  EXPECT_EQ(Send("eve", "POST", kTwo + "/sent", {{"If-Match", *all.Find("ETag")}}).status, 204);
  EXPECT_TRUE(Messages(Send("vic", "GET", kTwo + "/pending")).empty());

  // An edit: what the diff of the whole sites sends this controller, and the other one untouched.
  JsonValue controller = Read(kTwo);
  controller.Find("Inputs")->items[0].Find("Name")->text = "Dock door";
  ASSERT_EQ(Put(kTwo, controller).status, 200);
  const std::vector<std::string> pending = Messages(Send("vic", "GET", kTwo + "/pending"));
  EXPECT_EQ(pending, Diff(demo, Send("vic", "GET", "/api/site").body, 2));
  ASSERT_EQ(pending.size(), 1U);
  EXPECT_TRUE(Contains(pending[0], "<Name>Dock door</Name>"));
  EXPECT_EQ(Messages(Send("vic", "GET", kOne + "/pending")), Diff(empty, demo, 1));
}

// What the whole site waits for: each controller's count as its own pending messages say, and
// the controllers removed after they were last sent, until they are marked cleared.
TEST_P(ServerApi, TheSiteWaitsForWhatChangedAndForRemovedControllersUntilCleared) {
  using Counts = std::map<std::string, std::string>;
  const auto waiting = [&] {
    Counts counts;
    const JsonValue answer = Read("/api/pending");
    for (const JsonValue& c : answer.Find("Controllers")->items)
      counts[Key(c)] = c.Find("Pending")->text;
    for (const JsonValue& c : answer.Find("Removed")->items)
      counts[Key(c)] = "removed " + c.Find("Sent")->text;
    return counts;
  };
  const auto count = [&](const std::string& target) {
    return std::to_string(Messages(Send("vic", "GET", target + "/pending")).size());
  };
  EXPECT_EQ(waiting(), (Counts{{"1/1", count(kOne)}, {"1/2", count(kTwo)}}));
  ASSERT_EQ(Send("eve", "POST", kTwo + "/sent", {{"If-Match", Etag(kTwo)}}).status, 204);
  EXPECT_EQ(waiting(), (Counts{{"1/1", count(kOne)}}));
  ASSERT_EQ(Patch(kTwo, Etag(kTwo), "{\"Name\":\"Hall\"}").status, 200);
  EXPECT_EQ(waiting(), (Counts{{"1/1", count(kOne)}, {"1/2", "1"}}));

  // Removed: the one never sent is gone; the one sent stays until it is cleared on site.
  const std::string sentAt = IsoTime(now_);
  ASSERT_EQ(Send("eve", "DELETE", kOne, {{"If-Match", Etag(kOne)}}).status, 204);
  const std::string two = Send("vic", "GET", kTwo).body;
  ASSERT_EQ(Send("eve", "DELETE", kTwo, {{"If-Match", Etag(kTwo)}}).status, 204);
  EXPECT_EQ(waiting(), (Counts{{"1/2", "removed " + sentAt}}));
  EXPECT_EQ(Send("eve", "POST", kOne + "/sent", {{"If-None-Match", "*"}}).status, 404);
  EXPECT_EQ(Send("vic", "POST", kTwo + "/sent", {{"If-None-Match", "*"}}).status, 403);

  // Made again before it was cleared: what it waits for follows from what it still holds.
  ASSERT_EQ(Create(kTwo, two).status, 201);
  EXPECT_EQ(waiting(), (Counts{{"1/2", "1"}}));
  ASSERT_EQ(Send("eve", "DELETE", kTwo, {{"If-Match", Etag(kTwo)}}).status, 204);
  const std::size_t audited = store_.Audit({}, 1000).size();
  EXPECT_EQ(Send("eve", "POST", kTwo + "/sent", {{"If-None-Match", "*"}}).status, 204);
  EXPECT_EQ(store_.Audit({}, 1000).size(), audited + 1);
  EXPECT_EQ(waiting(), (Counts{}));
  EXPECT_EQ(Send("eve", "POST", kTwo + "/sent", {{"If-None-Match", "*"}}).status, 404);
}

TEST_P(ServerApi, TheAuditLogReplaysToTheSite) {
  std::map<std::string, std::string> replayed = Controllers();  // "I/N" -> controller JSON

  ASSERT_EQ(Patch(kTwo, Etag(kTwo), "{\"Name\":\"A\"}").status, 200);
  ASSERT_EQ(Patch(kOne, Etag(kOne), "{\"Resource\":{\"Inputs\":3}}").status, 200);
  ASSERT_EQ(Send("eve", "DELETE", kTwo, {{"If-Match", Etag(kTwo)}}).status, 204);
  ASSERT_EQ(Create(kTwo, "{\"Interface\":1,\"Node\":2,\"Name\":\"B\"}").status, 201);
  ASSERT_EQ(Send("eve", "POST", kOne + "/sent", {{"If-Match", Etag(kOne)}}).status, 204);

  const Response audit = Send("ada", "GET", "/api/audit?after=6");  // after the users and tokens
  ASSERT_EQ(audit.status, 200);
  const JsonValue entries = *ReadJson(audit.body)->Find("entries");
  ASSERT_EQ(entries.items.size(), 5U);
  std::vector<std::string> methods;
  for (const JsonValue& entry : entries.items) {
    methods.push_back(entry.Find("method")->text + " " + entry.Find("path")->text);
    EXPECT_EQ(entry.Find("user")->text, "eve (token 2 \"fixture\")");  // not her own login
    const std::string key = Key(*entry.Find("controller"));
    EXPECT_EQ(ToJson(*entry.Find("before")), replayed.count(key) ? replayed[key] : "null");
    if (entry.Find("after")->kind == JsonValue::Kind::Null) {
      replayed.erase(key);
    } else {
      replayed[key] = ToJson(*entry.Find("after"));
    }
  }
  EXPECT_EQ(methods, (std::vector<std::string>{"PATCH " + kTwo, "PATCH " + kOne, "DELETE " + kTwo,
                                               "PUT " + kTwo, "POST " + kOne + "/sent"}));
  EXPECT_EQ(replayed, Controllers());
  EXPECT_EQ(entries.items[0].Find("id")->text, "7");
  EXPECT_EQ(entries.items[0].Find("time")->text, "2023-11-14T22:13:20Z");
}

TEST_P(ServerApi, TheAuditLogComesInPages) {
  for (int i = 0; i < 150; ++i)
    store_.AddUser({0, "u" + std::to_string(i), Role::Viewer, ""}, {"ada", "POST", "/", 0});
  std::vector<std::string> ids;
  std::string after = "0";
  for (int page = 0; page < 3 && after != "null"; ++page) {
    const JsonValue answer = *ReadJson(Send("ada", "GET", "/api/audit?after=" + after).body);
    for (const JsonValue& entry : answer.Find("entries")->items)
      ids.push_back(entry.Find("id")->text);
    after = answer.Find("next")->kind == JsonValue::Kind::Null ? "null" : answer.Find("next")->text;
  }
  EXPECT_EQ(after, "null");
  ASSERT_EQ(ids.size(), 156U);  // the fixture's three users and tokens, and these
  EXPECT_EQ(ids.front(), "1");
  EXPECT_EQ(ids.back(), "156");
}

// The session cookie and CSRF token of a login by `name`.
struct SessionLogin {
  int status = 0;
  std::string cookie;
  std::string csrf;
};

class ServerSessions : public ServerApi {
 protected:
  Response LogInRequest(const std::string& name, const std::string& password,
                        std::vector<Header> headers = {}) {
    headers.insert(headers.begin(), kJson);
    return Send("", "POST", "/api/session", std::move(headers),
                "{\"name\":\"" + name + "\",\"password\":\"" + password + "\"}");
  }
  SessionLogin LogIn(const std::string& name, const std::string& password) {
    const Response response = LogInRequest(name, password);
    SessionLogin login{response.status, {}, {}};
    if (response.status != 200) return login;
    const std::string& set = *response.Find("Set-Cookie");
    login.cookie = set.substr(0, set.find(';'));
    login.csrf = ReadJson(response.body)->Find("csrf")->text;
    return login;
  }

  Response WithCookie(const SessionLogin& login, const std::string& method,
                      const std::string& target, std::vector<Header> headers = {},
                      std::string body = {}) {
    headers.push_back({"Cookie", login.cookie});
    return Send("", method, target, std::move(headers), std::move(body));
  }
};

// A page of another site whose name that site's DNS points at this server (DNS rebinding) is
// its own origin: the Host it sends is what tells it apart.
TEST_P(ServerSessions, OnlyTheServersOwnHostNamesAreAnswered) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"evil.example", 421},
      {"evil.example:8080", 421},
      {"127.0.0.1.evil.example", 421},
      {"[::1", 421},
      {"localhost:8080", 200},
      {"LOCALHOST.", 200},
      {"127.0.0.1:8080", 200},
      {"10.1.2.3", 200},
      {"[::1]:8080", 200},
      {"Editor.Example:443", 200},
  };
  for (const auto& [host, status] : cases) {
    const Response response =
        LogInRequest("eve", "eve password", {{"Host", host}, {"Origin", "http://" + host}});
    EXPECT_EQ(response.status, status) << host << ": " << response.body;
  }
}

TEST_P(ServerSessions, CookiesNeedTheirCsrfTokenAndTheSameOrigin) {
  EXPECT_EQ(LogIn("eve", "wrong password").status, 401);
  const SessionLogin login = LogIn("eve", "eve password");
  ASSERT_EQ(login.status, 200);
  EXPECT_EQ(login.cookie.rfind("ssmsg_session=", 0), 0U);
  EXPECT_EQ(WithCookie(login, "GET", kTwo).status, 200);

  // Each PATCH has its type and tag, then the headers of its case.
  const Header csrf{"X-CSRF-Token", login.csrf};
  const Header host{"Host", "127.0.0.1:8080"};
  const std::vector<std::pair<std::vector<Header>, int>> cases = {
      {{}, 403},
      {{{"X-CSRF-Token", login.csrf + "x"}}, 403},
      {{{"X-CSRF-Token", tokens_["eve"]}}, 403},
      {{csrf, {"Sec-Fetch-Site", "cross-site"}}, 403},
      {{csrf, host, {"Origin", "http://evil.example"}}, 403},
      {{csrf, host, {"Origin", "http://127.0.0.1:8080"}, {"Sec-Fetch-Site", "same-origin"}}, 200},
  };
  for (auto [headers, status] : cases) {
    headers.push_back({"Content-Type", "application/merge-patch+json"});
    headers.push_back({"If-Match", Etag(kTwo)});
    const Response response = WithCookie(login, "PATCH", kTwo, headers, "{\"Name\":\"X\"}");
    EXPECT_EQ(response.status, status) << response.body;
  }
  // A form carries the token as a field instead.
  EXPECT_EQ(
      WithCookie(login, "DELETE", "/api/session",
                 {{"Content-Type", "application/x-www-form-urlencoded"}}, "a=1&csrf=" + login.csrf)
          .status,
      204);
  EXPECT_EQ(WithCookie(login, "GET", kTwo).status, 401);
}

TEST_P(ServerSessions, SessionsEndWhenIdleAndWithTheirUsersPassword) {
  const SessionLogin login = LogIn("vic", "vic password");
  now_ += 29 * 60;
  EXPECT_EQ(WithCookie(login, "GET", "/api/session").status, 200);  // and it was used again
  now_ += 29 * 60;
  EXPECT_EQ(WithCookie(login, "GET", "/api/session").status, 200);
  const SessionLogin unseen = LogIn("eve", "eve password");
  const std::string unseenHash = SecretHash(unseen.cookie.substr(unseen.cookie.find('=') + 1));
  ASSERT_TRUE(store_.FindSession(unseenHash));
  now_ += 30 * 60;
  EXPECT_EQ(WithCookie(login, "GET", "/api/session").status, 401);

  // A login removes the sessions that ended without being used again.
  const SessionLogin again = LogIn("vic", "vic password");
  EXPECT_FALSE(store_.FindSession(unseenHash));
  ASSERT_EQ(WithCookie(again, "GET", "/api/session").status, 200);
  EXPECT_EQ(PatchUser("vic", "{\"password\":\"short\"}").status, 422);
  EXPECT_EQ(PatchUser("vic", "{\"password\":\"new password\"}").status, 200);
  EXPECT_EQ(WithCookie(again, "GET", "/api/session").status, 401);
  EXPECT_EQ(Send("vic", "GET", kTwo).status, 401);  // the token went too
  EXPECT_EQ(LogIn("vic", "vic password").status, 401);
  EXPECT_EQ(LogIn("vic", "new password").status, 200);

  EXPECT_EQ(Send("ada", "DELETE", "/api/users/eve").status, 204);
  EXPECT_EQ(Send("eve", "GET", kTwo).status, 401);
  EXPECT_EQ(Send("ada", "DELETE", "/api/users/ada").status, 409);  // the last admin
  EXPECT_EQ(PatchUser("ada", "{\"role\":\"viewer\"}").status, 409);
}

// A login whose user is removed (and the id perhaps given to a new admin), or given a new password,
// while its password is checked makes no session; a token made for a user read before either
// is not added.
TEST_P(ServerSessions, ALoginOrTokenRacingARemovalOrANewPasswordGetsNothing) {
  const auto dave = [&] {
    store_.RemoveUser("erin", {});
    store_.RemoveUser("dave", {});
    store_.AddUser({0, "dave", Role::Viewer, HashPassword("dave password", Cheap())}, {});
    return *store_.FindUser("dave");
  };
  const struct Case {
    const char* meanwhile;
    std::function<void()> change;
  } cases[] = {
      {"removed, and an admin added",
       [&] {
         store_.RemoveUser("dave", {});
         store_.AddUser({0, "erin", Role::Admin, HashPassword("erin password", Cheap())}, {});
       }},
      {"a new password",
       [&] { store_.UpdateUser("dave", Role::Viewer, HashPassword("new password", Cheap()), {}); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.meanwhile);
    dave();
    checked_ = c.change;
    EXPECT_EQ(LogIn("dave", "dave password").status, 401);
    EXPECT_FALSE(checked_);  // it ran
    const User read = dave();
    c.change();
    EXPECT_FALSE(store_.AddToken(read, SecretHash("dave's token"), {}, {}));
    EXPECT_FALSE(store_.FindToken(SecretHash("dave's token"), 0));
  }
}

// A failure of the store is answered 500, or 503 when another program holds the database's lock
// longer than the busy timeout, with a reason that names no file and holds nothing of SQLite's
// words; only the store's finding on its rows is told. The log gets the error whole. Each case
// breaks a database of its own from another connection, after the same request was answered; a
// request stopped by a lock is answered again once the lock is gone.
TEST(ServerFailures, AnswersNameNoFileThatTheLogDoes) {
  const std::string row = "inputs[interface 1, node 2, number 1].EOL: 2 is outside 0..1";
  const std::string row3 = "inputs[interface 1, node 2, number 3].EOL: 2 is outside 0..1";
  const std::string invalid =
      "PRAGMA ignore_check_constraints = ON; UPDATE inputs SET EOL = 2 WHERE Node = 2";
  const std::string rows = row + "; " + row3;
  const std::string lock = "BEGIN IMMEDIATE";
  const std::string locked = "the database is locked by another program (waited 5 s)";
  const std::string busy = "{\"error\":\"the site's database cannot answer now: " + locked + "\"}";
  const struct Case {
    const char* what;
    std::string fault;  // SQL run on the other connection, which stays open
    std::string method, target;
    bool cookie;  // the caller's session, due for its "last seen" to be written; else a token
    bool head;    // only the request's head is checked
    int status;
    std::string told;    // a part of the answer
    std::string logged;  // the error as the log gives it, the file standing for "@"
  } cases[] = {
      {"rows not valid, for the API", invalid, "GET", "/api/site", false, false, 500,
       "{\"error\":\"the server failed: " + rows + "\"}", "@: " + row + "; @: " + row3},
      {"rows not valid, for a page", invalid, "GET", "/", false, false, 500,
       "the server failed: " + rows, "@: " + row + "; @: " + row3},
      {"SQL failing for a page", "DROP TABLE inputs", "GET", "/", false, false, 500,
       "its log says why", "no such table: inputs"},
      {"identifying the caller", "DROP TABLE api_tokens", "GET", "/api/site", false, false, 500,
       "{\"error\":\"the server failed; its log says why\"}", "no such table: api_tokens"},
      {"identifying the caller of a head", "DROP TABLE api_tokens", "GET", "/api/site", false, true,
       500, "its log says why", "no such table: api_tokens"},
      {"a locked store answering", lock, "POST", kTwo + "/sent", false, false, 503, busy, locked},
      {"a locked store identifying the caller", lock, "GET", "/api/session", true, false, 503, busy,
       locked},
      {"a locked store for a head", lock, "GET", "/", true, true, 503, "cannot answer now", locked},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempFolder folder;
    const std::unique_ptr<Store> store =
        test::MakeStore(test::StoreKind::Database, DemoSite(), folder);
    ASSERT_TRUE(store);
    const std::string file = store->FileName();
    std::int64_t now = 1'700'000'000;
    std::vector<std::string> log;
    ServiceOptions options;
    options.auth.cost = PasswordCost::Cheapest();
    options.auth.clock = [&now] { return now; };
    options.log = [&log](std::string_view line) { log.emplace_back(line); };
    Service service(*store, options);
    AddApiRoutes(service);
    AddPageRoutes(service);
    store->AddUser({0, "eve", Role::Editor, HashPassword("eve password", PasswordCost::Cheapest())},
                   {});
    store->AddToken(*store->FindUser("eve"), SecretHash("eve-token"), {0, "fixture", 0, {}}, {});
    const Login login = service.Authority().LogIn("eve", "eve password", "127.0.0.1");
    ASSERT_EQ(login.status, Login::Status::Ok);
    Request request{c.method, c.target, {}, "", "127.0.0.1", false, {}};
    request.headers.push_back(c.cookie ? Header{"Cookie", "ssmsg_session=" + login.sessionId}
                                       : Header{"Authorization", "Bearer eve-token"});
    if (c.method == "POST") request.headers.push_back({"If-Match", "*"});
    const auto answer = [&]() -> std::optional<Response> {
      if (c.head) return service.CheckHead(request).refusal;
      Response response = service.Handle(request);
      return response.status < 400 ? std::nullopt : std::optional(std::move(response));
    };
    EXPECT_FALSE(answer());
    now += 61;

    sqlite3* opened = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &opened), SQLITE_OK);
    db::DbHandle other(opened);
    ASSERT_EQ(sqlite3_exec(other.get(), c.fault.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    const std::optional<Response> failed = answer();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->status, c.status);
    EXPECT_FALSE(Contains(failed->body, folder.Path().string())) << failed->body;
    EXPECT_FALSE(Contains(failed->body, "no such table"));
    EXPECT_TRUE(Contains(failed->body, c.told));
    ASSERT_EQ(log.size(), 1U);
    std::string logged = c.logged;
    for (std::size_t at = logged.find('@'); at != std::string::npos;
         at = logged.find('@', at + file.size()))
      logged.replace(at, 1, file);
    EXPECT_EQ(log[0], "failed to answer \"" + c.method + " " + c.target + "\" (" +
                          std::to_string(c.status) + "): " + logged);
    if (c.status == 503) {
      other.reset();
      log.clear();
      EXPECT_FALSE(answer());
      EXPECT_TRUE(log.empty());
    }
  }
}

// A server whose database server went away answers 503 with a reason, and the request after is
// answered on a new connection.
TEST(ServerFailuresPostgres, ALostConnectionIs503AndTheNextRequestConnectsAgain) {
  if (!test::HavePostgres()) GTEST_SKIP() << "no PostgreSQL server: run under pg_virtualenv";
  test::TempFolder folder;
  const std::unique_ptr<Store> store =
      test::MakeStore(test::StoreKind::Postgres, DemoSite(), folder);
  ASSERT_TRUE(store);
  store->AddUser({0, "vic", Role::Viewer, ""}, {});
  store->AddToken(*store->FindUser("vic"), SecretHash("vic-token"), {}, {});
  std::vector<std::string> log;
  ServiceOptions options;
  options.log = [&log](std::string_view line) { log.emplace_back(line); };
  Service service(*store, options);
  AddApiRoutes(service);
  const Request request{"GET", kOne, {{"Authorization", "Bearer vic-token"}}, "", "127.0.0.1",
                        false, {}};
  ASSERT_EQ(service.Handle(request).status, 200);
  test::EndPostgresConnections();
  const Response lost = service.Handle(request);
  EXPECT_EQ(lost.status, 503) << lost.body;
  EXPECT_TRUE(Contains(lost.body, "database server cannot be reached now"));
  ASSERT_FALSE(log.empty());
  EXPECT_TRUE(Contains(log.back(), "cannot be reached"));
  EXPECT_EQ(service.Handle(request).status, 200);
}

// A read that finds a row not valid ends its transaction: once the row is mended, the next read
// sees it, not the snapshot of the one that failed.
TEST(ServerFailuresPostgres, ARowFoundNotValidIsReadAgainOnceMended) {
  if (!test::HavePostgres()) GTEST_SKIP() << "no PostgreSQL server: run under pg_virtualenv";
  test::TempFolder folder;
  const std::unique_ptr<Store> store =
      test::MakeStore(test::StoreKind::Postgres, test::CounterSite(1), folder);
  ASSERT_TRUE(store);
  const std::string rename = "UPDATE controllers SET \"Name\" = ";
  test::RunPostgresSql(store->FileName(), rename + "E'a\\x01b'");
  EXPECT_THROW(store->Controller({1, 1}), StoreError);
  test::RunPostgresSql(store->FileName(), rename + "'mended'");
  const std::optional<ControllerState> read = store->Controller({1, 1});
  ASSERT_TRUE(read);
  EXPECT_TRUE(Contains(read->json, "\"mended\""));
}

TEST_P(ServerSessions, FailedLoginsSlowTheNameDown) {
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(LogIn("eve", "wrong password").status, 401);
  const Response slowed = LogInRequest("eve", "eve password");
  EXPECT_EQ(slowed.status, 429);
  EXPECT_EQ(slowed.body, "{\"error\":\"too many failed logins: try again in 1 s\"}");
  EXPECT_EQ(*slowed.Find("Retry-After"), "1");
  EXPECT_EQ(LogIn("vic", "vic password").status, 200);  // only that user
  // A name that no user has is slowed alike, so that being slowed tells nothing.
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(LogIn("nobody", "wrong password").status, 401);
  EXPECT_EQ(LogIn("nobody", "wrong password").status, 429);
  now_ += 1;
  EXPECT_EQ(LogIn("eve", "eve password").status, 200);
}

// A token's body is checked whole; a token ends at its time, and is revoked only by its user's
// path and id.
TEST_P(ServerApi, TokensHaveNamesAndEndsAndAreRevokedOneByOne) {
  const std::string tokens = "/api/users/kim/tokens";
  ASSERT_EQ(AddKim().status, 201);
  struct Bad {
    std::string body;
    std::string error;
  };
  const std::vector<Bad> bad = {
      {"{\"name\":\"a\\nb\"}",
       "name: the text holds the control character U+000A; of those, a text may hold tab only"},
      {"{\"name\":\"" + std::string(65, 'x') + "\"}", "name: a token's name is at most 64 bytes"},
      {"{\"name\":\"\"}", "name: a token's name must not be empty"},
      {"{\"name\":7}", "name: must be a string"},
      {"{\"expires\":0}", "expires: the seconds from now"},
      {"{\"expires\":1.5}", "expires: the seconds from now"},
      {"{\"expires\":\"2023-11-14T22:13:20Z\"}", "expires: the seconds from now"},  // now
      {"{\"expires\":\"2030-02-30T00:00:00Z\"}", "expires: the seconds from now"},
      {"{\"token\":\"mine\"}", "token: unknown key"},
      {"[]", "the body must be an object"},
  };
  for (const Bad& b : bad) {
    const Response refused = PostJson("ada", tokens, b.body);
    EXPECT_EQ(refused.status, 422) << b.body;
    EXPECT_TRUE(Contains(refused.body, b.error)) << b.body << ": " << refused.body;
  }
  EXPECT_EQ(PostJson("eve", tokens, "{}").status, 403);

  const Response deploy = PostJson("ada", tokens, "{\"name\":\"deploy <1>\",\"expires\":3600}");
  ASSERT_EQ(deploy.status, 201);
  const JsonValue made = *ReadJson(deploy.body);
  const std::string id = made.Find("id")->text;
  EXPECT_EQ(deploy.Find("Location") ? *deploy.Find("Location") : "", tokens + "/" + id);
  EXPECT_EQ(made.Find("expires")->text, "2023-11-14T23:13:20Z");
  tokens_["kim"] = made.Find("token")->text;
  const Response later =
      PostJson("ada", tokens, "{\"name\":\"later\",\"expires\":\"2030-01-31T12:00:00Z\"}");
  ASSERT_EQ(later.status, 201);
  EXPECT_EQ(Send("ada", "POST", tokens).status, 201);  // no body: "token", never ending

  // Listed without the secret; ended tokens too, until revoked.
  const Response list = Send("ada", "GET", tokens);
  ASSERT_EQ(list.status, 200);
  EXPECT_FALSE(Contains(list.body, tokens_["kim"]));
  const JsonValue listed = *ReadJson(list.body);
  ASSERT_EQ(listed.items.size(), 3U);
  EXPECT_EQ(ToJson(listed.items[0]), "{\"id\":" + id +
                                         ",\"name\":\"deploy <1>\",\"created\":\"2023-11-14T22:13:"
                                         "20Z\",\"expires\":\"2023-11-14T23:13:20Z\"}");
  EXPECT_EQ(listed.items[1].Find("expires")->text, "2030-01-31T12:00:00Z");
  EXPECT_EQ(listed.items[2].Find("name")->text, "token");
  EXPECT_EQ(listed.items[2].Find("expires")->kind, JsonValue::Kind::Null);

  EXPECT_EQ(Send("kim", "GET", "/api/session").body, "{\"name\":\"kim\",\"role\":\"editor\"}");
  now_ += 3599;
  EXPECT_EQ(Send("kim", "GET", "/api/session").status, 200);
  now_ += 1;
  EXPECT_EQ(Send("kim", "GET", "/api/session").status, 401);  // it ended
  EXPECT_EQ(ReadJson(Send("ada", "GET", tokens).body)->items.size(), 3U);

  // Revoked by the path of its own user only, one at a time.
  const std::string eves =
      ReadJson(Send("ada", "GET", "/api/users/eve/tokens").body)->items.at(0).Find("id")->text;
  EXPECT_EQ(Send("ada", "DELETE", tokens + "/" + eves).status, 404);
  EXPECT_EQ(Send("eve", "GET", "/api/session").status, 200);
  EXPECT_EQ(Send("ada", "DELETE", tokens + "/x").status, 400);
  EXPECT_EQ(Send("eve", "DELETE", tokens + "/" + id).status, 403);
  EXPECT_EQ(Send("ada", "DELETE", tokens + "/" + id).status, 204);
  EXPECT_EQ(Send("ada", "DELETE", tokens + "/" + id).status, 404);
  EXPECT_EQ(ReadJson(Send("ada", "GET", tokens).body)->items.size(), 2U);
  EXPECT_EQ(Send("ada", "GET", "/api/users/nobody/tokens").status, 404);
  EXPECT_EQ(Send("ada", "POST", "/api/users/nobody/tokens").status, 404);
}

// Admins alone change accounts. Each change says who made it (and with which token), whom it
// changed and what, without a secret; a change refused is not logged.
TEST_P(ServerApi, AccountChangesAreAuditedWithWhoAndWhat) {
  const std::string base = "/api/users/kim";
  EXPECT_EQ(PostJson("eve", "/api/users", "{}").status, 403);
  EXPECT_EQ(PostJson("ada", "/api/users",
                     "{\"name\":\"a b\",\"role\":\"boss\",\"password\":\"x\",\"extra\":1}")
                .body,
            "{\"errors\":[\"extra: unknown key\",\"role: must be viewer, editor or admin\","
            "\"password: a password has at least 8 characters\",\"name: a user name has only the "
            "letters A-Z and a-z, digits and . _ @ -\"]}");
  const Response added = AddKim();
  ASSERT_EQ(added.status, 201);
  ASSERT_NE(added.Find("Location"), nullptr);
  EXPECT_EQ(*added.Find("Location"), base);
  EXPECT_EQ(AddKim().status, 409);
  const JsonRead users = ReadJson(Send("ada", "GET", "/api/users").body);
  ASSERT_TRUE(users) << users.error();
  EXPECT_TRUE(Contains(ToJson(*users), "{\"name\":\"kim\",\"role\":\"editor\"}"));
  ASSERT_EQ(PatchUser("kim", "{\"password\":\"new password\"}").status, 200);
  ASSERT_EQ(PatchUser("kim", "{\"role\":\"viewer\"}").status, 200);
  const Response token =
      PostJson("ada", base + "/tokens", "{\"name\":\"ci \\\"x\\\"\",\"expires\":60}");
  ASSERT_EQ(token.status, 201);
  const std::string id = ReadJson(token.body)->Find("id")->text;
  ASSERT_EQ(Send("ada", "DELETE", base + "/tokens/" + id).status, 204);
  ASSERT_EQ(Send("ada", "DELETE", base).status, 204);

  const Response audit = Send("ada", "GET", "/api/audit?after=6");
  ASSERT_EQ(audit.status, 200);
  for (const std::string& secret : std::vector<std::string>{
           "kim password", "new password", "$argon2", ReadJson(token.body)->Find("token")->text}) {
    EXPECT_FALSE(Contains(audit.body, secret)) << secret;
  }
  const std::string ada = "ada (token 1 \"fixture\")";
  const std::string kimToken = "{\"user\":\"kim\",\"token\":" + id +
                               ",\"name\":\"ci \\\"x\\\"\",\"expires\":\"2023-11-14T22:14:20Z\"}";
  const std::vector<std::string> expected = {
      ada + " POST /api/users {\"user\":\"kim\",\"role\":\"editor\"}",
      ada + " PATCH " + base + " {\"user\":\"kim\",\"role\":\"editor\",\"changed\":[\"password\"]}",
      ada + " PATCH " + base + " {\"user\":\"kim\",\"role\":\"viewer\",\"changed\":[\"role\"]}",
      ada + " POST " + base + "/tokens " + kimToken,
      ada + " DELETE " + base + "/tokens/" + id + " " + kimToken,
      ada + " DELETE " + base + " {\"user\":\"kim\",\"role\":\"viewer\"}",
  };
  std::vector<std::string> rows;
  const JsonValue entries = *ReadJson(audit.body);
  for (const JsonValue& entry : entries.Find("entries")->items) {
    EXPECT_EQ(entry.Find("controller")->kind, JsonValue::Kind::Null);
    rows.push_back(entry.Find("user")->text + " " + entry.Find("method")->text + " " +
                   entry.Find("path")->text + " " + ToJson(*entry.Find("after")));
  }
  EXPECT_EQ(rows, expected);
}

TEST_P(ServerApi, CsvNamesGoOutAndComeBackChanged) {
  const Response out = Send("vic", "GET", "/api/csv");
  ASSERT_EQ(out.status, 200) << out.body;
  EXPECT_EQ(*out.Find("Content-Type"), "text/csv; charset=utf-8");
  const std::string first = "1,1,Inputs,1,Name,Front door contact\r\n";
  const std::string reader = "1,2,Readers,1,Name,Vending machine reader\r\n";
  ASSERT_EQ(out.body.substr(0, 40 + first.size()), kCsvHead + first);
  ASSERT_TRUE(Contains(out.body, reader));
  // The declined second input of 1.2 has no row.
  EXPECT_FALSE(Contains(out.body, "1,2,Inputs,2,"));
  // Every value: nested ones by their path, lists inside a record left out.
  const std::string every = Send("vic", "GET", "/api/csv?fields=*").body;
  for (const char* row : {"1,1,Holidays,1,Month,1\r\n", "1,1,Inputs,1,Time.Debounce,5\r\n",
                          "1,1,Inputs,1,EOL,true\r\n"})
    EXPECT_TRUE(Contains(every, row)) << row;
  EXPECT_FALSE(Contains(every, "LevelTGs"));
  EXPECT_TRUE(Contains(out.body, "1,2,Inputs,3,Name,Vending cabinet tamper\r\n"));

  std::string changed = out.body;
  changed.replace(changed.find(first), first.size(),
                  "1,1,Inputs,1,Name,\"Front, \"\"main\"\"\"\r\n");
  changed.replace(changed.find(reader), reader.size(), "1,2,Readers,1,Name,Snacks\r\n");
  const auto post = [this](const std::string& who, const std::string& body) {
    return Send(who, "POST", "/api/csv", {{"Content-Type", "text/csv; charset=utf-8"}}, body);
  };
  EXPECT_EQ(post("vic", changed).status, 403);
  const std::size_t audited = store_.Audit({}, 1000).size();
  const Response in = post("eve", changed);
  ASSERT_EQ(in.status, 200) << in.body;
  EXPECT_EQ(in.body, "{\"controllers\":2,\"values\":2}");
  EXPECT_EQ(store_.Audit({}, 1000).size(), audited + 2);
  EXPECT_EQ(Read(kOne).Find("Inputs")->items[0].Find("Name")->text, "Front, \"main\"");
  EXPECT_EQ(Send("vic", "GET", "/api/csv?fields=Name").body, changed);
  // The same again sets nothing, and writes nothing.
  EXPECT_EQ(post("eve", changed).body, "{\"controllers\":0,\"values\":0}");
  EXPECT_EQ(store_.Audit({}, 1000).size(), audited + 2);

  // Numbers and flags keep their types.
  const Response typed =
      post("eve", kCsvHead + "1,1,Inputs,1,Time.Debounce,007\r\n1,1,Inputs,1,EOL,false\n");
  ASSERT_EQ(typed.status, 200) << typed.body;
  EXPECT_EQ(typed.body, "{\"controllers\":1,\"values\":2}");
  const std::string rows = kCsvHead + "1,1,Inputs,1,Time.Debounce,7\r\n1,1,Inputs,1,EOL,false\r\n";
  EXPECT_EQ(
      Send("vic", "GET", "/api/csv?fields=Time.Debounce,EOL,Nothing").body.substr(0, rows.size()),
      rows);
  // A path with an empty part names no field.
  for (const auto& [fields, named] :
       {std::pair{"Name,", ""}, std::pair{"Time..Debounce", "Time..Debounce"}}) {
    const Response refused = Send("vic", "GET", std::string("/api/csv?fields=") + fields);
    EXPECT_EQ(refused.status, 400) << fields;
    EXPECT_EQ(refused.body,
              "{\"error\":\"fields: \\\"" + std::string(named) + "\\\" names no field\"}");
  }
}

// A CSV may hold a whole site's names: it takes more than a controller's body may, up to its own
// limit. A limit is said in its largest whole unit.
TEST_P(ServerApi, ACsvMayBeLargerThanAController) {
  for (const auto& [bytes, said] : {std::pair<std::size_t, const char*>{16 << 20, "16 MiB"},
                                    {3 << 10, "3 KiB"},
                                    {(1 << 20) + (1 << 10), "1025 KiB"},
                                    {1000, "1000 bytes"}})
    EXPECT_EQ(BodyTooLarge(bytes), std::string("the request's body is larger than ") + said);
  const auto body = [](std::size_t mib) { return kCsvHead + std::string(mib << 20, '\n'); };
  EXPECT_EQ(PostCsv(body(17)).status, 400) << "read, not refused";
  const Response csvRefused = PostCsv(body(33));
  EXPECT_EQ(csvRefused.status, 413);
  EXPECT_TRUE(Contains(csvRefused.body, "the request's body is larger than 32 MiB"));
  const Response putRefused = Send("eve", "PUT", kTwo, {kJson, {"If-Match", "*"}}, body(17));
  EXPECT_EQ(putRefused.status, 413);
  EXPECT_TRUE(Contains(putRefused.body, "the request's body is larger than 16 MiB"));
}

// Every value of the site as CSV is every value of its site file's records that is one string,
// number or flag, in the file's order, nested ones by their path.
TEST_P(ServerApi, ACsvOfEveryValueIsTheSiteFilesRecordsInItsOrder) {
  std::string expected(kCsvHeader);
  expected += "\r\n";
  // A name made empty is left out, as the site file leaves it out; and it may be named again.
  const auto post = [this](const std::string& row) {
    return PostCsv(std::string(kCsvHeader) + "\r\n" + row + "\r\n");
  };
  ASSERT_EQ(post("1,1,Inputs,2,Name,").status, 200);
  EXPECT_EQ(Read(kOne).Find("Inputs")->items[1].Find("Name"), nullptr);
  const std::function<void(const JsonValue&, const std::string&, const std::vector<std::string>&)>
      flatten = [&](const JsonValue& value, const std::string& path,
                    const std::vector<std::string>& lead) {
        for (const JsonMember& member : value.members) {
          const std::string inner = path.empty() ? member.name : path + "." + member.name;
          const JsonValue& v = member.value;
          if (v.IsObject()) {
            flatten(v, inner, lead);
          } else if (v.kind != JsonValue::Kind::Null && v.kind != JsonValue::Kind::Array) {
            const std::string text = v.kind == JsonValue::Kind::True    ? "true"
                                     : v.kind == JsonValue::Kind::False ? "false"
                                                                        : v.text;
            std::vector<std::string> row = lead;
            row.insert(row.end(), {inner, text});
            AppendCsvRow(expected, row);
          }
        }
      };
  const JsonRead site = ReadJson(store_.SiteJson());
  ASSERT_TRUE(site);
  std::set<std::string> kinds;
  for (const JsonValue& controller : site->Find("Controllers")->items) {
    for (const JsonMember& list : controller.members) {
      if (list.value.kind != JsonValue::Kind::Array) continue;
      for (std::size_t k = 0; k < list.value.items.size(); ++k) {
        if (!list.value.items[k].IsObject()) continue;
        kinds.insert(list.name);
        flatten(list.value.items[k], "",
                {controller.Find("Interface")->text, controller.Find("Node")->text, list.name,
                 std::to_string(k + 1)});
      }
    }
  }
  EXPECT_GE(kinds.size(), 7u);  // the site has records of (nearly) every kind
  EXPECT_EQ(Send("vic", "GET", "/api/csv?fields=*").body, expected);
  ASSERT_EQ(post("1,1,Inputs,2,Name,Named again").status, 200);
  EXPECT_EQ(Read(kOne).Find("Inputs")->items[1].Find("Name")->text, "Named again");
}

TEST_P(ServerApi, ACsvRowThatNamesNothingThereOrAWrongValueWritesNothing) {
  const std::string good = "1,1,Inputs,1,Name,Renamed\r\n";
  const std::string start = kCsvHead + good;
  const struct {
    std::string body;
    int status;
    std::string error;
  } cases[] = {
      {start + "1,1,Inputs,1,Colour,red\r\n", 422, "line 3, column 5: "},
      {start + "1,1,Inputs,0,Name,x\r\n", 422, "line 3, column 4: "},
      {start + "1,1,Inputs,99,Name,x\r\n", 422, "line 3, column 4: "},
      {start + "1,2,Inputs,2,Name,x\r\n", 422, "line 3, column 4: "},
      {start + "1,1,Inputs,1,Time.Debounce,x\r\n", 422, "line 3, column 6: "},
      {start + "1,1,Inputs,1,Time.Debounce,1.5\r\n", 422, "line 3, column 6: "},
      {start + "1,1,Inputs,1,EOL,yes\r\n", 422, "line 3, column 6: "},
      {start + "1,1,Inputs,1,Name,\"a\nb\"\r\n1,1,Doors,1,Name,x\r\n", 422, "line 5, column 3: "},
      {start + "1,9,Inputs,1,Name,x\r\n", 422, "line 3, column 1: "},
      // The first line that is wrong is named, whichever controller's rows come first.
      {start + "1,2,Inputs,1,Name,x\r\n1,2,Inputs,1,EOL,yes\r\n1,1,Inputs,1,EOL,no\r\n", 422,
       "line 4, column 6: "},
      {start + "1,2,Inputs,1,Name,x\r\n1,1,Inputs,1,EOL,no\r\n1,2,Inputs,1,EOL,no\r\n", 422,
       "line 4, column 6: "},
      {start + "0,1,Inputs,1,Name,x\r\n", 422, "line 3, column 1: "},
      {start + "1,1,Inputs,1,Time.Debounce,99999999999999999999\r\n", 422, "line 3, column 6: "},
      {start + "1,1,\"Inputs,1,Name,x\r\n", 400, "line 3, column 3: "},
      {start + "1,1,Inputs,1,Name\r\n", 400, "line 3, column 6: "},
      {"Interface,Node,Kind,Number,Name,Value\r\n" + good, 400, "line 1, column 5: "},
      {"", 400, "line 1, column 1: "},
  };
  const std::map<std::string, std::string> before = Controllers();
  const std::size_t audited = store_.Audit({}, 1000).size();
  for (const auto& c : cases) {
    const Response response = PostCsv(c.body);
    EXPECT_EQ(response.status, c.status) << c.body << response.body;
    const JsonRead body = ReadJson(response.body);
    ASSERT_TRUE(body) << response.body;
    const JsonValue* error = body->Find("error");
    ASSERT_NE(error, nullptr) << response.body;
    EXPECT_EQ(error->text.substr(0, c.error.size()), c.error) << c.body << response.body;
  }
  EXPECT_EQ(PostCsv(start, "text/plain").status, 415);
  EXPECT_EQ(Controllers(), before);
  EXPECT_EQ(store_.Audit({}, 1000).size(), audited);
}

TEST_P(ServerApi, TheOpenApiDocumentListsExactlyTheRoutes) {
  const JsonRead document = ReadJson(Send("", "GET", "/api/openapi.json").body);
  ASSERT_TRUE(document) << document.error();
  EXPECT_EQ(document->Find("openapi")->text, "3.1.0");
  std::set<std::string> documented;
  for (const JsonMember& path : document->Find("paths")->members) {
    for (const JsonMember& method : path.value.members) {
      if (method.name == "parameters") continue;
      std::string upper = method.name;
      for (char& c : upper)
        c = static_cast<char>(c - 'a' + 'A');
      documented.insert(upper + " " + path.name);
    }
  }
  std::set<std::string> routed;
  for (const Route& route : service_.Routes().Routes())
    routed.insert(route.method + " " + route.pattern);
  EXPECT_EQ(documented, routed);
}

const auto kStores = testing::ValuesIn(test::StoreKinds());
INSTANTIATE_TEST_SUITE_P(Stores, ServerApi, kStores, test::KindName);
INSTANTIATE_TEST_SUITE_P(Stores, ServerSessions, kStores, test::KindName);

}  // namespace
}  // namespace ssmsg::server
