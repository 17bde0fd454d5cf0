#pragma once

// How many errors a reader of input lists: every reader (site files, site databases, messages
// read back) keeps the first kMaxErrors and only counts those beyond, so that a file of mistakes
// costs little more than one mistake and is reported the same way wherever it is read.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Result.h"

namespace ssmsg {

inline constexpr std::size_t kMaxErrors = 100;

// Keeps `error` in `kept` while fewer than kMaxErrors are there, and otherwise counts it in
// `beyond`; whether it was kept.
template <class Error>
bool KeepError(std::vector<Error>& kept, std::size_t& beyond, Error error) {
  if (kept.size() < kMaxErrors) {
    kept.push_back(std::move(error));
    return true;
  }
  ++beyond;
  return false;
}

// The line that ends a list of errors cut short, for a reader that stops there: "site.json: more
// than 100 errors, the rest of the file is not checked".
inline SiteError MoreErrors(std::string_view name, std::string_view what) {
  return {std::string(name),
          {},
          "more than " + std::to_string(kMaxErrors) + " errors, the rest of " + std::string(what) +
              " is not checked"};
}
inline std::string MoreErrorsLine(std::string_view name, std::string_view what) {
  return MoreErrors(name, what).Text();
}

}  // namespace ssmsg
