#pragma once

// A form as a browser posts it (application/x-www-form-urlencoded): its fields in the order sent,
// where a name may come more than once (a check box of many, "remove"), with each name's values
// found without a walk through the others.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace ssmsg::server {

class Form {
 public:
  // The fields of `body`; nothing when a name or value has a bad %-escape or is not UTF-8.
  static std::optional<Form> Parse(std::string_view body);

  void Add(std::string name, std::string value);
  // The first value of `name`, or null.
  const std::string* Get(std::string_view name) const;
  // Whether one of the values of `name` is `value`.
  bool Has(std::string_view name, std::string_view value) const;

  const std::vector<std::pair<std::string, std::string>>& Fields() const { return fields_; }

 private:
  std::vector<std::pair<std::string, std::string>> fields_;
  std::unordered_map<std::string, std::size_t> first_;  // name -> its first field
  std::unordered_set<std::string> pairs_;               // name NUL value
};

}  // namespace ssmsg::server
