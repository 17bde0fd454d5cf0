// The import: lines taken one at a time, or many at once with the lines of different controllers
// applied on different threads (readback/ImportApply.cpp applies them); errors put in the order
// of the lines; the site made of the controllers once every line is in.

#include <ssmsg/Import.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <ssmsg/CSToolEnum.h>
#include <ssmsg/Json.h>
#include <ssmsg/Message.h>

#include "commands/CSS_MessageCatalog.h"
#include "core/OrderedWork.h"
#include "readback/ImportApply.h"
#include "site/SiteData.h"
#include "site/file/SiteFileWriter.h"

namespace ssmsg {
namespace {

using namespace importing;

// Fewer lines than this are not worth a thread of their own.
constexpr std::size_t kLinesPerThread = 256;

// `T` as a type of this file alone: what the import's threads are made of stays out of the
// library's exported symbols, although the import is exported.
template <class T>
struct OfThisFile : T {
  using T::T;
};

// Whether messages of `kind` carry no configuration and are skipped.
bool IsSkipped(CSS_MessageKind kind) {
  switch (kind) {
    case CSS_MessageKind::InterfaceStart:
    case CSS_MessageKind::InterfaceStop:
    case CSS_MessageKind::InterfaceSetNodes:
    case CSS_MessageKind::InterfacePoll:
    case CSS_MessageKind::AskSettings:
    case CSS_MessageKind::SetRTC:
      return true;
    default:
      return false;
  }
}

// The number from `at` in `text` up to `end`, which must follow it; advances `at` past `end`.
std::optional<std::int32_t> NumberUpTo(std::string_view text, std::size_t& at,
                                       std::string_view end) {
  const std::size_t stop = text.find('<', at);
  if (stop == std::string_view::npos || text.substr(stop, end.size()) != end) return std::nullopt;
  std::int32_t number = 0;
  const auto [ptr, error] = std::from_chars(text.data() + at, text.data() + stop, number);
  if (error != std::errc() || ptr != text.data() + stop) return std::nullopt;
  at = stop + end.size();
  return number;
}

// The key of the controller that the message `text` is for, found without decoding it; nothing
// when the text names no node the way a message does (a message without a node, or not a
// message at all). A message that decodes names the very controller found here.
std::optional<std::uint64_t> PeekAddress(std::string_view text) {
  constexpr std::string_view kStart = "<Command><InterfaceID>";
  constexpr std::string_view kAction = "</Action>";
  constexpr std::string_view kNode = "<Parameters><Node>";
  if (!text.starts_with(kStart)) return std::nullopt;
  std::size_t at = kStart.size();
  const std::optional<std::int32_t> interfaceId = NumberUpTo(text, at, "</InterfaceID>");
  if (!interfaceId) return std::nullopt;
  at = text.find(kAction, at);
  if (at == std::string_view::npos || text.substr(at + kAction.size(), kNode.size()) != kNode)
    return std::nullopt;
  at += kAction.size() + kNode.size();
  const std::optional<std::int32_t> node = NumberUpTo(text, at, "</Node>");
  if (!node) return std::nullopt;
  return AddressKey({*interfaceId, *node});
}

}  // namespace

struct CSS_Import::Impl {
  explicit Impl(const CSS_ImportOptions& options)
      : enums(options.enumsFrom), jobs(options.jobs), own(enums, sources, false) {}

  // --- Lines one by one
  // ---------------------------------------------------------------------------

  bool AddLine(std::string_view text, std::string_view source, std::size_t line) {
    if (TrimsToNothing(text)) return true;
    NoteSource(source);
    own.current = {sources.size() - 1, line};
    own.seq = nextSeq++;
    bool good = false;
    CSS_DecodeError error;
    if (written) {
      own.ErrorAt(own.current, "comes after the site file was written");
    } else if (!DecodeMessage(text, own.message, error)) {
      own.ErrorAt(own.current, error.reason, error.column);
    } else if (IsSkipped(own.message.kind)) {
      own.Skip(own.message.kind);
      good = true;
    } else {
      good = own.Apply(ControllerAt({own.message.interfaceId, own.message.node.value_or(0)}));
    }
    Gather(own.notes);
    PutErrorsInOrder();
    return good;
  }

  void NoteSource(std::string_view source) {
    if (sources.empty() || sources.back() != source) sources.emplace_back(source);
  }

  static bool TrimsToNothing(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
  }

