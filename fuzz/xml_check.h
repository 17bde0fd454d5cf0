#pragma once

// A small well-formedness check for message texts: exactly one root element, every element
// closed by a tag of the same name in nesting order, names made of XML name characters, no
// text outside the root and no entity references. Messages carry neither attributes, comments
// nor declarations, so a tag holding anything but a name is refused. Character-level rules
// (encoding, control characters) are not checked: values are written as the host stores them.

#include <string_view>
#include <vector>

namespace ssmsg::test {

inline bool IsXmlName(std::string_view name) {
  if (name.empty()) return false;
  const auto start = [](unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
  };
  if (!start(static_cast<unsigned char>(name.front()))) return false;
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (!start(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.') return false;
  }
  return true;
}

inline bool IsWellFormedXml(std::string_view text) {
  std::vector<std::string_view> open;
  bool rootClosed = false;
  std::size_t at = 0;
  while (at < text.size()) {
    if (text[at] != '<') {
      if (open.empty() || text[at] == '&') return false;
      ++at;
      continue;
    }
    const std::size_t end = text.find('>', at);
    if (end == std::string_view::npos) return false;
    std::string_view tag = text.substr(at + 1, end - at - 1);
    at = end + 1;
    const bool closing = tag.starts_with('/');
    if (closing) tag.remove_prefix(1);
    if (!IsXmlName(tag)) return false;
    if (!closing) {
      if (rootClosed) return false;  // a second root
      open.push_back(tag);
    } else {
      if (open.empty() || open.back() != tag) return false;
      open.pop_back();
      rootClosed = open.empty();
    }
  }
  return rootClosed;
}

}  // namespace ssmsg::test
