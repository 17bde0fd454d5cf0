// The messages a controller is waiting for (what the diff from the configuration last marked sent
// writes), as a page, as a file to download, and marking them sent.

#include <string>
#include <utility>

#include "server/Html.h"
#include "server/pages/Frame.h"
#include "server/pages/Routes.h"

namespace ssmsg::server::pages {
namespace {

constexpr std::string_view kNoController = "there is no controller at this address";

// The API's pending messages of the controller in the path: the answer, and its JSON.
struct Pending {
  Response response;
  JsonValue json;
  const JsonValue* messages = nullptr;
  const JsonValue* warnings = nullptr;
};

std::optional<Pending> AskPending(Service& service, const Call& call, CSS_ControllerAddress address,
                                  Response& failure) {
  Pending pending{CallApi(service, call, "GET", ControllerApi(address) + "/pending"), {}};
  if (pending.response.status != 200) {
    failure = MessagePage(call, pending.response.status, ApiMessage(pending.response));
    return std::nullopt;
  }
  pending.json = JsonOf(pending.response);
  if (pending.json.IsObject()) {
    pending.messages = pending.json.Find("messages");
    pending.warnings = pending.json.Find("warnings");
  }
  if (pending.messages == nullptr) {
    failure = MessagePage(call, 500, "the pending messages cannot be read");
    return std::nullopt;
  }
  return pending;
}

std::string Address(CSS_ControllerAddress address) {
  return std::to_string(address.interfaceId) + "." + std::to_string(address.node);
}

Response ShowPending(Service& service, const Call& call) {
  const std::optional<CSS_ControllerAddress> address = AddressOf(call);
  if (!address) return MessagePage(call, 404, kNoController);
  Response failure;
  const std::optional<Pending> pending = AskPending(service, call, *address, failure);
  if (!pending) return failure;
  const std::string url = ControllerUrl(*address);
  const std::size_t count = pending->messages->items.size();
  const std::string* etag = pending->response.Find("ETag");

  std::string main = "<section class=\"card pending\"><h2>Messages for <a href=\"" + url + "\">";
  main += Address(*address);
  main += "</a>";
  if (const std::optional<ControllerState> state = service.Data().Controller(*address)) {
    const JsonReadResult controller = ReadJson(state->json);
    const JsonValue* name = controller.ok ? controller.value.Find("Name") : nullptr;
    if (name != nullptr && !name->text.empty()) {
      main += " <span class=\"name\">";
      AppendHtml(main, name->text);
      main += "</span>";
    }
  }
  main += "</h2><p class=\"meta\"><b class=\"count\">";
  main += Count(count, "message");
  main += "</b> to send: what changed since the controller was last marked sent.</p>";
  if (pending->warnings != nullptr && !pending->warnings->items.empty()) {
    main += "<ul class=\"warnings\">";
    for (const JsonValue& warning : pending->warnings->items) {
      main += "<li>";
      AppendHtml(main, warning.text);
      main += "</li>";
    }
    main += "</ul>";
  }
  main += "<div class=\"actions\">";
  if (count > 0) main += "<a class=\"button\" href=\"" + url + "/pending/download\">Download</a>";
  if (call.caller->user.role != Role::Viewer && etag != nullptr) {
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
    main += "<ol class=\"messages\">";
    for (const JsonValue& message : pending->messages->items) {
      main += "<li><pre>";
      AppendHtml(main, message.text);
      main += "</pre></li>";
    }
    main += "</ol>";
  } else {
    main += "<p>Nothing to send: the controller is as it was last marked sent.</p>";
  }
  main += "</section>\n";
  return Page(call, 200, "Messages for " + Address(*address), main);
}

Response Download(Service& service, const Call& call) {
  const std::optional<CSS_ControllerAddress> address = AddressOf(call);
  if (!address) return MessagePage(call, 404, kNoController);
  Response failure;
  const std::optional<Pending> pending = AskPending(service, call, *address, failure);
  if (!pending) return failure;
  Response response;
  response.Set("Content-Type", "text/plain; charset=utf-8");
  response.Set("Content-Disposition", "attachment; filename=\"messages-" +
                                          std::to_string(address->interfaceId) + "-" +
                                          std::to_string(address->node) + ".txt\"");
  if (const std::string* etag = pending->response.Find("ETag")) response.Set("ETag", *etag);
  for (const JsonValue& message : pending->messages->items) {
    response.body += message.text;
    response.body += '\n';
  }
  return response;
}

Response MarkSent(Service& service, const Call& call) {
  const std::optional<CSS_ControllerAddress> address = AddressOf(call);
  if (!address) return MessagePage(call, 404, kNoController);
  Response failure;
  const std::optional<Form> form = PostedForm(call, failure);
  if (!form) return failure;
  const std::string* etag = form->Get("etag");
  if (etag == nullptr) return MessagePage(call, 400, "the form lost its ETag: open the page again");
  const Response sent =
      CallApi(service, call, "POST", ControllerApi(*address) + "/sent", {{"If-Match", *etag}});
  const std::string url = ControllerUrl(*address);
  if (sent.status == 412) {
    std::string main =
        "<section class=\"card conflict\"><h2>Not marked sent</h2><p>The controller changed "
        "after you saw its messages, so the messages you saw are not all it is waiting for. "
        "Nothing was marked.</p><p><a href=\"" +
        url + "/pending\">See the messages it is waiting for now</a></p></section>\n";
    return Page(call, 409, "Not marked sent", main);
  }
  if (sent.status != 204) return MessagePage(call, sent.status, ApiMessage(sent));
  return Redirect(url + "/pending");
}

}  // namespace

void AddPendingPages(Service& service) {
  AddPage(service, "GET", "/controllers/{interface}/{node}/pending", Access::Viewer, ShowPending);
  AddPage(service, "GET", "/controllers/{interface}/{node}/pending/download", Access::Viewer,
          Download);
  AddPage(service, "POST", "/controllers/{interface}/{node}/sent", Access::Editor, MarkSent);
}

}  // namespace ssmsg::server::pages
