#include "server/JsonValue.h"

#include <ssmsg/Json.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <unordered_map>
#include <utility>

#include "json/JsonDom.h"
#include "json/JsonParse.h"

namespace ssmsg::server {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// "line 3, column 7" for the byte at `at` of `text` (or for its end).
std::string Where(std::string_view text, std::size_t at) {
  std::size_t line = 1;
  std::size_t column = 1;
  for (std::size_t i = 0; i < at && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// The syntax error that ParseJson found at `place`, in the words of the server's answers: where
// the token that is wrong starts (inside a string, the escape or character) and what is wrong.
std::string SyntaxError(std::string_view text, const CSS_JsonPlace& place) {
  using Mistake = CSS_JsonMistake;
  const auto at = [text](std::size_t where, std::string_view what) {
    return Where(text, where) + ": " + std::string(what);
  };
  const std::size_t token = place.token;
  // A number that starts with a zero ends after it, and its other digits are read as a token of
  // their own, which is then found just after a digit.
  if (place.mistake != Mistake::End && token > 0 && token < text.size() && IsDigit(text[token]) &&
      IsDigit(text[token - 1])) {
    return at(token - (token >= 2 && text[token - 2] == '-' ? 2 : 1),
              "a number with a leading zero");
  }
  const bool inString = place.mistake == Mistake::Unclosed || place.mistake == Mistake::Control ||
                        place.mistake == Mistake::Utf8 || place.mistake == Mistake::Escape ||
                        place.mistake == Mistake::Hex || place.mistake == Mistake::LowSurrogate ||
                        place.mistake == Mistake::HighSurrogate;
  switch (place.expected) {
    case CSS_JsonExpected::Value:
      break;
    case CSS_JsonExpected::End:
      return at(token, "text after the value");
    case CSS_JsonExpected::ArrayNext:
      return place.mistake == Mistake::End ? at(token, "the text ends inside an array")
                                           : at(token, "expected , or ] in an array");
    case CSS_JsonExpected::ObjectNext:
      return place.mistake == Mistake::End ? at(token, "the text ends inside an object")
                                           : at(token, "expected , or } in an object");
    case CSS_JsonExpected::Colon:
      return at(token, "expected : after a name");
    case CSS_JsonExpected::Key:
      if (!inString) return at(token, "expected a name in quotes");
      break;
  }
  switch (place.mistake) {
    case Mistake::End:
      return at(token, "the text ends where a value should be");
    case Mistake::Nul:
      return at(token, "a NUL byte");
    case Mistake::Point:
      return at(token, "a number without digits after its point");
    case Mistake::Exponent:
      return at(token, "a number without digits in its exponent");
    case Mistake::Unclosed:
      return at(token, "a string without its closing quote");
    case Mistake::Control:
      return at(place.piece, "a control character inside a string");
    case Mistake::Utf8:
      return at(place.piece, "a string that is not UTF-8");
    case Mistake::Escape:
      return place.piece + 1 == text.size() ? at(text.size(), "the text ends inside a string")
                                            : at(place.piece, "an unknown escape");
    case Mistake::Hex:
      return at(place.piece, "a \\u escape without four hex digits");
    case Mistake::LowSurrogate:
      return at(place.piece, "a \\u escape of a lone low surrogate");
    case Mistake::HighSurrogate:
      return at(place.piece, "a high surrogate without its low one");
    case Mistake::None:
    case Mistake::Unexpected:
    case Mistake::ByteOrderMark:
    case Mistake::Literal:
    case Mistake::Minus:
    case Mistake::Range:
      break;
  }
  return at(token, "not a JSON value");  // a word, a sign or a bracket where a value should be
}

// Builds the tree of a text from ParseJson's events: numbers keep the text they were written
// as, nesting is bounded, and a name given twice in one object is refused. The elements and
// members of the open arrays and objects wait on stacks until theirs closes and takes them all
// at once. With `build` false it only checks what a tree would refuse, keeping nothing but the
// names of the open objects.
class TreeBuilder final : public CSS_JsonEvents {
 public:
  TreeBuilder(std::string_view text, const CSS_JsonPlace& place, bool build)
      : text_(text), place_(place), build_(build) {}

  const std::string& Error() const { return error_; }
  JsonValue& Root() { return root_; }

  bool Null() override { return Scalar(JsonValue::Kind::Null); }
  bool Boolean(bool value) override {
    return Scalar(value ? JsonValue::Kind::True : JsonValue::Kind::False);
  }
  bool Integer(std::int64_t /*value*/) override { return Number(); }
  bool HugeInteger(std::string_view /*text*/) override { return Number(); }
  bool Fraction(std::string_view /*text*/) override { return Number(); }
  bool String(std::string_view value) override {
    if (!build_) return true;
    JsonValue& string = Slot();
    string.kind = JsonValue::Kind::String;
    string.text.assign(value);
    return true;
  }
  bool StartObject() override { return Open(true); }
  bool Key(std::string_view key) override {
    members_.emplace_back().name.assign(key);
    nameAt_.push_back(place_.token);
    return true;
  }
  bool EndObject() override {
    const Frame frame = frames_.back();
    frames_.pop_back();
    const auto first = members_.begin() + static_cast<std::ptrdiff_t>(frame.first);
    const std::size_t twice = GivenTwice(std::span<const JsonMember>(first, members_.end()));
    if (frame.first + twice < members_.size()) {
      return Fail(nameAt_[frame.first + twice], "a name given twice in one object");
    }
    std::vector<JsonMember> members;
    if (build_)
      members.assign(std::make_move_iterator(first), std::make_move_iterator(members_.end()));
    members_.resize(frame.first);
    nameAt_.resize(frame.first);
    if (!build_) return true;
    JsonValue& object = Slot();
    object.kind = JsonValue::Kind::Object;
    object.members = std::move(members);
    return true;
  }
  bool StartArray() override { return Open(false); }
  bool EndArray() override {
    const Frame frame = frames_.back();
    frames_.pop_back();
    if (!build_) return true;
    std::vector<JsonValue> items(
        std::make_move_iterator(items_.begin() + static_cast<std::ptrdiff_t>(frame.first)),
        std::make_move_iterator(items_.end()));
    items_.resize(frame.first);
    JsonValue& array = Slot();
    array.kind = JsonValue::Kind::Array;
    array.items = std::move(items);
    return true;
  }
  void SyntaxError(std::string_view /*where*/, std::string_view /*message*/) override {
    error_ = server::SyntaxError(text_, place_);
  }

 private:
  // An open object or array: where its members or elements start on their stack.
  struct Frame {
    bool object;
    std::size_t first;
  };

  // Where the value that comes next goes: its array's stack, its member, or the root.
  JsonValue& Slot() {
    if (frames_.empty()) return root_;
    if (frames_.back().object) return members_.back().value;
    return items_.emplace_back();
  }

  bool Scalar(JsonValue::Kind kind) {
    if (!build_) return true;
    Slot().kind = kind;
    return true;
  }

  bool Number() {
    if (!build_) return true;
    JsonValue& number = Slot();
    number.kind = JsonValue::Kind::Number;
    number.text.assign(text_.substr(place_.token, place_.end - place_.token));
    return true;
  }

  bool Open(bool object) {
    if (frames_.size() == kJsonMaxDepth) return Fail(place_.token, "nested too deep");
    frames_.push_back({object, object ? members_.size() : items_.size()});
    return true;
  }

  bool Fail(std::size_t at, std::string_view what) {
    error_ = Where(text_, at) + ": " + std::string(what);
    return false;
  }

  // The index of the first member whose name an earlier member has, or the count of members. A
  // few members are compared with each other, many sorted.
  static std::size_t GivenTwice(std::span<const JsonMember> members) {
    constexpr std::size_t kFew = 16;
    if (members.size() <= kFew) {
      for (std::size_t i = 1; i < members.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
          if (members[i].name == members[j].name) return i;
        }
      }
      return members.size();
    }
    std::vector<std::size_t> order(members.size());
    for (std::size_t i = 0; i < order.size(); ++i)
      order[i] = i;
    std::sort(order.begin(), order.end(), [&members](std::size_t a, std::size_t b) {
      return members[a].name != members[b].name ? members[a].name < members[b].name : a < b;
    });
    std::size_t twice = members.size();
    for (std::size_t k = 1; k < order.size(); ++k) {
      if (members[order[k]].name == members[order[k - 1]].name) twice = std::min(twice, order[k]);
    }
    return twice;
  }

  std::string_view text_;
  const CSS_JsonPlace& place_;
  bool build_;
  JsonValue root_;
  std::vector<JsonMember> members_;  // of the open objects
  std::vector<std::size_t> nameAt_;  // where each of their names starts in the text
  std::vector<JsonValue> items_;     // of the open arrays
  std::vector<Frame> frames_;        // the objects and arrays open, innermost last
  std::string error_;
};

std::size_t SkipBlanks(std::string_view text, std::size_t at) {
  while (at < text.size() && IsBlank(text[at]))
    ++at;
  return at;
}

// `text` read by the library's reader: its tree (with `build`; otherwise null), or why not.
JsonRead Read(std::string_view text, bool build) {
  CSS_JsonPlace place;
  TreeBuilder builder(text, place, build);
  CSS_JsonOptions options;
  options.place = &place;
  options.byteOrderMark = false;
  options.numbersInRange = false;  // the site's checks say what is out of range
  ParseJson(text, {}, builder, options);
  if (!builder.Error().empty()) return Failure{builder.Error()};
  return std::move(builder.Root());
}

}  // namespace

const JsonValue* JsonValue::Find(std::string_view name) const {
  for (const JsonMember& member : members) {
    if (member.name == name) return &member.value;
  }
  return nullptr;
}

JsonValue* JsonValue::Find(std::string_view name) {
  for (JsonMember& member : members) {
    if (member.name == name) return &member.value;
  }
  return nullptr;
}

JsonRead ReadJson(std::string_view text) {
  return Read(text, true);
}

Result<std::string_view, std::string> CheckJson(std::string_view text) {
  JsonRead read = Read(text, false);
  if (!read) return Failure{std::move(read.error())};
  return text;
}

void WriteJson(const JsonValue& value, std::string& out) {
  switch (value.kind) {
    case JsonValue::Kind::Null:
      out += "null";
      return;
    case JsonValue::Kind::False:
      out += "false";
      return;
    case JsonValue::Kind::True:
      out += "true";
      return;
    case JsonValue::Kind::Number:
      out += value.text;
      return;
    case JsonValue::Kind::String:
      AppendJsonString(out, value.text);
      return;
    case JsonValue::Kind::Array: {
      out += '[';
      for (std::size_t i = 0; i < value.items.size(); ++i) {
        if (i > 0) out += ',';
        WriteJson(value.items[i], out);
      }
      out += ']';
      return;
    }
    case JsonValue::Kind::Object: {
      out += '{';
      for (std::size_t i = 0; i < value.members.size(); ++i) {
        if (i > 0) out += ',';
        AppendJsonString(out, value.members[i].name);
        out += ':';
        WriteJson(value.members[i].value, out);
      }
      out += '}';
      return;
    }
  }
}

std::string ToJson(const JsonValue& value) {
  std::string out;
  WriteJson(value, out);
  return out;
}

std::string CompactJson(std::string_view json) {
  std::string out;
  out.reserve(json.size());
  std::size_t at = 0;
  while (at < json.size()) {
    // A run of bytes outside strings up to a blank or a string, then the blanks or the string.
    std::size_t end = at;
    while (end < json.size() && json[end] != '"' && !IsBlank(json[end]))
      ++end;
    out.append(json, at, end - at);
    if (end == json.size()) break;
    if (json[end] == '"') {
      at = std::min(FindValueEnd(json, end), json.size());
      out.append(json, end, at - end);
    } else {
      at = SkipBlanks(json, end);
    }
  }
  return out;
}

std::optional<std::vector<RawMember>> RawMembers(std::string_view text) {
  std::size_t at = SkipBlanks(text, 0);
  if (at == text.size() || text[at] != '{') return std::nullopt;
  std::vector<RawMember> members;
  at = SkipBlanks(text, at + 1);
  if (at < text.size() && text[at] == '}') return members;
  while (at < text.size() && text[at] == '"') {
    const std::size_t nameEnd = FindValueEnd(text, at);
    if (nameEnd == std::string_view::npos) return std::nullopt;
    const std::string_view quoted = text.substr(at, nameEnd - at);
    // A name without escapes is its text between the quotes.
    std::string name;
    if (quoted.find('\\') == std::string_view::npos) {
      name = quoted.substr(1, quoted.size() - 2);
    } else if (JsonRead read = ReadJson(quoted)) {
      name = std::move(read->text);
    } else {
      return std::nullopt;
    }
    at = SkipBlanks(text, nameEnd);
    if (at == text.size() || text[at] != ':') return std::nullopt;
    at = SkipBlanks(text, at + 1);
    const std::size_t valueEnd = FindValueEnd(text, at);
    if (valueEnd == std::string_view::npos) return std::nullopt;
    members.push_back({std::move(name), text.substr(at, valueEnd - at)});
    at = SkipBlanks(text, valueEnd);
    if (at < text.size() && text[at] == '}') return members;
    if (at == text.size() || text[at] != ',') return std::nullopt;
    at = SkipBlanks(text, at + 1);
  }
  return std::nullopt;
}

std::optional<std::vector<std::string_view>> RawItems(std::string_view text) {
  std::size_t at = SkipBlanks(text, 0);
  if (at == text.size() || text[at] != '[') return std::nullopt;
  std::vector<std::string_view> items;
  at = SkipBlanks(text, at + 1);
  if (at < text.size() && text[at] == ']') return items;
  while (at < text.size()) {
    const std::size_t end = FindValueEnd(text, at);
    if (end == std::string_view::npos || end == at) return std::nullopt;
    items.push_back(text.substr(at, end - at));
    at = SkipBlanks(text, end);
    if (at < text.size() && text[at] == ']') return items;
    if (at == text.size() || text[at] != ',') return std::nullopt;
    at = SkipBlanks(text, at + 1);
  }
  return std::nullopt;
}

std::string MergePatchText(std::string_view target, std::string_view patch) {
  std::optional<std::vector<RawMember>> changes = RawMembers(patch);
  if (!changes) {
    const std::size_t start = SkipBlanks(patch, 0);
    std::size_t end = patch.size();
    while (end > start && IsBlank(patch[end - 1]))
      --end;
    return std::string(patch.substr(start, end - start));
  }
  // A target that is not an object is patched as an empty one.
  const std::vector<RawMember> members = RawMembers(target).value_or(std::vector<RawMember>{});
  // The patch's members by name, so that a patch of many members costs no more than its size.
  std::unordered_map<std::string_view, std::size_t> named;
  for (std::size_t i = 0; i < changes->size(); ++i)
    named.emplace((*changes)[i].name, i);
  std::vector<bool> applied(changes->size(), false);
  std::string out = "{";
  const auto add = [&out](std::string_view name, std::string_view value) {
    if (out.size() > 1) out += ',';
    AppendJsonString(out, name);
    out += ':';
    out += value;
  };
  for (const RawMember& member : members) {
    const auto found = named.find(member.name);
    if (found == named.end()) {
      add(member.name, member.value);
      continue;
    }
    applied[found->second] = true;
    const std::string_view change = (*changes)[found->second].value;
    if (change != "null") add(member.name, MergePatchText(member.value, change));
  }
  for (std::size_t i = 0; i < changes->size(); ++i) {
    const RawMember& change = (*changes)[i];
    if (!applied[i] && change.value != "null") add(change.name, MergePatchText({}, change.value));
  }
  out += '}';
  return out;
}

std::string JoinPath(std::string_view base, std::string_view key) {
  std::string path(base);
  if (!path.empty()) path += '.';
  path += key;
  return path;
}

std::string ItemPath(std::string_view base, std::size_t index) {
  std::string path(base);
  path += '[';
  path += std::to_string(index);
  path += ']';
  return path;
}

}  // namespace ssmsg::server
