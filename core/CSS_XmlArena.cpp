#include "core/CSS_XmlArena.h"

#include <algorithm>

namespace ssmsg {

std::byte* CSS_XmlArena::AllocateSlow(std::size_t size, std::size_t align) {
  const std::size_t needed = size + align;
  // Reuse the blocks of earlier messages in order; a block too small for this request is skipped
  // (it stays for later, smaller requests of the following messages).
  while (nextBlock_ < blocks_.size() && blocks_[nextBlock_].size < needed)
    ++nextBlock_;
  if (nextBlock_ == blocks_.size()) {
    const std::size_t blockSize = std::max(kBlockSize, needed);
    blocks_.push_back(Block{std::make_unique_for_overwrite<std::byte[]>(blockSize), blockSize});
  }
  Block& block = blocks_[nextBlock_++];
  cursor_ = block.data.get();
  end_ = cursor_ + block.size;
  return cursor_ + Padding(cursor_, align);
}

}  // namespace ssmsg
