#include "server/JsonValue.h"

#include <ssmsg/Json.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <utility>

namespace ssmsg::server {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  JsonReadResult Read() {
    JsonReadResult result;
    Blanks();
    if (Value(result.value, 0)) {
      Blanks();
      if (at_ != text_.size()) Fail("text after the value");
    }
    result.ok = error_.empty();
    if (!result.ok) {
      result.value = JsonValue{};
      result.error = Where() + ": " + error_;
    }
    return result;
  }

 private:
  bool Fail(std::string_view what) {
    if (error_.empty()) {
      error_ = what;
      failedAt_ = at_;
    }
    return false;
  }

  std::string Where() const {
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < failedAt_ && i < text_.size(); ++i) {
      if (text_[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
  }

  void Blanks() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
      ++at_;
  }

  bool Literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return Fail("not a JSON value");
    at_ += word.size();
    return true;
  }

  bool Value(JsonValue& out, std::size_t depth) {
    if (at_ == text_.size()) return Fail("the text ends where a value should be");
    switch (text_[at_]) {
      case '{':
        return Object(out, depth + 1);
      case '[':
        return Array(out, depth + 1);
      case '"':
        out.kind = JsonValue::Kind::String;
        return String(out.text);
      case 't':
        out.kind = JsonValue::Kind::True;
        return Literal("true");
      case 'f':
        out.kind = JsonValue::Kind::False;
        return Literal("false");
      case 'n':
        out.kind = JsonValue::Kind::Null;
        return Literal("null");
      default:
        out.kind = JsonValue::Kind::Number;
        return Number(out.text);
    }
  }

  bool Digits() {
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9')
      ++at_;
    return at_ > start;
  }

  bool Number(std::string& out) {
    const std::size_t start = at_;
    const auto fail = [this, start](std::string_view what) {
      at_ = start;
      return Fail(what);
    };
    if (at_ < text_.size() && text_[at_] == '-') ++at_;
    const std::size_t first = at_;
    if (!Digits()) return fail("not a JSON value");
    if (text_[first] == '0' && at_ - first > 1) return fail("a number with a leading zero");
    if (at_ < text_.size() && text_[at_] == '.') {
      ++at_;
      if (!Digits()) return fail("a number without digits after its point");
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
      if (!Digits()) return fail("a number without digits in its exponent");
    }
    out.assign(text_.substr(start, at_ - start));
    return true;
  }

