// The site editor's pages, driven through the request handler (no sockets) over a site database
// made from the demo site. Forms are filled as a browser fills them: from the page's HTML,
// each input's value as the page gave it unless the test changes it.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>

#include "server/Api.h"
#include "server/JsonValue.h"
#include "server/Service.h"
#include "server/pages/Frame.h"
#include "server/pages/Pages.h"
#include "server/pages/RecordForms.h"
#include "server_support.h"
#include "site/file/SiteFile.h"
#include "support.h"

namespace ssmsg::server {
namespace {

using test::Contains;
// Texts by name: a tag's attributes, a form's fields, a controller's values by path.
using Fields = std::map<std::string, std::string>;
// A list's options: value, text, and whether it is chosen.
using OptionList = std::vector<std::tuple<std::string, std::string, bool>>;

std::string Unescape(std::string text) {
  static const std::pair<std::string, std::string> kEntities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
  for (const auto& [entity, character] : kEntities) {
    for (std::size_t at = text.find(entity); at != std::string::npos;
         at = text.find(entity, at + character.size()))
      text.replace(at, entity.size(), character);
  }
  return text;
}

// The attributes of the tag that starts at `at` in `html` ("<input type=... checked>"), each
// value unescaped, with the position just past the tag.
Fields Attributes(const std::string& html, std::size_t& at) {
  Fields attributes;
  at = html.find(' ', at);
  while (at < html.size() && html[at] != '>') {
    if (html[at] == ' ') {
      ++at;
      continue;
    }
    const std::size_t end = html.find_first_of("= >", at);
    std::string& value = attributes[html.substr(at, end - at)];
    at = end;
    if (html[at] == '=') {
      const std::size_t close = html.find('"', at + 2);
      value = Unescape(html.substr(at + 2, close - at - 2));
      at = close + 1;
    }
  }
  ++at;
  return attributes;
}

// The fields a browser sends for the form whose action is `action` in `html`, as it is shown:
// text, number, hidden and password inputs, ticked check boxes, and each list's chosen option.
Form Submit(const std::string& html, const std::string& action) {
  const std::size_t start = html.find("action=\"" + action + "\"");
  EXPECT_NE(start, std::string::npos) << "no form for " << action;
  const std::string form = html.substr(start, html.find("</form>", start) - start);
  Form fields;
  for (std::size_t at = form.find('<'); at != std::string::npos; at = form.find('<', at)) {
    const bool input = form.compare(at, 7, "<input ") == 0;
    const bool select = form.compare(at, 8, "<select ") == 0;
    if (!input && !select) {
      ++at;
      continue;
    }
    Fields attributes = Attributes(form, at);
    if (select) {
      const std::size_t end = form.find("</select>", at);
      for (std::size_t option = form.find("<option ", at); option < end;
           option = form.find("<option ", option)) {
        Fields chosen = Attributes(form, option);
        if (chosen.contains("selected")) fields.Add(attributes["name"], chosen["value"]);
      }
    } else if (attributes["type"] != "checkbox" && attributes["type"] != "radio") {
      fields.Add(attributes["name"], attributes["value"]);
    } else if (attributes.contains("checked")) {
      fields.Add(attributes["name"], attributes.contains("value") ? attributes["value"] : "on");
    }
  }
  return fields;
}

// The body of `fields` with `changes` in place of their values (an empty change removes the
// field, as an unticked check box is not sent; "name=value" names one of several of a name).
std::string Body(const Form& fields, const Fields& changes = {}) {
  std::string body;
  Fields left = changes;
  const auto add = [&body](const std::string& name, const std::string& value) {
    body += (body.empty() ? "" : "&") + pages::Encode(name) + "=" + pages::Encode(value);
  };
  for (const auto& [name, value] : fields.Fields()) {
    auto change = left.find(name + "=" + value);
    if (change == left.end()) change = left.find(name);
    if (change == left.end()) {
      add(name, value);
    } else if (!change->second.empty()) {
      add(name, change->second);
    }
    if (change != left.end()) left.erase(change);
  }
  for (const auto& [name, value] : left) {
    if (!value.empty()) add(name, value);
  }
  return body;
}

// The text of `html` without its tags, each run of spaces one space.
std::string TextOf(std::string_view html) {
  std::string text;
  bool tag = false;
  for (const char c : html) {
    if (c == '<' || c == '>') {
      tag = c == '<';
      if (!text.empty() && text.back() != ' ') text += ' ';
      continue;
    }
    if (tag || (c == ' ' && (text.empty() || text.back() == ' '))) continue;
    text += c;
  }
  if (!text.empty() && text.back() == ' ') text.pop_back();
  return Unescape(text);
}

// What names the input `name` of `html` to a person: its aria-label, or the text of the label
// around it.
std::string NameOf(const std::string& html, const std::string& name) {
  std::size_t at = html.find("name=\"" + name + "\"");
  if (at == std::string::npos) return "(no input " + name + ")";
  std::size_t tag = html.rfind('<', at);
  if (const auto attributes = Attributes(html, tag); attributes.contains("aria-label"))
    return attributes.at("aria-label");
  const std::size_t open = html.rfind("<label", at);
  std::string label = html.substr(open, html.find("</label>", at) - open);
  if (const std::size_t list = label.find("<select"); list != std::string::npos)
    label.erase(list, label.find("</select>") - list);  // a list's options name none of it
  return TextOf(label);
}

// The options of the list `name` of `html`. A number input offered a list of suggestions gives
// those, the one of its value chosen.
OptionList OptionsOf(const std::string& html, const std::string& name) {
  OptionList options;
  const std::size_t named = html.find(" name=\"" + name + "\"");
  if (named == std::string::npos) return options;
  const std::size_t select = html.rfind('<', named);
  if (html.compare(select, 7, "<input ") == 0) {
    std::size_t tag = select;
    const auto input = Attributes(html, tag);
    if (!input.contains("list")) return options;
    const std::size_t list = html.find("<datalist id=\"" + input.at("list") + "\">");
    const std::size_t end = html.find("</datalist>", list);
    for (std::size_t at = html.find("<option ", list); list != std::string::npos && at < end;
         at = html.find("<option ", at)) {
      const auto attributes = Attributes(html, at);
      options.emplace_back(attributes.at("value"), attributes.at("label"),
                           attributes.at("value") == input.at("value"));
    }
    return options;
  }
  if (html.compare(select, 8, "<select ") != 0) return options;
  const std::size_t end = html.find("</select>", select);
  for (std::size_t at = html.find("<option ", select); at < end; at = html.find("<option ", at)) {
    const auto attributes = Attributes(html, at);
    options.emplace_back(attributes.at("value"), TextOf(html.substr(at, html.find('<', at) - at)),
                         attributes.contains("selected"));
  }
  return options;
}

// Expects `html` to hold each of `parts`; ExpectNone, none of them.
void ExpectAll(std::string_view html, std::initializer_list<std::string_view> parts) {
  for (const std::string_view part : parts)
    EXPECT_TRUE(Contains(html, part)) << part;
}
void ExpectNone(std::string_view html, std::initializer_list<std::string_view> parts) {
  for (const std::string_view part : parts)
    EXPECT_FALSE(Contains(html, part)) << part;
}
// Expects `response` to have `status` and a body that holds each of `parts` (a failure names the
// line of the call); gives it back.
Response ExpectPage(Response response, int status, std::initializer_list<std::string_view> parts,
                    const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  const testing::ScopedTrace trace(file, line, "");
  EXPECT_EQ(response.status, status);
  ExpectAll(response.body, parts);
  return response;
}

class ServerPages : public ::testing::Test {
 protected:
  ServerPages()
      : store_(test::MakeStore(test::StoreKind::Database, Site(), folder_)),
        service_(*store_, Options()) {
    AddApiRoutes(service_);
    AddPageRoutes(service_);
    for (const auto& [name, role] : {std::pair{"ada", Role::Admin}, std::pair{"eve", Role::Editor},
                                     std::pair{"vic", Role::Viewer}}) {
      store_->AddUser({0, name, role, HashPassword(Password(name), PasswordCost::Cheapest())}, {});
      const Login login = service_.Authority().LogIn(name, Password(name), "127.0.0.1");
      sessions_[name] = {login.sessionId, login.csrf};
    }
  }

