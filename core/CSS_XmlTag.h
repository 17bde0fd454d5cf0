#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/CSS_XmlArena.h"

namespace ssmsg {

class CSS_XmlDocument;

// One XML element: a name, a value, a closing-tag flag and an ordered list of children.
//
// Elements are never created or freed by command code: a builder asks an existing element to add
// a child and gets the child back. The document that holds the tree owns every element and frees
// them all at once.
//
// Text form. `WriteOpen` writes an element's opening tag, its value, its children and, for a leaf
// or an element whose close flag is set, its closing tag. `WriteClose` writes the deferred closing
// tags: those of elements with children whose close flag is clear, innermost first, after
// everything else. So an element with children and a clear close flag must be the last child of a
// parent whose close flag is clear too; anything else with children is made with the flag set.
class CSS_XmlTag {
 public:
  CSS_XmlTag(const CSS_XmlTag&) = delete;
  CSS_XmlTag& operator=(const CSS_XmlTag&) = delete;

  std::string_view Name() const { return name_; }
  std::string_view Value() const { return value_; }
  bool CloseFlag() const { return closeFlag_; }
  bool HasChildren() const { return first_ != nullptr; }
  const CSS_XmlTag* FirstChild() const { return first_; }
  const CSS_XmlTag* NextSibling() const { return next_; }
  CSS_XmlTag* FirstChild() { return first_; }
  CSS_XmlTag* NextSibling() { return next_; }

  // Appends a leaf holding `value` unchanged.
  CSS_XmlTag* AddChild(std::string_view name, std::string_view value);
  // Appends a leaf holding `value` in signed decimal.
  CSS_XmlTag* AddChild(std::string_view name, std::int32_t value);
  // Appends a leaf holding `value` in decimal, 0 to 255.
  CSS_XmlTag* AddChild(std::string_view name, std::uint8_t value);
  // A yes/no value is written as "True"/"False" through FlagText, never as a number.
  template <class T>
    requires std::same_as<T, bool>
  CSS_XmlTag* AddChild(std::string_view name, T value) = delete;
  // Appends an element without value that is to receive children of its own.
  CSS_XmlTag* AddContainer(std::string_view name, bool closeFlag);

  // Appends the first-pass text of this element and its subtree to `out`.
  void WriteOpen(std::string& out) const;
  // Appends the deferred closing tags of this element and its subtree to `out`.
  void WriteClose(std::string& out) const;

 private:
  friend class CSS_XmlDocument;

  CSS_XmlTag(CSS_XmlDocument& document, std::string_view name, std::string_view value,
             bool closeFlag)
      : document_(&document), name_(name), value_(value), closeFlag_(closeFlag) {}

  CSS_XmlTag* Append(CSS_XmlTag* child);

  CSS_XmlDocument* document_;
  std::string_view name_;
  std::string_view value_;
  CSS_XmlTag* first_ = nullptr;
  CSS_XmlTag* last_ = nullptr;
  CSS_XmlTag* next_ = nullptr;
  bool closeFlag_;
};

// The top-level element list of one message together with the storage of all its elements.
// Names are stored with surrounding white space removed; names and values are copied, so the
// texts handed in need not outlive the call that hands them in.
class CSS_XmlDocument {
 public:
  CSS_XmlDocument() = default;
  CSS_XmlDocument(const CSS_XmlDocument&) = delete;
  CSS_XmlDocument& operator=(const CSS_XmlDocument&) = delete;

  // Appends a top-level element without value that is to receive children.
  CSS_XmlTag* AddTopContainer(std::string_view name, bool closeFlag);
  // Appends a top-level leaf holding `value`.
  CSS_XmlTag* AddTop(std::string_view name, std::string_view value);

  std::size_t TopCount() const { return top_.size(); }
  CSS_XmlTag* Top(std::size_t i) const { return top_[i]; }

  // Appends the text of the whole list to `out`: the first pass over the top-level elements
  // first to last, then the second pass last to first.
  void Write(std::string& out) const;

  // An upper bound of the length of the text that `Write` produces.
  std::size_t TextBound() const { return textBound_; }

  // Frees every element. The storage is kept for the next message.
  void Clear() {
    top_.clear();
    arena_.Reset();
    textBound_ = 0;
  }

 private:
  friend class CSS_XmlTag;

  CSS_XmlTag* NewTag(std::string_view name, std::string_view value, bool closeFlag);
  std::string_view CopyText(std::string_view text);

  CSS_XmlArena arena_;
  std::vector<CSS_XmlTag*> top_;
  std::size_t textBound_ = 0;
};

}  // namespace ssmsg
