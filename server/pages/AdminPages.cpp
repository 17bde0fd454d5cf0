// The pages of admins: the audit log (every change, with what it changed, and a controller put
// back as it was before one of its changes) and the users (added, given roles and passwords and
// API tokens, removed), each change made by the operations the API makes it with, and audited
// alike.

#include <algorithm>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/AccountOps.h"
#include "server/ChangeSets.h"
#include "server/Controllers.h"
#include "server/Html.h"
#include "server/pages/Frame.h"
#include "server/pages/RecordForms.h"
#include "server/pages/Routes.h"

namespace ssmsg::server::pages {
namespace {

// How many of an entry's changed values the audit log lists.
constexpr std::size_t kChangesShown = 12;

bool IsNull(std::string_view json) {
  const std::size_t first = json.find_first_not_of(" \t\r\n");
  const std::size_t last = json.find_last_not_of(" \t\r\n");
  return first != std::string_view::npos && json.substr(first, last - first + 1) == "null";
}

// What changed between `before` and `after` (the JSON of a controller, or null): the values that
// differ.
void Changes(std::string_view before, std::string_view after, std::string& out) {
  const bool made = IsNull(before);
  const bool removed = IsNull(after);
  if (made && removed) return;
  if (made || removed) {
    out += made ? "<span class=\"badge b-add\">made</span>"
                : "<span class=\"badge b-del\">removed</span>";
    return;
  }
  const std::vector<ValueChange> changes = ChangedValues(before, after);
  if (changes.empty()) {
    out += "no value";
    return;
  }
  out += "<ul class=\"changes\">";
  for (std::size_t i = 0; i < changes.size() && i < kChangesShown; ++i) {
    const ValueChange& change = changes[i];
    out += "<li>";
    AppendHtml(out, change.path);
    out += ": ";
    AppendHtml(out, change.from ? *change.from : "(none)");
    out += " &rarr; ";
    AppendHtml(out, change.to ? *change.to : "(none)");
    out += "</li>";
  }
  if (changes.size() > kChangesShown)
    out += "<li>and " + std::to_string(changes.size() - kChangesShown) + " more</li>";
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

// What an audit entry changed: a change of accounts says so in its "After"; a controller's is
// found by comparing.
void WhatChanged(const AuditEntry& entry, std::string& out) {
  if (!entry.controller) {
    if (const JsonRead after = ReadJson(entry.after); after && after->IsObject()) {
      AccountChange(*after, out);
      return;
    }
  }
  Changes(entry.before, entry.after, out);
}

// What a refused change of accounts says: its message, or its errors one after another.
// The change that a revert goes back to before, from its text, or nothing.
std::optional<std::int64_t> ChangeId(const std::string* text) {
  if (text == nullptr) return std::nullopt;
  return ParseDecimal(*text, 1, std::numeric_limits<std::int64_t>::max());
}

// Whether a change was one of many controllers at once: a change set, a CSV import, or the
// revert of one.
bool OfMany(const AuditNote& note) {
  const auto ends = [&](std::string_view end) {
    return note.path.size() >= end.size() &&
           note.path.compare(note.path.size() - end.size(), end.size(), end) == 0;
  };
  return note.method == "POST" &&
         (ends("/change-sets") || ends("/change-sets/revert") || ends("/csv"));
}

std::string Problem(const Refusal& refusal) {
  std::string problem;
  for (const std::string& line : AccountLines(refusal)) {
    if (!problem.empty()) problem += "; ";
    problem += line;
  }
  if (problem.empty()) problem = refusal.message;
  return problem.empty() ? std::string(StatusText(refusal.status)) : problem;
}

// A change made from these pages is audited as the API's request for it: `path` under "/api",
// its segments %-escaped.
AuditNote NoteOf(Service& service, const Call& call, std::string_view method,
                 std::string_view path) {
  return ChangeNote(call, service.Authority().Now(), method, path);
}

std::string UserApi(std::string_view name) {
  return "/api/users/" + Encode(name);
}

Response Audit(Service& service, const Call& call) {
  // Newest first, from the latest unless the query says before which entry.
  static const std::string kLatest = "0";
  const std::string* from = call.target.Query("before");
  // The filters, each by its query's name, with the words the page says it in.
  struct Filter {
    const char* name;
    const char* words;
    const char* input;
    const std::string* value;
  };
  Filter filters[] = {
      {"controller", " of controller ", "type=\"text\" placeholder=\"1.2\" maxlength=\"23\"",
       nullptr},
      {"user", " by ", "type=\"text\" maxlength=\"200\"", nullptr},
      {"since", " from ", "type=\"date\"", nullptr},
      {"until", " to ", "type=\"date\"", nullptr},
  };
  for (Filter& filter : filters) {
    filter.value = call.target.Query(filter.name);
    if (filter.value != nullptr && filter.value->empty()) filter.value = nullptr;
  }
  const Outcome<AuditPage> page = server::ReadAudit(
      service.Data(), {nullptr, from != nullptr ? from : &kLatest, filters[0].value,
                       filters[1].value, filters[2].value, filters[3].value});
  if (!page) return MessagePage(call, page.error().status, Problem(page.error()));

  std::string main = "<section class=\"card\"><h2>Audit log</h2><p class=\"meta\">Every change";
  std::string query;  // the filters, for the link to earlier changes
  for (const Filter& filter : filters) {
    if (filter.value == nullptr) continue;
    main += filter.words;
    AppendHtml(main, *filter.value);
    query += std::string("&") + filter.name + "=" + Encode(*filter.value);
  }
  main += ", newest first.</p>";
  if (const std::optional<std::int64_t> reverted = ChangeId(call.target.Query("reverted"))) {
    main += "<p class=\"saved\" role=\"status\">Reverted " +
            Count(static_cast<std::size_t>(*reverted), "controller") + ".</p>";
  }
  main += "<form method=\"get\" class=\"inline\" role=\"search\" action=\"" + Link(call, "/audit") +
          "\">";
  for (const Filter& filter : filters) {
    main += "<label>";
    main += static_cast<char>(filter.name[0] - 'a' + 'A');
    main += filter.name + 1;
    main += std::string(" <input ") + filter.input + " name=\"" + filter.name + "\" value=\"";
    if (filter.value != nullptr) AppendHtml(main, *filter.value);
    main += "\"></label> ";
  }
  main +=
      "<button type=\"submit\" class=\"quiet\">Show their changes</button></form>"
      "<div class=\"scroll\"><table class=\"audit\"><thead><tr><th scope=\"col\">No.</th>"
      "<th scope=\"col\">Time</th><th scope=\"col\">User</th><th scope=\"col\">Request</th>"
      "<th scope=\"col\">Controller</th><th scope=\"col\">What changed</th></tr></thead><tbody>";
  for (const AuditEntry& entry : page->entries) {
    main += "<tr><td class=\"n\">";
    AppendHtml(main, std::to_string(entry.id));
    main += "</td><td>";
    AppendHtml(main, IsoTime(entry.note.time));
    main += "</td><td>";
    AppendHtml(main, entry.note.user);
    main += "</td><td>";
    AppendHtml(main, entry.note.method + " " + entry.note.path);
    main += "</td><td>";
    if (const std::optional<CSS_ControllerAddress>& address = entry.controller) {
      const std::string interfaceId = std::to_string(address->interfaceId);
      const std::string node = std::to_string(address->node);
      main += "<a href=\"";
      AppendHtml(main, ControllerLink(call, *address));
      main += "\">";
      AppendHtml(main, interfaceId + "." + node);
      main += "</a> <a class=\"revert\" href=\"";
      AppendHtml(main,
                 ControllerLink(call, *address) + "/revert?before=" + std::to_string(entry.id));
      main += "\">revert to before</a>";
      if (OfMany(entry.note)) {
        main += " <a class=\"revert\" href=\"";
        AppendHtml(main, Link(call, "/change-sets/revert?entry=" + std::to_string(entry.id)));
        main += "\">revert the whole change</a>";
      }
    }
    main += "</td><td>";
    WhatChanged(entry, main);
    main += "</td></tr>";
  }
  main += "</tbody></table></div>";
  if (page->entries.empty()) main += "<p>No change yet.</p>";
  if (page->next) {
    main += "<p><a href=\"";
    AppendHtml(main, Link(call, "/audit") + "?before=" + std::to_string(*page->next) + query);
    main += "\">Earlier changes</a></p>";
  }
  main += "</section>\n";
  return Page(call, 200, "Audit log", main);
}

// --- Reverting a controller ---------------------------------------------------------------------

// What reverting the controller to before one of its changes would change, and a form that does.
Response AskRevert(Service& service, const Call& call) {
  const std::optional<CSS_ControllerAddress> address = AddressOf(call);
  const std::optional<std::int64_t> id = ChangeId(call.target.Query("before"));
  if (!address || !id) return MessagePage(call, 404, "there is no such change");
  const Outcome<std::string> before = StateBefore(service.Data(), *address, *id);
  if (!before) return MessagePage(call, before.error().status, before.error().message);
  const std::optional<ControllerState> now = service.Data().Controller(*address);
  const std::string name =
      std::to_string(address->interfaceId) + "." + std::to_string(address->node);
  std::string main = "<section class=\"card\"><h2>Revert controller " + name +
                     " to before change " + std::to_string(*id) +
                     "</h2><p>The controller is put back exactly as it was before that change, "
                     "which undoes it and every change of the controller since. The revert is a "
                     "change of its own, kept in the audit log. From the controller now:</p>";
  Changes(now ? std::string_view(now->json) : std::string_view("null"), *before, main);
  main += "<form method=\"post\" class=\"edit\" action=\"";
  AppendHtml(main, ControllerLink(call, *address) + "/revert");
  main += "\">";
  main += CsrfField(call.caller->csrf);
  main += "<input type=\"hidden\" name=\"before\" value=\"" + std::to_string(*id) + "\">";
  main += "<input type=\"hidden\" name=\"etag\" value=\"";
  if (now) AppendHtml(main, now->etag);
  main += "\"><div class=\"actions\"><button type=\"submit\">Revert</button><a href=\"";
  AppendHtml(main, now ? ControllerLink(call, *address) : Link(call, "/audit"));
  main += "\">Keep it as it is</a></div></form></section>\n";
  return Page(call, 200, "Revert " + name, main);
}

Response Revert(Service& service, const Call& call, const CSS_ControllerAddress& address,
                const Form& form) {
  const std::optional<std::int64_t> id = ChangeId(form.Get("before"));
  const std::string* etag = form.Get("etag");
  if (!id || etag == nullptr)
    return MessagePage(call, 400, "the form lost its change: open it again");
  // The controller as the page showed it: none (removed since the change) makes it again.
  const Expect expect =
      etag->empty() ? Expect{Expect::Kind::Absent, {}} : Expect{Expect::Kind::Present, *etag};
  const Outcome<Reverted> reverted =
      RevertController(service.Data(), address, expect, *id,
                       NoteOf(service, call, "POST", ControllerApi(address) + "/revert"));
  if (!reverted) {
    if (reverted.error().status == 412) {
      return MessagePage(call, 409,
                         "the controller was changed after the page was made: nothing was "
                         "reverted; see what reverting changes now from the audit log");
    }
    return MessagePage(call, reverted.error().status, Problem(reverted.error()));
  }
  if (!reverted->state) return Redirect(call.request, "/");
  return Redirect(call.request, ControllerUrl(address) + "?reverted=" + std::to_string(*id));
}

Response AskRevertChange(Service& service, const Call& call) {
  const std::optional<std::int64_t> id = ChangeId(call.target.Query("entry"));
  if (!id) return MessagePage(call, 404, "there is no such change");
  const Outcome<std::vector<AuditEntry>> entries = EntriesOfChange(service.Data(), *id);
  if (!entries) return MessagePage(call, entries.error().status, entries.error().message);
  const AuditNote& note = entries->front().note;
  std::string main = "<section class=\"card\"><h2>Revert a change of " +
                     Count(entries->size(), "controller") + "</h2><p>";
  AppendHtml(main, note.user);
  main += " changed them at <time>" + IsoTime(note.time) + "</time> (";
  AppendHtml(main, note.method + " " + note.path);
  main +=
      "). Each is put back exactly as it was before, in one change: if any of them changed "
      "since, none is.</p><ul class=\"controllers\">";
  for (const AuditEntry& entry : *entries) {
    main += "<li><a href=\"";
    AppendHtml(main, ControllerLink(call, *entry.controller));
    main += "\">" + AddressText(*entry.controller) + "</a></li>";
  }
  main += "</ul><form method=\"post\" class=\"edit\" action=\"";
  AppendHtml(main, Link(call, "/change-sets/revert"));
  main += "\">";
  main += CsrfField(call.caller->csrf);
  main += "<input type=\"hidden\" name=\"entry\" value=\"" + std::to_string(*id) +
          "\"><div class=\"actions\"><button type=\"submit\">Revert " +
          Count(entries->size(), "controller") + "</button><a href=\"";
  AppendHtml(main, Link(call, "/audit"));
  main += "\">Keep them as they are</a></div></form></section>\n";
  return Page(call, 200, "Revert a change of many", main);
}

Response RevertWholeChange(Service& service, const Call& call, const Form& form) {
  const std::optional<std::int64_t> id = ChangeId(form.Get("entry"));
  if (!id) return MessagePage(call, 400, "the form lost its change: open it again");
  const Outcome<std::size_t> reverted =
      RevertChange(service.Data(), *id, NoteOf(service, call, "POST", "/api/change-sets/revert"));
  if (!reverted) {
    const bool stale = reverted.error().status == 412;
    return MessagePage(call, stale ? 409 : reverted.error().status, Problem(reverted.error()));
  }
  return Redirect(call.request, "/audit?reverted=" + std::to_string(*reverted));
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
  AppendHtml(out, Link(call, action));
  out += "\">";
  out += CsrfField(call.caller->csrf);
}

// The API tokens of the users `users`, each with the button that revokes it.
void TokensTable(Service& service, const Call& call, const std::vector<User>& users,
                 std::string& out) {
  std::string rows;
  for (const User& user : users) {
    const std::string& name = user.name;
    const Outcome<std::vector<Token>> tokens = server::ListTokens(service.Data(), name);
    if (!tokens) continue;  // removed meanwhile
    for (const Token& token : *tokens) {
      const std::string id = std::to_string(token.id);
      rows += "<tr><td>";
      AppendHtml(rows, name);
      rows += "</td><td class=\"n\">";
      AppendHtml(rows, id);
      rows += "</td><td>";
      AppendHtml(rows, token.name);
      rows += "</td><td>";
      AppendHtml(rows, IsoTime(token.created));
      rows += "</td><td>";
      AppendHtml(rows, token.expires ? IsoTime(*token.expires) : "never");
      rows += "</td><td>";
      OpenForm(call, rows, "/users/" + Encode(name) + "/tokens/" + Encode(id) + "/revoke");
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

// What the users page says after a change (`?done=` of AfterChange) to the user `?user=`: only
// what is so, so that a link cannot make it say otherwise.
constexpr std::pair<std::string_view, std::string_view> kDone[] = {
    {"added", " was added."},
    {"changed", " was changed."},
    {"removed", " was removed."},
    {"revoked", "'s token was revoked."},
};

void DoneNote(const Call& call, const std::vector<User>& users, std::string& out) {
  const std::string* done = call.target.Query("done");
  const std::string* name = call.target.Query("user");
  if (done == nullptr || name == nullptr) return;
  const auto found = std::find_if(std::begin(kDone), std::end(kDone),
                                  [&](const auto& entry) { return entry.first == *done; });
  if (found == std::end(kDone)) return;
  const bool there =
      std::any_of(users.begin(), users.end(), [&](const User& user) { return user.name == *name; });
  if (there == (*done == "removed")) return;
  out += "<p class=\"saved\" role=\"status\">The user ";
  AppendHtml(out, *name);
  out += found->second;
  out += "</p>";
}

Response UsersPage(Service& service, const Call& call, int status, std::string_view problem) {
  const std::vector<User> users = server::ListUsers(service.Data());
  std::string main = "<section class=\"card\"><h2>Users</h2>";
  AppendProblem(main, problem);
  if (problem.empty()) DoneNote(call, users, main);
  main +=
      "<div class=\"scroll\"><table class=\"users\"><thead><tr><th scope=\"col\">Name</th>"
      "<th scope=\"col\">Role</th><th scope=\"col\">Password</th><th scope=\"col\">API token</th>"
      "<th scope=\"col\">Remove</th></tr></thead><tbody>";
  for (const User& user : users) {
    const std::string& name = user.name;
    const std::string action = "/users/" + Encode(name);
    main += "<tr><th scope=\"row\">";
    AppendHtml(main, name);
    main += "</th><td>";
    OpenForm(call, main, action);
    RoleSelect(main, RoleName(user.role));
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
      "action=\"" +
      Link(call, "/users") + "\">";
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

// The form's field `name` as given: left out when it is not there or empty.
Given FieldOf(const Form& form, std::string_view name) {
  const std::string* value = form.Get(name);
  if (value == nullptr || value->empty()) return {};
  return Given::Of(*value);
}

UserRequest UserRequestOf(const Form& form) {
  UserRequest request;
  request.role = FieldOf(form, "role");
  request.password = FieldOf(form, "password");
  return request;
}

// The users page after a change `done` to the user `name`: back to it, saying so, when it was
// made, else the page with the reason.
template <class T>
Response AfterChange(Service& service, const Call& call, const Outcome<T>& outcome,
                     std::string_view done, std::string_view name) {
  if (outcome) {
    return Redirect(call.request, "/users?done=" + std::string(done) + "&user=" + Encode(name));
  }
  return UsersPage(service, call, outcome.error().status, Problem(outcome.error()));
}

Response AddUser(Service& service, const Call& call, const Form& form) {
  UserRequest request = UserRequestOf(form);
  request.name = FieldOf(form, "name");
  const std::string name = request.name.text;
  return AfterChange(service, call,
                     server::AddUser(service.Data(), service.Authority(), request,
                                     NoteOf(service, call, "POST", "/api/users")),
                     "added", name);
}

Response UpdateUser(Service& service, const Call& call, const Form& form) {
  const std::string& name = call.params.at(0);
  return AfterChange(
      service, call,
      server::UpdateUser(service.Data(), service.Authority(), name, UserRequestOf(form),
                         NoteOf(service, call, "PATCH", UserApi(name))),
      "changed", name);
}

// Removing a user is asked once more, on a page of its own: a form that works without script.
Response RemoveUser(Service& service, const Call& call, const Form& form) {
  const std::string& name = call.params.at(0);
  if (form.Get("confirm") == nullptr) {
    std::string main = "<section class=\"card\"><h2>Remove the user ";
    AppendHtml(main, name);
    main +=
        "?</h2><p>Their sessions and API tokens end with them; the audit log keeps what they "
        "did.</p>";
    OpenForm(call, main, "/users/" + Encode(name) + "/remove");
    main +=
        "<input type=\"hidden\" name=\"confirm\" value=\"yes\"><button type=\"submit\" "
        "class=\"danger\">Remove ";
    AppendHtml(main, name);
    main += "</button></form> <a href=\"" + Link(call, "/users") + "\">Keep them</a></section>\n";
    return Page(call, 200, "Remove a user", main);
  }
  return AfterChange(
      service, call,
      server::RemoveUser(service.Data(), name, NoteOf(service, call, "DELETE", UserApi(name))),
      "removed", name);
}

Response NewToken(Service& service, const Call& call, const Form& form) {
  TokenRequest request;
  request.name = FieldOf(form, "name");
  if (const std::string* days = form.Get("expires"); days != nullptr && !days->empty()) {
    const std::optional<std::int64_t> count = ParseDecimal(*days, 1, 36500);
    if (!count) {
      return UsersPage(service, call, 422,
                       "the days until the token ends must be a number from 1 to 36500");
    }
    request.expires = {Given::Kind::Number, std::to_string(*count * 24 * 60 * 60)};
  }
  const std::string& name = call.params.at(0);
  const Outcome<MadeToken> made = server::NewToken(
      service.Data(), name, request, NoteOf(service, call, "POST", UserApi(name) + "/tokens"));
  if (!made) return AfterChange(service, call, made, "", name);
  std::string main = "<section class=\"card\"><h2>A new API token for ";
  AppendHtml(main, name);
  main += "</h2><p>It is shown this once: only its hash is kept.</p><pre class=\"token\">";
  AppendHtml(main, made->secret);
  main += "</pre><p class=\"meta\">Token ";
  AppendHtml(main, std::to_string(made->token.id));
  main += ", named ";
  AppendHtml(main, made->token.name);
  main += ".</p><p><a href=\"" + Link(call, "/users") + "\">Back to the users</a></p></section>\n";
  return Page(call, 200, "API token", main);
}

Response RevokeToken(Service& service, const Call& call) {
  const std::string& name = call.params.at(0);
  const std::string& id = call.params.at(1);
  return AfterChange(
      service, call,
      server::RevokeToken(service.Data(), name, id,
                          NoteOf(service, call, "DELETE", UserApi(name) + "/tokens/" + Encode(id))),
      "revoked", name);
}

}  // namespace

void AddAdminPages(Service& service) {
  AddPage(service, "GET", "/audit", Access::Admin, Audit);
  AddPage(service, "GET", "/controllers/{interface}/{node}/revert", Access::Editor, AskRevert);
  AddFormPage(service, "/controllers/{interface}/{node}/revert", Access::Editor, Revert);
  AddPage(service, "GET", "/change-sets/revert", Access::Editor, AskRevertChange);
  AddFormPage(service, "/change-sets/revert", Access::Editor, RevertWholeChange);
  AddPage(service, "GET", "/users", Access::Admin, ShowUsers);
  AddFormPage(service, "/users", Access::Admin, AddUser);
  AddFormPage(service, "/users/{name}", Access::Admin, UpdateUser);
  AddFormPage(service, "/users/{name}/remove", Access::Admin, RemoveUser);
  AddFormPage(service, "/users/{name}/token", Access::Admin, NewToken);
  AddPage(service, "POST", "/users/{name}/tokens/{id}/revoke", Access::Admin, RevokeToken);
}

}  // namespace ssmsg::server::pages