  Controller& ControllerAt(const CSS_ControllerAddress& address) {
    const auto [found, added] = index.try_emplace(AddressKey(address), controllers.size());
    if (added) {
      controllers.push_back(std::make_unique<Controller>());
      controllers.back()->address = address;
    }
    return *controllers[found->second];
  }

  // Takes what was noted: the errors into those of the lines being added, the level texts and the
  // skipped kinds into the import's. `notes` is left empty.
  void Gather(Noted& notes) {
    if (!notes.any) return;
    notes.any = false;
    for (LineError& error : notes.errors.kept)
      pendingErrors.push_back(std::move(error));
    notes.errors.kept.clear();
    moreErrors += std::exchange(notes.errors.more, 0);
    for (std::size_t i = 0; i < levels.size(); ++i) {
      LevelSeen& seen = notes.levels[i];
      if (seen.seen) levels[i].See(seen.seq, seen.text, seen.differs);
      seen.seen = seen.differs = false;
    }
    for (std::size_t k = 0; k < kMessageKindCount; ++k) {
      SkipSeen& skip = notes.skips[k];
      if (skip.count == 0) continue;
      SkipSeen& all = skipped[k];
      if (all.count == 0 || skip.first < all.first) all.first = skip.first;
      all.count += skip.count;
      skip.count = 0;
    }
  }

  // The errors of the lines just added, in the order of the lines, after those before them.
  void PutErrorsInOrder() {
    std::stable_sort(pendingErrors.begin(), pendingErrors.end(),
                     [](const LineError& a, const LineError& b) { return a.seq < b.seq; });
    for (LineError& error : pendingErrors)
      KeepError(errors, moreErrors, std::move(error.text));
    pendingErrors.clear();
  }

  // --- Many lines at once -----------------------------------------------------------------------

  // The lines of one controller among those being added (or of none: `key` kNoController).
  struct Group {
    std::uint64_t key = 0;
    Controller* controller = nullptr;  // null until its first message, when it is new
    std::vector<std::size_t> lines;    // indices into the lines being added
  };
  static constexpr std::uint64_t kNoController = ~std::uint64_t{0};  // no node is that large

  // The lines being added, as the threads that apply them see them.
  struct Batch {
    std::span<const std::string_view> lines;
    std::size_t source = 0;
    std::size_t firstLine = 0;
    std::uint64_t firstSeq = 0;
    std::vector<Group> groups;
  };

  // What applying one group gave.
  struct GroupResult {
    std::unique_ptr<Controller> made;  // the group's controller, when it is new
    std::uint64_t madeAt = 0;          // the sequence number of its first message
    std::size_t deferredFrom = 0;      // the group's lines from here on are left to this thread
    Noted notes;                       // what it noted
  };

  // One thread's applying of groups.
  struct GroupWorker {
    using Context = Impl*;
    using Input = std::size_t;
    using Output = GroupResult;

    explicit GroupWorker(Impl* impl_) : impl(*impl_), applier(impl.enums, impl.sources, true) {}

    void Run(std::size_t g, GroupResult& out) {
      ApplyGroup(g, out);
      // What was noted goes with the result, as this applier goes on with another group while
      // the result waits; the notes it gets back were taken, and so are empty.
      std::swap(out.notes, applier.notes);
    }

    void ApplyGroup(std::size_t g, GroupResult& out) {
      const Batch& added = impl.batch;
      const Group& group = added.groups[g];
      out.made.reset();
      out.deferredFrom = group.lines.size();
      Controller* controller = group.controller;
      CSS_DecodeError error;
      for (std::size_t k = 0; k < group.lines.size(); ++k) {
        const std::size_t i = group.lines[k];
        applier.current = {added.source, added.firstLine + i};
        applier.seq = added.firstSeq + i;
        if (!DecodeMessage(added.lines[i], applier.message, error)) {
          applier.ErrorAt(applier.current, error.reason, error.column);
          continue;
        }
        if (IsSkipped(applier.message.kind)) {
          applier.Skip(applier.message.kind);
          continue;
        }
        const CSS_ControllerAddress address{applier.message.interfaceId,
                                            applier.message.node.value_or(0)};
        if (AddressKey(address) != group.key)
          throw std::logic_error("import: a message's controller was taken for another's");
        if (controller == nullptr) {
          out.made = std::make_unique<Controller>();
          out.made->address = address;
          out.madeAt = applier.seq;
          controller = out.made.get();
        }
        applier.Apply(*controller);
        if (applier.deferred) {
          applier.deferred = false;
          out.deferredFrom = k;
          return;
        }
      }
    }

    Impl& impl;
    MessageApplier applier;
  };