  bool Hex4(std::uint32_t& out) {
    if (text_.size() - at_ < 4) return Fail("a \\u escape without four hex digits");
    out = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      std::uint32_t digit = 0;
      if (c >= '0' && c <= '9') {
        digit = static_cast<std::uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        digit = static_cast<std::uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        digit = static_cast<std::uint32_t>(c - 'A' + 10);
      } else {
        return Fail("a \\u escape without four hex digits");
      }
      out = out * 16 + digit;
    }
    return true;
  }

  static void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  bool Escape(std::string& out) {
    if (at_ == text_.size()) return Fail("the text ends inside a string");
    const char c = text_[at_++];
    switch (c) {
      case '"':
        out += '"';
        return true;
      case '\\':
        out += '\\';
        return true;
      case '/':
        out += '/';
        return true;
      case 'b':
        out += '\b';
        return true;
      case 'f':
        out += '\f';
        return true;
      case 'n':
        out += '\n';
        return true;
      case 'r':
        out += '\r';
        return true;
      case 't':
        out += '\t';
        return true;
      case 'u':
        break;
      default:
        --at_;
        return Fail("an unknown escape");
    }
    std::uint32_t code = 0;
    if (!Hex4(code)) return false;
    if (code >= 0xDC00 && code <= 0xDFFF) return Fail("a \\u escape of a lone low surrogate");
    if (code >= 0xD800 && code <= 0xDBFF) {
      std::uint32_t low = 0;
      if (text_.substr(at_, 2) != "\\u") return Fail("a high surrogate without its low one");
      at_ += 2;
      if (!Hex4(low)) return false;
      if (low < 0xDC00 || low > 0xDFFF) return Fail("a high surrogate without its low one");
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    AppendUtf8(out, code);
    return true;
  }

  bool String(std::string& out) {
    ++at_;  // the opening quote
    const std::size_t start = at_;
    for (;;) {
      // A run of plain bytes at a time; the run is checked for UTF-8 as a whole.
      const std::size_t run = at_;
      while (at_ < text_.size() && text_[at_] != '"' && text_[at_] != '\\' &&
             static_cast<unsigned char>(text_[at_]) >= 0x20)
        ++at_;
      const std::string_view plain = text_.substr(run, at_ - run);
      if (!IsUtf8(plain)) {
        at_ = run;
        return Fail("a string that is not UTF-8");
      }
      out.append(plain);
      if (at_ == text_.size()) {
        at_ = start - 1;
        return Fail("a string without its closing quote");
      }
      const char c = text_[at_++];
      if (c == '"') return true;
      if (c != '\\') {
        --at_;
        return Fail("a control character inside a string");
      }
      if (!Escape(out)) return false;
    }
  }

  bool Array(JsonValue& out, std::size_t depth) {
    if (depth > kJsonMaxDepth) return Fail("nested too deep");
    out.kind = JsonValue::Kind::Array;
    ++at_;
    Blanks();
    if (at_ < text_.size() && text_[at_] == ']') {
      ++at_;
      return true;
    }
    for (;;) {
      Blanks();
      out.items.emplace_back();
      if (!Value(out.items.back(), depth)) return false;
      Blanks();
      if (at_ == text_.size()) return Fail("the text ends inside an array");
      const char c = text_[at_++];
      if (c == ']') return true;
      if (c != ',') {
        --at_;
        return Fail("expected , or ] in an array");
      }
    }
  }

  bool Object(JsonValue& out, std::size_t depth) {
    if (depth > kJsonMaxDepth) return Fail("nested too deep");
    out.kind = JsonValue::Kind::Object;
    ++at_;
    Blanks();
    if (at_ < text_.size() && text_[at_] == '}') {
      ++at_;
      return true;
    }
    std::vector<std::size_t> nameAt;  // where each member's name starts
    for (;;) {
      Blanks();
      if (at_ == text_.size() || text_[at_] != '"') return Fail("expected a name in quotes");
      nameAt.push_back(at_);
      JsonMember member;
      if (!String(member.name)) return false;
      Blanks();
      if (at_ == text_.size() || text_[at_] != ':') return Fail("expected : after a name");
      ++at_;
      Blanks();
      if (!Value(member.value, depth)) return false;
      out.members.push_back(std::move(member));
      Blanks();
      if (at_ == text_.size()) return Fail("the text ends inside an object");
      const char c = text_[at_++];
      if (c == '}') return Unique(out.members, nameAt);
      if (c != ',') {
        --at_;
        return Fail("expected , or } in an object");
      }
    }
  }

  // Whether each name of `members` (that start at `nameAt`) is given once; otherwise fails at the
  // second of two. A few members are compared with each other, many sorted.
  bool Unique(const std::vector<JsonMember>& members, const std::vector<std::size_t>& nameAt) {
    constexpr std::size_t kFew = 16;
    std::size_t twice = members.size();
    if (members.size() <= kFew) {
      for (std::size_t i = 1; i < members.size() && twice == members.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
          if (members[i].name == members[j].name) {
            twice = i;
            break;
          }
        }
      }
    } else {
      std::vector<std::size_t> order(members.size());
      for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
      std::sort(order.begin(), order.end(), [&members](std::size_t a, std::size_t b) {
        return members[a].name != members[b].name ? members[a].name < members[b].name : a < b;
      });
      for (std::size_t k = 1; k < order.size(); ++k) {
        if (members[order[k]].name == members[order[k - 1]].name) twice = std::min(twice, order[k]);
      }
    }
    if (twice == members.size()) return true;
    at_ = nameAt[twice];
    return Fail("a name given twice in one object");
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::string error_;
  std::size_t failedAt_ = 0;
};

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

