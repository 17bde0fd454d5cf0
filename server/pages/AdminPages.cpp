// The pages of admins: the audit log (every change, with what it changed) and the users (added,
// given roles and passwords and API tokens, removed), each change made through the API.

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <ssmsg/Json.h>

#include "server/Html.h"
#include "server/pages/Frame.h"
#include "server/pages/RecordForms.h"
#include "server/pages/Routes.h"

namespace ssmsg::server::pages {
namespace {

// How many of an entry's changed values the audit log lists.
constexpr std::size_t kChangesShown = 12;

const std::string& TextOf(const JsonValue* value) {
  static const std::string kNone;
  return value != nullptr && value->kind == JsonValue::Kind::String ? value->text : kNone;
}

// What changed between `before` and `after` (each a controller, or null): the values that differ.
void Changes(const JsonValue& before, const JsonValue& after, std::string& out) {
  const bool made = before.kind == JsonValue::Kind::Null;
  const bool removed = after.kind == JsonValue::Kind::Null;
  if (made && removed) return;
  if (made || removed) {
    out += made ? "<span class=\"badge b-add\">made</span>"
                : "<span class=\"badge b-del\">removed</span>";
    return;
  }
  std::vector<std::pair<std::string, std::string>> old;
  std::vector<std::pair<std::string, std::string>> now;
  Flatten(before, {}, old);
  Flatten(after, {}, now);
  std::unordered_map<std::string_view, std::string_view> was;
  for (const auto& [path, value] : old)
    was.emplace(path, value);
  std::vector<std::string> lines;
  std::size_t changed = 0;
  const auto note = [&](std::string_view path, std::string_view from, std::string_view to) {
    if (++changed > kChangesShown) return;
    std::string line;
    AppendHtml(line, path);
    line += ": ";
    AppendHtml(line, from);
    line += " &rarr; ";
    AppendHtml(line, to);
    lines.push_back(std::move(line));
  };
  for (const auto& [path, value] : now) {
    const auto found = was.find(path);
    if (found == was.end()) {
      note(path, "(none)", value);
    } else {
      if (found->second != value) note(path, found->second, value);
      was.erase(found);
    }
  }
  for (const auto& [path, value] : old) {
    if (was.contains(path)) note(path, value, "(none)");
  }
  if (changed == 0) {
    out += "no value";
    return;
  }
  out += "<ul class=\"changes\">";
  for (const std::string& line : lines)
    out += "<li>" + line + "</li>";
  if (changed > kChangesShown)
    out += "<li>and " + std::to_string(changed - kChangesShown) + " more</li>";
  out += "</ul>";
}

// What a change of accounts changed, from its "After": "user: carol, role: editor, changed:
// role and password".
void AccountChange(const JsonValue& after, std::string& out) {
  std::string text;
  for (const JsonMember& member : after.members) {
    if (!text.empty()) text += ", ";
    text += member.name + ": ";
    const JsonValue& value = member.value;
    if (value.kind == JsonValue::Kind::Array) {
      for (std::size_t i = 0; i < value.items.size(); ++i)
        text += (i > 0 ? " and " : "") + value.items[i].text;
      if (value.items.empty()) text += "nothing";
    } else {
      text += value.kind == JsonValue::Kind::Null ? "never" : value.text;
    }
  }
  AppendHtml(out, text);
}

Response Audit(Service& service, const Call& call) {
  std::string target = "/api/audit";
  if (const std::string* after = call.target.Query("after")) target += "?after=" + Encode(*after);
  const Response answer = CallApi(service, call, "GET", target);
  if (answer.status != 200) return MessagePage(call, answer.status, ApiMessage(answer));
  const JsonValue body = JsonOf(answer);
  const JsonValue* entries = body.IsObject() ? body.Find("entries") : nullptr;
  if (entries == nullptr) return MessagePage(call, 500, "the audit log cannot be read");

  std::string main =
      "<section class=\"card\"><h2>Audit log</h2><p class=\"meta\">Every change, oldest first."
      "</p><div class=\"scroll\"><table class=\"audit\"><thead><tr><th scope=\"col\">No.</th>"
      "<th scope=\"col\">Time</th><th scope=\"col\">User</th><th scope=\"col\">Request</th>"
      "<th scope=\"col\">Controller</th><th scope=\"col\">What changed</th></tr></thead><tbody>";
  for (const JsonValue& entry : entries->items) {
    if (!entry.IsObject()) continue;
    const JsonValue* id = entry.Find("id");
    main += "<tr><td class=\"n\">";
    AppendHtml(main, id != nullptr ? id->text : std::string());
    main += "</td><td>";
    AppendHtml(main, TextOf(entry.Find("time")));
    main += "</td><td>";
    AppendHtml(main, TextOf(entry.Find("user")));
    main += "</td><td>";
    AppendHtml(main, TextOf(entry.Find("method")) + " " + TextOf(entry.Find("path")));
    main += "</td><td>";
    const JsonValue* controller = entry.Find("controller");
    if (controller != nullptr && controller->IsObject() && controller->Find("Interface") &&
        controller->Find("Node")) {
      const std::string address =
          controller->Find("Interface")->text + "/" + controller->Find("Node")->text;
      main += "<a href=\"/controllers/";
      AppendHtml(main, address);
      main += "\">";
      AppendHtml(main, controller->Find("Interface")->text + "." + controller->Find("Node")->text);
      main += "</a>";
    }
    main += "</td><td>";
    const JsonValue* before = entry.Find("before");
    const JsonValue* after = entry.Find("after");
    if (controller != nullptr && controller->kind == JsonValue::Kind::Null && after != nullptr &&
        after->IsObject()) {
      AccountChange(*after, main);
    } else if (before != nullptr && after != nullptr) {
      Changes(*before, *after, main);
    }
    main += "</td></tr>";
  }
  main += "</tbody></table></div>";
  if (entries->items.empty()) main += "<p>No change yet.</p>";
  if (const JsonValue* next = body.Find("next");
      next != nullptr && next->kind == JsonValue::Kind::Number) {
    main += "<p><a href=\"/audit?after=";
    AppendHtml(main, next->text);
    main += "\">Later changes</a></p>";
  }
  main += "</section>\n";
  return Page(call, 200, "Audit log", main);
}

// --- Users --------------------------------------------------------------------------------------

void RoleSelect(std::string& out, std::string_view current) {
  out += "<select name=\"role\" aria-label=\"role\">";
  for (const Role role : {Role::Viewer, Role::Editor, Role::Admin}) {
    const std::string_view name = RoleName(role);
    out += "<option value=\"";
    out += name;
    out += name == current ? "\" selected>" : "\">";
    out += name;
    out += "</option>";
  }
  out += "</select>";
}

// A form of one button (and maybe more inputs) that posts to `action`.
void OpenForm(const Call& call, std::string& out, std::string_view action) {
  out += "<form method=\"post\" class=\"inline\" action=\"";
  AppendHtml(out, action);
  out += "\">";
  out += CsrfField(call.caller->csrf);
}

// The API tokens of the users `users` (the API's list), each with the button that revokes it.
void TokensTable(Service& service, const Call& call, const JsonValue& users, std::string& out) {
  std::string rows;
  for (const JsonValue& user : users.items) {
    if (!user.IsObject()) continue;
    const std::string& name = TextOf(user.Find("name"));
    const Response answer = CallApi(service, call, "GET", "/api/users/" + Encode(name) + "/tokens");
    if (answer.status != 200) continue;
    for (const JsonValue& token : JsonOf(answer).items) {
      const JsonValue* id = token.IsObject() ? token.Find("id") : nullptr;
      if (id == nullptr || id->kind != JsonValue::Kind::Number) continue;
      rows += "<tr><td>";
      AppendHtml(rows, name);
      rows += "</td><td class=\"n\">";
      AppendHtml(rows, id->text);
      rows += "</td><td>";
      AppendHtml(rows, TextOf(token.Find("name")));
      rows += "</td><td>";
      AppendHtml(rows, TextOf(token.Find("created")));
      rows += "</td><td>";
      const std::string& expires = TextOf(token.Find("expires"));
      AppendHtml(rows, expires.empty() ? "never" : expires);
      rows += "</td><td>";
      OpenForm(call, rows, "/users/" + Encode(name) + "/tokens/" + Encode(id->text) + "/revoke");
      rows += "<button type=\"submit\" class=\"danger\">Revoke</button></form></td></tr>";
    }
  }
  out += "<h3>API tokens</h3>";
  if (rows.empty()) {
    out += "<p>No API token.</p>";
    return;
  }
  out +=
      "<div class=\"scroll\"><table class=\"tokens\"><thead><tr><th scope=\"col\">User</th>"
      "<th scope=\"col\">No.</th><th scope=\"col\">Name</th><th scope=\"col\">Made</th>"
      "<th scope=\"col\">Ends</th><th scope=\"col\">Revoke</th></tr></thead><tbody>" +
      rows + "</tbody></table></div>";
}

Response UsersPage(Service& service, const Call& call, int status, std::string_view problem) {
  const Response answer = CallApi(service, call, "GET", "/api/users");
  if (answer.status != 200) return MessagePage(call, answer.status, ApiMessage(answer));
  const JsonValue users = JsonOf(answer);
  std::string main = "<section class=\"card\"><h2>Users</h2>";
  if (!problem.empty()) {
    main += "<ul class=\"errors\"><li>";
    AppendHtml(main, problem);
    main += "</li></ul>";
  }
  main +=
      "<div class=\"scroll\"><table class=\"users\"><thead><tr><th scope=\"col\">Name</th>"
      "<th scope=\"col\">Role</th><th scope=\"col\">Password</th><th scope=\"col\">API token</th>"
      "<th scope=\"col\">Remove</th></tr></thead><tbody>";
  for (const JsonValue& user : users.items) {
    if (!user.IsObject()) continue;
    const std::string& name = TextOf(user.Find("name"));
    const std::string action = "/users/" + Encode(name);
    main += "<tr><th scope=\"row\">";
    AppendHtml(main, name);
    main += "</th><td>";
    OpenForm(call, main, action);
    RoleSelect(main, TextOf(user.Find("role")));
    main += "<button type=\"submit\">Set role</button></form></td><td>";
    OpenForm(call, main, action);
    main +=
        "<input type=\"password\" name=\"password\" autocomplete=\"new-password\" minlength=\"8\" "
        "required aria-label=\"new password\"><button type=\"submit\">Set password</button>"
        "</form></td><td>";
    OpenForm(call, main, action + "/token");
    main +=
        "<input type=\"text\" name=\"name\" maxlength=\"64\" placeholder=\"name\" "
        "aria-label=\"the new token's name\"><input type=\"number\" name=\"expires\" min=\"1\" "
        "max=\"36500\" placeholder=\"days\" aria-label=\"days until the new token ends\">"
        "<button type=\"submit\" class=\"quiet\">New token</button></form></td><td>";
    OpenForm(call, main, action + "/remove");
    main += "<button type=\"submit\" class=\"danger\">Remove</button></form></td></tr>";
  }
  main += "</tbody></table></div>";
  TokensTable(service, call, users, main);
  main +=
      "<h3>Add a user</h3><form method=\"post\" class=\"edit\" "
      "action=\"/users\">";
  main += CsrfField(call.caller->csrf);
  main +=
      "<div class=\"fields\"><label class=\"field\"><span>Name</span><input type=\"text\" "
      "name=\"name\" required pattern=\"[A-Za-z0-9._@\\-]{1,64}\"><small>1 to 64 of A-Z a-z 0-9 "
      ". _ @ -</small></label><label class=\"field\"><span>Role</span>";
  RoleSelect(main, "viewer");
  main +=
      "</label><label class=\"field\"><span>Password</span><input type=\"password\" "
      "name=\"password\" autocomplete=\"new-password\" minlength=\"8\" required><small>8 "
      "characters or more</small></label></div><div class=\"actions\"><button type=\"submit\">"
      "Add the user</button></div></form></section>\n";
  return Page(call, status, "Users", main);
}

Response ShowUsers(Service& service, const Call& call) {
  return UsersPage(service, call, 200, {});
}

// The JSON object of the form's fields `names` that are given and not empty.
std::string JsonFields(const Form& form, std::initializer_list<std::string_view> names) {
  std::string json = "{";
  for (const std::string_view name : names) {
    const std::string* value = form.Get(name);
    if (value == nullptr || value->empty()) continue;
    if (json.size() > 1) json += ',';
    AppendJsonString(json, name);
    json += ':';
    AppendJsonString(json, *value);
  }
  return json + "}";
}

// The users page after a change: back to it when the API did it, else the page with the reason.
Response AfterChange(Service& service, const Call& call, const Response& answer) {
  if (answer.status >= 200 && answer.status < 300) return Redirect("/users");
  return UsersPage(service, call, answer.status, ApiMessage(answer));
}

Response AddUser(Service& service, const Call& call) {
  Response failure;
  const std::optional<Form> form = PostedForm(call, failure);
  if (!form) return failure;
  return AfterChange(service, call,
                     CallApi(service, call, "POST", "/api/users", {},
                             JsonFields(*form, {"name", "role", "password"})));
}

Response UpdateUser(Service& service, const Call& call) {
  Response failure;
  const std::optional<Form> form = PostedForm(call, failure);
  if (!form) return failure;
  return AfterChange(service, call,
                     CallApi(service, call, "PATCH", "/api/users/" + Encode(call.params.at(0)), {},
                             JsonFields(*form, {"role", "password"})));
}

Response RemoveUser(Service& service, const Call& call) {
  return AfterChange(service, call,
                     CallApi(service, call, "DELETE", "/api/users/" + Encode(call.params.at(0))));
}

Response NewToken(Service& service, const Call& call) {
  Response failure;
  const std::optional<Form> form = PostedForm(call, failure);
  if (!form) return failure;
  std::string json = JsonFields(*form, {"name"});
  if (const std::string* days = form->Get("expires"); days != nullptr && !days->empty()) {
    const std::optional<std::int64_t> count = ParseDecimal(*days, 1, 36500);
    if (!count) {
      return UsersPage(service, call, 422,
                       "the days until the token ends must be a number from 1 to 36500");
    }
    json.pop_back();
    json += std::string(json.size() > 1 ? "," : "") +
            "\"expires\":" + std::to_string(*count * 24 * 60 * 60) + "}";
  }
  const std::string& name = call.params.at(0);
  const Response answer =
      CallApi(service, call, "POST", "/api/users/" + Encode(name) + "/tokens", {}, json);
  if (answer.status != 201) return AfterChange(service, call, answer);
  const JsonValue body = JsonOf(answer);
  std::string main = "<section class=\"card\"><h2>A new API token for ";
  AppendHtml(main, name);
  main += "</h2><p>It is shown this once: only its hash is kept.</p><pre class=\"token\">";
  AppendHtml(main, TextOf(body.IsObject() ? body.Find("token") : nullptr));
  main += "</pre><p class=\"meta\">Token ";
  const JsonValue* id = body.IsObject() ? body.Find("id") : nullptr;
  AppendHtml(main, id != nullptr ? id->text : std::string());
  main += ", named ";
  AppendHtml(main, TextOf(body.IsObject() ? body.Find("name") : nullptr));
  main += ".</p><p><a href=\"/users\">Back to the users</a></p></section>\n";
  return Page(call, 200, "API token", main);
}

Response RevokeToken(Service& service, const Call& call) {
  return AfterChange(
      service, call,
      CallApi(service, call, "DELETE",
              "/api/users/" + Encode(call.params.at(0)) + "/tokens/" + Encode(call.params.at(1))));
}

}  // namespace

void AddAdminPages(Service& service) {
  AddPage(service, "GET", "/audit", Access::Admin, Audit);
  AddPage(service, "GET", "/users", Access::Admin, ShowUsers);
  AddPage(service, "POST", "/users", Access::Admin, AddUser);
  AddPage(service, "POST", "/users/{name}", Access::Admin, UpdateUser);
  AddPage(service, "POST", "/users/{name}/remove", Access::Admin, RemoveUser);
  AddPage(service, "POST", "/users/{name}/token", Access::Admin, NewToken);
  AddPage(service, "POST", "/users/{name}/tokens/{id}/revoke", Access::Admin, RevokeToken);
}

}  // namespace ssmsg::server::pages
