// Reads the text of one message back into a CSS_Message. One pass from front to back, led by the
// row of the message's kind in the catalog: every tag must be the one the row expects at that
// place, and each value is read up to its own closing tag. Nothing is allocated but the value's
// own storage.

#include <ssmsg/Message.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "commands/CSS_MessageCatalog.h"

namespace ssmsg {
namespace {

constexpr std::string_view kParameters = "Parameters";
constexpr std::string_view kCommand = "Command";
// What follows the last element of a message.
constexpr std::string_view kMessageEnd = "</Parameters></Command>";

// How much of a value an error quotes.
constexpr std::size_t kQuoteLength = 40;

std::string Quote(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text.substr(0, kQuoteLength))
    quoted += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  if (text.size() > kQuoteLength) quoted += "...";
  return quoted += '"';
}

std::string TagText(std::string_view name, bool closing) {
  std::string tag = closing ? "</" : "<";
  return tag.append(name) += '>';
}

struct Range {
  std::int64_t min;
  std::int64_t max;
};

constexpr Range RangeOf(CSS_NumberWidth width) {
  switch (width) {
    case CSS_NumberWidth::Int16:
      return {std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()};
    case CSS_NumberWidth::UInt8:
      return {0, std::numeric_limits<std::uint8_t>::max()};
    case CSS_NumberWidth::Int32:
      break;
  }
  return {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()};
}

class Decoder {
 public:
  Decoder(std::string_view text, CSS_Message& message, CSS_DecodeError& error)
      : begin_(text.data()),
        p_(begin_),
        end_(begin_ + text.size()),
        message_(message),
        error_(error) {}

  bool Run() {
    used_ = 0;
    const bool done = Message();
    message_.parameters.resize(used_);
    return done;
  }

 private:
  bool Message() {
    std::int64_t interfaceId = 0;
    if (!Open(kCommand) || !Open("InterfaceID") ||
        !Number("InterfaceID", {1, std::numeric_limits<std::int32_t>::max()}, interfaceId)) {
      return false;
    }
    const char* typeAt = nullptr;
    const char* actionAt = nullptr;
    std::string_view type;
    std::string_view action;
    if (!Name("MessageType", typeAt, type) || !Name("Action", actionAt, action)) return false;
    const CSS_MessageLayout* layout = FindMessageLayout(type, action);
    if (layout == nullptr) {
      if (!IsMessageType(type)) return Fail(typeAt, "unknown MessageType " + Quote(type));
      return Fail(actionAt, "unknown Action " + Quote(action) + " for MessageType " + Quote(type));
    }
    message_.kind = layout->info.kind;
    message_.interfaceId = static_cast<std::int32_t>(interfaceId);
    message_.node.reset();
    if (layout->info.hasParameters || layout->info.hasNode) {
      if (!Open(kParameters)) return false;
      if (layout->info.hasNode) {
        std::int64_t node = 0;
        if (!Open("Node") || !Number("Node", {0, std::numeric_limits<std::int32_t>::max()}, node)) {
          return false;
        }
        message_.node = static_cast<std::int32_t>(node);
      }
      if (!Elements(layout->elements, kParameters, layout->needsOptional) || !Close(kParameters)) {
        return false;
      }
    }
    if (!Close(kCommand)) return false;
    if (p_ != end_) return Fail(p_, "bytes after </Command>");
    return true;
  }

