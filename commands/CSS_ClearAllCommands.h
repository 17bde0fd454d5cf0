#pragma once

// The clear-all messages that open a list transfer. Each carries nothing but the node number;
// the builders send one before the records of its list and send no record when it fails.

#include "commands/CSS_MessageCatalog.h"
#include "core/CSS_Command.h"

namespace ssmsg {

using CSS_Command_Ctrl_FLanClearAll = CSS_NodeOnlyCommand<CSS_Command_Ctrl, kFLanClearAllMessage>;
using CSS_Command_Ctrl_PortClearAll =
    CSS_NodeOnlyCommand<CSS_Command_Ctrl, kCommPortClearAllMessage>;
using CSS_Command_G_HolidayClear = CSS_NodeOnlyCommand<CSS_Command_G, kHolidayClearAllMessage>;
using CSS_Command_G_TZ_ClearAll = CSS_NodeOnlyCommand<CSS_Command_G, kTimeZoneClearAllMessage>;
using CSS_Command_G_TG_ClearAll = CSS_NodeOnlyCommand<CSS_Command_G, kTimeGroupClearAllMessage>;
using CSS_Command_I_ClearAll = CSS_NodeOnlyCommand<CSS_Command_I, kInputClearAllMessage>;
using CSS_Command_O_ClearAll = CSS_NodeOnlyCommand<CSS_Command_O, kOutputClearAllMessage>;
using CSS_Command_R_ClearAll = CSS_NodeOnlyCommand<CSS_Command_R, kReaderClearAllMessage>;

}  // namespace ssmsg
