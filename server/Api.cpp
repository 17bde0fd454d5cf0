#include "server/Api.h"

#include <algorithm>
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

#include "server/AccountOps.h"
#include "server/ChangeSets.h"
#include "server/Controllers.h"
#include "server/Csv.h"
#include "server/JsonValue.h"
#include "server/PendingCache.h"
#include "site/Findings.h"

namespace ssmsg::server {
namespace {

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

AuditNote Note(const Call& call, std::int64_t now) {
  const std::string_view target = call.request.target;
  return ChangeNote(call, now, call.request.method, target.substr(0, target.find('?')));
}

// --- Requests -----------------------------------------------------------------------------------

// The controller's address from the path, or the 400 that says why it is none.
Result<CSS_ControllerAddress, Response> AddressOf(const Call& call) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::optional<std::int64_t> interfaceId = ParseDecimal(call.params[0], 1, kMax);
  const std::optional<std::int64_t> node = ParseDecimal(call.params[1], 0, kMax);
  if (!interfaceId) {
    return Failure{
        JsonError(400, "the interface in the path must be a number from 1 to 2147483647")};
  }
  if (!node)
    return Failure{JsonError(400, "the node in the path must be a number from 0 to 2147483647")};
  return CSS_ControllerAddress{static_cast<std::int32_t>(*interfaceId),
                               static_cast<std::int32_t>(*node)};
}

// The body of media type `type` as `read` gives it (ReadJson its tree, CheckJson the text
// checked), or the 415 or 400 that says why not.
template <class T>
Result<T, Response> JsonBody(const Call& call, std::string_view type,
                             Result<T, std::string> (*read)(std::string_view)) {
  const std::string* contentType = call.request.Find("Content-Type");
  if (!contentType || MediaType(*contentType) != type)
    return Failure{JsonError(415, "the body must be " + std::string(type))};
  Result<T, std::string> body = read(call.request.body);
  if (!body) return Failure{JsonError(400, "the body is not valid JSON: " + body.error())};
  return std::move(*body);
}

// What a conditional write expects from the request's If-Match or If-None-Match, or the 428 that
// says it has neither.
Result<Expect, Response> ExpectOf(const Call& call, bool mayCreate) {
  if (mayCreate) {
    if (const std::string* none = call.request.Find("If-None-Match"); none && *none == "*") {
      return Expect{Expect::Kind::Absent, {}};
    }
  }
  const std::string* ifMatch = call.request.Find("If-Match");
  if (!ifMatch) {
    return Failure{JsonError(428, mayCreate ? "give If-Match with the controller's ETag, or "
                                              "If-None-Match: * to make a new controller"
                                            : "give If-Match with the controller's ETag")};
  }
  return Expect{Expect::Kind::Present, *ifMatch};
}

// The answer to a refused operation: its errors, or its message.
Response Answer(const Refusal& refusal) {
  if (!refusal.errors.empty()) return ErrorsResponse(refusal.status, refusal.Lines());
  return JsonError(refusal.status, refusal.message);
}

// --- Controllers --------------------------------------------------------------------------------

// A request to the controller in the path: its address, and for a change what its If-Match (or
// If-None-Match: *, where it may make the controller) expects.
struct ControllerCall {
  const Call& call;
  CSS_ControllerAddress address;
  Expect expect;
};
enum class Condition : unsigned char { None, Match, MatchOrAbsent };
using ControllerHandler = Response (*)(Service&, const ControllerCall&);

Response WrittenResponse(const ControllerCall& request, Outcome<Written> written) {
  if (!written) return Answer(written.error());
  Response response = ControllerResponse(written->made ? 201 : 200, std::move(written->state));
  if (written->made) {
    response.Set("Location", request.call.request.Outward(
                                 "/api/controllers/" + std::to_string(request.address.interfaceId) +
                                 "/" + std::to_string(request.address.node)));
  }
  return response;
}

Response GetController(Service& service, const ControllerCall& request) {
  Outcome<ControllerState> state = ReadController(service.Data(), request.address);
  if (!state) return Answer(state.error());
  if (const std::string* none = request.call.request.Find("If-None-Match");
      none && EtagMatches(*none, state->etag, true)) {
    Response response;
    response.status = 304;
    response.Set("ETag", state->etag);
    return response;
  }
  return ControllerResponse(200, std::move(*state));
}

Response PutController(Service& service, const ControllerCall& request) {
  const Result<std::string_view, Response> body =
      JsonBody(request.call, "application/json", CheckJson);
  if (!body) return body.error();
  return WrittenResponse(request,
                         ReplaceController(service.Data(), request.address, request.expect, *body,
                                           Note(request.call, service.Authority().Now())));
}

// With Merge-From in place of If-Match, the patch is merged with what was saved since the version
// it names.
Response PatchController(Service& service, const ControllerCall& request) {
  const std::string* from = request.call.request.Find("Merge-From");
  std::optional<Expect> expect;
  if (from == nullptr) {
    Result<Expect, Response> given = ExpectOf(request.call, false);
    if (!given) return std::move(given.error());
    expect = std::move(*given);
  }
  const Result<std::string_view, Response> patch =
      JsonBody(request.call, "application/merge-patch+json", CheckJson);
  if (!patch) return patch.error();
  const AuditNote note = Note(request.call, service.Authority().Now());
  return WrittenResponse(
      request, from != nullptr
                   ? MergeIntoController(service.Data(), request.address, *from, *patch, note)
                   : server::PatchController(service.Data(), request.address, std::move(*expect),
                                             *patch, note));
}

Response NoContent() {
  Response response;
  response.status = 204;
  return response;
}

// The audit entry's id that member `key` of the request's `body` gives, or nothing.
std::optional<std::int64_t> AuditIdIn(const JsonValue& body, std::string_view key) {
  const JsonValue* id = body.IsObject() ? body.Find(key) : nullptr;
  if (id == nullptr || id->kind != JsonValue::Kind::Number) return std::nullopt;
  return ParseDecimal(id->text, 1, std::numeric_limits<std::int64_t>::max());
}

// POST .../revert {"before": ID}: the controller as it was before its change ID.
Response RevertController(Service& service, const ControllerCall& request) {
  const Result<JsonValue, Response> body = JsonBody(request.call, "application/json", ReadJson);
  if (!body) return body.error();
  const std::optional<std::int64_t> id = AuditIdIn(*body, "before");
  if (!id) return JsonError(400, "the body must be {\"before\": ID}, the id of an audit entry");
  const Outcome<Reverted> reverted =
      server::RevertController(service.Data(), request.address, request.expect, *id,
                               Note(request.call, service.Authority().Now()));
  if (!reverted) return Answer(reverted.error());
  if (!reverted->state) return NoContent();
  return ControllerResponse(200, std::move(*reverted->state));
}

Response DeleteController(Service& service, const ControllerCall& request) {
  const Outcome<Removed> removed = RemoveController(service.Data(), request.address, request.expect,
                                                    Note(request.call, service.Authority().Now()));
  return removed ? NoContent() : Answer(removed.error());
}

// The members of a controller as a list gives it: Interface, Node, Name and ETag.
void AppendSummary(std::string& out, CSS_ControllerAddress address, std::string_view name,
                   std::string_view etag) {
  AppendField(out, "Interface");
  out += std::to_string(address.interfaceId);
  out += ',';
  AppendField(out, "Node");
  out += std::to_string(address.node);
  out += ',';
  AppendString(out, "Name", name);
  out += ',';
  AppendString(out, "ETag", etag);
}

Response ListControllers(Service& service, const Call&) {
  std::string body = "[";
  bool first = true;
  for (const ControllerSummary& summary : service.Data().Controllers()) {
    body += first ? "{" : ",{";
    first = false;
    AppendSummary(body, summary.address, summary.name, summary.etag);
    body += '}';
  }
  body += ']';
  return JsonResponse(200, std::move(body));
}

// {"Controllers":[{"Interface":1,"Node":2,"Name":"Hall","ETag":"...","Pending":3}, ...],
//  "Removed":[{"Interface":1,"Node":9,"Sent":"2026-03-01T12:00:00Z"}]}: the controllers that wait
// for messages (Pending null: the stored controller cannot be read), in the site's order, and
// those removed from the site that still hold what they were last sent.
Response ListWaiting(Service& service, const Call&) {
  const SiteWaiting site = Waiting(service.Data(), service.Waiting());
  std::string body = "{\"Controllers\":[";
  for (const ControllerWaiting& waiting : site.controllers) {
    if (waiting.pending == std::size_t{0}) continue;
    body += body.back() == '[' ? "{" : ",{";
    const ControllerSummary& summary = waiting.controller;
    AppendSummary(body, summary.address, summary.name, summary.etag);
    body += ",\"Pending\":";
    body += waiting.pending ? std::to_string(*waiting.pending) : "null";
    body += '}';
  }
  body += "],\"Removed\":[";
  for (const SentMark& mark : site.removed) {
    body += body.back() == '[' ? "{" : ",{";
    AppendField(body, "Interface");
    body += std::to_string(mark.address.interfaceId) + ',';
    AppendField(body, "Node");
    body += std::to_string(mark.address.node) + ',';
    AppendString(body, "Sent", IsoTime(mark.time));
    body += '}';
  }
  body += "]}";
  return JsonResponse(200, std::move(body));
}

Response Pending(Service& service, const ControllerCall& request) {
  const Outcome<PendingMessages> pending = PendingOf(service.Data(), request.address);
  if (!pending) return Answer(pending.error());
  const auto list = [](std::string& out, const std::vector<std::string>& texts) {
    out += '[';
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (i > 0) out += ',';
      AppendJsonString(out, texts[i]);
    }
    out += ']';
  };
  std::string body = "{\"messages\":";
  list(body, pending->messages);
  body += ",\"warnings\":";
  list(body, pending->warnings);
  body += '}';
  Response response = JsonResponse(200, std::move(body));
  response.Set("ETag", pending->etag);
  return response;
}

