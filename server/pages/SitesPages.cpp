// The pages of a server of many sites before a site is chosen: the list of the caller's sites,
// and logging in and out.

#include <string>
#include <vector>

#include "server/Html.h"
#include "server/pages/Frame.h"
#include "server/pages/Pages.h"
#include "server/pages/Routes.h"

namespace ssmsg::server {
namespace pages {
namespace {

Response Sites(Service& service, const Call& call) {
  const std::vector<SiteRole> sites = service.Data().SitesOf(call.caller->user.id);
  std::string main = "<section class=\"card\"><h2>Sites</h2><p class=\"meta\">";
  main += Count(sites.size(), "site");
  main += " where you have a role.</p>";
  if (!sites.empty()) {
    main +=
        "<div class=\"scroll\"><table class=\"overview\"><thead><tr><th scope=\"col\">Site</th>"
        "<th scope=\"col\">Your role</th></tr></thead><tbody>";
  }
  for (const SiteRole& site : sites) {
    main += "<tr><td><a href=\"/sites/";
    AppendHtml(main, Encode(site.site));
    main += "/\">";
    AppendHtml(main, site.site);
    main += "</a></td><td>";
    main += RoleName(site.role);
    main += "</td></tr>";
  }
  if (!sites.empty()) main += "</tbody></table></div>";
  main += "</section>\n";
  return SitesPage(call, main);
}

}  // namespace
}  // namespace pages

void AddSitesPages(Service& service) {
  service.SetFailurePage(pages::FailurePage);
  pages::AddSessionPages(service);
  pages::AddPage(service, "GET", "/", Access::Viewer, pages::Sites);
}

}  // namespace ssmsg::server
