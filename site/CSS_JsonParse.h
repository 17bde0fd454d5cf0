#pragma once

#include <string_view>

#include "site/CSS_JsonSchema.h"

namespace ssmsg {

// Reads the JSON text `text` of the file `fileName` and hands its values to `events` in document
// order. Text that is not JSON ends with one SyntaxError naming the line and column of the
// offending byte ("site.json:3:27").
void ParseJson(std::string_view text, std::string_view fileName, CSS_JsonEvents& events);

}  // namespace ssmsg
