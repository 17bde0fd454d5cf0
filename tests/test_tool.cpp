// The ssmsg tool end to end: it runs as a separate process on real files.

#include <gtest/gtest.h>
#include <simdjson.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>

#include "shell.h"

namespace ssmsg {
namespace {

namespace fs = std::filesystem;

const std::string kTime = " --time 2026-12-04T09:05:07";

using test::ReadFile;

using Result = test::ShellResult;

// Runs the shell commands `script` in `folder` and collects their exit status and output.
Result Shell(const std::string& script, const fs::path& folder = fs::current_path()) {
  // Test processes may run side by side: each has files of its own.
  const std::string stem = "ssmsg_tool_test." + std::to_string(getpid());
  const fs::path out = fs::path(testing::TempDir()) / (stem + ".out");
  const fs::path err = fs::path(testing::TempDir()) / (stem + ".err");
  return test::RunShell(script, folder, out, err);
}

// Runs `ssmsg ARGS` in `folder`; ARGS may redirect the tool's input and output.
// `prefix` goes before the tool's name, e.g. a command that measures it.
Result Tool(const std::string& args, const fs::path& folder = fs::current_path(),
            const std::string& prefix = "") {
  return Shell(prefix + "'" SSMSG_TOOL "' " + args, folder);
}

// A folder of this process's own in the temporary folder, made empty, and removed with the object.
struct TempFolder : fs::path {
  explicit TempFolder(const std::string& name)
      : fs::path(fs::path(testing::TempDir()) / (name + "." + std::to_string(getpid()))) {
    Empty();
  }
  ~TempFolder() { fs::remove_all(*this); }
  void Empty() const {
    fs::remove_all(*this);
    fs::create_directories(*this);
  }
};

// Writes the file `from` to `to` with CR LF line ends, as files written on Windows have them.
void CopyWithCrLf(const fs::path& from, const fs::path& to) {
  std::string text;
  for (const char c : ReadFile(from))
    text += c == '\n' ? "\r\n" : std::string(1, c);
  std::ofstream(to, std::ios::binary) << text;
}

// Each bad site file gives its errors and no output, read by name, from standard input (which
// the errors name "<stdin>") and with CR LF line ends (its errors at the same lines and columns).
TEST(Tool, BadSiteFilesExitTwoWithTheirErrorsAndNoOutput) {
  const fs::path folder = SSMSG_TEST_SITES "/bad";
  const TempFolder crlf("crlf_bad");
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".json") continue;
    const std::string name = entry.path().filename().string();
    const std::string errors = ReadFile(fs::path(entry.path()).replace_extension(".err"));
    CopyWithCrLf(entry.path(), crlf / name);
    std::string stdinErrors = errors;
    for (std::size_t at = 0; (at = stdinErrors.find(name, at)) != std::string::npos;)
      stdinErrors.replace(at, name.size(), "<stdin>");
    const struct {
      std::string config;
      const std::string& expected;
      const fs::path& in;
    } cases[] = {{name, errors, folder}, {"- <" + name, stdinErrors, folder}, {name, errors, crlf}};
    for (const std::string command : {"settings", "validate"}) {
      for (const auto& c : cases) {
        SCOPED_TRACE(command + " " + c.config + " in " + c.in.string());
        const Result result = Tool(command + " --config " + c.config, c.in);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, c.expected);
      }
    }
  }
}

