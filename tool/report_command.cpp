#include "report_command.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <ssmsg/CSS_Report.h>
#include <ssmsg/CSS_Site.h>

#include "demo_site.h"
#include "readback.h"

namespace ssmsg::tool {
namespace {

// The tool's exit statuses (see its --help).
constexpr int kDone = 0;
constexpr int kBadInput = 2;
constexpr int kCannotWrite = 3;

struct ReportOptions {
  std::string config;
  std::int32_t interfaceId = 0;
  std::int32_t node = 0;
  std::string diffFrom;
  std::string diffFromMessages;
  std::string output;
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  CLI::App* command = nullptr;
};

void Complain(const std::string& line) {
  std::fprintf(stderr, "ssmsg: report: %s\n", line.c_str());
}

// Loads the site file `config` (standard input for "-", the demo site when empty) and reports
// every error.
std::optional<CSS_Site> Load(const std::string& config, unsigned jobs) {
  CSS_SiteLoadResult result;
  if (config.empty()) {
    result = LoadSiteText(kDemoSite, "demo site", jobs);
  } else if (config != "-") {
    result = LoadSite(config, jobs);
  } else {
    std::string text;
    const int error = ReadStandardInput(text);
    if (error == 0) {
      result = LoadSiteText(text, "<stdin>", jobs);
    } else {
      result.errors.push_back("<stdin>: cannot read the file: " +
                              std::string(std::strerror(error)));
    }
  }
  for (const std::string& error : result.errors)
    std::fprintf(stderr, "%s\n", error.c_str());
  return std::move(result.site);
}

// Writes each page into `folder` as a file of its own, each through a temporary file that
// replaces it once whole; then removes controller pages of an earlier, larger report.
int WritePages(const CSS_Site& site, CSS_ReportOptions& report, const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    Complain("cannot make the folder " + folder + ": " + error.message());
    return kCannotWrite;
  }
  std::unique_ptr<Output> page;
  std::string name;
  int failure = 0;
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
      if (!page->OpenFile(folder + "/" + name)) {
        failure = page->Error();
        return false;
      }
    }
    return page->Write(text);
  });
  if (done) finish();
  if (failure == 0 && page) failure = page->Error();
  if (!done || failure != 0) {
    Complain("cannot write " + folder + "/" + name + ": " +
             std::strerror(failure != 0 ? failure : EIO));
    return kCannotWrite;
  }
  const std::size_t count = report.controllers.size();
  for (std::size_t k = count + 1;; ++k) {
    if (!std::filesystem::remove(folder + "/" + ReportControllerPage(k), error)) break;
  }
  return kDone;
}

int Run(const ReportOptions& options, Output& output) {
  const CLI::App& command = *options.command;
  if (command.count("--node") > 0 && command.count("--interface") == 0) {
    Complain("--node needs --interface");
    return kBadInput;
  }
  const std::optional<CSS_Site> site = Load(options.config, options.jobs);
  if (!site) return kBadInput;
  std::optional<CSS_Site> old;
  if (!options.diffFrom.empty()) {
    old = Load(options.diffFrom, options.jobs);
    if (!old) return kBadInput;
  } else if (!options.diffFromMessages.empty()) {
    std::string text;
    if (!ImportMessages({options.diffFromMessages}, &*site, false, options.jobs,
                        [&text](std::string_view piece) {
                          text.append(piece);
                          return true;
                        })) {
      return kBadInput;
    }
    old = LoadSiteText(text, options.diffFromMessages + " (read back)").site;
    if (!old) return kBadInput;
  }

  CSS_ReportOptions report;
  report.jobs = options.jobs;
  report.diffFrom = old ? &*old : nullptr;
  std::optional<std::int32_t> interfaceId;
  std::optional<std::int32_t> node;
  if (command.count("--interface") > 0) interfaceId = options.interfaceId;
  if (command.count("--node") > 0) node = options.node;
  report.controllers = site->Select(interfaceId, node);
  if (report.controllers.empty()) {
    std::string where = "no controller";
    if (interfaceId) where += " on interface " + std::to_string(*interfaceId);
    if (node) where += " at node " + std::to_string(*node);
    Complain(where + " in " + site->FileName());
    return kBadInput;
  }

  // Pages into a folder: when asked for one (an existing folder, or a name ending in "/"), or
  // when the site is too large for one page to open quickly.
  const bool large = report.controllers.size() > kReportOnePageLimit;
  const bool folder = !options.output.empty() && (options.output.ends_with('/') ||
                                                  std::filesystem::is_directory(options.output));
  if (folder || (large && !options.output.empty()))
    return WritePages(*site, report, options.output);
  if (large) {
    Complain(std::to_string(report.controllers.size()) + " controllers are more than one page " +
             "holds (" + std::to_string(kReportOnePageLimit) +
             "): write a page for each with --output DIR");
    return kBadInput;
  }
  if (!options.output.empty() && !output.OpenFile(options.output)) return kCannotWrite;
  const bool done = MakeSiteReport(
      *site, report, [&](std::string_view, std::string_view text) { return output.Write(text); });
  return done ? kDone : kCannotWrite;
}

}  // namespace

std::function<int(Output& output)> AddReportCommand(CLI::App& app) {
  auto options = std::make_shared<ReportOptions>();
  CLI::App* command = app.add_subcommand(
      "report",
      "Writes an HTML report of a site: an overview of its controllers, and for each its time "
      "zones and time groups on a 24-hour axis, its holidays on a calendar, tables of its "
      "records and its warnings. The page needs no network and runs no script.");
  options->command = command;
  command->add_option("--config", options->config,
                      "site file, - for standard input (default: the built-in demo site)");
  command->add_option("--interface", options->interfaceId, "only the controllers on interface I");
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
      ->add_option("--output", options->output,
                   "write to FILE instead of standard output (through a temporary file that "
                   "replaces it when whole); a folder (an existing one, or a name ending in /) "
                   "gets index.html and a page for each controller, as does any FILE for a site "
                   "of more than " +
                       std::to_string(kReportOnePageLimit) + " controllers")
      ->type_name("FILE|DIR");
  command
      ->add_option("--jobs", options->jobs,
                   "threads that work at once; the output is the same whatever the number")
      ->check(CLI::Range(1u, 1024u))
      ->default_str("the number of cores");
  return [options](Output& output) { return Run(*options, output); };
}

}  // namespace ssmsg::tool
