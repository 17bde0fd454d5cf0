#include "site/file/SiteText.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "core/OrderedWork.h"

namespace ssmsg {
namespace {

// A file is read a piece at a time, and each piece searched for a NUL byte while it is still in
// the cache: searching the whole text afterwards, from memory, was a tenth of `settings`.
constexpr std::size_t kPiece = std::size_t{1} << 20;
// Files smaller than this are read on one thread.
constexpr std::size_t kSmall = std::size_t{16} << 20;

// Where the first NUL byte of the text read so far is (npos: none yet).
class NulSeen {
 public:
  void Search(const char* data, std::size_t begin, std::size_t end) {
    const void* nul = std::memchr(data + begin, '\0', end - begin);
    if (nul == nullptr) return;
    const auto at = static_cast<std::size_t>(static_cast<const char*>(nul) - data);
    std::size_t seen = first_.load(std::memory_order_relaxed);
    while (at < seen && !first_.compare_exchange_weak(seen, at, std::memory_order_relaxed)) {
    }
  }
  std::size_t First() const { return first_.load(std::memory_order_relaxed); }

 private:
  std::atomic<std::size_t> first_{std::string_view::npos};
};

// Reads the `size` bytes of `file` into `data` on `threads` threads, each a part of its own.
// False when a part could not be read whole (the file shrank, or a read failed).
bool ReadInParts(const InputFile& file, char* data, std::size_t size, unsigned threads,
                 NulSeen& nul, int& error) {
  std::atomic<bool> whole{true};
  std::atomic<int> failure{0};
  const auto readPart = [&](std::size_t begin, std::size_t end) {
    while (begin < end) {
      const std::int64_t got = file.ReadAt(data + begin, std::min(end - begin, kPiece), begin);
      if (got <= 0) {
        if (got < 0) failure = static_cast<int>(-got);
        whole = false;
        return;
      }
      nul.Search(data, begin, begin + static_cast<std::size_t>(got));
      begin += static_cast<std::size_t>(got);
    }
  };
  std::vector<std::thread> readers;
  const std::size_t part = size / threads;
  for (unsigned i = 1; i < threads; ++i)
    readers.emplace_back(readPart, i * part, i + 1 == threads ? size : (i + 1) * part);
  readPart(0, part);
  for (std::thread& reader : readers)
    reader.join();
  error = failure;
  return whole;
}

}  // namespace

SiteText::SiteText(std::size_t size)
    : bytes_(std::make_unique_for_overwrite<char[]>(size + JsonPadding())), size_(size) {
  std::fill_n(bytes_.get() + size, JsonPadding(), '\0');
}

SiteText::SiteText(std::string_view text) : SiteText(text.size()) {
  std::copy(text.begin(), text.end(), bytes_.get());
}

void SiteText::Shrink(std::size_t size) {
  size_ = std::min(size, size_);
  std::fill_n(bytes_.get() + size_, JsonPadding(), '\0');
}

bool ReadSiteText(InputFile& file, std::string_view header, unsigned jobs, SiteText& text,
                  int& error) {
  const std::optional<std::uint64_t> size = file.Size();
  const unsigned threads = JobThreads(jobs);
  NulSeen nul;
  // A large regular file: read in parts at once, from its start.
  if (size && *size >= kSmall && threads > 1) {
    text = SiteText(static_cast<std::size_t>(*size));
    if (ReadInParts(file, text.data(), text.view().size(), threads, nul, error)) {
      text.firstNul = nul.First();
      return true;
    }
    if (error != 0) return false;
    // It changed while it was read: read again as a stream, from where its reading stands.
    std::int64_t got = 0;
    std::string rest(header);
    char buffer[1 << 16];
    // The parts were read at offsets; the stream has read only the header.
    while ((got = file.Read(buffer, sizeof buffer)) > 0)
      rest.append(buffer, static_cast<std::size_t>(got));
    if (got < 0) {
      error = static_cast<int>(-got);
      return false;
    }
    text = SiteText(rest);
    text.firstNul = rest.find('\0');
    return true;
  }
  // Otherwise as a stream, into a buffer that grows in steps; a regular file's size says how
  // large it will be.
  std::size_t capacity = size ? static_cast<std::size_t>(*size) + 1 : std::size_t{1} << 16;
  capacity = std::max(capacity, header.size() + 1);
  text = SiteText(capacity);
  std::copy(header.begin(), header.end(), text.data());
  nul.Search(text.data(), 0, header.size());
  std::size_t length = header.size();
  for (;;) {
    const std::int64_t got = file.Read(text.data() + length, std::min(capacity - length, kPiece));
    if (got < 0) {
      error = static_cast<int>(-got);
      return false;
    }
    const auto read = static_cast<std::size_t>(got);
    nul.Search(text.data(), length, length + read);
    length += read;
    if (read == 0) break;
    if (length < capacity) continue;
    SiteText larger(capacity * 2);
    std::copy_n(text.data(), length, larger.data());
    text = std::move(larger);
    capacity *= 2;
  }
  text.Shrink(length);
  text.firstNul = nul.First();
  return true;
}

}  // namespace ssmsg