// A bad command line exits 2 and an operation that returns false exits 1; neither writes to
// standard output, and standard error says why.
TEST(Tool, BadCommandLinesAndFalseResultsSayWhyAndWriteNothing) {
  const struct {
    std::string args;
    int status;
    std::string why;
  } cases[] = {
      {"settings --task 150", 2, "150 is not a settings task (151 to 177)"},
      {"settings --node 2", 2, "--node needs --interface"},
      {"settings --config - </", 2,
       test::kToolOnWindows ? "<stdin>: cannot read the file: "
                            : "<stdin>: cannot read the file: Is a directory"},
      {"interface stop --interface 0", 1,
       "interface stop returned false: interface number 0 is below 1"},
      {"interface start --interface -3 --ip 1.2.3.4 --port 1", 1, "interface number -3 is below 1"},
      {"interface poll --interface 1", 1, "no node to start or stop"},
      {"interface set-nodes --interface 1 --timeouts 5", 1, "no node to add or remove"},
      {"interface set-nodes --interface 0 --add 5", 1, "interface number 0 is below 1"},
      {"interface set-nodes --interface 0 --remove 5", 1, "interface number 0 is below 1"},
      {"ask-settings --interface 1 --node -1", 1, "node -1 is below 0"},
  };
  for (const auto& c : cases) {
    const Result result = Tool(c.args);
    EXPECT_EQ(result.status, c.status) << c.args;
    EXPECT_EQ(result.out, "") << c.args;
    EXPECT_TRUE(test::Contains(result.err, c.why)) << c.args;
  }
  // Bad command lines whose reason is not checked here, only that there is one.
  for (const std::string args :
       {"", "bogus", "settings --task 161,178", "settings --task 161,,162", "settings --task none",
        "settings --interface 9", "settings --interface 1 --node 99", "settings --interface x",
        "settings --format xml", "settings --config no-such-site.json", "settings --config - <&-",
        "settings --unknown", "settings --jobs 0", "settings --jobs 1025",
        // --time takes YYYY-MM-DDTHH:MM:SS of a real date and time; the calendar is tested alone.
        "settings --time 2026-02-29T00:00:00", "settings --time '2026-12-04 23:59:59'",
        "settings --time 2026-12-04", "settings --time 2026-12-04T-1:00:00",
        "settings --time 2026-1x-04T00:00:00", "settings --time +026-12-04T01:00:00",
        "ask-settings --interface 1", "interface", "interface start --interface 1 --ip 10.0.0.1",
        "interface set-nodes --interface 1 --add 1,-2",
        "interface poll --interface 1 --start 4294967296", "validate --config no-such-site.json"}) {
    const Result result = Tool(args);
    EXPECT_EQ(result.status, 2) << args;
    EXPECT_EQ(result.out, "") << args;
    EXPECT_NE(result.err, "") << args;
  }
}

// A word that names no subcommand where one is required is named, with the nearest subcommand
// of that level when one is at most two edits away and closer than the word is long.
TEST(Tool, UnknownSubcommandIsNamedWithTheNearestOne) {
  const struct {
    std::string args;
    std::string said;  // after "ssmsg: "
  } cases[] = {
      {"reprot", R"(unknown subcommand "reprot"; did you mean "report"?)"},
      {"rpeotr", R"(unknown subcommand "rpeotr"; did you mean "report"?)"},  // two swaps, two edits
      {"erpotr", R"(unknown subcommand "erpotr"; did you mean "report"?)"},  // one at the start
      {"setings --task 161", R"(unknown subcommand "setings"; did you mean "settings"?)"},
      {"Diff", R"(unknown subcommand "Diff"; did you mean "diff"?)"},
      {"decodee -", R"(unknown subcommand "decodee"; did you mean "decode"?)"},
      {"interface strat --interface 1", R"(unknown subcommand "strat"; did you mean "start"?)"},
      {"interface sotp", R"(unknown subcommand "sotp"; did you mean "stop"?)"},
      {"interface settings", R"(unknown subcommand "settings")"},  // not one of interface's
      {"xyzzy", R"(unknown subcommand "xyzzy")"},
      {"rmport", R"(unknown subcommand "rmport"; did you mean "import"?)"},  // report is as near
      {"interface st", R"(unknown subcommand "st")"},  // two edits from "stop", but two letters
      {"", "A subcommand is required"},
      {"interface", "A subcommand is required"},
      {"--bogus", "A subcommand is required"},  // an option is not taken for a subcommand
      {"settings reprot", "The following argument was not expected: reprot"},
  };
  for (const auto& c : cases) {
    const Result result = Tool(c.args);
    EXPECT_EQ(result.status, 2) << c.args;
    EXPECT_EQ(result.out, "") << c.args;
    EXPECT_EQ(result.err, "ssmsg: " + c.said + "\nRun with --help for more information.\n")
        << c.args;
  }
}

