#include <gtest/gtest.h>

#include "support.h"

namespace ssmsg::test {
namespace {

using Dispatcher = StoreTest;

TEST_F(Dispatcher, TasksOutsideTheTableFailAndTasksWithoutMessagesSucceed) {
  out = {"kept"};
  for (int task : {-1, 0, 150, 178, 1000})
    EXPECT_FALSE(Run(task)) << task;
  for (int task : {151, 176}) {
    EXPECT_TRUE(Run(task)) << task;
    EXPECT_TRUE(Run(task, 0, -1)) << task;
  }
  EXPECT_EQ(out, CSS_StringList{"kept"});
}

TEST_F(Dispatcher, TaskTableListsEveryTaskOnce) {
  const auto table = CSS_Manager::TaskTable();
  ASSERT_EQ(table.size(), 27u);
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].task, 151 + static_cast<int>(i));
    EXPECT_FALSE(table[i].sends.empty());
  }
}

TEST_F(Dispatcher, AskSettings) {
  out = {"kept"};
  EXPECT_TRUE(manager.Controller_AskSettings(1, 5, out));
  EXPECT_FALSE(manager.Controller_AskSettings(1, -1, out));
  EXPECT_FALSE(manager.Controller_AskSettings(0, 5, out));
  EXPECT_EQ(out, (CSS_StringList{"kept",
                                 "<Command><InterfaceID>1</InterfaceID><MessageType>Controller"
                                 "</MessageType><Action>AskSettings</Action><Parameters><Node>5"
                                 "</Node></Parameters></Command>"}));
}

// Every list transfer reports a bad address as false and appends nothing; every other task
// except the single messages reports true. With an empty store each list transfer sends only its
// clear message.
TEST_F(Dispatcher, ResultRulesOfTheShapes) {
  const int clearThenRecords[] = {153, 154, 155, 156, 157, 161, 165, 168};
  for (int task : clearThenRecords) {
    out.clear();
    EXPECT_FALSE(Run(task, 0, 2)) << task;
    EXPECT_FALSE(Run(task, 1, -1)) << task;
    EXPECT_TRUE(out.empty()) << task;
    EXPECT_TRUE(Run(task)) << task;
    ASSERT_EQ(out.size(), 1u) << task;
    EXPECT_NE(out[0].find("ClearAll</Action>"), std::string::npos) << out[0];
  }
}

}  // namespace
}  // namespace ssmsg::test
