// The subcommands about a site: settings, diff, validate, demo-site and tasks.

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <ssmsg/CSS_Manager.h>
#include <ssmsg/CSToolEnum.h>
#include <ssmsg/Site.h>
#include <ssmsg/SiteDiff.h>
#include <ssmsg/SiteSettings.h>

#include "command.h"
#include "readback.h"

namespace ssmsg::tool {
namespace {

// What settings and diff share: which controllers, which tasks, the clock's time, the jobs and
// how the messages are written.
struct JobOptions {
  std::int32_t interfaceId = 0;
  std::int32_t node = 0;
  std::string tasks = "all";
  std::string time;
  unsigned jobs = DefaultJobs();
  Format format = Format::Lines;
  std::string output;
};

// The options of settings and diff: the selection, the tasks (`tasks` says what they are when
// not given), the time, the jobs and the output.
void AddJobOptions(CLI::App& command, JobOptions& options, const std::string& tasks) {
  AddInterface(command, options.interfaceId)->description("only the controllers on interface I");
  command.add_option("--node", options.node, "only the controller at node N (needs --interface)");
  command.add_option("--task", options.tasks,
                     "comma-separated task numbers 151 to 177, or all (151 to 177 ascending); "
                     "default: " +
                         tasks);
  command.add_option("--time", options.time,
                     "local date and time YYYY-MM-DDTHH:MM:SS that the clock message sends "
                     "(default: the machine's local time)");
  AddJobs(command, options.jobs);
  AddFormat(command, options.format);
  AddOutput(command, options.output);
}

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

// What settings and diff were asked for: the controllers chosen, the tasks and the clock's time.
struct JobRequest {
  CSS_Selection selection;
  std::optional<std::vector<ApplicationManagerTask>> tasks;  // none: --task was not given
  std::optional<std::tm> time;
};

// Says why `selection` selects no controller of `sites`; whether it selects some.
bool Selects(const std::string& command, const CSS_Selection& selection,
             std::initializer_list<const CSS_Site*> sites) {
  const CSS_SelectionProblem problem = CheckSelection(selection, sites);
  if (problem.kind == CSS_SelectionProblem::Kind::None) return true;
  Complain(command + ": " +
           (problem.kind == CSS_SelectionProblem::Kind::NodeWithoutInterface
                ? std::string("--node needs --interface")
                : problem.text));
  return false;
}

// Reads the selection, --task and --time of `command`; nothing (after saying why) when one of
// them is wrong.
std::optional<JobRequest> ReadJobRequest(const JobOptions& options, const CLI::App& command) {
  JobRequest request;
  if (command.count("--interface") > 0) request.selection.interfaceId = options.interfaceId;
  if (command.count("--node") > 0) request.selection.node = options.node;
  if (!Selects(command.get_name(), request.selection, {})) return std::nullopt;
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
    const auto row = static_cast<std::size_t>(failure.task - kFirstSettingsTask);
    const std::string_view sends = CSS_Manager::TaskTable()[row].sends;
    Complain("task " + std::to_string(failure.task) + " (" + std::string(sends) +
             ") returned false for interface " + std::to_string(failure.address.interfaceId) +
             ", node " + std::to_string(failure.address.node));
  }
  return failures.empty() ? kDone : kFailed;
}

// Writes each message that a job hands on.
CSS_MessageSink WriteTo(MessageWriter& writer) {
  return [&writer](const CSS_SiteMessage& m) {
    return writer.Write(m.address.interfaceId, m.address.node, m.task, m.text);
  };
}

struct SettingsOptions : JobOptions {
  std::string config;
};

int RunSettings(const SettingsOptions& options, const CLI::App& command, Output& output) {
  const std::optional<JobRequest> request = ReadJobRequest(options, command);
  if (!request) return kBadInput;
  const std::optional<CSS_Site> site = LoadSiteOrDemo(options.config, options.jobs);
  if (!site) return kBadInput;

  if (!Selects("settings", request->selection, {&*site})) return kBadInput;
  CSS_SettingsOptions job;
  job.jobs = options.jobs;
  job.selection = request->selection;
  job.tasks = request->tasks.value_or(std::vector<ApplicationManagerTask>());
  job.time = request->time;

  MessageWriter writer(options.format, output);
  // Writing stops the job at the first failed write: there is no use making what cannot be
  // written.
  const CSS_SettingsResult result = MakeSiteSettings(*site, job, WriteTo(writer));
  if (result.stopped) return kCannotWrite;
  writer.Finish();
  return ReportFailures(result.failures);
}

struct DiffOptions : JobOptions {
  std::string from, to;      // the two sites
  std::string fromMessages;  // what was sent, read back
  bool summary = false;
};

int RunDiff(const DiffOptions& options, const CLI::App& command, Output& output) {
  if (options.from.empty() == options.fromMessages.empty()) {
    Complain("diff: give the site last sent with --from, or its messages with --from-messages");
    return kBadInput;
  }
  const std::optional<JobRequest> request = ReadJobRequest(options, command);
  if (!request) return kBadInput;
  CSS_DiffOptions diff;
  diff.jobs = options.jobs;
  diff.selection = request->selection;
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
  if (!Selects("diff", diff.selection, {&*old, &*current})) return kBadInput;

  MessageWriter writer(options.format, output);
  const CSS_DiffResult result = MakeSiteDiff(*old, *current, diff, WriteTo(writer));
  if (result.stopped) return kCannotWrite;
  writer.Finish();
  for (const std::string& warning : result.warnings)
    std::fprintf(stderr, "warning: %s\n", warning.c_str());
  if (options.summary) {
    Complain("diff: " + Count(result.controllersChanged, "controller") + " changed, " +
             Count(result.messagesWritten, "message") + " written; a full settings would write " +
             Count(result.messagesFull, "message"));
  }
  return ReportFailures(result.failures);
}

struct ValidateOptions {
  std::string config;
  unsigned jobs = DefaultJobs();
};

int RunValidate(const ValidateOptions& options, const CLI::App&, Output& output) {
  const std::optional<CSS_Site> site = LoadSiteOrDemo(options.config, options.jobs);
  if (!site) return kBadInput;
  CSToolEnum enums;
  site->LoadEnumTexts(enums);
  const std::vector<std::string> warnings = site->Warnings(enums);
  for (const std::string& warning : warnings) {
    std::fprintf(stderr, "warning: %s\n", warning.c_str());
  }
  output.Write(site->FileName() + ": valid, " + Count(site->ControllerCount(), "controller") +
               ", " + Count(warnings.size(), "warning") + "\n");
  return kDone;
}

struct DemoSiteOptions {
  std::string output;
};

int RunDemoSite(const DemoSiteOptions&, const CLI::App&, Output& output) {
  const std::optional<CSS_Site> site = LoadSiteOrDemo({}, 1);
  if (!site) return kBadInput;
  output.Write(site->ToJson());
  return kDone;
}

struct NoOptions {};

int RunTasks(const NoOptions&, const CLI::App&, Output& output) {
  std::string text;
  for (const CSS_TaskInfo& info : CSS_Manager::TaskTable()) {
    text += std::to_string(info.task) + "  ";
    text.append(info.sends) += '\n';
  }
  output.Write(text);
  return kDone;
}

}  // namespace

