#pragma once

// JSON bodies of requests: read into a tree, changed (merge patches), and written back. Numbers
// keep the text they were sent as, so that a value out of any field's range reaches the site's
// checks as it was written and is reported in their words.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Result.h"

namespace ssmsg::server {

struct JsonMember;

struct JsonValue {
  enum class Kind : unsigned char { Null, False, True, Number, String, Array, Object };
  Kind kind = Kind::Null;
  std::string text;                 // a number's text, or a string's value
  std::vector<JsonValue> items;     // an array's
  std::vector<JsonMember> members;  // an object's, in the order given, each name once

  bool IsObject() const { return kind == Kind::Object; }
  // The member `name` of an object, or null.
  const JsonValue* Find(std::string_view name) const;
  JsonValue* Find(std::string_view name);
};

struct JsonMember {
  std::string name;
  JsonValue value;
};

// A JSON value read, or why not.
using JsonRead = Result<JsonValue, std::string>;

// How deep a body may nest: far more than a controller needs.
inline constexpr std::size_t kJsonMaxDepth = 32;

// Reads one JSON value that fills all of `text` (blanks around it aside), with the library's
// JSON reader (json/JsonParse.h). Refused: anything that is not JSON, text that is not UTF-8
// (also through \u escapes), a byte order mark, nesting deeper than kJsonMaxDepth and a name
// given twice in one object. A number beyond the range of double is kept as written. Why not
// is said as "line 3, column 7: ...".
JsonRead ReadJson(std::string_view text);
// Checks `text` as ReadJson does, building nothing: the text, or why not.
Result<std::string_view, std::string> CheckJson(std::string_view text);

// Appends `value` as compact JSON.
void WriteJson(const JsonValue& value, std::string& out);
std::string ToJson(const JsonValue& value);

// `json`, which must be valid JSON, without the blanks between its tokens: the compact form of a
// pretty-printed text, made in one pass.
std::string CompactJson(std::string_view json);

// The members of the object that the valid JSON `text` is, each with the text of its value, in
// order; nothing when it is not an object. The values are not read.
struct RawMember {
  std::string name;
  std::string_view value;
};
std::optional<std::vector<RawMember>> RawMembers(std::string_view text);
// The items of the array that the valid JSON `text` is, each as its text, in order; nothing when
// it is not an array.
std::optional<std::vector<std::string_view>> RawItems(std::string_view text);

// The text of valid JSON `target` with the merge patch `patch` applied (RFC 7396), `patch` being
// JSON that CheckJson let: an object patch sets, replaces or (with null) removes members,
// recursively; any other patch replaces the target. Neither text is read into a tree: the
// members that the patch leaves, and the values it sets, are copied as they are written.
std::string MergePatchText(std::string_view target, std::string_view patch);

// Paths of values in a JSON document, as the site file's errors write them: "Inputs[2]" + "Time"
// -> "Inputs[2].Time", "" + "Name" -> "Name", and "Inputs" + 2 -> "Inputs[2]".
std::string JoinPath(std::string_view base, std::string_view key);
std::string ItemPath(std::string_view base, std::size_t index);

}  // namespace ssmsg::server
