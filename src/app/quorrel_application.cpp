#include "app/quorrel_application.h"

#include <cstdio>
#include <exception>

#include "analysis/escaped_error.h"

TQuorrelApplication::TQuorrelApplication(int& argc, char** argv, tUserDialogs& dialogs)
    : QApplication(argc, argv), dialogs_(dialogs) {}

bool TQuorrelApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    return ReportEscapedError(std::current_exception(), dialogs_);
  }
}

bool ReportEscapedError(std::exception_ptr error, tUserDialogs& dialogs) noexcept {
  try {
    dialogs.ShowError(EscapedErrorText(error));
  } catch (...) {
    // The error box itself failed: say so on the console rather than end
    // the program.
    std::fputs("Quorrel: an error could not be shown\n", stderr);
  }
  return false;
}
