// The C interface: each function hands one of the core's answers across,
// the session keeping what the caller reads afterwards.
#include "analysis/quorrel_c_api.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/Metrics_Papers.h"
#include "analysis/compute_driver.h"
#include "analysis/data_file.h"
#include "analysis/error_texts.h"
#include "analysis/io_error.h"
#include "analysis/report.h"

namespace {

// Keeps the last message and whether the beep was asked for.
class tKeptMessages : public tMessageSink {
 public:
  void ShowWarning(const std::string& text) override { message = text; }
  void Beep() override { beeped = true; }
  // Forgets the last call's.
  void Clear() {
    message.clear();
    beeped = false;
  }
  std::string message;
  bool beeped = false;
};

tWorksheetEntry Entry(const char* const texts[8], const tAnalysisOptions& options) {
  tWorksheetEntry entry;
  for (int i = 0; i < 8; ++i)
    entry.texts[i] = texts[i] != nullptr ? texts[i] : "";
  entry.options = options;
  return entry;
}

// The engine's progress, handed to the caller's function.
struct tProgress {
  quorrel_progress_fn function;
  void* context;
  int32_t total;
  std::thread::id caller;
};

// The engine calls this on whichever of the run's threads grew the count;
// the caller's function is called on the caller's thread only (a JavaScript
// function in a WebAssembly table exists on that thread alone).  The count
// only grows, so the caller's next call reports what the others committed.
void ReportProgress(tRunControl& control, void* context) {
  const tProgress& progress = *static_cast<const tProgress*>(context);
  if (std::this_thread::get_id() != progress.caller) return;
  if (progress.function(progress.context, control.drawn.load(), progress.total) != 0)
    control.stop.store(true);
}

// No exception may cross into a C caller: a function whose work fails (only
// memory running short can make these fail) returns `failed`.
template <class tResult, class tWork>
tResult Guarded(tResult failed, tWork work) noexcept {
  try {
    return work();
  } catch (...) {
    return failed;
  }
}

}  // namespace

struct quorrel_session {
  char separator = '.';
  tAnalysisOptions options;
  tKeptMessages messages;
  std::string text;  // the last text handed out
  std::optional<int> refused;
  std::optional<tAnalysis> analysis;  // the last finished run
  std::array<std::string, 6> restored;
  tRunControl control;
};

