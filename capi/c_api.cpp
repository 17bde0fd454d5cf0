// The C interface: plain functions over the public C++ interface. Each checks its arguments,
// runs inside Guard so that nothing thrown crosses into C, and hands out objects that C frees
// with the matching ssmsg_*_free.

#include <ssmsg/c_api.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <ssmsg/CSS_Clock.h>
#include <ssmsg/CSS_Manager.h>
#include <ssmsg/CSToolEnum.h>
#include <ssmsg/Import.h>
#include <ssmsg/Message.h>
#include <ssmsg/Report.h>
#include <ssmsg/Site.h>
#include <ssmsg/SiteDiff.h>
#include <ssmsg/SiteSettings.h>
#include <ssmsg/version.h>

#include "capi/c_api_status.h"
#include "manager/CSS_ManagerBuilders.h"
#include "platform/FileName.h"

// What an ssmsg_site handle points to.
struct ssmsg_site {
  ssmsg::CSS_Site site;
};

// What an ssmsg_import handle points to.
struct ssmsg_import {
  ssmsg::CSS_Import import;
  bool written = false;  // the records have gone into the site file: nothing more may be added
};

namespace {

using ssmsg::capi::Guard;

// Texts and the count/items/lengths view of them that C reads. The view is made once, after
// the last text is added: until then adding may move the texts.
class TextStore {
 public:
  void Add(std::string_view text) { texts_.emplace_back(text); }
  void Add(std::string&& text) { texts_.push_back(std::move(text)); }

  void Publish(ssmsg_strings& view) {
    items_.reserve(texts_.size());
    lengths_.reserve(texts_.size());
    for (const std::string& text : texts_) {
      items_.push_back(text.c_str());
      lengths_.push_back(text.size());
    }
    view.count = texts_.size();
    view.items = items_.data();
    view.lengths = lengths_.data();
  }