Response MarkSent(Service& service, const ControllerCall& request) {
  const Outcome<ControllerState> marked =
      server::MarkSent(service.Data(), request.address, request.expect,
                       Note(request.call, service.Authority().Now()));
  return marked ? NoContent() : Answer(marked.error());
}

// --- Change sets --------------------------------------------------------------------------------

// A whole number of `value` from `low` to `high`, or nothing.
std::optional<std::int32_t> Whole(const JsonValue& value, std::int32_t low, std::int32_t high) {
  if (value.kind != JsonValue::Kind::Number) return std::nullopt;
  const std::optional<std::int64_t> number = ParseDecimal(value.text, low, high);
  if (!number) return std::nullopt;
  return static_cast<std::int32_t>(*number);
}

// The change set of a request's body, or why it is none ("select.from: ...").
Result<ChangeSet, std::string> ChangeSetOf(const JsonValue& body, bool& apply) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  if (!body.IsObject()) return Failure{std::string("the body must be an object")};
  ChangeSet change;
  for (const JsonMember& member : body.members) {
    const JsonValue& value = member.value;
    if (member.name == "select") {
      if (!value.IsObject()) return Failure{std::string("select must be an object")};
      for (const JsonMember& field : value.members) {
        std::optional<std::int32_t> number;
        if (field.name == "name" && field.value.kind == JsonValue::Kind::String) {
          change.select.name = field.value.text;
          continue;
        }
        if (field.name == "interface") number = Whole(field.value, 1, kMax);
        if (field.name == "from" || field.name == "to") number = Whole(field.value, 0, kMax);
        if (!number) {
          return Failure{"select." + field.name +
                         " must be an interface (1 and up), a node (from, to: 0 and up) or a "
                         "part of a name"};
        }
        (field.name == "interface" ? change.select.interfaceId
         : field.name == "from"    ? change.select.from
                                   : change.select.to) = *number;
      }
    } else if (member.name == "copy") {
      const JsonValue* from = value.IsObject() ? value.Find("from") : nullptr;
      const JsonValue* parts = value.IsObject() ? value.Find("parts") : nullptr;
      const std::string_view text = from != nullptr && from->kind == JsonValue::Kind::String
                                        ? std::string_view(from->text)
                                        : std::string_view();
      const std::size_t dot = text.find('.');
      const std::optional<CSS_ControllerAddress> address =
          dot == std::string_view::npos ? std::nullopt
                                        : ParseAddress(text.substr(0, dot), text.substr(dot + 1));
      if (!address || parts == nullptr || parts->kind != JsonValue::Kind::Array) {
        return Failure{
            std::string("copy must be {\"from\": \"I.N\", \"parts\": [names of members]}")};
      }
      change.copyFrom = address;
      for (const JsonValue& part : parts->items) {
        if (part.kind != JsonValue::Kind::String)
          return Failure{std::string("copy.parts must be names of members")};
        change.copyParts.push_back(part.text);
      }
    } else if (member.name == "patch") {
      if (!value.IsObject()) return Failure{std::string("patch must be a merge patch object")};
      change.patch = ToJson(value);
    } else if (member.name == "append") {
      change.append = ToJson(value);
    } else if (member.name == "etags") {
      if (!value.IsObject()) return Failure{std::string("etags must be an object")};
      for (const JsonMember& etag : value.members) {
        if (etag.value.kind != JsonValue::Kind::String)
          return Failure{"etags." + etag.name + " must be an ETag"};
        change.etags[etag.name] = etag.value.text;
      }
    } else if (member.name == "apply") {
      if (value.kind != JsonValue::Kind::True && value.kind != JsonValue::Kind::False)
        return Failure{std::string("apply must be true or false")};
      apply = value.kind == JsonValue::Kind::True;
    } else {
      return Failure{"unknown member " + member.name};
    }
  }
  return change;
}

