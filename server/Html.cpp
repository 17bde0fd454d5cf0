#include "server/Html.h"

#include <utility>

#include "report/Html.h"

namespace ssmsg::server {

void AppendHtml(std::string& out, std::string_view text) {
  html::Text(out, text);
}

std::string Html(std::string_view text) {
  std::string out;
  AppendHtml(out, text);
  return out;
}

Response HtmlPage(int status, std::string_view title, std::string_view body) {
  Response response;
  response.status = status;
  response.Set("Content-Type", "text/html; charset=utf-8");
  std::string& out = response.body;
  out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<link rel=\"stylesheet\" href=\"/style.css\">\n<title>";
  AppendHtml(out, title);
  out += " \xE2\x80\x94 ssmsg</title>\n</head>\n<body>\n";
  out += body;
  out += "\n</body>\n</html>\n";
  return response;
}

Response HtmlMessagePage(int status, std::string_view message) {
  const std::string title(StatusText(status));
  std::string body = "<main><h1>";
  AppendHtml(body, title);
  body += "</h1>\n<p>";
  AppendHtml(body, message);
  body += "</p></main>";
  return HtmlPage(status, title, body);
}

std::string CsrfField(std::string_view token) {
  std::string out = "<input type=\"hidden\" name=\"csrf\" value=\"";
  AppendHtml(out, token);
  out += "\">";
  return out;
}

}  // namespace ssmsg::server
