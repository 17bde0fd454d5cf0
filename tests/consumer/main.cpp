// Prints the input-type messages (task 161) of every controller of a site file.
#include <ssmsg/ssmsg.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const ssmsg::CSS_SiteLoadResult loaded = ssmsg::LoadSite(argv[1]);
  for (const std::string& error : loaded.errors)
    std::fprintf(stderr, "%s\n", error.c_str());
  if (!loaded.site) return 2;

  ssmsg::CSS_SettingsOptions options;
  options.tasks = {ssmsg::kTaskInputTypes};
  const ssmsg::CSS_SettingsResult result =
      ssmsg::MakeSiteSettings(*loaded.site, options, [](const ssmsg::CSS_SiteMessage& message) {
        std::fwrite(message.text.data(), 1, message.text.size(), stdout);
        return std::fputc('\n', stdout) != EOF;
      });
  return result.failures.empty() && !result.stopped ? 0 : 1;
}