// POST /api/change-sets: what the change set would change (apply false, the default), or the
// change set applied.
Response ChangeSetRoute(Service& service, const Call& call) {
  const Result<JsonValue, Response> body = JsonBody(call, "application/json", ReadJson);
  if (!body) return body.error();
  bool apply = false;
  const Result<ChangeSet, std::string> change = ChangeSetOf(*body, apply);
  if (!change) return JsonError(400, change.error());
  const Outcome<std::vector<ChangeSetItem>> items =
      apply ? ApplyChangeSet(service.Data(), *change, Note(call, service.Authority().Now()))
            : PreviewChangeSet(service.Data(), *change);
  if (!items) return Answer(items.error());
  std::string out =
      apply ? "{\"applied\":true,\"controllers\":[" : "{\"applied\":false,\"controllers\":[";
  for (std::size_t k = 0; k < items->size(); ++k) {
    const ChangeSetItem& item = (*items)[k];
    out += k == 0 ? "{" : ",{";
    AppendSummary(out, item.address, item.name, item.etag);
    out += ',';
    AppendField(out, "changed");
    out += std::to_string(item.changed);
    out += '}';
  }
  out += "]}";
  return JsonResponse(200, std::move(out));
}

// POST /api/change-sets/revert {"entry": ID}: every controller of the change that audit entry ID
// is one of, as it was before it.
Response RevertChangeRoute(Service& service, const Call& call) {
  const Result<JsonValue, Response> body = JsonBody(call, "application/json", ReadJson);
  if (!body) return body.error();
  const std::optional<std::int64_t> id = AuditIdIn(*body, "entry");
  if (!id) return JsonError(400, "the body must be {\"entry\": ID}, the id of an audit entry");
  const Outcome<std::size_t> reverted =
      RevertChange(service.Data(), *id, Note(call, service.Authority().Now()));
  if (!reverted) return Answer(reverted.error());
  return JsonResponse(200, "{\"controllers\":" + std::to_string(*reverted) + "}");
}

