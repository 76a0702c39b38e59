#include "app/quorrel_application.h"

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
