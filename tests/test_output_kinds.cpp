// What an output name may be, for every subcommand that writes a file: a regular file, no file
// yet, a symbolic link (also a chain of them, and one that points at nothing yet), a character
// device, a FIFO with a reader, standard output ("-"), a folder, and a name in a folder that
// cannot exist. Links stay links, devices and FIFOs stay what they are, and a name that cannot
// take the output is refused before anything is written. Everything happens in the test's own
// folder: its device is a node of its own, made with mknod.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shell.h"

namespace ssmsg {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using Result = test::ShellResult;

// A subcommand that writes to OUT, with what it writes to standard output.
struct Writer {
  std::string name;
  std::string command;  // "OUT" stands for the output's name
  bool database = false;
};

const Writer kWriters[] = {
    {"convert to a site file", "convert demo.json OUT --to json"},
    {"convert to a database", "convert demo.json OUT --to sqlite", true},
    {"settings", "settings --time 2026-12-04T09:05:07 --output OUT"},
    {"import", "import sent.txt --output OUT"},
    {"report", "report --output OUT"},
    {"demo-site", "demo-site --output OUT"},
};

class OutputKinds : public ::testing::Test {
 protected:
  fs::path folder =
      fs::path(testing::TempDir()) / ("ssmsg_output_kinds." + std::to_string(getpid()));

  void SetUp() override {
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(SSMSG_SOURCE_DIR "/site/demo_site.json", folder / "demo.json");
    ASSERT_EQ(Shell("\"$SSMSG\" settings --config demo.json --task 161,162 >sent.txt").status, 0);
  }
  void TearDown() override { fs::remove_all(folder); }

  Result Shell(const std::string& script) {
    // The shell's files lie beside the folder: the tests count what is in it.
    return test::RunShell("SSMSG='" SSMSG_TOOL "'\n" + script, folder, folder.string() + ".out",
                          folder.string() + ".err");
  }
  static std::string With(const Writer& writer, const std::string& out) {
    std::string command = writer.command;
    command.replace(command.find("OUT"), 3, out);
    return "\"$SSMSG\" " + command;
  }
  // What `writer` writes: its standard output, or for a database the site file it holds.
  std::string Expected(const Writer& writer) {
    const Result result = Shell(writer.database ? With(writer, "expected.db") + " && " +
                                                      Read("expected.db") + " && rm expected.db"
                                                : With(writer, "-"));
    EXPECT_EQ(result.status, 0) << writer.name << result.err;
    return result.out;
  }
  // Shell commands that write the site file that the database `name` holds. A copy is read: a
  // reader leaves SQLite's -wal and -shm files beside a database, which the tests would count.
  static std::string Read(const std::string& name) {
    return "cp '" + name + "' read.db && \"$SSMSG\" convert read.db - --to json && rm read.db*";
  }
  // What the file `name` holds, read as its writer wrote it.
  std::string Holds(const Writer& writer, const std::string& name) {
    if (!writer.database) return ReadFile(folder / name);
    return Shell(Read(name)).out;
  }
  // The names in the folder besides those SetUp made, sorted.
  std::vector<std::string> Extra() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name != "demo.json" && name != "sent.txt") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(OutputKinds, FilesAndLinksAreReplacedThroughTheirTargets) {
  const mode_t mask = umask(0);
  umask(mask);
  for (const Writer& writer : kWriters) {
    const std::string expected = Expected(writer);
    ASSERT_GT(expected.size(), 100u) << writer.name;  // a run that wrote nothing proves nothing
    const struct {
      std::string kind;
      std::string setup;               // shell commands that make the name "out"
      std::string target;              // the file that gets the output
      std::vector<std::string> names;  // every name in the folder afterwards
    } cases[] = {
        {"no file yet", "", "out", {"out"}},
        {"a regular file", "echo old >out && chmod 640 out", "out", {"out"}},
        {"a link", "echo old >real && chmod 640 real && ln -s real out", "real", {"out", "real"}},
        {"a chain of links",
         "mkdir d && echo old >d/real && chmod 640 d/real && ln -s d/real b && ln -s b out",
         "d/real",
         {"b", "d", "out"}},
        {"a link to nothing yet",
         "mkdir d e && ln -s d/new sub && ln -s ../sub e/out && ln -s e/out out",
         "d/new",
         {"d", "e", "out", "sub"}},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(writer.name + ", " + c.kind);
      for (const std::string& name : Extra())
        fs::remove_all(folder / name);
      ASSERT_EQ(Shell(c.setup.empty() ? "true" : c.setup).status, 0);
      const bool existed = fs::exists(folder / c.target);
      const Result result = Shell(With(writer, "out"));
      EXPECT_EQ(result.status, 0) << result.err;
      EXPECT_TRUE(Holds(writer, c.target) == expected);
      EXPECT_EQ(Extra(), c.names);  // no temporary file left
      if (c.kind != "no file yet" && c.kind != "a link to nothing yet") {
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "out")) ||
                    c.kind == "a regular file");
      }
      EXPECT_EQ(fs::status(folder / c.target).permissions(),
                fs::perms(existed           ? 0640
                          : writer.database ? 0600
                                            : 0666 & ~mask));
    }
  }
}