// --- CSV ----------------------------------------------------------------------------------------

// GET /api/csv?fields=Name,Time.Debounce: the values of the site's records, a row each.
Response CsvExport(Service& service, const Call& call) {
  const std::string* fields = call.target.Query("fields");
  Outcome<std::string> csv = ExportCsv(service.Data(), fields != nullptr ? *fields : "Name");
  if (!csv) return Answer(csv.error());
  Response response;
  response.Set("Content-Type", "text/csv; charset=utf-8");
  response.body = std::move(*csv);
  return response;
}

// POST /api/csv: each row's value set, in one transaction.
Response CsvImport(Service& service, const Call& call) {
  const std::string* contentType = call.request.Find("Content-Type");
  if (!contentType || MediaType(*contentType) != "text/csv")
    return JsonError(415, "the body must be text/csv");
  const Outcome<CsvImported> imported =
      ImportCsv(service.Data(), call.request.body, Note(call, service.Authority().Now()));
  if (!imported) return Answer(imported.error());
  std::string body = "{";
  AppendField(body, "controllers");
  body += std::to_string(imported->controllers);
  body += ',';
  AppendField(body, "values");
  body += std::to_string(imported->values);
  body += '}';
  return JsonResponse(200, std::move(body));
}

Response Audit(Service& service, const Call& call) {
  const Outcome<AuditPage> page =
      ReadAudit(service.Data(), {call.target.Query("after"), nullptr,
                                 call.target.Query("controller"), call.target.Query("user"),
                                 call.target.Query("since"), call.target.Query("until")});
  if (!page) return Answer(page.error());
  std::string body = "{\"entries\":[";
  for (std::size_t i = 0; i < page->entries.size(); ++i) {
    if (i > 0) body += ',';
    body += AuditEntryJson(page->entries[i]);
  }
  body += "],\"next\":";
  body += page->next ? std::to_string(*page->next) : "null";
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
  const Result<JsonValue, Response> body = JsonBody(call, "application/json", ReadJson);
  if (!body) return body.error();
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
  for (const User& user : server::ListUsers(service.Data())) {
    if (!first) body += ',';
    first = false;
    body += SessionBody(user, "");
  }
  body += ']';
  return JsonResponse(200, std::move(body));
}