  // The elements `layouts` in order, inside the element `parent`. `needsOptional`: at least one of
  // the optional elements must be there.
  bool Elements(std::span<const CSS_ElementLayout> layouts, std::string_view parent,
                bool needsOptional) {
    bool previousThere = true;
    std::size_t previous = 0;  // the value of the element before, when it is there
    std::size_t optionalsThere = 0;
    for (std::size_t i = 0; i < layouts.size(); ++i) {
      const CSS_ElementLayout& layout = layouts[i];
      if (layout.optional && !AtTag(layout.name, false)) {
        // An element that goes with the one before is missing only when that one is.
        if (layout.withPrevious && previousThere) return Open(layout.name);
        previousThere = false;
        continue;
      }
      if (layout.withPrevious && !previousThere) {
        return Fail(
            p_, TagText(layout.name, false) + " without " + TagText(layouts[i - 1].name, false));
      }
      const std::size_t value = used_;
      if (!Element(layouts, i, parent)) return false;
      if (layout.coversPrevious) {
        const std::size_t have = message_.parameters[value].numbers.size();
        const std::size_t need = message_.parameters[previous].numbers.size();
        if (have < need) {
          return Fail(valueAt_, TagText(layout.name, false) + " holds " + std::to_string(have) +
                                    (have == 1 ? " number" : " numbers") + ", fewer than the " +
                                    std::to_string(need) + " of " +
                                    TagText(layouts[i - 1].name, false));
        }
      }
      if (layout.optional) ++optionalsThere;
      previousThere = true;
      previous = value;
    }
    if (needsOptional && optionalsThere == 0) {
      std::string expected;
      for (const CSS_ElementLayout& layout : layouts) {
        if (!layout.optional || layout.withPrevious) continue;
        expected += expected.empty() ? "expected " : " or ";
        expected += TagText(layout.name, false);
      }
      return Fail(p_, expected + " after " + TagText(parent, false));
    }
    return true;
  }

  // Element `i` of `layouts`, a child of `parent`.
  bool Element(std::span<const CSS_ElementLayout> layouts, std::size_t i, std::string_view parent) {
    const CSS_ElementLayout& layout = layouts[i];
    if (!Open(layout.name)) return false;
    valueAt_ = p_;
    switch (layout.kind) {
      case CSS_ValueKind::Number: {
        std::int64_t number = 0;
        if (!Number(layout.name, RangeOf(layout.width), number)) return false;
        NewValue(layout).number = number;
        return true;
      }
      case CSS_ValueKind::Flag:
        return Flag(layout);
      case CSS_ValueKind::Enum:
      case CSS_ValueKind::Text:
        return Text(layouts, i, parent);
      case CSS_ValueKind::Numbers:
        return Numbers(layout);
      case CSS_ValueKind::List:
        return List(layout);
      case CSS_ValueKind::Object:
        break;
    }
    return Fail(p_, "unknown kind of element");
  }

  bool Flag(const CSS_ElementLayout& layout) {
    const std::string_view value = UpToTag();
    constexpr std::string_view kTrue = "True";
    constexpr std::string_view kFalse = "False";
    const bool flag = value.size() == kTrue.size() && Same(value.data(), kTrue);
    if (!flag && !(value.size() == kFalse.size() && Same(value.data(), kFalse))) {
      return Fail(valueAt_, Quote(value) + " is not True or False");
    }
    if (!IsChoice(layout, value)) return false;
    NewValue(layout).number = flag ? 1 : 0;
    p_ += value.size();
    return Close(layout.name);
  }

  // A text is read up to its closing tag followed by what must come next, so that it may hold
  // "<", ">" and even its own closing tag elsewhere. The last element of a message ends where the
  // message ends.
  bool Text(std::span<const CSS_ElementLayout> layouts, std::size_t i, std::string_view parent) {
    const CSS_ElementLayout& layout = layouts[i];
    const char* valueEnd = nullptr;
    const bool last = i + 1 == layouts.size();
    if (last && parent == kParameters) valueEnd = EndAnchored(layout.name);
    if (valueEnd == nullptr) {
      if (!last) {
        valueEnd = layouts[i + 1].optional ? FindTags(layout.name, {}, false)
                                           : FindTags(layout.name, layouts[i + 1].name, false);
      } else {
        valueEnd = FindTags(layout.name, parent, true);
      }
    }
    if (valueEnd == nullptr) valueEnd = FindTags(layout.name, {}, false);
    if (valueEnd == nullptr) return Close(layout.name);  // reports the missing closing tag
    const std::string_view value(p_, static_cast<std::size_t>(valueEnd - p_));
    if (!IsChoice(layout, value)) return false;
    NewValue(layout).text.assign(value);
    p_ = valueEnd;
    return Close(layout.name);
  }

  bool IsChoice(const CSS_ElementLayout& layout, std::string_view value) {
    if (layout.choices.empty()) return true;
    std::string texts;
    for (const std::string_view choice : layout.choices) {
      if (value == choice) return true;
      texts += texts.empty() ? "" : " or ";
      texts += choice;
    }
    return Fail(valueAt_, Quote(value) + " is not " + texts);
  }

