// Times loading a site file against a bare parse of the same text into a DOM by simdjson.
//
//   ssmsg_site_load FILE [ROUNDS]
//
// Reads FILE into memory once, then in each round parses it into a DOM with a fresh
// simdjson::dom::parser (as a program that parses one file does) and loads it
// (ssmsg::LoadSiteText: parse and check every controller), each result dropped before the next
// step so that both start from the same heap. Prints the median seconds of each as
// "bare-parse S" and "load S", one per line.

#include <simdjson.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <ssmsg/Site.h>

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double Seconds(F&& step) {
  const auto start = Clock::now();
  step();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [ROUNDS]\n", argv[0]);
    return 2;
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  std::ifstream in(argv[1], std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "%s: cannot read\n", argv[1]);
    return 1;
  }

  std::vector<double> parse;
  std::vector<double> load;
  bool valid = true;
  for (int round = 0; round < rounds; ++round) {
    parse.push_back(Seconds([&] {
      simdjson::dom::parser parser;
      simdjson::dom::element dom;
      if (parser.parse(text).get(dom) != simdjson::SUCCESS) valid = false;
    }));
    load.push_back(Seconds([&] {
      const ssmsg::CSS_SiteLoadResult result = ssmsg::LoadSiteText(text, argv[1]);
      if (!result.site) valid = false;
    }));
  }
  if (!valid) {
    std::fprintf(stderr, "%s: not a valid site file\n", argv[1]);
    return 1;
  }
  std::printf("bare-parse %.6f\nload %.6f\n", Median(parse), Median(load));
  return 0;
}
