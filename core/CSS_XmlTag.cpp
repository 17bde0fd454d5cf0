#include "core/CSS_XmlTag.h"

#include <cstring>
#include <new>

#include "core/CSS_Format.h"

namespace ssmsg {
namespace {

void AppendTag(std::string& out, char const* open, std::string_view name) {
  out.append(open);
  out.append(name);
  out.push_back('>');
}

}  // namespace

CSS_XmlTag* CSS_XmlTag::Append(CSS_XmlTag* child) {
  if (last_ == nullptr) {
    first_ = child;
  } else {
    last_->next_ = child;
  }
  last_ = child;
  return child;
}

CSS_XmlTag* CSS_XmlTag::AddChild(std::string_view name, std::string_view value) {
  return Append(document_->NewTag(name, value, false));
}

CSS_XmlTag* CSS_XmlTag::AddChild(std::string_view name, std::int32_t value) {
  char buffer[kMaxDecimalLength];
  return AddChild(name, FormatDecimal(value, buffer));
}

CSS_XmlTag* CSS_XmlTag::AddChild(std::string_view name, std::uint8_t value) {
  return AddChild(name, static_cast<std::int32_t>(value));
}

CSS_XmlTag* CSS_XmlTag::AddContainer(std::string_view name, bool closeFlag) {
  return Append(document_->NewTag(name, {}, closeFlag));
}

void CSS_XmlTag::WriteOpen(std::string& out) const {
  AppendTag(out, "<", name_);
  out.append(value_);
  for (const CSS_XmlTag* child = first_; child != nullptr; child = child->next_) {
    child->WriteOpen(out);
  }
  if (first_ == nullptr || closeFlag_) AppendTag(out, "</", name_);
}

void CSS_XmlTag::WriteClose(std::string& out) const {
  if (closeFlag_ || first_ == nullptr) return;
  for (const CSS_XmlTag* child = first_; child != nullptr; child = child->next_) {
    child->WriteClose(out);
  }
  AppendTag(out, "</", name_);
}

std::string_view CSS_XmlDocument::CopyText(std::string_view text) {
  if (text.empty()) return {};
  auto* copy = static_cast<char*>(arena_.Allocate(text.size(), 1));
  std::memcpy(copy, text.data(), text.size());
  return {copy, text.size()};
}

CSS_XmlTag* CSS_XmlDocument::NewTag(std::string_view name, std::string_view value,
                                    bool closeFlag) {
  const std::string_view trimmed = TrimWhiteSpace(name);
  // Every element contributes its opening tag, value and closing tag ("<n>v</n>") at most once.
  textBound_ += 2 * trimmed.size() + value.size() + 5;
  void* memory = arena_.Allocate(sizeof(CSS_XmlTag), alignof(CSS_XmlTag));
  return ::new (memory) CSS_XmlTag(*this, CopyText(trimmed), CopyText(value), closeFlag);
}

CSS_XmlTag* CSS_XmlDocument::AddTopContainer(std::string_view name, bool closeFlag) {
  return top_.emplace_back(NewTag(name, {}, closeFlag));
}

CSS_XmlTag* CSS_XmlDocument::AddTop(std::string_view name, std::string_view value) {
  return top_.emplace_back(NewTag(name, value, false));
}

void CSS_XmlDocument::Write(std::string& out) const {
  for (const CSS_XmlTag* tag : top_) tag->WriteOpen(out);
  for (auto it = top_.rbegin(); it != top_.rend(); ++it) (*it)->WriteClose(out);
}

}  // namespace ssmsg
