#pragma once

// The JSON reader's events written down, for the tests of the reader and of the UTF-8 it takes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "json/JsonParse.h"

namespace ssmsg::test {

// Every event as a line; given the text and its place, also the text of each event's token.
class JsonRecorder final : public CSS_JsonEvents {
 public:
  explicit JsonRecorder(std::string_view text = {}, const CSS_JsonPlace* place = nullptr)
      : text_(text), place_(place) {}
  bool Null() override { return Add("null"); }
  bool Boolean(bool value) override { return Add(value ? "true" : "false"); }
  bool Integer(std::int64_t value) override { return Add("int " + std::to_string(value)); }
  bool HugeInteger(std::string_view text) override { return Add("huge " + std::string(text)); }
  bool Fraction(std::string_view text) override { return Add("fraction " + std::string(text)); }
  bool String(std::string_view value) override { return Add("string " + std::string(value)); }
  bool StartObject() override { return Add("{"); }
  bool Key(std::string_view key) override { return Add("key " + std::string(key)); }
  bool EndObject() override { return Add("}"); }
  bool StartArray() override { return Add("["); }
  bool EndArray() override { return Add("]"); }
  void SyntaxError(std::string_view where, std::string_view message) override {
    lines += "error " + std::string(where) + ": " + std::string(message) + "\n";
  }

  std::string lines;
  std::vector<std::string> tokens;

 private:
  bool Add(const std::string& line) {
    lines += line + "\n";
    if (place_ != nullptr)
      tokens.emplace_back(text_.substr(place_->token, place_->end - place_->token));
    return true;
  }
  std::string_view text_;
  const CSS_JsonPlace* place_;
};

// The events of reading `json` as the file "f.json".
inline std::string JsonEvents(std::string_view json) {
  JsonRecorder recorder;
  ParseJson(json, "f.json", recorder);
  return recorder.lines;
}

}  // namespace ssmsg::test
