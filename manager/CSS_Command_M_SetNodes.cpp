#include "manager/CSS_Command_M_SetNodes.h"

#include "core/CSS_Format.h"

namespace ssmsg {

bool CSS_Command_M_SetNodes::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr || (add_.empty() && remove_.empty())) return false;
  if (!add_.empty()) {
    std::string add;
    JoinNumbers(add, add_);
    // Timeouts pair up with the added nodes by position: a missing timeout is sent as 0, and a
    // longer timeout list is sent whole.
    std::string timeouts;
    JoinNumbers(timeouts, timeouts_);
    for (std::size_t i = timeouts_.size(); i < add_.size(); ++i) {
      timeouts.append(timeouts.empty() ? "0" : ",0");
    }
    parameters->AddChild(kAddNodes.name, add);
    parameters->AddChild(kNodeTimeouts.name, timeouts);
  }
  if (!remove_.empty()) {
    std::string remove;
    JoinNumbers(remove, remove_);
    parameters->AddChild(kRemoveNodes.name, remove);
  }
  return true;
}

}  // namespace ssmsg
