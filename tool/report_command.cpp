// The subcommand report: an HTML page of a site.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <ssmsg/Report.h>
#include <ssmsg/Site.h>

#include "command.h"
#include "platform/FileName.h"
#include "readback.h"

namespace ssmsg::tool {
namespace {

struct ReportOptions {
  std::string config;
  std::int32_t interfaceId = 0;
  std::int32_t node = 0;
  std::string diffFrom;
  std::string diffFromMessages;
  std::string destination;  // --output: a file, or a folder of pages; the report opens it itself
  unsigned jobs = DefaultJobs();
};

void Say(const std::string& line) {
  Complain("report: " + line);
}

// Writes each page into `folder` as a file of its own, each through a temporary file that
// replaces it once whole; then removes controller pages of an earlier, larger report.
int WritePages(const CSS_Site& site, CSS_ReportOptions& report, const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(PathOfName(folder), error);
  if (error) {
    Say("cannot make the folder " + folder + ": " + error.message());
    return kBadInput;
  }
  std::unique_ptr<Output> page;
  std::string name;
  int failure = 0;
  std::size_t opened = 0;  // pages begun; a folder that takes none is refused before any is
  const auto finish = [&] {
    if (!page) return true;
    page->CloseFile(true, false);  // pages are made again at will: no sync for each
    failure = page->Error();
    page.reset();
    return failure == 0;
  };
  report.pages = true;
  const bool done = MakeSiteReport(site, report, [&](std::string_view file, std::string_view text) {
    if (!page || file != name) {
      if (!finish()) return false;
      name = std::string(file);
      page = std::make_unique<Output>();
      if (!page->OpenFile(folder + "/" + name)) {  // which says why
        page.reset();
        return false;
      }
      ++opened;
    }
    return page->Write(text);
  });
  if (done) finish();
  if (failure == 0 && page) failure = page->Error();
  if (!done && failure == 0 && !page) return opened == 0 ? kBadInput : kCannotWrite;
  if (!done || failure != 0) {
    Say("cannot write " + folder + "/" + name + ": " + std::strerror(failure != 0 ? failure : EIO));
    return kCannotWrite;
  }
  const std::size_t count = site.Select(report.selection).size();
  for (std::size_t k = count + 1;; ++k) {
    if (!std::filesystem::remove(PathOfName(folder + "/" + ReportControllerPage(k)), error)) break;
  }
  return kDone;
}

int Run(const ReportOptions& options, const CLI::App& command, Output& output) {
  if (command.count("--node") > 0 && command.count("--interface") == 0) {
    Say("--node needs --interface");
    return kBadInput;
  }
  const std::optional<CSS_Site> site = LoadSiteOrDemo(options.config, options.jobs);
  if (!site) return kBadInput;
  std::optional<CSS_Site> old;
  if (!options.diffFrom.empty()) {
    old = LoadSiteOrDemo(options.diffFrom, options.jobs);
    if (!old) return kBadInput;
  } else if (!options.diffFromMessages.empty()) {
    old = ImportMessages({options.diffFromMessages}, &*site, false, options.jobs,
                         options.diffFromMessages + " (read back)");
    if (!old) return kBadInput;
  }

  CSS_ReportOptions report;
  report.jobs = options.jobs;
  report.diffFrom = old ? &*old : nullptr;
  if (command.count("--interface") > 0) report.selection.interfaceId = options.interfaceId;
  if (command.count("--node") > 0) report.selection.node = options.node;
  const CSS_SelectionProblem problem = CheckSelection(report.selection, {&*site});
  if (problem.kind != CSS_SelectionProblem::Kind::None) {
    Say(problem.text);
    return kBadInput;
  }
  const std::size_t chosen = site->Select(report.selection).size();

  // Pages into a folder: when asked for one (an existing folder, or a name ending in "/"), or
  // when the site is too large for one page to open quickly.
  const bool large = chosen > kReportOnePageLimit;
  const bool toStandardOutput = options.destination.empty() || options.destination == "-";
  std::error_code notFolder;  // a name that cannot be looked at is no folder: writing it says why
  const bool folder = !toStandardOutput &&
                      (options.destination.ends_with('/') ||
                       std::filesystem::is_directory(PathOfName(options.destination), notFolder));
  if (folder || (large && !toStandardOutput)) return WritePages(*site, report, options.destination);
  if (large) {
    Say(std::to_string(chosen) + " controllers are more than one page " + "holds (" +
        std::to_string(kReportOnePageLimit) + "): write a page for each with --output DIR");
    return kBadInput;
  }
  if (!options.destination.empty() && !output.OpenFile(options.destination)) return kBadInput;
  const bool done = MakeSiteReport(
      *site, report, [&](std::string_view, std::string_view text) { return output.Write(text); });
  return done ? kDone : kCannotWrite;
}

}  // namespace

void AddReportCommand(CLI::App& app, CSS_Chosen& chosen) {
  const auto [command, options] = AddCommand<ReportOptions>(app, "report", chosen, Run);
  AddConfig(*command, options->config);
  AddInterface(*command, options->interfaceId)->description("only the controllers on interface I");
  command->add_option("--node", options->node, "only the controller at node N (needs --interface)");
  CLI::Option* from =
      command
          ->add_option("--diff-from", options->diffFrom,
                       "mark what changed since the site OLD, and count the messages that ssmsg "
                       "diff --from OLD sends to each controller")
          ->type_name("OLD");
  command
      ->add_option("--diff-from-messages", options->diffFromMessages,
                   "the same against the messages last sent (a settings log), read back as OLD")
      ->type_name("SENT")
      ->excludes(from);
  command
      ->add_option("--output", options->destination,
                   "write to FILE instead of standard output (through a temporary file that "
                   "replaces it when whole); a folder (an existing one, or a name ending in /) "
                   "gets index.html and a page for each controller, as does any FILE for a site "
                   "of more than " +
                       std::to_string(kReportOnePageLimit) + " controllers")
      ->type_name("FILE|DIR");
  AddJobs(*command, options->jobs);
}

}  // namespace ssmsg::tool
