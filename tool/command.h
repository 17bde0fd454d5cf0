#pragma once

// What the subcommands share: the exit statuses, how a subcommand is wired to the command line,
// how it reports and loads a site, and the options that several subcommands take.
//
// Each subcommand has an options struct of its own, which its Add...Command function binds to
// the command line, and a run function that gets those options once the whole command line has
// been read: the subcommand's CLI11 callback hands the two to the tool's Main as a CSS_Chosen.

#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include <ssmsg/Site.h>

#include "output.h"

namespace ssmsg::tool {

// Exit statuses.
constexpr int kDone = 0;         // every operation returned true
constexpr int kFailed = 1;       // an operation returned false
constexpr int kBadInput = 2;     // bad command line or bad site file; nothing on standard output
constexpr int kCannotWrite = 3;  // the output could not be written

// The subcommand that the command line chose: its work, and the file it writes to (empty:
// standard output).
struct CSS_Chosen {
  std::function<int(Output&)> run;
  std::string output;
  // Who may read the file: its owner alone for a subcommand whose options say kSecretOutput.
  OutputFile::Readers readers = OutputFile::Readers::Usual;
};

// What --help says of the subcommand named by `words` (its words after "ssmsg"), from the
// tool's table of subcommands; throws std::logic_error for a subcommand that the table lacks.
const std::string& SubcommandHelp(const std::string& words);

// Adds the subcommand `name` to `parent` with its description from that table, for one that has
// subcommands of its own, one of which the command line must choose.
CLI::App* AddGroup(CLI::App& parent, const std::string& name);

// Adds the subcommand `name` to `parent`, described as the table says, with options of its own of
// type `Options` that live as long as the command line, and returns both for the caller to
// declare the options. When the subcommand is the one chosen, its callback hands `run` (called as
// run(options, command, output)) to `chosen`, with the options' `output` member when it has one.
template <class Options, class Run>
std::pair<CLI::App*, Options*> AddCommand(CLI::App& parent, const std::string& name,
                                          CSS_Chosen& chosen, Run run) {
  auto options = std::make_shared<Options>();
  const std::string words = parent.get_parent() == nullptr ? name : parent.get_name() + " " + name;
  CLI::App* command = parent.add_subcommand(name, SubcommandHelp(words));
  command->callback([command, options, &chosen, run] {
    chosen.run = [command, options, run](Output& output) {
      return run(*options, *command, output);
    };
    if constexpr (requires { options->output; }) chosen.output = options->output;
    if constexpr (requires { Options::kSecretOutput; }) {
      chosen.readers = OutputFile::Readers::Owner;
    }
  });
  return {command, options.get()};
}

// Says `line` on standard error, after "ssmsg: ".
void Complain(const std::string& line);

// "3 controllers", "1 warning".
std::string Count(std::size_t n, const std::string& what);

// The number of cores, at least 1: the default of --jobs.
unsigned DefaultJobs();

// Loads the site file `config`, standard input for "-", or the demo site when it is empty, and
// reports every error on standard error; nothing when the site is not valid.
std::optional<CSS_Site> LoadSiteOrDemo(const std::string& config, unsigned jobs);

// The options that several subcommands take.
CLI::Option* AddConfig(CLI::App& command, std::string& config);
CLI::Option* AddFormat(CLI::App& command, Format& format);
CLI::Option* AddOutput(CLI::App& command, std::string& output);
CLI::Option* AddJobs(CLI::App& command, unsigned& jobs);
CLI::Option* AddInterface(CLI::App& command, std::int32_t& interfaceId);

// The subcommands, each added to `app` with its options; `chosen` gets the one that runs.
void AddSettingsCommand(CLI::App& app, CSS_Chosen& chosen);
void AddDiffCommand(CLI::App& app, CSS_Chosen& chosen);
void AddAskSettingsCommand(CLI::App& app, CSS_Chosen& chosen);
void AddInterfaceCommand(CLI::App& app, CSS_Chosen& chosen);
void AddValidateCommand(CLI::App& app, CSS_Chosen& chosen);
void AddDemoSiteCommand(CLI::App& app, CSS_Chosen& chosen);
void AddTasksCommand(CLI::App& app, CSS_Chosen& chosen);
void AddDecodeCommand(CLI::App& app, CSS_Chosen& chosen);
void AddImportCommand(CLI::App& app, CSS_Chosen& chosen);
void AddReportCommand(CLI::App& app, CSS_Chosen& chosen);
void AddSchemaCommand(CLI::App& app, CSS_Chosen& chosen);
void AddConvertCommand(CLI::App& app, CSS_Chosen& chosen);
void AddMigrateCommand(CLI::App& app, CSS_Chosen& chosen);
// The site editor's (none where the tool is built without its server).
void AddServeCommand(CLI::App& app, CSS_Chosen& chosen);
void AddUserCommand(CLI::App& app, CSS_Chosen& chosen);

}  // namespace ssmsg::tool
