/* The C interface used from C, as a host would: what it owns and hands over, how its calls fail
 * and what they take, and the threads it starts. What the messages say is tested in the library
 * and the tool. Runs under valgrind and the sanitizers too, so every list it is given must be
 * freed.
 *   ssmsg_c_api_test DEMO_SITE.json SITES_FOLDER */

#include <ssmsg/c_api.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>

#include <tlhelp32.h> /* after windows.h, which it needs */
#endif

static int failed_checks = 0;

static void check(int ok, const char* what, int line) {
  if (!ok) {
    fprintf(stderr, "c_api_test.c:%d: failed: %s\n", line, what);
    ++failed_checks;
  }
}
#define CHECK(condition) check((condition) != 0, #condition, __LINE__)
#define CHECK_STATUS(call, status) check((call) == (status), #call " gives " #status, __LINE__)

/* Out-parameters are preset to this to see that a failing call clears them. */
static char not_set_byte;
#define NOT_SET ((void*)&not_set_byte)

static int starts_with(const char* text, const char* prefix) {
  return strncmp(text, prefix, strlen(prefix)) == 0;
}

static int count_message(void* context, const ssmsg_origin* origin, const char* text,
                         size_t length) {
  (void)origin, (void)text, (void)length;
  ++*(size_t*)context;
  return *(size_t*)context == 3; /* stops after the third */
}

/* What the import object gives, once: the site from a few lines, as text or as a site, and its
   notes. A site of one controller whose settings, clock included, are read back. */
static void test_import(void) {
  static const char text[] =
      "{\"Controllers\": [{\"Interface\": 1, \"Node\": 2, \"Inputs\": [{\"Name\": \"a\"}]}]}";
  const int32_t tasks[] = {152, 162};
  const ssmsg_time time = {2026, 12, 4, 9, 5, 7};
  ssmsg_settings_options options = {0};
  ssmsg_site *site = NULL, *imported = NOT_SET, *second = NOT_SET;
  ssmsg_settings *sent = NULL, *again = NULL;
  ssmsg_import* import = NULL;
  ssmsg_strings *site_text = NOT_SET, *notes = NULL;
  int as_text;
  size_t i;

  options.tasks = tasks;
  options.task_count = 2;
  options.time = &time; /* the clock message, made again after the import, says the same */
  CHECK_STATUS(ssmsg_site_load_text(text, strlen(text), "one.json", &site, NULL), SSMSG_OK);
  CHECK_STATUS(ssmsg_site_settings(site, &options, &sent), SSMSG_OK);
  for (as_text = 0; as_text <= 1; ++as_text) {
    CHECK_STATUS(ssmsg_import_new(site, &import), SSMSG_OK);
    for (i = 0; i < sent->messages.count; ++i) {
      CHECK_STATUS(ssmsg_import_add_line(import, sent->messages.items[i], sent->messages.lengths[i],
                                         "sent.txt", i + 1),
                   SSMSG_OK);
    }
    CHECK_STATUS(ssmsg_import_notes(import, &notes), SSMSG_OK);
    CHECK(notes->count == 1 && strstr(notes->items[0], "skipped 1 SystemData SetRTC") != NULL);
    ssmsg_strings_free(notes);
    if (as_text) {
      CHECK_STATUS(ssmsg_import_write(import, &site_text), SSMSG_OK);
      CHECK(site_text->count == 1);
      CHECK_STATUS(
          ssmsg_site_load_text(site_text->items[0], site_text->lengths[0], NULL, &imported, NULL),
          SSMSG_OK);
      ssmsg_strings_free(site_text);
    } else {
      CHECK_STATUS(ssmsg_import_site(import, "sent.txt", &imported), SSMSG_OK);
    }
    /* Given once only, in either form; no line is taken after it. */
    CHECK_STATUS(ssmsg_import_site(import, NULL, &second), SSMSG_INVALID_ARGUMENT);
    CHECK_STATUS(ssmsg_import_write(import, &site_text), SSMSG_INVALID_ARGUMENT);
    CHECK(second == NULL && site_text == NULL);
    CHECK_STATUS(ssmsg_import_add_line(import, "", 0, NULL, 9), SSMSG_INVALID_ARGUMENT);
    ssmsg_import_free(import);

    CHECK_STATUS(ssmsg_site_settings(imported, &options, &again), SSMSG_OK);
    CHECK(again != NULL && again->messages.count == sent->messages.count);
    for (i = 0; again != NULL && i < again->messages.count; ++i) {
      CHECK(again->messages.lengths[i] == sent->messages.lengths[i] &&
            memcmp(again->messages.items[i], sent->messages.items[i], sent->messages.lengths[i]) ==
                0);
    }
    ssmsg_settings_free(again);
    ssmsg_site_free(imported);
    second = NOT_SET;
  }
  ssmsg_settings_free(sent);
  ssmsg_site_free(site);
}

