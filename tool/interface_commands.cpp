// The subcommands that make the facade's single operations: ask-settings and the interface
// control messages (interface start, stop, set-nodes, poll).

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <ssmsg/CSS_Manager.h>

#include "command.h"

namespace ssmsg::tool {
namespace {

// The options of every subcommand here; each uses the ones it declares.
struct OperationOptions {
  std::int32_t interfaceId = 0;
  std::int32_t node = 0;
  bool main = false;
  std::string ip;
  std::int32_t port = 0;
  std::string add, timeouts, remove, start, stop;
  Format format = Format::Lines;
  std::string output;
};

// Writes the messages of one facade operation; `why` says why it returned false.
int Finish(bool done, const CSS_StringList& messages, const OperationOptions& options,
           std::int32_t node, const std::string& operation, const std::string& why,
           Output& output) {
  MessageWriter writer(options.format, output);
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

int RunAskSettings(const OperationOptions& options, const CLI::App&, Output& output) {
  CSS_Manager manager;
  CSS_StringList messages;
  const bool done = manager.Controller_AskSettings(options.interfaceId, options.node, messages);
  const std::string why = options.interfaceId < 1
                              ? BelowOne(options.interfaceId)
                              : "node " + std::to_string(options.node) + " is below 0";
  return Finish(done, messages, options, options.node, "ask-settings", why, output);
}

int RunStart(const OperationOptions& options, const CLI::App&, Output& output) {
  CSS_Manager manager;
  CSS_StringList messages;
  const bool done = manager.Interface_Start(options.interfaceId, options.main, options.ip,
                                            options.port, messages);
  return Finish(done, messages, options, -1, "interface start", BelowOne(options.interfaceId),
                output);
}

int RunStop(const OperationOptions& options, const CLI::App&, Output& output) {
  CSS_Manager manager;
  CSS_StringList messages;
  const bool done = manager.Interface_Stop(options.interfaceId, messages);
  return Finish(done, messages, options, -1, "interface stop", BelowOne(options.interfaceId),
                output);
}

int RunSetNodes(const OperationOptions& options, const CLI::App&, Output& output) {
  std::vector<std::vector<std::uint32_t>> lists;
  if (!ReadLists({{"--add", &options.add},
                  {"--timeouts", &options.timeouts},
                  {"--remove", &options.remove}},
                 lists)) {
    return kBadInput;
  }
  CSS_Manager manager;
  CSS_StringList messages;
  const bool done =
      manager.Interface_SetNodes(options.interfaceId, lists[0], lists[1], lists[2], messages);
  const std::string why = lists[0].empty() && lists[2].empty() ? "no node to add or remove"
                                                               : BelowOne(options.interfaceId);
  return Finish(done, messages, options, -1, "interface set-nodes", why, output);
}

int RunPoll(const OperationOptions& options, const CLI::App&, Output& output) {
  std::vector<std::vector<std::uint32_t>> lists;
  if (!ReadLists({{"--start", &options.start}, {"--stop", &options.stop}}, lists)) {
    return kBadInput;
  }
  CSS_Manager manager;
  CSS_StringList messages;
  const bool done = manager.Interface_Poll(options.interfaceId, lists[0], lists[1], messages);
  const std::string why = lists[0].empty() && lists[1].empty() ? "no node to start or stop"
                                                               : BelowOne(options.interfaceId);
  return Finish(done, messages, options, -1, "interface poll", why, output);
}

// A subcommand of one facade operation on interface I.
template <class Run>
std::pair<CLI::App*, OperationOptions*> AddOperation(CLI::App& parent, const std::string& name,
                                                     CSS_Chosen& chosen, Run run) {
  const auto added = AddCommand<OperationOptions>(parent, name, chosen, run);
  AddInterface(*added.first, added.second->interfaceId)->required();
  return added;
}

void AddFormatAndOutput(CLI::App& command, OperationOptions& options) {
  AddFormat(command, options.format);
  AddOutput(command, options.output);
}

}  // namespace

void AddAskSettingsCommand(CLI::App& app, CSS_Chosen& chosen) {
  const auto [ask, options] = AddOperation(app, "ask-settings", chosen, RunAskSettings);
  ask->add_option("--node", options->node, "node number N")->required();
  AddFormatAndOutput(*ask, *options);
}

void AddInterfaceCommand(CLI::App& app, CSS_Chosen& chosen) {
  CLI::App* interface = AddGroup(app, "interface");

  const auto [start, startOptions] = AddOperation(*interface, "start", chosen, RunStart);
  start->add_flag("--main", startOptions->main, "make it the main interface (default: ordinary)");
  start->add_option("--ip", startOptions->ip, "IP address")->required();
  start->add_option("--port", startOptions->port, "IP port")->required();
  AddFormatAndOutput(*start, *startOptions);

  const auto [stop, stopOptions] = AddOperation(*interface, "stop", chosen, RunStop);
  AddFormatAndOutput(*stop, *stopOptions);

  const auto [setNodes, nodeOptions] = AddOperation(*interface, "set-nodes", chosen, RunSetNodes);
  setNodes->add_option("--add", nodeOptions->add, "nodes to add, e.g. 1,2,3");
  setNodes->add_option("--timeouts", nodeOptions->timeouts, "a timeout for each added node");
  setNodes->add_option("--remove", nodeOptions->remove, "nodes to remove");
  AddFormatAndOutput(*setNodes, *nodeOptions);

  const auto [poll, pollOptions] = AddOperation(*interface, "poll", chosen, RunPoll);
  poll->add_option("--start", pollOptions->start, "nodes to start polling, e.g. 1,2,3");
  poll->add_option("--stop", pollOptions->stop, "nodes to stop polling");
  AddFormatAndOutput(*poll, *pollOptions);
}

}  // namespace ssmsg::tool
