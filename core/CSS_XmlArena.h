#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ssmsg {

// What the arena and the text below hold inside the object, and the least that each later piece
// of memory they take holds.
inline constexpr std::size_t kXmlInlineSize = 4096;
inline constexpr std::size_t kXmlPieceSize = 16384;

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
    end_ = inline_ + kXmlInlineSize;
    nextBlock_ = 0;
  }

  // Where the next allocation goes: `Restore` of a saved position forgets every allocation made
  // after it was saved.
  struct Position {
    std::byte* cursor;
    std::byte* end;
    std::size_t nextBlock;
  };
  Position Save() const { return {cursor_, end_, nextBlock_}; }
  void Restore(const Position& position) {
    cursor_ = position.cursor;
    end_ = position.end;
    nextBlock_ = position.nextBlock;
  }

 private:
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

  alignas(std::max_align_t) std::byte inline_[kXmlInlineSize];
  std::byte* cursor_ = inline_;
  std::byte* end_ = inline_ + kXmlInlineSize;
  std::vector<Block> blocks_;
  std::size_t nextBlock_ = 0;
};

// The text of one message, written front to back in chunks that never move, so that a view of
// anything written stays valid until `Reset`. The first chunk lives inside the object; later
// chunks are kept across `Reset` like the arena's blocks.
class CSS_XmlText {
 public:
  CSS_XmlText() = default;
  CSS_XmlText(const CSS_XmlText&) = delete;
  CSS_XmlText& operator=(const CSS_XmlText&) = delete;

  // Room for `size` bytes in one piece. Write at most that many, then hand the end of what was
  // written to `Commit`.
  char* Reserve(std::size_t size) {
    if (static_cast<std::size_t>(end_ - cursor_) < size) NextChunk(size);
    return cursor_;
  }
  void Commit(char* end) { cursor_ = end; }
  // The end of what is written.
  char* End() const { return cursor_; }
  // Takes back the last `size` bytes, which were written in one piece after the last Reserve.
  void Retract(std::size_t size) { cursor_ -= size; }

  // Copies `text` to `at` and returns the end of the copy. Names and most values are short:
  // those are moved in at most two overlapping words instead of a call to memcpy.
  static char* Put(char* at, std::string_view text) {
    const char* from = text.data();
    const std::size_t size = text.size();
    if (size >= 8 && size <= 16) {
      Move<std::uint64_t>(at, from);
      Move<std::uint64_t>(at + size - 8, from + size - 8);
    } else if (size >= 4 && size < 8) {
      Move<std::uint32_t>(at, from);
      Move<std::uint32_t>(at + size - 4, from + size - 4);
    } else if (size > 0 && size < 4) {
      at[0] = from[0];
      at[size / 2] = from[size / 2];
      at[size - 1] = from[size - 1];
    } else if (size > 16) {
      std::memcpy(at, from, size);
    }
    return at + size;
  }

  // Appends everything written, in order, to `out`.
  void AppendTo(std::string& out) const;

  // Forgets everything written; the chunks are kept for the next message.
  void Reset() {
    begin_ = cursor_ = inline_;
    end_ = inline_ + kXmlInlineSize;
    nextChunk_ = 0;
  }

  // How much is written: `Restore` of a saved position forgets everything written after it was
  // saved.
  struct Position {
    char* begin;
    char* cursor;
    char* end;
    std::size_t nextChunk;
  };
  Position Save() const { return {begin_, cursor_, end_, nextChunk_}; }
  void Restore(const Position& position) {
    begin_ = position.begin;
    cursor_ = position.cursor;
    end_ = position.end;
    nextChunk_ = position.nextChunk;
  }

 private:
  template <class Word>
  static void Move(char* to, const char* from) {
    Word word;
    std::memcpy(&word, from, sizeof word);
    std::memcpy(to, &word, sizeof word);
  }

  struct Chunk {
    std::unique_ptr<char[]> data;
    std::size_t size;
    std::size_t used;
  };

  void NextChunk(std::size_t size);

  char inline_[kXmlInlineSize];
  std::size_t inlineUsed_ = 0;  // what the inline chunk holds once writing moved on
  char* begin_ = inline_;
  char* cursor_ = inline_;
  char* end_ = inline_ + kXmlInlineSize;
  std::vector<Chunk> chunks_;
  std::size_t nextChunk_ = 0;  // chunks_[0, nextChunk_) are in use
};

}  // namespace ssmsg
