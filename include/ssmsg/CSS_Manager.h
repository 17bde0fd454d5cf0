#pragma once

/// \file
/// The facade CSS_Manager, the one way into the library's messages, and the settings tasks 151 to
/// 177 that it builds, with what each sends.

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include <ssmsg/CSS_Types.h>
#include <ssmsg/export.h>

namespace ssmsg {

/// The configuration tasks that MakeSendSettings accepts, 151 to 177, each named after what it
/// sends. Tasks 151 and 176 send nothing.
enum ApplicationManagerTask : int {
  kTaskReserved151 = 151,
  kTaskClock = 152,                ///< SetRTC
  kTaskHolidays = 153,             ///< HolidayClearAll, HolidaySetup
  kTaskTimeGroups = 154,           ///< TimeGroupClearAll, TimeGroupSetup
  kTaskTimeZones = 155,            ///< TimeZoneClearAll, TimeZoneSetup
  kTaskSerialPorts = 156,          ///< CommPortClearAll, CommPortSetup
  kTaskFieldLan = 157,             ///< FLAN_MasterClearAll, FLAN_MasterSetup
  kTaskDbMode = 158,               ///< SetDbMode
  kTaskDbSize = 159,               ///< SetDbSize
  kTaskExpanders = 160,            ///< SetExpanders
  kTaskInputTypes = 161,           ///< InputClearAll, InputType
  kTaskInputNames = 162,           ///< InputName
  kTaskInputTiming = 163,          ///< InputTime
  kTaskInputLinks = 164,           ///< InputLink
  kTaskOutputTypes = 165,          ///< OutputClearAll, OutputType
  kTaskOutputNames = 166,          ///< OutputName
  kTaskOutputTiming = 167,         ///< OutputTime
  kTaskReaderConfiguration = 168,  ///< ReaderClearAll, SetConfiguration
  kTaskReaderNames = 169,          ///< ReaderName
  kTaskCardControl = 170,          ///< SetCardControl
  kTaskCardLocation = 171,         ///< SetCardLocation
  kTaskCardStructure = 172,        ///< SetCardStructure
  kTaskCheckSetup = 173,           ///< SetCheckSetup
  kTaskAccessAlarms = 174,         ///< AccessAlarm
  kTaskXtraName = 175,             ///< SetName
  kTaskReserved176 = 176,
  kTaskXtraMode = 177,  ///< SetVORAN_Mode

  kFirstSettingsTask = kTaskReserved151,
  kLastSettingsTask = kTaskXtraMode,
};

/// Every task in ascending order: kSettingsTasks[n - 151] is task n.
inline constexpr std::array<ApplicationManagerTask, kLastSettingsTask - kFirstSettingsTask + 1>
    kSettingsTasks = {
        kTaskReserved151,   kTaskClock,        kTaskHolidays,
        kTaskTimeGroups,    kTaskTimeZones,    kTaskSerialPorts,
        kTaskFieldLan,      kTaskDbMode,       kTaskDbSize,
        kTaskExpanders,     kTaskInputTypes,   kTaskInputNames,
        kTaskInputTiming,   kTaskInputLinks,   kTaskOutputTypes,
        kTaskOutputNames,   kTaskOutputTiming, kTaskReaderConfiguration,
        kTaskReaderNames,   kTaskCardControl,  kTaskCardLocation,
        kTaskCardStructure, kTaskCheckSetup,   kTaskAccessAlarms,
        kTaskXtraName,      kTaskReserved176,  kTaskXtraMode,
};

/// The task numbered `number`.
/// \param number a task number
/// \return the task, or nothing when no task has that number
constexpr std::optional<ApplicationManagerTask> FindSettingsTask(long long number) {
  if (number < kFirstSettingsTask || number > kLastSettingsTask) return std::nullopt;
  return kSettingsTasks[static_cast<std::size_t>(number - kFirstSettingsTask)];
}

/// One row of the task table: what a settings task sends.
struct CSS_TaskInfo {
  ApplicationManagerTask task;  ///< the task
  std::string_view sends;       ///< e.g. "InputClearAll, then InputType per input"
};

/// The facade: the one way into the library. Each operation builds messages and appends them to
/// the caller's list; nothing is sent. Operations keep no state between calls; the configuration
/// they send is read from the store that gl_GetApplicationManagerStd returns.
class SSMSG_API CSS_Manager {
 public:
  /// Makes the new manager the one that gl_Get_SS_Manager returns.
  CSS_Manager();
  /// Makes the new manager the one that gl_Get_SS_Manager returns; managers hold no data.
  CSS_Manager(const CSS_Manager&);
  /// A manager that is destroyed while it is the current one is no longer returned.
  ~CSS_Manager();
  /// Managers hold no data: assignment copies nothing.
  /// \return this manager
  CSS_Manager& operator=(const CSS_Manager&) { return *this; }