  static std::string Password(const std::string& name) { return name + " password"; }
  static std::string Site() {
    std::string site = test::ReadFile(SSMSG_SOURCE_DIR "/site/demo_site.json");
    // The second controller's name is one a page must show as text.
    const std::string name = "\"Name\": \"Warehouse Vending\"";
    if (site.find(name) != std::string::npos)
      site.replace(site.find(name), name.size(), "\"Name\": \"" + std::string(kHostile) + "\"");
    return site;
  }
  static ServiceOptions Options() {
    ServiceOptions options;
    options.auth.cost = PasswordCost::Cheapest();
    options.hosts = {"editor.test"};
    return options;
  }

  // A request of the session of `who` ("" for none), from this server's own page.
  Response Send(const std::string& who, const std::string& method, const std::string& target,
                const std::string& body = {}) {
    Request request{method, target, {{"Host", "editor.test"}}, body, "127.0.0.1", false, {}};
    if (!who.empty())
      request.headers.push_back({"Cookie", "ssmsg_session=" + sessions_[who].first});
    if (method == "POST") {
      request.headers.push_back({"Origin", "http://editor.test"});
      request.headers.push_back({"Content-Type", "application/x-www-form-urlencoded"});
    }
    return service_.Handle(request);
  }

  // The page `target` as `who` sees it.
  std::string Page(const std::string& who, const std::string& target) {
    return Send(who, "GET", target).body;
  }
  // Posts the form of `action` in `html` as `who`, filled as shown but for `changes`.
  Response PostForm(const std::string& who, const std::string& html, const std::string& action,
                    const Fields& changes = {}) {
    return Send(who, "POST", action, Body(Submit(html, action), changes));
  }
  // `page` with the form of `action` open: of a record's forms, a page draws the one asked for.
  static std::string Opening(const std::string& page, const std::string& action) {
    std::string anchor = "edit-" + action.substr(action.find("/edit/") + 6);
    std::replace(anchor.begin(), anchor.end(), '/', '-');
    return page + (page.find('?') == std::string::npos ? "?open=" : "&open=") + anchor;
  }
  // Fills the form of `action` on page `page` as `who` and posts it with `changes`.
  Response Post(const std::string& who, const std::string& page, const std::string& action,
                const Fields& changes = {}) {
    const Response shown = Send(who, "GET", Opening(page, action));
    EXPECT_EQ(shown.status, 200) << page;
    return PostForm(who, shown.body, action, changes);
  }

  // Fills the form of `part` ("Inputs/0") on the page of controller `address` as eve and posts it.
  Response Edit(const std::string& part, const Fields& changes = {},
                const std::string& address = "1/1") {
    const std::string page = "/controllers/" + address;
    return Post("eve", page, page + "/edit/" + part, changes);
  }

  JsonValue Controller(const std::string& address = "1/1") {
    return *ReadJson(store_->Controller(Address(address))->json);
  }
  static CSS_ControllerAddress Address(const std::string& address) {
    return {std::stoi(address.substr(0, address.find('/'))),
            std::stoi(address.substr(address.find('/') + 1))};
  }
  std::string Holidays() { return ToJson(*Controller().Find("Holidays")); }
  std::string InputName(std::size_t k) {
    return Controller().Find("Inputs")->items[k].Find("Name")->text;
  }
  // The form of `target` as the page draws it for `controller`, saving to "/save".
  static std::string FormHtml(const pages::FormTarget& target, const JsonValue& controller,
                              const pages::FormChoices& choices) {
    CSToolEnum enums;
    std::string html;
    pages::RenderForm(
        target, pages::ValuesOf(target, controller),
        {enums, "/save", "\"tag\"", "token", nullptr, false, {}, false, false, &choices}, html);
    return html;
  }