void AddSettingsCommand(CLI::App& app, CSS_Chosen& chosen) {
  const auto [settings, options] =
      AddCommand<SettingsOptions>(app, "settings", chosen, RunSettings);
  AddConfig(*settings, options->config);
  AddJobOptions(*settings, *options, "all; see the tasks subcommand");
}

void AddDiffCommand(CLI::App& app, CSS_Chosen& chosen) {
  const auto [diff, options] = AddCommand<DiffOptions>(app, "diff", chosen, RunDiff);
  CLI::Option* from =
      diff->add_option("--from", options->from, "the site last sent (OLD); - for standard input")
          ->type_name("OLD");
  diff->add_option("--from-messages", options->fromMessages,
                   "the messages last sent (a settings log; - for standard input), read back as "
                   "OLD with ssmsg import")
      ->type_name("SENT")
      ->excludes(from);
  diff->add_option("--to", options->to, "the site to send (NEW); - for standard input")
      ->required()
      ->type_name("NEW");
  AddJobOptions(*diff, *options,
                "151 to 177 without the clock (152), which is sent only when named");
  diff->add_flag("--summary", options->summary,
                 "end with one line on standard error: controllers changed, messages written, "
                 "and the messages a full settings of NEW would write");
}

void AddValidateCommand(CLI::App& app, CSS_Chosen& chosen) {
  const auto [validate, options] =
      AddCommand<ValidateOptions>(app, "validate", chosen, RunValidate);
  AddConfig(*validate, options->config);
  AddJobs(*validate, options->jobs);
}

void AddDemoSiteCommand(CLI::App& app, CSS_Chosen& chosen) {
  const auto [demo, options] = AddCommand<DemoSiteOptions>(app, "demo-site", chosen, RunDemoSite);
  AddOutput(*demo, options->output);
}

void AddTasksCommand(CLI::App& app, CSS_Chosen& chosen) {
  AddCommand<NoOptions>(app, "tasks", chosen, RunTasks);
}

}  // namespace ssmsg::tool
