#include "unknown_subcommand.h"

#include <algorithm>
#include <numeric>
#include <string_view>

namespace ssmsg::tool {
namespace {

// The number of single-character insertions, deletions, substitutions and swaps of neighbours
// that turn `a` into `b`.
std::size_t EditDistance(std::string_view a, std::string_view b) {
  // Three rows of the table of distances between prefixes: the one being filled and the two
  // before it (a swap looks two rows back).
  std::vector<std::size_t> before(b.size() + 1), previous(b.size() + 1), row(b.size() + 1);
  std::iota(previous.begin(), previous.end(), std::size_t{0});
  for (std::size_t i = 1; i <= a.size(); ++i) {
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
      row[j] = std::min({previous[j] + 1, row[j - 1] + 1, previous[j - 1] + change});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        row[j] = std::min(row[j], before[j - 2] + 1);
    }
    std::swap(before, previous);
    std::swap(previous, row);
  }
  return previous[b.size()];
}

// The candidate nearest to `word`, the first of those equally near; none when even the nearest
// needs more than two edits, or as many edits as `word` has characters.
std::optional<std::string> NearestWord(std::string_view word,
                                       const std::vector<std::string>& candidates) {
  constexpr std::size_t kMostEdits = 2;
  std::optional<std::string> nearest;
  std::size_t best = std::min(kMostEdits + 1, word.size());
  for (const std::string& candidate : candidates) {
    const std::size_t distance = EditDistance(word, candidate);
    if (distance < best) {
      best = distance;
      nearest = candidate;
    }
  }
  return nearest;
}

}  // namespace

std::optional<std::string> UnknownSubcommand(const CLI::App& app,
                                             const std::vector<std::string>& args) {
  const CLI::App* command = &app;
  for (const std::string& word : args) {
    if (word.starts_with('-') || command->get_require_subcommand_min() == 0) return std::nullopt;
    const auto subcommands = command->get_subcommands([](const CLI::App*) { return true; });
    const auto named = std::find_if(subcommands.begin(), subcommands.end(),
                                    [&word](const CLI::App* sub) { return sub->check_name(word); });
    if (named != subcommands.end()) {
      command = *named;
      continue;
    }
    std::vector<std::string> names;
    for (const CLI::App* sub : subcommands)
      names.push_back(sub->get_name());
    std::string line = "unknown subcommand \"" + word + "\"";
    if (const auto nearest = NearestWord(word, names))
      line += "; did you mean \"" + *nearest + "\"?";
    return line;
  }
  return std::nullopt;
}

}  // namespace ssmsg::tool
