#include "core/CSS_XmlTag.h"

#include <new>

#include "core/CSS_Format.h"

namespace ssmsg {
namespace {

void AppendTag(std::string& out, std::string_view open, std::string_view name) {
  out.append(open);
  out.append(name);
  out.push_back('>');
}

// Gathers closing tags and appends them to a string a few hundred bytes at a time.
class EndTags {
 public:
  explicit EndTags(std::string& out) : out_(out) {}
  EndTags(const EndTags&) = delete;
  EndTags& operator=(const EndTags&) = delete;
  ~EndTags() { out_.append(buffer_, size_); }

  void Add(std::string_view name) {
    if (name.size() + 3 > sizeof buffer_ - size_) {
      out_.append(buffer_, size_);
      size_ = 0;
      if (name.size() + 3 > sizeof buffer_) {
        AppendTag(out_, "</", name);
        return;
      }
    }
    char* at = buffer_ + size_;
    *at++ = '<';
    *at++ = '/';
    at = CSS_XmlText::Put(at, name);
    *at++ = '>';
    size_ = static_cast<std::size_t>(at - buffer_);
  }

 private:
  std::string& out_;
  char buffer_[256];
  std::size_t size_ = 0;
};

// The second pass over `tag`: the closing tags of the elements with children whose close flag is
// clear, innermost first, not entering elements whose flag is set.
void AddDeferredEndTags(const CSS_XmlTag& tag, EndTags& tags) {
  if (tag.CloseFlag() || !tag.HasChildren()) return;
  for (const CSS_XmlTag* child = tag.FirstChild(); child != nullptr; child = child->NextSibling()) {
    if (!child->CloseFlag() && child->HasChildren()) AddDeferredEndTags(*child, tags);
  }
  tags.Add(tag.Name());
}

}  // namespace

void CSS_XmlTag::WriteOpen(std::string& out) const {
  AppendTag(out, "<", Name());
  out.append(Value());
  for (const CSS_XmlTag* child = first_; child != nullptr; child = child->next_) {
    child->WriteOpen(out);
  }
  if (first_ == nullptr || closeFlag_) AppendTag(out, "</", Name());
}

void CSS_XmlTag::WriteClose(std::string& out) const {
  EndTags tags(out);
  AddDeferredEndTags(*this, tags);
}

CSS_XmlTag* CSS_XmlDocument::NewTag(CSS_XmlTag* parent, std::string_view name,
                                    std::string_view value, bool closeFlag, bool leaf) {
  const std::string_view trimmed = TrimWhiteSpace(name);
  const std::size_t nameSize = trimmed.size();
  // Every element contributes its opening tag, value and closing tag ("<n>v</n>") at most once.
  textBound_ += 2 * nameSize + value.size() + 5;

  if (streaming_) {
    if (parent != nullptr && parent->written_) {
      streaming_ = false;  // out of document order: Write renders the tree
    } else {
      // Everything open below the parent is complete now.
      while (open_ != parent) {
        CSS_XmlTag* done = open_;
        done->written_ = true;
        if (!done->endWritten_ && (done->first_ == nullptr || done->closeFlag_)) {
          WriteEndTag(*done);
        }
        open_ = done->parent_;
      }
      if (parent != nullptr && parent->endWritten_) {
        // A leaf gets a child after all: its closing tag, the last thing written, goes again.
        text_.Retract(parent->nameSize_ + 3);
        parent->endWritten_ = false;
      }
    }
  }

  // The opening tag and the value go to the text, where they are also the element's copies of
  // its name and value. A leaf's closing tag goes with them: leaves rarely get children.
  char* at = text_.Reserve(2 * nameSize + value.size() + 5);
  *at++ = '<';
  const char* storedName = at;
  at = CSS_XmlText::Put(at, trimmed);
  *at++ = '>';
  const char* storedValue = at;
  at = CSS_XmlText::Put(at, value);
  if (leaf) {
    *at++ = '<';
    *at++ = '/';
    at = CSS_XmlText::Put(at, trimmed);
    *at++ = '>';
  }
  text_.Commit(at);

  void* memory = arena_.Allocate(sizeof(CSS_XmlTag), alignof(CSS_XmlTag));
  auto* tag = ::new (memory)
      CSS_XmlTag(*this, parent, {storedName, nameSize}, {storedValue, value.size()}, closeFlag);
  tag->endWritten_ = leaf;
  if (parent == nullptr) {
    if (lastTop_ == nullptr) {
      firstTop_ = lastTop_ = tag;
    } else {
      lastTop_ = lastTop_->next_ = tag;
    }
    ++topCount_;
  } else if (parent->last_ == nullptr) {
    parent->first_ = parent->last_ = tag;
  } else {
    parent->last_ = parent->last_->next_ = tag;
  }
  open_ = tag;
  return tag;
}

void CSS_XmlDocument::WriteEndTag(const CSS_XmlTag& tag) {
  char* at = text_.Reserve(tag.nameSize_ + 3);
  *at++ = '<';
  *at++ = '/';
  at = CSS_XmlText::Put(at, tag.Name());
  *at++ = '>';
  text_.Commit(at);
}

void CSS_XmlDocument::Mark() {
  mark_.set = true;
  mark_.arena = arena_.Save();
  mark_.text = text_.Save();
  mark_.lastTop = lastTop_;
  mark_.topCount = topCount_;
  mark_.open = open_;
  mark_.openEndWritten = open_ != nullptr && open_->endWritten_;
  mark_.streaming = streaming_;
  mark_.textBound = textBound_;
  mark_.linkCount = 0;
  mark_.links.clear();
  auto remember = [this](CSS_XmlTag* tag) {
    const LinkState link{tag, tag->first_, tag->last_, tag->next_, tag->written_, tag->endWritten_};
    if (mark_.linkCount < mark_.inlineLinks.size()) {
      mark_.inlineLinks[mark_.linkCount++] = link;
    } else {
      mark_.links.push_back(link);
    }
  };
  auto rememberTree = [&remember](auto& self, CSS_XmlTag* tag) -> void {
    for (; tag != nullptr; tag = tag->next_) {
      remember(tag);
      self(self, tag->first_);
    }
  };
  rememberTree(rememberTree, firstTop_);
}

bool CSS_XmlDocument::Rewind() {
  if (!mark_.set) return false;
  arena_.Restore(mark_.arena);
  text_.Restore(mark_.text);
  if (mark_.open != nullptr && mark_.openEndWritten) {
    // The closing tag of the leaf that was innermost at the mark is the last thing before the
    // mark; a child added to that leaf since took it back, so it is written again.
    char* at = text_.End() - (mark_.open->nameSize_ + 3);
    *at++ = '<';
    *at++ = '/';
    at = CSS_XmlText::Put(at, mark_.open->Name());
    *at = '>';
  }
  lastTop_ = mark_.lastTop;
  if (lastTop_ == nullptr) firstTop_ = nullptr;
  topCount_ = mark_.topCount;
  open_ = mark_.open;
  streaming_ = mark_.streaming;
  textBound_ = mark_.textBound;
  auto restore = [](const LinkState& link) {
    link.tag->first_ = link.first;
    link.tag->last_ = link.last;
    link.tag->next_ = link.next;
    link.tag->written_ = link.written;
    link.tag->endWritten_ = link.endWritten;
  };
  for (std::size_t i = 0; i < mark_.linkCount; ++i) {
    restore(mark_.inlineLinks[i]);
  }
  for (const LinkState& link : mark_.links) {
    restore(link);
  }
  return true;
}

CSS_XmlTag* CSS_XmlDocument::AddTopContainer(std::string_view name, bool closeFlag) {
  return NewTag(nullptr, name, {}, closeFlag, false);
}

CSS_XmlTag* CSS_XmlDocument::AddTop(std::string_view name, std::string_view value) {
  return NewTag(nullptr, name, value, false, true);
}

void CSS_XmlDocument::Write(std::string& out) const {
  if (streaming_) {
    text_.AppendTo(out);
  } else {
    for (const CSS_XmlTag* tag = firstTop_; tag != nullptr; tag = tag->next_) {
      tag->WriteOpen(out);
    }
  }
  EndTags tags(out);
  if (streaming_) {
    // The first pass is written up to the open elements, which close innermost first.
    for (const CSS_XmlTag* tag = open_; tag != nullptr; tag = tag->parent_) {
      if (!tag->endWritten_ && (tag->first_ == nullptr || tag->closeFlag_)) tags.Add(tag->Name());
    }
  }
  // The second pass walks the top-level elements last to first.
  auto backwards = [&tags](auto& self, const CSS_XmlTag* tag) -> void {
    if (tag == nullptr) return;
    self(self, tag->next_);
    AddDeferredEndTags(*tag, tags);
  };
  backwards(backwards, firstTop_);
}

}  // namespace ssmsg
