// What leaves a C function when the library throws: a status, whatever was thrown.

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "capi/c_api_status.h"

namespace ssmsg::capi {
namespace {

TEST(CApiGuard, TurnsWhatIsThrownIntoAStatus) {
  EXPECT_EQ(Guard([] { return SSMSG_FAILED; }), SSMSG_FAILED);
  EXPECT_EQ(Guard([]() -> ssmsg_status { throw std::bad_alloc(); }), SSMSG_OUT_OF_MEMORY);
  EXPECT_EQ(Guard([] {
              std::vector<int>().reserve(std::vector<int>().max_size() + 1);  // length_error
              return SSMSG_OK;
            }),
            SSMSG_OUT_OF_MEMORY);
  EXPECT_EQ(Guard([]() -> ssmsg_status { throw std::runtime_error("x"); }), SSMSG_INTERNAL_ERROR);
  EXPECT_EQ(Guard([]() -> ssmsg_status { throw 1; }), SSMSG_INTERNAL_ERROR);
}

}  // namespace
}  // namespace ssmsg::capi
