#include "server/Form.h"

#include <ssmsg/Json.h>

#include "server/Http.h"

namespace ssmsg::server {

std::optional<Form> Form::Parse(std::string_view body) {
  std::optional<std::vector<std::pair<std::string, std::string>>> pairs = DecodePairs(body, false);
  if (!pairs) return std::nullopt;
  Form form;
  for (auto& [name, value] : *pairs)
    form.Add(std::move(name), std::move(value));
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
