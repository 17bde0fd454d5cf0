#include "server/Api.h"

#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include <ssmsg/Json.h>
#include <ssmsg/SiteDiff.h>

#include "server/JsonValue.h"
#include "site/Findings.h"

namespace ssmsg::server {
namespace {

// One answer of the audit log holds at most this many rows, and no row more once it holds this
// many bytes (each row holds a controller twice); "next" says where the next answer starts.
constexpr std::size_t kAuditPage = 100;
constexpr std::size_t kAuditPageBytes = std::size_t{4} << 20;
constexpr std::string_view kCheckName = "<body>";

// --- Pieces of answers ------------------------------------------------------------------------

void AppendField(std::string& out, std::string_view name) {
  AppendJsonString(out, name);
  out += ':';
}

void AppendString(std::string& out, std::string_view name, std::string_view value) {
  AppendField(out, name);
  AppendJsonString(out, value);
}

Response ErrorsResponse(int status, const std::vector<std::string>& errors) {
  std::string body = "{\"errors\":[";
  for (std::size_t i = 0; i < errors.size(); ++i) {
    if (i > 0) body += ',';
    AppendJsonString(body, errors[i]);
  }
  body += "]}";
  return JsonResponse(status, std::move(body));
}

Response ControllerResponse(int status, ControllerState state) {
  Response response = JsonResponse(status, std::move(state.json));
  response.Set("ETag", std::move(state.etag));
  return response;
}

// Who made the change: the user's name, and with a token which one, so that a change made with a
// token an admin made for someone is told apart from that someone's own login
// ("ed (token 3 \"deploy\")").
std::string Actor(const Call& call) {
  if (!call.caller) return {};
  std::string actor = call.caller->user.name;
  if (const std::optional<Token>& token = call.caller->token) {
    actor += " (token " + std::to_string(token->id) + " ";
    AppendJsonString(actor, token->name);
    actor += ')';
  }
  return actor;
}

AuditNote Note(const Call& call, std::int64_t now) {
  return {Actor(call), call.request.method,
          std::string(call.request.target.substr(0, call.request.target.find('?'))), now};
}

// --- Requests -----------------------------------------------------------------------------------

// The controller's address from the path, or the 400 that says why it is none.
std::optional<CSS_ControllerAddress> AddressOf(const Call& call, Response& failure) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::optional<std::int64_t> interfaceId = ParseDecimal(call.params[0], 1, kMax);
  const std::optional<std::int64_t> node = ParseDecimal(call.params[1], 0, kMax);
  if (!interfaceId) {
    failure = JsonError(400, "the interface in the path must be a number from 1 to 2147483647");
    return std::nullopt;
  }
  if (!node) {
    failure = JsonError(400, "the node in the path must be a number from 0 to 2147483647");
    return std::nullopt;
  }
  return CSS_ControllerAddress{static_cast<std::int32_t>(*interfaceId),
                               static_cast<std::int32_t>(*node)};
}

// The body as JSON when it has media type `type`, or the 415 or 400 that says why not.
std::optional<JsonValue> JsonBody(const Call& call, std::string_view type, Response& failure) {
  const std::string* contentType = call.request.Find("Content-Type");
  if (!contentType || MediaType(*contentType) != type) {
    failure = JsonError(415, "the body must be " + std::string(type));
    return std::nullopt;
  }
  JsonReadResult read = ReadJson(call.request.body);
  if (!read.ok) {
    failure = JsonError(400, "the body is not valid JSON: " + read.error);
    return std::nullopt;
  }
  return std::move(read.value);
}

// What a conditional write expects from the request's If-Match or If-None-Match, or the 428 that
// says it has neither.
std::optional<Expect> ExpectOf(const Call& call, bool mayCreate, Response& failure) {
  if (mayCreate) {
    if (const std::string* none = call.request.Find("If-None-Match"); none && *none == "*") {
      return Expect{Expect::Kind::Absent, {}};
    }
  }
  const std::string* ifMatch = call.request.Find("If-Match");
  if (!ifMatch) {
    failure = JsonError(428, mayCreate ? "give If-Match with the controller's ETag, or "
                                         "If-None-Match: * to make a new controller"
                                       : "give If-Match with the controller's ETag");
    return std::nullopt;
  }
  return Expect{Expect::Kind::Present, *ifMatch};
}

Response WriteFailure(WriteStatus status) {
  switch (status) {
    case WriteStatus::NotFound:
      return JsonError(404, "there is no controller at this address");
    case WriteStatus::Stale:
      return JsonError(412, "the controller changed since that ETag: read it again");
    case WriteStatus::Exists:
      return JsonError(412, "there is a controller at this address");
    case WriteStatus::Done:
      break;
  }
  return JsonError(500, "the write went wrong");
}

// --- Controllers --------------------------------------------------------------------------------

// The controller `controller` (the text of valid JSON) checked as the site's `position`-th, with
// the site's texts: the site of it alone, or the errors in the site file's words
// ("Controllers[4].Inputs[2].Type: ...").
struct Checked {
  std::optional<CSS_Site> site;
  std::vector<std::string> errors;
};

Checked CheckController(std::string_view controller, const std::string& enums, std::size_t position,
                        CSS_ControllerAddress address) {
  std::string text = "{\"Enums\":";
  text += enums;
  text += ",\"Controllers\":[";
  text += controller;
  text += "]}";
  CSS_SiteLoadResult result = LoadSiteText(text, kCheckName);
  Checked checked;
  const std::string prefix = std::string(kCheckName) + ": ";
  const std::string from = "Controllers[0]";
  const std::string to = "Controllers[" + std::to_string(position) + "]";
  for (std::string& error : result.errors) {
    if (error.compare(0, prefix.size(), prefix) == 0) error.erase(0, prefix.size());
    if (error.compare(0, from.size(), from) == 0) error.replace(0, from.size(), to);
    checked.errors.push_back(std::move(error));
  }
  if (!checked.errors.empty()) return checked;
  if (!result.site || result.site->ControllerCount() != 1) {
    checked.errors.push_back(to + ": expected one controller");
    return checked;
  }
  const CSS_ControllerAddress found = result.site->Address(0);
  if (found.interfaceId != address.interfaceId) {
    checked.errors.push_back(to + ".Interface: " + std::to_string(found.interfaceId) +
                             " is not the path's interface " + std::to_string(address.interfaceId));
  }
  if (found.node != address.node) {
    checked.errors.push_back(to + ".Node: " + std::to_string(found.node) +
                             " is not the path's node " + std::to_string(address.node));
  }
  if (checked.errors.empty()) checked.site = std::move(result.site);
  return checked;
}

// The records that writing the controller of `site` at `address` would add beyond a capability
// count: those beyond it where the stored controller (`stored`, its JSON; read from the store
// when not given) has no record. The controller would never be sent them, so they are refused,
// each list's in the words that `validate` warns of such records with. Records already beyond a
// count (it was lowered, or a site file put them there) stay, and are shown as never sent.
std::vector<std::string> AddedBeyondCounts(Store& store, const CSS_Site& site,
                                           CSS_ControllerAddress address, std::size_t position,
                                           const std::string* stored) {
  const auto after = std::make_unique<CSApplicationManagerStd>();
  site.LoadController(0, *after);
  std::vector<SiteWarning> beyond;
  RecordsBeyondCounts(*after, 0, nullptr, beyond);
  if (beyond.empty()) return {};
  std::optional<ControllerState> state;
  if (stored == nullptr) {
    state = store.Controller(address);
    if (state) stored = &state->json;
  }
  std::unique_ptr<CSApplicationManagerStd> before;
  if (stored != nullptr) {
    const CSS_SiteLoadResult old = LoadSiteText("{\"Controllers\":[" + *stored + "]}", kCheckName);
    if (old.site && old.site->ControllerCount() == 1) {
      before = std::make_unique<CSApplicationManagerStd>();
      old.site->LoadController(0, *before);
    }
  }
  beyond.clear();
  RecordsBeyondCounts(*after, 0, before.get(), beyond);
  std::vector<std::string> errors;
  for (const SiteWarning& warning : beyond) {
    errors.push_back("Controllers[" + std::to_string(position) + "]." + warning.path.Text() + ": " +
                     warning.what);
  }
  return errors;
}

// Checks `controller` (the text of valid JSON) and writes it at `address` under `expect`;
// `position` names it in errors. `stored` is the JSON of the controller it replaces, where the
// caller has read it.
Response Write(Service& service, const Call& call, CSS_ControllerAddress address,
               const Expect& expect, std::string_view controller, std::size_t position,
               const std::string* stored = nullptr) {
  Store& store = service.Data();
  Checked checked = CheckController(controller, store.EnumsJson(), position, address);
  if (!checked.site) return ErrorsResponse(422, checked.errors);
  if (const std::vector<std::string> beyond =
          AddedBeyondCounts(store, *checked.site, address, position, stored);
      !beyond.empty()) {
    return ErrorsResponse(422, beyond);
  }
  WriteResult result =
      store.PutController(address, expect, *checked.site, Note(call, service.Authority().Now()));
  if (result.status != WriteStatus::Done) return WriteFailure(result.status);
  const bool made = expect.kind == Expect::Kind::Absent;
  Response response = ControllerResponse(made ? 201 : 200, std::move(result.state));
  if (made) {
    response.Set("Location", "/api/controllers/" + std::to_string(address.interfaceId) + "/" +
                                 std::to_string(address.node));
  }
  return response;
}

Response GetController(Service& service, const Call& call) {
  Response failure;
  const std::optional<CSS_ControllerAddress> address = AddressOf(call, failure);
  if (!address) return failure;
  std::optional<ControllerState> state = service.Data().Controller(*address);
  if (!state) return WriteFailure(WriteStatus::NotFound);
  if (const std::string* none = call.request.Find("If-None-Match");
      none && EtagMatches(*none, state->etag, true)) {
    Response response;
    response.status = 304;
    response.Set("ETag", state->etag);
    return response;
  }
  return ControllerResponse(200, std::move(*state));
}

Response PutController(Service& service, const Call& call) {
  Response failure;
  const std::optional<CSS_ControllerAddress> address = AddressOf(call, failure);
  if (!address) return failure;
  const std::optional<Expect> expect = ExpectOf(call, true, failure);
  if (!expect) return failure;
  if (!JsonBody(call, "application/json", failure)) return failure;
  // The position only names the controller in errors: a new one goes last.
  const Store::Place place = service.Data().PlaceOf(*address);
  if (!place.exists && expect->kind == Expect::Kind::Present) {
    return WriteFailure(WriteStatus::NotFound);
  }
  return Write(service, call, *address, *expect, call.request.body, place.position);
}

Response PatchController(Service& service, const Call& call) {
  Response failure;
  const std::optional<CSS_ControllerAddress> address = AddressOf(call, failure);
  if (!address) return failure;
  std::optional<Expect> expect = ExpectOf(call, false, failure);
  if (!expect) return failure;
  const std::optional<JsonValue> patch = JsonBody(call, "application/merge-patch+json", failure);
  if (!patch) return failure;
  const std::optional<ControllerState> now = service.Data().Controller(*address);
  if (const WriteStatus status = expect->Check(now ? &now->etag : nullptr);
      status != WriteStatus::Done) {
    return WriteFailure(status);
  }
  const std::string patched = MergePatchText(now->json, *patch);
  // The patch applies to the version read here, so the write must find that very version ("*"
  // included): otherwise a change made in between would be lost.
  expect->ifMatch = now->etag;
  return Write(service, call, *address, *expect, patched, now->position, &now->json);
}

Response DeleteController(Service& service, const Call& call) {
  Response failure;
  const std::optional<CSS_ControllerAddress> address = AddressOf(call, failure);
  if (!address) return failure;
  const std::optional<Expect> expect = ExpectOf(call, false, failure);
  if (!expect) return failure;
  const WriteResult result =
      service.Data().DeleteController(*address, *expect, Note(call, service.Authority().Now()));
  if (result.status != WriteStatus::Done) return WriteFailure(result.status);
  Response response;
  response.status = 204;
  return response;
}

Response ListControllers(Service& service, const Call&) {
  std::string body = "[";
  bool first = true;
  for (const ControllerSummary& summary : service.Data().Controllers()) {
    body += first ? "{" : ",{";
    first = false;
    AppendField(body, "Interface");
    body += std::to_string(summary.address.interfaceId);
    body += ',';
    AppendField(body, "Node");
    body += std::to_string(summary.address.node);
    body += ',';
    AppendString(body, "Name", summary.name);
    body += ',';
    AppendString(body, "ETag", summary.etag);
    body += '}';
  }
  body += ']';
  return JsonResponse(200, std::move(body));
}

Response Pending(Service& service, const Call& call) {
  Response failure;
  const std::optional<CSS_ControllerAddress> address = AddressOf(call, failure);
  if (!address) return failure;
  const std::optional<PendingSites> sites = service.Data().Pending(*address);
  if (!sites) return WriteFailure(WriteStatus::NotFound);
  const CSS_SiteLoadResult current = LoadSiteText(sites->current, "current");
  const CSS_SiteLoadResult sent =
      LoadSiteText(sites->sent ? *sites->sent : std::string("{\"Controllers\":[]}"), "sent");
  if (!current.site || !sent.site) {
    return JsonError(500, "the stored controller cannot be read: " +
                              (current.errors.empty() ? sent.errors : current.errors).front());
  }
  CSS_DiffOptions options;
  options.selection = {address->interfaceId, address->node};
  std::string body = "{\"messages\":[";
  bool first = true;
  const CSS_DiffResult result =
      MakeSiteDiff(*sent.site, *current.site, options, [&](const CSS_SiteMessage& message) {
        if (!first) body += ',';
        first = false;
        AppendJsonString(body, message.text);
        return true;
      });
  body += "],\"warnings\":[";
  for (std::size_t i = 0; i < result.warnings.size(); ++i) {
    if (i > 0) body += ',';
    AppendJsonString(body, result.warnings[i]);
  }
  body += "]}";
  Response response = JsonResponse(200, std::move(body));
  response.Set("ETag", sites->etag);
  return response;
}

Response MarkSent(Service& service, const Call& call) {
  Response failure;
  const std::optional<CSS_ControllerAddress> address = AddressOf(call, failure);
  if (!address) return failure;
  const std::optional<Expect> expect = ExpectOf(call, false, failure);
  if (!expect) return failure;
  const WriteResult result =
      service.Data().MarkSent(*address, *expect, Note(call, service.Authority().Now()));
  if (result.status != WriteStatus::Done) return WriteFailure(result.status);
  Response response;
  response.status = 204;
  return response;
}

Response Audit(Service& service, const Call& call) {
  std::int64_t after = 0;
  if (const std::string* text = call.target.Query("after")) {
    const std::optional<std::int64_t> value =
        ParseDecimal(*text, 0, std::numeric_limits<std::int64_t>::max());
    if (!value) return JsonError(400, "after must be an audit id, a number from 0");
    after = *value;
  }
  const std::vector<AuditEntry> entries = service.Data().Audit(after, kAuditPage);
  std::string body = "{\"entries\":[";
  std::size_t count = 0;
  for (std::size_t i = 0; i < entries.size() && (i == 0 || body.size() < kAuditPageBytes); ++i) {
    ++count;
    const AuditEntry& entry = entries[i];
    body += i > 0 ? ",{" : "{";
    AppendField(body, "id");
    body += std::to_string(entry.id);
    body += ',';
    AppendString(body, "time", IsoTime(entry.note.time));
    body += ',';
    AppendString(body, "user", entry.note.user);
    body += ',';
    AppendString(body, "method", entry.note.method);
    body += ',';
    AppendString(body, "path", entry.note.path);
    body += ',';
    AppendField(body, "controller");
    if (entry.controller) {
      body += "{\"Interface\":" + std::to_string(entry.controller->interfaceId) +
              ",\"Node\":" + std::to_string(entry.controller->node) + "}";
    } else {
      body += "null";
    }
    body += ',';
    AppendField(body, "before");
    body += entry.before;
    body += ',';
    AppendField(body, "after");
    body += entry.after;
    body += '}';
  }
  body += "],\"next\":";
  body += count < entries.size() || count == kAuditPage ? std::to_string(entries[count - 1].id)
                                                        : "null";
  body += '}';
  return JsonResponse(200, std::move(body));
}

// --- Sessions and accounts ----------------------------------------------------------------------

std::string SessionBody(const User& user, std::string_view csrf) {
  std::string body = "{";
  AppendString(body, "name", user.name);
  body += ',';
  AppendString(body, "role", RoleName(user.role));
  if (!csrf.empty()) {
    body += ',';
    AppendString(body, "csrf", csrf);
  }
  body += '}';
  return body;
}

// The string member `name` of an object, or null when it is not there; `bad` is set when it is
// there but not a string.
const std::string* StringMember(const JsonValue& object, std::string_view name, bool& bad) {
  const JsonValue* value = object.Find(name);
  if (!value) return nullptr;
  if (value->kind != JsonValue::Kind::String) {
    bad = true;
    return nullptr;
  }
  return &value->text;
}

Response LogIn(Service& service, const Call& call) {
  Response failure;
  const std::optional<JsonValue> body = JsonBody(call, "application/json", failure);
  if (!body) return failure;
  bool bad = !body->IsObject();
  const std::string* name = bad ? nullptr : StringMember(*body, "name", bad);
  const std::string* password = bad ? nullptr : StringMember(*body, "password", bad);
  if (bad || !name || !password) {
    return ErrorsResponse(422, {"give name and password as strings"});
  }
  Login login = service.Authority().LogIn(*name, *password, call.request.peer);
  if (login.status == Login::Status::Throttled) {
    Response response = JsonError(
        429, "too many failed logins: try again in " + std::to_string(login.retryAfter) + " s");
    response.Set("Retry-After", std::to_string(login.retryAfter));
    return response;
  }
  if (login.status != Login::Status::Ok) return JsonError(401, "wrong name or password");
  Response response = JsonResponse(200, SessionBody(login.user, login.csrf));
  response.Add("Set-Cookie", Auth::SessionCookie(login.sessionId, call.request.tls));
  return response;
}

Response WhoAmI(Service&, const Call& call) {
  return JsonResponse(200, SessionBody(call.caller->user, call.caller->csrf));
}

Response LogOut(Service& service, const Call& call) {
  service.Authority().LogOut(*call.caller);
  Response response;
  response.status = 204;
  response.Add("Set-Cookie", Auth::SessionCookie("", call.request.tls));
  return response;
}

Response ListUsers(Service& service, const Call&) {
  std::string body = "[";
  bool first = true;
  for (const User& user : service.Data().Users()) {
    if (!first) body += ',';
    first = false;
    body += SessionBody(user, "");
  }
  body += ']';
  return JsonResponse(200, std::move(body));
}

Response UserFailure(UserWrite status) {
  switch (status) {
    case UserWrite::NotFound:
      return JsonError(404, "there is no user of that name");
    case UserWrite::Exists:
      return JsonError(409, "there is a user of that name");
    case UserWrite::LastAdmin:
      return JsonError(409, "the last admin must stay an admin");
    case UserWrite::Done:
      break;
  }
  return JsonError(500, "the change of accounts went wrong");
}

// The role and password members of a user's body, checked.
struct UserFields {
  std::optional<Role> role;
  std::optional<std::string> password;
  std::vector<std::string> errors;
};

UserFields ReadUserFields(const JsonValue& body) {
  UserFields fields;
  if (!body.IsObject()) {
    fields.errors.push_back("the body must be an object");
    return fields;
  }
  for (const JsonMember& member : body.members) {
    if (member.name != "name" && member.name != "role" && member.name != "password")
      fields.errors.push_back(member.name + ": unknown key");
  }
  bool bad = false;
  if (const std::string* role = StringMember(body, "role", bad)) {
    fields.role = RoleFromName(*role);
    if (!fields.role) fields.errors.push_back("role: must be viewer, editor or admin");
  }
  if (const std::string* password = StringMember(body, "password", bad)) {
    if (const std::optional<std::string> why = CheckPassword(*password)) {
      fields.errors.push_back("password: " + *why);
    } else {
      fields.password = *password;
    }
  }
  if (bad) fields.errors.push_back("role and password must be strings");
  return fields;
}

Response AddUser(Service& service, const Call& call) {
  Response failure;
  const std::optional<JsonValue> body = JsonBody(call, "application/json", failure);
  if (!body) return failure;
  UserFields fields = ReadUserFields(*body);
  bool bad = false;
  const std::string* name = body->IsObject() ? StringMember(*body, "name", bad) : nullptr;
  if (!name) {
    fields.errors.push_back("name: a string is required");
  } else if (const std::optional<std::string> why = CheckUserName(*name)) {
    fields.errors.push_back("name: " + *why);
  }
  for (const char* required : {"role", "password"}) {
    if (body->IsObject() && !body->Find(required))
      fields.errors.push_back(std::string(required) + ": required");
  }
  if (!fields.errors.empty()) return ErrorsResponse(422, fields.errors);
  const User user{0, *name, *fields.role, service.Authority().Hash(*fields.password)};
  if (const UserWrite status = service.Data().AddUser(user, Note(call, service.Authority().Now()));
      status != UserWrite::Done) {
    return UserFailure(status);
  }
  Response response = JsonResponse(201, SessionBody(user, ""));
  response.Set("Location", "/api/users/" + user.name);
  return response;
}

Response UpdateUser(Service& service, const Call& call) {
  Response failure;
  const std::optional<JsonValue> body = JsonBody(call, "application/json", failure);
  if (!body) return failure;
  UserFields fields = ReadUserFields(*body);
  if (!fields.errors.empty()) return ErrorsResponse(422, fields.errors);
  Store& store = service.Data();
  std::optional<User> user = store.FindUser(call.params[0]);
  if (!user) return UserFailure(UserWrite::NotFound);
  const Role role = fields.role.value_or(user->role);
  std::optional<std::string> hash;
  if (fields.password) hash = service.Authority().Hash(*fields.password);
  if (const UserWrite status =
          store.UpdateUser(user->name, role, hash, Note(call, service.Authority().Now()));
      status != UserWrite::Done) {
    return UserFailure(status);
  }
  user->role = role;
  return JsonResponse(200, SessionBody(*user, ""));
}

Response RemoveUser(Service& service, const Call& call) {
  if (const UserWrite status =
          service.Data().RemoveUser(call.params[0], Note(call, service.Authority().Now()));
      status != UserWrite::Done) {
    return UserFailure(status);
  }
  Response response;
  response.status = 204;
  return response;
}

// The longest a token may last.
constexpr std::int64_t kTokenMaxSeconds = std::int64_t{100} * 366 * 24 * 60 * 60;

std::string TokenBody(const Token& token) {
  std::string body = "{";
  AppendField(body, "id");
  body += std::to_string(token.id);
  body += ',';
  AppendString(body, "name", token.name);
  body += ',';
  AppendString(body, "created", IsoTime(token.created));
  body += ',';
  AppendField(body, "expires");
  if (token.expires) {
    AppendJsonString(body, IsoTime(*token.expires));
  } else {
    body += "null";
  }
  body += '}';
  return body;
}

// The name and end of a new token from the request's body, which may be left out: named
// "token", never ending. Errors say what is wrong.
std::vector<std::string> ReadTokenFields(const JsonValue& body, Token& token) {
  if (!body.IsObject()) return {"the body must be an object"};
  std::vector<std::string> errors;
  for (const JsonMember& member : body.members) {
    if (member.name != "name" && member.name != "expires")
      errors.push_back(member.name + ": unknown key");
  }
  if (const JsonValue* name = body.Find("name")) {
    if (name->kind != JsonValue::Kind::String) {
      errors.emplace_back("name: must be a string");
    } else if (const std::optional<std::string> why = CheckTokenName(name->text)) {
      errors.push_back("name: " + *why);
    } else {
      token.name = name->text;
    }
  }
  if (const JsonValue* expires = body.Find("expires");
      expires && expires->kind != JsonValue::Kind::Null) {
    std::optional<std::int64_t> end;
    if (expires->kind == JsonValue::Kind::Number) {
      if (const std::optional<std::int64_t> seconds =
              ParseDecimal(expires->text, 1, kTokenMaxSeconds)) {
        end = token.created + *seconds;
      }
    } else if (expires->kind == JsonValue::Kind::String) {
      end = FromIsoTime(expires->text);
      if (end && (*end <= token.created || *end - token.created > kTokenMaxSeconds)) end.reset();
    }
    if (!end) {
      errors.emplace_back(
          "expires: the seconds from now (1 to 100 years' worth), or a time to come such as "
          "2030-01-31T12:00:00Z");
    }
    token.expires = end;
  }
  return errors;
}

Response NewToken(Service& service, const Call& call) {
  Token token{0, "token", service.Authority().Now(), {}};
  if (!call.request.body.empty()) {
    Response failure;
    const std::optional<JsonValue> body = JsonBody(call, "application/json", failure);
    if (!body) return failure;
    if (const std::vector<std::string> errors = ReadTokenFields(*body, token); !errors.empty())
      return ErrorsResponse(422, errors);
  }
  Store& store = service.Data();
  const std::optional<User> user = store.FindUser(call.params[0]);
  if (!user) return UserFailure(UserWrite::NotFound);
  const std::string secret = NewSecret();
  const std::optional<std::int64_t> id =
      store.AddToken(*user, SecretHash(secret), token, Note(call, token.created));
  if (!id) return JsonError(409, "the user was removed or given a new password meanwhile");
  token.id = *id;
  std::string body = TokenBody(token);
  body.pop_back();
  body += ',';
  AppendString(body, "token", secret);
  body += '}';
  Response response = JsonResponse(201, std::move(body));
  response.Set("Location", "/api/users/" + user->name + "/tokens/" + std::to_string(token.id));
  return response;
}

Response ListTokens(Service& service, const Call& call) {
  const std::optional<std::vector<Token>> tokens = service.Data().Tokens(call.params[0]);
  if (!tokens) return UserFailure(UserWrite::NotFound);
  std::string body = "[";
  for (const Token& token : *tokens) {
    if (body.size() > 1) body += ',';
    body += TokenBody(token);
  }
  body += ']';
  return JsonResponse(200, std::move(body));
}

Response RevokeToken(Service& service, const Call& call) {
  const std::optional<std::int64_t> id =
      ParseDecimal(call.params[1], 1, std::numeric_limits<std::int64_t>::max());
  if (!id) return JsonError(400, "the token in the path must be a token's id, a number from 1");
  if (service.Data().RemoveToken(call.params[0], *id, Note(call, service.Authority().Now())) !=
      UserWrite::Done) {
    return JsonError(404, "that user has no token of that id");
  }
  Response response;
  response.status = 204;
  return response;
}

}  // namespace

