#include <gtest/gtest.h>

#include "support.h"

namespace ssmsg::test {
namespace {

using Dispatcher = StoreTest;

TEST_F(Dispatcher, TasksOutsideTheTableFailAndTasksWithoutMessagesSucceed) {
  out = {"kept"};
  for (int task : {-1, 0, 150, 178, 1000})
    EXPECT_FALSE(Run(task)) << task;
  for (int task : {151, 176})
    EXPECT_TRUE(Run(task)) << task;
  for (int task : {151, 176, 177})  // the XTRA mode too, whose failure the task does not report
    EXPECT_TRUE(Run(task, 0, -1)) << task;
  EXPECT_EQ(out, CSS_StringList{"kept"});
}

// A list transfer or a single message reports a bad address as false and appends nothing, even
// with records to send; with an empty store a list transfer sends its clear message alone. (The
// tasks of records and names report true for any address: their own tests show it.)
TEST_F(Dispatcher, BadAddressFailsListTransfersAndSingleMessages) {
  const int tasks[] = {152, 153, 154, 155, 156, 157, 158, 159, 160, 161, 165, 168};
  for (int task : tasks) {
    out.clear();
    EXPECT_TRUE(Run(task, 1, 0)) << task;
    ASSERT_EQ(out.size(), 1u) << task;
    EXPECT_NE(out[0].find("<Node>0</Node>"), std::string::npos) << task;
    const bool single = task == 152 || (task >= 158 && task <= 160);
    EXPECT_EQ(out[0].find("ClearAll</Action>") == std::string::npos, single) << out[0];
  }
  CSDevice_Resource& r = store.GetResource();
  r.SetComms(1), r.SetCommsFLAN(1), r.SetTimeZones(1), r.SetTimeGroups(1);
  r.SetInputs(1), r.SetOutputs(1), r.SetReaders(1);
  store.GetPort().Set(0, {}), store.GetFLan_Setup().Set(0, {}), store.GetHoliday().Set(0, {});
  store.GetTimeZone().Set(1, {}), store.GetTimeGroupZone().SetGroup(1, {{.ZoneNo = 1}});
  store.GetInputType().Set(0, {}), store.GetOutputType().Set(0, {});
  store.GetRdConfiguration().Set(0, {});
  for (int task : tasks) {
    out.clear();
    EXPECT_FALSE(Run(task, 0, 2) || Run(task, -1, 2) || Run(task, 1, -1)) << task;
    EXPECT_TRUE(out.empty()) << task;
  }
}

}  // namespace
}  // namespace ssmsg::test
