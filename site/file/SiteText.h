#pragma once

// The text of a site file in memory, as the loader keeps it, and its reading from a file: in
// parts on several threads at once when the file is large, each part searched for a NUL byte
// while it is still in the cache.

#include <cstddef>
#include <memory>
#include <string_view>

#include "json/JsonDom.h"
#include "json/JsonParse.h"
#include "platform/InputFile.h"

namespace ssmsg {

// The bytes of a site file, followed by the padding that the fast JSON parser reads past the end.
class SiteText {
 public:
  SiteText() = default;
  explicit SiteText(std::size_t size);
  explicit SiteText(std::string_view text);
  char* data() { return bytes_.get(); }
  std::string_view view() const { return {bytes_.get(), size_}; }
  // Keeps only the first `size` bytes (after a short read) and pads them again.
  void Shrink(std::size_t size);
  // Where the first NUL byte is (npos: nowhere), as the reader found it while the bytes were in
  // the cache; kNulUnknown when they were not read that way.
  std::size_t firstNul = kNulUnknown;

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t size_ = 0;
};

// Reads all of `file` (of `header` bytes read already, which go first), on `jobs` threads for a
// large regular file (0: one per core). False, with the errno in `error`, when a read failed.
bool ReadSiteText(InputFile& file, std::string_view header, unsigned jobs, SiteText& text,
                  int& error);

}  // namespace ssmsg
