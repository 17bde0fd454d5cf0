#include "jobs/JobHost.h"

#include "core/CSS_Command.h"
#include "host/CSS_ThreadHost.h"
#include "manager/CSS_ManagerBuilders.h"

namespace ssmsg {

bool JobHost::Build(ApplicationManagerTask task, const CSS_ControllerAddress& address,
                    CSS_StringList& out, std::vector<std::int32_t>* records) {
  const CSS_ThreadHost host({&store_, &enums_, &clock_});
  if (records == nullptr) {
    return CSS_Manager::Builders::Dispatch(task, address.interfaceId, address.node, out);
  }
  const CSS_RecordTrail trail(*records);
  return CSS_Manager::Builders::Dispatch(task, address.interfaceId, address.node, out);
}

}  // namespace ssmsg