// Messages made from the command line alone: the interface messages, the settings request, and
// the clock at the --time given.
TEST(Tool, InterfaceMessagesTheSettingsRequestAndTheClock) {
  const std::string head =
      "<Command><InterfaceID>2</InterfaceID><MessageType>Interface</MessageType>";
  const std::string start = head +
                            "<Action>Start</Action><Parameters><Type>Main</Type><IP_Address>"
                            "10.0.0.1</IP_Address><IP_Port>3001</IP_Port><Settings>True"
                            "</Settings></Parameters></Command>\n";
  const std::pair<std::string, std::string> cases[] = {
      {"interface start --interface 2 --main --ip 10.0.0.1 --port 3001", start},
      {"interface start --interface 2 --ip 10.0.0.1 --port 3001",
       std::string(start).replace(start.find("Main"), 4, "Ordinary")},
      {"interface poll --interface 2 --start 1,2 --stop 4294967295",
       head + "<Action>Poll</Action><Parameters><Start>1,2</Start><Stop>-1</Stop></Parameters>"
              "</Command>\n"},
      {"interface set-nodes --interface 2 --add 3,4 --timeouts 500 --remove 9",
       head + "<Action>SetNodes</Action><Parameters><Add>3,4</Add><Timeout>500,0</Timeout>"
              "<Remove>9</Remove></Parameters></Command>\n"},
      {"interface stop --interface 2 --format json",
       "[\n{\"interface\": 2, \"message\": \"" + head + "<Action>Stop</Action></Command>\"}\n]\n"},
      {"settings --task 152 --interface 1 --node 2 --time 2000-02-29T23:59:59",
       test::Msg("SystemData", "SetRTC",
                 "<Year>2000</Year><Month>2</Month><Day>29</Day><Hour>23"
                 "</Hour><Minute>59</Minute><Second>59</Second>") +
           "\n"},
      {"ask-settings --interface 1 --node 5 --format json",
       "[\n{\"interface\": 1, \"node\": 5, \"message\": \"" +
           test::Msg("Controller", "AskSettings", {}, 1, 5) + "\"}\n]\n"},
  };
  for (const auto& [args, out] : cases) {
    const Result result = Tool(args);
    EXPECT_EQ(result.status, 0) << args;
    EXPECT_EQ(result.out, out) << args;
  }
}

// The demo site's messages are the reviewed golden ones whichever way the site comes in and
// however many threads build it; the JSON form carries the same messages, each with its
// controller and task, controllers in file order and tasks ascending. A task list runs in the
// order given, for the controllers selected.
TEST(Tool, SettingsOfTheDemoSiteAreTheGoldenOnes) {
  const std::string demo = SSMSG_SOURCE_DIR "/site/demo_site.json";
  const std::string golden = ReadFile(SSMSG_GOLDEN "/demo_settings.txt");
  // tests/sites/demo_site.db is `ssmsg convert site/demo_site.json` of schema version 1, which is
  // still read as it is; made again (and set back to version 1) when the demo site changes.
  for (const std::string& args :
       {std::string("settings --jobs 1"), "settings --config '" + demo + "' --jobs 7",
        "settings --config - <'" + demo + "'",
        std::string("settings --config " SSMSG_SOURCE_DIR "/tests/sites/demo_site.db")}) {
    const Result result = Tool(args + kTime);
    EXPECT_EQ(result.status, 0) << args << result.err;
    EXPECT_EQ(result.out, golden) << args;
  }
  const Result json = Tool("settings --format json --jobs 2" + kTime);
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(json.out, ReadFile(SSMSG_GOLDEN "/demo_settings.json"));
  std::string lines;
  std::map<std::int64_t, std::string> ofNode2;  // by task
  std::int64_t lastNode = -1, lastTask = 0;
  simdjson::dom::parser parser;
  for (const simdjson::dom::object object : parser.parse(json.out).get_array()) {
    const std::int64_t node = object["node"], task = object["task"];
    EXPECT_EQ(std::int64_t(object["interface"]), 1);
    EXPECT_TRUE(node > lastNode || (node == lastNode && task >= lastTask)) << node << "/" << task;
    lastNode = node, lastTask = task;
    const std::string message = std::string(std::string_view(object["message"])) + "\n";
    lines += message;
    if (node == 2) ofNode2[task] += message;
  }
  EXPECT_EQ(lines, golden);
  ASSERT_NE(ofNode2[161], "");
  const Result some = Tool("settings --task 177,161,151,161 --interface 1 --node 2 --jobs 3");
  EXPECT_EQ(some.status, 0);
  EXPECT_EQ(some.out, ofNode2[177] + ofNode2[161] + ofNode2[161]);
}

