#pragma once

// What the tool writes to standard output, and how it reads its number arguments.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ssmsg::tool {

enum class Format { Lines, Json };

// Writes messages to standard output as they are made: one per line, or one JSON array of
// {"interface", "node", "task", "message"} objects. Nothing is written before the first message
// (or Finish), so a command that fails before making messages leaves standard output empty.
class MessageWriter {
 public:
  explicit MessageWriter(Format format) : format_(format) {}
  MessageWriter(const MessageWriter&) = delete;
  MessageWriter& operator=(const MessageWriter&) = delete;
  ~MessageWriter() { Flush(); }

  // `node` and `task` below 0 are left out of a JSON object.
  void Write(std::int32_t interfaceId, std::int32_t node, std::int32_t task,
             std::string_view message);
  // Closes the JSON array and writes out what is buffered.
  void Finish();

 private:
  void Flush();

  Format format_;
  std::string buffer_;
  std::size_t written_ = 0;
};

// Appends `text` to `out` as a JSON string, quotes included. Bytes that are not UTF-8 are
// written as \u00XX, the character of the same number.
void AppendJsonString(std::string& out, std::string_view text);

// "1,2,3": comma-separated unsigned 32-bit decimals; the empty text is the empty list. Returns
// nothing when the text is not such a list.
std::optional<std::vector<std::uint32_t>> ParseNumberList(std::string_view text);

// "YYYY-MM-DDTHH:MM:SS" as a local calendar time; nothing when it is not a real date and time.
std::optional<std::tm> ParseLocalTime(std::string_view text);

}  // namespace ssmsg::tool
