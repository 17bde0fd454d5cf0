#pragma once

// What the tool says about a word where a subcommand belongs that names none: the word, and the
// subcommand it most likely meant.

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

namespace ssmsg::tool {

// Follows the leading words of `args` (the command line without the program's name) down the
// subcommands of `app`. When a word that is not an option stands where a subcommand is required
// and names none, returns the line that says so, with the nearest subcommand when there is one:
//   unknown subcommand "reprot"; did you mean "report"?
std::optional<std::string> UnknownSubcommand(const CLI::App& app,
                                             const std::vector<std::string>& args);

}  // namespace ssmsg::tool
