#include "server/Store.h"

#include <sodium.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>

#include <ssmsg/CSToolEnum.h>
#include <ssmsg/Json.h>

#include "json/Utf8.h"
#include "server/Http.h"
#include "site/file/SiteFile.h"
#include "site/file/SiteFileWriter.h"

namespace ssmsg::server {

std::string ControllerEtag(std::string_view canonical) {
  std::array<unsigned char, 16> digest{};
  crypto_generichash(digest.data(), digest.size(),
                     reinterpret_cast<const unsigned char*>(canonical.data()), canonical.size(),
                     nullptr, 0);
  std::array<char, 33> hex{};
  sodium_bin2hex(hex.data(), hex.size(), digest.data(), digest.size());
  return '"' + std::string(hex.data()) + '"';
}

std::size_t SentStamp(std::string_view site) {
  return std::hash<std::string_view>()(site);
}

std::string JoinedErrors(const std::vector<std::string>& errors) {
  std::string text;
  for (const std::string& error : errors)
    text += (text.empty() ? "" : "; ") + error;
  return text;
}

std::string EnumsJsonOf(const std::vector<CSS_SiteEnumText>& texts) {
  std::map<std::string_view, std::map<int, std::string_view>> byName;
  for (const CSS_SiteEnumText& text : texts)
    byName[CSToolEnum::Name(text.id)][text.value] = text.text;
  std::string out = "{";
  for (const auto& [name, values] : byName) {
    if (out.size() > 1) out += ',';
    AppendJsonString(out, name);
    out += ":{";
    bool first = true;
    for (const auto& [value, text] : values) {
      if (!first) out += ',';
      first = false;
      AppendJsonString(out, std::to_string(value));
      out += ':';
      AppendJsonString(out, text);
    }
    out += '}';
  }
  out += '}';
  return out;
}

std::string ControllerSite(const std::vector<CSS_SiteEnumText>& texts, std::string_view json) {
  std::string text;
  CSS_SiteWriter writer(text);
  writer.Enums(texts);
  writer.AppendController(json);
  writer.Finish();
  return text;
}

// By ChangeKind.
constexpr std::string_view kChangeKindNames[] = {"created", "changed", "deleted", "sent"};
// By Role.
constexpr std::string_view kRoleNames[] = {"viewer", "editor", "admin"};

std::string_view ChangeKindName(ChangeKind kind) {
  const auto k = static_cast<std::size_t>(kind);
  return k < std::size(kChangeKindNames) ? kChangeKindNames[k] : kChangeKindNames[0];
}

std::string_view RoleName(Role role) {
  const auto k = static_cast<std::size_t>(role);
  return k < std::size(kRoleNames) ? kRoleNames[k] : kRoleNames[0];
}

std::optional<Role> RoleFromName(std::string_view name) {
  for (std::size_t k = 0; k < std::size(kRoleNames); ++k) {
    if (name == kRoleNames[k]) return static_cast<Role>(k);
  }
  return std::nullopt;
}

std::optional<std::string> CheckTokenName(std::string_view name) {
  if (name.empty()) return "a token's name must not be empty";
  if (name.size() > kTokenNameBytes)
    return "a token's name is at most " + std::to_string(kTokenNameBytes) + " bytes";
  if (!IsUtf8(name)) return "a token's name must be UTF-8";
  if (const std::optional<char32_t> control = utf8::FirstControl(name))
    return utf8::ControlProblem(*control);
  if (name.find('\t') != std::string_view::npos) return "a token's name must not hold a tab";
  return std::nullopt;
}

std::string IsoTime(std::int64_t seconds) {
  using namespace std::chrono;
  const sys_seconds time{std::chrono::seconds{seconds}};
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{time - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::optional<std::int64_t> FromIsoTime(std::string_view text) {
  // YYYY-MM-DDTHH:MM:SSZ
  constexpr std::string_view kForm = "0000-00-00T00:00:00Z";
  if (text.size() != kForm.size()) return std::nullopt;
  for (std::size_t i = 0; i < kForm.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kForm[i] == '0' ? !digit : text[i] != kForm[i]) return std::nullopt;
  }
  const auto number = [text](std::size_t at, std::size_t length) {
    int value = 0;
    for (std::size_t i = at; i < at + length; ++i)
      value = value * 10 + (text[i] - '0');
    return value;
  };
  using namespace std::chrono;
  const year_month_day date{year{number(0, 4)}, month{static_cast<unsigned>(number(5, 2))},
                            day{static_cast<unsigned>(number(8, 2))}};
  const int hour = number(11, 2);
  const int minute = number(14, 2);
  const int second = number(17, 2);
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return sys_days{date}.time_since_epoch() / std::chrono::seconds{1} + hour * 3600 + minute * 60 +
         second;
}

std::string UserChange(std::string_view user, Role role,
                       const std::vector<std::string_view>* changed) {
  std::string json = "{\"user\":";
  AppendJsonString(json, user);
  json += ",\"role\":";
  AppendJsonString(json, RoleName(role));
  if (changed) {
    json += ",\"changed\":[";
    for (std::size_t i = 0; i < changed->size(); ++i) {
      if (i > 0) json += ',';
      AppendJsonString(json, (*changed)[i]);
    }
    json += ']';
  }
  return json + '}';
}

std::string TokenChange(std::string_view user, const Token& token) {
  std::string json = "{\"user\":";
  AppendJsonString(json, user);
  json += ",\"token\":" + std::to_string(token.id) + ",\"name\":";
  AppendJsonString(json, token.name);
  json += ",\"expires\":";
  if (token.expires) {
    AppendJsonString(json, IsoTime(*token.expires));
  } else {
    json += "null";
  }
  return json + '}';
}

WriteStatus Expect::Check(const std::string* etag) const {
  if (kind == Kind::Absent) return etag ? WriteStatus::Exists : WriteStatus::Done;
  if (!etag) return WriteStatus::NotFound;
  return EtagMatches(ifMatch, *etag, false) ? WriteStatus::Done : WriteStatus::Stale;
}

std::vector<CSS_ControllerAddress> Store::Addresses() {
  std::vector<CSS_ControllerAddress> addresses;
  for (const ControllerSummary& summary : Controllers())
    addresses.push_back(summary.address);
  return addresses;
}

std::optional<ControllerRecords> Store::RecordsOf(CSS_ControllerAddress address) {
  std::optional<ControllerState> state = Controller(address);
  if (!state) return std::nullopt;
  ControllerRecords read{std::make_unique<CSApplicationManagerStd>(), std::move(state->etag),
                         state->position};
  if (Result<CSS_ControllerAddress> done = ReadControllerText(state->json, *read.records); !done)
    throw StoreError("a stored controller does not read: " +
                     JoinedErrors(ErrorLines(done.error())));
  return read;
}

}  // namespace ssmsg::server
