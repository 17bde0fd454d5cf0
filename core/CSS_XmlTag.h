#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/CSS_Format.h"
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

  std::string_view Name() const { return {name_, nameSize_}; }
  std::string_view Value() const { return {value_, valueSize_}; }
  bool CloseFlag() const { return closeFlag_; }
  bool HasChildren() const { return first_ != nullptr; }
  const CSS_XmlTag* FirstChild() const { return first_; }
  // Top-level elements have no siblings: the document keeps their list.
  const CSS_XmlTag* NextSibling() const { return parent_ != nullptr ? next_ : nullptr; }
  CSS_XmlTag* FirstChild() { return first_; }
  CSS_XmlTag* NextSibling() { return parent_ != nullptr ? next_ : nullptr; }

  // Appends a leaf holding `value` unchanged.
  CSS_XmlTag* AddChild(std::string_view name, std::string_view value);
  // Appends a leaf holding `value` in signed decimal.
  CSS_XmlTag* AddChild(std::string_view name, std::int32_t value);
  // Appends a leaf holding `value` in decimal, 0 to 255.
  CSS_XmlTag* AddChild(std::string_view name, std::uint8_t value);
  // A yes/no value is written as "True"/"False" through FlagText, never as a number.
  template <class T>
  requires std::same_as<T, bool> CSS_XmlTag* AddChild(std::string_view name, T value) = delete;
  // Appends an element without value that is to receive children of its own.
  CSS_XmlTag* AddContainer(std::string_view name, bool closeFlag);

  // Appends the first-pass text of this element and its subtree to `out`.
  void WriteOpen(std::string& out) const;
  // Appends the deferred closing tags of this element and its subtree to `out`.
  void WriteClose(std::string& out) const;

 private:
  friend class CSS_XmlDocument;

  CSS_XmlTag(CSS_XmlDocument& document, CSS_XmlTag* parent, std::string_view name,
             std::string_view value, bool closeFlag)
      : document_(&document),
        parent_(parent),
        name_(name.data()),
        value_(value.data()),
        nameSize_(static_cast<std::uint32_t>(name.size())),
        valueSize_(static_cast<std::uint32_t>(value.size())),
        closeFlag_(closeFlag) {}

  CSS_XmlDocument* document_;
  CSS_XmlTag* parent_;  // null for a top-level element
  CSS_XmlTag* first_ = nullptr;
  CSS_XmlTag* last_ = nullptr;
  CSS_XmlTag* next_ = nullptr;  // the next sibling, or for a top-level element the next one
  const char* name_;
  const char* value_;
  std::uint32_t nameSize_;
  std::uint32_t valueSize_;
  bool closeFlag_;
  // Its text is complete in the document's stream (see CSS_XmlDocument).
  bool written_ = false;
  // Its closing tag is in the stream already: a leaf's goes out with its opening tag.
  bool endWritten_ = false;
};

// The top-level element list of one message together with the storage of all its elements.
// Names are stored with surrounding white space removed; names and values are copied, so the
// texts handed in need not outlive the call that hands them in.
//
// Builders add elements in document order: each new element goes under an element whose text is
// still open. The document then writes the text while the tree grows: an element's opening tag
// and value as it is added, its closing tag (for a leaf, or an element whose close flag is set)
// as soon as an element is added outside it. `Write` only copies that text and adds the closing
// tags still pending. An element added under one whose text is already complete switches the
// document to writing the whole tree in `Write` instead; the text is the same either way.
class CSS_XmlDocument {
 public:
  CSS_XmlDocument() = default;
  CSS_XmlDocument(const CSS_XmlDocument&) = delete;
  CSS_XmlDocument& operator=(const CSS_XmlDocument&) = delete;

  // Appends a top-level element without value that is to receive children.
  CSS_XmlTag* AddTopContainer(std::string_view name, bool closeFlag);
  // Appends a top-level leaf holding `value`.
  CSS_XmlTag* AddTop(std::string_view name, std::string_view value);

