#pragma once

// ssmsg report: an HTML page of a site's configuration.

#include <functional>

#include <CLI/CLI.hpp>

#include "output.h"

namespace ssmsg::tool {

// Adds the subcommand "report" to `app`. The function returned runs it, once the command line is
// parsed and names it, writing one page to `output` (standard output or --output FILE) or pages
// into a folder of its own, and gives the exit status.
std::function<int(Output& output)> AddReportCommand(CLI::App& app);

}  // namespace ssmsg::tool