TEST_F(OutputKinds, StreamsAreWrittenStraightAndDatabasesRefuseThem) {
  const bool haveDevice = Shell("mknod null c 1 3").status == 0;  // as /dev/null, but ours
  for (const Writer& writer : kWriters) {
    SCOPED_TRACE(writer.name);
    const std::string expected = Expected(writer);
    ASSERT_GT(expected.size(), 100u);
    const std::string refused =
        "out: cannot write the database: it is a stream (a device, a FIFO, a socket or standard "
        "output): a database cannot be written into one; name a file\n";

    // A FIFO with a reader; the tool must not hang waiting for one when it refuses.
    const Result fifo =
        Shell("mkfifo out && { cat out >got & } && timeout 20 " + With(writer, "out") +
              "; echo \"status $?\"; " + (writer.database ? "echo >out; " : "") + "wait; rm out");
    EXPECT_EQ(fifo.out, writer.database ? "status 2\n" : "status 0\n") << fifo.err;
    if (writer.database) {
      EXPECT_EQ(fifo.err, refused);
    } else {
      EXPECT_TRUE(ReadFile(folder / "got") == expected);
    }
    fs::remove(folder / "got");

    // Standard output, by "-" and by the name of its descriptor.
    for (const std::string name : {"-", "/dev/stdout", "/dev/fd/1"}) {
      const Result out = Shell(With(writer, name) + " | cat");
      if (writer.database) {
        EXPECT_NE(out.err.find("cannot write the database: it is a stream"), std::string::npos)
            << name;
        EXPECT_EQ(out.out, "") << name;
      } else {
        EXPECT_TRUE(out.out == expected) << name << ": " << out.err;
      }
    }

    if (haveDevice) {
      const Result device = Shell(With(writer, "null"));
      EXPECT_EQ(device.status, writer.database ? 2 : 0) << device.err;
      struct stat status {};
      ASSERT_EQ(::lstat((folder / "null").c_str(), &status), 0);
      EXPECT_TRUE(S_ISCHR(status.st_mode)) << "the device was replaced";
    }
    EXPECT_EQ(Extra(), haveDevice ? std::vector<std::string>{"null"} : std::vector<std::string>{});
  }
}

TEST_F(OutputKinds, NamesThatCannotTakeTheOutputAreRefusedUnchanged) {
  for (const Writer& writer : kWriters) {
    const struct {
      std::string kind;
      std::string setup;
      std::string name;
      std::string reason;
      std::string kept;  // a file whose contents stay
    } cases[] = {
        {"a folder", "mkdir out && echo keep >out/inside", "out", "it is a folder; name a file",
         "out/inside"},
        {"a folder that cannot exist", "echo keep >file", "file/out",
         "cannot make a file in the folder ", "file"},
        {"a loop of links", "ln -s a b && ln -s b a", "a", "cannot follow its links", ""},
    };
    for (const auto& c : cases) {
      // A folder is where the report writes a page per controller.
      if (writer.name == "report" && c.kind == "a folder") continue;
      SCOPED_TRACE(writer.name + ", " + c.kind);
      for (const std::string& name : Extra())
        fs::remove_all(folder / name);
      ASSERT_EQ(Shell(c.setup).status, 0);
      const std::vector<std::string> before = Extra();
      const Result result = Shell(With(writer, c.name));
      EXPECT_EQ(result.status, 2);
      EXPECT_EQ(result.out, "");
      EXPECT_NE(result.err.find(c.name + ": "), std::string::npos) << result.err;
      EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
      EXPECT_EQ(Extra(), before);
      if (!c.kept.empty()) {
        EXPECT_EQ(ReadFile(folder / c.kept), "keep\n");
      }
    }
  }
}

// A folder is where the report writes a page per controller and an index: a folder that
// exists, or a name ending in "/"; --interface and --node choose the controllers.
TEST_F(OutputKinds, AReportIntoAFolderIsAPagePerController) {
  const Result result = Shell(
      "mkdir all && \"$SSMSG\" report --config demo.json --output all && "
      "\"$SSMSG\" report --config demo.json --interface 1 --node 2 --output one/ && ls all one");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "all:\ncontroller-1.html\ncontroller-2.html\nindex.html\n\n"
            "one:\ncontroller-1.html\nindex.html\n");
  EXPECT_NE(ReadFile(folder / "one/controller-1.html").find("Warehouse Vending"),
            std::string::npos);
}

// A temporary file that a killed writer left is removed by the next output into its folder;
// one that a living writer holds is not.
TEST_F(OutputKinds, AbandonedTemporaryFilesAreClearedAndLiveOnesKept) {
  const Result result = Shell(
      "echo x >site.db.ssmsg-tmp.Abc123 && echo x >site.db.ssmsg-tmp.Abc123-wal && "
      "echo x >other.ssmsg-tmp.Zzz999 && echo x >a.ssmsg-tmp.Zzz999 && "
      "echo x >keep.ssmsg-tmp.long-name && "
      "echo x >live.ssmsg-tmp.Live00 && "
      "{ python3 -c \"import fcntl, time\nf = open('live.ssmsg-tmp.Live00')\n"
      "fcntl.flock(f, fcntl.LOCK_EX)\nopen('locked', 'w').close()\ntime.sleep(30)\" & } && "
      "while [ ! -e locked ]; do sleep 0.05; done && rm locked && "
      "\"$SSMSG\" convert demo.json site.db && ls; kill $!; wait");
  EXPECT_EQ(result.out,
            "demo.json\nkeep.ssmsg-tmp.long-name\nlive.ssmsg-tmp.Live00\nsent.txt\nsite.db\n")
      << result.err;
}

}  // namespace
}  // namespace ssmsg