  static constexpr std::string_view kHostile = "<img src=x onerror=alert(1)>";
  inline static const std::string kPage = "/controllers/1/1";
  test::TempFolder folder_;
  std::unique_ptr<Store> store_;
  Service service_;
  std::map<std::string, std::pair<std::string, std::string>> sessions_;  // id, csrf
};

TEST_F(ServerPages, EveryFormGivesBackWhatItShows) {
  for (const std::string& address : {std::string("1/1"), std::string("1/2")}) {
    const JsonValue controller = Controller(address);
    for (const pages::FormSection& section : pages::FormSections()) {
      const bool each = section.layout == pages::FormLayout::Records ||
                        section.layout == pages::FormLayout::Groups;
      const std::size_t forms = each ? controller.Find(section.key)->items.size() : 1;
      for (std::size_t k = 0; k < forms; ++k) {
        const pages::FormTarget target{&section, k};
        SCOPED_TRACE(address + " " + target.Anchor());
        // Lists that lack some of the values named, which must come back as they were.
        const std::string html = FormHtml(target, controller, {{{2, 8, 30, 17, 30}}, {1}});
        JsonValue saved = controller;
        const pages::FormRead read = pages::ApplyForm(target, Submit(html, "/save"), saved);
        EXPECT_TRUE(read.errors.empty());
        EXPECT_EQ(ToJson(pages::PartOf(target, saved)), ToJson(pages::PartOf(target, controller)));
        EXPECT_EQ(ToJson(saved), ToJson(controller));
      }
    }
  }
}

// Every input is named in words a person reads, with its unit, and its key in the site file
// beside them; a row's input is named with its record.
TEST_F(ServerPages, FieldsAreNamedInWordsWithTheirUnits) {
  // The section and record of a form, an input of it and what names that input.
  const std::tuple<std::string, std::size_t, std::string, std::string> cases[] = {
      {"Inputs", 0, "Inputs[0].Time.Debounce", "Debounce time Debounce -32768 to 32767 ticks"},
      {"Inputs", 0, "Inputs[0].Time.LevelTGs[1]", "Time group of level 2 LevelTGs"},
      {"Inputs", 0, "Inputs[0].Type", "Input type Type"},
      {"Outputs", 0, "Outputs[0].EnableIn_L", "Enable input level EnableIn_L 0 to 255"},
      {"Outputs", 0, "Outputs[0].Time.TgEnabled", "Enabled time group TgEnabled"},
      {"Readers", 0, "Readers[0].Percentage", "Random check percentage Percentage 0 to 100%"},
      {"Readers", 0, "Readers[0].CardControl.ATBMinutes",
       "ATB period ATBMinutes -32768 to 32767 minutes"},
      {"Controller", 0, "Config.TGEnabled", "Time groups enabled TGEnabled"},
      {"TimeZones", 0, "TimeZones[1].StartHour", "Time zone 2 start hour"},
      {"TimeZones", 0, "TimeZones[10].ZoneNo", "New time zone zone number"},
      {"Holidays", 0, "Holidays[0].Month", "Holiday 1 month"},
      {"TimeGroups", 1, "TimeGroups[1].Zones[2].Monday", "Time group 2 zone 3 Monday"},
      {"TimeGroups", 1, "TimeGroups[1].Zones[3].ZoneNo", "Time group 2 new zone time zone"},
      {"Ports", 0, "Ports[0].PeripheralType", "Serial port 1 peripheral type"},
  };
  const JsonValue controller = Controller();
  for (const auto& [section, index, input, named] : cases) {
    const pages::FormTarget target{pages::FindFormSection(section), index};
    EXPECT_EQ(NameOf(FormHtml(target, controller, {}), input), named) << input;
  }
  // A table's columns say the same: label, key, and the values that mean something. Each
  // record's form is summed up where it folds: a numbered record with its name, a time group with
  // its zones, and the form that adds a record.
  ExpectAll(Page("eve", kPage),
            {"<th scope=\"col\">Start hour <code class=\"key\">StartHour</code> <small>0 to "
             "23</small></th>",
             "<th scope=\"col\">Month <code class=\"key\">Month</code> <small>1 to 12</small></th>",
             "<th scope=\"col\">Baud rate <code class=\"key\">BaudRate</code></th>",
             "#edit-Inputs-1\">Input 2: <span class=\"name\">Exit button</span></a></p>",
             "#edit-TimeGroups-1\">Time group 2: 3 zones</a></p>",
             "#edit-TimeGroups-2\">Time group 3: 1 zone</a></p>",
             "#edit-Inputs-5\">New input</a></p>", "#edit-TimeGroups-3\">New time group</a></p>"});
}

// A field that names a time zone or a time group is a list of those of the controller; a value
// that names none of them stays, chosen, and says so.
TEST_F(ServerPages, ReferencesAreListsOfWhatTheControllerHas) {
  const pages::FormChoices choices{{{3, 6, 0, 14, 0}, {12, 22, 5, 23, 59}}, {1, 2, 4}};
  const std::string dash = "\xE2\x80\x93";
  const OptionList zones = {{"3", "Zone 3: 06:00" + dash + "14:00", false},
                            {"12", "Zone 12: 22:05" + dash + "23:59", false}};
  const OptionList groups = {{"0", "0: none", false},
                             {"1", "Time group 1", false},
                             {"2", "Time group 2", false},
                             {"4", "Time group 4", false}};
  const auto with = [](OptionList options, const std::string& value, bool known) {
    if (value.empty()) options.insert(options.begin(), {"", "(choose)", true});
    for (auto& [number, text, chosen] : options)
      chosen = chosen || number == value;
    if (!known) options.emplace_back(value, value + " (not on this controller)", true);
    return options;
  };
  // The section and record of a form, a list of it and its options.
  const std::tuple<std::string, std::size_t, std::string, OptionList> cases[] = {
      // Zones 1, 7 of the first group, 3, 4, 5 of the second.
      {"TimeGroups", 0, "TimeGroups[0].Zones[0].ZoneNo", with(zones, "1", false)},
      {"TimeGroups", 1, "TimeGroups[1].Zones[0].ZoneNo", with(zones, "3", true)},
      {"TimeGroups", 1, "TimeGroups[1].Zones[3].ZoneNo", with(zones, "", true)},  // new row
      // Outputs 1: TgControlled 1, TgEnabled 2, TgReport 0; input 1's levels 1, 1, 2, 0, 3.
      {"Outputs", 0, "Outputs[0].Time.TgControlled", with(groups, "1", true)},
      {"Outputs", 0, "Outputs[0].Time.TgReport", with(groups, "0", true)},
      {"Inputs", 0, "Inputs[0].Time.LevelTGs[3]", with(groups, "0", true)},
      {"Inputs", 0, "Inputs[0].Time.LevelTGs[4]", with(groups, "3", false)},
  };
  const JsonValue controller = Controller();
  for (const auto& [section, index, input, options] : cases) {
    const pages::FormTarget target{pages::FindFormSection(section), index};
    EXPECT_EQ(OptionsOf(FormHtml(target, controller, choices), input), options) << input;
  }
  // A controller with many offers them to a number input from one list a form, not a list a row.
  pages::FormChoices many;
  OptionList manyZones;
  for (int k = 1; k <= 17; ++k) {
    many.zones.push_back({k, 6, 0, 14, 0});
    manyZones.emplace_back(std::to_string(k),
                           "Zone " + std::to_string(k) + ": 06:00" + dash + "14:00", k == 3);
  }
  const pages::FormTarget second{pages::FindFormSection("TimeGroups"), 1};
  const std::string group = FormHtml(second, controller, many);
  EXPECT_EQ(OptionsOf(group, "TimeGroups[1].Zones[0].ZoneNo"), manyZones);
  EXPECT_FALSE(Contains(group, "<select"));
  EXPECT_EQ(group.find("<datalist"), group.rfind("<datalist"));
  JsonValue saved = controller;
  EXPECT_TRUE(pages::ApplyForm(second, Submit(group, "/save"), saved).errors.empty());
  EXPECT_EQ(ToJson(saved), ToJson(controller));
  // The controller's page lists its own: its ten time zones and three time groups.
  const std::string page = Page("eve", kPage + "?open=edit-TimeGroups-0");
  const OptionList shown = OptionsOf(page, "TimeGroups[0].Zones[1].ZoneNo");
  ASSERT_EQ(shown.size(), 10u);
  EXPECT_EQ(shown[6], std::make_tuple(std::string("7"), "Zone 7: 09:00" + dash + "13:00", true));
  EXPECT_EQ(
      OptionsOf(Page("eve", kPage + "?open=edit-Outputs-1"), "Outputs[1].Time.TgEnabled").size(),
      4u);
}

TEST_F(ServerPages, RenamedInputIsPendingThenSent) {
  const Response saved = Edit("Inputs/0", {{"Inputs[0].Name", "Front door & <side>"}});
  ASSERT_EQ(saved.status, 303) << saved.body;
  EXPECT_EQ(*saved.Find("Location"), "/controllers/1/1?saved=edit-Inputs-0#edit-Inputs-0");
  EXPECT_EQ(InputName(0), "Front door & <side>");

  // Marked sent once, the rename is all that is pending.
  ASSERT_EQ(Post("eve", "/controllers/1/1/pending", "/controllers/1/1/sent").status, 303);
  ASSERT_EQ(Edit("Inputs/0", {{"Inputs[0].Name", "Front door"}}).status, 303);
  const Response pending = Send("eve", "GET", "/controllers/1/1/pending");
  const JsonValue api = *ReadJson(Page("eve", "/api/controllers/1/1/pending"));
  const std::vector<JsonValue>& messages = api.Find("messages")->items;
  ASSERT_FALSE(messages.empty());
  ExpectAll(pending.body, {pages::Count(messages.size(), "message"), "Front door"});
  const Response file = Send("eve", "GET", "/controllers/1/1/pending/download");
  EXPECT_EQ(*file.Find("Content-Disposition"), "attachment; filename=\"messages-1-1.txt\"");
  std::string lines;
  for (const JsonValue& message : messages)
    lines += message.text + "\n";
  EXPECT_EQ(file.body, lines);

  ASSERT_EQ(Post("eve", "/controllers/1/1/pending", "/controllers/1/1/sent").status, 303);
  const std::string none = Page("eve", "/controllers/1/1/pending");
  EXPECT_TRUE(Contains(none, "0 messages"));
  EXPECT_FALSE(Contains(none, "Mark as sent"));  // nothing to mark
}

// The overview finds controllers by the start of their address or a part of their name, in either
// case; each row keeps the id of its place in the site.
TEST_F(ServerPages, TheOverviewFindsControllers) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {"1.1", "1.2"}},     {"1.2", {"1.2"}},    {"1.", {"1.1", "1.2"}},
      {"HEAD office", {"1.1"}}, {"%3Cimg", {"1.2"}}, {"2.", {}},
  };
  for (const auto& [find, shown] : cases) {
    const std::string page = Page("eve", "/?find=" + find);
    std::vector<std::string> rows;
    for (std::size_t at = page.find("<tr id=\"row-"); at != std::string::npos;
         at = page.find("<tr id=\"row-", at + 1)) {
      const std::size_t link = page.find("\">", page.find("<a href=", at)) + 2;
      rows.push_back(page.substr(link, page.find('<', link) - link));
    }
    EXPECT_EQ(rows, shown) << find;
  }
  ExpectAll(Page("eve", "/?find=1.2"),
            {"<tr id=\"row-2\">", "1 of 2 controllers", "value=\"1.2\""});
  EXPECT_TRUE(Contains(Page("eve", "/?find=%3Cimg"), "value=\"&lt;img\""));
}