  // Comma-separated signed 32-bit numbers, at least one.
  bool Numbers(const CSS_ElementLayout& layout) {
    const std::size_t value = used_;
    NewValue(layout);
    const char* listEnd = p_ + UpToTag().size();
    constexpr Range kRange = RangeOf(CSS_NumberWidth::Int32);
    while (true) {
      const char* comma =
          static_cast<const char*>(std::memchr(p_, ',', static_cast<std::size_t>(listEnd - p_)));
      const char* itemEnd = comma != nullptr ? comma : listEnd;
      std::int64_t number = 0;
      if (!ParseNumber(layout.name, itemEnd, kRange, number)) return false;
      message_.parameters[value].numbers.push_back(static_cast<std::int32_t>(number));
      if (comma == nullptr) break;
      p_ = comma + 1;
    }
    return Close(layout.name);
  }

  // A list: its elements, each an element `layout.item` holding `layout.fields`.
  bool List(const CSS_ElementLayout& layout) {
    const std::size_t list = used_;
    NewValue(layout);
    std::uint32_t count = 0;
    while (AtTag(layout.item, false)) {
      if (count == layout.maxCount) {
        return Fail(p_, "more than " + std::to_string(layout.maxCount) + " " +
                            TagText(layout.item, false) + " in " + TagText(layout.name, false));
      }
      CSS_MessageValue& item = NewValue(layout);
      item.name = layout.item;
      item.kind = CSS_ValueKind::Object;
      item.count = static_cast<std::uint32_t>(layout.fields.size());
      if (!Open(layout.item) || !Elements(layout.fields, layout.item, false) ||
          !Close(layout.item)) {
        return false;
      }
      ++count;
    }
    if (count < layout.minCount) return Open(layout.item);
    message_.parameters[list].count = count;
    return Close(layout.name);
  }

  // The text of an element whose value is a name (MessageType, Action).
  bool Name(std::string_view element, const char*& at, std::string_view& value) {
    if (!Open(element)) return false;
    at = p_;
    value = UpToTag();
    p_ += value.size();
    return Close(element);
  }

  // A number up to the next tag, within `range`, then the closing tag of `element`.
  bool Number(std::string_view element, Range range, std::int64_t& number) {
    const char* numberEnd = p_ + UpToTag().size();
    return ParseNumber(element, numberEnd, range, number) && Close(element);
  }