 private:
  std::vector<std::string> texts_;
  std::vector<const char*> items_;
  std::vector<std::size_t> lengths_;
};

// What an ssmsg_strings pointer handed out points to.
struct StringsBox : ssmsg_strings {
  StringsBox() : ssmsg_strings{0, nullptr, nullptr} {}
  TextStore store;
};

ssmsg_origin Origin(const ssmsg::CSS_ControllerAddress& address,
                    ssmsg::ApplicationManagerTask task) {
  return {address.interfaceId, address.node, task};
}

// Messages with their origins, and the tasks that returned false: what ssmsg_settings shows.
struct SettingsStore {
  void Keep(const ssmsg::CSS_SiteMessage& message) {
    texts.Add(message.text);
    origins.push_back(Origin(message.address, message.task));
  }
  void AddFailures(const std::vector<ssmsg::CSS_TaskFailure>& taskFailures) {
    for (const ssmsg::CSS_TaskFailure& failure : taskFailures)
      failures.push_back(Origin(failure.address, failure.task));
  }
  void Publish(ssmsg_settings& view) {
    texts.Publish(view.messages);
    view.origins = origins.data();
    view.failure_count = failures.size();
    view.failures = failures.data();
  }
  TextStore texts;
  std::vector<ssmsg_origin> origins;
  std::vector<ssmsg_origin> failures;
};

// A sink that keeps every message in `store`.
ssmsg::CSS_MessageSink KeepIn(SettingsStore& store) {
  return [&store](const ssmsg::CSS_SiteMessage& message) {
    store.Keep(message);
    return true;
  };
}

// What an ssmsg_settings pointer handed out points to.
struct SettingsBox : ssmsg_settings {
  SettingsBox() : ssmsg_settings{{0, nullptr, nullptr}, nullptr, 0, nullptr} {}
  void Publish() { store.Publish(*this); }
  SettingsStore store;
};

// What an ssmsg_diff pointer handed out points to.
struct DiffBox : ssmsg_diff {
  DiffBox() : ssmsg_diff{} {}
  void Publish() {
    store.Publish(settings);
    warningTexts.Publish(warnings);
  }
  SettingsStore store;
  TextStore warningTexts;
};

// What an ssmsg_decode_error pointer handed out points to.
struct DecodeErrorBox : ssmsg_decode_error {
  explicit DecodeErrorBox(ssmsg::CSS_DecodeError&& error)
      : ssmsg_decode_error{error.column, nullptr}, text(std::move(error.reason)) {
    reason = text.c_str();
  }
  std::string text;
};

ssmsg_strings* HandOut(std::vector<std::string>&& texts) {
  auto box = std::make_unique<StringsBox>();
  for (std::string& text : texts)
    box->store.Add(std::move(text));
  box->store.Publish(*box);
  return box.release();
}

ssmsg_strings* HandOut(std::string&& text) {
  std::vector<std::string> texts;
  texts.push_back(std::move(text));
  return HandOut(std::move(texts));
}

template <class T>
void ClearOut(T** out) {
  if (out != nullptr) *out = nullptr;
}

// The `length` bytes at `text`, which may be NULL when there are none.
std::string_view Bytes(const char* text, std::size_t length) {
  return length > 0 ? std::string_view(text, length) : std::string_view();
}

// Gives the outcome of a load: the site, or the errors and `failed`.
ssmsg_status FinishLoad(ssmsg::CSS_SiteLoadResult&& result, ssmsg_status failed, ssmsg_site** site,
                        ssmsg_strings** errors) {
  std::unique_ptr<ssmsg_site> loaded;
  if (result.site) loaded.reset(new ssmsg_site{std::move(*result.site)});
  if (errors != nullptr) *errors = HandOut(std::move(result.errors));
  if (!loaded) return failed;
  *site = loaded.release();
  return SSMSG_OK;
}

// What ssmsg_settings_options ask for, in the library's terms.
struct Request {
  ssmsg::CSS_Selection selection;
  std::vector<ssmsg::ApplicationManagerTask> tasks;
  std::optional<std::tm> time;
  unsigned jobs = 1;
};

// Reads the C options (NULL: the defaults); SSMSG_INVALID_ARGUMENT when they ask for what cannot
// be.
ssmsg_status ReadOptions(const ssmsg_settings_options* options, Request& request) {
  static constexpr ssmsg_settings_options kDefaults{};
  const ssmsg_settings_options& o = options != nullptr ? *options : kDefaults;
  if (o.tasks == nullptr && o.task_count > 0) return SSMSG_INVALID_ARGUMENT;
  request.tasks.reserve(o.task_count);
  for (const std::int32_t number : std::span(o.tasks, o.task_count)) {
    const auto task = ssmsg::FindSettingsTask(number);
    if (!task) return SSMSG_INVALID_ARGUMENT;
    request.tasks.push_back(*task);
  }
  if (o.time != nullptr) {
    request.time = ssmsg::CalendarTime(o.time->year, o.time->month, o.time->day, o.time->hour,
                                       o.time->minute, o.time->second);
    if (!request.time) return SSMSG_INVALID_ARGUMENT;
  }
  if (o.by_interface != 0) request.selection.interfaceId = o.interface_id;
  if (o.by_node != 0) request.selection.node = o.node;
  // 0, what a zeroed struct holds, is the calling thread alone, as 1 is.
  request.jobs = std::max(o.jobs, 1u);
  return SSMSG_OK;
}

// The status of the selection of `request` for `sites`: SSMSG_INVALID_ARGUMENT for a node without
// its interface, SSMSG_NO_CONTROLLER when it selects no controller of them.
ssmsg_status CheckSelection(const Request& request,
                            std::initializer_list<const ssmsg::CSS_Site*> sites) {
  switch (ssmsg::CheckSelection(request.selection, sites).kind) {
    case ssmsg::CSS_SelectionProblem::Kind::None:
      return SSMSG_OK;
    case ssmsg::CSS_SelectionProblem::Kind::NodeWithoutInterface:
      return SSMSG_INVALID_ARGUMENT;
    case ssmsg::CSS_SelectionProblem::Kind::NoController:
      break;
  }
  return SSMSG_NO_CONTROLLER;
}

// Reads the C options into `request` and checks its selection for `sites`: the first status that
// is not SSMSG_OK, or SSMSG_OK.
ssmsg_status ReadRequest(const ssmsg_settings_options* options,
                         std::initializer_list<const ssmsg::CSS_Site*> sites, Request& request) {
  const ssmsg_status checked = ReadOptions(options, request);
  return checked != SSMSG_OK ? checked : CheckSelection(request, sites);
}

// The options of a settings or diff job that `request` asks for.
template <class Job>
Job JobOf(Request&& request) {
  Job job;
  job.selection = request.selection;
  job.tasks = std::move(request.tasks);
  job.time = request.time;
  job.jobs = request.jobs;
  return job;
}

// Runs the settings job with `sink`; the failures go to `box`.
ssmsg_status RunSettings(const ssmsg_site* site, const ssmsg_settings_options* options,
                         const ssmsg::CSS_MessageSink& sink, SettingsBox& box) {
  Request request;
  if (const ssmsg_status read = ReadRequest(options, {&site->site}, request); read != SSMSG_OK)
    return read;
  const ssmsg::CSS_SettingsOptions job = JobOf<ssmsg::CSS_SettingsOptions>(std::move(request));
  const ssmsg::CSS_SettingsResult result = ssmsg::MakeSiteSettings(site->site, job, sink);
  box.store.AddFailures(result.failures);
  if (result.stopped) return SSMSG_STOPPED;
  return result.failures.empty() ? SSMSG_OK : SSMSG_FAILED;
}

// The facade's operations, made without a manager object so that the host's own manager stays
// the one that gl_Get_SS_Manager returns.
using Operations = ssmsg::CSS_Manager::Builders;

// Runs one facade operation, `make(list)`, and hands out the list it appended to.
template <class Make>
ssmsg_status MakeMessage(ssmsg_strings** messages, Make&& make) {
  ClearOut(messages);
  if (messages == nullptr) return SSMSG_INVALID_ARGUMENT;
  return Guard([&] {
    std::vector<std::string> out;
    const bool done = make(out);
    *messages = HandOut(std::move(out));
    return done ? SSMSG_OK : SSMSG_FAILED;
  });
}

// A node list of the C interface; false for a count without its array.
bool NumberList(const std::uint32_t* numbers, std::size_t count, ssmsg::CSS_NumberList& list) {
  if (numbers == nullptr && count > 0) return false;
  list = count > 0 ? ssmsg::CSS_NumberList(numbers, count) : ssmsg::CSS_NumberList();
  return true;
}

}  // namespace

