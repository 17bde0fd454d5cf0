// Message building benchmarks: every settings task on a large controller and one full
// configuration, built by the library, by two general-purpose XML libraries replaying the same
// messages, and by the floor (the same bytes appended straight into a reserved string). Each
// contestant's output is checked byte for byte against the library's before anything is timed.
// After the runs one line per comparison gives the ratio of the median times.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSS_Clock.h>
#include <ssmsg/CSS_Manager.h>
#include <ssmsg/Message.h>
#include "bench/alloc_count.h"
#include "bench/large_controller.h"
#include "bench/peers.h"
#include "bench/recipe.h"

namespace ssmsg::bench {
namespace {

constexpr int kInterface = 1;
constexpr int kNode = 2;

// One thing to measure: some settings tasks and the messages they make on the large controller.
struct Case {
  std::string key;    // benchmark name prefix: "full", "task161"
  std::string label;  // for the summary: "task 161"
  std::string about;  // what it sends
  std::vector<ApplicationManagerTask> tasks;
  CSS_StringList messages;
  RecipeBook recipes;
  std::size_t bytes = 0;
};

// The contestants, in the order of the summary.
enum class Writer { kSsmsg, kFloor, kPugixml, kTinyxml2 };
constexpr Writer kWriters[] = {Writer::kSsmsg, Writer::kFloor, Writer::kPugixml, Writer::kTinyxml2};

const char* WriterName(Writer writer) {
  switch (writer) {
    case Writer::kSsmsg:
      return "ssmsg";
    case Writer::kFloor:
      return "floor";
    case Writer::kPugixml:
      return "pugixml";
    case Writer::kTinyxml2:
      return "tinyxml2";
  }
  return "";
}

// Makes the messages of `c` with `writer`, appending them to `out`. The peers keep their document
// between calls, as a user building many messages would.
class Contestant {
 public:
  Contestant(Writer writer, const Case& c) : writer_(writer), case_(c) {
    if (writer == Writer::kPugixml) peer_ = MakePugixmlWriter();
    if (writer == Writer::kTinyxml2) peer_ = MakeTinyxml2Writer();
  }

  void Run(CSS_StringList& out) {
    switch (writer_) {
      case Writer::kSsmsg:
        for (const ApplicationManagerTask task : case_.tasks) {
          manager_.MakeSendSettings(task, kInterface, kNode, out);
        }
        break;
      case Writer::kFloor:
        for (std::size_t i = 0; i < case_.recipes.Count(); ++i) {
          out.push_back(WriteDirect(case_.recipes, i));
        }
        break;
      default:
        peer_->Write(case_.recipes, out);
    }
  }