// A form's address opened again leads to the page above it, where the form stands.
TEST_F(ServerPages, AFormsAddressOpenedAgainLeadsToItsPage) {
  const std::pair<std::string, std::string> cases[] = {
      {"/controllers/1/1/edit/Inputs/0", "/controllers/1/1/edit/Inputs"},
      {"/controllers/1/1/sent", "/controllers/1/1"},
      {"/users/eve%20two/remove", "/users"},
      {"/users/eve/tokens/3/revoke?x=1", "/users"},
      {"/logout", "/"},
  };
  for (const auto& [address, page] : cases) {
    const Response opened = Send("ada", "GET", address);
    EXPECT_EQ(opened.status, 303) << address;
    const std::string* location = opened.Find("Location");
    EXPECT_EQ(location ? *location : "", page) << address;
  }
  EXPECT_EQ(Send("ada", "GET", "/controllers/1/1/nothing").status, 404);
}

// A form says the values that mean something (an hour 0 to 23, not the member's -32768 to
// 32767). Another is asked about beside its field first; told so, the form saves it as the
// messages may carry it, the page warns of it by record and field, and it is not asked about
// again.
TEST_F(ServerPages, ValuesThatMeanNothingAreAskedAboutSavedAndWarnedOf) {
  ExpectAll(Page("eve", kPage), {"<small>0 to 23</small>", "<small>1 to 12</small>"});
  const std::string hour = Controller().Find("TimeZones")->items[0].Find("StartHour")->text;
  const Response asked =
      ExpectPage(Edit("TimeZones", {{"TimeZones[0].StartHour", "25"}}), 200,
                 {"some values mean nothing to a controller", "25 is not an hour (0..23)"});
  EXPECT_EQ(Controller().Find("TimeZones")->items[0].Find("StartHour")->text, hour);
  const std::string action = kPage + "/edit/TimeZones";
  ASSERT_EQ(PostForm("eve", asked.body, action, {{"anyway", "yes"}}).status, 303);
  EXPECT_EQ(Controller().Find("TimeZones")->items[0].Find("StartHour")->text, "25");
  ASSERT_EQ(Edit("TimeZones", {{"TimeZones[0].EndMinute", "1"}}).status, 303);
  EXPECT_TRUE(Contains(Page("eve", kPage), "TimeZones[0].StartHour: 25 is not an hour (0..23)"));
}