const char* ssmsg_status_text(int status) {
  switch (status) {
    case SSMSG_OK:
      return "ok";
    case SSMSG_INVALID_ARGUMENT:
      return "invalid argument";
    case SSMSG_SITE_INVALID:
      return "the site file has errors";
    case SSMSG_IO_ERROR:
      return "the site file cannot be read";
    case SSMSG_FAILED:
      return "an operation returned false";
    case SSMSG_NO_CONTROLLER:
      return "no controller of the site is selected";
    case SSMSG_STOPPED:
      return "stopped by the message callback";
    case SSMSG_OUT_OF_MEMORY:
      return "out of memory";
    case SSMSG_INTERNAL_ERROR:
      return "internal error";
  }
  return "unknown status";
}

const char* ssmsg_version(void) {
  return SSMSG_VERSION_STRING;
}

void ssmsg_strings_free(ssmsg_strings* strings) {
  delete static_cast<StringsBox*>(strings);
}

ssmsg_status ssmsg_site_load(const char* path, ssmsg_site** site, ssmsg_strings** errors) {
  ClearOut(site);
  ClearOut(errors);
  if (path == nullptr || site == nullptr) return SSMSG_INVALID_ARGUMENT;
  return Guard([&] {
    ssmsg::CSS_SiteLoadResult result = ssmsg::LoadSite(ssmsg::PathOfName(path));
    const ssmsg_status failure = result.unreadable ? SSMSG_IO_ERROR : SSMSG_SITE_INVALID;
    return FinishLoad(std::move(result), failure, site, errors);
  });
}

ssmsg_status ssmsg_site_load_text(const char* text, size_t length, const char* name,
                                  ssmsg_site** site, ssmsg_strings** errors) {
  ClearOut(site);
  ClearOut(errors);
  if ((text == nullptr && length > 0) || site == nullptr) return SSMSG_INVALID_ARGUMENT;
  return Guard([&] {
    return FinishLoad(ssmsg::LoadSiteText(Bytes(text, length), name != nullptr ? name : "<text>"),
                      SSMSG_SITE_INVALID, site, errors);
  });
}

void ssmsg_site_free(ssmsg_site* site) {
  delete site;
}

