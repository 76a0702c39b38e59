// quorrel-report: the command-line front end of the analysis.
#include <unistd.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include <atomic>
#include <csignal>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/decimal_separator.h"
#include "cli/fd_output.h"
#include "cli/pdf_output.h"
#include "cli/report_cli.h"

namespace {

// Set by Ctrl-C (SIGINT) and by SIGTERM (a scheduler or `kill` ending the
// job); the program looks at it between rows and while an analysis runs,
// and ends with status 130 or 143 after the finished rows.
std::atomic<bool> interrupted{false};
std::atomic<int> stop_signal{0};
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

#ifndef _WIN32
extern "C" void OnInterrupt(int signal_number) {
  if (!interrupted.load()) stop_signal.store(signal_number);
  interrupted.store(true);
}
#else
// Ctrl-C and Ctrl-Break in a console: the flag, as the signal sets it
// elsewhere (the handler runs on a thread of its own, and the program ends
// itself after the finished rows).
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  interrupted.store(true);
  return TRUE;
}

// The arguments as the user typed them, in UTF-8 (the bytes a Linux terminal
// passes), whatever the console's code page.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
    arg.resize(arg.size() - 1);
    args.push_back(arg);
  }
  ::LocalFree(wide);
  return args;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  // The report's bytes as on Linux: lines end in a line feed, and a batch
  // file's bytes reach the reader untranslated (it takes either line end).
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stdin), _O_BINARY);
  std::vector<std::string> args = Utf8Arguments(argc, argv);
#else
  // No SA_RESTART: a read of the batch file that Ctrl-C breaks off returns,
  // so a batch waiting on its input ends at once as well.
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::vector<std::string> args(argv + 1, argv + argc);
#endif

  SetPdfOutput(ProgramPdfOutput());
  tCliRuntime runtime;
  runtime.progress = ::isatty(STDERR_FILENO) == 1;
  runtime.interrupted = &interrupted;
  runtime.stop_signal = &stop_signal;
  tFdOutputBuffer output_buffer(STDOUT_FILENO);
  std::ostream output(&output_buffer);
  return RunQuorrelReport(args, output, std::cerr, UserDecimalSeparator(), runtime);
}
