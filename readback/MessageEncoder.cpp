// Writes a CSS_Message: back into the text of its message, through the same envelope and element
// code that builds every message, or into one line of JSON.

#include <ssmsg/Json.h>
#include <ssmsg/Message.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_Params.h"
#include "core/CSS_Command.h"
#include "core/CSS_Format.h"

namespace ssmsg {
namespace {

using Values = std::vector<CSS_MessageValue>;

bool InWidth(std::int64_t number, CSS_NumberWidth width) {
  switch (width) {
    case CSS_NumberWidth::Int16:
      return number >= std::numeric_limits<std::int16_t>::min() &&
             number <= std::numeric_limits<std::int16_t>::max();
    case CSS_NumberWidth::UInt8:
      return number >= 0 && number <= std::numeric_limits<std::uint8_t>::max();
    case CSS_NumberWidth::Int32:
      break;
  }
  return number >= std::numeric_limits<std::int32_t>::min() &&
         number <= std::numeric_limits<std::int32_t>::max();
}

bool IsChoice(const CSS_ElementLayout& layout, std::string_view text) {
  if (layout.choices.empty()) return true;
  for (const std::string_view choice : layout.choices) {
    if (text == choice) return true;
  }
  return false;
}

// Whether `values` from `at` on hold the elements `layouts`, as the decoder would have read them;
// `at` moves past them.
bool Matches(std::span<const CSS_ElementLayout> layouts, bool needsOptional, const Values& values,
             std::size_t& at) {
  bool previousThere = true;
  std::size_t previous = 0;
  std::size_t optionalsThere = 0;
  for (const CSS_ElementLayout& layout : layouts) {
    const bool there = at < values.size() && values[at].name == layout.name;
    if (layout.optional && !there) {
      if (layout.withPrevious && previousThere) return false;
      previousThere = false;
      continue;
    }
    if (!there || values[at].kind != layout.kind || (layout.withPrevious && !previousThere)) {
      return false;
    }
    const CSS_MessageValue& value = values[at];
    const std::size_t index = at++;
    switch (layout.kind) {
      case CSS_ValueKind::Number:
        if (!InWidth(value.number, layout.width)) return false;
        break;
      case CSS_ValueKind::Flag:
        if (value.number != 0 && value.number != 1) return false;
        if (!IsChoice(layout, value.number != 0 ? "True" : "False")) return false;
        break;
      case CSS_ValueKind::Enum:
      case CSS_ValueKind::Text:
        if (!IsChoice(layout, value.text)) return false;
        break;
      case CSS_ValueKind::Numbers:
        if (value.numbers.empty()) return false;
        if (layout.coversPrevious && value.numbers.size() < values[previous].numbers.size()) {
          return false;
        }
        break;
      case CSS_ValueKind::List:
        if (value.count < layout.minCount || value.count > layout.maxCount) return false;
        for (std::uint32_t item = 0; item < value.count; ++item) {
          if (at >= values.size() || values[at].kind != CSS_ValueKind::Object ||
              values[at].name != layout.item || values[at].count != layout.fields.size()) {
            return false;
          }
          ++at;
          if (!Matches(layout.fields, false, values, at)) return false;
        }
        break;
      case CSS_ValueKind::Object:
        return false;
    }
    if (layout.optional) ++optionalsThere;
    previousThere = true;
    previous = index;
  }
  return !needsOptional || optionalsThere > 0;
}

// A command that writes the values of a message as they are.
class ValueCommand final : public CSS_Command {
 public:
  ValueCommand(const CSS_MessageLayout& layout, const Values& values)
      : CSS_Command(layout), values_(values) {}

  bool AddParameters(CSS_XmlTag* parameters) override {
    if (parameters == nullptr) return false;
    std::size_t at = 0;
    while (at < values_.size())
      Write(parameters, at);
    return true;
  }

