#include <ssmsg/Report.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include <ssmsg/SiteDiff.h>
#include <ssmsg/version.h>

#include "host/CSDevice_Fields.h"
#include "host/CSS_ThreadHost.h"
#include "manager/CSS_ManagerBuilders.h"
#include "core/OrderedWork.h"
#include "report/ReportHtml.h"
#include "site/SiteData.h"
#include "site/SiteLists.h"

namespace ssmsg {
namespace {

using Store = CSApplicationManagerStd;

// The clock that the message count reads: any fixed time, so that nothing depends on the
// machine's (the clock message is one message whatever the time).
std::tm ReportTime() {
  std::tm time{};
  time.tm_mday = 1;
  time.tm_year = 100;
  return time;
}

// Splits "FILE: Controllers[3].Inputs[2].Time.Debounce: ..." into the controller (3) and the
// warning; false for a warning that names no controller.
bool ParseWarning(std::string_view line, std::string_view fileName, std::size_t& controller,
                  ReportWarning& warning) {
  if (line.starts_with(fileName) && line.substr(fileName.size()).starts_with(": ")) {
    line.remove_prefix(fileName.size() + 2);
  }
  constexpr std::string_view kControllers = "Controllers[";
  if (!line.starts_with(kControllers)) return false;
  std::string_view rest = line.substr(kControllers.size());
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), controller);
  if (error != std::errc() || end == rest.data() + rest.size() || *end != ']') return false;
  rest.remove_prefix(static_cast<std::size_t>(end - rest.data()) + 1);
  warning.text = std::string(rest.starts_with('.') ? rest.substr(1) : rest);
  // The record: ".List[p]" and, when a part of it follows as ".Part.", that part.
  if (!rest.starts_with('.')) return true;
  rest.remove_prefix(1);
  const std::size_t stop = rest.find_first_of(".[:");
  if (stop == std::string_view::npos) return true;
  warning.list = std::string(rest.substr(0, stop));
  if (rest[stop] != '[') return true;
  rest.remove_prefix(stop + 1);
  int position = 0;
  const auto [at, bad] = std::from_chars(rest.data(), rest.data() + rest.size(), position);
  if (bad != std::errc() || at == rest.data() + rest.size() || *at != ']') return true;
  warning.position = position;
  rest.remove_prefix(static_cast<std::size_t>(at - rest.data()) + 1);
  if (rest.starts_with('.')) {
    const std::string_view part = rest.substr(1, rest.find_first_of(".:[", 1) - 1);
    if (rest.find('.', 1) < rest.find(':') && !part.empty())
      warning.list += "." + std::string(part);
  }
  return true;
}

// What the report is made from: the site, the controllers chosen, the warnings of each, and the
// site last sent with the messages its diff sends to each controller.
struct ReportPlan {
  const CSS_Site& site;
  std::vector<std::size_t> controllers;
  std::vector<std::vector<ReportWarning>> warnings;  // by position in the site
  bool pages = false;
  const CSS_Site* old = nullptr;
  std::unordered_map<std::uint64_t, std::size_t> oldByAddress;
  std::unordered_map<std::uint64_t, std::size_t> diffMessages;  // by address
};

// One controller, rendered: its section (or page body) and its row of the overview.
struct RenderedController {
  std::string section;
  std::string row;
};

// A store and an enumeration service for one site, on one thread.
struct SiteSide {
  explicit SiteSide(const CSS_Site& site) { site.LoadEnumTexts(enums); }
  Store store;
  CSToolEnum enums;
};

class ReportWorker {
 public:
  using Context = ReportPlan;
  using Input = std::size_t;
  using Output = RenderedController;

  explicit ReportWorker(const ReportPlan& plan)
      : plan_(plan), now_(plan.site), clock_(FixedClock(ReportTime())) {
    if (plan.old != nullptr) old_.emplace(*plan.old);
  }

  void Run(std::size_t k, RenderedController& out) {
    const std::size_t controller = plan_.controllers[k];
    const CSS_ControllerAddress address = plan_.site.Address(controller);
    plan_.site.LoadController(controller, now_.store);
    const Store* before = nullptr;
    if (old_) {
      const auto found = plan_.oldByAddress.find(AddressKey(address));
      if (found != plan_.oldByAddress.end()) {
        plan_.old->LoadController(found->second, old_->store);
        before = &old_->store;
      }
    }
    ReportControllerView view;
    view.number = k + 1;
    view.address = address;
    view.store = &now_.store;
    view.enums = &now_.enums;
    view.before = before;
    view.beforeEnums = old_ ? &old_->enums : nullptr;
    view.compared = plan_.old != nullptr;
    view.messages = CountMessages(address);
    if (plan_.old != nullptr) {
      const auto found = plan_.diffMessages.find(AddressKey(address));
      view.diffMessages = found == plan_.diffMessages.end() ? 0 : found->second;
    }
    warnings_ = plan_.warnings[controller];
    lines_.clear();
    CheckCapacity(now_.store,
                  plan_.site.FileName() + ": Controllers[" + std::to_string(controller) + "]",
                  lines_);
    for (const std::string& line : lines_) {
      std::size_t at = 0;
      ReportWarning warning;
      if (ParseWarning(line, plan_.site.FileName(), at, warning)) {
        warnings_.push_back(std::move(warning));
      }
    }
    view.warnings = &warnings_;
    view.pages = plan_.pages;
    out.section.clear();
    out.row.clear();
    RenderController(view, out.section);
    RenderOverviewRow(view, out.row);
  }

