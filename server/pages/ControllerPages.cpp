// The overview of the controllers, a controller's page (its records and schedules as the report
// draws them, then the forms that change them), saving a form through the API, and the page of
// a conflict when someone else saved the controller first.

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSToolEnum.h>
#include <ssmsg/SiteDiff.h>

#include "report/ReportHtml.h"
#include "server/ChangeSets.h"
#include "server/Controllers.h"
#include "server/Html.h"
#include "server/Merge.h"
#include "server/PendingCache.h"
#include "server/pages/Frame.h"
#include "server/pages/RecordForms.h"
#include "server/pages/Routes.h"
#include "site/Findings.h"
#include "site/SiteData.h"
#include "site/file/SiteFile.h"

namespace ssmsg::server::pages {
namespace {

// A form sent back to its page with errors: what was in it, and the ETag it was opened with.
struct Draft {
  FormTarget target;
  Form values;
  FieldErrors errors;
  std::string etag;
  bool doubts = false;  // `errors` are values that mean nothing to a controller, to be confirmed
};

// What saving `after` over `before` (each a controller's JSON) would bring that means nothing to
// a controller (an hour 25; a zone it does not have), which a form asks about before it saves.
SiteErrors NewDoubts(std::string_view before, std::string_view after) {
  const auto doubts = [](std::string_view json) {
    SiteErrors found;
    CSApplicationManagerStd records;
    if (!ReadControllerText(json, records)) return found;
    SiteFindings findings;
    findings.AddController(0, records);
    for (const SiteWarning& warning : findings.Warnings(CSToolEnum())) {
      if (warning.kind == SiteWarning::Kind::Meaningless ||
          warning.kind == SiteWarning::Kind::Dangling) {
        found.push_back({{}, warning.path.Text(), warning.what});
      }
    }
    return found;
  };
  const SiteErrors had = doubts(before);
  SiteErrors added;
  for (SiteError& doubt : doubts(after)) {
    const bool known = std::any_of(had.begin(), had.end(), [&](const SiteError& old) {
      return old.path == doubt.path && old.message == doubt.message;
    });
    if (!known) added.push_back(std::move(doubt));
  }
  return added;
}

// The overview's row of the controller at `position` of the site: what the report's "back to the
// overview" link points at.
std::string RowId(std::size_t position) {
  return "row-" + std::to_string(position + 1);
}

constexpr std::chrono::milliseconds kOverviewCounting{300};

Response Overview(Service& service, const Call& call) {
  // A site of large controllers that all changed takes long to count: the overview counts for a
  // moment, and the rest is counted on the page of what is waiting.
  const std::vector<ControllerWaiting> controllers =
      Waiting(service.Data(), service.Waiting(), kOverviewCounting).controllers;
  // "?find=": the controllers whose address ("1.2") begins so or whose name holds it.
  const std::string* find = call.target.Query("find");
  if (find != nullptr && find->empty()) find = nullptr;
  std::string rows;
  std::size_t shown = 0;
  for (std::size_t k = 0; k < controllers.size(); ++k) {
    const ControllerSummary& controller = controllers[k].controller;
    const ControllerWaiting& waiting = controllers[k];
    const std::string address = std::to_string(controller.address.interfaceId) + "." +
                                std::to_string(controller.address.node);
    if (find != nullptr && address.rfind(*find, 0) != 0 && !NameHolds(controller.name, *find))
      continue;
    ++shown;
    const std::string url = ControllerLink(call, controller.address);
    // The row keeps its place in the site: the report links to it by that.
    rows += "<tr id=\"" + RowId(k) + "\"><td><a href=\"" + url + "\">";
    rows += address;
    rows += "</a></td><td>";
    if (controller.name.empty()) {
      rows += "<span class=\"missing\">(no name)</span>";
    } else {
      AppendHtml(rows, controller.name);
    }
    rows += "</td><td class=\"n\"><a href=\"" + url + "/pending\">";
    if (!waiting.counted) {
      rows += "count";
    } else if (!waiting.pending) {
      rows += "cannot be read";
    } else {
      rows += *waiting.pending == 0 ? "none" : std::to_string(*waiting.pending);
    }
    rows += "</a></td></tr>";
  }
  std::string main = "<section class=\"card\"><h2>Controllers</h2><p class=\"meta\">";
  if (find != nullptr) main += std::to_string(shown) + " of ";
  main += Count(controllers.size(), "controller");
  main += "</p><form method=\"get\" action=\"" + Link(call, "/") +
          "\" class=\"inline\" role=\"search\"><label>Find "
          "<input type=\"search\" name=\"find\" maxlength=\"200\" value=\"";
  if (find != nullptr) AppendHtml(main, *find);
  main +=
      "\"></label> <button type=\"submit\" class=\"quiet\">Find</button> <small>an address "
      "(1.2) or part of a name</small></form><div class=\"scroll\"><table class=\"overview\">"
      "<thead><tr><th scope=\"col\">Controller</th><th scope=\"col\">Name</th><th "
      "scope=\"col\">Messages waiting</th></tr></thead><tbody>";
  main += rows;
  main += "</tbody></table></div></section>\n";
  return Page(call, 200, "Controllers", main);
}

// The report's link from a controller back to the overview ("index.html#row-K" beside the
// controller's page): the fragment stays with the browser across the redirect.
Response BackToOverview(Service&, const Call& call) {
  return Redirect(call.request, "/");
}

// A site made of one controller, loaded: its records and its texts.
struct Loaded {
  CSApplicationManagerStd store;
  CSToolEnum enums;
};

void Load(const CSS_Site& site, Loaded& loaded) {
  site.LoadController(0, loaded.store);
  site.LoadEnumTexts(loaded.enums);
}

// A controller read from the store for its pages: the site it is in now and the one last sent,
// its tree, and the report's view of it (with the diff from the one last sent).
struct Drawing {
  CSS_ControllerAddress address;
  std::string etag;  // the version drawn
  CSS_SiteLoadResult current;
  CSS_SiteLoadResult sent;
  JsonValue tree;
  const JsonValue* controller = nullptr;
  Loaded now;
  std::optional<Loaded> before;
  CSS_DiffResult diff;
  std::vector<ReportWarning> warnings;
  ReportControllerView view;
};

std::vector<ReportWarning> WarningsOf(const CSS_Site& site, const CSToolEnum& enums);

// Null when the stored controller does not read.
std::unique_ptr<Drawing> Draw(const PendingSites& sites, CSS_ControllerAddress address) {
  auto drawing = std::make_unique<Drawing>();
  Drawing& d = *drawing;
  d.address = address;
  d.etag = sites.etag;
  d.current = LoadSiteText(sites.current, "site");
  d.sent = LoadSiteText(sites.sent ? *sites.sent : std::string("{\"Controllers\":[]}"), "sent");
  JsonRead json = ReadJson(sites.current);
  if (json) d.tree = std::move(*json);
  const JsonValue* controllers = json ? d.tree.Find("Controllers") : nullptr;
  if (!d.current.site || !d.sent.site || controllers == nullptr || controllers->items.size() != 1)
    return nullptr;
  d.controller = &controllers->items.front();
  Load(*d.current.site, d.now);
  if (d.sent.site->ControllerCount() == 1) Load(*d.sent.site, d.before.emplace());
  CSS_DiffOptions options;
  options.selection = {address.interfaceId, address.node};
  d.diff = MakeSiteDiff(*d.sent.site, *d.current.site, options,
                        [](const CSS_SiteMessage&) { return true; });
  d.warnings = WarningsOf(*d.current.site, d.now.enums);
  ReportControllerView& view = d.view;
  view.number = sites.position + 1;
  view.address = address;
  view.store = &d.now.store;
  view.enums = &d.now.enums;
  view.before = d.before ? &d.before->store : nullptr;
  view.beforeEnums = d.before ? &d.before->enums : nullptr;
  view.compared = sites.sent.has_value();
  view.messages = d.diff.messagesFull;
  view.diffMessages = d.diff.messagesWritten;
  view.warnings = &d.warnings;
  view.pages = true;
  return drawing;
}

// The controller of the path, drawn from one reading of the store (so that the controller, its
// place and its ETag are of one version); or the page that says why not.
Result<std::unique_ptr<Drawing>, Response> DrawController(Service& service, const Call& call) {
  const std::optional<CSS_ControllerAddress> address = AddressOf(call);
  if (!address) return Failure{MessagePage(call, 404, kNoController)};
  const std::optional<PendingSites> sites = service.Data().Pending(*address);
  if (!sites) return Failure{MessagePage(call, 404, kNoController)};
  std::unique_ptr<Drawing> drawing = Draw(*sites, *address);
  if (!drawing) return Failure{MessagePage(call, 500, "the stored controller cannot be read")};
  return drawing;
}

// What the controller's forms may name: the time zones and time groups it is sent, as its
// warnings count them.
FormChoices ChoicesOf(const CSApplicationManagerStd& store) {
  FormChoices choices;
  for (const auto& [number, zone] : SentZones(store)) {
    if (!choices.zones.empty() && choices.zones.back().number == number) continue;
    choices.zones.push_back(
        {number, zone->StartHour, zone->StartMinute, zone->EndHour, zone->EndMinute});
  }
  choices.timeGroups = SentTimeGroups(store);
  return choices;
}

// The warnings of the controller, each with the record it concerns, as the report shows them.
std::vector<ReportWarning> WarningsOf(const CSS_Site& site, const CSToolEnum& enums) {
  std::vector<ReportWarning> warnings;
  for (const SiteWarning& warning : CSS_SiteAccess::Of(site).findings.Warnings(enums))
    warnings.push_back(
        {warning.List(), warning.Position(), warning.path.Text() + ": " + warning.what});
  return warnings;
}

// A section shows its forms on the controller's page while it is short; a longer one has a page
// of its own, a few records at a time, so that no page grows with the controller.
constexpr std::size_t kInlineRecords = 16;
constexpr std::size_t kInlineRows = 64;
// The records of a page: about as many inputs on each, so fewer of a record with many fields;
// time groups hold a table of zones each, so four.
constexpr std::size_t kFieldsAPage = 600;
std::size_t PerPage(const FormSection& section) {
  if (section.layout == FormLayout::Groups) return 4;
  std::size_t fields = 0;
  for (const FormPart& part : section.parts)
    fields += part.fields.size() + part.count;
  return std::clamp<std::size_t>(kFieldsAPage / std::max<std::size_t>(fields, 1), 4, 16);
}

// Whether the section's records are shown a page of them at a time when it is long.
bool Paged(const FormSection& section) {
  return section.layout == FormLayout::Records || section.layout == FormLayout::Groups;
}

// How many records the section's list holds in `controller`.
std::size_t LengthOf(const FormSection& section, const JsonValue& controller) {
  const JsonValue* list = controller.Find(section.key);
  return list != nullptr && list->kind == JsonValue::Kind::Array ? list->items.size() : 0;
}

bool ShownInline(const FormSection& section, std::size_t length) {
  switch (section.layout) {
    case FormLayout::Controller:
      return true;
    case FormLayout::Table:
      return length <= kInlineRows;
    case FormLayout::Records:
    case FormLayout::Groups:
      break;
  }
  return length <= kInlineRecords;
}

// The page of the section's records that shows the record at `index`.
std::size_t PageOf(const FormSection& section, std::size_t index) {
  return index / PerPage(section);
}

// Where the form of `target` is shown: the controller's page, or its section's page.
std::string FormPage(CSS_ControllerAddress address, const FormTarget& target,
                     const JsonValue& controller) {
  if (ShownInline(*target.section, LengthOf(*target.section, controller)))
    return ControllerUrl(address) + "?";
  std::string url = ControllerUrl(address) + "/edit/" + std::string(target.section->key) + "?";
  if (target.PerRecord())
    url += "page=" + std::to_string(PageOf(*target.section, target.index) + 1) + "&";
  return url;
}

// The forms of the section, those of the records of page `page` (from 0; none: all of them), the
// draft's in place of its own.
void SectionForms(const Call& call, CSS_ControllerAddress address, const FormSection& section,
                  const JsonValue& controller, const CSToolEnum& enums, const FormChoices& choices,
                  const std::string& etag, const Draft* draft, std::optional<std::size_t> page,
                  std::string& out) {
  const std::string base = ControllerLink(call, address) + "/edit/";
  // The form just saved stays open, and the one asked for is opened; each other record is a link
  // to its page with its form open.
  const std::string* saved = call.target.Query("saved");
  const std::string* opened = call.target.Query("open");
  const std::string here =
      page ? base + std::string(section.key) + "?page=" + std::to_string(*page + 1) + "&"
           : ControllerLink(call, address) + "?";
  const std::size_t length = LengthOf(section, controller);
  const bool perRecord = Paged(section);
  std::size_t first = 0;
  std::size_t end = perRecord ? length + 1 : 1;
  if (perRecord && page) {
    first = std::min(*page * PerPage(section), length);
    end = std::min(first + PerPage(section), length);
    if (end == length) ++end;  // the last page adds a record
  }
  std::string lists;  // of the records offered, shared by the forms
  for (std::size_t k = first; k < end; ++k) {
    const FormTarget target{&section, k};
    std::string action = base + std::string(section.key);
    if (target.PerRecord()) action += "/" + std::to_string(k);
    const bool drafted =
        draft != nullptr && draft->target.section == &section && draft->target.index == k;
    const Form values = drafted ? draft->values : ValuesOf(target, controller);
    const std::string anchor = target.Anchor();
    const std::string opens = here + "open=" + anchor + "#" + anchor;
    const FormView view{enums,
                        action,
                        drafted ? draft->etag : etag,
                        call.caller->csrf,
                        drafted ? &draft->errors : nullptr,
                        drafted || (saved != nullptr && *saved == anchor) ||
                            (opened != nullptr && *opened == anchor),
                        opens,
                        target.PerRecord() && k == length,
                        drafted && draft->doubts,
                        &choices,
                        &lists};
    RenderForm(target, values, view, out);
  }
  out += lists;
}

// The links to the pages of a section's records.
void Pager(const Call& call, CSS_ControllerAddress address, const FormSection& section,
           std::size_t length, std::size_t page, std::string& out) {
  const std::size_t pages = PageOf(section, length) + 1;
  out += "<nav class=\"pager\" aria-label=\"pages of ";
  AppendHtml(out, section.title);
  out += "\">";
  for (std::size_t p = 0; p < pages; ++p) {
    const std::size_t from = p * PerPage(section) + 1;
    const std::string words = std::to_string(from) + "&ndash;" +
                              std::to_string(std::min(from + PerPage(section) - 1, length + 1));
    if (p == page) {
      out += "<b aria-current=\"page\">" + words + "</b> ";
      continue;
    }
    out += "<a href=\"";
    AppendHtml(out, ControllerLink(call, address) + "/edit/" + std::string(section.key) +
                        "?page=" + std::to_string(p + 1));
    out += "\">" + words + "</a> ";
  }
  out += "</nav>";
}

// The forms of every section, those of a long one behind a link to its page.
void Forms(const Call& call, CSS_ControllerAddress address, const JsonValue& controller,
           const Loaded& now, const std::string& etag, const Draft* draft, std::string& out) {
  const FormChoices choices = ChoicesOf(now.store);
  out +=
      "<section class=\"card\" id=\"edit\"><h2>Change</h2><p class=\"meta\">Each form saves "
      "its part of the controller as it was when this page was made; if someone saved the "
      "controller since, the two are put together.</p>";
  for (const FormSection& section : FormSections()) {
    out += "<h3 id=\"edit-";
    out += section.key;
    out += "-list\">";
    AppendHtml(out, section.title);
    out += "</h3>";
    const std::size_t length = LengthOf(section, controller);
    if (ShownInline(section, length)) {
      SectionForms(call, address, section, controller, now.enums, choices, etag, draft,
                   std::nullopt, out);
      continue;
    }
    out += "<p><a href=\"";
    AppendHtml(out, ControllerLink(call, address) + "/edit/" + std::string(section.key));
    out += "\">Change the " + Count(length, std::string(section.item)) + "</a>";
    if (section.layout != FormLayout::Table)
      out += ", " + std::to_string(PerPage(section)) + " a page";
    out += "</p>";
  }
  out += "</section>\n";
}

// The forms of one section of the controller, on a page of their own: those of the records of
// the page the query asks for ("page", from 1), or the draft's.
Response ShowSection(Service& service, const Call& call, int status, const FormSection& section,
                     const Draft* draft) {
  Result<std::unique_ptr<Drawing>, Response> drawn = DrawController(service, call);
  if (!drawn) return std::move(drawn.error());
  const std::unique_ptr<Drawing>& drawing = *drawn;
  const CSS_ControllerAddress* address = &drawing->address;
  const JsonValue& controller = *drawing->controller;
  const Loaded& now = drawing->now;
  const std::size_t length = LengthOf(section, controller);
  std::size_t page = 0;
  if (draft != nullptr) {
    page = PageOf(section, draft->target.index);
  } else if (const std::string* asked = call.target.Query("page")) {
    const std::optional<std::int64_t> number =
        ParseDecimal(*asked, 1, static_cast<std::int64_t>(PageOf(section, length) + 1));
    if (!number) return MessagePage(call, 404, "there is no such page of records");
    page = static_cast<std::size_t>(*number - 1);
  }
  const std::string name =
      std::to_string(address->interfaceId) + "." + std::to_string(address->node);
  std::string main = "<section class=\"card\" id=\"edit\"><h2>";
  AppendHtml(main, std::string(section.title));
  main += " of controller " + name + "</h2><p class=\"meta\"><a href=\"";
  AppendHtml(main, ControllerLink(call, *address));
  main +=
      "\">Back to the controller</a> &middot; " + Count(length, std::string(section.item)) + "</p>";
  if (draft != nullptr) {
    main += "<p class=\"problem\">";
    main += draft->doubts ? "Not saved yet: some values mean nothing to a controller."
                          : "Your change was not saved.";
    main += "</p>";
  } else if (call.target.Query("saved") != nullptr) {
    main += "<p class=\"saved\" role=\"status\">Saved.</p>";
  }
  const bool paged = Paged(section);
  if (paged) Pager(call, *address, section, length, page, main);
  if (call.caller->user.role == Role::Viewer) {
    main += "<p class=\"meta\">Your role may look but not change.</p>";
  } else {
    SectionForms(call, *address, section, controller, now.enums, ChoicesOf(now.store),
                 drawing->etag, draft, paged ? std::optional(page) : std::nullopt, main);
  }
  main += "</section>\n";
  // The records of the page as the controller's page draws them: against the site last sent.
  if (paged) {
    ReportControllerView& view = drawing->view;
    view.only = section.key;
    view.rows = [&](std::string_view) {
      return ReportRows{page * PerPage(section), (page + 1) * PerPage(section), {}};
    };
    RenderController(view, main);
  }
  std::string title(section.title);
  return Page(call, status, title + " of " + name, main);
}

Response Section(Service& service, const Call& call) {
  const FormSection* section = FindFormSection(call.params.at(2));
  if (section == nullptr) return MessagePage(call, 404, "there is no such part of a controller");
  return ShowSection(service, call, 200, *section, nullptr);
}

Response ShowController(Service& service, const Call& call, int status, const Draft* draft) {
  Result<std::unique_ptr<Drawing>, Response> drawn = DrawController(service, call);
  if (!drawn) return std::move(drawn.error());
  const std::unique_ptr<Drawing>& drawing = *drawn;
  const CSS_ControllerAddress* address = &drawing->address;
  const JsonValue& controller = *drawing->controller;
  // A draft of a long section goes back to its section's page.
  if (draft != nullptr &&
      !ShownInline(*draft->target.section, LengthOf(*draft->target.section, controller))) {
    return ShowSection(service, call, status, *draft->target.section, draft);
  }
  const Loaded& now = drawing->now;
  const CSS_DiffResult& diff = drawing->diff;
  // Of a long list, the records of its first page, as its own pages show them.
  ReportControllerView& view = drawing->view;
  view.rows = [&](std::string_view list) {
    const FormSection* section = FindFormSection(list);
    if (section == nullptr || !Paged(*section) ||
        ShownInline(*section, LengthOf(*section, controller)))
      return ReportRows{};
    return ReportRows{0, PerPage(*section),
                      ControllerLink(call, *address) + "/edit/" + std::string(list)};
  };

  const std::string url = ControllerLink(call, *address);
  std::string main = "<section class=\"card status\"><p class=\"meta\"><b>";
  main += Count(diff.messagesWritten, "message");
  main += drawing->view.compared ? "</b> to send since it was last marked sent"
                                 : "</b> to send: it was never marked sent";
  main += " &middot; <a href=\"" + url + "/pending\">see, download and mark them sent</a>";
  if (call.caller->user.role != Role::Viewer) main += " &middot; <a href=\"#edit\">change it</a>";
  main += "</p>";
  if (draft != nullptr && draft->doubts) {
    main +=
        "<p class=\"problem\">Not saved yet: some values mean nothing to a controller. See <a "
        "href=\"#" +
        draft->target.Anchor() + "\">its form</a> to change them or save them as they are.</p>";
  } else if (draft != nullptr) {
    main += "<p class=\"problem\">Your change was not saved: see <a href=\"#" +
            draft->target.Anchor() + "\">its form</a>.</p>";
  } else if (call.target.Query("saved") != nullptr) {
    main += "<p class=\"saved\">Saved.</p>";
  } else if (const std::string* reverted = call.target.Query("reverted")) {
    main += "<p class=\"saved\">Reverted to before change ";
    AppendHtml(main, *reverted);
    main += ".</p>";
  }
  main += "</section>\n";
  RenderController(view, main);
  if (call.caller->user.role == Role::Viewer) {
    main += "<p class=\"meta\">Your role may look but not change.</p>";
  } else {
    Forms(call, *address, controller, now, drawing->etag, draft, main);
    main +=
        "<section class=\"card\" id=\"copy\"><h2>Copy</h2><form method=\"post\" "
        "class=\"inline\" action=\"";
    AppendHtml(main, ControllerLink(call, *address) + "/copy");
    main += "\">";
    main += CsrfField(call.caller->csrf);
    main +=
        "<label>This controller as it is to a new one at interface <input type=\"number\" "
        "name=\"interface\" min=\"1\" required></label> <label>node <input type=\"number\" "
        "name=\"node\" min=\"0\" required></label> <button type=\"submit\">Copy</button> "
        "<small>or some of its parts to many: <a href=\"" +
        Link(call, "/change-set") + "\">change many</a></small></form></section>\n";
    main += "<section class=\"card\" id=\"remove\"><h2>Remove</h2><p><a href=\"";
    AppendHtml(main, ControllerLink(call, *address) + "/remove");
    main += "\">Remove this controller from the site</a> (you are asked first)</p></section>\n";
  }
  std::string title = std::to_string(address->interfaceId) + "." + std::to_string(address->node);
  if (!now.store.GetConfig().Name.empty()) title += " " + now.store.GetConfig().Name;
  return Page(call, status, title, main);
}

Response Controller(Service& service, const Call& call) {
  return ShowController(service, call, 200, nullptr);
}

// The fields of a conflict page that say which value to keep: "take:Inputs[0].Name" = "mine"
// or "theirs".
constexpr std::string_view kTake = "take:";

MergePicks PicksOf(const Form& form) {
  MergePicks picks;
  for (const auto& [name, value] : form.Fields()) {
    if (name.starts_with(kTake) && (value == "mine" || value == "theirs"))
      picks[name.substr(kTake.size())] = value == "mine";
  }
  return picks;
}

// A form that met a change saved since it was opened: the three versions of the controller.
struct Meeting {
  const JsonValue* base;  // the version the form was opened on; null: no longer known
  const JsonValue& mine;  // that version with the form's values
  const JsonValue& theirs;
  const std::string& etag;              // of theirs
  const std::vector<AuditNote>& since;  // the changes saved since base, newest first
};

// Who saved the controller since the form was opened, and when.
void SavedSince(const std::vector<AuditNote>& since, std::string& out) {
  if (since.empty()) {
    out += "Someone saved it after you opened the form";
    return;
  }
  AppendHtml(out, since.front().user);
  out += " saved it at ";
  AppendHtml(out, IsoTime(since.front().time));
  if (since.size() > 1) out += " (" + Count(since.size(), "change") + " since you opened it)";
}

// The values that the form and the changes saved since both touched, each with the version it was
// opened on, and for those both changed, a choice of which to keep.
Response Conflict(const Call& call, CSS_ControllerAddress address, const FormTarget& target,
                  const Form& form, const Meeting& met) {
  const JsonValue base = met.base != nullptr ? PartOf(target, *met.base) : JsonValue{};
  const MergeResult merge =
      MergeJson(met.base != nullptr ? &base : nullptr, PartOf(target, met.mine),
                PartOf(target, met.theirs), target.Path(), PicksOf(form), true);
  const std::string url = ControllerLink(call, address);
  std::string what(target.section->item);
  if (target.PerRecord()) what += " " + std::to_string(target.index + 1);
  std::string main = "<section class=\"card conflict\"><h2>Someone else saved controller ";
  main += std::to_string(address.interfaceId) + "." + std::to_string(address.node);
  main += " first</h2><p>";
  SavedSince(met.since, main);
  main += ", and changed some of the values you changed in the form of its ";
  AppendHtml(main, what);
  main += ". Your change was <b>not</b> saved yet. ";
  main += met.base != nullptr
              ? "Where only one of you changed a value, that change is kept; choose which to keep "
                "where you both did."
              : "The version you opened is no longer known, so choose which to keep of each value "
                "that differs.";
  main += "</p><form method=\"post\" class=\"edit\" action=\"";
  AppendHtml(main, call.request.Outward(call.request.target));
  main += "\">";
  main += CsrfField(call.caller->csrf);
  main +=
      "<div class=\"scroll\"><table class=\"compare\"><thead><tr><th scope=\"col\">Value</th>"
      "<th scope=\"col\">When you opened it</th><th scope=\"col\">Yours</th><th scope=\"col\">"
      "Saved since</th><th scope=\"col\">Kept</th></tr></thead><tbody>";
  std::size_t differ = 0;
  const auto cell = [&](const char* kind, const std::optional<std::string>& value) {
    main += "<td class=\"";
    main += kind;
    main += "\">";
    AppendHtml(main, value ? *value : "(none)");
    main += "</td>";
  };
  for (const MergedValue& value : merge.values) {
    const bool both = value.side == MergeSide::Conflict;
    differ += both ? 1 : 0;
    const std::string label = ValueLabel(*target.section, value.path);
    main += both ? "<tr class=\"changed\"><th scope=\"row\">" : "<tr><th scope=\"row\">";
    AppendHtml(main, label);
    main += "</th>";
    cell("base", met.base != nullptr ? value.base : std::optional<std::string>("(not known)"));
    cell(value.side == MergeSide::Theirs ? "mine" : "chg mine", value.mine);
    cell(value.side == MergeSide::Mine ? "theirs" : "chg theirs", value.theirs);
    main += "<td>";
    if (both) {
      main += "<fieldset class=\"pick\"><legend class=\"hidden\">keep for ";
      AppendHtml(main, label);
      main += "</legend>";
      for (const auto& [side, text] : {std::pair{"mine", "yours"}, std::pair{"theirs", "saved"}}) {
        main += "<label><input type=\"radio\" name=\"";
        AppendHtml(main, std::string(kTake) + value.path);
        main += "\" value=\"";
        main += side;
        main += std::string_view(side) == "mine" ? "\" checked> " : "\"> ";
        main += text;
        main += "</label> ";
      }
      main += "</fieldset>";
    } else {
      main += value.side == MergeSide::Mine     ? "yours"
              : value.side == MergeSide::Theirs ? "saved"
                                                : "alike";
    }
    main += "</td></tr>";
  }
  main += "</tbody></table></div><p class=\"meta\">";
  main += Count(differ, "value");
  main += differ == 1 ? " differs.</p>" : " differ.</p>";
  // Saved again, the form meets the version shown here, with the choices made.
  main += "<input type=\"hidden\" name=\"etag\" value=\"";
  AppendHtml(main, met.etag);
  main += "\">";
  const std::string* opened = form.Get("base");
  if (opened == nullptr) opened = form.Get("etag");
  if (met.base != nullptr && opened != nullptr) {
    main += "<input type=\"hidden\" name=\"base\" value=\"";
    AppendHtml(main, *opened);
    main += "\">";
  }
  for (const auto& [name, value] : form.Fields()) {
    if (name == "csrf" || name == "etag" || name == "base" || name.starts_with(kTake)) continue;
    main += "<input type=\"hidden\" name=\"";
    AppendHtml(main, name);
    main += "\" value=\"";
    AppendHtml(main, value);
    main += "\">";
  }
  main +=
      "<div class=\"actions\"><button type=\"submit\">Save with the values chosen</button><a "
      "href=\"" +
      url + "#" + target.Anchor() + "\">Keep the saved version</a></div></form></section>\n";
  return Page(call, 409, "Conflict", main);
}

Response Save(Service& service, const Call& call) {
  const std::optional<CSS_ControllerAddress> address = AddressOf(call);
  const FormSection* section = FindFormSection(call.params.at(2));
  if (!address || section == nullptr) return MessagePage(call, 404, "there is no such form");
  FormTarget target{section, 0};
  if (target.PerRecord() != (call.params.size() == 4)) {
    return MessagePage(call, 404, "there is no such form");
  }
  if (target.PerRecord()) {
    const std::optional<std::int64_t> index =
        ParseDecimal(call.params[3], 0, static_cast<std::int64_t>(kMaxRows));
    if (!index) return MessagePage(call, 404, "there is no such record");
    target.index = static_cast<std::size_t>(*index);
  }
  Result<Form, Response> form = PostedForm(call);
  if (!form) return std::move(form.error());
  const std::string* etag = form->Get("etag");
  if (etag == nullptr) return MessagePage(call, 400, "the form lost its ETag: open the page again");
  // The version the form was opened on: a conflict page passes it on beside the version it showed.
  const std::string* opened = form->Get("base");
  if (opened == nullptr) opened = etag;

  Store& store = service.Data();
  // Another save between the reading and the writing is merged with as well, a few times over.
  for (int attempt = 0;; ++attempt) {
    const Outcome<ControllerState> got = ReadController(store, *address);
    if (!got) return MessagePage(call, got.error().status, got.error().message);
    const JsonValue current = *ReadJson(got->json);
    std::optional<FoundVersion> found;
    if (*opened != got->etag) found = FindVersion(store, *address, *opened);
    // The version opened, when it is another than the one now and still known.
    const std::optional<JsonValue> base =
        found ? std::optional(*ReadJson(found->json)) : std::nullopt;
    // The form's values over the version it shows: the one opened, where that is known.
    JsonValue mine = base ? *base : current;
    FormRead read = ApplyForm(target, *form, mine);
    if (!read.errors.empty()) {
      const Draft draft{target, *form, std::move(read.errors), *etag};
      return ShowController(service, call, 422, &draft);
    }
    std::string json;
    if (*opened == got->etag) {
      json = ToJson(mine);
    } else {
      const MergeResult merge =
          MergeJson(base ? &*base : nullptr, mine, current, {}, PicksOf(*form), false);
      if (merge.conflicts > 0) {
        const std::vector<AuditNote> none;
        return Conflict(
            call, *address, target, *form,
            {base ? &*base : nullptr, mine, current, got->etag, found ? found->since : none});
      }
      json = ToJson(merge.merged);
    }
    if (form->Get("anyway") == nullptr) {
      if (const SiteErrors doubts = NewDoubts(got->json, json); !doubts.empty()) {
        const Draft draft{target, *form, PlaceErrors(doubts, read.moved), *etag, true};
        return ShowController(service, call, 200, &draft);
      }
    }
    const Outcome<Written> put = ReplaceController(
        store, *address, {Expect::Kind::Present, got->etag}, json,
        ChangeNote(call, service.Authority().Now(), "PUT", ControllerApi(*address)));
    if (put) {
      return Redirect(call.request, FormPage(*address, target, current) +
                                        "saved=" + target.Anchor() + "#" + target.Anchor());
    }
    switch (put.error().status) {
      case 412:
        if (attempt < 2) continue;
        return MessagePage(call, 409, "the controller is being changed by others: try again");
      case 422: {
        const Draft draft{target, *form, PlaceErrors(put.error().errors, read.moved), *etag};
        return ShowController(service, call, 422, &draft);
      }
      default:
        return MessagePage(call, put.error().status, put.error().message);
    }
  }
}

// The controller copied whole to a new address, where there is none yet.
Response Copy(Service& service, const Call& call, const CSS_ControllerAddress& address,
              const Form& form) {
  const std::string* interfaceId = form.Get("interface");
  const std::string* node = form.Get("node");
  const std::optional<CSS_ControllerAddress> to =
      interfaceId && node ? ParseAddress(*interfaceId, *node) : std::nullopt;
  if (!to)
    return MessagePage(call, 422, "give the new address: an interface from 1, a node from 0");
  const Outcome<ControllerState> from = ReadController(service.Data(), address);
  if (!from) return MessagePage(call, from.error().status, from.error().message);
  const std::string json =
      MergePatchText(from->json, "{\"Interface\":" + std::to_string(to->interfaceId) +
                                     ",\"Node\":" + std::to_string(to->node) + "}");
  const Outcome<Written> made =
      ReplaceController(service.Data(), *to, {Expect::Kind::Absent, {}}, json,
                        ChangeNote(call, service.Authority().Now(), "PUT", ControllerApi(*to)));
  if (!made) {
    if (made.error().status == 412) {
      return MessagePage(call, 409, "there is a controller at that address already");
    }
    std::string reason = made.error().message;
    for (const std::string& line : made.error().Lines())
      reason += (reason.empty() ? "" : "; ") + line;
    return MessagePage(call, made.error().status, reason);
  }
  return Redirect(call.request, ControllerUrl(*to) + "?saved=copy");
}

// Asks before a controller is removed: what it still holds on site is then to be cleared.
Response AskRemove(Service& service, const Call& call) {
  const std::optional<CSS_ControllerAddress> address = AddressOf(call);
  const std::optional<ControllerState> now =
      address ? service.Data().Controller(*address) : std::nullopt;
  if (!now) return MessagePage(call, 404, kNoController);
  const std::string name =
      std::to_string(address->interfaceId) + "." + std::to_string(address->node);
  std::string main = "<section class=\"card\"><h2>Remove controller " + name +
                     "</h2><p>The controller and all its records leave the site; the removal is "
                     "kept in the audit log, from where it can be reverted. If it was ever "
                     "marked sent, it is listed as waiting to be cleared on site until someone "
                     "says it is.</p><form method=\"post\" class=\"edit\" action=\"";
  AppendHtml(main, ControllerLink(call, *address) + "/remove");
  main += "\">";
  main += CsrfField(call.caller->csrf);
  main += "<input type=\"hidden\" name=\"etag\" value=\"";
  AppendHtml(main, now->etag);
  main +=
      "\"><div class=\"actions\"><button type=\"submit\">Remove " + name + "</button><a href=\"";
  AppendHtml(main, ControllerLink(call, *address));
  main += "\">Keep it</a></div></form></section>\n";
  return Page(call, 200, "Remove " + name, main);
}

Response Remove(Service& service, const Call& call, const CSS_ControllerAddress& address,
                const Form& form) {
  const std::string* etag = form.Get("etag");
  if (etag == nullptr) return MessagePage(call, 400, "the form lost its ETag: open the page again");
  const Outcome<Removed> removed = RemoveController(
      service.Data(), address, {Expect::Kind::Present, *etag},
      ChangeNote(call, service.Authority().Now(), "DELETE", ControllerApi(address)));
  if (!removed && removed.error().status == 412) {
    return MessagePage(call, 409,
                       "someone changed the controller after you opened it: nothing was removed; "
                       "look at it again first");
  }
  if (!removed) return MessagePage(call, removed.error().status, removed.error().message);
  return Redirect(call.request, "/pending");
}

}  // namespace

void AddControllerPages(Service& service) {
  AddPage(service, "GET", "/controllers/{interface}/{node}/remove", Access::Editor, AskRemove);
  AddFormPage(service, "/controllers/{interface}/{node}/remove", Access::Editor, Remove);
  AddFormPage(service, "/controllers/{interface}/{node}/copy", Access::Editor, Copy);
  AddPage(service, "GET", "/controllers/{interface}/{node}/edit/{section}", Access::Viewer,
          Section);
  AddPage(service, "GET", "/", Access::Viewer, Overview);
  AddPage(service, "GET", "/controllers/{interface}/index.html", Access::Viewer, BackToOverview);
  AddPage(service, "GET", "/controllers/{interface}/{node}", Access::Viewer, Controller);
  AddPage(service, "POST", "/controllers/{interface}/{node}/edit/{section}", Access::Editor, Save);
  AddPage(service, "POST", "/controllers/{interface}/{node}/edit/{section}/{index}", Access::Editor,
          Save);
}

}  // namespace ssmsg::server::pages
