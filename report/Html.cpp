#include "report/Html.h"

#include <array>
#include <charconv>
#include <cstddef>

#include "json/Utf8.h"

namespace ssmsg::html {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Forbids every request but for a linked style sheet of the page's own origin; no script runs.
constexpr std::string_view kPolicyInline =
    "default-src 'none'; style-src 'unsafe-inline'; base-uri 'none'; form-action 'none'";
constexpr std::string_view kPolicyLinked =
    "default-src 'none'; style-src 'self'; base-uri 'none'; form-action 'none'";

}  // namespace

void Text(std::string& out, std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t run = 0;  // where the bytes not yet copied begin
  std::size_t i = 0;
  while (i < size) {
    const unsigned char c = bytes[i];
    if (c >= 0x20 && c < 0x7F && c != '&' && c != '<' && c != '>' && c != '"' && c != '\'') {
      ++i;
      continue;
    }
    if (c >= 0x80) {
      // A character that is well formed but no text (a C1 control, a noncharacter) is one
      // replacement; a malformed sequence is one for each byte.
      const utf8::Sequence sequence = utf8::Decode(text, i);
      if (sequence.length > 0 && sequence.point >= 0xA0 && !utf8::IsNoncharacter(sequence.point)) {
        i += sequence.length;
        continue;
      }
      out.append(text.data() + run, i - run);
      out += kReplacement;
      i += sequence.length > 0 ? sequence.length : 1;
      run = i;
      continue;
    }
    out.append(text.data() + run, i - run);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      case '\t':
      case '\n':
        out += static_cast<char>(c);
        break;
      default:
        out += kReplacement;
        break;
    }
    run = ++i;
  }
  out.append(text.data() + run, size - run);
}

void Number(std::string& out, std::int64_t value) {
  std::array<char, 24> buffer;
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  out.append(buffer.data(), result.ptr);
}

void TwoDigits(std::string& out, std::int64_t value) {
  if (value >= 0 && value < 10) out += '0';
  Number(out, value);
}

void Badge(std::string& out, std::string_view kind, std::string_view text) {
  out.append("<span class=\"badge b-").append(kind).append("\">").append(text).append("</span>");
}

void PageHead(std::string& out, std::string_view title, std::string_view styleSheetUrl) {
  out +=
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"";
  out += styleSheetUrl.empty() ? kPolicyInline : kPolicyLinked;
  out +=
      "\">\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<meta name=\"referrer\" content=\"no-referrer\">\n<title>";
  out += title;  // already escaped
  if (styleSheetUrl.empty()) {
    out += "</title>\n<style>\n";
    out += kStyleSheet;
    out += "</style>\n";
  } else {
    out += "</title>\n<link rel=\"stylesheet\" href=\"";
    Text(out, styleSheetUrl);
    out += "\">\n";
  }
  out += "</head>\n<body>\n";
}

void PageFoot(std::string& out, std::string_view footer) {
  out += "<footer>";
  out += footer;  // already escaped
  out += "</footer>\n</body>\n</html>\n";
}

}  // namespace ssmsg::html