 private:
  // The messages of a full settings of the controller (every task, the clock's included).
  std::size_t CountMessages(const CSS_ControllerAddress& address) {
    const CSS_ThreadHost host({&now_.store, &now_.enums, &clock_});
    std::size_t count = 0;
    for (const ApplicationManagerTask task : kSettingsTasks) {
      scratch_.clear();
      CSS_Manager::Builders::Dispatch(task, address.interfaceId, address.node, scratch_);
      count += scratch_.size();
    }
    scratch_.clear();
    return count;
  }

  const ReportPlan& plan_;
  SiteSide now_;
  std::optional<SiteSide> old_;
  const CSS_ClockSource clock_;
  CSS_StringList scratch_;
  std::vector<std::string> lines_;
  std::vector<ReportWarning> warnings_;
};

}  // namespace

std::string ReportControllerPage(std::size_t k) {
  return "controller-" + std::to_string(k) + ".html";
}

bool MakeSiteReport(const CSS_Site& site, const CSS_ReportOptions& options,
                    const CSS_ReportSink& sink) {
  ReportPlan plan{site, options.controllers, {}, options.pages, options.diffFrom, {}, {}};
  if (plan.controllers.empty()) plan.controllers = site.Select(std::nullopt);

  // The warnings of validate about enumeration values without text, each beside its controller;
  // the workers add those about records that are never sent.
  plan.warnings.resize(site.ControllerCount());
  std::vector<std::string> siteWarnings;
  {
    CSToolEnum enums;
    site.LoadEnumTexts(enums);
    std::vector<std::string> lines;
    for (const CSS_SiteEnumUse& use : CSS_SiteAccess::Of(site).enumUses) {
      if (!enums.Get(use.id)->EnumToString(use.value).empty()) continue;
      lines.push_back(site.FileName() + ": " + use.path + ": " +
                      std::string(CSToolEnum::Name(use.id)) + " value " +
                      std::to_string(use.value) + " has no text");
    }
    for (std::string& line : lines) {
      std::size_t controller = 0;
      ReportWarning warning;
      if (ParseWarning(line, site.FileName(), controller, warning) &&
          controller < plan.warnings.size()) {
        plan.warnings[controller].push_back(std::move(warning));
      } else {
        siteWarnings.push_back(std::move(line));
      }
    }
  }

  // What the diff from the old site sends to each controller, and what it cannot.
  std::vector<CSS_ControllerAddress> removed;
  std::size_t diffTotal = 0;
  if (plan.old != nullptr) {
    for (std::size_t i = 0; i < plan.old->ControllerCount(); ++i)
      plan.oldByAddress.emplace(AddressKey(plan.old->Address(i)), i);
    std::unordered_set<std::uint64_t> chosen;
    for (const std::size_t i : plan.controllers)
      chosen.insert(AddressKey(site.Address(i)));
    CSS_DiffOptions diff;
    diff.jobs = options.jobs;
    diff.time = ReportTime();
    const CSS_DiffResult result =
        MakeSiteDiff(*plan.old, site, diff, [&](const CSS_SiteMessage& message) {
          if (chosen.contains(AddressKey(message.address))) {
            ++plan.diffMessages[AddressKey(message.address)];
            ++diffTotal;
          }
          return true;
        });
    for (const std::string& warning : result.warnings)
      siteWarnings.push_back(warning);
    std::unordered_set<std::uint64_t> inNew;
    for (std::size_t i = 0; i < site.ControllerCount(); ++i)
      inNew.insert(AddressKey(site.Address(i)));
    for (std::size_t i = 0; i < plan.old->ControllerCount(); ++i) {
      if (!inNew.contains(AddressKey(plan.old->Address(i))))
        removed.push_back(plan.old->Address(i));
    }
  }

  ReportSiteView siteView;
  siteView.fileName = site.FileName();
  siteView.oldFileName = plan.old != nullptr ? plan.old->FileName() : std::string();
  siteView.controllers = plan.controllers.size();
  siteView.warnings = &siteWarnings;
  siteView.removed = &removed;
  siteView.diffMessages = diffTotal;
  siteView.pages = plan.pages;
  siteView.version = SSMSG_VERSION_STRING;

  // One page: the sections wait for the overview, which needs every controller. Pages: each
  // controller's page goes as soon as it is rendered, and only the overview's rows are kept.
  std::string rows;
  std::vector<std::string> sections;
  std::string page;
  std::size_t k = 0;
  const bool going = RunOrdered<ReportWorker>(
      plan, plan.controllers.size(), options.jobs, [&](const RenderedController& rendered) {
        ++k;
        rows += rendered.row;
        if (!plan.pages) {
          sections.push_back(rendered.section);
          return true;
        }
        page.clear();
        RenderControllerPage(siteView, k, rendered.section, page);
        return sink(ReportControllerPage(k), page);
      });
  if (!going) return false;

  page.clear();
  RenderIndexHead(siteView, rows, page);
  if (!sink(kReportIndexPage, page)) return false;
  for (const std::string& section : sections) {
    if (!sink(kReportIndexPage, section)) return false;
  }
  page.clear();
  RenderIndexTail(siteView, page);
  return sink(kReportIndexPage, page);
}

}  // namespace ssmsg
