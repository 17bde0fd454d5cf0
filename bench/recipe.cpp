#include "bench/recipe.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace ssmsg::bench {
namespace {

// A small recursive-descent reader over one message text.
class Reader {
 public:
  using Intern = std::function<bool(std::string_view, std::uint16_t&)>;

  Reader(std::string_view text, std::vector<RecipeElement>& out, std::size_t base, Intern intern)
      : text_(text), out_(out), base_(base), intern_(std::move(intern)) {}

  bool AtEnd() const { return at_ == text_.size(); }

  // element := "<" name ">" (text | element+) "</" name ">"
  bool ReadElement() {
    if (!Take('<')) return false;
    const std::size_t nameEnd = text_.find('>', at_);
    if (nameEnd == std::string_view::npos) return false;
    const std::string_view name = text_.substr(at_, nameEnd - at_);
    if (name.empty() || name.front() == '/') return false;
    at_ = nameEnd + 1;

    const std::size_t self = out_.size();
    std::uint16_t nameId = 0;
    if (!intern_(name, nameId)) return false;
    out_.push_back({nameId, 0, 0, 0});
    if (Peek('<') && !Closing()) {
      while (Peek('<') && !Closing()) {
        if (!ReadElement()) return false;
      }
    } else {
      const std::size_t valueEnd = text_.find('<', at_);
      if (valueEnd == std::string_view::npos) return false;
      if (!SetValue(out_[self], text_.substr(at_, valueEnd - at_))) return false;
      at_ = valueEnd;
    }
    out_[self].end = static_cast<std::uint32_t>(out_.size() - base_);
    return ReadEnd(name);
  }

 private:
  bool Peek(char c) const { return at_ < text_.size() && text_[at_] == c; }
  bool Closing() const { return text_.substr(at_, 2) == "</"; }
  bool Take(char c) {
    if (!Peek(c)) return false;
    ++at_;
    return true;
  }

  bool ReadEnd(std::string_view name) {
    if (!Closing() || text_.substr(at_ + 2, name.size()) != name) return false;
    at_ += 2 + name.size();
    return Take('>');
  }

  bool SetValue(RecipeElement& element, std::string_view value) {
    std::int32_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error == std::errc() && end == value.data() + value.size()) {
      char again[16];
      const auto back = std::to_chars(again, again + sizeof again, number);
      if (std::string_view(again, static_cast<std::size_t>(back.ptr - again)) == value) {
        element.text = RecipeElement::kNumber;
        element.number = number;
        return true;
      }
    }
    return intern_(value, element.text);
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::vector<RecipeElement>& out_;
  std::size_t base_;
  Intern intern_;
};

char* Put(char* at, std::string_view text) {
  std::memcpy(at, text.data(), text.size());
  return at + text.size();
}

// Writes element `i` of `message` with its subtree at `at` and returns the end of the text.
char* Write(char* at, const RecipeBook& book, std::span<const RecipeElement> message,
            std::uint32_t i) {
  const RecipeElement& element = message[i];
  const std::string_view name = book.String(element.name);
  *at++ = '<';
  at = Put(at, name);
  *at++ = '>';
  if (element.IsNumber()) {
    at = std::to_chars(at, at + 11, element.number).ptr;
  } else {
    at = Put(at, book.String(element.text));
  }
  for (std::uint32_t child = i + 1; child < element.end; child = message[child].end) {
    at = Write(at, book, message, child);
  }
  *at++ = '<';
  *at++ = '/';
  at = Put(at, name);
  *at++ = '>';
  return at;
}

}  // namespace

bool RecipeBook::Add(std::string_view message) {
  const std::size_t base = elements_.size();
  Reader reader(message, elements_, base,
                [this](std::string_view text, std::uint16_t& id) { return Intern(text, id); });
  if (!reader.ReadElement() || !reader.AtEnd()) {
    elements_.resize(base);
    return false;
  }
  starts_.push_back(static_cast<std::uint32_t>(base));
  lengths_.push_back(message.size());
  return true;
}

bool RecipeBook::Intern(std::string_view text, std::uint16_t& id) {
  const auto found = ids_.find(text);
  if (found != ids_.end()) {
    id = found->second;
    return true;
  }
  if (views_.size() == RecipeElement::kNumber) return false;
  id = static_cast<std::uint16_t>(views_.size());
  const auto stored = ids_.emplace(std::string(text), id).first;
  views_.push_back(stored->first);
  return true;
}

std::span<const RecipeElement> RecipeBook::Message(std::size_t i) const {
  const std::size_t end = i + 1 < starts_.size() ? starts_[i + 1] : elements_.size();
  return std::span(elements_).subspan(starts_[i], end - starts_[i]);
}

std::string WriteDirect(const RecipeBook& book, std::size_t i) {
  std::string out(book.Length(i), '\0');
  // The recipe was read from a text of exactly this length and writes it back unchanged.
  if (Write(out.data(), book, book.Message(i), 0) != out.data() + out.size()) std::abort();
  return out;
}

}  // namespace ssmsg::bench
