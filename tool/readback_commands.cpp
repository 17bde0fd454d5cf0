// The subcommands that read messages back: decode and import.

#include <string>
#include <vector>

#include "command.h"
#include "db_commands.h"
#include "readback.h"

namespace ssmsg::tool {
namespace {

struct ReadbackOptions {
  std::vector<std::string> files;
  std::string enumsFrom;  // import
  unsigned jobs = DefaultJobs();
  std::string output;       // decode
  std::string destination;  // import: a site file, or a site database (opened by the import)
};

void AddFiles(CLI::App& command, ReadbackOptions& options) {
  command.add_option("files", options.files, "files to read (standard input for none or -)")
      ->type_name("FILE");
}

}  // namespace

void AddDecodeCommand(CLI::App& app, CSS_Chosen& chosen) {
  const auto [decode, options] = AddCommand<ReadbackOptions>(
      app, "decode", chosen, [](const ReadbackOptions& o, const CLI::App&, Output& output) {
        return RunDecode(o.files, output);
      });
  AddFiles(*decode, *options);
  AddOutput(*decode, options->output);
}

void AddImportCommand(CLI::App& app, CSS_Chosen& chosen) {
  const auto [importSite, options] = AddCommand<ReadbackOptions>(
      app, "import", chosen, [](const ReadbackOptions& o, const CLI::App&, Output& output) {
        if (IsDatabaseName(o.destination))
          return ImportToDatabase(o.files, o.enumsFrom, o.jobs, o.destination);
        if (!o.destination.empty() && !output.OpenFile(o.destination)) return kBadInput;
        return RunImport(o.files, o.enumsFrom, o.jobs, output);
      });
  AddFiles(*importSite, *options);
  importSite
      ->add_option("--enums-from", options->enumsFrom,
                   "site file whose enumeration texts are read back besides the built-in ones; "
                   "they are written into the site file too")
      ->type_name("SITE");
  AddJobs(*importSite, options->jobs);
  AddOutput(*importSite, options->destination)
      ->description(
          "write to FILE instead of standard output, a site database when FILE ends in .db, "
          ".sqlite or .sqlite3; written through a temporary file beside it that replaces FILE "
          "only when the exit status is 0; otherwise FILE is left as it was");
}

}  // namespace ssmsg::tool
