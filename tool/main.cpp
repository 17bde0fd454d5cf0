// ssmsg: builds the command messages of a site's controllers from a site file, and the interface
// control messages, on the command line.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <ssmsg/CSS_Manager.h>
#include <ssmsg/CSS_Site.h>
#include <ssmsg/CSS_SiteDiff.h>
#include <ssmsg/CSS_SiteSettings.h>
#include <ssmsg/CSToolEnum.h>
#include <ssmsg/version.h>
#include "demo_site.h"

#include "output.h"
#include "readback.h"

namespace ssmsg::tool {
namespace {

// Exit statuses.
constexpr int kDone = 0;         // every operation returned true
constexpr int kFailed = 1;       // an operation returned false
constexpr int kBadInput = 2;     // bad command line or bad site file; nothing on standard output
constexpr int kCannotWrite = 3;  // the output could not be written

constexpr std::string_view kDemoSiteName = "demo site";
constexpr std::string_view kStdinName = "<stdin>";  // the site file of --config -

void Complain(const std::string& line) {
  std::fprintf(stderr, "ssmsg: %s\n", line.c_str());
}

// Loads the site file, standard input for "-", or the demo site without one; reports every error.
std::optional<CSS_Site> LoadSiteOrDemo(const std::string& config, unsigned jobs) {
  CSS_SiteLoadResult result;
  if (config.empty()) {
    result = LoadSiteText(kDemoSite, kDemoSiteName, jobs);
  } else if (config != "-") {
    result = LoadSite(config, jobs);
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

// Where a subcommand's options land.
struct Options {
  std::string config;
  std::string from, to;      // diff: the two sites
  std::string fromMessages;  // diff: what was sent, read back
  bool summary = false;
  std::int32_t interfaceId = 0;
  std::int32_t node = 0;
  std::string tasks = "all";
  std::string time;
  std::string format = "lines";
  std::string output;
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  bool main = false;
  std::string ip;
  std::int32_t port = 0;
  std::string add, timeouts, remove, start, stop;
  std::vector<std::string> files;  // decode, import
  std::string enumsFrom;
};

// The tasks of "all" or of a list such as "161,165,168", in the order given.
std::optional<std::vector<ApplicationManagerTask>> ParseTasks(const std::string& text) {
  std::vector<ApplicationManagerTask> tasks;
  if (text == "all")
    return std::vector<ApplicationManagerTask>(kSettingsTasks.begin(), kSettingsTasks.end());
  const auto numbers = ParseNumberList(text);
  if (!numbers || numbers->empty()) {
    Complain("--task: \"" + text + "\" is not \"all\" or a list of task numbers");
    return std::nullopt;
  }
  for (std::uint32_t number : *numbers) {
    const std::optional<ApplicationManagerTask> task = FindSettingsTask(number);
    if (!task) {
      Complain("--task: " + std::to_string(number) + " is not a settings task (151 to 177)");
      return std::nullopt;
    }
    tasks.push_back(*task);
  }
  return tasks;
}

std::string_view TaskSends(ApplicationManagerTask task) {
  for (const CSS_TaskInfo& info : CSS_Manager::TaskTable()) {
    if (info.task == task) return info.sends;
  }
  return {};
}

// What settings and diff share: the controllers chosen, the tasks and the clock's time.
struct JobRequest {
  std::optional<std::int32_t> interfaceId;
  std::optional<std::int32_t> node;
  std::optional<std::vector<ApplicationManagerTask>> tasks;  // none: --task was not given
  std::optional<std::tm> time;

  // "no controller on interface 1 at node 7"
  std::string NoController() const {
    std::string where = "no controller";
    if (interfaceId) where += " on interface " + std::to_string(*interfaceId);
    if (node) where += " at node " + std::to_string(*node);
    return where;
  }
};

// Reads the selection, --task and --time of `command`; nothing (after saying why) when one of
// them is wrong.
std::optional<JobRequest> ReadJobRequest(const Options& options, const CLI::App& command) {
  JobRequest request;
  if (command.count("--interface") > 0) request.interfaceId = options.interfaceId;
  if (command.count("--node") > 0) {
    if (!request.interfaceId) {
      Complain(command.get_name() + ": --node needs --interface");
      return std::nullopt;
    }
    request.node = options.node;
  }
  if (command.count("--task") > 0) {
    request.tasks = ParseTasks(options.tasks);
    if (!request.tasks) return std::nullopt;
  }
  if (!options.time.empty()) {
    request.time = ParseLocalTime(options.time);
    if (!request.time) {
      Complain("--time: \"" + options.time + "\" is not a date and time YYYY-MM-DDTHH:MM:SS");
      return std::nullopt;
    }
  }
  return request;
}

// Says which tasks returned false; the status that gives.
int ReportFailures(const std::vector<CSS_TaskFailure>& failures) {
  for (const CSS_TaskFailure& failure : failures) {
    Complain("task " + std::to_string(failure.task) + " (" + std::string(TaskSends(failure.task)) +
             ") returned false for interface " + std::to_string(failure.address.interfaceId) +
             ", node " + std::to_string(failure.address.node));
  }
  return failures.empty() ? kDone : kFailed;
}

int RunSettings(const Options& options, const CLI::App& command, Output& output) {
  const std::optional<JobRequest> request = ReadJobRequest(options, command);
  if (!request) return kBadInput;
  const std::optional<CSS_Site> site = LoadSiteOrDemo(options.config, options.jobs);
  if (!site) return kBadInput;

  CSS_SettingsOptions job;
  job.jobs = options.jobs;
  job.controllers = site->Select(request->interfaceId, request->node);
  job.tasks = request->tasks.value_or(std::vector<ApplicationManagerTask>());
  job.time = request->time;
  if (job.controllers.empty()) {
    Complain("settings: " + request->NoController() + " in " + site->FileName());
    return kBadInput;
  }

  MessageWriter writer(options.format == "json" ? Format::Json : Format::Lines, output);
  // Writing stops the job at the first failed write: there is no use making what cannot be
  // written.
  const CSS_SettingsResult result = MakeSiteSettings(*site, job, [&](const CSS_SiteMessage& m) {
    return writer.Write(m.address.interfaceId, m.address.node, m.task, m.text);
  });
  if (result.stopped) return kCannotWrite;
  writer.Finish();
  return ReportFailures(result.failures);
}

int RunDiff(const Options& options, const CLI::App& command, Output& output) {
  if (options.from.empty() == options.fromMessages.empty()) {
    Complain("diff: give the site last sent with --from, or its messages with --from-messages");
    return kBadInput;
  }
  const std::optional<JobRequest> request = ReadJobRequest(options, command);
  if (!request) return kBadInput;
  CSS_DiffOptions diff;
  diff.jobs = options.jobs;
  diff.interfaceId = request->interfaceId;
  diff.node = request->node;
  diff.tasks = request->tasks.value_or(std::vector<ApplicationManagerTask>());
  diff.time = request->time;
  // Both sites are checked in full before anything is written. What was sent is read back with
  // NEW's enumeration texts, the texts it is most likely to share.
  const std::optional<CSS_Site> current = LoadSiteOrDemo(options.to, options.jobs);
  std::optional<CSS_Site> old;
  if (options.fromMessages.empty()) {
    old = LoadSiteOrDemo(options.from, options.jobs);
  } else if (current) {
    old = ImportMessages({options.fromMessages}, &*current, false, options.jobs,
                         options.fromMessages + " (read back)");
  }
  if (!old || !current) return kBadInput;
  if (current->Select(diff.interfaceId, diff.node).empty() &&
      old->Select(diff.interfaceId, diff.node).empty()) {
    Complain("diff: " + request->NoController() + " in " + old->FileName() + " or " +
             current->FileName());
    return kBadInput;
  }

  MessageWriter writer(options.format == "json" ? Format::Json : Format::Lines, output);
  const CSS_DiffResult result = MakeSiteDiff(*old, *current, diff, [&](const CSS_SiteMessage& m) {
    return writer.Write(m.address.interfaceId, m.address.node, m.task, m.text);
  });
  if (result.stopped) return kCannotWrite;
  writer.Finish();
  for (const std::string& warning : result.warnings)
    std::fprintf(stderr, "warning: %s\n", warning.c_str());
  if (options.summary) {
    const auto count = [](std::size_t n, const std::string& what) {
      return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    };
    Complain("diff: " + count(result.controllersChanged, "controller") + " changed, " +
             count(result.messagesWritten, "message") + " written; a full settings would write " +
             count(result.messagesFull, "message"));
  }
  return ReportFailures(result.failures);
}

// Writes the messages of one facade operation; `why` says why it returned false.
int Finish(bool done, const CSS_StringList& messages, const Options& options, std::int32_t node,
           const std::string& operation, const std::string& why, Output& output) {
  MessageWriter writer(options.format == "json" ? Format::Json : Format::Lines, output);
  for (const std::string& message : messages)
    writer.Write(options.interfaceId, node, -1, message);
  writer.Finish();
  if (done) return kDone;
  Complain(operation + " returned false: " + why);
  return kFailed;
}

std::string BelowOne(std::int32_t interfaceId) {
  return "interface number " + std::to_string(interfaceId) + " is below 1";
}

int RunAskSettings(const Options& options, Output& output) {
  CSS_Manager manager;
  CSS_StringList messages;
  const bool done = manager.Controller_AskSettings(options.interfaceId, options.node, messages);
  const std::string why = options.interfaceId < 1
                              ? BelowOne(options.interfaceId)
                              : "node " + std::to_string(options.node) + " is below 0";
  return Finish(done, messages, options, options.node, "ask-settings", why, output);
}

// Reads the number lists named by `names`; false (after saying why) when one is malformed.
bool ReadLists(const std::vector<std::pair<std::string_view, const std::string*>>& names,
               std::vector<std::vector<std::uint32_t>>& lists) {
  for (const auto& [name, text] : names) {
    auto list = ParseNumberList(*text);
    if (!list) {
      Complain(std::string(name) + ": \"" + *text + "\" is not a list of unsigned 32-bit numbers");
      return false;
    }
    lists.push_back(std::move(*list));
  }
  return true;
}

int RunInterface(const Options& options, const CLI::App& command, Output& output) {
  CSS_Manager manager;
  CSS_StringList messages;
  const std::string name = command.get_name();
  const std::string operation = "interface " + name;
  std::vector<std::vector<std::uint32_t>> lists;
  if (name == "start") {
    const bool done = manager.Interface_Start(options.interfaceId, options.main, options.ip,
                                              options.port, messages);
    return Finish(done, messages, options, -1, operation, BelowOne(options.interfaceId), output);
  }
  if (name == "stop") {
    const bool done = manager.Interface_Stop(options.interfaceId, messages);
    return Finish(done, messages, options, -1, operation, BelowOne(options.interfaceId), output);
  }
  if (name == "set-nodes") {
    if (!ReadLists({{"--add", &options.add},
                    {"--timeouts", &options.timeouts},
                    {"--remove", &options.remove}},
                   lists)) {
      return kBadInput;
    }
    const bool done =
        manager.Interface_SetNodes(options.interfaceId, lists[0], lists[1], lists[2], messages);
    const std::string why = lists[0].empty() && lists[2].empty() ? "no node to add or remove"
                                                                 : BelowOne(options.interfaceId);
    return Finish(done, messages, options, -1, operation, why, output);
  }
  if (!ReadLists({{"--start", &options.start}, {"--stop", &options.stop}}, lists)) {
    return kBadInput;
  }
  const bool done = manager.Interface_Poll(options.interfaceId, lists[0], lists[1], messages);
  const std::string why = lists[0].empty() && lists[1].empty() ? "no node to start or stop"
                                                               : BelowOne(options.interfaceId);
  return Finish(done, messages, options, -1, operation, why, output);
}

int RunValidate(const Options& options, Output& output) {
  const std::optional<CSS_Site> site = LoadSiteOrDemo(options.config, options.jobs);
  if (!site) return kBadInput;
  CSToolEnum enums;
  site->LoadEnumTexts(enums);
  const std::vector<std::string> warnings = site->Warnings(enums);
  for (const std::string& warning : warnings) {
    std::fprintf(stderr, "warning: %s\n", warning.c_str());
  }
  const auto count = [](std::size_t n, const std::string& what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
  };
  output.Write(site->FileName() + ": valid, " + count(site->ControllerCount(), "controller") +
               ", " + count(warnings.size(), "warning") + "\n");
  return kDone;
}

int RunTasks(Output& output) {
  std::string text;
  for (const CSS_TaskInfo& info : CSS_Manager::TaskTable()) {
    text += std::to_string(info.task) + "  ";
    text.append(info.sends) += '\n';
  }
  output.Write(text);
  return kDone;
}

// Ends the run: closes the output, keeping an --output file only for status 0 or 1, and turns
// any failed write into status 3, reported once.
int Conclude(int status, Output& output) {
  output.Close(status == kDone || status == kFailed);
  if (output.Error() == 0) return status;
  Complain(std::string("cannot write the output: ") + std::strerror(output.Error()));
  return kCannotWrite;
}

constexpr const char* kConfigHelp =
    "site file, - for standard input (default: the built-in demo site)";

void AddFormat(CLI::App& command, Options& options) {
  command
      .add_option("--format", options.format,
                  "lines: each message on a line of its own; json: one array of objects "
                  "{interface, node, task, message}")
      ->check(CLI::IsMember({"lines", "json"}))
      ->default_str("lines");
}

void AddOutput(CLI::App& command, Options& options) {
  command
      .add_option("--output", options.output,
                  "write to FILE instead of standard output, through a temporary file beside it "
                  "that replaces FILE only when the exit status is 0 or 1; otherwise FILE is left "
                  "as it was")
      ->type_name("FILE");
}

void AddJobs(CLI::App& command, Options& options) {
  command
      .add_option("--jobs", options.jobs,
                  "threads that work at once (checking and building controllers, decoding "
                  "lines); the output is the same whatever the number")
      ->check(CLI::Range(1u, 1024u))
      ->default_str("the number of cores");
}

CLI::Option* AddInterface(CLI::App& command, Options& options) {
  return command.add_option("--interface", options.interfaceId, "interface number I");
}

// The options of settings and diff: the selection, the tasks (`tasks` says what they are when
// not given), the time, the jobs and the output.
void AddJobOptions(CLI::App& command, Options& options, const std::string& tasks) {
  AddInterface(command, options)->description("only the controllers on interface I");
  command.add_option("--node", options.node, "only the controller at node N (needs --interface)");
  command.add_option("--task", options.tasks,
                     "comma-separated task numbers 151 to 177, or all (151 to 177 ascending); "
                     "default: " +
                         tasks);
  command.add_option("--time", options.time,
                     "local date and time YYYY-MM-DDTHH:MM:SS that the clock message sends "
                     "(default: the machine's local time)");
  AddJobs(command, options);
  AddFormat(command, options);
  AddOutput(command, options);
}

int Main(int argc, char** argv) {
  Options options;
  CLI::App app{
      "Builds the XML command messages of access-control and vending controllers.\n"
      "Without a site file, settings and validate use the built-in demo site.",
      "ssmsg"};
  app.set_version_flag("--version", std::string("ssmsg ") + SSMSG_VERSION_STRING);
  app.require_subcommand(1);
  app.fallthrough(false);

  CLI::App* settings = app.add_subcommand(
      "settings",
      "Writes every settings message of the site's controllers, controller by controller in "
      "file order and task by task in the order given.");
  settings->add_option("--config", options.config, kConfigHelp);
  AddJobOptions(*settings, options, "all; see the tasks subcommand");

  CLI::App* diff = app.add_subcommand(
      "diff",
      "Writes the settings messages that bring the controllers of site OLD to site NEW: for each "
      "controller of NEW in file order, every message of a controller that OLD does not have; "
      "for the others, task by task, nothing where OLD and NEW make the same messages, all of "
      "NEW's messages of a task that clears its list or sends one message or name, and NEW's "
      "messages of each input, output or reader that changed. Warnings on standard error name "
      "what cannot be withdrawn.");
  CLI::Option* from =
      diff->add_option("--from", options.from, "the site last sent (OLD); - for standard input")
          ->type_name("OLD");
  diff->add_option("--from-messages", options.fromMessages,
                   "the messages last sent (a settings log; - for standard input), read back as "
                   "OLD with ssmsg import")
      ->type_name("SENT")
      ->excludes(from);
  diff->add_option("--to", options.to, "the site to send (NEW); - for standard input")
      ->required()
      ->type_name("NEW");
  AddJobOptions(*diff, options,
                "151 to 177 without the clock (152), which is sent only when named");
  diff->add_flag("--summary", options.summary,
                 "end with one line on standard error: controllers changed, messages written, "
                 "and the messages a full settings of NEW would write");

  CLI::App* ask = app.add_subcommand("ask-settings",
                                     "Writes the request to controller N to report its settings.");
  AddInterface(*ask, options)->required();
  ask->add_option("--node", options.node, "node number N")->required();
  AddFormat(*ask, options);
  AddOutput(*ask, options);

  CLI::App* interface = app.add_subcommand("interface", "Writes an interface control message.");
  interface->require_subcommand(1);
  CLI::App* start = interface->add_subcommand("start", "Starts interface I.");
  AddInterface(*start, options)->required();
  start->add_flag("--main", options.main, "make it the main interface (default: ordinary)");
  start->add_option("--ip", options.ip, "IP address")->required();
  start->add_option("--port", options.port, "IP port")->required();
  CLI::App* stop = interface->add_subcommand("stop", "Stops interface I.");
  AddInterface(*stop, options)->required();
  CLI::App* setNodes =
      interface->add_subcommand("set-nodes", "Tells interface I which nodes to serve.");
  AddInterface(*setNodes, options)->required();
  setNodes->add_option("--add", options.add, "nodes to add, e.g. 1,2,3");
  setNodes->add_option("--timeouts", options.timeouts, "a timeout for each added node");
  setNodes->add_option("--remove", options.remove, "nodes to remove");
  CLI::App* poll = interface->add_subcommand("poll", "Starts and stops polling nodes.");
  AddInterface(*poll, options)->required();
  poll->add_option("--start", options.start, "nodes to start polling, e.g. 1,2,3");
  poll->add_option("--stop", options.stop, "nodes to stop polling");
  for (CLI::App* command : {start, stop, setNodes, poll}) {
    AddFormat(*command, options);
    AddOutput(*command, options);
  }

  CLI::App* validate = app.add_subcommand(
      "validate",
      "Checks a site file: reports every error, and warnings about enumeration values without "
      "text and records that are never sent. Errors give exit status 2.");
  validate->add_option("--config", options.config, kConfigHelp);
  AddJobs(*validate, options);
  CLI::App* demo = app.add_subcommand("demo-site", "Writes the built-in demo site as a site file.");
  AddOutput(*demo, options);
  CLI::App* tasks = app.add_subcommand("tasks", "Lists the settings tasks and what each sends.");

  CLI::App* decode = app.add_subcommand(
      "decode",
      "Reads messages, one per line, and writes each as one line of JSON. A line that is not a "
      "message is reported as FILE:LINE:COLUMN: reason on standard error and the other lines are "
      "still written; then the exit status is 2. Blank lines are skipped; a carriage return "
      "before a line feed is dropped.");
  CLI::App* importSite = app.add_subcommand(
      "import",
      "Reads settings messages, one per line, and writes a site file that makes them: settings "
      "--task L on it writes the same messages again, for any task list L without 152. Nothing "
      "is written when a line is not a message or cannot be applied (exit status 2).");
  for (CLI::App* command : {decode, importSite}) {
    command->add_option("files", options.files, "files to read (standard input for none or -)")
        ->type_name("FILE");
  }
  importSite
      ->add_option("--enums-from", options.enumsFrom,
                   "site file whose enumeration texts are read back besides the built-in ones; "
                   "they are written into the site file too")
      ->type_name("SITE");
  AddOutput(*decode, options);
  AddJobs(*importSite, options);
  AddOutput(*importSite, options);

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
    Complain(error.what());
    std::fprintf(stderr, "Run with --help for more information.\n");
    return kBadInput;
  }

  const int status = [&] {
    if (!options.output.empty() && !output.OpenFile(options.output)) return kCannotWrite;
    if (*settings) return RunSettings(options, *settings, output);
    if (*diff) return RunDiff(options, *diff, output);
    if (*ask) return RunAskSettings(options, output);
    for (CLI::App* command : {start, stop, setNodes, poll}) {
      if (*command) return RunInterface(options, *command, output);
    }
    if (*validate) return RunValidate(options, output);
    if (*demo) {
      const std::optional<CSS_Site> site = LoadSiteOrDemo({}, 1);
      if (!site) return kBadInput;
      output.Write(site->ToJson());
      return kDone;
    }
    if (*tasks) return RunTasks(output);
    if (*decode) return RunDecode(options.files, output);
    if (*importSite) return RunImport(options.files, options.enumsFrom, options.jobs, output);
    return kBadInput;
  }();
  return Conclude(status, output);
}

}  // namespace
}  // namespace ssmsg::tool

int main(int argc, char** argv) {
  // A file-size limit then fails the write (EFBIG), which is reported like any other failed
  // write, instead of killing the tool. SIGPIPE keeps its default: a reader that stops reading
  // ends the tool quietly.
  std::signal(SIGXFSZ, SIG_IGN);
  return ssmsg::tool::Main(argc, argv);
}