// The report of a small site against an older one is the reviewed golden page: changed, new and
// removed records and a removed controller, warnings linked to their rows, zones that cross
// midnight or overlap, a zone the controller lacks, input timing, and holidays on the first and
// last days of the year, on 29 February and on dates that are no calendar day.
TEST(Tool, ReportOfTheGoldenSitesIsTheGoldenPage) {
  const Result result =
      Tool("report --config report_new.json --diff-from report_old.json --jobs 2", SSMSG_GOLDEN);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, ReadFile(SSMSG_GOLDEN "/report.html"));
  // A golden page is reviewed by eye, a link's target is not: every link leads somewhere.
  const std::string& page = result.out;
  for (std::size_t at = page.find("href=\"#"); at != std::string::npos;
       at = page.find("href=\"#", at + 1)) {
    const std::size_t from = at + 7;
    const std::string id = page.substr(from, page.find('"', from) - from);
    EXPECT_NE(page.find("id=\"" + id + "\""), std::string::npos) << "#" << id;
  }
}

TEST(Tool, InformationCommands) {
  for (const auto& [args, out] :
       {std::pair{"demo-site", ReadFile(SSMSG_SOURCE_DIR "/site/demo_site.json")},
        {"--version", "ssmsg " SSMSG_VERSION "\n"},
        {"validate", "demo site: valid, 2 controllers, 0 warnings\n"}}) {
    const Result result = Tool(args);
    EXPECT_EQ(result.status, 0) << args;
    EXPECT_EQ(result.out, out) << args;
  }
  Result result = Tool("tasks");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 27);
  EXPECT_EQ(result.out.rfind("151  nothing\n", 0), 0u);

  // Each subcommand's help begins with its own description, whose lines in the tool's table are
  // joined by single blanks.
  const std::pair<std::string, std::string> helps[] = {
      {"", "Builds the XML command messages"},
      {"settings",
       "Writes every settings message of the site's controllers, controller by "
       "controller in file order and task by task in the order given.\n"},
      {"ask-settings", "Writes the request to controller N to report its settings.\n"},
      {"interface", "Writes an interface control message.\n"},
      {"interface start", "Starts interface I.\n"},
      {"interface stop", "Stops interface I.\n"},
      {"interface set-nodes", "Tells interface I which nodes to serve.\n"},
      {"interface poll", "Starts and stops polling nodes.\n"},
      {"validate", "Checks a site file: reports every error, and warnings about enumeration "},
      {"demo-site", "Writes the built-in demo site as a site file.\n"},
      {"tasks", "Lists the settings tasks and what each sends.\n"},
      {"diff", "Writes the settings messages that bring the controllers of site OLD to site NEW"},
      {"decode", "Reads messages, one per line, and writes each as one line of JSON. A line "},
      {"import",
       "Reads settings messages, one per line, and writes a site file that makes "
       "them: settings --task L on it"},
      {"report", "Writes an HTML report of a site: an overview of its controllers, and for each"},
      {"schema",
       "Writes the SQL that makes an empty site database (its tables, one column per "
       "key of the site file"},
      {"convert", "Converts a site file to a site database or a database to a site file. IN is "},
      {"migrate",
       "Brings a site database of an older schema version up to this ssmsg's version, "
       "in one transaction;"},
  };
  for (const auto& [command, description] : helps) {
    result = Tool(command + " --help");
    EXPECT_EQ(result.status, 0) << command;
    EXPECT_EQ(result.out.rfind(description, 0), 0U) << command << ":\n" << result.out;
    EXPECT_NE(result.out.find("Usage:"), std::string::npos) << command;
    EXPECT_EQ(result.err, "") << command;
  }
}

