#pragma once

/// \file
/// A site as a person reads it: an HTML report of every controller's configuration, with its time
/// zones and time groups drawn on a 24-hour axis, its holidays on a calendar, tables of its
/// records and its warnings, and, against an older site, what changed.
///
/// The pages are self-contained: inline CSS and SVG, no script, and a Content-Security-Policy that
/// forbids every request. Every text of the site is escaped, and bytes that are not UTF-8 are
/// shown as U+FFFD.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <ssmsg/Site.h>
#include <ssmsg/export.h>

namespace ssmsg {

/// What MakeSiteReport shows, and how.
struct CSS_ReportOptions {
  /// The controllers; every controller when it selects none.
  CSS_Selection selection;
  /// The site last sent: records that changed, appeared or disappeared since are marked, and each
  /// controller says how many messages the diff from it sends. Null: no comparison.
  const CSS_Site* diffFrom = nullptr;
  /// false: one page, the overview followed by every controller. true: an index page with the
  /// overview, and a page of its own for each controller, linked both ways; one controller's
  /// records are held at a time, however large the site.
  bool pages = false;
  /// How many threads render controllers at once (0: one per core). The pages are the same bytes
  /// whatever the number.
  unsigned jobs = 1;
};

/// Beyond this many controllers one page grows slow to open; the tool then writes pages.
inline constexpr std::size_t kReportOnePageLimit = 100;

/// The name of the index page, and of the page of the k-th controller chosen (from 1).
inline constexpr std::string_view kReportIndexPage = "index.html";
/// \param k the controller's place among those chosen, from 1
/// \return its page's file name, "controller-K.html"
SSMSG_API std::string ReportControllerPage(std::size_t k);

/// Receives the report in pieces, in order: the pieces of one page are consecutive. With pages,
/// each controller's page comes as soon as it is rendered, in order, and the index page last.
/// Returning false stops the report (for instance when the output can no longer be written).
using CSS_ReportSink = std::function<bool(std::string_view page, std::string_view text)>;

/// Writes the report of `site` to `sink`; false when the sink stopped it. The report uses an
/// enumeration service of its own (the built-in texts with each site's), bound to its own threads.
/// \param site the site
/// \param options the controllers, the site to compare with, pages or one page, and the jobs
/// \param sink receives the pages' text
/// \return whether the whole report was written
SSMSG_API bool MakeSiteReport(const CSS_Site& site, const CSS_ReportOptions& options,
                              const CSS_ReportSink& sink);

}  // namespace ssmsg
