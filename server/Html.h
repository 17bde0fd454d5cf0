#pragma once

// The one place where the server writes HTML: text escaped as the report escapes it, and the
// frame of a page (its head, the style sheet, the policy) around a body.

#include <string>
#include <string_view>

#include "server/Http.h"

namespace ssmsg::server {

// Appends `text` fit for an element's text or a quoted attribute: & < > " ' escaped, and bytes
// that are not UTF-8, control characters and noncharacters shown as U+FFFD.
void AppendHtml(std::string& out, std::string_view text);
std::string Html(std::string_view text);

// A whole page: `title` (text, escaped here) and `body` (HTML, escaped by its maker), with the
// server's style sheet.
Response HtmlPage(int status, std::string_view title, std::string_view body);

// A page that says `message` (text) under the status's reason.
Response HtmlMessagePage(int status, std::string_view message);

// The hidden field that every form of a session carries.
std::string CsrfField(std::string_view token);

}  // namespace ssmsg::server