// diff between the demo site and itself with one input renamed and one holiday dropped: only the
// renamed input's name pieces and the whole holiday list are sent, also from the messages that
// the demo site made; the clock only when named; and a controller that is no longer in the site
// is named on standard error.
TEST(Tool, DiffSendsWhatChanged) {
  const TempFolder folder("ssmsg_diff");
  std::string site = ReadFile(SSMSG_SOURCE_DIR "/site/demo_site.json");
  site.replace(site.find("Lobby intercom"), 14, "Lobby intercom, east wing");
  site.replace(site.find("{ \"Month\": 5, \"Day\": 1 },\n"), 28, "");
  std::ofstream(folder / "new.json") << site;
  const std::string diff = "diff --from " SSMSG_SOURCE_DIR "/site/demo_site.json --to new.json";
  Result result = Tool(diff + kTime + " --summary", folder);
  EXPECT_EQ(result.status, 0);
  const auto count = [&result](std::string_view text) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = result.out.find(text, at)) != std::string::npos; ++at)
      ++n;
    return n;
  };
  EXPECT_EQ(count("\n"), 7u);
  EXPECT_EQ(count("<Node>1</Node></Parameters></Command>\n<Command>"), 1u);  // HolidayClearAll
  EXPECT_EQ(count("<HolidayNumber>3</HolidayNumber><Month>12</Month><Day>26</Day>"), 1u);
  EXPECT_EQ(count("<Input>5</Input><Column>21</Column><Name> wing</Name>"), 1u);
  EXPECT_EQ(result.err,
            "ssmsg: diff: 1 controller changed, 7 messages written; a full settings would write "
            "129 messages\n");
  // The messages last sent, read back, stand for the site that made them.
  const std::string fromSent =
      "settings >sent.txt && '" SSMSG_TOOL "' diff --from-messages sent.txt --to new.json";
  EXPECT_EQ(Tool(fromSent, folder).out, result.out);
  result = Tool(diff + kTime + " --task 152", folder);
  EXPECT_EQ(count("\n"), 2u);
  EXPECT_EQ(count("<Action>SetRTC</Action>"), 2u);

  // One bad site of the two is enough to send nothing, and so is a bad selection.
  for (const std::string sites :
       {"--from new.json --to missing.json", "--from missing.json --to new.json",
        "--from new.json --to " SSMSG_SOURCE_DIR "/site/demo_site.json --node 2"}) {
    result = Tool("diff " + sites, folder);
    EXPECT_EQ(result.status, 2) << sites;
    EXPECT_EQ(result.out, "") << sites;
  }
  result = Tool("diff --from new.json --to " SSMSG_TEST_SITES "/../golden/empty_site.json", folder);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "warning: interface 1, node 1: no longer in the site; nothing is sent to it\n"
            "warning: interface 1, node 2: no longer in the site; nothing is sent to it\n");
}