ssmsg_status ssmsg_site_name(const ssmsg_site* site, const char** name) {
  ClearOut(name);
  if (site == nullptr || name == nullptr) return SSMSG_INVALID_ARGUMENT;
  *name = site->site.FileName().c_str();
  return SSMSG_OK;
}

ssmsg_status ssmsg_site_controller_count(const ssmsg_site* site, size_t* count) {
  if (count != nullptr) *count = 0;
  if (site == nullptr || count == nullptr) return SSMSG_INVALID_ARGUMENT;
  *count = site->site.ControllerCount();
  return SSMSG_OK;
}

ssmsg_status ssmsg_site_controller(const ssmsg_site* site, size_t index, int32_t* interface_id,
                                   int32_t* node) {
  if (interface_id != nullptr) *interface_id = 0;
  if (node != nullptr) *node = 0;
  if (site == nullptr || interface_id == nullptr || node == nullptr ||
      index >= site->site.ControllerCount()) {
    return SSMSG_INVALID_ARGUMENT;
  }
  const ssmsg::CSS_ControllerAddress address = site->site.Address(index);
  *interface_id = address.interfaceId;
  *node = address.node;
  return SSMSG_OK;
}

ssmsg_status ssmsg_site_warnings(const ssmsg_site* site, ssmsg_strings** warnings) {
  ClearOut(warnings);
  if (site == nullptr || warnings == nullptr) return SSMSG_INVALID_ARGUMENT;
  return Guard([&] {
    // The texts that a settings job of the site would send with.
    ssmsg::CSToolEnum enums;
    site->site.LoadEnumTexts(enums);
    *warnings = HandOut(site->site.Warnings(enums));
    return SSMSG_OK;
  });
}

ssmsg_status ssmsg_site_settings(const ssmsg_site* site, const ssmsg_settings_options* options,
                                 ssmsg_settings** result) {
  ClearOut(result);
  if (site == nullptr || result == nullptr) return SSMSG_INVALID_ARGUMENT;
  return Guard([&] {
    auto box = std::make_unique<SettingsBox>();
    const ssmsg_status status = RunSettings(site, options, KeepIn(box->store), *box);
    if (status != SSMSG_OK && status != SSMSG_FAILED) return status;
    box->Publish();
    *result = box.release();
    return status;
  });
}

void ssmsg_settings_free(ssmsg_settings* settings) {
  delete static_cast<SettingsBox*>(settings);
}

ssmsg_status ssmsg_site_settings_each(const ssmsg_site* site, const ssmsg_settings_options* options,
                                      ssmsg_message_fn on_message, void* context,
                                      ssmsg_settings** failures) {
  ClearOut(failures);
  if (site == nullptr || on_message == nullptr) return SSMSG_INVALID_ARGUMENT;
  return Guard([&] {
    auto box = std::make_unique<SettingsBox>();
    const ssmsg_status status = RunSettings(
        site, options,
        [&](const ssmsg::CSS_SiteMessage& message) {
          const ssmsg_origin origin = Origin(message.address, message.task);
          return on_message(context, &origin, message.text.data(), message.text.size()) == 0;
        },
        *box);
    if (status != SSMSG_OK && status != SSMSG_FAILED && status != SSMSG_STOPPED) return status;
    if (failures != nullptr) {
      box->Publish();
      *failures = box.release();
    }
    return status;
  });
}

ssmsg_status ssmsg_site_report(const ssmsg_site* site, const ssmsg_site* old_site,
                               const ssmsg_settings_options* options, int pages,
                               ssmsg_report_fn on_piece, void* context) {
  if (site == nullptr || on_piece == nullptr) return SSMSG_INVALID_ARGUMENT;
  return Guard([&] {
    Request request;
    if (const ssmsg_status read = ReadRequest(options, {&site->site}, request); read != SSMSG_OK)
      return read;
    ssmsg::CSS_ReportOptions report;
    report.selection = request.selection;
    report.diffFrom = old_site != nullptr ? &old_site->site : nullptr;
    report.pages = pages != 0;
    report.jobs = request.jobs;
    std::string name;
    const bool done = ssmsg::MakeSiteReport(
        site->site, report, [&](std::string_view page, std::string_view text) {
          name.assign(page);
          return on_piece(context, name.c_str(), text.data(), text.size()) == 0;
        });
    return done ? SSMSG_OK : SSMSG_STOPPED;
  });
}