  /// \name Interface control
  /// Each appends one message and returns true, or appends nothing and returns false (interface
  /// number below 1; both relevant node lists empty).
  ///@{

  /// Starts interface `interfaceId`.
  /// \param interfaceId the interface, 1 or more
  /// \param main whether it is the main interface
  /// \param ipAddress its IP address
  /// \param ipPort its IP port
  /// \param out the list the message is appended to
  /// \return whether the message was made
  bool Interface_Start(int interfaceId, bool main, std::string_view ipAddress, int ipPort,
                       CSS_StringList& out);
  /// Stops interface `interfaceId`.
  /// \param interfaceId the interface, 1 or more
  /// \param out the list the message is appended to
  /// \return whether the message was made
  bool Interface_Stop(int interfaceId, CSS_StringList& out);
  /// Tells interface `interfaceId` which nodes to serve.
  /// \param interfaceId the interface, 1 or more
  /// \param add nodes to add
  /// \param timeouts a timeout for each added node
  /// \param remove nodes to remove
  /// \param out the list the message is appended to
  /// \return whether the message was made
  bool Interface_SetNodes(int interfaceId, CSS_NumberList add, CSS_NumberList timeouts,
                          CSS_NumberList remove, CSS_StringList& out);
  /// Starts and stops polling nodes on interface `interfaceId`.
  /// \param interfaceId the interface, 1 or more
  /// \param start nodes to start polling
  /// \param stop nodes to stop polling
  /// \param out the list the message is appended to
  /// \return whether the message was made
  bool Interface_Poll(int interfaceId, CSS_NumberList start, CSS_NumberList stop,
                      CSS_StringList& out);
  ///@}

  /// Asks controller `node` to report its settings. false (nothing appended) for an interface
  /// number below 1 or a node below 0.
  /// \param interfaceId the interface, 1 or more
  /// \param node the controller's node, 0 or more
  /// \param out the list the message is appended to
  /// \return whether the message was made
  bool Controller_AskSettings(int interfaceId, int node, CSS_StringList& out);

  /// Appends the messages of one configuration task for controller `node`. false for a task
  /// outside 151 to 177; otherwise the result of the task's builder (see TaskTable).
  /// \param task the task
  /// \param interfaceId the controller's interface
  /// \param node the controller's node
  /// \param out the list the messages are appended to
  /// \return whether the task succeeded
  bool MakeSendSettings(ApplicationManagerTask task, int interfaceId, int node,
                        CSS_StringList& out);

  /// What each task sends.
  /// \return a row for each task 151 to 177, in task order
  static std::span<const CSS_TaskInfo> TaskTable();

  /// The per-task builders (MakeSendCommands_<group>_<name>) and the task table. Defined in the
  /// library only: to a consumer this is an incomplete type.
  struct SSMSG_LOCAL Builders;
};

/// The current manager.
/// \return the most recently constructed manager that still exists, or null
SSMSG_API CSS_Manager* gl_Get_SS_Manager();

}  // namespace ssmsg
