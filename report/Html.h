#pragma once

// The parts that every HTML page of ssmsg is made of, each appended to a string: text made safe,
// numbers, badges, and the head and foot of a page with its style sheet (report/report.css).

#include <cstdint>
#include <string>
#include <string_view>

namespace ssmsg::html {

// The style sheet of every page.
extern const std::string_view kStyleSheet;

// Appends `text` as HTML text, fit for an element or a quoted attribute: & < > " ' escaped,
// bytes that are not UTF-8, control characters other than tab and line feed, and
// noncharacters each replaced by U+FFFD.
void Text(std::string& out, std::string_view text);

// Appends `value` in decimal.
void Number(std::string& out, std::int64_t value);
// Appends `value` in two digits at least: "07", "-1", "130".
void TwoDigits(std::string& out, std::int64_t value);

// Appends a badge: `text` (already HTML) in the colours of `kind` ("add", "chg", "del", "off",
// "warn").
void Badge(std::string& out, std::string_view kind, std::string_view text);

// Appends the start of a page up to its <body>: its title (`title`, already HTML) and its style
// sheet, inline when `styleSheetUrl` is empty (a page that needs nothing but itself), or else
// linked from that URL of the page's own origin. The page may request nothing else, and runs no
// script.
void PageHead(std::string& out, std::string_view title, std::string_view styleSheetUrl = {});

// Appends the end of a page: its footer (`footer`, already HTML) and the closing tags.
void PageFoot(std::string& out, std::string_view footer);

}  // namespace ssmsg::html
