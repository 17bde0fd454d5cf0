#include "report/ReportHtml.h"

#include <array>
#include <cstdint>

#include "report/ControllerSection.h"
#include "report/Html.h"

namespace ssmsg {
namespace {

using Store = CSApplicationManagerStd;
using html::Badge;
using html::Number;
using html::Text;

template <class Records>
int Present(const Records& records) {
  int count = 0;
  for (int position = 0; position < records.GetRecordCount(); ++position) {
    if (records.Find(position + Records::kFirstIndex) != nullptr) ++count;
  }
  return count;
}

void Footer(const ReportSiteView& site, std::string& out) {
  std::string footer = "Made by ssmsg ";
  Text(footer, site.version);
  footer += " from ";
  Text(footer, site.fileName);
  footer += ". Text that is not UTF-8 is shown as \xEF\xBF\xBD.";
  html::PageFoot(out, footer);
}

}  // namespace

void RenderController(const ReportControllerView& view, std::string& out) {
  ControllerSection(view, out).Write();
}

void RenderOverviewRow(const ReportControllerView& view, std::string& out) {
  const Store& store = *view.store;
  const auto number = static_cast<std::int64_t>(view.number);
  out += "<tr id=\"row-";
  Number(out, number);
  out += "\"><td><a href=\"";
  if (view.pages) {
    out += "controller-";
    Number(out, number);
    out += ".html";
  }
  out += "#c-";
  Number(out, number);
  out += "\">";
  Number(out, view.address.interfaceId);
  out += '.';
  Number(out, view.address.node);
  out += "</a></td><td>";
  if (store.GetConfig().Name.empty()) {
    out += "<span class=\"missing\">(no name)</span>";
  } else {
    Text(out, store.GetConfig().Name);
  }
  if (view.compared && view.before == nullptr) Badge(out, "add", "new");
  out += "</td>";
  const std::array<int, 8> counts = {
      Present(store.GetInputType()),
      Present(store.GetOutputType()),
      Present(store.GetRdConfiguration()),
      Present(store.GetPort()),
      Present(store.GetFLan_Setup()),
      Present(store.GetTimeZone()),
      [&] {
        int groups = 0;
        for (int g = 1; g <= store.GetTimeGroupZone().GetRecordCount(); ++g)
          groups += store.GetTimeGroupZone().FindGroup(g) != nullptr ? 1 : 0;
        return groups;
      }(),
      Present(store.GetHoliday())};
  const auto cell = [&out](std::int64_t value) {
    out += "<td class=\"n\">";
    Number(out, value);
    out += "</td>";
  };
  for (const int count : counts)
    cell(count);
  cell(static_cast<std::int64_t>(view.messages));
  if (view.compared) cell(static_cast<std::int64_t>(view.diffMessages));
  out += "<td class=\"n\">";
  Number(out, static_cast<std::int64_t>(view.warnings->size()));
  if (!view.warnings->empty()) Badge(out, "warn", "see");
  out += "</td></tr>\n";
}

void RenderControllerPage(const ReportSiteView& site, std::size_t k, std::string_view section,
                          std::string& out) {
  std::string title = "Controller ";
  Number(title, static_cast<std::int64_t>(k));
  title += " of ";
  Text(title, site.fileName);
  html::PageHead(out, title);
  out += "<header class=\"top\"><h1>";
  out += title;
  out += "</h1><p><a href=\"index.html#row-";
  Number(out, static_cast<std::int64_t>(k));
  out += "\">Overview of the site</a></p></header>\n<main>\n";
  out += section;
  out += "</main>\n";
  Footer(site, out);
}

void RenderIndexHead(const ReportSiteView& site, std::string_view rows, std::string& out) {
  std::string title = "Site report: ";
  Text(title, site.fileName);
  html::PageHead(out, title);
  out += "<header class=\"top\"><h1>";
  out += title;
  out += "</h1><p>";
  Number(out, static_cast<std::int64_t>(site.controllers));
  out += site.controllers == 1 ? " controller" : " controllers";
  if (!site.oldFileName.empty()) {
    out += ", compared with ";
    Text(out, site.oldFileName);
    out += ": the diff sends ";
    Number(out, static_cast<std::int64_t>(site.diffMessages));
    out += " messages";
  }
  out += "</p></header>\n<main>\n<section class=\"card\" id=\"overview\"><h2>Overview</h2>";
  if (!site.oldFileName.empty()) {
    out +=
        "<p class=\"legend\">Marks against the site last sent: <span class=\"badge b-add\">new"
        "</span> <span class=\"badge b-chg\">changed</span> <span class=\"badge b-del\">"
        "removed</span></p>";
  }
  if (!site.warnings->empty()) {
    out += "<ul class=\"warnings\">";
    for (const std::string& warning : *site.warnings) {
      out += "<li>";
      Text(out, warning);
      out += "</li>";
    }
    out += "</ul>";
  }
  if (!site.removed->empty()) {
    out += "<p class=\"meta\">No longer in the site (nothing is sent to them):";
    for (const CSS_ControllerAddress& address : *site.removed) {
      out += " <span class=\"badge b-del\">";
      Number(out, address.interfaceId);
      out += '.';
      Number(out, address.node);
      out += "</span>";
    }
    out += "</p>";
  }
  out +=
      "<div class=\"scroll\"><table class=\"overview\"><thead><tr>"
      "<th scope=\"col\">Address</th><th scope=\"col\">Name</th>"
      "<th scope=\"col\">Inputs</th><th scope=\"col\">Outputs</th>"
      "<th scope=\"col\">Readers</th><th scope=\"col\">Ports</th>"
      "<th scope=\"col\">Field-LAN nodes</th><th scope=\"col\">Time zones</th>"
      "<th scope=\"col\">Time groups</th><th scope=\"col\">Holidays</th>"
      "<th scope=\"col\">Messages</th>";
  if (!site.oldFileName.empty()) out += "<th scope=\"col\">In the diff</th>";
  out += "<th scope=\"col\">Warnings</th></tr></thead><tbody>\n";
  out += rows;
  out += "</tbody></table></div></section>\n";
}

void RenderIndexTail(const ReportSiteView& site, std::string& out) {
  out += "</main>\n";
  Footer(site, out);
}

}  // namespace ssmsg