// The answer to a refused change of accounts: its errors, or its message.
Response AccountAnswer(const Refusal& refusal) {
  if (!refusal.errors.empty()) return ErrorsResponse(refusal.status, AccountLines(refusal));
  return JsonError(refusal.status, refusal.message);
}

// A member of a body as a field given.
Given GivenOf(const JsonValue* value) {
  if (value == nullptr) return {};
  switch (value->kind) {
    case JsonValue::Kind::String:
      return {Given::Kind::Text, value->text};
    case JsonValue::Kind::Number:
      return {Given::Kind::Number, value->text};
    default:
      return {Given::Kind::Other, {}};
  }
}

// The keys of the object `body` that are none of `known`, each an error.
SiteErrors UnknownKeys(const JsonValue& body, std::initializer_list<std::string_view> known) {
  SiteErrors errors;
  for (const JsonMember& member : body.members) {
    if (std::find(known.begin(), known.end(), member.name) == known.end())
      errors.push_back({{}, {}, member.name + ": unknown key"});
  }
  return errors;
}

// What a user's body asks; its name is read by the caller that wants it.
UserRequest ReadUserRequest(const JsonValue& body) {
  UserRequest request;
  request.errors = UnknownKeys(body, {"name", "role", "password"});
  request.role = GivenOf(body.Find("role"));
  request.password = GivenOf(body.Find("password"));
  return request;
}

Response AddUser(Service& service, const Call& call) {
  const Result<JsonValue, Response> body = JsonBody(call, "application/json", ReadJson);
  if (!body) return body.error();
  if (!body->IsObject()) {
    return ErrorsResponse(422, {"the body must be an object", "name: a string is required"});
  }
  UserRequest request = ReadUserRequest(*body);
  request.name = GivenOf(body->Find("name"));
  const Outcome<User> user = server::AddUser(service.Data(), service.Authority(), request,
                                             Note(call, service.Authority().Now()));
  if (!user) return AccountAnswer(user.error());
  Response response = JsonResponse(201, SessionBody(*user, ""));
  response.Set("Location", call.request.Outward("/api/users/" + user->name));
  return response;
}

Response UpdateUser(Service& service, const Call& call) {
  const Result<JsonValue, Response> body = JsonBody(call, "application/json", ReadJson);
  if (!body) return body.error();
  if (!body->IsObject()) return ErrorsResponse(422, {"the body must be an object"});
  const Outcome<User> user =
      server::UpdateUser(service.Data(), service.Authority(), call.params[0],
                         ReadUserRequest(*body), Note(call, service.Authority().Now()));
  if (!user) return AccountAnswer(user.error());
  return JsonResponse(200, SessionBody(*user, ""));
}

Response RemoveUser(Service& service, const Call& call) {
  const Outcome<Removed> removed =
      server::RemoveUser(service.Data(), call.params[0], Note(call, service.Authority().Now()));
  if (!removed) return AccountAnswer(removed.error());
  Response response;
  response.status = 204;
  return response;
}

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

