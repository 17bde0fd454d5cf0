// A tool built without the site editor's server (where its HTTP layer is not ported yet): serve
// and user are not among its subcommands.

#include "command.h"

namespace ssmsg::tool {

void AddServeCommand(CLI::App&, CSS_Chosen&) {}
void AddUserCommand(CLI::App&, CSS_Chosen&) {}

}  // namespace ssmsg::tool
