// The messages a controller is waiting for (what the diff from the configuration last marked sent
// writes), as a page, as a file to download, and marking them sent.

#include <string>
#include <utility>

#include "server/Controllers.h"
#include "server/Html.h"
#include "server/PendingCache.h"
#include "server/pages/Frame.h"
#include "server/pages/Routes.h"

namespace ssmsg::server::pages {
namespace {

// The controller in the path and its pending messages, or the page that says why there are none.
struct Pending {
  CSS_ControllerAddress address;
  PendingMessages messages;
};
Result<Pending, Response> AskPending(Service& service, const Call& call) {
  const std::optional<CSS_ControllerAddress> address = AddressOf(call);
  if (!address) return Failure{MessagePage(call, 404, kNoController)};
  Outcome<PendingMessages> pending = PendingOf(service.Data(), *address);
  if (!pending) return Failure{MessagePage(call, pending.error().status, pending.error().message)};
  return Pending{*address, std::move(*pending)};
}

// `texts` as the items of the list that the tag `list` opens (each preformatted with `pre`).
void AppendList(std::string& out, std::string_view list, const std::vector<std::string>& texts,
                bool pre) {
  out.append("<").append(list).append(">");
  for (const std::string& text : texts) {
    out += pre ? "<li><pre>" : "<li>";
    AppendHtml(out, text);
    out += pre ? "</pre></li>" : "</li>";
  }
  out.append("</").append(list.substr(0, 2)).append(">");
}

std::string Address(CSS_ControllerAddress address) {
  return std::to_string(address.interfaceId) + "." + std::to_string(address.node);
}

Response ShowPending(const Call& call, const Pending& asked) {
  const CSS_ControllerAddress* address = &asked.address;
  const PendingMessages* pending = &asked.messages;
  const std::string url = ControllerLink(call, *address);
  const std::size_t count = pending->messages.size();
  const std::string* etag = &pending->etag;

  std::string main = "<section class=\"card pending\"><h2>Messages for <a href=\"" + url + "\">";
  main += Address(*address);
  main += "</a>";
  if (!pending->name.empty()) {
    main += " <span class=\"name\">";
    AppendHtml(main, pending->name);
    main += "</span>";
  }
  main += "</h2><p class=\"meta\"><b class=\"count\">";
  main += Count(count, "message");
  main += "</b> to send: what changed since the controller was last marked sent.</p>";
  if (!pending->warnings.empty())
    AppendList(main, "ul class=\"warnings\"", pending->warnings, false);
  main += "<div class=\"actions\">";
  if (count > 0) main += "<a class=\"button\" href=\"" + url + "/pending/download\">Download</a>";
  // With nothing to send there is nothing to mark sent.
  if (count > 0 && call.caller->user.role != Role::Viewer && etag != nullptr) {
    main += "<form method=\"post\" action=\"" + url + "/sent\">";
    main += CsrfField(call.caller->csrf);
    main += "<input type=\"hidden\" name=\"etag\" value=\"";
    AppendHtml(main, *etag);
    main +=
        "\"><button type=\"submit\">Mark as sent</button> <small>once the controller has "
        "them</small></form>";
  }
  main += "</div>";
  if (count > 0) {
    AppendList(main, "ol class=\"messages\"", pending->messages, true);
  } else {
    main += "<p>Nothing to send: the controller is as it was last marked sent.</p>";
  }
  main += "</section>\n";
  return Page(call, 200, "Messages for " + Address(*address), main);
}

Response Download(const Call&, const Pending& asked) {
  const CSS_ControllerAddress* address = &asked.address;
  const PendingMessages* pending = &asked.messages;
  Response response;
  response.Set("Content-Type", "text/plain; charset=utf-8");
  response.Set("Content-Disposition", "attachment; filename=\"messages-" +
                                          std::to_string(address->interfaceId) + "-" +
                                          std::to_string(address->node) + ".txt\"");
  response.Set("ETag", pending->etag);
  for (const std::string& message : pending->messages) {
    response.body += message;
    response.body += '\n';
  }
  return response;
}

Response MarkSent(Service& service, const Call& call, const CSS_ControllerAddress& address,
                  const Form& form) {
  // A controller removed from the site, cleared on site: it has no ETag.
  const bool removed = form.Has("removed", "yes");
  const std::string* etag = form.Get("etag");
  if (etag == nullptr && !removed)
    return MessagePage(call, 400, "the form lost its ETag: open the page again");
  const Outcome<ControllerState> sent = server::MarkSent(
      service.Data(), address,
      removed ? Expect{Expect::Kind::Absent, {}} : Expect{Expect::Kind::Present, *etag},
      ChangeNote(call, service.Authority().Now(), "POST", ControllerApi(address) + "/sent"));
  if (removed && sent) return Redirect(call.request, "/pending");
  if (removed && sent.error().status == 412) {
    return MessagePage(call, 409,
                       "this controller is in the site again: its messages are on its page");
  }
  const std::string url = ControllerLink(call, address);
  if (!sent && sent.error().status == 412) {
    std::string main =
        "<section class=\"card conflict\"><h2>Not marked sent</h2><p>The controller changed "
        "after you saw its messages, so the messages you saw are not all it is waiting for. "
        "Nothing was marked.</p><p><a href=\"" +
        url + "/pending\">See the messages it is waiting for now</a></p></section>\n";
    return Page(call, 409, "Not marked sent", main);
  }
  if (!sent) return MessagePage(call, sent.error().status, sent.error().message);
  return Redirect(call.request, ControllerUrl(address) + "/pending");
}

// The pages of the pending messages of the controller in the path, which they are given.
template <Response (*Show)(const Call&, const Pending&)>
Response WithPending(Service& service, const Call& call) {
  Result<Pending, Response> asked = AskPending(service, call);
  return asked ? Show(call, *asked) : std::move(asked.error());
}

// What the whole site waits for: each controller with messages to send, and how many.
Response ShowWaiting(Service& service, const Call& call) {
  const SiteWaiting site = Waiting(service.Data(), service.Waiting());
  std::string rows;
  std::size_t controllers = 0;
  std::size_t messages = 0;
  for (const ControllerWaiting& waiting : site.controllers) {
    if (waiting.pending == std::size_t{0}) continue;
    ++controllers;
    const ControllerSummary& controller = waiting.controller;
    const std::string url = ControllerLink(call, controller.address);
    rows += "<tr><td><a href=\"" + url + "\">" + Address(controller.address) + "</a></td><td>";
    AppendHtml(rows, controller.name);
    rows += "</td><td class=\"n\"><a href=\"" + url + "/pending\">";
    if (waiting.pending) {
      messages += *waiting.pending;
      rows += std::to_string(*waiting.pending);
    } else {
      rows += "cannot be read";
    }
    rows += "</a></td></tr>";
  }
  std::string main = "<section class=\"card\"><h2>Waiting</h2><p class=\"meta\">";
  if (controllers == 0) {
    main += "Every controller has been sent what it holds: nothing is waiting.</p>";
  } else {
    main += Count(messages, "message") + " for " + Count(controllers, "controller") + " of " +
            std::to_string(site.controllers.size()) +
            ", since each was last marked sent.</p><div class=\"scroll\"><table "
            "class=\"overview\"><thead><tr><th scope=\"col\">Controller</th><th "
            "scope=\"col\">Name</th><th scope=\"col\">Messages</th></tr></thead><tbody>" +
            rows + "</tbody></table></div>";
  }
  main += "</section>\n";
  if (!site.removed.empty()) {
    const bool edits = call.caller->user.role != Role::Viewer;
    main +=
        "<section class=\"card\"><h2>Removed, still to clear on site</h2><p "
        "class=\"meta\">These controllers were removed from the site after they were last "
        "marked sent, so they still hold what they were sent. Clear each on site";
    main += edits ? ", then say so here.</p>" : ".</p>";
    main +=
        "<div class=\"scroll\"><table class=\"overview\"><thead><tr><th "
        "scope=\"col\">Controller</th><th scope=\"col\">Last marked sent</th>";
    if (edits) main += "<th scope=\"col\">On site</th>";
    main += "</tr></thead><tbody>";
    for (const SentMark& mark : site.removed) {
      const std::string address = Address(mark.address);
      main += "<tr><td>" + address + "</td><td><time>" + IsoTime(mark.time) + "</time></td>";
      if (edits) {
        main += "<td><form method=\"post\" class=\"inline\" action=\"" +
                ControllerLink(call, mark.address) + "/sent\">" + CsrfField(call.caller->csrf) +
                "<input type=\"hidden\" name=\"removed\" value=\"yes\"><button "
                "type=\"submit\" class=\"quiet\" aria-label=\"" +
                address + " is cleared on site\">Cleared on site</button></form></td>";
      }
      main += "</tr>";
    }
    main += "</tbody></table></div></section>\n";
  }
  return Page(call, 200, "Waiting", main);
}

}  // namespace

void AddPendingPages(Service& service) {
  AddPage(service, "GET", "/pending", Access::Viewer, ShowWaiting);
  AddPage(service, "GET", "/controllers/{interface}/{node}/pending", Access::Viewer,
          WithPending<ShowPending>);
  AddPage(service, "GET", "/controllers/{interface}/{node}/pending/download", Access::Viewer,
          WithPending<Download>);
  AddFormPage(service, "/controllers/{interface}/{node}/sent", Access::Editor, MarkSent);
}

}  // namespace ssmsg::server::pages
