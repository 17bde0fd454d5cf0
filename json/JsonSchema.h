#pragma once

// A reader of JSON driven by a schema. The schema is data: nodes for the objects and arrays a
// document may hold, each object node with a table of members (the key, the JSON type and range
// its value must have, and what to do with it). The reader takes the document as a stream of
// events (CSS_JsonEvents, from json/JsonParse.h), checks every value against the schema as it
// comes and hands it to its member's store function; hooks run when an object or array opens
// and closes. Nothing of the document is kept but what the hooks keep.
//
// Every mistake becomes one error naming the file and the path to the value, which reads
//   "site.json: Controllers[0].Inputs[3].Time.Debounce: 70000 is outside -32768..32767"
// and after kMaxErrors of them reading stops, so that a file of mistakes costs no more than a
// valid one.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/ErrorCap.h"
#include "core/Result.h"

namespace ssmsg {

class CSS_SchemaReader;
struct CSS_SchemaNode;
struct CSS_SchemaFrame;

enum class CSS_JsonKind : std::uint8_t { Integer, Boolean, Text, Object, Array };

// A scalar value as read: `integer` for integers, `flag` for booleans, `text` for strings;
// `position` is its index when it is an element of an array.
struct CSS_JsonScalar {
  std::int64_t integer = 0;
  bool flag = false;
  std::string_view text;
  std::int32_t position = -1;
};

// One key of an object (or the element of an array) and what its value must be.
struct CSS_SchemaMember {
  std::string_view key;
  CSS_JsonKind kind;
  std::int64_t min = 0;  // Integer: accepted range
  std::int64_t max = 0;
  void (*store)(CSS_SchemaReader&, const CSS_JsonScalar&) = nullptr;  // scalars
  const CSS_SchemaNode* node = nullptr;                               // Object and Array
  bool required = false;
};

using CSS_SchemaHook = void (*)(CSS_SchemaReader&, const CSS_SchemaFrame&);

enum class CSS_SchemaNodeKind : std::uint8_t {
  Root,    // the document: `element` is what the one value must be
  Object,  // keys from `members`
  Map,     // any keys, each checked by `key`
  Array,   // every element is `element`
};

// An object or array of the schema.
struct CSS_SchemaNode {
  CSS_SchemaNodeKind kind;
  std::span<const CSS_SchemaMember> members;  // Object: its keys
  const CSS_SchemaMember* element = nullptr;  // Array and Root: what each element is
  CSS_SchemaHook open = nullptr;              // when the value starts
  CSS_SchemaHook close = nullptr;             // when it ends
  // Array: called for a null element, which then stands for something left out (a declined
  // record); null elements are errors where this is not set.
  void (*null)(CSS_SchemaReader&, std::int32_t position) = nullptr;
  // Map: the member that the value of `key` must match, or null after reporting why the key is
  // not accepted (its value is then skipped). The key names the value in paths.
  const CSS_SchemaMember* (*key)(CSS_SchemaReader&, std::string_view key) = nullptr;
};

// One open object or array while reading.
struct CSS_SchemaFrame {
  CSS_SchemaFrame(const CSS_SchemaNode* node_, std::string_view name_, std::int32_t position_,
                  std::int32_t element_)
      : node(node_), name(name_), position(position_), element(element_) {}

  const CSS_SchemaNode* node;
  std::string_view name;   // the key under which it sits in its parent object, if any
  std::int32_t position;   // its index in its parent array, or -1
  std::int32_t element;    // the index of the innermost array element it lies in, or -1
  std::int32_t count = 0;  // Array: elements read so far
  std::uint64_t seen = 0;  // Object: members read so far, by table position
  const CSS_SchemaMember* pending = nullptr;  // Object and Map: the member whose value comes next
  std::string_view pendingKey;                // Object and Map: the key just read
  std::string mapKey;                         // Map: the text of that key
  std::size_t hint = 0;                       // Object: where to start looking for the next key
};

// The events of a JSON text, in document order. Each returns false when reading is to stop.
class CSS_JsonEvents {
 public:
  virtual ~CSS_JsonEvents() = default;
  virtual bool Null() = 0;
  virtual bool Boolean(bool value) = 0;
  virtual bool Integer(std::int64_t value) = 0;
  // An integer beyond 64 bits, and a number with a fraction or an exponent, as written.
  virtual bool HugeInteger(std::string_view text) = 0;
  virtual bool Fraction(std::string_view text) = 0;
  virtual bool String(std::string_view value) = 0;
  virtual bool StartObject() = 0;
  virtual bool Key(std::string_view key) = 0;
  virtual bool EndObject() = 0;
  virtual bool StartArray() = 0;
  virtual bool EndArray() = 0;
  // The text is not JSON: `where` is "file:line:column" of the offending byte. Reading stops.
  virtual void SyntaxError(std::string_view where, std::string_view message) = 0;
};

class CSS_SchemaReader final : public CSS_JsonEvents {
 public:
  // Reads a document of `fileName` against `root`; the hooks reach `context` through Context().
  CSS_SchemaReader(std::string_view fileName, const CSS_SchemaNode& root, void* context);

  bool Null() override;
  bool Boolean(bool value) override;
  bool Integer(std::int64_t value) override;
  bool HugeInteger(std::string_view text) override;
  bool Fraction(std::string_view text) override;
  bool String(std::string_view value) override;
  bool StartObject() override;
  bool Key(std::string_view key) override;
  bool EndObject() override;
  bool StartArray() override;
  bool EndArray() override;
  void SyntaxError(std::string_view where, std::string_view message) override;

  // What the hooks and store functions work with.
  template <class T>
  T& Context() const {
    return *static_cast<T*>(context_);
  }
  const std::string& FileName() const { return fileName_; }
  // The path of the innermost open value with `leaf` (a key) or `position` (an index) added,
  // e.g. "Controllers[0].Inputs[3]" + "Type".
  std::string PathTo(std::string_view leaf = {}, std::int32_t position = -1) const;
  // The path of the value being stored.
  std::string ValuePath() const;
  // The schema node that the next value must match when it is an object or an array; null when
  // it is to be skipped or must be a scalar.
  const CSS_SchemaNode* NextNode() const;
  // Reports one mistake at `path` (the document itself when empty).
  void Error(std::string_view path, std::string_view message);
  std::size_t ErrorCount() const { return errors_.size(); }
  SiteErrors TakeErrors() && { return std::move(errors_); }

 private:
  enum class Got : std::uint8_t { Null, Boolean, Integer, HugeInteger, Fraction, String };

  bool Going() const { return errors_.size() <= kMaxErrors; }
  // `number`: an integer, or 1 and 0 for true and false; `raw`: a string, or a number as written.
  bool OnScalar(Got got, std::int64_t number, std::string_view raw);
  bool OnStart(CSS_JsonKind kind);
  bool OnEnd();
  // The member whose value comes next, with its index; null when it is to be skipped.
  const CSS_SchemaMember* Expect(std::int32_t& position);
  void ExpectedGot(const CSS_SchemaMember& member, std::string_view got, std::int32_t position);
  std::string PathOfNext(std::int32_t position) const;

  std::string fileName_;
  void* context_;
  SiteErrors errors_;
  // A deque, so that a frame's name may view its parent's key while the frame is open.
  std::deque<CSS_SchemaFrame> frames_;
  CSS_SchemaFrame* top_ = nullptr;   // frames_.back()
  int skipDepth_ = 0;                // > 0 while inside a value that is being skipped
  std::int32_t valuePosition_ = -1;  // the index of the scalar being stored, if in an array
};

}  // namespace ssmsg
