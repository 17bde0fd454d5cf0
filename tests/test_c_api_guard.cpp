// What leaves a C function when the library throws: a status, whatever was thrown.

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

#include "capi/c_api_status.h"

namespace ssmsg::capi {
namespace {

TEST(CApiGuard, TurnsWhatIsThrownIntoAStatus) {
  const struct {
    const char* what;
    std::function<ssmsg_status()> body;
    ssmsg_status expected;
  } cases[] = {
      {"a status", [] { return SSMSG_FAILED; }, SSMSG_FAILED},
      {"bad_alloc", []() -> ssmsg_status { throw std::bad_alloc(); }, SSMSG_OUT_OF_MEMORY},
      {"a container beyond its size",
       [] {
         std::vector<int> numbers;
         numbers.reserve(numbers.max_size() + 1);
         return SSMSG_OK;
       },
       SSMSG_OUT_OF_MEMORY},
      {"out_of_range", [] { return std::vector<ssmsg_status>().at(0); }, SSMSG_INTERNAL_ERROR},
      {"runtime_error", []() -> ssmsg_status { throw std::runtime_error("x"); },
       SSMSG_INTERNAL_ERROR},
      {"not an exception", []() -> ssmsg_status { throw 1; }, SSMSG_INTERNAL_ERROR},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Guard(c.body), c.expected) << c.what;
}

}  // namespace
}  // namespace ssmsg::capi
