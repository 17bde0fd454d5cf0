#pragma once

// The clear-all messages that open a list transfer. Each carries nothing but the node number;
// the builders send one before the records of its list and send no record when it fails.

#include "core/CSS_Command.h"

namespace ssmsg {

using CSS_Command_Ctrl_FLanClearAll = CSS_NodeOnlyCommand<CSS_Command_Ctrl, "FLAN_MasterClearAll">;
using CSS_Command_Ctrl_PortClearAll = CSS_NodeOnlyCommand<CSS_Command_Ctrl, "CommPortClearAll">;
using CSS_Command_G_HolidayClear = CSS_NodeOnlyCommand<CSS_Command_G, "HolidayClearAll">;
using CSS_Command_G_TZ_ClearAll = CSS_NodeOnlyCommand<CSS_Command_G, "TimeZoneClearAll">;
using CSS_Command_G_TG_ClearAll = CSS_NodeOnlyCommand<CSS_Command_G, "TimeGroupClearAll">;
using CSS_Command_I_ClearAll = CSS_NodeOnlyCommand<CSS_Command_I, "InputClearAll">;
using CSS_Command_O_ClearAll = CSS_NodeOnlyCommand<CSS_Command_O, "OutputClearAll">;
using CSS_Command_R_ClearAll = CSS_NodeOnlyCommand<CSS_Command_R, "ReaderClearAll">;

}  // namespace ssmsg
