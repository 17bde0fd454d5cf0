#include "manager/CSS_Command_M_Poll.h"

#include "core/CSS_Format.h"

namespace ssmsg {

bool CSS_Command_M_Poll::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr || (start_.empty() && stop_.empty())) return false;
  std::string text;
  if (!start_.empty()) {
    JoinNumbers(text, start_);
    parameters->AddChild(kStartPolling.name, text);
  }
  if (!stop_.empty()) {
    text.clear();
    JoinNumbers(text, stop_);
    parameters->AddChild(kStopPolling.name, text);
  }
  return true;
}

}  // namespace ssmsg
