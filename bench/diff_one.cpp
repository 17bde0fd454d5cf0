// Times the diff of one controller in process: what `ssmsg diff --from OLD --to NEW --interface I
// --node N` does once both sites are loaded, against which the site editor's pending messages
// are measured.
//
//   ssmsg_diff_one OLD NEW I N [ROUNDS]
//
// Loads both sites once, then makes the controller's messages ROUNDS times (default 20) and
// prints the median seconds as "diff S" and the number of messages as "messages M".

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <ssmsg/Site.h>
#include <ssmsg/SiteDiff.h>

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s OLD NEW I N [ROUNDS]\n", argv[0]);
    return 2;
  }
  const ssmsg::CSS_SiteLoadResult old = ssmsg::LoadSite(argv[1], 0);
  const ssmsg::CSS_SiteLoadResult now = ssmsg::LoadSite(argv[2], 0);
  for (const auto* loaded : {&old, &now}) {
    for (const std::string& error : loaded->errors)
      std::fprintf(stderr, "%s\n", error.c_str());
    if (!loaded->site) return 2;
  }
  ssmsg::CSS_DiffOptions options;
  options.selection = {std::atoi(argv[3]), std::atoi(argv[4])};
  const int rounds = argc > 5 ? std::max(1, std::atoi(argv[5])) : 20;
  std::vector<double> seconds;
  std::size_t messages = 0;
  for (int round = 0; round < rounds; ++round) {
    messages = 0;
    const auto start = std::chrono::steady_clock::now();
    ssmsg::MakeSiteDiff(*old.site, *now.site, options, [&](const ssmsg::CSS_SiteMessage&) {
      ++messages;
      return true;
    });
    seconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(seconds.begin(), seconds.end());
  std::printf("diff %.6f\nmessages %zu\n", seconds[seconds.size() / 2], messages);
  return 0;
}