 private:
  Writer writer_;
  const Case& case_;
  CSS_Manager manager_;
  std::unique_ptr<PeerWriter> peer_;
};

void Measure(benchmark::State& state, Writer writer, const Case& c) {
  Contestant contestant(writer, c);
  const std::uint64_t allocationsBefore = AllocationCount();
  for (auto _ : state) {
    CSS_StringList out;
    contestant.Run(out);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  const std::uint64_t allocations = AllocationCount() - allocationsBefore;
  const auto iterations = static_cast<std::int64_t>(state.iterations());
  const auto messages = static_cast<std::int64_t>(c.messages.size());
  state.SetItemsProcessed(iterations * messages);
  state.SetBytesProcessed(iterations * static_cast<std::int64_t>(c.bytes));
  state.counters["allocs/msg"] =
      static_cast<double>(allocations) / static_cast<double>(iterations * messages);
}

// Reads the messages of `c` back, one after the other into one value, as a reader of a log does.
void MeasureDecode(benchmark::State& state, const Case& c) {
  CSS_Message message;
  CSS_DecodeError error;
  for (auto _ : state) {
    for (const std::string& text : c.messages) {
      if (!DecodeMessage(text, message, error)) {
        state.SkipWithError(error.reason.c_str());
        return;
      }
      benchmark::DoNotOptimize(message.parameters.data());
    }
    benchmark::ClobberMemory();
  }
  const auto iterations = static_cast<std::int64_t>(state.iterations());
  state.SetItemsProcessed(iterations * static_cast<std::int64_t>(c.messages.size()));
  state.SetBytesProcessed(iterations * static_cast<std::int64_t>(c.bytes));
}

// Checks that `writer` makes exactly the library's messages; says where it does not.
bool SameMessages(Writer writer, const Case& c) {
  Contestant contestant(writer, c);
  CSS_StringList out;
  contestant.Run(out);
  if (out == c.messages) return true;
  std::fprintf(stderr, "%s: %s makes %zu messages, the library %zu\n", c.label.c_str(),
               WriterName(writer), out.size(), c.messages.size());
  for (std::size_t i = 0; i < std::min(out.size(), c.messages.size()); ++i) {
    if (out[i] != c.messages[i]) {
      std::fprintf(stderr, "first difference, message %zu:\n  ssmsg: %s\n  %s: %s\n", i,
                   c.messages[i].c_str(), WriterName(writer), out[i].c_str());
      break;
    }
  }
  return false;
}

bool Prepare(Case& c) {
  CSS_Manager manager;
  for (const ApplicationManagerTask task : c.tasks) {
    manager.MakeSendSettings(task, kInterface, kNode, c.messages);
  }
  for (const std::string& message : c.messages) {
    if (!c.recipes.Add(message)) {
      std::fprintf(stderr, "%s: cannot read back message %s\n", c.label.c_str(), message.c_str());
      return false;
    }
    c.bytes += message.size();
  }
  return std::all_of(std::begin(kWriters), std::end(kWriters),
                     [&](Writer writer) { return SameMessages(writer, c); });
}

// Statistics of the repetitions of one benchmark.
struct Runs {
  std::vector<double> cpuTimes;  // per iteration, in the benchmark's time unit
  std::vector<double> allocationsPerMessage;
  std::vector<double> messagesPerSecond;
  std::vector<double> bytesPerSecond;
};

double Quantile(std::vector<double> values, double q);

double Median(const std::vector<double>& values) {
  return Quantile(values, 0.5);
}

// Passes only the medians of repeated runs to the console and keeps every single run for the
// summary.
class SummaryReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& reports) override {
    std::vector<Run> shown;
    for (const Run& run : reports) {
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") shown.push_back(run);
        continue;
      }
      if (run.error_occurred) continue;
      Runs& runs = runs_[run.run_name.str()];
      runs.cpuTimes.push_back(run.GetAdjustedCPUTime());
      const auto counter = [&](const char* name) {
        const auto it = run.counters.find(name);
        return it == run.counters.end() ? 0.0 : it->second.value;
      };
      runs.allocationsPerMessage.push_back(counter("allocs/msg"));
      runs.messagesPerSecond.push_back(counter("items_per_second"));
      runs.bytesPerSecond.push_back(counter("bytes_per_second"));
    }
    for (const Run& run : reports) {
      if (run.run_type == Run::RT_Iteration && run.repetitions <= 1) shown.push_back(run);
    }
    if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
  }

  const Runs* Find(const std::string& name) const {
    const auto it = runs_.find(name);
    return it == runs_.end() ? nullptr : &it->second;
  }

 private:
  std::map<std::string, Runs> runs_;
};

std::string Rate(double perSecond, const char* unit) {
  char text[64];
  if (perSecond >= 1e9) {
    std::snprintf(text, sizeof text, "%.2f G%s/s", perSecond / 1e9, unit);
  } else if (perSecond >= 1e6) {
    std::snprintf(text, sizeof text, "%.2f M%s/s", perSecond / 1e6, unit);
  } else {
    std::snprintf(text, sizeof text, "%.0f k%s/s", perSecond / 1e3, unit);
  }
  return text;
}