// Output that cannot be written is never lost silently: the tool stops and says why in one line.
TEST(Tool, UnwritableOutputExitsThree) {
  const std::string line = std::string("ssmsg: cannot write the output: ") + std::strerror(ENOSPC);
  for (const std::string args :
       {"settings", "settings --format json", "ask-settings --interface 1 --node 5",
        "diff --from - --to " SSMSG_SOURCE_DIR "/site/demo_site.json <'" SSMSG_TEST_SITES
        "/../golden/empty_site.json'",
        "interface poll --interface 1 --start 2", "demo-site", "tasks", "validate", "--help",
        "decode '" SSMSG_GOLDEN "/demo_settings.txt'", "import /dev/null", "report"}) {
    const Result result = Tool(args + " >/dev/full");
    EXPECT_EQ(result.status, 3) << args;
    EXPECT_EQ(result.err, line + "\n") << args;
  }
}

// A reader that stops early ends the tool by SIGPIPE, as it ends any filter, without a complaint.
// Windows has no signals: there the tool says that the pipe broke and exits 3.
TEST(Tool, ClosedPipeEndsTheToolQuietly) {
  std::string tasks = "151";  // every task 30 times: about 1 MB, far more than a pipe holds
  for (int i = 1; i < 30 * 27; ++i)
    tasks += "," + std::to_string(151 + i % 27);
  // Children inherit an ignored SIGPIPE, and a shell cannot restore it.
  const auto previous = std::signal(SIGPIPE, SIG_DFL);
  const Result result = Shell("exec 3>&1; { '" SSMSG_TOOL "' settings --task " + tasks +
                              "; echo $? >&3; } | head -c 10 >/dev/null");
  std::signal(SIGPIPE, previous);
  EXPECT_EQ(result.out, test::kToolOnWindows ? "3\n" : std::to_string(128 + SIGPIPE) + "\n");
  EXPECT_EQ(result.err,
            test::kToolOnWindows ? "ssmsg: cannot write the output: Broken pipe\n" : "");
}

// --output replaces its file only with all of what standard output would have had, and only after
// status 0 or 1; the file keeps its permissions and no temporary file is left behind.
TEST(Tool, OutputFileIsReplacedOnlyByAWholeRun) {
  const TempFolder folder("ssmsg_tool_test.output");
  const fs::path file = folder / "out";
  const mode_t umaskBits = umask(0);
  umask(umaskBits);
  const struct {
    std::string args;
    std::string prefix;  // before the tool's name
    bool existing;       // the file is there before the run, with mode 0640
    int status;
  } cases[] = {
      {"settings --config '" SSMSG_TEST_SITES "/bad/enums.json'", "", true, 2},
      {"settings" + kTime, "ulimit -f 1 && ", true, 3},  // the file grows past the limit
      {"settings" + kTime, "", true, 0},
      {"interface poll --interface 1", "", true, 1},  // returns false and writes nothing
      {"demo-site", "", false, 0},
  };
  for (const auto& c : cases) {
    if (test::kToolOnWindows && !c.prefix.empty()) continue;  // no file-size limit there
    folder.Empty();
    if (c.existing) {
      std::ofstream(file) << "old\n";
      fs::permissions(file, fs::perms{0640});
    }
    const Result expected = Tool(c.args);
    const Result result = Tool(c.args + " --output out", folder, c.prefix);
    EXPECT_EQ(result.status, c.status) << c.args;
    EXPECT_EQ(result.out, "") << c.args;
    EXPECT_EQ(result.err,
              c.status == 3 ? "ssmsg: cannot write the output: File too large\n" : expected.err)
        << c.args;
    const bool replaced = c.status < 2;
    ASSERT_EQ(fs::exists(file), replaced || c.existing) << c.args;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), fs::exists(file) ? 1 : 0)
        << c.args;
    if (!fs::exists(file)) continue;
    EXPECT_EQ(ReadFile(file), replaced ? expected.out : "old\n") << c.args;
    if (!test::kToolOnWindows) {  // a new file there gets its folder's access rights
      EXPECT_EQ(fs::status(file).permissions(), fs::perms(c.existing ? 0640 : 0666 & ~umaskBits))
          << c.args;
    }
  }
  // A standard output closed before the tool started is no loss when --output takes everything.
  folder.Empty();
  const Result closed = Tool("settings" + kTime + " --output out >&-", folder);
  EXPECT_EQ(closed.status, 0);
  EXPECT_EQ(closed.err, "");
  const std::string expected = Tool("settings" + kTime).out;
  ASSERT_NE(expected, "");
  EXPECT_EQ(ReadFile(file), expected);
}

