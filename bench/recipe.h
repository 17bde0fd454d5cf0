#pragma once

// Recipes: the element structure of finished messages, so that other XML writers can be timed
// producing exactly the messages that the library produced. Recipes are read back from the
// message texts once, before timing; the writers then replay them and format the numbers
// themselves.
//
// The recipes of many messages lie in one flat array in document order, with names and texts
// stored once, so that replaying them reads little memory, in order: the writers are timed on
// writing, not on fetching their input.

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ssmsg::bench {

// One element, 12 bytes. Its children follow it directly; `end` is the index one past its last
// descendant. Names and texts are numbers in the book's string table.
struct RecipeElement {
  static constexpr std::uint16_t kNumber = 0xffff;  // `text` of an element whose value is a number

  std::uint16_t name;
  std::uint16_t text;  // kNumber: the value is `number`; 0 is the empty text
  std::int32_t number;
  std::uint32_t end;

  bool IsNumber() const { return text == kNumber; }
  bool HasChildren(std::uint32_t self) const { return end > self + 1; }
};

class RecipeBook {
 public:
  RecipeBook() {
    std::uint16_t empty = 0;
    Intern("", empty);  // number 0: the value of elements that have children
  }

  // Reads one compact message ("<a><b>1</b><c>x</c></a>": no declaration, attributes, blanks
  // between elements or mixed content) and adds its recipe. false, adding nothing, when the text
  // is not of that form.
  bool Add(std::string_view message);

  std::size_t Count() const { return lengths_.size(); }
  // The elements of message `i`; its root is the first, and element indexes count from there.
  std::span<const RecipeElement> Message(std::size_t i) const;
  // The length of message `i`'s text.
  std::size_t Length(std::size_t i) const { return lengths_[i]; }

  // A name or text of the string table, zero-terminated.
  std::string_view String(std::uint16_t id) const { return views_[id]; }
  const char* CString(std::uint16_t id) const { return views_[id].data(); }

 private:
  // The number of `text` in the string table; false when the table is full.
  bool Intern(std::string_view text, std::uint16_t& id);

  std::vector<RecipeElement> elements_;
  std::vector<std::uint32_t> starts_;
  std::vector<std::size_t> lengths_;
  std::map<std::string, std::uint16_t, std::less<>> ids_;  // nodes never move: views stay valid
  std::vector<std::string_view> views_;
};

// The floor: writes message `i` of `book` straight into one string sized once to the message's
// length, through a plain pointer, with std::to_chars for numbers.
std::string WriteDirect(const RecipeBook& book, std::size_t i);

}  // namespace ssmsg::bench
