#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace ssmsg {

// Bump allocator that holds the elements and texts of one message. `Reset` drops everything at
// once and keeps the memory, so a record loop that builds thousands of messages on one command
// object allocates only while its largest message is still growing. The first few kilobytes live
// inside the object itself: a typical message costs no heap allocation at all.
class CSS_XmlArena {
 public:
  CSS_XmlArena() = default;
  CSS_XmlArena(const CSS_XmlArena&) = delete;
  CSS_XmlArena& operator=(const CSS_XmlArena&) = delete;

  // Returns `size` bytes aligned to `align` (a power of two no larger than max_align_t).
  void* Allocate(std::size_t size, std::size_t align) {
    // Compare what is left with the padding and the size together: a block may end at any byte,
    // so the padding alone can reach past its end.
    const std::size_t padding = Padding(cursor_, align);
    std::byte* aligned = static_cast<std::size_t>(end_ - cursor_) >= padding + size
                             ? cursor_ + padding
                             : AllocateSlow(size, align);
    cursor_ = aligned + size;
    return aligned;
  }

  // Forgets every allocation; the memory is kept for the next message.
  void Reset() {
    cursor_ = inline_;
    end_ = inline_ + kInlineSize;
    nextBlock_ = 0;
  }

 private:
  static constexpr std::size_t kInlineSize = 4096;
  static constexpr std::size_t kBlockSize = 16384;

  struct Block {
    std::unique_ptr<std::byte[]> data;
    std::size_t size;
  };

  // The bytes to skip from `p` to the next multiple of `align`.
  static std::size_t Padding(const std::byte* p, std::size_t align) {
    const auto mask = static_cast<std::uintptr_t>(align - 1);
    return static_cast<std::size_t>((mask + 1 - (reinterpret_cast<std::uintptr_t>(p) & mask)) &
                                    mask);
  }

  std::byte* AllocateSlow(std::size_t size, std::size_t align);

  alignas(std::max_align_t) std::byte inline_[kInlineSize];
  std::byte* cursor_ = inline_;
  std::byte* end_ = inline_ + kInlineSize;
  std::vector<Block> blocks_;
  std::size_t nextBlock_ = 0;
};

}  // namespace ssmsg