// A 100 MB file of nothing but mistakes: the tool reports the first hundred and stops, its memory
// staying near the size of the file however many mistakes follow.
TEST(Tool, HugeFileOfMistakesStaysBounded) {
  const TempFolder folder("huge");
  const fs::path file = folder / "huge.json";
  {
    std::ofstream out(file, std::ios::binary);
    std::string block;
    for (int i = 0; i < 4096; ++i)
      block += "{ \"X\": 1 }, ";
    out << "{ \"Controllers\": [ ";
    for (std::size_t written = 0; written < (std::size_t{100} << 20); written += block.size())
      out << block;
    out << "{} ] }\n";
  }
  const fs::path memory = folder / "huge.kb";
  const Result result = Tool("validate --config '" + file.string() + "'", fs::current_path(),
                             "/usr/bin/time -f %M -o '" + memory.string() + "' ");
  // The last line is the peak memory in kilobytes; a line before it may say how the tool exited.
  std::string maxKb = ReadFile(memory);
  while (!maxKb.empty() && maxKb.back() == '\n')
    maxKb.pop_back();
  maxKb.erase(0, maxKb.find_last_of('\n') + 1);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 101);
  EXPECT_TRUE(
      test::Contains(result.err, ": more than 100 errors, the rest of the file is not checked\n"));
  ASSERT_FALSE(maxKb.empty());
  EXPECT_LT(std::stol(maxKb), 1024 * 1024) << "kilobytes";
}

// decode: every message as one line of JSON; a bad line on standard error, the others still
// written; blank lines skipped, CR LF line ends read as line feeds, and lines of any length.
TEST(Tool, DecodeWritesJsonLinesAndReportsBadLines) {
  const TempFolder folder("decode");
  const std::string clear = test::Msg("Inputs", "InputClearAll");
  std::ofstream(folder / "in.txt") << clear << "\n \n<Command>\n" << clear << "\r\n";
  const std::string json =
      R"({"interface":1,"messageType":"Inputs","action":"InputClearAll","node":2,"parameters":{}})"
      "\n";
  for (const auto& [args, name] :
       {std::pair{"decode in.txt", "in.txt"}, std::pair{"decode - <in.txt", "<stdin>"}}) {
    const Result result = Tool(args, folder);
    EXPECT_EQ(result.status, 2) << args;
    EXPECT_EQ(result.out, json + json) << args;
    EXPECT_EQ(result.err, std::string(name) + ":3:10: expected <InterfaceID> after <Command>\n");
  }
  // A line longer than the reading buffer, the last one without a line feed, is read whole.
  const std::string name(3 << 20, 'n');
  std::ofstream(folder / "long.txt") << test::Msg(
      "Inputs", "InputName", "<Input>1</Input><Column>0</Column><Name>" + name + "</Name>");
  const Result longLine = Tool("decode long.txt", folder);
  EXPECT_EQ(longLine.status, 0);
  EXPECT_TRUE(longLine.out == R"({"interface":1,"messageType":"Inputs","action":"InputName",)"
                              R"("node":2,"parameters":{"Input":1,"Column":0,"Name":")" +
                                  name + "\"}}\n");
  const Result missing = Tool("decode no-such.txt", folder);
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err.rfind("ssmsg: no-such.txt: cannot read the file: ", 0), 0u);
}