  std::size_t TopCount() const { return topCount_; }
  CSS_XmlTag* Top(std::size_t i) const {
    CSS_XmlTag* tag = firstTop_;
    while (i-- > 0)
      tag = tag->next_;
    return tag;
  }

  // Appends the text of the whole list to `out`: the first pass over the top-level elements
  // first to last, then the second pass last to first.
  void Write(std::string& out) const;

  // An upper bound of the length of the text that `Write` produces.
  std::size_t TextBound() const { return textBound_; }

  // Frees every element. The storage is kept for the next message.
  void Clear() {
    firstTop_ = lastTop_ = nullptr;
    topCount_ = 0;
    arena_.Reset();
    text_.Reset();
    open_ = nullptr;
    streaming_ = true;
    textBound_ = 0;
    mark_.set = false;
  }

  // Remembers the document as it is now. `Rewind` then returns to exactly this state: it frees
  // every element added since and undoes every change made since to the elements that were
  // there. So messages that share a beginning (the envelope of one command) build it once.
  // `Clear` drops the mark.
  void Mark();
  // Returns to the state of the last `Mark` and keeps the mark. false, changing nothing, when no
  // mark is set.
  bool Rewind();

 private:
  friend class CSS_XmlTag;

  // Makes an element under `parent` (null: top level) and appends it to the parent's children.
  // `leaf`: made as a leaf with a value (not as a container for children).
  CSS_XmlTag* NewTag(CSS_XmlTag* parent, std::string_view name, std::string_view value,
                     bool closeFlag, bool leaf);
  // Writes the closing tag of `tag` to the stream.
  void WriteEndTag(const CSS_XmlTag& tag);

  // What an element's later children and siblings change in it.
  struct LinkState {
    CSS_XmlTag* tag;
    CSS_XmlTag* first;
    CSS_XmlTag* last;
    CSS_XmlTag* next;
    bool written;
    bool endWritten;
  };
  struct MarkState {
    bool set = false;
    CSS_XmlArena::Position arena;
    CSS_XmlText::Position text;
    CSS_XmlTag* lastTop;
    std::size_t topCount;
    CSS_XmlTag* open;
    bool openEndWritten;
    bool streaming;
    std::size_t textBound;
    // Of every element there was: an envelope's few fit in `inlineLinks`, more go to `links`.
    std::array<LinkState, 8> inlineLinks;
    std::size_t linkCount;
    std::vector<LinkState> links;
  };

  CSS_XmlArena arena_;
  CSS_XmlText text_;
  // The top-level elements, linked like siblings.
  CSS_XmlTag* firstTop_ = nullptr;
  CSS_XmlTag* lastTop_ = nullptr;
  std::size_t topCount_ = 0;
  MarkState mark_;
  // The innermost element whose text is still open; the open elements are it and its ancestors.
  CSS_XmlTag* open_ = nullptr;
  // Whether text_ holds the first pass so far (otherwise only the names and values).
  bool streaming_ = true;
  std::size_t textBound_ = 0;
};

// The element makers are small and sit on every builder's path: they are inline.

inline CSS_XmlTag* CSS_XmlTag::AddChild(std::string_view name, std::string_view value) {
  return document_->NewTag(this, name, value, false, true);
}

inline CSS_XmlTag* CSS_XmlTag::AddChild(std::string_view name, std::int32_t value) {
  char buffer[kMaxDecimalLength];
  return document_->NewTag(this, name, FormatDecimal(value, buffer), false, true);
}

inline CSS_XmlTag* CSS_XmlTag::AddChild(std::string_view name, std::uint8_t value) {
  return AddChild(name, static_cast<std::int32_t>(value));
}

inline CSS_XmlTag* CSS_XmlTag::AddContainer(std::string_view name, bool closeFlag) {
  return document_->NewTag(this, name, {}, closeFlag, false);
}

}  // namespace ssmsg