 private:
  // Writes the value at `at` (with what it holds) under `parent` and moves past it.
  void Write(CSS_XmlTag* parent, std::size_t& at) {
    const CSS_MessageValue& value = values_[at++];
    CSS_Params params(parent);
    switch (value.kind) {
      case CSS_ValueKind::Number:
        params.Number(value.name, static_cast<std::int32_t>(value.number));
        break;
      case CSS_ValueKind::Flag:
        params.Flag(value.name, value.number != 0 ? 1 : 0);
        break;
      case CSS_ValueKind::Enum:
      case CSS_ValueKind::Text:
        params.Text(value.name, value.text);
        break;
      case CSS_ValueKind::Numbers: {
        text_.clear();
        for (const std::int32_t number : value.numbers) {
          if (!text_.empty()) text_ += ',';
          AppendDecimal(text_, number);
        }
        params.Text(value.name, text_);
        break;
      }
      case CSS_ValueKind::List: {
        // The list is the last element of its message, so its closing tag may wait; each of its
        // elements closes itself.
        CSS_XmlTag* list = parent->AddContainer(value.name, false);
        for (std::uint32_t item = 0; item < value.count; ++item) {
          const CSS_MessageValue& object = values_[at++];
          CSS_XmlTag* element = list->AddContainer(object.name, true);
          for (std::uint32_t field = 0; field < object.count; ++field)
            Write(element, at);
        }
        break;
      }
      case CSS_ValueKind::Object:
        break;
    }
  }

  const Values& values_;
  std::string text_;
};

void AppendValue(std::string& out, const Values& values, std::size_t& at);

// `count` values from `at` on as the members of an object, braces included.
void AppendObject(std::string& out, const Values& values, std::size_t& at, std::size_t count) {
  out += '{';
  for (std::size_t i = 0; i < count && at < values.size(); ++i) {
    if (i > 0) out += ',';
    AppendValue(out, values, at);
  }
  out += '}';
}

// The value at `at` as "name":value, and past it.
void AppendValue(std::string& out, const Values& values, std::size_t& at) {
  const CSS_MessageValue& value = values[at++];
  AppendJsonString(out, value.name);
  out += ':';
  switch (value.kind) {
    case CSS_ValueKind::Number:
      out += std::to_string(value.number);
      break;
    case CSS_ValueKind::Flag:
      out += value.number != 0 ? "true" : "false";
      break;
    case CSS_ValueKind::Enum:
    case CSS_ValueKind::Text:
      AppendJsonString(out, value.text);
      break;
    case CSS_ValueKind::Numbers:
      out += '[';
      for (std::size_t i = 0; i < value.numbers.size(); ++i) {
        if (i > 0) out += ',';
        AppendDecimal(out, value.numbers[i]);
      }
      out += ']';
      break;
    case CSS_ValueKind::List:
      out += '[';
      for (std::uint32_t item = 0; item < value.count && at < values.size(); ++item) {
        if (item > 0) out += ',';
        const std::size_t fields = values[at++].count;
        AppendObject(out, values, at, fields);
      }
      out += ']';
      break;
    case CSS_ValueKind::Object:
      AppendObject(out, values, at, value.count);
      break;
  }
}

}  // namespace

bool EncodeMessage(const CSS_Message& message, std::string& text) {
  text.clear();
  if (static_cast<std::size_t>(message.kind) >= kMessageKindCount) return false;
  const CSS_MessageLayout& layout = MessageLayoutOf(message.kind);
  if (message.node.has_value() != layout.info.hasNode) return false;
  std::size_t at = 0;
  if (!Matches(layout.elements, layout.needsOptional, message.parameters, at) ||
      at != message.parameters.size()) {
    return false;
  }
  ValueCommand command(layout, message.parameters);
  if (!command.MakeCommand(message.interfaceId, message.node.value_or(0), text)) {
    text.clear();
    return false;
  }
  return true;
}

void AppendMessageJson(std::string& out, const CSS_Message& message) {
  const CSS_MessageKindInfo& info = MessageKindInfo(message.kind);
  out += "{\"interface\":";
  AppendDecimal(out, message.interfaceId);
  out += ",\"messageType\":";
  AppendJsonString(out, info.messageType);
  out += ",\"action\":";
  AppendJsonString(out, info.action);
  if (message.node.has_value()) {
    out += ",\"node\":";
    AppendDecimal(out, *message.node);
  }
  if (info.hasParameters || info.hasNode) {
    out += ",\"parameters\":";
    std::size_t at = 0;
    AppendObject(out, message.parameters, at, message.parameters.size());
  }
  out += '}';
}

}  // namespace ssmsg
