#ifndef SSMSG_C_API_H
#define SSMSG_C_API_H

/** \file
 * The C interface of ssmsg, for hosts written in C and for bindings of other languages.
 *
 *   ssmsg_site* site = NULL;
 *   ssmsg_strings* errors = NULL;
 *   if (ssmsg_site_load("site.json", &site, &errors) != SSMSG_OK) {
 *     for (size_t i = 0; i < errors->count; ++i) fprintf(stderr, "%s\n", errors->items[i]);
 *   } else {
 *     ssmsg_settings* settings = NULL;
 *     ssmsg_site_settings(site, NULL, &settings);  (NULL options: every controller and task)
 *     ... settings->messages.items[i], settings->origins[i] ...
 *     ssmsg_settings_free(settings);
 *   }
 *   ssmsg_strings_free(errors);
 *   ssmsg_site_free(site);
 *
 * Conventions:
 * - Every function that can fail returns an ssmsg_status and gives its results through
 *   out-parameters. It first sets each out-pointer it was given to NULL, so an out-pointer that
 *   was not filled is NULL whatever the status.
 * - Whatever the library hands out (a site, a string list, a settings result) is freed with its
 *   own ssmsg_*_free function; each accepts NULL. Texts that a function returns as const char*
 *   without a free function (ssmsg_version, ssmsg_status_text, ssmsg_site_name) belong to the
 *   library or to the site they came from.
 * - A NULL where a pointer is required, a count without its array, or a value outside its range
 *   gives SSMSG_INVALID_ARGUMENT. No error of the library crosses this interface in any other
 *   way than as a status: nothing is thrown, nothing aborts.
 *
 * Threads: the library starts no thread and takes no lock unless asked to: only a `jobs` above 1
 * in ssmsg_settings_options starts threads (jobs - 1 of them, besides the calling one, ended
 * before the call returns). Callbacks are always called on the calling thread.
 * - A site is read only once loaded: any number of threads may use one site at once, including
 *   ssmsg_site_settings on the same site. ssmsg_site_free must wait until they are done.
 * - A string list and a settings result belong to the thread that uses them, one at a time.
 * - The interface messages, ssmsg_ask_settings, ssmsg_decode, ssmsg_task_table and ssmsg_version
 *   may be called from any number of threads at once; each call returns a result of its own.
 * - ssmsg_site_diff may run on any number of threads at once, over the same sites too.
 * - An import, like a list, belongs to the thread that uses it, one at a time.
 * - A C++ host that uses the library's C++ interface as well: ssmsg_site_settings,
 *   ssmsg_site_diff and the import neither read nor change the process-wide store, enumeration
 *   service or clock source. */

#include <stddef.h>
#include <stdint.h>

#include <ssmsg/export.h>
#include <ssmsg/version.h>

