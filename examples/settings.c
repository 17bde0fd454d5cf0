/* Prints the input-type messages (task 161) of every controller of a site file, then the
   message that starts polling nodes 1 and 2 on interface 1. */
#include <ssmsg/c_api.h>

#include <stdio.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  ssmsg_site* site = NULL;
  ssmsg_strings* errors = NULL;
  ssmsg_status status = ssmsg_site_load(argv[1], &site, &errors);
  for (size_t i = 0; errors != NULL && i < errors->count; ++i)
    fprintf(stderr, "%s\n", errors->items[i]);
  ssmsg_strings_free(errors);
  if (status != SSMSG_OK) return 2;

  const int32_t tasks[] = {161};
  ssmsg_settings_options options = {0};
  options.tasks = tasks;
  options.task_count = 1;
  ssmsg_settings* settings = NULL;
  status = ssmsg_site_settings(site, &options, &settings);
  for (size_t i = 0; settings != NULL && i < settings->messages.count; ++i) {
    const ssmsg_origin* origin = &settings->origins[i];
    printf("%d %d %d ", origin->interface_id, origin->node, origin->task);
    fwrite(settings->messages.items[i], 1, settings->messages.lengths[i], stdout);
    putchar('\n');
  }
  ssmsg_settings_free(settings);
  ssmsg_site_free(site);
  if (status != SSMSG_OK) {
    fprintf(stderr, "settings: %s\n", ssmsg_status_text(status));
    return 1;
  }

  const uint32_t nodes[] = {1, 2};
  ssmsg_strings* poll = NULL;
  status = ssmsg_interface_poll(1, nodes, 2, NULL, 0, &poll);
  if (status == SSMSG_OK) printf("%s\n", poll->items[0]);
  ssmsg_strings_free(poll);
  return status == SSMSG_OK ? 0 : 1;
}
