// Change sets from the pages: one change to many controllers (a holiday added, parts copied from
// another controller), previewed with what it changes in each, then applied to all of them or
// none; and a controller copied to a new address.

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "server/ChangeSets.h"
#include "server/Html.h"
#include "server/pages/Frame.h"
#include "server/pages/Routes.h"

namespace ssmsg::server::pages {
namespace {

// The parts of a controller a change set may copy, in the order the page offers them.
constexpr std::array<std::string_view, 10> kParts = {
    "Config", "XTRA", "Holidays", "TimeZones", "TimeGroups",
    "Ports",  "FLAN", "Inputs",   "Outputs",   "Readers"};

// The form's number `name`, from `low` to `high`; `otherwise` when it is left empty, nothing when
// it is not such a number.
std::optional<std::int32_t> Number(const Form& form, std::string_view name, std::int32_t low,
                                   std::int32_t high, std::int32_t otherwise) {
  const std::string* text = form.Get(name);
  if (text == nullptr || text->empty()) return otherwise;
  const std::optional<std::int64_t> number = ParseDecimal(*text, low, high);
  if (!number) return std::nullopt;
  return static_cast<std::int32_t>(*number);
}

// The change set the form describes, or why it describes none.
Result<ChangeSet, std::string> ChangeSetOf(const Form& form) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  ChangeSet change;
  const std::optional<std::int32_t> interfaceId = Number(form, "interface", 1, kMax, 0);
  const std::optional<std::int32_t> from = Number(form, "from", 0, kMax, 0);
  const std::optional<std::int32_t> to = Number(form, "to", 0, kMax, kMax);
  if (!interfaceId || !from || !to) {
    return Failure{
        std::string("give the interface from 1 and the nodes from 0, or leave them empty")};
  }
  change.select = {*interfaceId, *from, *to, form.Get("name") ? *form.Get("name") : ""};
  const std::string* what = form.Get("what");
  if (what != nullptr && *what == "holiday") {
    const std::optional<std::int32_t> month = Number(form, "month", 1, 12, 0);
    const std::optional<std::int32_t> day = Number(form, "day", 1, 31, 0);
    if (!month || !day || *month == 0 || *day == 0)
      return Failure{std::string("give the holiday's month (1 to 12) and day (1 to 31)")};
    change.append = "{\"Holidays\":[{\"Month\":" + std::to_string(*month) +
                    ",\"Day\":" + std::to_string(*day) + "}]}";
  } else if (what != nullptr && *what == "copy") {
    const std::string source = form.Get("source") ? *form.Get("source") : "";
    const std::size_t dot = source.find('.');
    change.copyFrom = dot == std::string::npos
                          ? std::nullopt
                          : ParseAddress(std::string_view(source).substr(0, dot),
                                         std::string_view(source).substr(dot + 1));
    if (!change.copyFrom) return Failure{std::string("give the controller to copy from as 1.2")};
    for (const std::string_view part : kParts) {
      if (form.Has("part", part)) change.copyParts.emplace_back(part);
    }
    if (change.copyParts.empty()) return Failure{std::string("choose the parts to copy")};
  } else {
    return Failure{std::string("choose what to change")};
  }
  return change;
}

// The form of a change set, showing `form`'s values (none: empty).
void ChangeSetForm(const Call& call, const Form* form, std::string& out) {
  const auto value = [&](std::string_view name) {
    const std::string* text = form != nullptr ? form->Get(name) : nullptr;
    std::string attribute = " name=\"" + std::string(name) + "\" value=\"";
    if (text != nullptr) AppendHtml(attribute, *text);
    return attribute + "\"";
  };
  const auto chosen = [&](std::string_view name, std::string_view option) {
    return form != nullptr && form->Has(name, option) ? " checked" : "";
  };
  out += "<form method=\"post\" class=\"edit\" action=\"" + Link(call, "/change-set") + "\">";
  out += CsrfField(call.caller->csrf);
  out +=
      "<fieldset><legend>The controllers</legend><label>Interface <input type=\"number\" "
      "min=\"1\"" +
      value("interface") + "></label> <label>nodes from <input type=\"number\" min=\"0\"" +
      value("from") + "></label> <label>to <input type=\"number\" min=\"0\"" + value("to") +
      "></label> <label>whose name holds <input type=\"text\" maxlength=\"200\"" + value("name") +
      "></label> <small>each left empty: any</small></fieldset><fieldset><legend>The "
      "change</legend><label><input type=\"radio\" name=\"what\" value=\"holiday\"" +
      chosen("what", "holiday") +
      " required> Add a holiday:</label> <label>month <input type=\"number\" min=\"1\" "
      "max=\"12\"" +
      value("month") + "></label> <label>day <input type=\"number\" min=\"1\" max=\"31\"" +
      value("day") + "></label><br><label><input type=\"radio\" name=\"what\" value=\"copy\"" +
      chosen("what", "copy") +
      "> Copy from controller</label> <label>at <input type=\"text\" placeholder=\"1.2\" "
      "maxlength=\"23\"" +
      value("source") + "></label> its ";
  for (const std::string_view part : kParts) {
    out += "<label><input type=\"checkbox\" name=\"part\" value=\"";
    out += part;
    out += "\"";
    out += chosen("part", part);
    out += "> ";
    out += part;
    out += "</label> ";
  }
  out +=
      "</fieldset><div class=\"actions\"><button type=\"submit\">See what it changes</button>"
      "</div></form>";
}

Response Start(Service&, const Call& call) {
  std::string main =
      "<section class=\"card\"><h2>Change many controllers</h2><p class=\"meta\">One change "
      "to every controller the selection picks, shown first with what it changes in each, then "
      "saved to all of them at once, or to none if one of them changed meanwhile.</p>";
  ChangeSetForm(call, nullptr, main);
  main += "</section>\n";
  return Page(call, 200, "Change many controllers", main);
}

// The preview (without "apply") or the change set applied (with it and each controller's ETag
// from the preview, "etag:1.2").
Response Submit(Service& service, const Call& call, const Form& form) {
  std::string main = "<section class=\"card\"><h2>Change many controllers</h2>";
  Result<ChangeSet, std::string> change = ChangeSetOf(form);
  if (!change) {
    main += "<p class=\"problem\">";
    AppendHtml(main, change.error());
    main += "</p>";
    ChangeSetForm(call, &form, main);
    main += "</section>\n";
    return Page(call, 422, "Change many controllers", main);
  }
  const bool apply = form.Get("apply") != nullptr;
  if (apply) {
    for (const auto& [name, value] : form.Fields()) {
      if (name.starts_with("etag:")) change->etags[name.substr(5)] = value;
    }
  }
  const Outcome<std::vector<ChangeSetItem>> items =
      apply
          ? ApplyChangeSet(service.Data(), *change,
                           ChangeNote(call, service.Authority().Now(), "POST", "/api/change-sets"))
          : PreviewChangeSet(service.Data(), *change);
  if (!items) {
    main += "<p class=\"problem\">Nothing was changed: ";
    std::string reason = items.error().message;
    for (const std::string& line : items.error().Lines())
      reason += (reason.empty() ? "" : "; ") + line;
    AppendHtml(main, reason);
    main += "</p>";
    ChangeSetForm(call, &form, main);
    main += "</section>\n";
    return Page(call, items.error().status == 412 ? 409 : items.error().status,
                "Change many controllers", main);
  }
  main += apply ? "<p class=\"saved\" role=\"status\">Changed " +
                      Count(items->size(), "controller") + ".</p>"
                : "<p class=\"meta\">" + Count(items->size(), "controller") +
                      " would change as below.</p>";
  main +=
      "<div class=\"scroll\"><table class=\"overview\"><thead><tr><th scope=\"col\">"
      "Controller</th><th scope=\"col\">Name</th><th scope=\"col\">Values changed</th>"
      "</tr></thead><tbody>";
  for (const ChangeSetItem& item : *items) {
    main += "<tr><td><a href=\"";
    AppendHtml(main, ControllerLink(call, item.address));
    main += "\">" + AddressText(item.address) + "</a></td><td>";
    AppendHtml(main, item.name);
    main += "</td><td>" + std::to_string(item.changed) + "</td></tr>";
  }
  main += "</tbody></table></div>";
  if (!apply && !items->empty()) {
    main += "<form method=\"post\" class=\"edit\" action=\"" + Link(call, "/change-set") + "\">";
    main += CsrfField(call.caller->csrf);
    for (const auto& [name, value] : form.Fields()) {
      if (name == "csrf" || name.starts_with("etag:")) continue;
      main += "<input type=\"hidden\" name=\"";
      AppendHtml(main, name);
      main += "\" value=\"";
      AppendHtml(main, value);
      main += "\">";
    }
    for (const ChangeSetItem& item : *items) {
      main += "<input type=\"hidden\" name=\"etag:" + AddressText(item.address) + "\" value=\"";
      AppendHtml(main, item.etag);
      main += "\">";
    }
    main += "<div class=\"actions\"><button type=\"submit\" name=\"apply\" value=\"yes\">Change " +
            Count(items->size(), "controller") + "</button><a href=\"" + Link(call, "/change-set") +
            "\">Start again</a></div></form>";
  }
  main += "</section>\n";
  return Page(call, 200, "Change many controllers", main);
}

}  // namespace

void AddChangeSetPages(Service& service) {
  AddPage(service, "GET", "/change-set", Access::Editor, Start);
  AddFormPage(service, "/change-set", Access::Editor, Submit);
}

}  // namespace ssmsg::server::pages
