// Outputs and inputs on Windows: what its own names and rules change. A temporary file is a
// living writer's while some process holds it open; devices are streamed into; a file that is
// open cannot be replaced. (The POSIX side has the tool's test of the kinds of output name.)

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/InputFile.h"
#include "platform/OutputFile.h"
#include "support.h"

namespace ssmsg {
namespace {

namespace fs = std::filesystem;

class WindowsFiles : public ::testing::Test {
 protected:
  fs::path folder =
      fs::path(testing::TempDir()) / ("windows." + std::to_string(std::random_device{}()));

  void SetUp() override { fs::create_directories(folder); }
  void TearDown() override { fs::remove_all(folder); }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Path(const std::string& name) const { return (folder / name).string(); }
  static bool WriteWhole(const std::string& name, const std::string& text) {
    OutputFile::Opened opened = OutputFile::Open(name);
    return opened && (*opened)->Write(text) && (*opened)->Commit(true);
  }
};

TEST_F(WindowsFiles, AbandonedTemporaryFilesAreRemovedAndHeldOnesKept) {
  for (const char* name :
       {"site.db.ssmsg-tmp.Abc123", "site.db.ssmsg-tmp.Abc123-wal", "other.ssmsg-tmp.Zzz999",
        "keep.ssmsg-tmp.long-name", "live.ssmsg-tmp.Live00"}) {
    std::ofstream(folder / name) << "x";
  }
  // Held as its writer holds it: open for writing, shared for everything.
  const HANDLE held = ::CreateFileW((folder / "live.ssmsg-tmp.Live00").wstring().c_str(),
                                    GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(WriteWhole(Path("site.db"), "new"));
  ::CloseHandle(held);
  EXPECT_EQ(Names(), (std::vector<std::string>{"keep.ssmsg-tmp.long-name", "live.ssmsg-tmp.Live00",
                                               "site.db"}));
  EXPECT_EQ(test::ReadFile(folder / "site.db"), "new");
}

TEST_F(WindowsFiles, DevicesAreStreamedAndFoldersRefused) {
  fs::create_directories(folder / "sub");
  const struct {
    std::string name;
    bool streamable;
    std::string error;  // the start of the reason; empty: a stream is opened
  } cases[] = {
      {"NUL", true, ""},
      {"nul", true, ""},
      {"NUL", false, "it is a stream (a device, a pipe or standard output)"},
      {"-", false, "it is a stream"},
      {Path("sub"), true, "it is a folder; name a file"},
      {Path("missing/out"), true, "cannot make a file in the folder "},
      {std::string("bad\xFF.txt"), true, "the name is not UTF-8"},
  };
  for (const auto& c : cases) {
    OutputFile::Opened opened = OutputFile::Open(c.name, c.streamable);
    if (c.error.empty()) {
      ASSERT_TRUE(opened) << c.name << ": " << opened.error();
      EXPECT_TRUE((*opened)->IsStream()) << c.name;
      EXPECT_TRUE((*opened)->Write("text")) << c.name;
      EXPECT_TRUE((*opened)->Commit(true)) << c.name;
    } else {
      ASSERT_FALSE(opened) << c.name;
      EXPECT_EQ(opened.error().rfind(c.error, 0), 0u) << c.name << ": " << opened.error();
    }
  }
  EXPECT_EQ(Names(), std::vector<std::string>{"sub"});

  // A pipe that a server has made: what is written comes out at the server's end.
  const std::string pipe = "\\\\.\\pipe\\ssmsg-" + folder.filename().string();
  const HANDLE server = ::CreateNamedPipeW(fs::path(pipe).wstring().c_str(), PIPE_ACCESS_INBOUND,
                                           PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  OutputFile::Opened opened = OutputFile::Open(pipe);
  ASSERT_TRUE(opened) << opened.error();
  EXPECT_TRUE((*opened)->IsStream());
  EXPECT_TRUE((*opened)->Write("through the pipe"));
  EXPECT_TRUE((*opened)->Commit(true));
  char bytes[64];
  DWORD got = 0;
  EXPECT_TRUE(::ReadFile(server, bytes, sizeof bytes, &got, nullptr));
  EXPECT_EQ(std::string(bytes, got), "through the pipe");
  ::CloseHandle(server);
}

// Windows replaces no file that is open, not even one opened to be shared: the write fails, says
// why, and leaves the file whole; once the reader has closed it, it is replaced.
TEST_F(WindowsFiles, AFileBeingReadIsReplacedOnlyOnceClosed) {
  ASSERT_TRUE(WriteWhole(Path("site.json"), "old contents"));
  int error = 0;
  std::unique_ptr<InputFile> reader = InputFile::Open(Path("site.json"), error);
  ASSERT_TRUE(reader) << error;
  OutputFile::Opened opened = OutputFile::Open(Path("site.json"));
  ASSERT_TRUE(opened) << opened.error();
  EXPECT_TRUE((*opened)->Write("new contents"));
  EXPECT_FALSE((*opened)->Commit(true));
  EXPECT_EQ((*opened)->Error(), EACCES);
  char bytes[32];
  const std::int64_t got = reader->Read(bytes, sizeof bytes);
  EXPECT_EQ(std::string(bytes, static_cast<std::size_t>(std::max<std::int64_t>(got, 0))),
            "old contents");
  reader.reset();
  EXPECT_EQ(Names(), std::vector<std::string>{"site.json"});
  EXPECT_TRUE(WriteWhole(Path("site.json"), "new contents"));
  EXPECT_EQ(test::ReadFile(folder / "site.json"), "new contents");
}

}  // namespace
}  // namespace ssmsg
