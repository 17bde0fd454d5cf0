#pragma once

#include <ssmsg/CSDevice_Containers.h>
#include <ssmsg/CSDevice_Records.h>
#include <ssmsg/CSDevice_Resource.h>
#include <ssmsg/export.h>

namespace ssmsg {

// The configuration store: every record of the current controller. A host (or the site-file
// loader) fills it for one controller, then asks the manager for that controller's messages.
// The builders only read it.
class CSApplicationManagerStd {
 public:
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

  // Empties every record and container, ready for the next controller.
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

// The store that the builders read: the one installed with gl_SetApplicationManagerStd, or the
// library's own when none is installed. Never null.
SSMSG_API CSApplicationManagerStd* gl_GetApplicationManagerStd();

// Installs `store` as the store that the builders read (null: the library's own again) and
// returns the one installed before. The caller keeps ownership and keeps the store alive while it
// is installed.
SSMSG_API CSApplicationManagerStd* gl_SetApplicationManagerStd(CSApplicationManagerStd* store);

}  // namespace ssmsg
