// The platform layer where every system must behave alike: positioned reads beside a stream's
// position, and thread-local objects that are whole when their threads end.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/InputFile.h"

namespace ssmsg {
namespace {

namespace fs = std::filesystem;

TEST(InputFile, ReadsAtOffsetsLeaveTheReadingPositionAlone) {
  const fs::path file =
      fs::path(testing::TempDir()) / ("input." + std::to_string(std::random_device{}()));
  std::ofstream(file, std::ios::binary) << "0123456789";
  {
    int error = 0;
    const std::unique_ptr<InputFile> in = InputFile::Open(file.string(), error);
    ASSERT_TRUE(in) << error;
    EXPECT_EQ(in->Size(), 10u);
    const struct {
      bool at;
      std::uint64_t offset;
      std::string expected;
    } steps[] = {
        {false, 0, "012"}, {true, 5, "567"},  {false, 0, "345"}, {true, 8, "89"},
        {true, 10, ""},    {false, 0, "678"}, {false, 0, "9"},   {false, 0, ""},
    };
    for (const auto& step : steps) {
      char bytes[3];
      const std::int64_t got = step.at ? in->ReadAt(bytes, 3, step.offset) : in->Read(bytes, 3);
      ASSERT_GE(got, 0);
      EXPECT_EQ(std::string(bytes, static_cast<std::size_t>(got)), step.expected)
          << (step.at ? "at " + std::to_string(step.offset) : "read");
    }
  }
  fs::remove(file);
}

// A thread-local object's destructor runs while its storage is still the object's.
std::atomic<int> brokenObjects{0};
struct Probe {
  static constexpr const char* kText = "a thread-local object, whole";
  char text[64];
  Probe() { std::strcpy(text, kText); }
  ~Probe() {
    if (std::strcmp(text, kText) != 0) ++brokenObjects;
  }
};

TEST(ThreadLocal, DestructorsFindTheirObjectsWhole) {
  for (int round = 0; round < 25; ++round) {
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
      threads.emplace_back([] {
        thread_local Probe probe;
        EXPECT_STREQ(probe.text, Probe::kText);
      });
    }
    for (std::thread& thread : threads)
      thread.join();
  }
  EXPECT_EQ(brokenObjects.load(), 0);
}

}  // namespace
}  // namespace ssmsg
