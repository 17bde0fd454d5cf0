#include "server/pages/Frame.h"

#include <limits>
#include <utility>

#include "server/Controllers.h"
#include "server/Html.h"

namespace ssmsg::server::pages {
namespace {

void TopBar(const Caller* caller, std::string& out) {
  // The first stop of the keyboard: past the bar, to what the page is about.
  out += "<a class=\"skip\" href=\"#main\">Skip to the content</a>";
  out += "<header class=\"top\"><h1><a href=\"/\">ssmsg site editor</a></h1>";
  if (caller == nullptr) {
    out += "<p>Log in to see and change the site.</p></header>\n";
    return;
  }
  out += "<nav><a href=\"/\">Controllers</a>";
  if (caller->user.role == Role::Admin)
    out += "<a href=\"/audit\">Audit log</a><a href=\"/users\">Users</a>";
  out += "<span class=\"who\">";
  AppendHtml(out, caller->user.name);
  out += " (";
  out += RoleName(caller->user.role);
  out += ")</span>";
  if (caller->cookie) {
    out += "<form method=\"post\" action=\"/logout\">";
    out += CsrfField(caller->csrf);
    out += "<button type=\"submit\" class=\"quiet\">Log out</button></form>";
  }
  out += "</nav></header>\n";
}

Response Framed(const Caller* caller, int status, std::string_view title, std::string_view main) {
  std::string body;
  TopBar(caller, body);
  body += "<main id=\"main\" tabindex=\"-1\">\n";
  body += main;
  body += "</main>";
  return HtmlPage(status, title, body);
}

std::string Message(int status, std::string_view message) {
  std::string main = "<section class=\"card\"><h2>";
  AppendHtml(main, StatusText(status));
  main += "</h2><p>";
  AppendHtml(main, message);
  main += "</p><p><a href=\"/\">Back to the controllers</a></p></section>\n";
  return main;
}

}  // namespace

Response Page(const Call& call, int status, std::string_view title, std::string_view main) {
  return Framed(call.caller, status, title, main);
}

void AppendProblem(std::string& html, std::string_view problem) {
  if (problem.empty()) return;
  html += "<ul class=\"errors\"><li>";
  AppendHtml(html, problem);
  html += "</li></ul>";
}

Response MessagePage(const Call& call, int status, std::string_view message) {
  return Page(call, status, StatusText(status), Message(status, message));
}

Response FailurePage(int status, std::string_view message, const Request& request) {
  if (status == 401) {
    std::string location = "/login";
    const std::string_view target = request.target;
    if ((request.method == "GET" || request.method == "HEAD") && target != "/")
      location += "?next=" + Encode(target);
    return Redirect(std::move(location));
  }
  return Framed(nullptr, status, StatusText(status), Message(status, message));
}

Response Redirect(std::string location) {
  Response response;
  response.status = 303;
  response.Set("Location", std::move(location));
  return response;
}

std::optional<Form> PostedForm(const Call& call, Response& failure) {
  const std::string* type = call.request.Find("Content-Type");
  if (type == nullptr || MediaType(*type) != "application/x-www-form-urlencoded") {
    failure = MessagePage(call, 415, "this page takes a form (application/x-www-form-urlencoded)");
    return std::nullopt;
  }
  std::optional<Form> form = Form::Parse(call.request.body);
  if (!form)
    failure = MessagePage(call, 400, "the form has a bad %-escape or text that is not UTF-8");
  return form;
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

std::string Encode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
        (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

std::string Count(std::size_t count, std::string_view thing) {
  std::string text = std::to_string(count);
  text += ' ';
  text += thing;
  if (count != 1) text += 's';
  return text;
}

}  // namespace ssmsg::server::pages
