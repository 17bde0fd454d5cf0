#pragma once

// The HTML of a site report (see <ssmsg/Report.h>): the pieces that the report job puts
// together, each appended to a string.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSToolEnum.h>
#include <ssmsg/Site.h>

namespace ssmsg {

// A warning of `validate` about one controller, with the record it concerns: the list
// ("Inputs", or "Inputs.Time" for a part of a record) and the position in it (-1: none).
struct ReportWarning {
  std::string list;
  int position = -1;
  std::string text;  // from the controller's path on, e.g. "Inputs[3].Type: ..."
};

// The records of a list that are drawn: positions [first, end), from 0. Where the list holds
// others, `more` is the link to them (empty: they are not mentioned).
struct ReportRows {
  std::size_t first = 0;
  std::size_t end = static_cast<std::size_t>(-1);
  std::string more;
};

// One controller to render.
struct ReportControllerView {
  std::size_t number = 0;  // 1-based, among the controllers chosen
  CSS_ControllerAddress address;
  const CSApplicationManagerStd* store = nullptr;
  const CSToolEnum* enums = nullptr;
  // The controller in the site last sent, with that site's texts; null when that site does not
  // have it. `compared`: there is a site last sent at all.
  const CSApplicationManagerStd* before = nullptr;
  const CSToolEnum* beforeEnums = nullptr;
  bool compared = false;
  std::size_t messages = 0;      // of a full settings
  std::size_t diffMessages = 0;  // of the diff from the site last sent
  const std::vector<ReportWarning>* warnings = nullptr;
  bool pages = false;  // the controller has a page of its own
  // The records drawn of each list that has records of its own ("Inputs", "Outputs", "Readers",
  // "Ports", "FLAN", "TimeGroups"); null: all of them.
  std::function<ReportRows(std::string_view list)> rows;
  // Only this list is drawn, without the controller's heading (empty: the whole controller).
  std::string_view only;
};

// The site as a whole.
struct ReportSiteView {
  std::string fileName;
  std::string oldFileName;  // empty: no comparison
  std::size_t controllers = 0;
  const std::vector<std::string>* warnings = nullptr;           // about no one controller
  const std::vector<CSS_ControllerAddress>* removed = nullptr;  // only in the site last sent
  std::size_t diffMessages = 0;
  bool pages = false;
  std::string_view version;
};

void RenderController(const ReportControllerView& view, std::string& out);
void RenderOverviewRow(const ReportControllerView& view, std::string& out);
// A controller's own page around its rendered section.
void RenderControllerPage(const ReportSiteView& site, std::size_t k, std::string_view section,
                          std::string& out);
// The index page up to its sections (with the overview of `rows`), and after them.
void RenderIndexHead(const ReportSiteView& site, std::string_view rows, std::string& out);
void RenderIndexTail(const ReportSiteView& site, std::string& out);

}  // namespace ssmsg
