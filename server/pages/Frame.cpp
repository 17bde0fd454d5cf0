#include "server/pages/Frame.h"

#include <limits>
#include <utility>

#include "server/Controllers.h"
#include "server/Html.h"

namespace ssmsg::server::pages {
namespace {

// What the bar leads to: a site's pages, or the list of the sites of a server of many.
enum class Bar : unsigned char { Site, Sites };

void TopBar(const Caller* caller, const Request& request, Bar bar, std::string& out) {
  const std::string home = request.Outward("/");
  // The first stop of the keyboard: past the bar, to what the page is about.
  out += "<a class=\"skip\" href=\"#main\">Skip to the content</a>";
  out += "<header class=\"top\"><h1><a href=\"";
  AppendHtml(out, home);
  out += "\">ssmsg site editor</a></h1>";
  if (caller == nullptr) {
    out += "<p>Log in to see and change the site.</p></header>\n";
    return;
  }
  out += "<nav>";
  // A site of many: the way back to the list of them.
  if (bar == Bar::Sites || !request.base.empty()) out += "<a href=\"/\">Sites</a>";
  if (bar == Bar::Site) {
    out += "<a href=\"";
    AppendHtml(out, home);
    out += "\">Controllers</a><a href=\"";
    AppendHtml(out, request.Outward("/pending"));
    out += "\">Waiting</a><a href=\"";
    AppendHtml(out, request.Outward("/spreadsheet"));
    out += "\">Spreadsheet</a>";
  }
  if (bar == Bar::Site && caller->user.role != Role::Viewer) {
    out += "<a href=\"";
    AppendHtml(out, request.Outward("/change-set"));
    out += "\">Change many</a>";
  }
  if (bar == Bar::Site && caller->user.role == Role::Admin) {
    out += "<a href=\"";
    AppendHtml(out, request.Outward("/audit"));
    out += "\">Audit log</a><a href=\"";
    AppendHtml(out, request.Outward("/users"));
    out += "\">Users</a>";
  }
  out += "<span class=\"who\">";
  AppendHtml(out, caller->user.name);
  if (bar == Bar::Site) {
    out += " (";
    out += RoleName(caller->user.role);
    out += ")";
  }
  out += "</span>";
  if (caller->cookie) {
    out += "<form method=\"post\" action=\"";
    AppendHtml(out, request.Outward("/logout"));
    out += "\">";
    out += CsrfField(caller->csrf);
    out += "<button type=\"submit\" class=\"quiet\">Log out</button></form>";
  }
  out += "</nav></header>\n";
}

Response Framed(const Caller* caller, const Request& request, int status, std::string_view title,
                std::string_view main, Bar bar = Bar::Site) {
  std::string body;
  TopBar(caller, request, bar, body);
  body += "<main id=\"main\" tabindex=\"-1\">\n";
  body += main;
  body += "</main>";
  return HtmlPage(status, title, body);
}

std::string Message(const Request& request, int status, std::string_view message) {
  std::string main = "<section class=\"card\"><h2>";
  AppendHtml(main, StatusText(status));
  main += "</h2><p>";
  AppendHtml(main, message);
  main += "</p><p><a href=\"";
  AppendHtml(main, request.Outward("/"));
  main += "\">Back to the controllers</a></p></section>\n";
  return main;
}

}  // namespace

Response Page(const Call& call, int status, std::string_view title, std::string_view main) {
  return Framed(call.caller, call.request, status, title, main);
}

Response SitesPage(const Call& call, std::string_view main) {
  return Framed(call.caller, call.request, 200, "Sites", main, Bar::Sites);
}

void AppendProblem(std::string& html, std::string_view problem) {
  if (problem.empty()) return;
  html += "<ul class=\"errors\"><li>";
  AppendHtml(html, problem);
  html += "</li></ul>";
}

Response MessagePage(const Call& call, int status, std::string_view message) {
  return Page(call, status, StatusText(status), Message(call.request, status, message));
}

Response FailurePage(int status, std::string_view message, const Request& request) {
  if (status == 401) {
    std::string location = "/login";
    const std::string_view target = request.target;
    if ((request.method == "GET" || request.method == "HEAD") && target != "/")
      location += "?next=" + Encode(target);
    return Redirect(request, location);
  }
  return Framed(nullptr, request, status, StatusText(status), Message(request, status, message));
}

Response Redirect(const Request& request, std::string_view location) {
  Response response;
  response.status = 303;
  response.Set("Location", request.Outward(location));
  return response;
}

std::string Link(const Call& call, std::string_view path) {
  return call.request.Outward(path);
}

Result<Form, Response> PostedForm(const Call& call) {
  const std::string* type = call.request.Find("Content-Type");
  if (type == nullptr || MediaType(*type) != "application/x-www-form-urlencoded") {
    return Failure{
        MessagePage(call, 415, "this page takes a form (application/x-www-form-urlencoded)")};
  }
  std::optional<Form> form = Form::Parse(call.request.body);
  if (!form)
    return Failure{MessagePage(call, 400, "the form has a bad %-escape or text that is not UTF-8")};
  return std::move(*form);
}

std::optional<CSS_ControllerAddress> AddressOf(const Call& call) {
  return ParseAddress(call.params.at(0), call.params.at(1));
}

std::string ControllerUrl(CSS_ControllerAddress address) {
  return "/controllers/" + std::to_string(address.interfaceId) + "/" + std::to_string(address.node);
}

std::string ControllerApi(CSS_ControllerAddress address) {
  return "/api" + ControllerUrl(address);
}

std::string ControllerLink(const Call& call, CSS_ControllerAddress address) {
  return Link(call, ControllerUrl(address));
}

std::string Encode(std::string_view text) {
  return PercentEncode(text);
}

std::string Count(std::size_t count, std::string_view thing) {
  std::string text = std::to_string(count);
  text += ' ';
  text += thing;
  if (count != 1) text += 's';
  return text;
}

}  // namespace ssmsg::server::pages
