#pragma once

// The same messages written by general-purpose XML libraries, each used the fastest way a user
// would: one document reused for every message, built element by element from a recipe, then
// saved compact (no declaration, no indentation, no blanks) into a string.

#include <memory>
#include <string>
#include <vector>

#include "bench/recipe.h"

namespace ssmsg::bench {

class PeerWriter {
 public:
  virtual ~PeerWriter() = default;
  // Appends the text of every message of `book` to `out`, one string per message.
  virtual void Write(const RecipeBook& book, std::vector<std::string>& out) = 0;
};

std::unique_ptr<PeerWriter> MakePugixmlWriter();
std::unique_ptr<PeerWriter> MakeTinyxml2Writer();

}  // namespace ssmsg::bench