ssmsg_status ssmsg_site_diff(const ssmsg_site* old_site, const ssmsg_site* new_site,
                             const ssmsg_settings_options* options, ssmsg_diff** result) {
  ClearOut(result);
  if (old_site == nullptr || new_site == nullptr || result == nullptr) {
    return SSMSG_INVALID_ARGUMENT;
  }
  return Guard([&] {
    Request request;
    // A controller that only OLD has is still selected: the diff warns about it.
    if (const ssmsg_status read = ReadRequest(options, {&old_site->site, &new_site->site}, request);
        read != SSMSG_OK) {
      return read;
    }
    const ssmsg::CSS_DiffOptions job = JobOf<ssmsg::CSS_DiffOptions>(std::move(request));
    auto box = std::make_unique<DiffBox>();
    ssmsg::CSS_DiffResult diff =
        ssmsg::MakeSiteDiff(old_site->site, new_site->site, job, KeepIn(box->store));
    box->store.AddFailures(diff.failures);
    for (std::string& warning : diff.warnings)
      box->warningTexts.Add(std::move(warning));
    box->controllers_changed = diff.controllersChanged;
    box->messages_written = diff.messagesWritten;
    box->messages_full = diff.messagesFull;
    box->Publish();
    *result = box.release();
    return diff.failures.empty() ? SSMSG_OK : SSMSG_FAILED;
  });
}

void ssmsg_diff_free(ssmsg_diff* diff) {
  delete static_cast<DiffBox*>(diff);
}

ssmsg_status ssmsg_decode(const char* text, size_t length, ssmsg_strings** json,
                          ssmsg_decode_error** error) {
  ClearOut(json);
  ClearOut(error);
  if ((text == nullptr && length > 0) || json == nullptr) return SSMSG_INVALID_ARGUMENT;
  return Guard([&] {
    ssmsg::CSS_Message message;
    ssmsg::CSS_DecodeError failure;
    if (!ssmsg::DecodeMessage(Bytes(text, length), message, failure)) {
      if (error != nullptr) *error = std::make_unique<DecodeErrorBox>(std::move(failure)).release();
      return SSMSG_FAILED;
    }
    std::string out;
    ssmsg::AppendMessageJson(out, message);
    *json = HandOut(std::move(out));
    return SSMSG_OK;
  });
}

void ssmsg_decode_error_free(ssmsg_decode_error* error) {
  delete static_cast<DecodeErrorBox*>(error);
}

ssmsg_status ssmsg_import_new(const ssmsg_site* enums_from, ssmsg_import** import) {
  ClearOut(import);
  if (import == nullptr) return SSMSG_INVALID_ARGUMENT;
  return Guard([&] {
    *import = new ssmsg_import{
        ssmsg::CSS_Import({.enumsFrom = enums_from != nullptr ? &enums_from->site : nullptr})};
    return SSMSG_OK;
  });
}

ssmsg_status ssmsg_import_add_line(ssmsg_import* import, const char* text, size_t length,
                                   const char* source, size_t line) {
  if (import == nullptr || (text == nullptr && length > 0) || import->written) {
    return SSMSG_INVALID_ARGUMENT;
  }
  return Guard([&] {
    const bool applied = import->import.AddLine(Bytes(text, length),
                                                source != nullptr ? source : "<messages>", line);
    return applied ? SSMSG_OK : SSMSG_FAILED;
  });
}

ssmsg_status ssmsg_import_site(ssmsg_import* import, const char* name, ssmsg_site** site) {
  ClearOut(site);
  if (import == nullptr || site == nullptr || import->written) return SSMSG_INVALID_ARGUMENT;
  return Guard([&] {
    // Set first: making the site hands the records over even when it fails halfway.
    import->written = true;
    std::optional<ssmsg::CSS_Site> made =
        import->import.TakeSite(name != nullptr ? name : "<messages>");
    if (!made) return SSMSG_FAILED;
    *site = std::unique_ptr<ssmsg_site>(new ssmsg_site{std::move(*made)}).release();
    return SSMSG_OK;
  });
}