TEST_F(ServerPages, ErrorsStandBesideTheirInputsAndNothingIsSaved) {
  // The first zone emptied, the third is the second of the group saved: its error comes back to
  // the row it was typed in.
  const std::string zones = "TimeGroups[1].Zones[";
  Fields firstZoneEmptied;
  for (const char* field :
       {"ZoneNo", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"})
    firstZoneEmptied[zones + "0]." + field] = "";
  // The form, the input whose error must stand beside it given the value, the error, and the
  // other fields also changed.
  const std::tuple<std::string, std::string, std::string, std::string, Fields> cases[] = {
      {"Inputs/0", "Inputs[0].DLan", "70000", "70000 is outside", {}},
      {"Inputs/0", "Inputs[0].Time.Debounce", "5x", "is not a whole number", {}},
      {"Inputs/0", "Inputs[0].Time.LevelTGs[4]", "", "give a number", {}},
      {"Controller", "Config.LockSize", "-1", "-1 is outside", {}},
      {"Holidays", "Holidays[1].Month", "99999999999999999999", "is outside", {}},
      {"TimeGroups/1", zones + "2].ZoneNo", "40000", "40000 is outside", firstZoneEmptied},
  };
  const std::string etag = store_->Controller(Address("1/1"))->etag;
  for (const auto& [action, input, value, message, others] : cases) {
    SCOPED_TRACE(input);
    Fields changes = others;
    changes[input] = value;
    const Response page = Edit(action, changes);
    EXPECT_EQ(page.status, 422);
    std::string id = "f-" + input;
    std::replace_if(
        id.begin(), id.end(), [](char ch) { return ch == '[' || ch == '.'; }, '-');
    std::erase(id, ']');
    const std::size_t at = page.body.find("id=\"" + id + "\"");
    ASSERT_NE(at, std::string::npos);
    const std::size_t next = page.body.find("<input", at + 1);
    const std::size_t error = page.body.find("<span class=\"error\" id=\"e" + id.substr(1), at);
    EXPECT_LT(error, next) << "the error is not beside its input";
    EXPECT_NE(page.body.find(message, error), std::string::npos);
    EXPECT_NE(page.body.find("aria-invalid=\"true\"", at), std::string::npos);
    if (action.find('/') != std::string::npos) {  // a record's form: its line says so too
      EXPECT_TRUE(Contains(page.body, "<span class=\"badge b-warn\">not saved</span>"));
    }
    EXPECT_EQ(store_->Controller(Address("1/1"))->etag, etag);
  }
}

// Every scalar of `controller` by its path, as JSON.
Fields Values(const JsonValue& controller) {
  std::vector<std::pair<std::string, std::string>> flat;
  pages::Flatten(controller, {}, flat);
  return {flat.begin(), flat.end()};
}

// What the audit log lists as changed: the same as matching every leaf of both sides by its path
// (the first one's new and changed leaves in its order, then those it lost in the other's), which
// is what this builds them from, however the texts nest, grow, shrink or change kind.
TEST(ServerAudit, ChangedValuesAreThoseOfEveryLeafMatchedByPath) {
  const auto everyLeaf = [](std::string_view before, std::string_view after) {
    std::vector<std::pair<std::string, std::string>> old, now;
    pages::Flatten(*ReadJson(before), {}, old);
    pages::Flatten(*ReadJson(after), {}, now);
    Fields was(old.begin(), old.end());
    std::vector<pages::ValueChange> changes;
    for (const auto& [path, value] : now) {
      const auto found = was.find(path);
      if (found == was.end()) {
        changes.push_back({path, std::nullopt, value});
      } else {
        if (found->second != value) changes.push_back({path, found->second, value});
        was.erase(found);
      }
    }
    for (const auto& [path, value] : old) {
      if (was.contains(path)) changes.push_back({path, value, std::nullopt});
    }
    return changes;
  };
  const std::string demo = [] {
    const JsonRead site = ReadJson(test::ReadFile(SSMSG_SOURCE_DIR "/site/demo_site.json"));
    return ToJson(site->Find("Controllers")->items.front());
  }();
  const auto edited = [&demo](std::string_view from, std::string_view to) {
    std::string text = demo;
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  const std::string backDoor = edited(R"("Name":"Front door contact")", R"("Name":"Back door")");
  const std::string leapDay = edited(R"("Holidays":[)", R"("Holidays":[{"Month":2,"Day":29},)");
  const std::pair<std::string, std::string> cases[] = {
      {R"({"a":1})", R"({"a":1})"},
      {R"({"a":{"x":1,"y":2},"b":3})", R"({"a":{"x":1},"c":4})"},
      // Gone before a member both have: still listed in the order of the first text.
      {R"({"b":3,"a":{"x":1,"y":2},"d":[1,{"e":2}]})", R"({"a":{"x":5},"d":[1]})"},
      {R"({"y":2,"x":1})", R"({"x":3,"y":2})"},
      {R"([1,2,3])", R"([1,5])"},
      {R"([1])", R"([1,{"k":[2,3]},[]])"},
      {R"({"a":[1,2]})", R"({"a":{"b":1}})"},
      {R"({"a":{"b":1,"c":[2]}})", R"({"a":5})"},
      {R"({"a":{}})", R"({"a":{"b":[]}})"},
      {R"({"a":[]})", R"({"a":null})"},
      {R"(7)", R"({"a":[1]})"},
      // Texts that differ only in how they are written change nothing.
      {R"({"n":"A"})", R"({"n":"A"})"},
      {"{ \"a\" : [ 1 , 2 ] }", R"({"a":[1,3]})"},
      {demo, backDoor},
      {demo, leapDay},
      {leapDay, demo},
  };
  for (const auto& [before, after] : cases) {
    EXPECT_EQ(pages::ChangedValues(before, after), everyLeaf(before, after))
        << before << " -> " << after;
  }
  EXPECT_EQ(pages::ChangedValues(demo, backDoor).size(), 1u);
}

// Two editors open one version of a controller; eve saves a form, then ada saves one from her
// older page. What they changed is merged where it does not meet; a value both changed, to
// different values, is a conflict, and nothing is saved of ada's until she decides it.
TEST_F(ServerPages, EditorsOfOneVersionMeetOnlyWhereTheyChangeOneValue) {
  struct Saved {
    Saved(std::string p, Fields v) : part(std::move(p)), values(std::move(v)) {}
    std::string part;
    Fields values;  // by path, as the form gives them
  };
  const struct Case {
    const char* what;
    Saved eve, ada;
    bool conflict;
  } cases[] = {
      {"another part", Saved("Holidays", {{"Holidays[4].Month", "8"}, {"Holidays[4].Day", "15"}}),
       Saved("Outputs/0", {{"Outputs[0].Name", "Ada's strike"}}), false},
      {"another record", Saved("Inputs/0", {{"Inputs[0].Name", "Eve's door"}}),
       Saved("Inputs/1", {{"Inputs[1].Name", "Ada's button"}}), false},
      {"another field of one record", Saved("Inputs/0", {{"Inputs[0].Name", "Eve's front door"}}),
       Saved("Inputs/0", {{"Inputs[0].Time.Debounce", "7"}}), false},
      {"another row of one table", Saved("Holidays", {{"Holidays[0].Month", "2"}}),
       Saved("Holidays", {{"Holidays[2].Day", "24"}}), false},
      {"one field, alike", Saved("Inputs/1", {{"Inputs[1].Name", "Exit"}}),
       Saved("Inputs/1", {{"Inputs[1].Name", "Exit"}}), false},
      {"one field", Saved("Inputs/0", {{"Inputs[0].Name", "Eve's"}}),
       Saved("Inputs/0", {{"Inputs[0].Name", "Ada's"}}), true},
      {"one cell of one table", Saved("Holidays", {{"Holidays[1].Day", "2"}}),
       Saved("Holidays", {{"Holidays[1].Day", "3"}}), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string eveAction = kPage + "/edit/" + c.eve.part;
    const std::string adaAction = kPage + "/edit/" + c.ada.part;
    const std::string evePage = Page("eve", Opening(kPage, eveAction));
    const std::string adaPage = Page("ada", Opening(kPage, adaAction));
    ASSERT_EQ(PostForm("eve", evePage, eveAction, c.eve.values).status, 303);
    const Fields saved = Values(Controller());
    const Response met = PostForm("ada", adaPage, adaAction, c.ada.values);
    const Fields now = Values(Controller());
    const auto has = [](const Fields& values, const Saved& change) {
      return std::ranges::all_of(change.values, [&values](const auto& field) {
        const auto found = values.find(field.first);
        return found != values.end() &&
               (found->second == field.second || found->second == "\"" + field.second + "\"");
      });
    };
    EXPECT_TRUE(has(now, c.eve)) << "eve's change is lost";
    if (!c.conflict) {
      EXPECT_EQ(met.status, 303) << met.body;
      EXPECT_TRUE(has(now, c.ada)) << "ada's change is lost";
      continue;
    }
    EXPECT_EQ(met.status, 409);
    EXPECT_EQ(now, saved) << "a conflict saved something";
    // The row of the value both changed, with the version opened, hers, his and a choice.
    const std::string& path = c.ada.values.begin()->first;
    const std::size_t row = met.body.find("<tr class=\"changed\">");
    ASSERT_NE(row, std::string::npos) << met.body;
    EXPECT_EQ(met.body.find("<tr class=\"changed\">", row + 1), std::string::npos);
    EXPECT_NE(met.body.find("name=\"take:" + path + "\" value=\"theirs\"", row), std::string::npos);
    ExpectAll(met.body, {"eve saved it at ", "1 value differs."});
    // The page keeps her value unless told otherwise; saved, both changes are in the audit log.
    const std::size_t audited = store_->Audit(0, 1000).size();
    ASSERT_EQ(PostForm("ada", met.body, adaAction).status, 303);
    EXPECT_TRUE(has(Values(Controller()), c.ada));
    const std::vector<AuditEntry> audit = store_->Audit(0, 1000);
    ASSERT_EQ(audit.size(), audited + 1);
    EXPECT_EQ(audit.back().note.user, "ada");
  }
}

// A conflict of several values is decided value by value; what neither decided stays theirs, and
// a change saved while the conflict page was open is merged with as well.
TEST_F(ServerPages, AConflictIsDecidedValueByValue) {
  const std::string action = "/controllers/1/1/edit/Inputs/0";
  const std::string adaPage = Page("ada", Opening(kPage, action));
  ASSERT_EQ(
      Edit("Inputs/0", {{"Inputs[0].Name", "Eve's"}, {"Inputs[0].Time.Debounce", "8"}}).status,
      303);
  const Response met = PostForm("ada", adaPage, action,
                                {{"Inputs[0].Name", "Ada's"}, {"Inputs[0].Time.Debounce", "9"}});
  ASSERT_EQ(met.status, 409);
  EXPECT_TRUE(Contains(met.body, "2 values differ."));
  // Each value is named as its form names it, records counted from 1.
  EXPECT_TRUE(Contains(met.body, "<th scope=\"row\">Input 1 debounce time</th>"));
  for (const auto& [section, path, label] : {
           std::tuple{"Inputs", "Inputs[0].Name", "Input 1 name"},
           std::tuple{"Inputs", "Inputs[2].Time.LevelTGs[1]", "Input 3 time group of level 2"},
           std::tuple{"Inputs", "Inputs[2].Link.Colour", "Input 3 Link.Colour"},
           std::tuple{"Readers", "Readers[1].CardControl.ATBMinutes", "Reader 2 ATB period"},
           std::tuple{"TimeGroups", "TimeGroups[0].Zones[1].Monday", "Time group 1 zone 2 Monday"},
           std::tuple{"TimeGroups", "TimeGroups[3].Zones[0].ZoneNo",
                      "Time group 4 zone 1 time zone"},
           std::tuple{"Holidays", "Holidays[4].Month", "Holiday 5 month"},
           std::tuple{"Controller", "Config.TGEnabled", "Time groups enabled"},
       }) {
    EXPECT_EQ(pages::ValueLabel(*pages::FindFormSection(section), path), label) << path;
  }
  ASSERT_EQ(Edit("Inputs/2", {{"Inputs[2].Name", "Motion"}}).status, 303);
  const Response saved =
      PostForm("ada", met.body, action, {{"take:Inputs[0].Time.Debounce", "theirs"}});
  ASSERT_EQ(saved.status, 303) << saved.body;
  const Fields now = Values(Controller());
  EXPECT_EQ(now.at("Inputs[0].Name"), "\"Ada's\"");
  EXPECT_EQ(now.at("Inputs[0].Time.Debounce"), "8");
  EXPECT_EQ(now.at("Inputs[2].Name"), "\"Motion\"");
}

// From the audit log, a controller is put back as it was before a change: the page says what
// reverting changes, and only its form does it.
TEST_F(ServerPages, AChangeIsRevertedFromTheAuditLog) {
  const std::string name = InputName(0);
  ASSERT_EQ(Edit("Inputs/0", {{"Inputs[0].Name", "Renamed"}}).status, 303);
  ASSERT_EQ(Edit("Inputs/1", {{"Inputs[1].Name", "Also renamed"}}).status, 303);
  const std::string audit = Page("ada", "/audit");
  // The second row is the first rename.
  const std::size_t second = audit.find("class=\"revert\"", audit.find("class=\"revert\"") + 1);
  ASSERT_NE(second, std::string::npos) << audit;
  const std::size_t href = audit.find("href=\"", second) + 6;
  const std::string link = Unescape(audit.substr(href, audit.find('"', href) - href));
  const Response ask = Send("ada", "GET", link);
  ASSERT_EQ(ask.status, 200) << link;
  ExpectAll(ask.body,
            {"Inputs[1].Name: &quot;Also renamed&quot;", "Inputs[0].Name: &quot;Renamed&quot;"});
  EXPECT_EQ(InputName(0), "Renamed") << "asking changed something";
  const std::string action = "/controllers/1/1/revert";
  const Response done = PostForm("ada", ask.body, action);
  ASSERT_EQ(done.status, 303) << done.body;
  EXPECT_TRUE(Contains(Page("ada", *done.Find("Location")), "Reverted to before change"));
  EXPECT_EQ(InputName(0), name);
  EXPECT_NE(InputName(1), "Also renamed");
  // The same form again meets the controller as reverted: nothing more happens.
  EXPECT_EQ(PostForm("ada", ask.body, action).status, 409);
}

// A change set from the pages: previewed with what it changes, then applied to every controller
// it picks; one changed after the preview leaves every one as it was. A controller is copied to
// a new address whole.
TEST_F(ServerPages, AChangeSetIsPreviewedThenAppliedToAllOrNone) {
  const auto start = [&](const Fields& changes) {
    return Post("eve", "/change-set", "/change-set", changes);
  };
  const auto apply = [&](const Response& preview) {
    return PostForm("eve", preview.body, "/change-set", {{"apply", "yes"}});
  };
  const Fields holiday = {{"interface", "1"}, {"what", "holiday"}, {"month", "12"}, {"day", "24"}};
  const std::string before = Holidays();
  const Response preview = start(holiday);
  ASSERT_EQ(preview.status, 200) << preview.body;
  EXPECT_TRUE(Contains(preview.body, "2 controllers would change"));
  EXPECT_EQ(Holidays(), before) << "a preview wrote";

  // The second changed after the preview: neither is changed.
  ASSERT_EQ(Edit("Inputs/0", {{"Inputs[0].Name", "Meanwhile"}}, "1/2").status, 303);
  ExpectPage(apply(preview), 409, {"Nothing was changed"});
  EXPECT_EQ(Holidays(), before);

  const Response applied = apply(start(holiday));
  ASSERT_EQ(applied.status, 200) << applied.body;
  EXPECT_TRUE(Contains(applied.body, "Changed 2 controllers."));
  for (const std::string& address : {std::string("1/1"), std::string("1/2")})
    EXPECT_EQ(ToJson(Controller(address).Find("Holidays")->items.back()),
              R"({"Month":12,"Day":24})");

  // The first's time zones, copied to the second alone.
  const Response copy =
      start({{"from", "2"}, {"what", "copy"}, {"source", "1.1"}, {"part", "TimeZones"}});
  ASSERT_TRUE(Contains(copy.body, "1 controller would change"));
  ASSERT_EQ(apply(copy).status, 200);
  EXPECT_EQ(ToJson(*Controller("1/2").Find("TimeZones")),
            ToJson(*Controller("1/1").Find("TimeZones")));
  EXPECT_EQ(start({{"what", "copy"}, {"source", "1.1"}}).status, 422) << "no part chosen";

  // And the whole of the first to a new address, once.
  const Fields to = {{"interface", "1"}, {"node", "7"}};
  ASSERT_EQ(Post("eve", kPage, "/controllers/1/1/copy", to).status, 303);
  JsonValue copied = Controller("1/7");
  copied.Find("Node")->text = "1";
  EXPECT_EQ(ToJson(copied), ToJson(Controller("1/1")));
  EXPECT_EQ(Post("eve", kPage, "/controllers/1/1/copy", to).status, 409);
}

// A long section has pages of its own, 16 records at a time: the controller's page links to it,
// and a save, or a refusal, comes back to the page of its record.
TEST_F(ServerPages, ALongSectionHasPagesOfItsOwn) {
  JsonValue controller = Controller("1/1");
  JsonValue& inputs = *controller.Find("Inputs");
  const JsonValue first = inputs.items.front();
  const auto store = [&](std::size_t count) {
    inputs.items.resize(1);
    inputs.items.resize(count, first);
    CSApplicationManagerStd records;
    ASSERT_TRUE(ReadControllerText(ToJson(controller), records));
    const std::string etag = store_->Controller(Address("1/1"))->etag;
    ASSERT_EQ(
        store_->PutController(Address("1/1"), {Expect::Kind::Present, etag}, records, {}).status,
        WriteStatus::Done);
  };
  const auto has = [](const std::string& html, const std::string& part) {
    return html.find(part) != std::string::npos;
  };
  const std::string form = "action=\"/controllers/1/1/edit/Inputs/";
  const std::string record = "<p class=\"record\" id=\"edit-Inputs-";
  for (const auto& [count, inline_] : {std::pair{16, true}, std::pair{17, false}}) {
    store(static_cast<std::size_t>(count));
    EXPECT_EQ(has(Page("eve", kPage), record + "0\""), inline_) << count;
  }
  store(40);
  const std::string page = Page("eve", kPage);
  EXPECT_FALSE(Contains(page, record + "0\""));
  ExpectAll(page,
            {"Change the 40 inputs</a>, 16 a page", "action=\"/controllers/1/1/edit/Holidays\"",
             "1&ndash;16 of 40 inputs &middot; <a href=\"/controllers/1/1/edit/Inputs\">"});

  const Response third = Send("eve", "GET", kPage + "/edit/Inputs?page=3");
  ASSERT_EQ(third.status, 200);
  for (const auto& [k, shown] :
       {std::pair{31, false}, std::pair{32, true}, std::pair{39, true}, std::pair{40, true}}) {
    const std::string n = std::to_string(k);
    const std::string link = "\"><a href=\"" + kPage + "/edit/Inputs?page=3&amp;open=edit-Inputs-";
    EXPECT_EQ(has(third.body, record + n + link + n + "#"), shown) << k;
  }
  EXPECT_EQ(Send("eve", "GET", kPage + "/edit/Inputs?page=4").status, 404);
  // The controller's drawing has the inputs of the first page, the others are on theirs, for
  // those who may only look too.
  const std::string viewed = Page("vic", kPage + "/edit/Inputs?page=3");
  for (const auto& [html, row, drawn] :
       {std::tuple{&page, 16, true}, std::tuple{&page, 17, false},
        std::tuple{&third.body, 32, false}, std::tuple{&third.body, 33, true},
        std::tuple{&third.body, 40, true}, std::tuple{&viewed, 40, true}}) {
    for (const std::string part : {"Inputs-", "Inputs-Time-", "Inputs-Link-"}) {
      EXPECT_EQ(has(*html, "<tr id=\"c1-" + part + std::to_string(row - 1) + "\""), drawn)
          << part << row;
    }
  }
  EXPECT_FALSE(Contains(viewed, "action=\"/controllers/1/1/edit/"));
  EXPECT_FALSE(Contains(Page("vic", kPage), "Change the 40 inputs"));
  const std::string action = kPage + "/edit/Inputs/33";
  const std::string opened = Page("eve", Opening(kPage + "/edit/Inputs?page=3", action));
  EXPECT_TRUE(Contains(opened, "<details class=\"record\" id=\"edit-Inputs-33\" open>"));
  EXPECT_FALSE(Contains(opened, form + "32\""));
  const Response saved = PostForm("eve", opened, action, {{"Inputs[33].Name", "Far door"}});
  ASSERT_EQ(saved.status, 303);
  EXPECT_EQ(*saved.Find("Location"),
            "/controllers/1/1/edit/Inputs?page=3&saved=edit-Inputs-33#edit-Inputs-33");
  EXPECT_EQ(InputName(33), "Far door");
  ExpectPage(PostForm("eve", opened, action, {{"Inputs[33].Time.Debounce", "x"}}), 422,
             {"<h2>Inputs of controller 1.1</h2>", form + "33\""});
}

TEST_F(ServerPages, TableRowsAreAddedAndRemoved) {
  const Response saved =
      Edit("Holidays",
           {{"remove", "Holidays[1]"}, {"Holidays[4].Month", "8"}, {"Holidays[4].Day", "15"}});
  ASSERT_EQ(saved.status, 303) << saved.body;
  EXPECT_EQ(Holidays(), R"([{"Month":1,"Day":1},null,{"Month":12,"Day":25},{"Month":12,"Day":26},)"
                        R"({"Month":8,"Day":15}])");
  // An emptied row is removed too; the rows after it keep their places.
  ASSERT_EQ(Edit("Holidays", {{"Holidays[3].Month", ""}, {"Holidays[3].Day", ""}}).status, 303);
  EXPECT_EQ(Holidays(),
            R"([{"Month":1,"Day":1},null,{"Month":12,"Day":25},null,{"Month":8,"Day":15}])");
  // A form sent back shows no more rows than it sent, however many it claims.
  const Response claimed =
      Send("eve", "POST", "/controllers/1/1/edit/Holidays",
           "csrf=" + sessions_["eve"].second + "&etag=x&rows=32768&Holidays%5B0%5D.Month=x");
  EXPECT_EQ(claimed.status, 422);
  std::size_t rows = 0;
  for (std::size_t at = claimed.body.find("name=\"Holidays["); at != std::string::npos;
       at = claimed.body.find("name=\"Holidays[", at + 1))
    ++rows;
  EXPECT_LT(rows, 20U);
  // A new input, then removed.
  const std::size_t inputs = Controller().Find("Inputs")->items.size();
  const std::string part = "Inputs/" + std::to_string(inputs);
  const std::string name = "Inputs[" + std::to_string(inputs) + "].Name";
  ASSERT_EQ(Edit(part, {{name, "Gate"}}).status, 303);
  EXPECT_EQ(InputName(inputs), "Gate");
  ASSERT_EQ(Edit(part, {{"part=" + name.substr(0, name.find('.')), ""}}).status, 303);
  EXPECT_EQ(ToJson(Controller().Find("Inputs")->items.back()), "null");
}

// "New input" on a controller whose Resource.Inputs is one more than its inputs: the input is
// saved and nothing else of the controller changes, its capability count included; a further one
// would lie beyond the count, and is refused beside its form with nothing saved.
TEST_F(ServerPages, NewRecordsKeepWhatNoFormShowsAndStayWithinTheCapability) {
  const JsonValue before = Controller("1/2");
  const std::string enums = ToJson(*ReadJson(store_->SiteJson())->Find("Enums"));
  ASSERT_EQ(before.Find("Inputs")->items.size(), 3U);
  ASSERT_EQ(Edit("Inputs/3", {{"Inputs[3].Name", "Dock"}}, "1/2").status, 303);
  const JsonValue after = Controller("1/2");
  ASSERT_EQ(after.Find("Inputs")->items.size(), 4U);
  JsonValue expected = before;
  expected.Find("Inputs")->items.push_back(after.Find("Inputs")->items[3]);
  EXPECT_EQ(ToJson(after), ToJson(expected));
  EXPECT_EQ(ToJson(*ReadJson(store_->SiteJson())->Find("Enums")), enums);
  EXPECT_FALSE(Contains(Page("ada", "/audit"), "Resource."));

  const std::string etag = store_->Controller(Address("1/2"))->etag;
  ExpectPage(Edit("Inputs/4", {{"Inputs[4].Name", "Yard"}}, "1/2"), 422,
             {"1 record lies beyond Resource.Inputs (4) and is never sent"});
  EXPECT_EQ(store_->Controller(Address("1/2"))->etag, etag);
}

TEST_F(ServerPages, CsvPastedIntoTheSpreadsheetPageSetsTheValuesOrSaysWhichLineIsWrong) {
  EXPECT_TRUE(Contains(Page("vic", "/"), "href=\"/spreadsheet\">Spreadsheet</a>"));
  EXPECT_FALSE(Contains(Page("vic", "/spreadsheet"), "<textarea"));
  const Response names = Send("vic", "GET", "/spreadsheet/names.csv");
  ASSERT_EQ(names.status, 200);
  const std::string name = "1,1,Inputs,1,Name,Front door contact\r\n";
  std::string csv = names.body;
  ASSERT_TRUE(Contains(csv, name)) << csv;
  csv.replace(csv.find(name), name.size(), "1,1,Inputs,1,Name,Front <door>\r\n");
  csv += "1,1,Outputs,1,Name,Strike\r\n";
  ExpectPage(Post("eve", "/spreadsheet", "/spreadsheet", {{"csv", csv}}), 200,
             {">2 values of 1 controller set.<"});
  EXPECT_EQ(InputName(0), "Front <door>");

  const std::string wrong =
      "Interface,Node,Kind,Number,Field,Value\r\n1,1,Inputs,1,Name,Back\r\n1,1,Inputs,1,Hue,red";
  ExpectPage(Post("eve", "/spreadsheet", "/spreadsheet", {{"csv", wrong}}), 422,
             {"line 3, column 5: ", "1,1,Inputs,1,Hue,red</textarea>"});
  EXPECT_EQ(InputName(0), "Front <door>");
}

TEST_F(ServerPages, NamesAreShownAsText) {
  ASSERT_EQ(Edit("Inputs/0", {{"Inputs[0].Name", std::string(kHostile)}}, "1/2").status, 303);
  for (const std::string page : {"/", "/controllers/1/2", "/controllers/1/2/pending", "/audit"}) {
    const Response response = Send("ada", "GET", page);
    EXPECT_EQ(response.status, 200) << page;
    EXPECT_FALSE(Contains(response.body, "<img")) << page;
    EXPECT_TRUE(Contains(response.body, "&lt;img src=x onerror=alert(1)&gt;")) << page;
  }
}

TEST_F(ServerPages, EveryFormOfASessionCarriesItsToken) {
  Edit("Inputs/0", {{"Inputs[0].Name", "x"}});
  std::size_t forms = 0;
  for (const std::string page : {"/", "/controllers/1/1", "/controllers/1/1?open=edit-Inputs-0",
                                 "/controllers/1/1/pending", "/users", "/audit"}) {
    const std::string body = Page("ada", page);
    for (std::size_t at = body.find("<form method=\"post\""); at != std::string::npos;
         at = body.find("<form method=\"post\"", at)) {
      const std::size_t form = at;
      const std::string action = Attributes(body, at)["action"];
      ++forms;
      EXPECT_EQ(*Submit(body.substr(form), action).Get("csrf"), sessions_["ada"].second)
          << page << " " << action;
    }
  }
  EXPECT_GT(forms, 25U);
}

TEST_F(ServerPages, LoggingInAndOut) {
  const Response away = Send("", "GET", "/controllers/1/1?x=1");
  EXPECT_EQ(away.status, 303);
  EXPECT_EQ(*away.Find("Location"), "/login?next=%2Fcontrollers%2F1%2F1%3Fx%3D1");
  ExpectPage(Send("", "GET", *away.Find("Location")), 200,
             {"<form method=\"post\" action=\"/login\""});
  // A name, its password and the page to go on to; the status, and where a login leads.
  const std::tuple<std::string, std::string, std::string, int, std::string> cases[] = {
      {"eve", "wrong password", "/audit", 401, ""},
      {"nobody", "eve password", "/audit", 401, ""},
      {"eve", "eve password", "/controllers/1/2?x=%20", 303, "/controllers/1/2?x=%20"},
      {"eve", "eve password", "//elsewhere.test/", 303, "/"},
      {"eve", "eve password", "/\\elsewhere.test/", 303, "/"},
      {"eve", "eve password", "https://elsewhere.test/", 303, "/"},
  };
  for (const auto& [name, password, next, status, location] : cases) {
    const Response login = Send("", "POST", "/login",
                                Body({}, {{"name", name}, {"password", password}, {"next", next}}));
    EXPECT_EQ(login.status, status) << name << " " << next;
    EXPECT_EQ(login.Find("Set-Cookie") != nullptr, status == 303) << name;
    if (status == 303) {
      EXPECT_EQ(*login.Find("Location"), location) << next;
    }
  }
  // A form that cannot be read is refused with the reason.
  ExpectPage(Send("", "POST", "/login", "name=eve&password=%zz"), 400,
             {"the form has a bad %-escape"});
  // Logging out ends the session: its cookie no longer opens a page.
  ASSERT_EQ(Post("vic", "/", "/logout").status, 303);
  EXPECT_EQ(Send("vic", "GET", "/").status, 303);
}

TEST_F(ServerPages, ViewersSeeButDoNotChange) {
  const Response page = Send("vic", "GET", kPage);
  EXPECT_EQ(page.status, 200);
  ExpectNone(page.body, {"class=\"edit\"", "Mark as sent"});
  const std::string action = kPage + "/edit/Inputs/0";
  ExpectPage(PostForm("vic", Page("eve", Opening(kPage, action)), action,
                      {{"csrf", sessions_["vic"].second}}),
             403, {"<h2>Forbidden</h2>"});
  EXPECT_EQ(Send("vic", "GET", "/users").status, 403);
}

TEST_F(ServerPages, AdminsManageUsers) {
  const auto post = [&](const std::string& action, const Fields& changes = {}) {
    return Post("ada", "/users", action, changes);
  };
  ASSERT_EQ(
      post("/users", {{"name", "bob"}, {"role", "editor"}, {"password", "bob's password"}}).status,
      303);
  EXPECT_EQ(store_->FindUser("bob")->role, Role::Editor);
  ExpectPage(post("/users/ada/remove", {{"confirm", "yes"}}), 409,
             {"the last admin must stay an admin"});
  EXPECT_EQ(post("/users/bob/token").status, 200);
  EXPECT_EQ(post("/users/bob/token", {{"expires", "soon"}}).status, 422);
  EXPECT_EQ(post("/users/bob/token", {{"name", "a\x01"}}).status, 422);
  ASSERT_EQ(post("/users/bob/token", {{"name", "<b>ci</b>"}, {"expires", "2"}}).status, 200);
  // Each token is listed, its name as text, with a button that revokes it alone.
  const std::vector<Token> tokens = *store_->Tokens("bob");
  ASSERT_EQ(tokens.size(), 2U);
  EXPECT_EQ(tokens[1].name, "<b>ci</b>");
  EXPECT_EQ(*tokens[1].expires - tokens[1].created, 2 * 24 * 60 * 60);
  const std::string page = Page("ada", "/users");
  EXPECT_TRUE(Contains(page, "<td>&lt;b&gt;ci&lt;/b&gt;</td>"));
  const std::string revoke = "/users/bob/tokens/" + std::to_string(tokens[1].id) + "/revoke";
  ASSERT_EQ(post(revoke).status, 303);
  ASSERT_EQ(store_->Tokens("bob")->size(), 1U);
  EXPECT_EQ(store_->Tokens("bob")->at(0).id, tokens[0].id);
  EXPECT_EQ(post("/users/bob/tokens/" + std::to_string(tokens[0].id) + "/revoke").status, 303);
  EXPECT_TRUE(Contains(Page("ada", "/users"), "No API token."));
  EXPECT_TRUE(Contains(Page("ada", "/audit"), "user: bob, token: " + std::to_string(tokens[1].id) +
                                                  ", name: &lt;b&gt;ci&lt;/b&gt;, expires: "));
  // Removing asks first, and only the form of that page removes; the users page then says so,
  // as it says only what is so.
  const std::string remove = "/users/bob/remove";
  const Response asked = ExpectPage(post(remove), 200, {"Remove the user bob?"});
  EXPECT_TRUE(store_->FindUser("bob"));
  const Response removed = PostForm("ada", asked.body, remove);
  ASSERT_EQ(removed.status, 303);
  EXPECT_EQ(*removed.Find("Location"), "/users?done=removed&user=bob");
  EXPECT_FALSE(store_->FindUser("bob"));
  EXPECT_TRUE(Contains(Page("ada", "/users?done=removed&user=bob"), "The user bob was removed."));
  EXPECT_FALSE(Contains(Page("ada", "/users?done=removed&user=ada"), "was removed"));
}

// The admins' pages change accounts without the API's router in between: each page stays for the
// roles of the API request it stands for, and an editor's or viewer's post changes nothing.
TEST_F(ServerPages, AccountPagesAreForWhomTheirApiRequestsAre) {
  const auto access = [this](const std::string& request) {
    for (const Route& route : service_.Routes().Routes())
      if (route.method + " " + route.pattern == request) return route.access;
    ADD_FAILURE() << "no route " << request;
    return Access::Public;
  };
  // A page ("POST /users/{name}"), the API request it stands for, and the page's target as a
  // non-admin posts it.
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"GET /audit", "GET /api/audit", ""},
      {"GET /users", "GET /api/users", ""},
      {"GET /users", "GET /api/users/{name}/tokens", ""},
      {"POST /users", "POST /api/users", "/users"},
      {"POST /users/{name}", "PATCH /api/users/{name}", "/users/vic"},
      {"POST /users/{name}/remove", "DELETE /api/users/{name}", "/users/vic/remove"},
      {"POST /users/{name}/token", "POST /api/users/{name}/tokens", "/users/vic/token"},
      {"POST /users/{name}/tokens/{id}/revoke", "DELETE /api/users/{name}/tokens/{id}",
       "/users/vic/tokens/1/revoke"},
  };
  const std::size_t audited = store_->Audit(0, 1000).size();
  for (const auto& [page, api, sent] : cases) {
    SCOPED_TRACE(page);
    EXPECT_GE(access(page), access(api));
    if (sent.empty()) continue;
    for (const std::string who : {"eve", "vic"}) {
      const std::string body = "name=mal&role=admin&password=a+long+password&csrf=" +
                               pages::Encode(sessions_[who].second);
      EXPECT_EQ(Send(who, "POST", sent, body).status, 403) << who;
    }
  }
  EXPECT_EQ(store_->Audit(0, 1000).size(), audited);
  EXPECT_EQ(store_->FindUser("vic")->role, Role::Viewer);
}

// The audit log shows what an edit changed, and only that.
TEST_F(ServerPages, TheAuditLogShowsWhatChangedNewestFirst) {
  ASSERT_EQ(Edit("Inputs/0", {{"Inputs[0].Name", "Front"}}).status, 303);
  ASSERT_EQ(Edit("Inputs/0", {{"Inputs[0].Name", "Back"}}, "1/2").status, 303);
  const std::string all = Page("ada", "/audit");
  const std::size_t front = all.find(
      "<ul class=\"changes\"><li>Inputs[0].Name: &quot;Front door contact&quot; &rarr; "
      "&quot;Front&quot;</li></ul>");
  const std::size_t back = all.find("&rarr; &quot;Back&quot;");
  ASSERT_NE(front, std::string::npos) << all;
  EXPECT_LT(back, front);
  // One controller's changes alone.
  const std::string one = Page("ada", "/audit?controller=1.2");
  EXPECT_TRUE(Contains(one, "&quot;Back&quot;"));
  EXPECT_FALSE(Contains(one, "&quot;Front&quot;"));
  EXPECT_EQ(Send("ada", "GET", "/audit?controller=1.x").status, 400);
  // One user's, on a day: the page says so, and the filters stay in the form.
  ASSERT_EQ(Post("ada", kPage, kPage + "/edit/Inputs/1", {{"Inputs[1].Name", "Side"}}).status, 303);
  const std::string day = IsoTime(std::time(nullptr)).substr(0, 10);
  const std::string hers = Page("ada", "/audit?user=ada&since=" + day);
  EXPECT_TRUE(Contains(hers, "Every change by ada from " + day)) << hers;
  ExpectAll(hers, {"&quot;Side&quot;", "name=\"user\" value=\"ada\""});
  EXPECT_FALSE(Contains(hers, "&quot;Back&quot;"));
}

}  // namespace
}  // namespace ssmsg::server