Response NewToken(Service& service, const Call& call) {
  // No body asks for a token named "token" that never ends.
  TokenRequest request;
  if (!call.request.body.empty()) {
    const Result<JsonValue, Response> body = JsonBody(call, "application/json", ReadJson);
    if (!body) return body.error();
    if (!body->IsObject()) return ErrorsResponse(422, {"the body must be an object"});
    request.errors = UnknownKeys(*body, {"name", "expires"});
    request.name = GivenOf(body->Find("name"));
    if (const JsonValue* expires = body->Find("expires");
        expires != nullptr && expires->kind != JsonValue::Kind::Null) {
      request.expires = GivenOf(expires);
    }
  }
  const Outcome<MadeToken> made = server::NewToken(service.Data(), call.params[0], request,
                                                   Note(call, service.Authority().Now()));
  if (!made) return AccountAnswer(made.error());
  std::string body = TokenBody(made->token);
  body.pop_back();
  body += ',';
  AppendString(body, "token", made->secret);
  body += '}';
  Response response = JsonResponse(201, std::move(body));
  response.Set("Location", call.request.Outward("/api/users/" + made->user + "/tokens/" +
                                                std::to_string(made->token.id)));
  return response;
}

Response ListTokens(Service& service, const Call& call) {
  const Outcome<std::vector<Token>> tokens = server::ListTokens(service.Data(), call.params[0]);
  if (!tokens) return AccountAnswer(tokens.error());
  std::string body = "[";
  for (const Token& token : *tokens) {
    if (body.size() > 1) body += ',';
    body += TokenBody(token);
  }
  body += ']';
  return JsonResponse(200, std::move(body));
}

Response RevokeToken(Service& service, const Call& call) {
  const Outcome<Removed> revoked = server::RevokeToken(
      service.Data(), call.params[0], call.params[1], Note(call, service.Authority().Now()));
  if (!revoked) return AccountAnswer(revoked.error());
  Response response;
  response.status = 204;
  return response;
}

}  // namespace

void AddApiRoutes(Service& service) {
  const auto add = [&service](std::string method, std::string pattern, Access access,
                              Response (*handler)(Service&, const Call&)) {
    service.Routes().Add(std::move(method), std::move(pattern), access, RouteKind::Api,
                         [&service, handler](const Call& call) { return handler(service, call); });
  };
  // A controller's routes: the address read and the condition checked before the handler.
  const auto addController = [&service](std::string method, std::string_view path, Access access,
                                        Condition condition, ControllerHandler handler) {
    service.Routes().Add(
        std::move(method), "/api/controllers/{interface}/{node}" + std::string(path), access,
        RouteKind::Api, [&service, condition, handler](const Call& call) {
          Result<CSS_ControllerAddress, Response> address = AddressOf(call);
          if (!address) return std::move(address.error());
          Expect expect;
          if (condition != Condition::None) {
            Result<Expect, Response> given = ExpectOf(call, condition == Condition::MatchOrAbsent);
            if (!given) return std::move(given.error());
            expect = std::move(*given);
          }
          return handler(service, {call, *address, std::move(expect)});
        });
  };
  add("GET", "/api/site", Access::Viewer,
      [](Service& s, const Call&) { return JsonResponse(200, s.Data().SiteJson()); });
  add("GET", "/api/controllers", Access::Viewer, ListControllers);
  add("GET", "/api/pending", Access::Viewer, ListWaiting);
  add("POST", "/api/change-sets", Access::Editor, ChangeSetRoute);
  add("POST", "/api/change-sets/revert", Access::Editor, RevertChangeRoute);
  add("GET", "/api/csv", Access::Viewer, CsvExport);
  // A whole site's names take more than one controller does.
  service.Routes().Add(
      "POST", "/api/csv", Access::Editor, RouteKind::Api,
      [&service](const Call& call) { return CsvImport(service, call); }, /*bulk=*/true);
  addController("GET", "", Access::Viewer, Condition::None, GetController);
  addController("PUT", "", Access::Editor, Condition::MatchOrAbsent, PutController);
  addController("PATCH", "", Access::Editor, Condition::None, PatchController);
  addController("DELETE", "", Access::Editor, Condition::Match, DeleteController);
  addController("GET", "/pending", Access::Viewer, Condition::None, Pending);
  addController("POST", "/sent", Access::Editor, Condition::MatchOrAbsent, MarkSent);
  addController("POST", "/revert", Access::Editor, Condition::MatchOrAbsent, RevertController);
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
  AddChangeRoutes(service);
}

}  // namespace ssmsg::server
