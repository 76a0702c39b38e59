// quorrel-report: the command-line front end of the analysis.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/decimal_separator.h"
#include "cli/fd_output.h"
#include "cli/report_cli.h"

namespace {

// Set by Ctrl-C (SIGINT) and by SIGTERM (a scheduler or `kill` ending the
// job); the program looks at it between rows and while an analysis runs,
// and ends with status 130 or 143 after the finished rows.
std::atomic<bool> interrupted{false};
std::atomic<int> stop_signal{0};
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnInterrupt(int signal_number) {
  if (!interrupted.load()) stop_signal.store(signal_number);
  interrupted.store(true);
}

}  // namespace

int main(int argc, char** argv) {
  // No SA_RESTART: a read of the batch file that Ctrl-C breaks off returns,
  // so a batch waiting on its input ends at once as well.
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  tCliRuntime runtime;
  runtime.progress = ::isatty(STDERR_FILENO) == 1;
  runtime.interrupted = &interrupted;
  runtime.stop_signal = &stop_signal;
  std::vector<std::string> args(argv + 1, argv + argc);
  tFdOutputBuffer output_buffer(STDOUT_FILENO);
  std::ostream output(&output_buffer);
  return RunQuorrelReport(args, output, std::cerr, UserDecimalSeparator(), runtime);
}