extern "C" {

quorrel_session* quorrel_session_new(char decimal_separator) {
  quorrel_session* session = new (std::nothrow) quorrel_session;
  if (session != nullptr) session->separator = decimal_separator == ',' ? ',' : '.';
  return session;
}

void quorrel_session_free(quorrel_session* session) {
  delete session;
}

const char* quorrel_message(const quorrel_session* session) {
  return session->messages.message.c_str();
}

int quorrel_beeped(const quorrel_session* session) {
  return session->messages.beeped ? 1 : 0;
}

const char* quorrel_field_caption(int field) {
  return field >= 0 && field < 8 ? FieldCaptions[field] : nullptr;
}

int quorrel_max_input_length(void) {
  return static_cast<int>(MaxInputLength);
}

int quorrel_filter_key(quorrel_session* session, int key) {
  session->messages.Clear();
  if (key < 0 || key > 127) key = 0x7F;  // no key the filter lets through
  return static_cast<unsigned char>(FilterNumericKey(static_cast<char>(key), session->messages));
}

const char* quorrel_limit_length(quorrel_session* session, const char* text) {
  session->messages.Clear();
  return Guarded<const char*>("", [&] {
    session->text = text != nullptr ? text : "";
    LimitInputLength(session->text, session->messages);
    return session->text.c_str();
  });
}

int quorrel_read_number(quorrel_session* session, int field, const char* text, double* value) {
  session->messages.Clear();
  if (field < 0 || field >= 8) return 0;
  return Guarded(0, [&] {
    const double read =
        ReadNumber(text != nullptr ? text : "", FieldCaptions[field], session->messages);
    if (InputError) return 0;
    if (value != nullptr) *value = read;
    return 1;
  });
}

int quorrel_set_options(quorrel_session* session, int test, int prior, int limits) {
  if (test < 0 || test > 1 || prior < -1 || prior >= static_cast<int>(kPriors.size()) ||
      limits < 0 || limits > 2)
    return -1;
  session->options.test = test == 0 ? tTestKind::Standardized : tTestKind::Unstandardized;
  session->options.prior.reset();
  if (prior >= 0) session->options.prior = kPriors[static_cast<std::size_t>(prior)];
  session->options.limits = limits == 0   ? tLimits::TwoSided
                            : limits == 1 ? tLimits::OneSidedLower
                                          : tLimits::OneSidedUpper;
  return 0;
}

void quorrel_clear_notes(quorrel_session* session) {
  session->options.notes.clear();
}

void quorrel_add_note(quorrel_session* session, const char* line) {
  Guarded(0, [&] {
    session->options.notes.emplace_back(line != nullptr ? line : "");
    return 0;
  });
}

int quorrel_check_fields(quorrel_session* session, const char* const texts[8]) {
  session->messages.Clear();
  return Guarded(0, [&] {
    tAnalysis_request request;
    const std::optional<int> refused =
        ReadEntry(Entry(texts, session->options), session->messages, request, session->separator);
    return refused ? *refused : -1;
  });
}

double quorrel_expected_seconds(quorrel_session* session, const char* const texts[8]) {
  return Guarded(-1.0, [&] {
    tKeptMessages silent;
    tAnalysis_request request;
    if (ReadEntry(Entry(texts, session->options), silent, request, session->separator)) return -1.0;
    const std::optional<double> seconds = ExpectedRunSeconds(request);
    return seconds ? *seconds : -1.0;
  });
}

const char* quorrel_long_run_question(quorrel_session* session, double seconds) {
  return Guarded<const char*>("", [&] {
    session->text = LongRunQuestion(seconds);
    return session->text.c_str();
  });
}

const char* quorrel_long_run_choice(int index) {
  return index >= 0 && index < static_cast<int>(LongRunChoices.size()) ? LongRunChoices[index]
                                                                       : nullptr;
}

int quorrel_run(quorrel_session* session, const char* const texts[8], quorrel_progress_fn progress,
                void* context) {
  session->messages.Clear();
  session->refused.reset();
  session->analysis.reset();
  tAnalysis_request request;
  try {
    session->refused =
        ReadEntry(Entry(texts, session->options), session->messages, request, session->separator);
  } catch (...) {
    session->messages.message = "The analysis failed.";
    return QUORREL_FAILED;
  }
  if (session->refused) return QUORREL_REFUSED;

  tRunControl& control = session->control;
  control.stop.store(false);
  control.drawn.store(0);
  tProgress hook{progress, context, request.iterations, std::this_thread::get_id()};
  control.progress = progress != nullptr ? ReportProgress : nullptr;
  control.progress_context = &hook;
  try {
    session->analysis = RunAnalysis(request, &control);
  } catch (const ERunStopped&) {
    control.progress = nullptr;
    return QUORREL_STOPPED;
  } catch (...) {
    control.progress = nullptr;
    try {
      session->messages.message =
          AnalysisErrorText(std::current_exception(), request, session->separator);
    } catch (...) {
      session->messages.message = "The analysis failed.";
    }
    return QUORREL_FAILED;
  }
  control.progress = nullptr;
  return QUORREL_DONE;
}

int quorrel_set_threads(int count) {
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
  // No thread can be started: a run is made on the caller's alone.
  (void)count;
  SetEngineThreads(1);
  return 1;
#else
  SetEngineThreads(static_cast<unsigned>(std::max(count, 0)));
  // A run uses at most 64 threads (Bayes_Engines.h).
  return static_cast<int>(std::min(EngineThreads(), 64u));
#endif
}

void quorrel_request_stop(quorrel_session* session) {
  session->control.stop.store(true);
}

int quorrel_drawn(const quorrel_session* session) {
  return session->control.drawn.load();
}

int quorrel_refused_field(const quorrel_session* session) {
  return session->refused ? *session->refused : -1;
}

const char* quorrel_report(quorrel_session* session, int viewer_holds_text) {
  session->text.clear();
  if (!session->analysis) return session->text.c_str();
  return Guarded<const char*>("", [&] {
    for (const std::string& line :
         BuildReport(viewer_holds_text != 0, ProgramTitle, *session->analysis, session->separator))
      session->text += line + '\n';
    return session->text.c_str();
  });
}

double quorrel_result(const quorrel_session* session, int index) {
  if (!session->analysis || index < 0 || index > 9) return 0;
  const tAnalysis& analysis = *session->analysis;
  if (index == 8) return static_cast<double>(analysis.z_x);
  if (index == 9) return static_cast<double>(analysis.z_y);
  const tEngine_results& r = analysis.results;
  const tReal values[8] = {r.one_tailed_p, r.two_tailed_p, r.pct_estimate, r.pct_lower,
                           r.pct_upper,    r.zdcc,         r.zdcc_lower,   r.zdcc_upper};
  return static_cast<double>(values[index]);
}

double quorrel_draws_low(const quorrel_session* session) {
  return session->analysis ? static_cast<double>(session->analysis->draws.low) : 0;
}

double quorrel_draws_bin_width(const quorrel_session* session) {
  return session->analysis ? static_cast<double>(session->analysis->draws.bin_width) : 0;
}

int quorrel_draws_bins(const quorrel_session* session) {
  return session->analysis ? static_cast<int>(session->analysis->draws.counts.size()) : 0;
}

int quorrel_draws_count(const quorrel_session* session, int bin) {
  if (!session->analysis || bin < 0 || bin >= quorrel_draws_bins(session)) return 0;
  return session->analysis->draws.counts[static_cast<std::size_t>(bin)];
}

int quorrel_draws_below(const quorrel_session* session) {
  return session->analysis ? session->analysis->draws.below : 0;
}

int quorrel_draws_above(const quorrel_session* session) {
  return session->analysis ? session->analysis->draws.above : 0;
}

const char* quorrel_data_file_text(quorrel_session* session, const char* const texts[8]) {
  return Guarded<const char*>("", [&] {
    session->text = DataFileText(Entry(texts, session->options).texts);
    return session->text.c_str();
  });
}

int quorrel_read_data_file_text(quorrel_session* session, const char* text) {
  session->messages.Clear();
  session->restored = {};
  int read = 0;
  try {
    ReadDataFileText(text != nullptr ? text : "", [&](int position, const std::string& value) {
      session->restored[static_cast<std::size_t>(position)] = value;
      read = position + 1;
    });
  } catch (const EInOutError& e) {
    session->messages.message = e.what();
  } catch (...) {
  }
  return read;
}

const char* quorrel_restored_value(const quorrel_session* session, int field) {
  return field >= 0 && field < 6 ? session->restored[static_cast<std::size_t>(field)].c_str() : "";
}

}  // extern "C"
