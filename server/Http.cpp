#include "server/Http.h"

#include <cstdio>

#include <ssmsg/Json.h>

namespace ssmsg::server {
namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

bool HasControl(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

const std::string* Request::Find(std::string_view name) const {
  for (const Header& header : headers) {
    if (SameName(header.name, name)) return &header.value;
  }
  return nullptr;
}

std::size_t Request::Count(std::string_view name) const {
  std::size_t count = 0;
  for (const Header& header : headers)
    count += SameName(header.name, name) ? 1U : 0U;
  return count;
}

std::string PercentEncode(std::string_view text) {
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

std::string Request::Outward(std::string_view path) const {
  if (base.empty()) return std::string(path);
  constexpr std::string_view kApi = "/api";
  if (path.substr(0, kApi.size()) == kApi &&
      (path.size() == kApi.size() || path[kApi.size()] == '/'))
    return std::string(kApi) + base + std::string(path.substr(kApi.size()));
  return base + std::string(path);
}

std::size_t Request::HeadSize() const {
  std::size_t size = method.size() + target.size() + 12;  // " ", " HTTP/1.1\r\n"
  for (const Header& header : headers)
    size += header.name.size() + header.value.size() + 4;  // ": ", "\r\n"
  return size;
}

void Response::Set(std::string_view name, std::string value) {
  for (Header& header : headers) {
    if (SameName(header.name, name)) {
      header.value = std::move(value);
      return;
    }
  }
  Add(name, std::move(value));
}

void Response::Add(std::string_view name, std::string value) {
  headers.push_back({std::string(name), std::move(value)});
}

const std::string* Response::Find(std::string_view name) const {
  for (const Header& header : headers) {
    if (SameName(header.name, name)) return &header.value;
  }
  return nullptr;
}

std::string_view StatusText(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 201:
      return "Created";
    case 204:
      return "No Content";
    case 303:
      return "See Other";
    case 304:
      return "Not Modified";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 409:
      return "Conflict";
    case 412:
      return "Precondition Failed";
    case 413:
      return "Content Too Large";
    case 415:
      return "Unsupported Media Type";
    case 422:
      return "Unprocessable Content";
    case 428:
      return "Precondition Required";
    case 429:
      return "Too Many Requests";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Unknown";
  }
}

std::optional<std::vector<std::pair<std::string, std::string>>> DecodePairs(std::string_view text,
                                                                            bool refuseControls) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('&', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view pair = text.substr(at, end - at);
    at = end + 1;
    if (pair.empty()) continue;
    const std::size_t equals = pair.find('=');
    std::optional<std::string> name = PercentDecode(pair.substr(0, equals), true);
    std::optional<std::string> value =
        PercentDecode(equals == std::string_view::npos ? "" : pair.substr(equals + 1), true);
    if (!name || !value || !IsUtf8(*name) || !IsUtf8(*value)) return std::nullopt;
    if (refuseControls && (HasControl(*name) || HasControl(*value))) return std::nullopt;
    pairs.emplace_back(std::move(*name), std::move(*value));
  }
  return pairs;
}

const std::string* Target::Query(std::string_view name) const {
  for (const auto& [key, value] : query) {
    if (key == name) return &value;
  }
  return nullptr;
}

Result<Target, std::string> ParseTarget(std::string_view target) {
  if (target.empty() || target.front() != '/') {
    return Failure{"the request target must be a path starting with /"};
  }
  const std::size_t mark = target.find('?');
  const std::string_view path = target.substr(0, mark);
  const std::string_view query = mark == std::string_view::npos ? "" : target.substr(mark + 1);
  Target out;
  for (std::size_t at = 1; at <= path.size();) {
    std::size_t end = path.find('/', at);
    if (end == std::string_view::npos) end = path.size();
    std::optional<std::string> segment = PercentDecode(path.substr(at, end - at), false);
    if (!segment) {
      return Failure{"the path has a bad %-escape"};
    }
    if (*segment == "." || *segment == ".." || segment->find('/') != std::string::npos ||
        HasControl(*segment) || !IsUtf8(*segment)) {
      return Failure{"the path has a segment that is not allowed"};
    }
    out.segments.push_back(std::move(*segment));
    at = end + 1;
  }
  std::optional<std::vector<std::pair<std::string, std::string>>> pairs = DecodePairs(query, true);
  if (!pairs) {
    return Failure{"the query has a bad parameter"};
  }
  out.query = std::move(*pairs);
  return out;
}

std::optional<std::string_view> CookieValue(std::string_view header, std::string_view name) {
  for (std::size_t at = 0; at < header.size();) {
    std::size_t end = header.find(';', at);
    if (end == std::string_view::npos) end = header.size();
    const std::string_view pair = Trim(header.substr(at, end - at));
    at = end + 1;
    const std::size_t equals = pair.find('=');
    if (equals == std::string_view::npos) continue;
    if (Trim(pair.substr(0, equals)) == name) return Trim(pair.substr(equals + 1));
  }
  return std::nullopt;
}

std::string MediaType(std::string_view contentType) {
  std::string type(Trim(contentType.substr(0, contentType.find(';'))));
  for (char& c : type)
    c = Lower(c);
  return type;
}

bool EtagMatches(std::string_view header, std::string_view etag, bool weak) {
  if (Trim(header) == "*") return true;
  for (std::size_t at = 0; at < header.size();) {
    std::size_t end = header.find(',', at);
    if (end == std::string_view::npos) end = header.size();
    std::string_view tag = Trim(header.substr(at, end - at));
    at = end + 1;
    if (tag.substr(0, 2) == "W/") {
      if (!weak) continue;
      tag.remove_prefix(2);
    }
    if (tag == etag) return true;
  }
  return false;
}

std::optional<std::int64_t> ParseDecimal(std::string_view text, std::int64_t min,
                                         std::int64_t max) {
  if (text.empty() || text.size() > 19 || (text.size() > 1 && text.front() == '0')) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
  const auto number = static_cast<std::int64_t>(value);
  if (number < min || number > max) return std::nullopt;
  return number;
}

void AppendLogText(std::string& out, std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
}

}  // namespace ssmsg::server
