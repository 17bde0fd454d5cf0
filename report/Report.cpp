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

#include <ssmsg/version.h>

#include "core/OrderedWork.h"
#include "jobs/ControllerDiff.h"
#include "jobs/JobHost.h"
#include "report/ReportHtml.h"
#include "site/SiteData.h"

namespace ssmsg {
namespace {

// The clock that the message counts read: any fixed time, so that nothing depends on the
// machine's (the clock message is one message whatever the time).
std::tm ReportTime() {
  std::tm time{};
  time.tm_mday = 1;
  time.tm_year = 100;
  return time;
}

// A finding placed under the record it concerns: the text from the controller's path on.
ReportWarning Placed(const SiteWarning& warning) {
  return {warning.List(), warning.Position(), warning.path.Text() + ": " + warning.what};
}

// What the report is made from: the site, the controllers chosen, the warnings of each, and the
// site last sent.
struct ReportPlan {
  const CSS_Site& site;
  std::vector<std::size_t> controllers;
  std::vector<std::vector<ReportWarning>> warnings;  // by position in the site
  bool pages = false;
  const CSS_Site* old = nullptr;
  bool sameTexts = false;
  std::unordered_map<std::uint64_t, std::size_t> oldByAddress;
  CSS_ClockSource clock;
};

// One controller, rendered: its section (or page body) and its row of the overview, with what the
// diff from the site last sent would send it.
struct RenderedController {
  std::string section;
  std::string row;
  std::size_t diffMessages = 0;
  std::vector<std::string> diffWarnings;
};

// Each controller is loaded once from each site: the same records are rendered, counted and
// compared.
class ReportWorker {
 public:
  using Context = ReportPlan;
  using Input = std::size_t;
  using Output = RenderedController;

  explicit ReportWorker(const ReportPlan& plan) : plan_(plan), now_(plan.site, plan.clock) {
    if (plan.old != nullptr) old_.emplace(*plan.old, plan.clock);
  }

  void Run(std::size_t k, RenderedController& out) {
    const std::size_t controller = plan_.controllers[k];
    const CSS_ControllerAddress address = plan_.site.Address(controller);
    now_.Load(controller);
    JobHost* before = nullptr;
    if (old_) {
      const auto found = plan_.oldByAddress.find(AddressKey(address));
      if (found != plan_.oldByAddress.end()) {
        old_->Load(found->second);
        before = &*old_;
      }
    }
    // Every task of a full settings, the clock's included; the diff leaves the clock aside.
    DiffController(now_, before, plan_.sameTexts, address, kSettingsTasks, diff_);
    out.diffMessages = 0;
    for (const CSS_ControllerMessages::Task& task : diff_.tasks) {
      if (task.task != kTaskClock) out.diffMessages += task.messages;
    }
    out.diffWarnings = std::move(diff_.warnings);

    ReportControllerView view;
    view.number = k + 1;
    view.address = address;
    view.store = &now_.Store();
    view.enums = &now_.Enums();
    view.before = before != nullptr ? &before->Store() : nullptr;
    view.beforeEnums = old_ ? &old_->Enums() : nullptr;
    view.compared = plan_.old != nullptr;
    view.messages = diff_.full;
    view.diffMessages = out.diffMessages;
    view.warnings = &plan_.warnings[controller];
    view.pages = plan_.pages;
    out.section.clear();
    out.row.clear();
    RenderController(view, out.section);
    RenderOverviewRow(view, out.row);
  }

 private:
  const ReportPlan& plan_;
  JobHost now_;
  std::optional<JobHost> old_;
  DiffMessages diff_;
};

}  // namespace

std::string ReportControllerPage(std::size_t k) {
  return "controller-" + std::to_string(k) + ".html";
}

bool MakeSiteReport(const CSS_Site& site, const CSS_ReportOptions& options,
                    const CSS_ReportSink& sink) {
  ReportPlan plan{site, site.Select(options.selection), {}, options.pages, options.diffFrom, false,
                  {},   FixedClock(ReportTime())};

  // The warnings of validate, each beside its controller.
  plan.warnings.resize(site.ControllerCount());
  {
    CSToolEnum enums;
    site.LoadEnumTexts(enums);
    for (const SiteWarning& warning : CSS_SiteAccess::Of(site).findings.Warnings(enums))
      plan.warnings[warning.controller].push_back(Placed(warning));
  }
  std::vector<CSS_ControllerAddress> removed;
  if (plan.old != nullptr) {
    plan.sameTexts = SameEnumTexts(*plan.old, site);
    for (std::size_t i = 0; i < plan.old->ControllerCount(); ++i)
      plan.oldByAddress.emplace(AddressKey(plan.old->Address(i)), i);
    removed = RemovedControllers(*plan.old, site, options.selection);
  }

  // One page: the sections wait for the overview, which needs every controller. Pages: each
  // controller's page goes as soon as it is rendered, and only the overview's rows are kept.
  std::string rows;
  std::vector<std::string> sections;
  std::vector<std::string> siteWarnings;
  std::size_t diffTotal = 0;
  ReportSiteView siteView;
  siteView.fileName = site.FileName();
  siteView.oldFileName = plan.old != nullptr ? plan.old->FileName() : std::string();
  siteView.controllers = plan.controllers.size();
  siteView.warnings = &siteWarnings;
  siteView.removed = &removed;
  siteView.pages = plan.pages;
  siteView.version = SSMSG_VERSION_STRING;
  std::string page;
  std::size_t k = 0;
  const bool going = RunOrdered<ReportWorker>(
      plan, plan.controllers.size(), options.jobs, [&](RenderedController& rendered) {
        ++k;
        rows += rendered.row;
        diffTotal += rendered.diffMessages;
        for (std::string& warning : rendered.diffWarnings)
          siteWarnings.push_back(std::move(warning));
        if (!plan.pages) {
          sections.push_back(std::move(rendered.section));
          return true;
        }
        page.clear();
        RenderControllerPage(siteView, k, rendered.section, page);
        return sink(ReportControllerPage(k), page);
      });
  if (!going) return false;
  for (const CSS_ControllerAddress& address : removed)
    siteWarnings.push_back(DescribeAddress(address) +
                           ": no longer in the site; nothing is sent to it");
  siteView.diffMessages = diffTotal;

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
