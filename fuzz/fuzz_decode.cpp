// Fuzzes reading messages back. The input is a stream of lines:
// - each line is decoded; whenever the decoder accepts a line, encoding the value gives the very
//   same bytes, and decoding into a value that held another message gives the same value; a
//   refused line gets a column within the line (or just past it) and a reason;
// - the lines are imported; when the import takes them all, the site file it writes loads
//   without an error.
// Stops the process with a trap when something does not hold.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include <ssmsg/Import.h>
#include <ssmsg/Message.h>
#include <ssmsg/Site.h>

#define SSMSG_FUZZ_CHECK(condition)                                                            \
  do {                                                                                         \
    if (!(condition)) {                                                                        \
      std::fprintf(stderr, "fuzz_decode: %s does not hold (line %d)\n", #condition, __LINE__); \
      __builtin_trap();                                                                        \
    }                                                                                          \
  } while (false)

namespace {

using namespace ssmsg;

bool SameValues(const CSS_Message& a, const CSS_Message& b) {
  if (a.kind != b.kind || a.interfaceId != b.interfaceId || a.node != b.node ||
      a.parameters.size() != b.parameters.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.parameters.size(); ++i) {
    const CSS_MessageValue& x = a.parameters[i];
    const CSS_MessageValue& y = b.parameters[i];
    if (x.name != y.name || x.kind != y.kind || x.width != y.width || x.count != y.count ||
        x.number != y.number || x.text != y.text || x.numbers != y.numbers) {
      return false;
    }
  }
  return true;
}

void CheckLine(std::string_view line, CSS_Message& reused) {
  CSS_Message message;
  CSS_DecodeError error;
  const bool accepted = DecodeMessage(line, message, error);
  CSS_DecodeError reusedError;
  SSMSG_FUZZ_CHECK(DecodeMessage(line, reused, reusedError) == accepted);
  if (!accepted) {
    SSMSG_FUZZ_CHECK(error.column >= 1 && error.column <= line.size() + 1);
    SSMSG_FUZZ_CHECK(!error.reason.empty());
    SSMSG_FUZZ_CHECK(reusedError.column == error.column && reusedError.reason == error.reason);
    return;
  }
  SSMSG_FUZZ_CHECK(SameValues(message, reused));
  std::string text;
  SSMSG_FUZZ_CHECK(EncodeMessage(message, text));
  SSMSG_FUZZ_CHECK(text == line);
  std::string json;
  AppendMessageJson(json, message);
  SSMSG_FUZZ_CHECK(json.starts_with("{\"interface\":") && json.ends_with("}"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CSS_Message reused;
  CSS_Import import;
  std::size_t number = 0;
  for (std::size_t start = 0; start <= input.size();) {
    std::size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string_view line = input.substr(start, end - start);
    CheckLine(line, reused);
    import.AddLine(line, "fuzz", ++number);
    start = end + 1;
  }
  std::string site;
  const bool written = import.WriteSite([&site](std::string_view text) {
    site.append(text);
    return true;
  });
  SSMSG_FUZZ_CHECK(written == import.Errors().empty());
  if (written) {
    const CSS_SiteLoadResult loaded = LoadSiteText(site, "imported.json");
    SSMSG_FUZZ_CHECK(loaded.errors.empty());
  }
  return 0;
}