#ifdef __cplusplus
extern "C" {
#endif

/** The result of every function that can fail. */
typedef enum ssmsg_status {
  /** Done. */
  SSMSG_OK = 0,
  /** A required pointer was NULL, or a value was outside its range (a task number, a date). */
  SSMSG_INVALID_ARGUMENT = 1,
  /** The site file or database has errors; they are in the errors list, one line each. */
  SSMSG_SITE_INVALID = 2,
  /** The site file or database could not be read; the errors list says why. */
  SSMSG_IO_ERROR = 3,
  /** An operation returned false: nothing usable was made by it. The messages of the call that
     were made are still given. Also a text that is not a message, or a line that cannot be
     imported. */
  SSMSG_FAILED = 4,
  /** The selection of controllers names no controller of the site. */
  SSMSG_NO_CONTROLLER = 5,
  /** The message callback asked to stop. */
  SSMSG_STOPPED = 6,
  /** Memory ran out; nothing was given. */
  SSMSG_OUT_OF_MEMORY = 7,
  /** A fault of the library itself. */
  SSMSG_INTERNAL_ERROR = 8
} ssmsg_status;

/** A fixed text for each status.
   \param status an ssmsg_status, or any other number
   \return e.g. "invalid argument"; "unknown status" for any other value */
SSMSG_API const char* ssmsg_status_text(int status);

/** The version of the library that is running. SSMSG_VERSION_STRING is the version of the
   headers compiled against.
   \return e.g. "0.3.0" */
SSMSG_API const char* ssmsg_version(void);

/** A list of texts. items[i] is NUL-terminated; lengths[i] is its length in bytes without the
   terminating NUL. A message may hold NUL bytes (a name in the site file may), so read a message
   through its length. items and lengths may be NULL when count is 0. */
typedef struct ssmsg_strings {
  size_t count;             /**< how many texts there are */
  const char* const* items; /**< the texts */
  const size_t* lengths;    /**< the length of each text in bytes */
} ssmsg_strings;

/** Frees a list that the library handed out.
   \param strings the list, or NULL */
SSMSG_API void ssmsg_strings_free(ssmsg_strings* strings);

/* ---- Sites ---------------------------------------------------------------------------------- */

/** A checked site, read from a site file or a site database: its controllers in file order and
   its enumeration texts. */
typedef struct ssmsg_site ssmsg_site;

/** Reads and checks the site file or site database at `path` (a database is known by its first
   bytes, whatever the name). SSMSG_OK gives *site; SSMSG_SITE_INVALID and
   SSMSG_IO_ERROR give every error in *errors, one line each naming the file as `path` spells it.
   `errors` may be NULL when the lines are not wanted; otherwise *errors is a list (empty for
   SSMSG_OK) after any of these three statuses.
   \param path the file's path
   \param[out] site the site
   \param[out] errors the error lines, or NULL
   \return SSMSG_OK, SSMSG_SITE_INVALID, SSMSG_IO_ERROR, SSMSG_INVALID_ARGUMENT or
   SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_site_load(const char* path, ssmsg_site** site, ssmsg_strings** errors);

/** Checks the `length` bytes at `text`: a site file's text, or the bytes of a whole site database
   (known by its first bytes); errors name it `name` (NULL: "<text>"). As ssmsg_site_load
   otherwise, without SSMSG_IO_ERROR.
   \param text the site file's text or the database's bytes
   \param length its length in bytes
   \param name the name that errors give the text, or NULL
   \param[out] site the site
   \param[out] errors the error lines, or NULL
   \return as ssmsg_site_load */
SSMSG_API ssmsg_status ssmsg_site_load_text(const char* text, size_t length, const char* name,
                                            ssmsg_site** site, ssmsg_strings** errors);

/** Frees a site.
   \param site the site, or NULL */
SSMSG_API void ssmsg_site_free(ssmsg_site* site);

/** The name that the site was loaded under.
   \param site the site
   \param[out] name the name, valid until the site is freed
   \return SSMSG_OK or SSMSG_INVALID_ARGUMENT */
SSMSG_API ssmsg_status ssmsg_site_name(const ssmsg_site* site, const char** name);

/** How many controllers the site has.
   \param site the site
   \param[out] count the number of controllers
   \return SSMSG_OK or SSMSG_INVALID_ARGUMENT */
SSMSG_API ssmsg_status ssmsg_site_controller_count(const ssmsg_site* site, size_t* count);

/** The address of a controller.
   \param site the site
   \param index the controller, 0 to count - 1, in file order
   \param[out] interface_id its interface
   \param[out] node its node
   \return SSMSG_OK, or SSMSG_INVALID_ARGUMENT for an index out of range */
SSMSG_API ssmsg_status ssmsg_site_controller(const ssmsg_site* site, size_t index,
                                             int32_t* interface_id, int32_t* node);

/** What a valid site may still get wrong: enumeration values without a text, and records beyond
   a controller's capability count that are never sent.
   \param site the site
   \param[out] warnings one line each
   \return SSMSG_OK, SSMSG_INVALID_ARGUMENT or SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_site_warnings(const ssmsg_site* site, ssmsg_strings** warnings);

/* ---- Settings ------------------------------------------------------------------------------- */

#define SSMSG_FIRST_TASK 151 /**< the first settings task */
#define SSMSG_LAST_TASK 177  /**< the last settings task */

/** A local date and time: year 0 to 9999, month 1 to 12, day 1 to the month's last, hour 0 to
   23, minute and second 0 to 59. */
typedef struct ssmsg_time {
  int year;   /**< 0 to 9999 */
  int month;  /**< 1 to 12 */
  int day;    /**< 1 to the month's last */
  int hour;   /**< 0 to 23 */
  int minute; /**< 0 to 59 */
  int second; /**< 0 to 59 */
} ssmsg_time;

/** What ssmsg_site_settings makes. A zeroed struct (or a NULL options pointer) asks for every
   controller, every task 151 to 177 ascending, the machine's local time and the calling thread
   alone. */
typedef struct ssmsg_settings_options {
  int by_interface; /**< nonzero: only the controllers on interface `interface_id` */
  int32_t interface_id; /**< the interface of by_interface */
  int by_node; /**< nonzero: only the controller at `node` (needs by_interface) */
  int32_t node; /**< the node of by_node */
  const int32_t* tasks; /**< the tasks in the order they run for each controller */
  size_t task_count; /**< 0: 151 to 177 ascending */
  const ssmsg_time* time; /**< the time that the clock message (task 152) sends; NULL: the clock's */
  unsigned jobs; /**< threads that build controllers at once, the calling one among them; 0 or 1:
                    the calling thread alone, no thread started. The order of the messages is the
                    same whatever the number. */
} ssmsg_settings_options;

/** Which controller and task a message is for, or which task returned false for a controller. */
typedef struct ssmsg_origin {
  int32_t interface_id; /**< the controller's interface */
  int32_t node;         /**< the controller's node */
  int32_t task;         /**< the task, 151 to 177 */
} ssmsg_origin;

/** The settings messages of a site, controller by controller in file order and task by task in
   the order asked for. Free it with ssmsg_settings_free only (not its messages on their own). */
typedef struct ssmsg_settings {
  ssmsg_strings messages;       /**< the messages */
  const ssmsg_origin* origins;  /**< origins[i] is the origin of messages.items[i] */
  size_t failure_count;         /**< how many tasks returned false */
  const ssmsg_origin* failures; /**< the tasks that returned false, in the order they ran */
} ssmsg_settings;

/** Builds the settings messages of `site`. SSMSG_OK when every task succeeded; SSMSG_FAILED when
   one returned false (*result holds its failures and every message all the same);
   SSMSG_NO_CONTROLLER when the selection matches no controller; SSMSG_INVALID_ARGUMENT for a
   task outside 151 to 177, a time that is not a real date and time, or by_node without
   by_interface.
   \param site the site
   \param options the controllers, tasks, time and jobs; NULL for every controller and task
   \param[out] result the messages and the failures
   \return as above, or SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_site_settings(const ssmsg_site* site,
                                           const ssmsg_settings_options* options,
                                           ssmsg_settings** result);

/** Frees a settings result.
   \param settings the result, or NULL */
SSMSG_API void ssmsg_settings_free(ssmsg_settings* settings);

/** Receives one message at a time, in order, on the calling thread; `text` of `length` bytes is
   valid during the call only. Return 0 to go on, anything else to stop the job. */
typedef int (*ssmsg_message_fn)(void* context, const ssmsg_origin* origin, const char* text,
                                size_t length);

/** As ssmsg_site_settings, but hands each message to `on_message` as soon as it is made instead of
   keeping them all. `failures` may be NULL; otherwise it receives a result whose messages are
   empty and whose failures are those of ssmsg_site_settings. SSMSG_STOPPED when the callback
   stopped the job.
   \param site the site
   \param options as for ssmsg_site_settings
   \param on_message called with each message
   \param context passed to on_message
   \param[out] failures the failures, or NULL
   \return as ssmsg_site_settings, or SSMSG_STOPPED */
SSMSG_API ssmsg_status ssmsg_site_settings_each(const ssmsg_site* site,
                                                const ssmsg_settings_options* options,
                                                ssmsg_message_fn on_message, void* context,
                                                ssmsg_settings** failures);

/** What each settings task sends: items[i] is task SSMSG_FIRST_TASK + i, e.g. "InputClearAll,
   then InputType per input".
   \param[out] sends one text per task
   \return SSMSG_OK, SSMSG_INVALID_ARGUMENT or SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_task_table(ssmsg_strings** sends);

/* ---- The site as a page ------------------------------------------------------------------ */

/** Receives an HTML report in pieces, in order, on the calling thread: `page` names the page that
   the piece belongs to ("index.html", or "controller-K.html" for the K-th controller chosen), and
   the pieces of one page are consecutive; `page` and `text` (of `length` bytes) are valid during
   the call only. Return 0 to go on, anything else to stop. */
typedef int (*ssmsg_report_fn)(void* context, const char* page, const char* text, size_t length);

/** Writes the HTML report of `site` (as `ssmsg report` does) to `on_piece`: the controllers of
   `options`, on its jobs (its tasks and time are not read). `old_site` (may be NULL): mark what
   changed since that site and count the messages that the diff from it sends. `pages` nonzero:
   one page per controller, each as soon as it is made, then the index page; zero: one page.
   SSMSG_NO_CONTROLLER and SSMSG_INVALID_ARGUMENT as for ssmsg_site_settings; SSMSG_STOPPED when
   the callback stopped the report.
   \param site the site
   \param old_site the site to compare with, or NULL
   \param options the controllers and jobs, or NULL for every controller on the calling thread
   \param pages nonzero for a page per controller
   \param on_piece receives the pages' text
   \param context handed to `on_piece`
   \return SSMSG_OK, SSMSG_NO_CONTROLLER, SSMSG_INVALID_ARGUMENT, SSMSG_STOPPED or
   SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_site_report(const ssmsg_site* site, const ssmsg_site* old_site,
                                         const ssmsg_settings_options* options, int pages,
                                         ssmsg_report_fn on_piece, void* context);

/* ---- Sending only what changed ------------------------------------------------------------- */

/** The messages that bring controllers configured from one site to another. */
typedef struct ssmsg_diff {
  /** The messages with their origins, controller by controller in the new site's order, and the
     tasks of the new site that returned false. Freed with the diff, not on its own. */
  ssmsg_settings settings;
  /** What cannot be sent: records that the new site no longer has but whose task cannot withdraw
     them, and controllers that the new site no longer has. One line each. */
  ssmsg_strings warnings;
  size_t controllers_changed; /**< controllers that were sent anything */
  size_t messages_written;    /**< settings.messages.count */
  size_t messages_full;       /**< what the settings of the new site send with the same tasks */
} ssmsg_diff;

/** Makes the messages that bring the selected controllers from `old_site` to `new_site`, matched by
   interface and node. A controller that `old_site` lacks gets every message of its tasks; for one
   that both have, a task whose messages are equal sends nothing, a task that clears its list
   first or sends one message or one name sends all of its messages, and a task of one message
   per input, output or reader sends those of each record that changed or is new.
   `options` as for ssmsg_site_settings, except: no tasks (task_count 0, or NULL options) means
   151 to 177 without the clock (152), which is sent only when named and then always.
   SSMSG_OK; SSMSG_FAILED when a task of `new_site` returned false (*result is given all
   the same); SSMSG_NO_CONTROLLER when neither site has a selected controller;
   SSMSG_INVALID_ARGUMENT as for ssmsg_site_settings. Either site may be in use by other threads.
   \param old_site the site last sent
   \param new_site the site to send
   \param options the controllers, tasks, time and jobs, or NULL
   \param[out] result the messages, warnings and counts
   \return as above, or SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_site_diff(const ssmsg_site* old_site, const ssmsg_site* new_site,
                                       const ssmsg_settings_options* options, ssmsg_diff** result);

/** Frees a diff.
   \param diff the diff, or NULL */
SSMSG_API void ssmsg_diff_free(ssmsg_diff* diff);

/* ---- Reading messages back ------------------------------------------------------------------ */

/** Where a text stops being a message of the library. */
typedef struct ssmsg_decode_error {
  size_t column;      /**< 1-based column of the first byte that is wrong */
  const char* reason; /**< e.g. "expected <DLan> after </Input>" */
} ssmsg_decode_error;

/** Decodes the `length` bytes at `text`, one whole message exactly as the library writes it (no
   line feed), into one JSON object: *json is a list of one text, e.g.
   {"interface":1,"messageType":"Inputs","action":"InputType","node":2,"parameters":{...}}.
   SSMSG_FAILED when the text is not such a message: *json is NULL and *error, unless `error` is
   NULL, says where and why.
   \param text the message
   \param length its length in bytes
   \param[out] json a list of one JSON object
   \param[out] error where and why the text is not a message, or NULL
   \return SSMSG_OK, SSMSG_FAILED, SSMSG_INVALID_ARGUMENT or SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_decode(const char* text, size_t length, ssmsg_strings** json,
                                    ssmsg_decode_error** error);

/** Frees a decode error.
   \param error the error, or NULL */
SSMSG_API void ssmsg_decode_error_free(ssmsg_decode_error* error);

/** A site file made from settings messages, applied line by line in order the way controllers
   take them: given the messages that ssmsg_site_settings made for a task list without the clock,
   the site file makes exactly those messages again. */
typedef struct ssmsg_import ssmsg_import;

/** A new import. `enums_from` may be NULL; otherwise its enumeration texts are read back too and
   written into the site file. It is read here only: it may be freed afterwards.
   \param enums_from a site whose enumeration texts are read back, or NULL
   \param[out] import the import
   \return SSMSG_OK, SSMSG_INVALID_ARGUMENT or SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_import_new(const ssmsg_site* enums_from, ssmsg_import** import);

/** Applies line `line` (1-based) of the stream `source` (NULL: "<messages>"): the `length` bytes at
   `text`, one message without its line feed. A line of nothing but white space is skipped.
   SSMSG_FAILED when the line is not a message or cannot be applied; ssmsg_import_errors says
   why, and the next line may still be added. SSMSG_INVALID_ARGUMENT after ssmsg_import_write.
   \param import the import
   \param text the line
   \param length its length in bytes
   \param source the name of the stream, or NULL
   \param line the line's number, from 1
   \return SSMSG_OK, SSMSG_FAILED, SSMSG_INVALID_ARGUMENT or SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_import_add_line(ssmsg_import* import, const char* text, size_t length,
                                             const char* source, size_t line);

/** The site that the lines make, named `name` (NULL: "<messages>"), as ssmsg_site_load would give
   its site file: *site, freed with ssmsg_site_free. Once only, instead of ssmsg_import_write and
   with the same statuses: SSMSG_FAILED, with no site, when a line had errors or a name is not
   valid UTF-8; later calls, and ssmsg_import_add_line, give SSMSG_INVALID_ARGUMENT.
   \param import the import
   \param name the name the site goes by, or NULL
   \param[out] site the site
   \return SSMSG_OK, SSMSG_FAILED, SSMSG_INVALID_ARGUMENT or SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_import_site(ssmsg_import* import, const char* name,
                                         ssmsg_site** site);

/** Writes the site file: *site_text is a list of one text. Call it once, after the last line
   (the records go into the text); later calls, and ssmsg_import_add_line, give
   SSMSG_INVALID_ARGUMENT. SSMSG_FAILED, with no text, when a line had errors or a name is not
   valid UTF-8 (which a site file cannot hold): ssmsg_import_errors lists them.
   \param import the import
   \param[out] site_text a list of one text
   \return SSMSG_OK, SSMSG_FAILED, SSMSG_INVALID_ARGUMENT or SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_import_write(ssmsg_import* import, ssmsg_strings** site_text);

/** What was wrong so far, one line each: "SOURCE:LINE:COLUMN: reason" for a line that is not a
   message, "SOURCE:LINE: reason" for one that cannot be applied.
   \param import the import
   \param[out] errors one line each
   \return SSMSG_OK, SSMSG_INVALID_ARGUMENT or SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_import_errors(const ssmsg_import* import, ssmsg_strings** errors);

/** One line per kind of message skipped because it carries no configuration (interface messages,
   the request for settings, the clock), e.g. "skipped 3 SystemData SetRTC messages, which carry
   no configuration".
   \param import the import
   \param[out] notes one line each
   \return SSMSG_OK, SSMSG_INVALID_ARGUMENT or SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_import_notes(const ssmsg_import* import, ssmsg_strings** notes);

/** Frees an import.
   \param import the import, or NULL */
SSMSG_API void ssmsg_import_free(ssmsg_import* import);

/* ---- Interface messages --------------------------------------------------------------------- */

/* Each gives a list of the one message made, or SSMSG_FAILED with an empty list when the
   operation returned false (an interface number below 1, a node below 0, or both node lists of
   set-nodes or poll empty). A node list may be NULL when its count is 0. */

/** The message that starts an interface.
   \param interface_id the interface, 1 or more
   \param main_interface nonzero: the main interface
   \param ip_address its IP address
   \param ip_port its IP port
   \param[out] messages a list of the one message
   \return SSMSG_OK, SSMSG_FAILED, SSMSG_INVALID_ARGUMENT or SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_interface_start(int32_t interface_id, int main_interface,
                                             const char* ip_address, int32_t ip_port,
                                             ssmsg_strings** messages);
/** The message that stops an interface.
   \param interface_id the interface, 1 or more
   \param[out] messages a list of the one message
   \return SSMSG_OK, SSMSG_FAILED, SSMSG_INVALID_ARGUMENT or SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_interface_stop(int32_t interface_id, ssmsg_strings** messages);
/** The message that tells an interface which nodes to serve.
   \param interface_id the interface, 1 or more
   \param add nodes to add
   \param add_count how many
   \param timeouts a timeout for each added node
   \param timeout_count how many
   \param remove nodes to remove
   \param remove_count how many
   \param[out] messages a list of the one message
   \return SSMSG_OK, SSMSG_FAILED, SSMSG_INVALID_ARGUMENT or SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_interface_set_nodes(int32_t interface_id, const uint32_t* add,
                                                 size_t add_count, const uint32_t* timeouts,
                                                 size_t timeout_count, const uint32_t* remove,
                                                 size_t remove_count, ssmsg_strings** messages);
/** The message that starts and stops polling nodes.
   \param interface_id the interface, 1 or more
   \param start nodes to start polling
   \param start_count how many
   \param stop nodes to stop polling
   \param stop_count how many
   \param[out] messages a list of the one message
   \return SSMSG_OK, SSMSG_FAILED, SSMSG_INVALID_ARGUMENT or SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_interface_poll(int32_t interface_id, const uint32_t* start,
                                            size_t start_count, const uint32_t* stop,
                                            size_t stop_count, ssmsg_strings** messages);

/** The message that asks controller `node` on interface `interface_id` to report its settings.
   \param interface_id the interface, 1 or more
   \param node the node, 0 or more
   \param[out] messages a list of the one message
   \return SSMSG_OK, SSMSG_FAILED, SSMSG_INVALID_ARGUMENT or SSMSG_OUT_OF_MEMORY */
SSMSG_API ssmsg_status ssmsg_ask_settings(int32_t interface_id, int32_t node,
                                          ssmsg_strings** messages);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /**< SSMSG_C_API_H */
