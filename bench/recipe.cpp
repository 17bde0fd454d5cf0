#include "bench/recipe.h"

#include <charconv>

namespace ssmsg::bench {
namespace {

// A small recursive-descent reader over the message text.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return at_ == text_.size(); }

  // element := "<" name ">" (text | element+) "</" name ">"
  bool ReadElement(Element& element) {
    if (!Take('<')) return false;
    const std::size_t nameEnd = text_.find('>', at_);
    if (nameEnd == std::string_view::npos) return false;
    element.name = text_.substr(at_, nameEnd - at_);
    if (element.name.empty() || element.name.front() == '/') return false;
    at_ = nameEnd + 1;
    if (text_.substr(at_, 2) == "</") return ReadEnd(element);
    if (Peek('<')) {
      while (Peek('<') && text_.substr(at_, 2) != "</") {
        if (!ReadElement(element.children.emplace_back())) return false;
      }
      return ReadEnd(element);
    }
    const std::size_t valueEnd = text_.find('<', at_);
    if (valueEnd == std::string_view::npos) return false;
    SetValue(element, text_.substr(at_, valueEnd - at_));
    at_ = valueEnd;
    return ReadEnd(element);
  }

 private:
  bool Peek(char c) const { return at_ < text_.size() && text_[at_] == c; }
  bool Take(char c) {
    if (!Peek(c)) return false;
    ++at_;
    return true;
  }

  bool ReadEnd(const Element& element) {
    const std::string close = "</" + element.name + ">";
    if (text_.substr(at_, close.size()) != close) return false;
    at_ += close.size();
    return true;
  }

  static void SetValue(Element& element, std::string_view value) {
    std::int32_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error == std::errc() && end == value.data() + value.size()) {
      char again[16];
      const auto back = std::to_chars(again, again + sizeof again, number);
      if (std::string_view(again, static_cast<std::size_t>(back.ptr - again)) == value) {
        element.isNumber = true;
        element.number = number;
        return;
      }
    }
    element.text = value;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

void Append(const Element& element, std::string& out) {
  out += '<';
  out += element.name;
  out += '>';
  if (element.isNumber) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, element.number).ptr;
    out.append(digits, end);
  } else {
    out += element.text;
  }
  for (const Element& child : element.children)
    Append(child, out);
  out += "</";
  out += element.name;
  out += '>';
}

}  // namespace

std::optional<Recipe> ParseMessage(std::string_view text) {
  Recipe recipe;
  recipe.length = text.size();
  Reader reader(text);
  if (!reader.ReadElement(recipe.root) || !reader.AtEnd()) return std::nullopt;
  return recipe;
}

std::string WriteDirect(const Recipe& recipe) {
  std::string out;
  out.reserve(recipe.length);
  Append(recipe.root, out);
  return out;
}

}  // namespace ssmsg::bench
