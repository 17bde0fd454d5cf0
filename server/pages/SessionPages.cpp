// Logging in and out from a form, the style sheet of every page, and the pages' routes: each
// form's address also answers GET, with the page of the form.

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "report/Html.h"
#include "server/Controllers.h"
#include "server/Html.h"
#include "server/pages/Frame.h"
#include "server/pages/Pages.h"
#include "server/pages/Routes.h"

namespace ssmsg::server {
namespace pages {

// The rules the editor's forms, bar and messages add to the report's style sheet.
extern const std::string_view kEditorStyleSheet;

namespace {

// Where a login goes on to: a path of this server that the login page was given, else the
// overview. Anything that could lead elsewhere ("//host", "/\host", a scheme) is not followed.
std::string NextPage(const std::string* next) {
  if (next == nullptr || next->size() < 2 || (*next)[0] != '/' || (*next)[1] == '/' ||
      (*next)[1] == '\\' || !ParseTarget(*next)) {
    return "/";
  }
  return *next;
}

Response LoginPage(const Call& call, int status, std::string_view next, std::string_view problem) {
  std::string main = "<section class=\"card login\"><h2>Log in</h2>";
  AppendProblem(main, problem);
  main += "<form method=\"post\" action=\"";
  AppendHtml(main, Link(call, "/login"));
  main +=
      "\" class=\"edit\">"
      "<input type=\"hidden\" name=\"next\" value=\"";
  AppendHtml(main, next);
  main +=
      "\"><div class=\"fields\">"
      "<label class=\"field\"><span>Name</span><input type=\"text\" name=\"name\" "
      "autocomplete=\"username\" required autofocus></label>"
      "<label class=\"field\"><span>Password</span><input type=\"password\" name=\"password\" "
      "autocomplete=\"current-password\" required></label></div>"
      "<div class=\"actions\"><button type=\"submit\">Log in</button></div></form></section>\n";
  return Page(call, status, "Log in", main);
}

Response ShowLogin(Service&, const Call& call) {
  return LoginPage(call, 200, NextPage(call.target.Query("next")), {});
}

Response LogIn(Service& service, const Call& call, const Form& form) {
  const std::string next = NextPage(form.Get("next"));
  const std::string* name = form.Get("name");
  const std::string* password = form.Get("password");
  if (name == nullptr || password == nullptr) {
    return LoginPage(call, 422, next, "Give your name and password.");
  }
  const Login login = service.Authority().LogIn(*name, *password, call.request.peer);
  if (login.status == Login::Status::Throttled) {
    Response response = LoginPage(
        call, 429, next,
        "Too many failed logins: try again in " + std::to_string(login.retryAfter) + " s.");
    response.Set("Retry-After", std::to_string(login.retryAfter));
    return response;
  }
  if (login.status != Login::Status::Ok) {
    return LoginPage(call, 401, next, "Wrong name or password.");
  }
  Response response = Redirect(call.request, next);
  response.Add("Set-Cookie", Auth::SessionCookie(login.sessionId, call.request.tls));
  return response;
}

Response LogOut(Service& service, const Call& call) {
  service.Authority().LogOut(*call.caller);
  Response response = Redirect(call.request, "/login");
  response.Add("Set-Cookie", Auth::SessionCookie("", call.request.tls));
  return response;
}

Response StyleSheet(Service&, const Call&) {
  Response response;
  response.Set("Content-Type", "text/css; charset=utf-8");
  response.Set("Cache-Control", "max-age=300");
  response.body.reserve(html::kStyleSheet.size() + kEditorStyleSheet.size());
  response.body += html::kStyleSheet;
  response.body += kEditorStyleSheet;
  return response;
}

}  // namespace

void AddPage(Service& service, std::string method, std::string pattern, Access access,
             PageHandler handler) {
  service.Routes().Add(std::move(method), std::move(pattern), access, RouteKind::Page,
                       [&service, handler](const Call& call) { return handler(service, call); });
}

void AddFormPage(Service& service, std::string pattern, Access access, FormHandler handler) {
  service.Routes().Add("POST", std::move(pattern), access, RouteKind::Page,
                       [&service, handler](const Call& call) {
                         Result<Form, Response> form = PostedForm(call);
                         return form ? handler(service, call, *form) : std::move(form.error());
                       });
}

void AddFormPage(Service& service, std::string pattern, Access access,
                 ControllerFormHandler handler) {
  service.Routes().Add(
      "POST", std::move(pattern), access, RouteKind::Page, [&service, handler](const Call& call) {
        const std::optional<CSS_ControllerAddress> address = AddressOf(call);
        if (!address) return MessagePage(call, 404, kNoController);
        Result<Form, Response> form = PostedForm(call);
        return form ? handler(service, call, *address, *form) : std::move(form.error());
      });
}

void AddSessionPages(Service& service) {
  AddPage(service, "GET", "/login", Access::Public, ShowLogin);
  AddFormPage(service, "/login", Access::Public, LogIn);
  AddPage(service, "POST", "/logout", Access::Viewer, LogOut);
  AddPage(service, "GET", "/style.css", Access::Public, StyleSheet);
}

}  // namespace pages

namespace {

// The page above the route of `segments` ({"users", "{name}", "remove"} -> {"users"}): the number
// of its segments.
std::size_t PageAbove(const Router& router, std::vector<std::string> segments) {
  while (!segments.empty()) {
    segments.pop_back();
    for (const Route& route : router.Routes()) {
      if (route.kind == RouteKind::Page && route.method == "GET" && route.segments == segments)
        return segments.size();
    }
  }
  return 0;
}

// A form's address is only posted to; opened again (from the history, a bookmark, a reload after
// the redirect was lost), it leads to the page above it, where the form stands, rather than to
// "the method is not allowed here".
void AddFormAddresses(Service& service) {
  std::vector<std::pair<Route, std::size_t>> added;
  const Router& router = service.Routes();
  for (const Route& route : router.Routes()) {
    if (route.kind != RouteKind::Page || route.method != "POST") continue;
    const auto get = std::find_if(router.Routes().begin(), router.Routes().end(), [&](auto& r) {
      return r.method == "GET" && r.segments == route.segments;
    });
    if (get != router.Routes().end()) continue;
    added.push_back({route, PageAbove(router, route.segments)});
  }
  for (auto& [route, kept] : added) {
    route.method = "GET";
    route.handler = [kept = kept](const Call& call) {
      // The request's own path (checked as it was taken apart), up to the kept segments.
      const std::string_view target = call.request.target;
      const std::string_view path = target.substr(0, target.find('?'));
      std::size_t end = 0;
      for (std::size_t i = 0; i < kept; ++i)
        end = std::min(path.find('/', end + 1), path.size());
      return pages::Redirect(call.request, kept == 0 ? "/" : path.substr(0, end));
    };
    service.Routes().Add(std::move(route));
  }
}

}  // namespace

void AddPageRoutes(Service& service) {
  service.SetFailurePage(pages::FailurePage);
  pages::AddSessionPages(service);
  pages::AddControllerPages(service);
  pages::AddPendingPages(service);
  pages::AddAdminPages(service);
  pages::AddChangeSetPages(service);
  pages::AddSpreadsheetPages(service);
  AddFormAddresses(service);
}

}  // namespace ssmsg::server