#ifdef _WIN32
/* The threads of this process, from a snapshot of the system's; 0 when none can be taken. */
static int thread_count(void) {
  THREADENTRY32 entry;
  int threads = 0;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++threads;
  }
  CloseHandle(snapshot);
  return threads;
}
#else
/* The threads of this process, from /proc/self/status; 0 when it cannot be read. */
static int thread_count(void) {
  char line[256];
  int threads = 0;
  FILE* status = fopen("/proc/self/status", "r");
  if (status == NULL) return 0;
  while (fgets(line, sizeof line, status) != NULL) {
    if (strncmp(line, "Threads:", 8) == 0) threads = atoi(line + 8);
  }
  fclose(status);
  return threads;
}
#endif

static int most_threads;
static int note_threads(void* context, const ssmsg_origin* origin, const char* text,
                        size_t length) {
  const int threads = thread_count();
  (void)context;
  (void)origin;
  (void)text;
  (void)length;
  if (threads > most_threads) most_threads = threads;
  return 0;
}

/* A zeroed options struct runs the job on the calling thread alone; jobs 2 starts one more. */
static void test_threads(const ssmsg_site* site) {
  ssmsg_settings_options options = {0};
  const int before = thread_count();
  most_threads = 0;
  CHECK_STATUS(ssmsg_site_settings_each(site, &options, note_threads, NULL, NULL), SSMSG_OK);
  CHECK(before >= 1 && most_threads == before);
  options.jobs = 2;
  most_threads = 0;
  CHECK_STATUS(ssmsg_site_settings_each(site, &options, note_threads, NULL, NULL), SSMSG_OK);
  CHECK(most_threads == before + 1);
}

/* A site read from a file: every message a NUL-terminated text of its length, with its origin;
   streaming stops when the callback asks and still gives the failures. */
static void test_site_from_file(const char* demo_path) {
  ssmsg_settings_options options = {0};
  ssmsg_site* site = NULL;
  ssmsg_strings* errors = NOT_SET;
  ssmsg_settings* settings = NULL;
  size_t i, streamed = 0;

  CHECK_STATUS(ssmsg_site_load(demo_path, &site, &errors), SSMSG_OK);
  CHECK(errors != NULL && errors->count == 0);
  ssmsg_strings_free(errors);
  CHECK_STATUS(ssmsg_site_settings(site, &options, &settings), SSMSG_OK);
  CHECK(settings->messages.count > 2 && settings->failure_count == 0);
  for (i = 0; i < settings->messages.count; ++i) {
    const ssmsg_origin* origin = &settings->origins[i];
    CHECK(strlen(settings->messages.items[i]) == settings->messages.lengths[i]);
    CHECK(origin->interface_id == 1 && origin->task >= SSMSG_FIRST_TASK &&
          origin->task <= SSMSG_LAST_TASK);
    CHECK(i == 0 || origin->node >= settings->origins[i - 1].node);
  }
  CHECK(settings->origins[0].node == 1 &&
        settings->origins[settings->messages.count - 1].node == 2);
  ssmsg_settings_free(settings);
  test_threads(site);

  settings = NULL;
  CHECK_STATUS(ssmsg_site_settings_each(site, &options, count_message, &streamed, &settings),
               SSMSG_STOPPED);
  CHECK(streamed == 3 && settings != NULL && settings->failure_count == 0);
  ssmsg_settings_free(settings);
  ssmsg_site_free(site);
}

