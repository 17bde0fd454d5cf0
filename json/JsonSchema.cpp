#include "json/JsonSchema.h"

#include <cstring>
#include <optional>

#include "json/Utf8.h"

namespace ssmsg {
namespace {

std::string_view ExpectedName(CSS_JsonKind kind) {
  // By CSS_JsonKind.
  static constexpr std::string_view kNames[] = {"an integer", "a boolean", "a string", "an object",
                                                "an array"};
  const auto k = static_cast<std::size_t>(kind);
  return k < std::size(kNames) ? kNames[k] : std::string_view();
}

// Whether two keys are equal; keys are short, so comparing eight bytes at a time inline beats a
// call into the C library.
bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  std::size_t i = 0;
  for (; i + 8 <= a.size(); i += 8) {
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x != y) return false;
  }
  for (; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

std::string Range(std::int64_t min, std::int64_t max) {
  return std::to_string(min) + ".." + std::to_string(max);
}

}  // namespace

CSS_SchemaReader::CSS_SchemaReader(std::string_view fileName, const CSS_SchemaNode& root,
                                   void* context)
    : fileName_(fileName), context_(context) {
  top_ = &frames_.emplace_back(&root, std::string_view(), -1, -1);
}

bool CSS_SchemaReader::Null() {
  return OnScalar(Got::Null, 0, {});
}
bool CSS_SchemaReader::Boolean(bool value) {
  return OnScalar(Got::Boolean, value ? 1 : 0, {});
}
bool CSS_SchemaReader::Integer(std::int64_t value) {
  return OnScalar(Got::Integer, value, {});
}
bool CSS_SchemaReader::HugeInteger(std::string_view text) {
  return OnScalar(Got::HugeInteger, 0, text);
}
bool CSS_SchemaReader::Fraction(std::string_view text) {
  return OnScalar(Got::Fraction, 0, text);
}
bool CSS_SchemaReader::String(std::string_view value) {
  return OnScalar(Got::String, 0, value);
}
bool CSS_SchemaReader::StartObject() {
  return OnStart(CSS_JsonKind::Object);
}
bool CSS_SchemaReader::EndObject() {
  return OnEnd();
}
bool CSS_SchemaReader::StartArray() {
  return OnStart(CSS_JsonKind::Array);
}
bool CSS_SchemaReader::EndArray() {
  return OnEnd();
}

void CSS_SchemaReader::SyntaxError(std::string_view where, std::string_view message) {
  errors_.push_back({std::string(where), {}, std::string(message)});
}

std::string CSS_SchemaReader::PathTo(std::string_view leaf, std::int32_t position) const {
  std::string path;
  const auto addName = [&path](std::string_view name) {
    if (!path.empty()) path += '.';
    path += name;
  };
  const auto addPosition = [&path](std::int32_t at) {
    path += '[';
    path += std::to_string(at);
    path += ']';
  };
  for (std::size_t i = 1; i < frames_.size(); ++i) {
    const CSS_SchemaFrame& frame = frames_[i];
    if (frame.position >= 0) {
      addPosition(frame.position);
    } else if (!frame.name.empty()) {
      addName(frame.name);
    }
  }
  if (position >= 0) addPosition(position);
  if (!leaf.empty()) addName(leaf);
  return path;
}

std::string CSS_SchemaReader::PathOfNext(std::int32_t position) const {
  const CSS_SchemaFrame& frame = *top_;
  switch (frame.node->kind) {
    case CSS_SchemaNodeKind::Root:
      return {};
    case CSS_SchemaNodeKind::Array:
      return PathTo({}, position);
    default:
      return PathTo(frame.pendingKey);
  }
}

std::string CSS_SchemaReader::ValuePath() const {
  return PathOfNext(valuePosition_);
}

const CSS_SchemaNode* CSS_SchemaReader::NextNode() const {
  if (skipDepth_ > 0) return nullptr;
  const CSS_SchemaFrame& frame = *top_;
  const bool positional =
      frame.node->kind == CSS_SchemaNodeKind::Array || frame.node->kind == CSS_SchemaNodeKind::Root;
  const CSS_SchemaMember* member = positional ? frame.node->element : frame.pending;
  return member != nullptr ? member->node : nullptr;
}

void CSS_SchemaReader::Error(std::string_view path, std::string_view message) {
  if (errors_.size() >= kMaxErrors) {
    if (errors_.size() == kMaxErrors) errors_.push_back(MoreErrors(fileName_, "the file"));
    return;
  }
  errors_.push_back({fileName_, std::string(path), std::string(message)});
}

void CSS_SchemaReader::ExpectedGot(const CSS_SchemaMember& member, std::string_view got,
                                   std::int32_t position) {
  std::string message = "expected ";
  message.append(ExpectedName(member.kind)).append(", got ").append(got);
  Error(PathOfNext(position), message);
}

const CSS_SchemaMember* CSS_SchemaReader::Expect(std::int32_t& position) {
  CSS_SchemaFrame& frame = *top_;
  if (frame.node->kind == CSS_SchemaNodeKind::Array ||
      frame.node->kind == CSS_SchemaNodeKind::Root) {
    position = frame.count++;
    return frame.node->element;
  }
  position = -1;
  const CSS_SchemaMember* member = frame.pending;
  frame.pending = nullptr;
  return member;
}

bool CSS_SchemaReader::OnScalar(Got got, std::int64_t number, std::string_view raw) {
  if (skipDepth_ > 0) return Going();
  std::int32_t position = -1;
  const CSS_SchemaMember* member = Expect(position);
  if (member == nullptr) return Going();
  const CSS_SchemaNode& node = *top_->node;
  // Filled field by field and handed on by reference, never copied whole: a copy of a structure
  // just written in parts would wait for those writes to land.
  CSS_JsonScalar value;
  value.integer = number;
  value.flag = number != 0;
  if (got == Got::String) value.text = raw;
  value.position = position;
  valuePosition_ = position;
  if (got == Got::Null && node.null != nullptr) {
    node.null(*this, position);
    return Going();
  }
  switch (member->kind) {
    case CSS_JsonKind::Integer:
      if (got == Got::Integer) {
        if (value.integer < member->min || value.integer > member->max) {
          Error(PathOfNext(position),
                std::to_string(value.integer) + " is outside " + Range(member->min, member->max));
        } else {
          member->store(*this, value);
        }
        return Going();
      }
      if (got == Got::HugeInteger) {
        Error(PathOfNext(position),
              std::string(raw) + " is outside " + Range(member->min, member->max));
        return Going();
      }
      if (got == Got::Fraction) {
        Error(PathOfNext(position), std::string(raw) + " is not an integer");
        return Going();
      }
      break;
    case CSS_JsonKind::Boolean:
      if (got == Got::Boolean) {
        member->store(*this, value);
        return Going();
      }
      break;
    case CSS_JsonKind::Text:
      if (got == Got::String) {
        if (const std::optional<char32_t> control = utf8::FirstControl(value.text)) {
          Error(PathOfNext(position), utf8::ControlProblem(*control));
          return Going();
        }
        member->store(*this, value);
        return Going();
      }
      break;
    case CSS_JsonKind::Object:
    case CSS_JsonKind::Array:
      break;
  }
  std::string_view gotName = "a number";
  if (got == Got::Null) gotName = "null";
  if (got == Got::Boolean) gotName = "a boolean";
  if (got == Got::String) gotName = "a string";
  ExpectedGot(*member, gotName, position);
  return Going();
}

bool CSS_SchemaReader::OnStart(CSS_JsonKind kind) {
  if (skipDepth_ > 0) {
    ++skipDepth_;
    return Going();
  }
  std::int32_t position = -1;
  const CSS_SchemaMember* member = Expect(position);
  if (member == nullptr || member->kind != kind) {
    if (member != nullptr) ExpectedGot(*member, ExpectedName(kind), position);
    skipDepth_ = 1;
    return Going();
  }
  const CSS_SchemaFrame& parent = *top_;
  const bool inArray = parent.node->kind == CSS_SchemaNodeKind::Array;
  const bool atTop = parent.node->kind == CSS_SchemaNodeKind::Root;
  top_ = &frames_.emplace_back(member->node, inArray ? std::string_view() : parent.pendingKey,
                               atTop ? -1 : position, inArray ? position : parent.element);
  if (member->node->open != nullptr) member->node->open(*this, *top_);
  return Going();
}

bool CSS_SchemaReader::OnEnd() {
  if (skipDepth_ > 0) {
    --skipDepth_;
    return Going();
  }
  const CSS_SchemaFrame& frame = *top_;
  const auto& members = frame.node->members;
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (members[i].required && (frame.seen >> i & 1) == 0) {
      Error(PathTo(), "missing required key \"" + std::string(members[i].key) + "\"");
    }
  }
  if (frame.node->close != nullptr) frame.node->close(*this, frame);
  frames_.pop_back();
  top_ = &frames_.back();
  return Going();
}

bool CSS_SchemaReader::Key(std::string_view key) {
  if (skipDepth_ > 0) return Going();
  CSS_SchemaFrame& frame = *top_;
  frame.pending = nullptr;
  frame.pendingKey = {};
  if (frame.node->kind == CSS_SchemaNodeKind::Map) {
    const CSS_SchemaMember* member = frame.node->key(*this, key);
    if (member != nullptr) {
      frame.pending = member;
      frame.mapKey.assign(key);
      frame.pendingKey = frame.mapKey;
    }
    return Going();
  }
  // Keys mostly come in table order, so the search starts after the last one found.
  const auto& members = frame.node->members;
  const std::size_t count = members.size();
  for (std::size_t n = 0; n < count; ++n) {
    std::size_t i = frame.hint + n;
    if (i >= count) i -= count;
    if (!SameKey(members[i].key, key)) continue;
    frame.hint = i + 1;
    if ((frame.seen >> i & 1) != 0) {
      Error(PathTo(key), "appears more than once");
      return Going();
    }
    frame.seen |= std::uint64_t{1} << i;
    frame.pending = &members[i];
    frame.pendingKey = members[i].key;
    return Going();
  }
  Error(PathTo(key), "unknown key");
  return Going();
}

}  // namespace ssmsg
