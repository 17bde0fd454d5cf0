#pragma once

// What the site editor's pages share: the bar at the top of each page, the pages of failures,
// redirects, the form a page posts, and the controller's address in a path.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <ssmsg/Site.h>

#include "server/Form.h"
#include "server/JsonValue.h"
#include "server/Service.h"

namespace ssmsg::server::pages {

// A page for the caller of `call`: the bar at the top (who is logged in, where to go, the button
// that logs out) above `main` (HTML, escaped by its maker).
Response Page(const Call& call, int status, std::string_view title, std::string_view main);
// The page of the sites of a server of many, for the caller of `call`.
Response SitesPage(const Call& call, std::string_view main);
// A page that says `message` (text), with a link back to the overview.
Response MessagePage(const Call& call, int status, std::string_view message);
// How the pages answer a request refused before its handler: 401 sends the browser to the login
// page (to come back to a page it asked for), anything else is a page that says why.
Response FailurePage(int status, std::string_view message, const Request& request);
// Appends the line that says `problem` (text) above a card's form; nothing for none.
void AppendProblem(std::string& html, std::string_view problem);
// 303 See Other to `location`, a path of the service that answers `request`.
Response Redirect(const Request& request, std::string_view location);
// The link, for the page of `call`, to `path`, a path of the service ("/audit", "/users/ada").
std::string Link(const Call& call, std::string_view path);

// The form posted with `call`, or the page that says why not (415: the body is not a form; 400:
// not one that can be read).
Result<Form, Response> PostedForm(const Call& call);

// The controller's address from the path's first two parameters; nothing when they are not one.
std::optional<CSS_ControllerAddress> AddressOf(const Call& call);

// "/controllers/1/2", and the same under "/api"; both as the service sees them.
std::string ControllerUrl(CSS_ControllerAddress address);
std::string ControllerApi(CSS_ControllerAddress address);
// The link to the controller's page, for the page of `call`.
std::string ControllerLink(const Call& call, CSS_ControllerAddress address);

// `text` fit for a path segment or a query value: every byte but A-Z a-z 0-9 - . _ ~ %-escaped.
std::string Encode(std::string_view text);

// A number of things: "1 message", "3 messages".
std::string Count(std::size_t count, std::string_view thing);

}  // namespace ssmsg::server::pages
