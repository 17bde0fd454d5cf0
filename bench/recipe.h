#pragma once

// Recipes: the element structure of finished messages, so that other XML writers can be timed
// producing exactly the messages that the library produced. A recipe is read back from a
// message text once, before timing; the writers then replay it and format the numbers
// themselves.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ssmsg::bench {

struct Element {
  std::string name;
  // A value whose text is a decimal that formats back to the same text is kept as a number.
  bool isNumber = false;
  std::int32_t number = 0;
  std::string text;
  std::vector<Element> children;
};

struct Recipe {
  Element root;
  std::size_t length = 0;  // of the message text
};

// Reads one compact message ("<a><b>1</b><c>x</c></a>": no declaration, attributes, blanks
// between elements or mixed content). Nothing when the text is not of that form.
std::optional<Recipe> ParseMessage(std::string_view text);

// The floor: writes a recipe's message by appending straight into one string reserved to the
// message's length, with std::to_chars for numbers.
std::string WriteDirect(const Recipe& recipe);

}  // namespace ssmsg::bench