static void test_site_from_text(void) {
  static const char text[] =
      "{\"Enums\": {\"InputType\": {\"6\": \"Intercom\"}},"
      " \"Controllers\": [{\"Interface\": 1, \"Node\": 2, \"Name\": \"a\\u00e9b\","
      "  \"Inputs\": [{\"Type\": 1}, null, {\"DPort\": 3, \"Type\": 6}, {\"Type\": 9}]}]}";
  const int32_t tasks[] = {161, 175};
  ssmsg_settings_options options = {0};
  ssmsg_site* site = NULL;
  ssmsg_settings* settings = NULL;
  ssmsg_strings* warnings = NULL;
  const char *name = NULL, *last;
  size_t count = 0;
  int32_t interface_id = 0, node = 0;

  CHECK_STATUS(ssmsg_site_load_text(text, strlen(text), "test.json", &site, NULL), SSMSG_OK);
  CHECK_STATUS(ssmsg_site_name(site, &name), SSMSG_OK);
  CHECK_STATUS(ssmsg_site_controller_count(site, &count), SSMSG_OK);
  CHECK_STATUS(ssmsg_site_controller(site, 0, &interface_id, &node), SSMSG_OK);
  CHECK(strcmp(name, "test.json") == 0 && count == 1 && interface_id == 1 && node == 2);

  /* Input types: the clear message, inputs 1, 3 (with the site's text) and 4; then the name,
     whose two-byte letter the message keeps as it is. */
  options.tasks = tasks;
  options.task_count = 2;
  CHECK_STATUS(ssmsg_site_settings(site, &options, &settings), SSMSG_OK);
  CHECK(settings->messages.count == 5 && settings->origins[4].task == 175);
  CHECK(strstr(settings->messages.items[2], "<Input>3</Input>") != NULL);
  CHECK(strstr(settings->messages.items[2], "<Type>Intercom</Type>") != NULL);
  last = settings->messages.items[4];
  CHECK(settings->messages.lengths[4] == strlen(last));
  CHECK(strstr(last,
               "<Name>a\xc3\xa9"
               "b</Name>") != NULL);
  ssmsg_settings_free(settings);

  CHECK_STATUS(ssmsg_site_warnings(site, &warnings), SSMSG_OK);
  CHECK(warnings->count == 1 && strcmp(warnings->items[0],
                                       "test.json: Controllers[0].Inputs[3].Type: InputType "
                                       "value 9 has no text") == 0);
  ssmsg_strings_free(warnings);
  ssmsg_site_free(site);
}

/* A control character would split the one line a message is sent as: the site is refused. */
static void test_site_with_a_control_character(void) {
  static const char text[] =
      "{\"Controllers\": [{\"Interface\": 1, \"Node\": 2, \"Name\": \"a\\u0000b\"}]}";
  ssmsg_site* site = NULL;
  ssmsg_strings* errors = NULL;
  CHECK_STATUS(ssmsg_site_load_text(text, strlen(text), "test.json", &site, &errors),
               SSMSG_SITE_INVALID);
  CHECK(site == NULL && errors != NULL && errors->count == 1 &&
        strstr(errors->items[0],
               "test.json: Controllers[0].Name: the text holds the control "
               "character U+0000") != NULL);
  ssmsg_strings_free(errors);
}

/* A renamed input sends its name only; a controller that the new site lacks is a warning. */
static void test_diff(void) {
  static const char old_text[] =
      "{\"Controllers\": [{\"Interface\": 1, \"Node\": 2, \"Inputs\": [{\"Name\": \"a\"}]},"
      " {\"Interface\": 1, \"Node\": 3}]}";
  static const char new_text[] =
      "{\"Controllers\": [{\"Interface\": 1, \"Node\": 2, \"Inputs\": [{\"Name\": \"b\"}]}]}";
  const int32_t names = 162;
  ssmsg_settings_options options = {0};
  ssmsg_site *old_site = NULL, *new_site = NULL;
  ssmsg_diff* diff = NOT_SET;

  CHECK_STATUS(ssmsg_site_load_text(old_text, strlen(old_text), "old", &old_site, NULL), SSMSG_OK);
  CHECK_STATUS(ssmsg_site_load_text(new_text, strlen(new_text), "new", &new_site, NULL), SSMSG_OK);
  options.tasks = &names;
  options.task_count = 1;
  CHECK_STATUS(ssmsg_site_diff(old_site, new_site, &options, &diff), SSMSG_OK);
  CHECK(diff->settings.messages.count == 1 && diff->messages_written == 1 &&
        diff->messages_full == 1 && diff->controllers_changed == 1);
  CHECK(strstr(diff->settings.messages.items[0], "<Name>b</Name>") != NULL);
  CHECK(diff->settings.origins[0].node == 2 && diff->settings.origins[0].task == 162);
  CHECK(diff->warnings.count == 1 && strstr(diff->warnings.items[0], "node 3") != NULL);
  ssmsg_diff_free(diff);

  /* A selection that neither site has gives no result. */
  options.by_interface = 1;
  options.interface_id = 2;
  diff = NOT_SET;
  CHECK_STATUS(ssmsg_site_diff(old_site, new_site, &options, &diff), SSMSG_NO_CONTROLLER);
  CHECK(diff == NULL);
  ssmsg_site_free(new_site);
  ssmsg_site_free(old_site);
}

