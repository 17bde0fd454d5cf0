#include "server/Form.h"

#include <ssmsg/Json.h>

#include "server/Http.h"

namespace ssmsg::server {

std::optional<Form> Form::Parse(std::string_view body) {
  Form form;
  for (std::size_t at = 0; at < body.size();) {
    std::size_t end = body.find('&', at);
    if (end == std::string_view::npos) end = body.size();
    const std::string_view pair = body.substr(at, end - at);
    at = end + 1;
    if (pair.empty()) continue;
    const std::size_t equals = pair.find('=');
    std::optional<std::string> name = PercentDecode(pair.substr(0, equals), true);
    std::optional<std::string> value = PercentDecode(
        equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1), true);
    if (!name || !value || !IsUtf8(*name) || !IsUtf8(*value)) return std::nullopt;
    form.Add(std::move(*name), std::move(*value));
  }
  return form;
}

void Form::Add(std::string name, std::string value) {
  first_.emplace(name, fields_.size());
  pairs_.insert(name + '\0' + value);
  fields_.emplace_back(std::move(name), std::move(value));
}

const std::string* Form::Get(std::string_view name) const {
  const auto found = first_.find(std::string(name));
  return found == first_.end() ? nullptr : &fields_[found->second].second;
}

bool Form::Has(std::string_view name, std::string_view value) const {
  std::string key(name);
  key += '\0';
  key += value;
  return pairs_.contains(key);
}

}  // namespace ssmsg::server
