// ssmsg: builds the command messages of a site's controllers from a site file, and the interface
// control messages, on the command line.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <ssmsg/version.h>

#include "command.h"
#include "output.h"
#include "platform/Program.h"
#include "unknown_subcommand.h"

namespace ssmsg::tool {
namespace {

// Ends the run: closes the output, keeping an --output file only for status 0 or 1, and turns
// any failed write into status 3, reported once.
int Conclude(int status, Output& output) {
  output.Close(status == kDone || status == kFailed);
  if (output.Error() == 0) return status;
  Complain(std::string("cannot write the output: ") + std::strerror(output.Error()));
  return kCannotWrite;
}

int Main(int argc, char** argv) {
  CLI::App app{
      "Builds the XML command messages of access-control and vending controllers.\n"
      "Without a site file, settings and validate use the built-in demo site.",
      "ssmsg"};
  app.set_version_flag("--version", std::string("ssmsg ") + SSMSG_VERSION_STRING);
  app.require_subcommand(1);
  // Options are spelt --name on every system (the subcommands inherit this): on Windows, too, a
  // word that begins with a slash is a file name.
  app.allow_windows_style_options(false);
  app.fallthrough(false);

  CSS_Chosen chosen;
  for (const auto add :
       {AddSettingsCommand, AddDiffCommand, AddAskSettingsCommand, AddInterfaceCommand,
        AddValidateCommand, AddDemoSiteCommand, AddTasksCommand, AddDecodeCommand, AddImportCommand,
        AddReportCommand, AddSchemaCommand, AddConvertCommand, AddMigrateCommand, AddServeCommand,
        AddUserCommand}) {
    add(app, chosen);
  }
  app.footer(
      "Exit status: 0 when every operation returned true, 1 when one returned false (standard "
      "error says which and why), 2 for a bad command line or site file (nothing is written to "
      "standard output), 3 when the output cannot be written (standard error says why).");

  Output output;
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) {  // --help or --version
      std::ostringstream text;
      const int status = app.exit(error, text, std::cerr);
      output.Write(text.str());
      return Conclude(status, output);
    }
    // CLI11 takes a mistyped subcommand for a missing one; name the word instead.
    const auto unknown = UnknownSubcommand(app, std::vector<std::string>(argv + 1, argv + argc));
    Complain(unknown ? *unknown : error.what());
    std::fprintf(stderr, "Run with --help for more information.\n");
    return kBadInput;
  }
  if (!chosen.run) return kBadInput;
  const int status = !chosen.output.empty() && !output.OpenFile(chosen.output, true, chosen.readers)
                         ? kBadInput
                         : chosen.run(output);
  return Conclude(status, output);
}

}  // namespace
}  // namespace ssmsg::tool

int ssmsg::ProgramMain(int argc, char** argv) {
  return tool::Main(argc, argv);
}