/* A message decodes into JSON lines that the caller owns; a bad one gives where and why, and the
   length given is the message's end, not its NUL. */
static void test_decode(void) {
  static const char good[] =
      "<Command><InterfaceID>1</InterfaceID><MessageType>Controller</MessageType><Action>"
      "AskSettings</Action><Parameters><Node>2</Node></Parameters></Command>";
  static const char bad[] =
      "<Command><InterfaceID>1</InterfaceID><MessageType>Controller</MessageType><Action>"
      "AskSettings</Action><Parameters><Node>02</Node></Parameters></Command>";
  ssmsg_strings* json = NOT_SET;
  ssmsg_decode_error* error = NOT_SET;

  CHECK_STATUS(ssmsg_decode(good, strlen(good), &json, &error), SSMSG_OK);
  CHECK(error == NULL && json->count == 1 && starts_with(json->items[0], "{\"interface\":1,") &&
        strlen(json->items[0]) == json->lengths[0]);
  ssmsg_strings_free(json);
  CHECK_STATUS(ssmsg_decode(bad, strlen(bad), &json, &error), SSMSG_FAILED);
  CHECK(json == NULL && error->column == 121 &&
        strcmp(error->reason, "\"02\" has a leading zero") == 0);
  ssmsg_decode_error_free(error);
  CHECK_STATUS(ssmsg_decode(good, strlen(good) - 1, &json, NULL), SSMSG_FAILED);
}

/* A bad line is an error of its own, and then nothing is written, once. */
static void test_import_errors(void) {
  static const char bad[] = "<Command><InterfaceID>1</InterfaceID>";
  ssmsg_import* import = NULL;
  ssmsg_strings *text = NOT_SET, *errors = NULL;

  CHECK_STATUS(ssmsg_import_new(NULL, &import), SSMSG_OK);
  CHECK_STATUS(ssmsg_import_add_line(import, " \t", 2, NULL, 1), SSMSG_OK);
  CHECK_STATUS(ssmsg_import_add_line(import, bad, strlen(bad), NULL, 2), SSMSG_FAILED);
  CHECK_STATUS(ssmsg_import_write(import, &text), SSMSG_FAILED);
  CHECK(text == NULL);
  CHECK_STATUS(ssmsg_import_errors(import, &errors), SSMSG_OK);
  CHECK(errors->count == 1 && starts_with(errors->items[0], "<messages>:2:38: "));
  ssmsg_strings_free(errors);
  CHECK_STATUS(ssmsg_import_write(import, &text), SSMSG_INVALID_ARGUMENT);
  CHECK_STATUS(ssmsg_import_add_line(import, bad, strlen(bad), NULL, 3), SSMSG_INVALID_ARGUMENT);
  ssmsg_import_free(import);
}

static void test_load_errors(const char* sites_folder) {
  static const char bad[] =
      "{\"Controllers\": [{\"Interface\": 0, \"Node\": 1}, {\"Interface\": 1, \"Node\": -1}]}";
  char path[4096];
  ssmsg_site* site = NOT_SET;
  ssmsg_strings* errors = NULL;

  CHECK_STATUS(ssmsg_site_load_text(bad, strlen(bad), "bad.json", &site, &errors),
               SSMSG_SITE_INVALID);
  CHECK(site == NULL && errors->count == 2);
  CHECK(starts_with(errors->items[0], "bad.json: Controllers[0].Interface: "));
  CHECK(starts_with(errors->items[1], "bad.json: Controllers[1].Node: "));
  ssmsg_strings_free(errors);
  CHECK_STATUS(ssmsg_site_load_text(NULL, 0, NULL, &site, &errors), SSMSG_SITE_INVALID);
  CHECK(errors->count == 1 && starts_with(errors->items[0], "<text>"));
  ssmsg_strings_free(errors);

  /* A file that is not there, and a folder, cannot be read. */
  snprintf(path, sizeof path, "%s/no-such-site.json", sites_folder);
  CHECK_STATUS(ssmsg_site_load(path, &site, &errors), SSMSG_IO_ERROR);
  CHECK(site == NULL && errors->count == 1 && starts_with(errors->items[0], path) &&
        strstr(errors->items[0], ": cannot read the file: ") != NULL);
  ssmsg_strings_free(errors);
  CHECK_STATUS(ssmsg_site_load(sites_folder, &site, NULL), SSMSG_IO_ERROR);
}

