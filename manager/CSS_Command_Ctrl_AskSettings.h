#pragma once

#include "commands/CSS_MessageCatalog.h"
#include "core/CSS_Command.h"

namespace ssmsg {

// "AskSettings": asks a controller to report its settings; carries only the node number.
using CSS_Command_Ctrl_AskSettings = CSS_NodeOnlyCommand<CSS_Command_Ctrl, kAskSettingsMessage>;

}  // namespace ssmsg