  // The decimal number from p_ to `numberEnd`, as "%d" writes it: a minus for negatives only,
  // no leading zeros.
  bool ParseNumber(std::string_view element, const char* numberEnd, Range range,
                   std::int64_t& number) {
    const std::string_view text(p_, static_cast<std::size_t>(numberEnd - p_));
    const bool negative = !text.empty() && text.front() == '-';
    const std::string_view digits = text.substr(negative ? 1 : 0);
    if (text.empty()) return Fail(p_, "expected a number in " + TagText(element, false));
    if (digits.empty()) return Fail(p_, Quote(text) + " is not a number");
    std::uint64_t magnitude = 0;
    for (const char c : digits) {
      if (c < '0' || c > '9') return Fail(p_, Quote(text) + " is not a number");
      if (magnitude < (std::uint64_t{1} << 40))
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (digits.size() > 1 && digits.front() == '0') {
      return Fail(p_, Quote(text) + " has a leading zero");
    }
    if (negative && magnitude == 0) return Fail(p_, Quote(text) + " is zero with a minus sign");
    const auto value =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (digits.size() > 12 || value < range.min || value > range.max) {
      return Fail(p_, std::string(text.substr(0, kQuoteLength)) + " is outside " +
                          std::to_string(range.min) + ".." + std::to_string(range.max));
    }
    number = value;
    p_ = numberEnd;
    return true;
  }

  // The text from p_ to the next "<" (or the end); p_ does not move.
  std::string_view UpToTag() const {
    // Values are mostly a few bytes long: a loop finds their end sooner than a call.
    const char* stop = p_;
    while (stop != end_ && *stop != '<')
      ++stop;
    return {p_, static_cast<std::size_t>(stop - p_)};
  }

  // Whether the tag <name> (</name> when `closing`) starts at `at`.
  bool IsTag(const char* at, std::string_view name, bool closing) const {
    const std::size_t open = closing ? 2 : 1;
    if (static_cast<std::size_t>(end_ - at) < name.size() + open + 1) return false;
    if (at[0] != '<' || (closing && at[1] != '/')) return false;
    return Same(at + open, name) && at[open + name.size()] == '>';
  }
  bool AtTag(std::string_view name, bool closing) const { return IsTag(p_, name, closing); }

  // Whether `name` stands at `at`. Names are short: a loop beats a call of memcmp.
  static bool Same(const char* at, std::string_view name) {
    std::size_t i = 0;
    for (; i + 8 <= name.size(); i += 8) {
      if (Word<std::uint64_t>(at + i) != Word<std::uint64_t>(name.data() + i)) return false;
    }
    if (i + 4 <= name.size()) {
      if (Word<std::uint32_t>(at + i) != Word<std::uint32_t>(name.data() + i)) return false;
      i += 4;
    }
    for (; i < name.size(); ++i) {
      if (at[i] != name[i]) return false;
    }
    return true;
  }
  template <class Bits>
  static Bits Word(const char* at) {
    Bits bits;
    std::memcpy(&bits, at, sizeof bits);
    return bits;
  }

  // The first place from p_ on where </name> stands, followed by <next> (</next> when
  // `nextClosing`; anything when `next` is empty); null when there is none.
  const char* FindTags(std::string_view name, std::string_view next, bool nextClosing) const {
    for (const char* at = p_; at < end_; ++at) {
      if (*at != '<' || !IsTag(at, name, true)) continue;
      if (next.empty() || IsTag(at + name.size() + 3, next, nextClosing)) return at;
    }
    return nullptr;
  }

  // Where the value of the last element `name` ends when the text ends as a message does after
  // it, "</name></Parameters></Command>"; null otherwise.
  const char* EndAnchored(std::string_view name) const {
    const std::size_t tail = name.size() + 3 + kMessageEnd.size();
    if (static_cast<std::size_t>(end_ - p_) < tail) return nullptr;
    const char* at = end_ - tail;
    if (!IsTag(at, name, true)) return nullptr;
    if (!Same(at + name.size() + 3, kMessageEnd)) return nullptr;
    return at;
  }

  bool Open(std::string_view name) { return Expect(name, false); }
  bool Close(std::string_view name) { return Expect(name, true); }
  bool Expect(std::string_view name, bool closing) {
    if (!AtTag(name, closing)) [[unlikely]] {
      return Missing(name, closing);
    }
    p_ += name.size() + (closing ? 3 : 2);
    previous_ = name;
    previousClosing_ = closing;
    return true;
  }
  // Kept out of Expect, which runs for every tag of every message.
  [[gnu::cold, gnu::noinline]] bool Missing(std::string_view name, bool closing) {
    std::string reason = "expected " + TagText(name, closing);
    reason +=
        previous_.empty() ? " at the start" : " after " + TagText(previous_, previousClosing_);
    return Fail(p_, std::move(reason));
  }

  CSS_MessageValue& NewValue(const CSS_ElementLayout& layout) {
    if (used_ == message_.parameters.size()) message_.parameters.emplace_back();
    CSS_MessageValue& value = message_.parameters[used_++];
    value.name = layout.name;
    value.kind = layout.kind;
    value.width = layout.width;
    value.enumeration = layout.enumeration;
    value.count = 0;
    value.number = 0;
    value.text.clear();
    value.numbers.clear();
    return value;
  }

  bool Fail(const char* at, std::string reason) {
    error_.column = static_cast<std::size_t>(at - begin_) + 1;
    error_.reason = std::move(reason);
    return false;
  }

  const char* begin_;
  const char* p_;
  const char* end_;
  CSS_Message& message_;
  CSS_DecodeError& error_;
  std::size_t used_ = 0;           // the values of message_ filled so far
  const char* valueAt_ = nullptr;  // where the value of the current element begins
  std::string_view previous_;      // the tag read last, for errors
  bool previousClosing_ = false;
};

}  // namespace

bool DecodeMessage(std::string_view text, CSS_Message& message, CSS_DecodeError& error) {
  return Decoder(text, message, error).Run();
}

}  // namespace ssmsg