void AddApiRoutes(Service& service) {
  const auto add = [&service](std::string method, std::string pattern, Access access,
                              Response (*handler)(Service&, const Call&)) {
    service.Routes().Add({std::move(method),
                          std::move(pattern),
                          access,
                          RouteKind::Api,
                          [&service, handler](const Call& call) { return handler(service, call); },
                          {}});
  };
  constexpr std::string_view kController = "/api/controllers/{interface}/{node}";
  const std::string controller(kController);
  add("GET", "/api/site", Access::Viewer,
      [](Service& s, const Call&) { return JsonResponse(200, s.Data().SiteJson()); });
  add("GET", "/api/controllers", Access::Viewer, ListControllers);
  add("GET", controller, Access::Viewer, GetController);
  add("PUT", controller, Access::Editor, PutController);
  add("PATCH", controller, Access::Editor, PatchController);
  add("DELETE", controller, Access::Editor, DeleteController);
  add("GET", controller + "/pending", Access::Viewer, Pending);
  add("POST", controller + "/sent", Access::Editor, MarkSent);
  add("GET", "/api/audit", Access::Admin, Audit);
  add("GET", "/api/openapi.json", Access::Public,
      [](Service&, const Call&) { return JsonResponse(200, OpenApiDocument()); });
  add("POST", "/api/session", Access::Public, LogIn);
  add("GET", "/api/session", Access::Viewer, WhoAmI);
  add("DELETE", "/api/session", Access::Viewer, LogOut);
  add("GET", "/api/users", Access::Admin, ListUsers);
  add("POST", "/api/users", Access::Admin, AddUser);
  add("PATCH", "/api/users/{name}", Access::Admin, UpdateUser);
  add("DELETE", "/api/users/{name}", Access::Admin, RemoveUser);
  add("GET", "/api/users/{name}/tokens", Access::Admin, ListTokens);
  add("POST", "/api/users/{name}/tokens", Access::Admin, NewToken);
  add("DELETE", "/api/users/{name}/tokens/{id}", Access::Admin, RevokeToken);
}

}  // namespace ssmsg::server