/* Runs `options` collected and streamed: both give `expected`, and a result only with it. */
static void expect_settings(const ssmsg_site* site, const ssmsg_settings_options* options,
                            ssmsg_status expected, int line) {
  ssmsg_settings* settings = NOT_SET;
  size_t streamed = 0;
  ssmsg_status status = ssmsg_site_settings(site, options, &settings);
  check(status == expected, "collected", line);
  check((settings != NULL) == (expected == SSMSG_OK), "a result only for SSMSG_OK", line);
  ssmsg_settings_free(settings);
  settings = NOT_SET;
  status = ssmsg_site_settings_each(site, options, count_message, &streamed, &settings);
  check(status == (streamed == 3 ? SSMSG_STOPPED : expected), "streamed", line);
  check((settings != NULL) == (expected == SSMSG_OK), "failures only for SSMSG_OK", line);
  check(expected == SSMSG_OK || streamed == 0, "no message without SSMSG_OK", line);
  ssmsg_settings_free(settings);
}

/* Times, tasks and selections that a job takes, and those it does not. */
static void test_settings_options(const char* demo_path) {
  /* The calendar itself is tested in the library; here only that a bad time is refused. */
  static const ssmsg_time valid[] = {{2024, 2, 29, 0, 0, 0}, {9999, 12, 31, 23, 59, 59}};
  static const ssmsg_time invalid[] = {{2025, 2, 29, 0, 0, 0}, {2026, 1, 1, 0, 60, 0}};
  static const int32_t clock = 152, first = 151, last = 177, low = 150, high = 178;
  static const struct {
    ssmsg_settings_options options;
    ssmsg_status expected;
  } cases[] = {
      {{.by_interface = 1,
        .interface_id = 1,
        .by_node = 1,
        .node = 2,
        .tasks = &last,
        .task_count = 1},
       SSMSG_OK},
      {{.tasks = &first, .task_count = 1, .jobs = 2}, SSMSG_OK}, /* makes nothing */
      {{.by_node = 1, .node = 1}, SSMSG_INVALID_ARGUMENT},       /* a node without an interface */
      {{.tasks = &low, .task_count = 1}, SSMSG_INVALID_ARGUMENT},
      {{.tasks = &high, .task_count = 1}, SSMSG_INVALID_ARGUMENT},
      {{.task_count = 1}, SSMSG_INVALID_ARGUMENT}, /* a count without tasks */
      {{.by_interface = 1, .interface_id = 9}, SSMSG_NO_CONTROLLER},
      {{.by_interface = 1, .interface_id = 1, .by_node = 1, .node = 9}, SSMSG_NO_CONTROLLER},
  };
  ssmsg_settings_options options = {.tasks = &clock, .task_count = 1};
  ssmsg_site* site = NULL;
  size_t i;

  CHECK_STATUS(ssmsg_site_load(demo_path, &site, NULL), SSMSG_OK);
  for (i = 0; i < sizeof valid / sizeof valid[0]; ++i) {
    options.time = &valid[i];
    expect_settings(site, &options, SSMSG_OK, __LINE__);
  }
  for (i = 0; i < sizeof invalid / sizeof invalid[0]; ++i) {
    options.time = &invalid[i];
    expect_settings(site, &options, SSMSG_INVALID_ARGUMENT, __LINE__);
  }
  for (i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    expect_settings(site, &cases[i].options, cases[i].expected, __LINE__);
  }
  ssmsg_site_free(site);
}

