// Fuzzes the server's request handler (the API and the pages), without sockets, over a site
// database of the demo site, a fresh copy for each input. The input is one request:
//
//   byte 0          who asks: 0 nobody, 1 a viewer, 2 an editor, 3 an admin (by API token)
//   METHOD TARGET\n then header lines "Name: value\n", a blank line, and the body
//
// An If-Match value of "@" stands for the current ETag of the controller the target names, so
// that writes get past their precondition. Whatever the request: the answer has a known status
// and the server's policy headers; JSON answers are JSON; a refused write changes nothing; and the
// site stays valid, with the ETag a write answered being the controller's from then on. Stops the
// process with a trap when something does not hold.

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include <ssmsg/SiteDatabase.h>

#include "server/Api.h"
#include "server/DatabaseStore.h"
#include "server/JsonValue.h"
#include "server/Service.h"
#include "server/pages/Pages.h"

#define SSMSG_FUZZ_CHECK(condition)                                                            \
  do {                                                                                         \
    if (!(condition)) {                                                                        \
      std::fprintf(stderr, "fuzz_server: %s does not hold (line %d)\n", #condition, __LINE__); \
      __builtin_trap();                                                                        \
    }                                                                                          \
  } while (false)

namespace {

using namespace ssmsg;
using namespace ssmsg::server;

constexpr std::string_view kDemo = R"({"Enums":{"InputType":{"6":"Intercom"}},"Controllers":[
{"Interface":1,"Node":1,"Name":"Main","Inputs":[{"Name":"Door","DPort":1,"Type":6,
 "Time":{"Debounce":3,"LevelTGs":[1,1,0,0,0]}},null,{"Name":"Exit","DPort":3}],
 "TimeZones":[{"StartHour":8,"EndHour":17}],"Holidays":[{"Month":12,"Day":25}]},
{"Interface":1,"Node":2,"Name":"Store","Outputs":[{"Name":"Lock","DPort":1}]}]})";

const char* const kNames[] = {"vic", "eve", "ada"};

// A folder of this process's own, removed as it exits.
const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "fuzz_server.XXXXXX").string();
    SSMSG_FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    return std::filesystem::path(pattern);
  }();
  return folder;
}

// The demo site as a site database, with a viewer, an editor and an admin, each with an API token
// of their name. Made once: each input gets a copy.
const std::filesystem::path& Demo() {
  static const std::filesystem::path file = [] {
    const std::filesystem::path made = Folder() / "demo.db";
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(Folder(), ignored);
    });
    const CSS_SiteLoadResult loaded = LoadSiteText(kDemo, "demo.json");
    SSMSG_FUZZ_CHECK(loaded.site && WriteSiteDatabase(*loaded.site, made).errors.empty());
    DatabaseStore::Opened opened = DatabaseStore::Open(made.string());
    SSMSG_FUZZ_CHECK(opened);
    Store& store = **opened;
    const Role roles[] = {Role::Viewer, Role::Editor, Role::Admin};
    for (int k = 0; k < 3; ++k) {
      store.AddUser({0, kNames[k], roles[k], "$argon2id$v=19$m=8,t=1,p=1$AAAAAAAAAAAAAAAAAAAAAA$"},
                    {});
      store.AddToken(*store.FindUser(kNames[k]), SecretHash(kNames[k]), {}, {});
    }
    return made;  // and the store, closed, leaves it whole, without a log beside it
  }();
  return file;
}

struct Parsed {
  Request request;
  int who = 0;
};

Parsed Parse(std::string_view bytes) {
  Parsed parsed;
  if (bytes.empty()) return parsed;
  parsed.who = static_cast<unsigned char>(bytes[0]) % 4;
  bytes.remove_prefix(1);
  const auto line = [&bytes]() {
    const std::size_t end = bytes.find('\n');
    const std::string_view text = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    return text;
  };
  const std::string_view first = line();
  const std::size_t space = first.find(' ');
  parsed.request.method = first.substr(0, space);
  if (space != std::string_view::npos) parsed.request.target = first.substr(space + 1);
  for (std::string_view header = line(); !header.empty(); header = line()) {
    const std::size_t colon = header.find(": ");
    if (colon == std::string_view::npos) continue;
    parsed.request.headers.push_back(
        {std::string(header.substr(0, colon)), std::string(header.substr(colon + 2))});
  }
  parsed.request.body = bytes;
  return parsed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = InitCrypto();
  SSMSG_FUZZ_CHECK(ready);
  const std::filesystem::path file = Folder() / "site.db";
  std::filesystem::copy_file(Demo(), file, std::filesystem::copy_options::overwrite_existing);
  DatabaseStore::Opened opened = DatabaseStore::Open(file.string());
  SSMSG_FUZZ_CHECK(opened);
  Store& store = **opened;
  ServiceOptions options;
  options.auth.cost = PasswordCost::Cheapest();
  options.auth.clock = [] { return std::int64_t{1'700'000'000}; };
  Service service(store, options);
  AddApiRoutes(service);
  AddPageRoutes(service);

  Parsed parsed = Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  Request& request = parsed.request;
  if (parsed.who > 0)
    request.headers.push_back({"Authorization", std::string("Bearer ") + kNames[parsed.who - 1]});
  for (Header& header : request.headers) {
    if (header.value == "@" && SameName(header.name, "If-Match")) {
      Request get{"GET", request.target, {}, {}, "", false, {}};
      get.headers.push_back({"Authorization", "Bearer ada"});
      const Response current = service.Handle(get);
      if (const std::string* etag = current.Find("ETag")) header.value = *etag;
    }
  }

  const std::string before = store.SiteJson();
  const std::size_t auditBefore = store.Audit(0, 1000).size();
  // What the head alone refuses, the whole request is refused the same way: the socket layer
  // answers that refusal before reading the body.
  Request head = request;
  head.body.clear();
  const Service::HeadCheck check = service.CheckHead(head);
  const Response response = service.Handle(request);
  // (A body over a login's limit may get 413 before the origin is looked at.)
  SSMSG_FUZZ_CHECK(!check.refusal || response.status == check.refusal->status ||
                   response.status == 413);
  SSMSG_FUZZ_CHECK(check.refusal || request.body.size() <= check.maxBody || response.status == 413);
  SSMSG_FUZZ_CHECK(StatusText(response.status) != "Unknown");
  SSMSG_FUZZ_CHECK(response.Find("Content-Security-Policy") != nullptr);
  const std::string* type = response.Find("Content-Type");
  if (type && *type == "application/json" && request.method != "HEAD") {
    SSMSG_FUZZ_CHECK(ReadJson(response.body).has_value());
  }
  const std::string after = store.SiteJson();
  SSMSG_FUZZ_CHECK(LoadSiteText(after, "after").site.has_value());
  if (response.status >= 400) {
    SSMSG_FUZZ_CHECK(after == before);
    SSMSG_FUZZ_CHECK(store.Audit(0, 1000).size() == auditBefore);
  }
  if ((response.status == 200 || response.status == 201) &&
      (request.method == "PUT" || request.method == "PATCH")) {
    Request get{"GET", request.target, {{"Authorization", "Bearer ada"}}, {}, "", false, {}};
    const Response now = service.Handle(get);
    SSMSG_FUZZ_CHECK(now.Find("ETag") && response.Find("ETag") &&
                     *now.Find("ETag") == *response.Find("ETag"));
    SSMSG_FUZZ_CHECK(now.body == response.body);
  }
  return 0;
}
