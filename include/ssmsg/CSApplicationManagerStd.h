#pragma once

/// \file
/// The configuration store: every record of the controller whose messages are being built, and
/// the process-wide store that the facade's builders read.

#include <ssmsg/CSDevice_Containers.h>
#include <ssmsg/CSDevice_Records.h>
#include <ssmsg/CSDevice_Resource.h>
#include <ssmsg/export.h>

namespace ssmsg {

/// The configuration store: every record of the current controller. A host (or the site-file
/// loader) fills it for one controller, then asks the manager for that controller's messages.
/// The builders only read it.
///
/// Each part of SSMSG_STORE_PARTS has a getter of its name, const and not: GetConfig(),
/// GetResource(), GetXTRA(), GetFLan_Setup(), GetPort(), GetHoliday(), GetTimeZone(),
/// GetTimeGroupZone(), GetInputType(), GetInputTime(), GetInputLink(), GetOutputType(),
/// GetOutputTime(), GetRdConfiguration(), GetRdCardControl(), GetRdCardLocation(),
/// GetRdCardStructure() and GetRdAccessAlarm().
class CSApplicationManagerStd {
 public:
/// The parts of the store: X(name, type) for each record or list of records.
#define SSMSG_STORE_PARTS(X)                   \
  X(Config, CSDevice_Config)                   \
  X(Resource, CSDevice_Resource)               \
  X(XTRA, CSDevice_XTRA)                       \
  X(FLan_Setup, CSDevice_FLanSetup)            \
  X(Port, CSDevice_Port)                       \
  X(Holiday, CSDevice_Holiday)                 \
  X(TimeZone, CSDevice_TimeZone)               \
  X(TimeGroupZone, CSDevice_TimeGroupZone)     \
  X(InputType, CSDevice_InputType)             \
  X(InputTime, CSDevice_InputTime)             \
  X(InputLink, CSDevice_InputLink)             \
  X(OutputType, CSDevice_OutputType)           \
  X(OutputTime, CSDevice_OutputTime)           \
  X(RdConfiguration, CSDevice_RdConfiguration) \
  X(RdCardControl, CSDevice_RdCardControl)     \
  X(RdCardLocation, CSDevice_RdCardLocation)   \
  X(RdCardStructure, CSDevice_RdCardStructure) \
  X(RdAccessAlarm, CSDevice_RdAccessAlarm)

#define SSMSG_STORE_GETTERS(name, type) \
  const type& Get##name() const {       \
    return name##_;                     \
  }                                     \
  type& Get##name() {                   \
    return name##_;                     \
  }
  SSMSG_STORE_PARTS(SSMSG_STORE_GETTERS)
#undef SSMSG_STORE_GETTERS

  /// Empties every record and container, ready for the next controller.
  void Clear() {
#define SSMSG_STORE_CLEAR(name, type) name##_.Clear();
    SSMSG_STORE_PARTS(SSMSG_STORE_CLEAR)
#undef SSMSG_STORE_CLEAR
  }

 private:
#define SSMSG_STORE_FIELDS(name, type) type name##_;
  SSMSG_STORE_PARTS(SSMSG_STORE_FIELDS)
#undef SSMSG_STORE_FIELDS
};

/// The store that the builders read: the one installed with gl_SetApplicationManagerStd, or the
/// library's own when none is installed.
/// \return the store, never null
SSMSG_API CSApplicationManagerStd* gl_GetApplicationManagerStd();

/// Installs `store` as the store that the builders read (null: the library's own again) and
/// returns the one installed before. The caller keeps ownership and keeps the store alive while it
/// is installed.
/// \param store the store to install, or null for the library's own
/// \return the store installed before
SSMSG_API CSApplicationManagerStd* gl_SetApplicationManagerStd(CSApplicationManagerStd* store);

}  // namespace ssmsg
