/* Quorrel's analysis for callers that are not C++: a web page through
 * WebAssembly, a script through a foreign-function interface.  Every rule
 * stays where the program keeps it (the key filter, the number reader and
 * the range checks with their messages, the engines, the report, the data
 * file's text); these functions only hand the core's answers across.
 *
 * Conventions
 * - Texts are zero-terminated, ASCII or UTF-8.  A text a function returns
 *   belongs to the session and stays valid until the next call that takes
 *   the same session; copy it to keep it.
 * - Messages are the ones the worksheet shows in its warning box, lines
 *   broken with a carriage return (code 13), never a line feed.
 * - A session is used by one thread at a time.  Only quorrel_request_stop
 *   and quorrel_drawn may be called from another thread, while a run is
 *   under way.
 * - Fields are numbered 0 to 7: mean X, SD X, mean Y, SD Y, correlation,
 *   sample size, the case's score on X, the case's score on Y.  `texts` is
 *   always the eight field texts in this order, as the fields hold them
 *   (after the key filter: a comma typed is already a point).
 *
 * A page's Compute:
 *     int refused = quorrel_check_fields(s, texts);      (-1: all accepted)
 *     ... otherwise show quorrel_message(s), focus field `refused`, stop.
 *     keep quorrel_data_file_text(s, texts) as the control data;
 *     double t = quorrel_expected_seconds(s, texts);     (ask when > 60)
 *     if (quorrel_run(s, texts, on_progress, page) == QUORREL_DONE)
 *       show quorrel_report(s, viewer_holds_text) and draw the summary.
 *
 * From JavaScript (the WebAssembly build, tools/build-wasm.sh)
 *     import createQuorrelCore from "./quorrel-core.mjs";
 *     const core = await createQuorrelCore();
 * Every function here is core._<name> (core._quorrel_run, ...).  A pointer
 * is a number: a text goes in as core._malloc(core.lengthBytesUTF8(t) + 1)
 * filled by core.stringToUTF8(t, p, size), `texts` as eight such pointers
 * written with core.setValue(array + 4 * i, p, "i32") into
 * core._malloc(32), and quorrel_read_number's value comes back through
 * core._malloc(8) and core.getValue(p, "double"); a text returned is read
 * with core.UTF8ToString(p) (core.ccall and core.cwrap with "string" do
 * both on the loader's stack); free what was allocated with core._free.
 * The progress function is core.addFunction((context, drawn, total) => ...,
 * "iiii").  quorrel_run computes on the calling thread: run it in a Web
 * Worker.  That worker cannot call quorrel_request_stop while the run
 * holds it, so a page stops a run by its progress function's return value
 * (reading, for instance, a flag in a SharedArrayBuffer), or ends the
 * worker.  Under Node the module reads its .wasm file beside it itself.
 */
#ifndef QUORREL_C_API_H
#define QUORREL_C_API_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct quorrel_session quorrel_session;

/* A session whose numbers are written with `decimal_separator` ('.' or
 * ','; any other gives '.').  NULL when memory is short. */
quorrel_session* quorrel_session_new(char decimal_separator);
void quorrel_session_free(quorrel_session* session);

/* The message of the last call that refused something, or of the last
 * run that failed; "" when it refused nothing. */
const char* quorrel_message(const quorrel_session* session);
/* 1 when the last call asked for the system beep (a refused key or an
 * over-long text), else 0. */
int quorrel_beeped(const quorrel_session* session);

/* The fields' captions ("Mean of the control or normative sample on Task
 * X:", ...); NULL outside 0 to 7. */
const char* quorrel_field_caption(int field);
/* The longest text a field holds (6). */
int quorrel_max_input_length(void);

/* The key filter of a field: the character a key press lets through (a
 * comma becomes a point), or 0 when the key is discarded, after the beep
 * and the message ("Numeric input only ..."). */
int quorrel_filter_key(quorrel_session* session, int key);
/* The text a field keeps after a key release: at most six characters; a
 * longer text is cut, with the beep and the message. */
const char* quorrel_limit_length(quorrel_session* session, const char* text);

/* The number reader on one field's text: 1 with *value set when it is
 * accepted, 0 when refused (the message says why).  No range check. */
int quorrel_read_number(quorrel_session* session, int field, const char* text, double* value);

/* The options of the next runs.  test: 0 standardized, 1 unstandardized.
 * prior: 0 calibrated, 1 standard theory, -1 the test's own (the
 * unstandardized test always runs with standard theory).  limits: 0
 * two-sided, 1 one-sided lower, 2 one-sided upper.  Returns 0, or -1 (and
 * nothing changes) for a value outside these. */
int quorrel_set_options(quorrel_session* session, int test, int prior, int limits);
/* The notes lines of the next reports: cleared, or one line added. */
void quorrel_clear_notes(quorrel_session* session);
void quorrel_add_note(quorrel_session* session, const char* line);