JsonReadResult ReadJson(std::string_view text) {
  return Reader(text).Read();
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
  bool inString = false;
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (inString) {
      out += c;
      if (c == '\\' && i + 1 < json.size()) {
        out += json[++i];
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
      out += c;
    } else if (c != ' ' && c != '\n' && c != '\r' && c != '\t') {
      out += c;
    }
  }
  return out;
}

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

std::size_t SkipBlanks(std::string_view text, std::size_t at) {
  while (at < text.size() && IsBlank(text[at]))
    ++at;
  return at;
}

// Where the value that starts at `at` of valid JSON `text` ends.
std::size_t SkipValue(std::string_view text, std::size_t at) {
  std::size_t depth = 0;
  bool inString = false;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (inString) {
      if (c == '\\') {
        ++at;
      } else if (c == '"') {
        inString = false;
        if (depth == 0) return at + 1;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      if (depth == 0) return at;
      if (--depth == 0) return at + 1;
    } else if (depth == 0 && (c == ',' || IsBlank(c))) {
      return at;
    }
  }
  return at;
}

}  // namespace

std::optional<std::vector<RawMember>> RawMembers(std::string_view text) {
  std::size_t at = SkipBlanks(text, 0);
  if (at == text.size() || text[at] != '{') return std::nullopt;
  std::vector<RawMember> members;
  at = SkipBlanks(text, at + 1);
  if (at < text.size() && text[at] == '}') return members;
  while (at < text.size() && text[at] == '"') {
    const std::size_t nameEnd = SkipValue(text, at);
    std::string name = ReadJson(text.substr(at, nameEnd - at)).value.text;
    at = SkipBlanks(text, nameEnd);
    if (at == text.size() || text[at] != ':') return std::nullopt;
    at = SkipBlanks(text, at + 1);
    const std::size_t valueEnd = SkipValue(text, at);
    members.push_back({std::move(name), text.substr(at, valueEnd - at)});
    at = SkipBlanks(text, valueEnd);
    if (at < text.size() && text[at] == '}') return members;
    if (at == text.size() || text[at] != ',') return std::nullopt;
    at = SkipBlanks(text, at + 1);
  }
  return std::nullopt;
}

std::string MergePatchText(std::string_view target, const JsonValue& patch) {
  if (!patch.IsObject()) return ToJson(patch);
  // A target that is not an object is patched as an empty one.
  const std::vector<RawMember> members = RawMembers(target).value_or(std::vector<RawMember>{});
  // The patch's members by name, so that a patch of many members costs no more than its size.
  std::unordered_map<std::string_view, std::size_t> changes;
  for (std::size_t i = 0; i < patch.members.size(); ++i)
    changes.emplace(patch.members[i].name, i);
  std::vector<bool> applied(patch.members.size(), false);
  std::string out = "{";
  const auto add = [&out](std::string_view name, std::string_view value) {
    if (out.size() > 1) out += ',';
    AppendJsonString(out, name);
    out += ':';
    out += value;
  };
  for (const RawMember& member : members) {
    const auto found = changes.find(member.name);
    if (found == changes.end()) {
      add(member.name, member.value);
      continue;
    }
    applied[found->second] = true;
    const JsonValue& change = patch.members[found->second].value;
    if (change.kind != JsonValue::Kind::Null)
      add(member.name, MergePatchText(member.value, change));
  }
  for (std::size_t i = 0; i < patch.members.size(); ++i) {
    const JsonMember& change = patch.members[i];
    if (!applied[i] && change.value.kind != JsonValue::Kind::Null)
      add(change.name, MergePatchText({}, change.value));
  }
  out += '}';
  return out;
}

void ApplyMergePatch(JsonValue& target, const JsonValue& patch) {
  target = ReadJson(MergePatchText(ToJson(target), patch)).value;
}

}  // namespace ssmsg::server