/* Every pointer that a call needs, left NULL; and indexes and counts beyond their arrays. */
static void test_invalid_arguments(const char* demo_path) {
  const uint32_t node = 1;
  ssmsg_site* site = NULL;
  ssmsg_site* no_site = NOT_SET;
  ssmsg_strings* strings = NOT_SET;
  ssmsg_settings* settings = NOT_SET;
  const char* name = NOT_SET;
  size_t count = 7;
  int32_t interface_id = 7, node_number = 7;
  const ssmsg_status invalid = SSMSG_INVALID_ARGUMENT;

  CHECK_STATUS(ssmsg_site_load(demo_path, &site, NULL), SSMSG_OK);
  CHECK_STATUS(ssmsg_site_load(NULL, &no_site, &strings), invalid);
  CHECK(no_site == NULL && strings == NULL);
  CHECK_STATUS(ssmsg_site_load(demo_path, NULL, NULL), invalid);
  CHECK_STATUS(ssmsg_site_load_text(NULL, 1, "x", &no_site, NULL), invalid);
  CHECK_STATUS(ssmsg_site_load_text("{}", 2, "x", NULL, NULL), invalid);
  CHECK_STATUS(ssmsg_site_name(NULL, &name), invalid);
  CHECK_STATUS(ssmsg_site_name(site, NULL), invalid);
  CHECK_STATUS(ssmsg_site_controller_count(NULL, &count), invalid);
  CHECK_STATUS(ssmsg_site_controller_count(site, NULL), invalid);
  CHECK_STATUS(ssmsg_site_controller(NULL, 0, &interface_id, &node_number), invalid);
  CHECK_STATUS(ssmsg_site_controller(site, 0, &interface_id, NULL), invalid);
  CHECK_STATUS(ssmsg_site_controller(site, 2, &interface_id, &node_number), invalid);
  CHECK(name == NULL && count == 0 && interface_id == 0 && node_number == 0);
  CHECK_STATUS(ssmsg_site_warnings(NULL, &strings), invalid);
  CHECK_STATUS(ssmsg_site_warnings(site, NULL), invalid);
  CHECK_STATUS(ssmsg_site_settings(NULL, NULL, &settings), invalid);
  CHECK_STATUS(ssmsg_site_settings(site, NULL, NULL), invalid);
  CHECK(strings == NULL && settings == NULL);
  settings = NOT_SET;
  CHECK_STATUS(ssmsg_site_settings_each(NULL, NULL, count_message, &count, &settings), invalid);
  CHECK(settings == NULL);
  CHECK_STATUS(ssmsg_site_settings_each(site, NULL, NULL, NULL, NULL), invalid);
  CHECK_STATUS(ssmsg_task_table(NULL), invalid);

  /* Each refused call clears the list it was given. */
#define CHECK_REFUSED(call)                                      \
  (strings = NOT_SET, check((call) == invalid, #call, __LINE__), \
   check(strings == NULL, #call " clears its list", __LINE__))
  CHECK_REFUSED(ssmsg_interface_start(1, 0, NULL, 1, &strings));
  CHECK_REFUSED(ssmsg_interface_set_nodes(1, &node, 1, NULL, 1, NULL, 0, &strings));
  CHECK_REFUSED(ssmsg_interface_set_nodes(1, &node, 1, NULL, 0, NULL, 1, &strings));
  CHECK_REFUSED(ssmsg_interface_poll(1, NULL, 1, NULL, 0, &strings));
  CHECK_REFUSED(ssmsg_interface_poll(1, &node, 1, NULL, 1, &strings));
#undef CHECK_REFUSED
  CHECK_STATUS(ssmsg_interface_stop(1, NULL), invalid);
  CHECK_STATUS(ssmsg_ask_settings(1, 1, NULL), invalid);

  {
    ssmsg_diff* diff = NOT_SET;
    ssmsg_decode_error* error = NOT_SET;
    ssmsg_import* import = NOT_SET;
    CHECK_STATUS(ssmsg_site_diff(NULL, site, NULL, &diff), invalid);
    CHECK(diff == NULL);
    CHECK_STATUS(ssmsg_site_diff(site, NULL, NULL, &diff), invalid);
    CHECK_STATUS(ssmsg_site_diff(site, site, NULL, NULL), invalid);
    CHECK_STATUS(ssmsg_decode(NULL, 1, &strings, &error), invalid);
    CHECK(strings == NULL && error == NULL);
    CHECK_STATUS(ssmsg_decode("x", 1, NULL, &error), invalid);
    CHECK_STATUS(ssmsg_import_new(site, NULL), invalid);
    CHECK_STATUS(ssmsg_import_add_line(NULL, "", 0, NULL, 1), invalid);
    CHECK_STATUS(ssmsg_import_write(NULL, &strings), invalid);
    CHECK_STATUS(ssmsg_import_errors(NULL, &strings), invalid);
    CHECK_STATUS(ssmsg_import_notes(NULL, &strings), invalid);
    CHECK_STATUS(ssmsg_import_new(NULL, &import), SSMSG_OK);
    CHECK_STATUS(ssmsg_import_add_line(import, NULL, 1, NULL, 1), invalid);
    CHECK_STATUS(ssmsg_import_write(import, NULL), invalid);
    CHECK_STATUS(ssmsg_import_errors(import, NULL), invalid);
    CHECK_STATUS(ssmsg_import_notes(import, NULL), invalid);
    ssmsg_import_free(import);
  }

  ssmsg_strings_free(NULL); /* freeing nothing does nothing */
  ssmsg_settings_free(NULL);
  ssmsg_site_free(NULL);
  ssmsg_diff_free(NULL);
  ssmsg_decode_error_free(NULL);
  ssmsg_import_free(NULL);
  ssmsg_site_free(site);
}

/* Each interface operation gives its one message, or an empty list when it returns false (the
   Python package's tests compare the messages with the tool's). */
static void test_interface_messages(void) {
  const uint32_t nodes[] = {2, 3}, timeouts[] = {500, 600};
  ssmsg_strings* made[13];
  const ssmsg_status statuses[13] = {
      ssmsg_interface_start(1, 1, "192.168.0.10", 3001, &made[0]),
      ssmsg_interface_stop(2, &made[1]),
      ssmsg_interface_set_nodes(1, nodes, 2, timeouts, 2, nodes, 1, &made[2]),
      ssmsg_interface_poll(1, nodes, 2, nodes, 1, &made[3]),
      ssmsg_ask_settings(1, 2, &made[4]),
      ssmsg_interface_start(0, 0, "192.168.0.10", 3001, &made[5]),
      ssmsg_interface_stop(0, &made[6]),
      ssmsg_interface_set_nodes(1, NULL, 0, timeouts, 2, NULL, 0, &made[7]),
      ssmsg_interface_set_nodes(0, nodes, 2, NULL, 0, NULL, 0, &made[8]),
      ssmsg_interface_poll(1, NULL, 0, NULL, 0, &made[9]),
      ssmsg_interface_poll(-1, nodes, 2, NULL, 0, &made[10]),
      ssmsg_ask_settings(0, 2, &made[11]),
      ssmsg_ask_settings(1, -1, &made[12]),
  };
  size_t i;
  for (i = 0; i < 13; ++i) {
    CHECK(statuses[i] == (i < 5 ? SSMSG_OK : SSMSG_FAILED));
    CHECK(made[i] != NULL && made[i]->count == (i < 5 ? 1u : 0u));
    if (i < 5) CHECK(starts_with(made[i]->items[0], "<Command><InterfaceID>"));
    ssmsg_strings_free(made[i]);
  }
}

static void test_version_statuses_and_tasks(void) {
  ssmsg_strings* sends = NULL;
  int a, b;
  CHECK(strcmp(ssmsg_version(), SSMSG_VERSION_STRING) == 0);
  for (a = SSMSG_OK; a <= SSMSG_INTERNAL_ERROR; ++a) {
    for (b = a + 1; b <= SSMSG_INTERNAL_ERROR + 1; ++b) {
      CHECK(strcmp(ssmsg_status_text(a), ssmsg_status_text(b)) != 0);
    }
  }
  CHECK(strcmp(ssmsg_status_text(-1), "unknown status") == 0);
  CHECK_STATUS(ssmsg_task_table(&sends), SSMSG_OK);
  CHECK(sends->count == SSMSG_LAST_TASK - SSMSG_FIRST_TASK + 1);
  CHECK(strcmp(sends->items[161 - SSMSG_FIRST_TASK], "InputClearAll, then InputType per input") ==
        0);
  ssmsg_strings_free(sends);
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s DEMO_SITE.json SITES_FOLDER\n", argv[0]);
    return 2;
  }
  test_site_from_file(argv[1]);
  test_site_from_text();
  test_site_with_a_control_character();
  test_import();
  test_load_errors(argv[2]);
  test_diff();
  test_decode();
  test_import_errors();
  test_settings_options(argv[1]);
  test_invalid_arguments(argv[1]);
  test_interface_messages();
  test_version_statuses_and_tasks();
  if (failed_checks != 0) {
    fprintf(stderr, "c_api_test: %d checks failed\n", failed_checks);
    return 1;
  }
  printf("c_api_test: all checks passed\n");
  return 0;
}
