#include "core/CSS_XmlArena.h"

#include <algorithm>

namespace ssmsg {

std::byte* CSS_XmlArena::AllocateSlow(std::size_t size, std::size_t align) {
  const std::size_t needed = size + align;
  // Reuse the blocks of earlier messages in order; a block too small for this request is skipped
  // (it stays for later, smaller requests of the following messages).
  while (nextBlock_ < blocks_.size() && blocks_[nextBlock_].size < needed) {
    ++nextBlock_;
  }
  if (nextBlock_ == blocks_.size()) {
    const std::size_t blockSize = std::max(kXmlPieceSize, needed);
    blocks_.push_back(Block{std::make_unique_for_overwrite<std::byte[]>(blockSize), blockSize});
  }
  Block& block = blocks_[nextBlock_++];
  cursor_ = block.data.get();
  end_ = cursor_ + block.size;
  return cursor_ + Padding(cursor_, align);
}

void CSS_XmlText::NextChunk(std::size_t size) {
  const auto used = static_cast<std::size_t>(cursor_ - begin_);
  if (nextChunk_ == 0) {
    inlineUsed_ = used;
  } else {
    chunks_[nextChunk_ - 1].used = used;
  }
  // A chunk too small for this piece is left out for this message (it stays for later ones).
  while (nextChunk_ < chunks_.size() && chunks_[nextChunk_].size < size) {
    chunks_[nextChunk_++].used = 0;
  }
  if (nextChunk_ == chunks_.size()) {
    const std::size_t chunkSize = std::max(kXmlPieceSize, size);
    chunks_.push_back(Chunk{std::make_unique_for_overwrite<char[]>(chunkSize), chunkSize, 0});
  }
  Chunk& chunk = chunks_[nextChunk_++];
  begin_ = cursor_ = chunk.data.get();
  end_ = begin_ + chunk.size;
}

void CSS_XmlText::AppendTo(std::string& out) const {
  if (nextChunk_ == 0) {
    out.append(inline_, static_cast<std::size_t>(cursor_ - inline_));
    return;
  }
  out.append(inline_, inlineUsed_);
  for (std::size_t i = 0; i + 1 < nextChunk_; ++i) {
    out.append(chunks_[i].data.get(), chunks_[i].used);
  }
  out.append(begin_, static_cast<std::size_t>(cursor_ - begin_));
}

}  // namespace ssmsg
