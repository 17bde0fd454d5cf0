#include "command.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <utility>

#include "demo_site.h"
#include "platform/FileName.h"

namespace ssmsg::tool {

// The table of subcommands: the text of tool/subcommands.txt, compiled in.
extern const std::string_view kSubcommands;

namespace {

constexpr std::string_view kDemoSiteName = "demo site";

// Each subcommand's words and description, read from that text.
std::map<std::string, std::string, std::less<>> ReadSubcommands(std::string_view text) {
  std::map<std::string, std::string, std::less<>> described;
  std::string* description = nullptr;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const std::size_t start = line.find_first_not_of(' ');
    if (start == std::string_view::npos || line.front() == '#') continue;
    if (start == 0) {
      description = &described[std::string(line)];
    } else if (description != nullptr) {
      if (!description->empty()) *description += ' ';
      *description += line.substr(start);
    }
  }
  return described;
}

}  // namespace

const std::string& SubcommandHelp(const std::string& words) {
  static const auto described = ReadSubcommands(kSubcommands);
  const auto found = described.find(words);
  if (found == described.end())
    throw std::logic_error("the table of subcommands does not describe \"" + words + "\"");
  return found->second;
}

CLI::App* AddGroup(CLI::App& parent, const std::string& name) {
  CLI::App* group = parent.add_subcommand(name, SubcommandHelp(name));
  group->require_subcommand(1);
  return group;
}

void Complain(const std::string& line) {
  std::fprintf(stderr, "ssmsg: %s\n", line.c_str());
}

std::string Count(std::size_t n, const std::string& what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

unsigned DefaultJobs() {
  return std::max(1u, std::thread::hardware_concurrency());
}

std::optional<CSS_Site> LoadSiteOrDemo(const std::string& config, unsigned jobs) {
  CSS_SiteLoadResult result;
  if (config.empty()) {
    result = LoadSiteText(kDemoSite, kDemoSiteName, jobs);
  } else if (config != "-") {
    result = LoadSite(PathOfName(config), jobs);
  } else {
    std::string text;
    const int error = ReadStandardInput(text);
    if (error == 0) {
      result = LoadSiteText(text, kStdinName, jobs);
    } else {
      result.errors.push_back(std::string(kStdinName) +
                              ": cannot read the file: " + std::strerror(error));
    }
  }
  for (const std::string& error : result.errors)
    std::fprintf(stderr, "%s\n", error.c_str());
  return std::move(result.site);
}

CLI::Option* AddConfig(CLI::App& command, std::string& config) {
  return command.add_option("--config", config,
                            "site file, - for standard input (default: the built-in demo site)");
}

CLI::Option* AddFormat(CLI::App& command, Format& format) {
  return command
      .add_option_function<std::string>(
          "--format",
          [&format](const std::string& name) {
            format = name == "json" ? Format::Json : Format::Lines;
          },
          "lines: each message on a line of its own; json: one array of objects "
          "{interface, node, task, message}")
      ->check(CLI::IsMember({"lines", "json"}))
      ->default_str("lines");
}

CLI::Option* AddOutput(CLI::App& command, std::string& output) {
  return command
      .add_option("--output", output,
                  "write to FILE instead of standard output, through a temporary file beside it "
                  "that replaces FILE only when the exit status is 0 or 1; otherwise FILE is left "
                  "as it was")
      ->type_name("FILE");
}

CLI::Option* AddJobs(CLI::App& command, unsigned& jobs) {
  return command
      .add_option("--jobs", jobs,
                  "threads that work at once (checking and building controllers, decoding "
                  "lines); the output is the same whatever the number")
      ->check(CLI::Range(1u, 1024u))
      ->default_str("the number of cores");
}

CLI::Option* AddInterface(CLI::App& command, std::int32_t& interfaceId) {
  return command.add_option("--interface", interfaceId, "interface number I");
}

}  // namespace ssmsg::tool