const char* Verdict(bool met) {
  return met ? "met" : "not met";
}

double Fastest(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

// The lines of one case: what it sends and how fast the library is, then one line per
// comparison. `full` says whether the targets apply.
void Summarise(const SummaryReporter& reporter, const Case& c, bool full) {
  const Runs* runs[std::size(kWriters)] = {};
  for (std::size_t i = 0; i < std::size(kWriters); ++i) {
    runs[i] = reporter.Find(c.key + "/" + WriterName(kWriters[i]));
  }
  const Runs* ours = runs[0];
  if (ours == nullptr) return;  // filtered out of this run
  const char* label = c.label.c_str();
  const double time = Median(ours->cpuTimes);
  const double allocations = Median(ours->allocationsPerMessage);
  std::printf("%s (%s; %zu messages, %zu bytes): ssmsg %s, %s\n", label, c.about.c_str(),
              c.messages.size(), c.bytes,
              Rate(Median(ours->messagesPerSecond), " messages").c_str(),
              Rate(Median(ours->bytesPerSecond), "B").c_str());
  std::printf("%s: ssmsg %.3f heap allocations per message", label, allocations);
  std::printf(full ? " (target <= 1.2: %s)\n" : "\n", Verdict(allocations <= 1.2));
  if (const Runs* floor = runs[1]) {
    const double ratio = time / Median(floor->cpuTimes);
    std::printf("%s: ssmsg %.2fx the floor's time (target <= 1.5x: %s)\n", label, ratio,
                Verdict(ratio <= 1.5));
  }
  for (std::size_t i = 2; i < std::size(kWriters); ++i) {
    if (runs[i] == nullptr) continue;
    const double ratio = Median(runs[i]->cpuTimes) / time;
    std::printf("%s: %s %.2fx ssmsg's time", label, WriterName(kWriters[i]), ratio);
    std::printf(full ? " (target >= 3x: %s)\n" : "\n", Verdict(ratio >= 3.0));
  }
  if (const Runs* decode = reporter.Find(c.key + "/decode")) {
    const double ratio = time / Median(decode->cpuTimes);
    std::printf("%s: decoding %.2fx the build's throughput, %s (target >= 0.5x: %s)\n", label,
                ratio, Rate(Median(decode->messagesPerSecond), " messages").c_str(),
                Verdict(ratio >= 0.5));
  }
  if (full && runs[1] != nullptr && runs[2] != nullptr && runs[3] != nullptr) {
    // The same ratios from each contestant's fastest run, as a check on the noise.
    const double fastest = Fastest(ours->cpuTimes);
    std::printf(
        "%s, fastest runs: ssmsg %.2fx the floor's time, pugixml %.2fx and tinyxml2 "
        "%.2fx ssmsg's time\n",
        label, fastest / Fastest(runs[1]->cpuTimes), Fastest(runs[2]->cpuTimes) / fastest,
        Fastest(runs[3]->cpuTimes) / fastest);
  }
}

// A quantile of `values` (0.5: the median), between neighbouring values.
double Quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const double at = q * static_cast<double>(values.size() - 1);
  const auto below = static_cast<std::size_t>(at);
  const std::size_t above = std::min(below + 1, values.size() - 1);
  return values[below] + (at - static_cast<double>(below)) * (values[above] - values[below]);
}