/* Reads and checks the eight fields in order, as Compute does: -1 when
 * every field is accepted, otherwise the index of the first refused one
 * (later fields are not read), whose message quorrel_message gives. */
int quorrel_check_fields(quorrel_session* session, const char* const texts[8]);

/* The expected duration in seconds of a run of these fields (a short
 * pilot of the calibrated prior, measured on this computer), or -1 when
 * none is expected to be long (standard theory, refused fields, a pilot
 * that fails).  Above 60 seconds the worksheet asks first: the question
 * and its three answers (go on, use standard theory, cancel) are these. */
double quorrel_expected_seconds(quorrel_session* session, const char* const texts[8]);
const char* quorrel_long_run_question(quorrel_session* session, double seconds);
const char* quorrel_long_run_choice(int index);

/* How a run ended. */
enum quorrel_status {
  QUORREL_DONE = 0,    /* the report and the summary are ready */
  QUORREL_REFUSED = 1, /* a field was refused: quorrel_refused_field, quorrel_message */
  QUORREL_STOPPED = 2, /* stopped on request: no report */
  QUORREL_FAILED = 3   /* the analysis failed: quorrel_message tells the user why */
};

/* Called a few dozen times during a run, always on the thread that called
 * quorrel_run (in WebAssembly a function added to the table exists on that
 * thread only), with the draws done so far in the run's order and the run's
 * total.  Return non-zero to stop the run. */
typedef int (*quorrel_progress_fn)(void* context, int drawn, int total);

/* Reads and checks the fields (as quorrel_check_fields) and runs the
 * analysis with the session's options: 1,000,000 posterior draws from the
 * fixed seeds, so the same fields give the same numbers on every run.
 * `progress` may be NULL.  Returns a quorrel_status. */
int quorrel_run(quorrel_session* session, const char* const texts[8], quorrel_progress_fn progress,
                void* context);
/* How many threads the runs of every session split their draws over:
 * `count`, or with 0 one per processor the process may use (the default; in
 * a browser, navigator.hardwareConcurrency).  The results are the same in
 * every digit whatever the count.  Returns the count the next run uses: 1
 * in a build without threads (the WebAssembly library quorrel-core.mjs),
 * whatever was asked.  A page that uses quorrel-core-threads.mjs makes it
 * with a pool of at least count - 1 workers (createQuorrelCore({
 * quorrelWorkers: count - 1 })): a run starts no more helper threads than
 * the pool holds, since a worker cannot start while the run holds its
 * thread. */
int quorrel_set_threads(int count);

/* Asks the run under way in `session` to stop (from any thread). */
void quorrel_request_stop(quorrel_session* session);
/* The draws done so far by the run under way (from any thread). */
int quorrel_drawn(const quorrel_session* session);
/* The field the last run refused, or -1. */
int quorrel_refused_field(const quorrel_session* session);

/* After QUORREL_DONE.  The report's lines, each ending with a line feed,
 * exactly as quorrel-report prints them; with `viewer_holds_text` non-zero
 * the line of 96 underscores that separates it from an earlier report comes
 * first.  "" when the last run did not finish. */
const char* quorrel_report(quorrel_session* session, int viewer_holds_text);
/* The eight results in the report's order (one-tailed and two-tailed
 * probability, percentage estimate, lower and upper limit, Z-DCC, its lower
 * and upper limit), then the case's z scores on X (8) and Y (9); 0 outside
 * or before a finished run. */
double quorrel_result(const quorrel_session* session, int index);

/* The summary of the finished run's posterior draws of Z-DCC, for a figure:
 * quorrel_draws_bins equal bins of width quorrel_draws_bin_width from
 * quorrel_draws_low (bin k holds the draws in [low + k * width, low + (k +
 * 1) * width)), and the draws below and above them.  0 before a finished
 * run or outside the bins. */
double quorrel_draws_low(const quorrel_session* session);
double quorrel_draws_bin_width(const quorrel_session* session);
int quorrel_draws_bins(const quorrel_session* session);
int quorrel_draws_count(const quorrel_session* session, int bin);
int quorrel_draws_below(const quorrel_session* session);
int quorrel_draws_above(const quorrel_session* session);

/* The control data's text, as the data file "quorreldata.txt" holds it for
 * these eight field texts. */
const char* quorrel_data_file_text(quorrel_session* session, const char* const texts[8]);
/* Reads a data file's text as the worksheet does at start-up: returns how
 * many of the six control values were read (6, or fewer when a token is no
 * number: then quorrel_message gives "Invalid numeric input"), each one
 * then given by quorrel_restored_value as the field shows it ("%1.6g"). */
int quorrel_read_data_file_text(quorrel_session* session, const char* text);
const char* quorrel_restored_value(const quorrel_session* session, int field);

#ifdef __cplusplus
}
#endif

#endif /* QUORREL_C_API_H */
