#include <ssmsg/CSApplicationManagerStd.h>

#include "host/CSS_ThreadHost.h"

namespace ssmsg {
namespace {

using Service = CSS_HostService<CSApplicationManagerStd, &CSS_HostParts::store>;

}  // namespace

CSApplicationManagerStd* gl_GetApplicationManagerStd() {
  return Service::Current();
}

CSApplicationManagerStd* gl_SetApplicationManagerStd(CSApplicationManagerStd* store) {
  return Service::Install(store);
}

}  // namespace ssmsg
