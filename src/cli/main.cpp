// quorrel-report: the command-line front end of the analysis.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "analysis/decimal_separator.h"
#include "cli/report_cli.h"

namespace {

// Set by Ctrl-C; the program looks at it between rows and while an
// analysis runs, and ends with status 130.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
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

  tCliRuntime runtime;
  runtime.progress = ::isatty(STDERR_FILENO) == 1;
  runtime.interrupted = &interrupted;
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunQuorrelReport(args, std::cout, std::cerr, UserDecimalSeparator(), runtime);
}