  // The lines are applied per controller on `jobs` threads (this one among them), each
  // controller's in order; the outcome is that of AddLine for each line in order.
  bool AddLines(std::span<const std::string_view> lines, std::string_view source,
                std::size_t firstLine) {
    const unsigned threads = JobThreads(jobs, lines.size() / kLinesPerThread);
    if (threads <= 1 || written) {
      bool good = true;
      for (std::size_t i = 0; i < lines.size(); ++i)
        good = AddLine(lines[i], source, firstLine + i) && good;
      return good;
    }
    NoteSource(source);
    batch.lines = lines;
    batch.source = sources.size() - 1;
    batch.firstLine = firstLine;
    batch.firstSeq = nextSeq;
    nextSeq += lines.size();
    GroupLines();
    // Every value of an enumeration text is looked up from here on: the tables are made now.
    for (std::size_t id = 0; id < kToolEnumCount; ++id) {
      if (!enums.reverses[id].built) enums.BuildReverse(static_cast<CSToolEnumId>(id));
    }

    std::vector<std::pair<std::uint64_t, std::unique_ptr<Controller>>> made;
    std::vector<std::size_t> deferred;  // lines left to this thread
    const std::size_t errorsBefore = errors.size() + moreErrors;
    {
      Impl* const self = this;
      CSS_OrderedWork<OfThisFile<GroupWorker>> work(self, JobThreads(jobs, batch.groups.size()));
      std::size_t g = 0;
      const auto take = [&](GroupResult& result) {
        const Group& group = batch.groups[g++];
        Gather(result.notes);
        if (result.made) made.emplace_back(result.madeAt, std::move(result.made));
        deferred.insert(deferred.end(),
                        group.lines.begin() + static_cast<std::ptrdiff_t>(result.deferredFrom),
                        group.lines.end());
        return true;
      };
      for (std::size_t k = 0; k < batch.groups.size(); ++k)
        work.Submit(k, take);
      work.Finish(take);
    }
    // New controllers in the order of their first message.
    std::ranges::sort(made, {}, &std::pair<std::uint64_t, std::unique_ptr<Controller>>::first);
    for (auto& [at, controller] : made) {
      index.emplace(AddressKey(controller->address), controllers.size());
      controllers.push_back(std::move(controller));
    }
    // What needed a new value for a text, in the order of the lines.
    std::ranges::sort(deferred);
    for (const std::size_t i : deferred) {
      own.current = {batch.source, firstLine + i};
      own.seq = batch.firstSeq + i;
      CSS_DecodeError error;
      DecodeMessage(lines[i], own.message, error);  // it was decoded before
      own.Apply(ControllerAt({own.message.interfaceId, own.message.node.value_or(0)}));
    }
    Gather(own.notes);
    PutErrorsInOrder();
    return errors.size() + moreErrors == errorsBefore;
  }

  // Sorts the lines being added into groups by the controller they are for.
  void GroupLines() {
    for (Group& group : batch.groups)
      group.lines.clear();
    std::size_t used = 0;
    groupOf.clear();
    std::uint64_t lastKey = kNoController;
    std::size_t lastGroup = 0;
    for (std::size_t i = 0; i < batch.lines.size(); ++i) {
      if (TrimsToNothing(batch.lines[i])) continue;
      const std::uint64_t key = PeekAddress(batch.lines[i]).value_or(kNoController);
      if (used == 0 || key != lastKey) {
        const auto [found, added] = groupOf.try_emplace(key, used);
        if (added) {
          if (batch.groups.size() == used) batch.groups.emplace_back();
          Group& group = batch.groups[used++];
          group.key = key;
          const auto existing = index.find(key);
          group.controller =
              existing != index.end() ? controllers[existing->second].get() : nullptr;
        }
        lastKey = key;
        lastGroup = found->second;
      }
      batch.groups[lastGroup].lines.push_back(i);
    }
    batch.groups.resize(used);
  }

  // --- Making the site --------------------------------------------------------------------------

