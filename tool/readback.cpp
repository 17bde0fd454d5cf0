#include "readback.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include <ssmsg/Import.h>
#include <ssmsg/Message.h>
#include <ssmsg/Site.h>

#include "platform/FileName.h"
#include "platform/InputFile.h"

namespace ssmsg::tool {
namespace {

// What one read takes at most. The lines of a read are handed on together, so a read should hold
// the messages of many controllers: the import applies different controllers on different
// threads.
constexpr std::size_t kChunk = std::size_t{16} << 20;
// The most lines handed on at once.
constexpr std::size_t kBatch = std::size_t{1} << 17;

// The lines of a file handed on together: `lines` are lines `first` on (1-based).
using EachLines = std::function<void(std::span<const std::string_view> lines, std::size_t first)>;

// Calls `each` with every line that `file` holds, in order, line feeds left out, at most kBatch at
// a time. A carriage return just before a line feed is dropped too, so that files with CR LF
// line ends read the same. Returns 0, or the errno of a read that failed.
int ForEachLine(InputFile& file, const EachLines& each) {
  std::vector<char> buffer(kChunk);  // grows only for a line longer than it
  std::vector<std::string_view> batch;
  std::size_t kept = 0;  // the start of a line that the last read cut off
  std::size_t number = 0;
  const auto flush = [&] {
    if (batch.empty()) return;
    each(batch, number - batch.size() + 1);
    batch.clear();
  };
  const auto line = [&](std::string_view text) {
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    batch.push_back(text);
    ++number;
    if (batch.size() == kBatch) flush();
  };
  for (;;) {
    if (kept == buffer.size()) buffer.resize(buffer.size() * 2);
    const std::int64_t got = file.Read(buffer.data() + kept, buffer.size() - kept);
    if (got < 0) {
      flush();
      return static_cast<int>(-got);
    }
    const std::string_view text(buffer.data(), kept + static_cast<std::size_t>(got));
    if (got == 0) {
      if (!text.empty()) line(text);
      flush();
      return 0;
    }
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string_view::npos; start = end + 1)
      line(text.substr(start, end - start));
    flush();  // the lines lie in the buffer, which the next read moves
    kept = text.size() - start;
    std::memmove(buffer.data(), buffer.data() + start, kept);
  }
}

// Calls `each(lines, first, name)` for all lines of every file, in order. false when a file
// could not be read (said on standard error); the other files are still read.
bool ForEachFileLines(const std::vector<std::string>& files,
                      const std::function<void(std::span<const std::string_view>, std::size_t,
                                               std::string_view)>& each) {
  std::vector<std::string> names = files;
  if (names.empty()) names.emplace_back("-");
  bool good = true;
  for (const std::string& file : names) {
    const bool standardInput = file == "-";
    const std::string_view name = standardInput ? kStdinName : std::string_view(file);
    int error = 0;
    const std::unique_ptr<InputFile> in =
        standardInput ? InputFile::StandardInput() : InputFile::Open(file, error);
    if (in) {
      error = ForEachLine(*in, [&](std::span<const std::string_view> lines, std::size_t first) {
        each(lines, first, name);
      });
    }
    if (error != 0) {
      std::fprintf(stderr, "ssmsg: %.*s: cannot read the file: %s\n", static_cast<int>(name.size()),
                   name.data(), std::strerror(error));
      good = false;
    }
  }
  return good;
}

// ForEachFileLines one line at a time: `each(line, number, name)`.
bool ForEachFileLine(
    const std::vector<std::string>& files,
    const std::function<void(std::string_view, std::size_t, std::string_view)>& each) {
  return ForEachFileLines(files, [&](std::span<const std::string_view> lines, std::size_t first,
                                     std::string_view name) {
    for (std::size_t i = 0; i < lines.size(); ++i)
      each(lines[i], first + i, name);
  });
}

bool IsBlank(std::string_view line) {
  return line.find_first_not_of(" \t\n\v\f\r") == std::string_view::npos;
}

}  // namespace

int RunDecode(const std::vector<std::string>& files, Output& output) {
  CSS_Message message;
  CSS_DecodeError error;
  std::string json;
  bool good = true;
  const bool read =
      ForEachFileLine(files, [&](std::string_view line, std::size_t number, std::string_view name) {
        if (IsBlank(line)) return;
        if (!DecodeMessage(line, message, error)) {
          std::fprintf(stderr, "%.*s:%zu:%zu: %s\n", static_cast<int>(name.size()), name.data(),
                       number, error.column, error.reason.c_str());
          good = false;
          return;
        }
        AppendMessageJson(json, message);
        json += '\n';
        if (json.size() >= kChunk) {
          output.Write(json);
          json.clear();
        }
      });
  output.Write(json);
  return read && good ? 0 : 2;
}

std::optional<CSS_Site> ImportMessages(const std::vector<std::string>& files,
                                       const CSS_Site* enumsFrom, bool notes, unsigned jobs,
                                       std::string_view name) {
  CSS_Import importer({.enumsFrom = enumsFrom, .jobs = jobs});
  const bool read = ForEachFileLines(
      files, [&](std::span<const std::string_view> lines, std::size_t first,
                 std::string_view source) { importer.AddLines(lines, source, first); });
  if (notes) {
    for (const std::string& note : importer.Notes())
      std::fprintf(stderr, "ssmsg: import: %s\n", note.c_str());
  }
  if (read) {
    std::optional<CSS_Site> site = importer.TakeSite(name);
    if (site) return site;
  }
  for (const std::string& error : importer.Errors())
    std::fprintf(stderr, "%s\n", error.c_str());
  return std::nullopt;
}

int RunImport(const std::vector<std::string>& files, const std::string& enumsFrom, unsigned jobs,
              Output& output) {
  std::optional<CSS_Site> site;
  if (!enumsFrom.empty()) {
    CSS_SiteLoadResult loaded = LoadSite(PathOfName(enumsFrom));
    for (const std::string& error : loaded.errors)
      std::fprintf(stderr, "%s\n", error.c_str());
    if (!loaded.site) return 2;
    site = std::move(loaded.site);
  }
  const std::optional<CSS_Site> imported =
      ImportMessages(files, site ? &*site : nullptr, true, jobs, "<import>");
  if (!imported) return 2;
  return imported->WriteJson([&](std::string_view text) { return output.Write(text); }, jobs) ? 0
                                                                                              : 2;
}

}  // namespace ssmsg::tool