// import: the site file or database it writes (here with the texts of --enums-from) makes the
// same messages again; the clock message is skipped with a note; a bad line writes nothing.
TEST(Tool, ImportWritesTheSiteThatMakesTheMessages) {
  const TempFolder folder("import");
  const std::string tasks = std::string("--task ") + test::kTasksButClock;
  // Into a site file, and into a database for the name's extension.
  for (const std::string site : {"site.json", "site.db"}) {
    const Result result =
        Tool("settings " + tasks +
                 " >sent.txt && '" SSMSG_TOOL "' import sent.txt --enums-from " SSMSG_SOURCE_DIR
                 "/site/demo_site.json --output " +
                 site + " && '" SSMSG_TOOL "' settings --config " + site + " " + tasks +
                 " | cmp - sent.txt",
             folder);
    EXPECT_EQ(result.status, 0) << site << ": " << result.err;
    EXPECT_EQ(result.err, "") << site;
  }
  EXPECT_EQ(ReadFile(folder / "site.db").substr(0, 15), "SQLite format 3");

  Result result = Tool("import <'" SSMSG_GOLDEN "/demo_settings.txt'", folder);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err,
            "ssmsg: import: skipped 2 SystemData SetRTC messages, which carry no configuration\n");

  std::ofstream(folder / "bad.txt") << "<Command>\n";
  for (const std::string args :
       {"import sent.txt bad.txt", "import sent.txt --enums-from no-such.json"}) {
    result = Tool(args, folder);
    EXPECT_EQ(result.status, 2) << args;
    EXPECT_EQ(result.out, "") << args;
  }
  result = Tool("import bad.txt", folder);
  EXPECT_EQ(result.err, "bad.txt:1:10: expected <InterfaceID> after <Command>\n");
}

// Files written on Windows end their lines with CR LF: a site file or a message log is read as
// if they were line feeds. (Bad site files with CR LF:
// BadSiteFilesExitTwoWithTheirErrorsAndNoOutput.)
TEST(Tool, CrLfLineEndsReadAsLineFeeds) {
  const TempFolder folder("crlf");
  CopyWithCrLf(SSMSG_SOURCE_DIR "/site/demo_site.json", folder / "site.json");
  CopyWithCrLf(SSMSG_GOLDEN "/demo_settings.txt", folder / "sent.txt");
  for (const auto& [crlf, lf] : {
           std::pair{"settings --config site.json" + kTime, "settings" + kTime},
           std::pair{std::string("import sent.txt"),
                     std::string("import '" SSMSG_GOLDEN "/demo_settings.txt'")},
       }) {
    const Result expected = Tool(lf, folder);
    const Result result = Tool(crlf, folder);
    EXPECT_EQ(result.status, 0) << crlf << result.err;
    ASSERT_GT(expected.out.size(), 1000u) << lf;
    EXPECT_TRUE(result.out == expected.out) << crlf;
  }
}

// File names are UTF-8 on every system; on Windows the tool takes its arguments, and gives the
// system its file names, as UTF-16.
TEST(Tool, FileNamesBeyondAscii) {
  const TempFolder folder("names");
  fs::copy_file(SSMSG_SOURCE_DIR "/site/demo_site.json", folder / u8"Büro.json");
  // Both settings runs send the same clock: without --time, a second may pass between them.
  const Result result =
      Tool("convert Büro.json Zählung.db && '" SSMSG_TOOL
           "' settings --config Zählung.db --output Übersicht.txt" +
               kTime + " && '" SSMSG_TOOL "' settings --config Büro.json" + kTime +
               " | cmp - Übersicht.txt && '" SSMSG_TOOL "' validate --config Straße.json",
           folder);
  EXPECT_EQ(result.status, 2) << result.err;
  EXPECT_EQ(result.err, "Straße.json: cannot read the file: No such file or directory\n");
  EXPECT_GT(fs::file_size(folder / u8"Übersicht.txt"), 1000u);
}

}  // namespace
}  // namespace ssmsg