  // Names that a site file cannot hold.
  bool CheckNames() {
    bool good = true;
    const auto check = [&](const std::optional<Name>& name, std::string_view what) {
      if (!name) return;
      if (const std::optional<std::string> unfit = UnfitForSite(name->text)) {
        own.seq = nextSeq;
        good = own.ErrorAt(name->last, "the name of " + std::string(what) + " " + *unfit +
                                           "; a site file cannot hold it") &&
               good;
      }
    };
    for (const auto& c : controllers) {
      for (std::size_t i = 0; i < c->inputNames.size(); ++i)
        check(c->inputNames[i], "input " + std::to_string(i + 1));
      for (std::size_t i = 0; i < c->outputNames.size(); ++i)
        check(c->outputNames[i], "output " + std::to_string(i + 1));
      for (std::size_t i = 0; i < c->readerNames.size(); ++i)
        check(c->readerNames[i], "reader " + std::to_string(i + 1));
      check(c->xtraName, "the XTRA unit");
    }
    Gather(own.notes);
    PutErrorsInOrder();
    return good;
  }

  std::optional<CSS_Site> MakeSite(std::string_view name) {
    const bool namesGood = CheckNames();
    if (written || !namesGood || !errors.empty() || moreErrors > 0) return std::nullopt;
    written = true;
    std::vector<CSS_SiteEnumText> texts = std::move(enums.enumTexts);
    for (std::size_t i = 0; i < levels.size(); ++i) {
      if (levels[i].differs)
        texts.push_back({CSToolEnumId::Level, static_cast<int>(i + 1), levels[i].text});
    }
    std::vector<CSS_SiteController> made;
    made.reserve(controllers.size());
    for (std::unique_ptr<Controller>& c : controllers) {
      made.push_back({c->address, std::move(c->Finish())});
      c.reset();
    }
    controllers.clear();
    index.clear();
    return MakeMemorySite(std::string(name), std::move(made), std::move(texts));
  }

  EnumTexts enums;
  LevelsSeen levels;

  std::vector<std::unique_ptr<Controller>> controllers;  // in the order of their first message
  std::unordered_map<std::uint64_t, std::size_t> index;  // (interface, node) -> controller
  SkipsSeen skipped;

  std::vector<std::string> sources;
  std::uint64_t nextSeq = 0;  // the place in the stream of the next line
  unsigned jobs = 1;
  MessageApplier own;                                      // this thread's
  Batch batch;                                             // the lines being added many at once
  std::unordered_map<std::uint64_t, std::size_t> groupOf;  // (interface, node) -> group
  std::vector<LineError> pendingErrors;                    // of the lines being added
  std::vector<std::string> errors;
  std::size_t moreErrors = 0;
  bool written = false;  // the records have gone into the site
};

CSS_Import::CSS_Import(const CSS_ImportOptions& options) : impl_(std::make_unique<Impl>(options)) {}
CSS_Import::CSS_Import(CSS_Import&&) noexcept = default;
CSS_Import& CSS_Import::operator=(CSS_Import&&) noexcept = default;
CSS_Import::~CSS_Import() = default;

bool CSS_Import::AddLine(std::string_view text, std::string_view source, std::size_t line) {
  return impl_->AddLine(text, source, line);
}

bool CSS_Import::AddLines(std::span<const std::string_view> lines, std::string_view source,
                          std::size_t firstLine) {
  return impl_->AddLines(lines, source, firstLine);
}

std::vector<std::string> CSS_Import::Errors() const {
  std::vector<std::string> errors = impl_->errors;
  if (impl_->moreErrors > 0) {
    errors.push_back("and " + std::to_string(impl_->moreErrors) + " more errors");
  }
  return errors;
}

std::vector<std::string> CSS_Import::Notes() const {
  std::vector<std::string> notes;
  // In the order of each kind's first message.
  std::vector<std::pair<std::uint64_t, CSS_MessageKind>> kinds;
  for (std::size_t k = 0; k < kMessageKindCount; ++k) {
    if (impl_->skipped[k].count > 0)
      kinds.emplace_back(impl_->skipped[k].first, static_cast<CSS_MessageKind>(k));
  }
  std::ranges::sort(kinds);
  for (const auto& [first, kind] : kinds) {
    const std::size_t count = impl_->skipped[static_cast<std::size_t>(kind)].count;
    const CSS_MessageKindInfo& info = MessageKindInfo(kind);
    notes.push_back("skipped " + std::to_string(count) + " " + std::string(info.messageType) + " " +
                    std::string(info.action) +
                    (count == 1 ? " message, which carries" : " messages, which carry") +
                    " no configuration");
  }
  return notes;
}

std::optional<CSS_Site> CSS_Import::TakeSite(std::string_view fileName) {
  return impl_->MakeSite(fileName);
}

bool CSS_Import::WriteSite(const std::function<bool(std::string_view text)>& sink) {
  const std::optional<CSS_Site> site = impl_->MakeSite({});
  return site && site->WriteJson(sink, impl_->jobs);
}

}  // namespace ssmsg
