/* A host that uses ssmsg.dll as a program in another language does: it links nothing of ssmsg,
   loads the DLL by name with LoadLibraryW (from beside the program or a folder on PATH) and finds
   each function with GetProcAddress; the header gives the types alone. It prints what
   examples/settings.c prints.
     dll_host SITE */
#include <ssmsg/c_api.h>

#include <stdio.h>
#include <windows.h>

typedef ssmsg_status (*site_load_fn)(const char*, ssmsg_site**, ssmsg_strings**);
typedef ssmsg_status (*site_settings_fn)(const ssmsg_site*, const ssmsg_settings_options*,
                                         ssmsg_settings**);
typedef ssmsg_status (*interface_poll_fn)(int32_t, const uint32_t*, size_t, const uint32_t*, size_t,
                                          ssmsg_strings**);
typedef void (*strings_free_fn)(ssmsg_strings*);
typedef void (*settings_free_fn)(ssmsg_settings*);
typedef void (*site_free_fn)(ssmsg_site*);

static HMODULE library;
static int missing = 0;

/* The function `name` of the DLL; NULL, having said so, when it has none. */
static void (*find(const char* name))(void) {
  void (*function)(void) = (void (*)(void))GetProcAddress(library, name);
  if (function == NULL) {
    fprintf(stderr, "ssmsg.dll has no function %s\n", name);
    missing = 1;
  }
  return function;
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  library = LoadLibraryW(L"ssmsg.dll");
  if (library == NULL) {
    fprintf(stderr, "cannot load ssmsg.dll: error %lu\n", (unsigned long)GetLastError());
    return 3;
  }
  site_load_fn site_load = (site_load_fn)find("ssmsg_site_load");
  site_settings_fn site_settings = (site_settings_fn)find("ssmsg_site_settings");
  interface_poll_fn interface_poll = (interface_poll_fn)find("ssmsg_interface_poll");
  strings_free_fn strings_free = (strings_free_fn)find("ssmsg_strings_free");
  settings_free_fn settings_free = (settings_free_fn)find("ssmsg_settings_free");
  site_free_fn site_free = (site_free_fn)find("ssmsg_site_free");
  if (missing) return 3;

  ssmsg_site* site = NULL;
  ssmsg_strings* errors = NULL;
  ssmsg_status status = site_load(argv[1], &site, &errors);
  for (size_t i = 0; errors != NULL && i < errors->count; ++i)
    fprintf(stderr, "%s\n", errors->items[i]);
  strings_free(errors);
  if (status != SSMSG_OK) return 2;

  const int32_t tasks[] = {161};
  ssmsg_settings_options options = {0};
  options.tasks = tasks;
  options.task_count = 1;
  ssmsg_settings* settings = NULL;
  status = site_settings(site, &options, &settings);
  for (size_t i = 0; settings != NULL && i < settings->messages.count; ++i) {
    const ssmsg_origin* origin = &settings->origins[i];
    printf("%d %d %d ", origin->interface_id, origin->node, origin->task);
    fwrite(settings->messages.items[i], 1, settings->messages.lengths[i], stdout);
    putchar('\n');
  }
  settings_free(settings);
  site_free(site);
  if (status != SSMSG_OK) return 1;

  const uint32_t nodes[] = {1, 2};
  ssmsg_strings* poll = NULL;
  status = interface_poll(1, nodes, 2, NULL, 0, &poll);
  if (status == SSMSG_OK) printf("%s\n", poll->items[0]);
  strings_free(poll);
  FreeLibrary(library);
  return status == SSMSG_OK ? 0 : 1;
}
