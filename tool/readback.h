#pragma once

// The subcommands that read messages back: decode (each message as one line of JSON) and import
// (a site file that makes the messages).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <ssmsg/Site.h>

#include "output.h"

namespace ssmsg::tool {

// Writes each message of `files` (standard input for none or "-") as one line of JSON; a line
// that is not a message is reported on standard error as FILE:LINE:COLUMN: reason. Returns 0, or
// 2 when a line was bad or a file could not be read.
int RunDecode(const std::vector<std::string>& files, Output& output);

// Reads the settings messages of `files` back into the site that makes them, named `name`,
// reading enumeration texts back through those of `enumsFrom` too. With `notes`, says on standard
// error which kinds of message were skipped. Nothing (after reporting every error on standard
// error) when a line was bad or a file could not be read. The lines are applied on `jobs` threads.
std::optional<CSS_Site> ImportMessages(const std::vector<std::string>& files,
                                       const CSS_Site* enumsFrom, bool notes, unsigned jobs,
                                       std::string_view name);

// Writes the site file that makes the settings messages of `files`, reading enumeration texts
// back through those of the site file `enumsFrom` too when it is not empty. Returns 0, or 2 (and
// writes nothing) when a line was bad, a file could not be read or `enumsFrom` is not a valid
// site file.
int RunImport(const std::vector<std::string>& files, const std::string& enumsFrom, unsigned jobs,
              Output& output);

}  // namespace ssmsg::tool