ssmsg_status ssmsg_import_write(ssmsg_import* import, ssmsg_strings** site_text) {
  ClearOut(site_text);
  if (import == nullptr || site_text == nullptr || import->written) return SSMSG_INVALID_ARGUMENT;
  return Guard([&] {
    import->written = true;
    const std::optional<ssmsg::CSS_Site> site = import->import.TakeSite("<messages>");
    if (!site) return SSMSG_FAILED;
    *site_text = HandOut(site->ToJson());
    return SSMSG_OK;
  });
}

ssmsg_status ssmsg_import_errors(const ssmsg_import* import, ssmsg_strings** errors) {
  ClearOut(errors);
  if (import == nullptr || errors == nullptr) return SSMSG_INVALID_ARGUMENT;
  return Guard([&] {
    *errors = HandOut(import->import.Errors());
    return SSMSG_OK;
  });
}

ssmsg_status ssmsg_import_notes(const ssmsg_import* import, ssmsg_strings** notes) {
  ClearOut(notes);
  if (import == nullptr || notes == nullptr) return SSMSG_INVALID_ARGUMENT;
  return Guard([&] {
    *notes = HandOut(import->import.Notes());
    return SSMSG_OK;
  });
}

void ssmsg_import_free(ssmsg_import* import) {
  delete import;
}

ssmsg_status ssmsg_task_table(ssmsg_strings** sends) {
  ClearOut(sends);
  if (sends == nullptr) return SSMSG_INVALID_ARGUMENT;
  return Guard([&] {
    std::vector<std::string> texts;
    for (const ssmsg::CSS_TaskInfo& info : ssmsg::CSS_Manager::TaskTable()) {
      // The list is read by position: task n is item n - 151.
      if (info.task != SSMSG_FIRST_TASK + static_cast<int>(texts.size())) {
        return SSMSG_INTERNAL_ERROR;
      }
      texts.emplace_back(info.sends);
    }
    *sends = HandOut(std::move(texts));
    return SSMSG_OK;
  });
}

ssmsg_status ssmsg_interface_start(int32_t interface_id, int main_interface, const char* ip_address,
                                   int32_t ip_port, ssmsg_strings** messages) {
  if (ip_address == nullptr) {
    ClearOut(messages);
    return SSMSG_INVALID_ARGUMENT;
  }
  return MakeMessage(messages, [&](ssmsg::CSS_StringList& out) {
    return Operations::Interface_Start(interface_id, main_interface != 0, ip_address, ip_port, out);
  });
}

ssmsg_status ssmsg_interface_stop(int32_t interface_id, ssmsg_strings** messages) {
  return MakeMessage(messages, [&](ssmsg::CSS_StringList& out) {
    return Operations::Interface_Stop(interface_id, out);
  });
}

ssmsg_status ssmsg_interface_set_nodes(int32_t interface_id, const uint32_t* add, size_t add_count,
                                       const uint32_t* timeouts, size_t timeout_count,
                                       const uint32_t* remove, size_t remove_count,
                                       ssmsg_strings** messages) {
  ssmsg::CSS_NumberList adds, times, removes;
  if (!NumberList(add, add_count, adds) || !NumberList(timeouts, timeout_count, times) ||
      !NumberList(remove, remove_count, removes)) {
    ClearOut(messages);
    return SSMSG_INVALID_ARGUMENT;
  }
  return MakeMessage(messages, [&](ssmsg::CSS_StringList& out) {
    return Operations::Interface_SetNodes(interface_id, adds, times, removes, out);
  });
}

ssmsg_status ssmsg_interface_poll(int32_t interface_id, const uint32_t* start, size_t start_count,
                                  const uint32_t* stop, size_t stop_count,
                                  ssmsg_strings** messages) {
  ssmsg::CSS_NumberList starts, stops;
  if (!NumberList(start, start_count, starts) || !NumberList(stop, stop_count, stops)) {
    ClearOut(messages);
    return SSMSG_INVALID_ARGUMENT;
  }
  return MakeMessage(messages, [&](ssmsg::CSS_StringList& out) {
    return Operations::Interface_Poll(interface_id, starts, stops, out);
  });
}

ssmsg_status ssmsg_ask_settings(int32_t interface_id, int32_t node, ssmsg_strings** messages) {
  return MakeMessage(messages, [&](ssmsg::CSS_StringList& out) {
    return Operations::Controller_AskSettings(interface_id, node, out);
  });
}
