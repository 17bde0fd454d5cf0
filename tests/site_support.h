#pragma once

// Sites for the library's tests: one loaded from a text that must be valid, random ones made by
// the site writer, and the messages that settings make of a site.

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <ssmsg/Site.h>
#include <ssmsg/SiteSettings.h>
#include "memory_site.h"
#include "tests/store_filler.h"

namespace ssmsg::test {

// The clock that tests fix: 4 December 2026, 09:05:07.
inline constexpr std::tm kFixedTime{
    .tm_sec = 7, .tm_min = 5, .tm_hour = 9, .tm_mday = 4, .tm_mon = 11, .tm_year = 126};

// The site that `text` holds; the test fails when it does not load, and gets an empty site.
inline CSS_Site LoadOk(std::string_view text) {
  CSS_SiteLoadResult loaded = LoadSiteText(text, "site.json");
  EXPECT_TRUE(loaded.errors.empty()) << loaded.errors[0] << "\n" << text.substr(0, 2000);
  if (!loaded.site) loaded = LoadSiteText(R"({"Controllers": []})", "site.json");
  return std::move(*loaded.site);
}

// The text of every message that settings with `options` make of `site`.
inline std::vector<std::string> SiteMessages(const CSS_Site& site,
                                             const CSS_SettingsOptions& options = {}) {
  std::vector<std::string> lines;
  MakeSiteSettings(site, options, [&](const CSS_SiteMessage& message) {
    lines.emplace_back(message.text);
    return true;
  });
  return lines;
}

// A valid site of `controllers` random controllers, loaded from the site file that the writer
// makes of it: declined records, counts above and below their lists, values without texts,
// enumeration texts of the site's own (duplicates and empty ones too), names and texts with
// markup in them.
inline CSS_Site RandomSite(std::uint32_t seed, std::uint32_t controllers) {
  RandomSource source(seed);
  std::mt19937 random(seed);
  const auto markup = [&](std::string text) {
    for (char& c : text) {
      if (random() % 6 == 0) c = "<>&"[random() % 3];
    }
    return text;
  };
  auto data = std::make_unique<MemorySite>();
  for (std::uint32_t c = 0; c < controllers; ++c) {
    CSS_SiteController& controller = data->controllers.emplace_back();
    controller.address = {static_cast<std::int32_t>(1 + c % 2),
                          static_cast<std::int32_t>(random() % 4 * 3 + c)};
    FillStore(source, controller.store);
    DropOrphans(controller.store);
    controller.store.GetConfig().Name = markup(source.Text());
    if (const auto* input = controller.store.GetInputType().Find(0)) {
      auto renamed = *input;
      renamed.Name = markup(source.Text() + source.Text());
      controller.store.GetInputType().Set(0, renamed);
    }
  }
  for (int i = 0; i < 12; ++i) {
    const auto id = static_cast<CSToolEnumId>(random() % kToolEnumCount);
    data->enumTexts.push_back({id, static_cast<int>(random() % 9) - 1, markup(source.Text())});
  }
  return LoadOk(data->Json());
}

}  // namespace ssmsg::test