// How far the repetitions of each contestant lay apart, over the cases: the middle half of the
// runs (interquartile range) and all of them (slowest against fastest), relative to the median.
void SummariseNoise(const SummaryReporter& reporter, const std::vector<Case>& cases) {
  for (const Writer writer : kWriters) {
    std::vector<double> middle;
    std::vector<double> whole;
    std::size_t repetitions = 0;
    for (const Case& c : cases) {
      const Runs* runs = reporter.Find(c.key + "/" + WriterName(writer));
      if (runs == nullptr || runs->cpuTimes.size() < 2) continue;
      const double median = Median(runs->cpuTimes);
      middle.push_back((Quantile(runs->cpuTimes, 0.75) - Quantile(runs->cpuTimes, 0.25)) / median);
      whole.push_back((Quantile(runs->cpuTimes, 1) - Quantile(runs->cpuTimes, 0)) / median);
      repetitions = runs->cpuTimes.size();
    }
    if (middle.empty()) continue;
    std::printf(
        "noise, %s (%zu repetitions per case): the middle half of the runs spans %.1f%% of the "
        "median, all runs %.1f%% (medians over the cases; worst %.1f%% and %.1f%%)\n",
        WriterName(writer), repetitions, 100 * Median(middle), 100 * Median(whole),
        100 * Quantile(middle, 1), 100 * Quantile(whole, 1));
  }
}

std::tm BenchTime() {
  std::tm time{};
  time.tm_year = 126;
  time.tm_mon = 11;
  time.tm_mday = 4;
  time.tm_hour = 9;
  time.tm_min = 5;
  time.tm_sec = 7;
  return time;
}

}  // namespace
}  // namespace ssmsg::bench

int main(int argc, char** argv) {
  using namespace ssmsg;
  using namespace ssmsg::bench;

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;

  auto store = std::make_unique<CSApplicationManagerStd>();
  FillLargeController(*store);
  gl_SetApplicationManagerStd(store.get());
  gl_SetClockSource(FixedClock(BenchTime()));

  // One case per task that makes messages now, then all tasks together. Tasks without a
  // builder yet make no message and are listed as pending; they join by themselves once built.
  std::vector<Case> cases;
  Case full{"full", "full configuration", "every task 151 to 177", {}, {}, {}, 0};
  std::string pending;
  for (const CSS_TaskInfo& info : CSS_Manager::TaskTable()) {
    const ApplicationManagerTask task = info.task;
    full.tasks.push_back(task);
    Case c{"task" + std::to_string(info.task),
           "task " + std::to_string(info.task),
           std::string(info.sends),
           {task},
           {},
           {},
           0};
    if (!Prepare(c)) return 1;
    if (c.messages.empty()) {
      if (info.sends != "nothing") pending.append(" ").append(std::to_string(info.task));
      continue;
    }
    cases.push_back(std::move(c));
  }
  if (!Prepare(full)) return 1;
  cases.insert(cases.begin(), std::move(full));

  for (const Case& c : cases) {
    for (const Writer writer : kWriters) {
      benchmark::RegisterBenchmark((c.key + "/" + WriterName(writer)).c_str(), Measure, writer,
                                   std::cref(c))
          ->Unit(benchmark::kMicrosecond);
    }
  }

  // Reading the full configuration back.
  benchmark::RegisterBenchmark((cases.front().key + "/decode").c_str(), MeasureDecode,
                               std::cref(cases.front()))
      ->Unit(benchmark::kMicrosecond);

  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n");
  for (const Case& c : cases) {
    Summarise(reporter, c, &c == &cases.front());
  }
  // Every task on its own against the floor: the worst of them.
  double worst = 0;
  std::string worstLabel;
  for (const Case& c : cases) {
    const Runs* ours = reporter.Find(c.key + "/ssmsg");
    const Runs* floor = reporter.Find(c.key + "/floor");
    if (&c == &cases.front() || ours == nullptr || floor == nullptr) continue;
    const double ratio = Median(ours->cpuTimes) / Median(floor->cpuTimes);
    if (ratio > worst) {
      worst = ratio;
      worstLabel = c.label;
    }
  }
  if (!worstLabel.empty()) {
    std::printf("every task: ssmsg at most %.2fx the floor's time, %s (target <= 1.5x: %s)\n",
                worst, worstLabel.c_str(), Verdict(worst <= 1.5));
  }
  SummariseNoise(reporter, cases);
  if (!pending.empty()) {
    std::printf("tasks without messages yet (not measured):%s\n", pending.c_str());
  }
  return 0;
}
