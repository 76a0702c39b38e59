// The application object: the last line of defence that keeps an exception
// from crossing Qt's event loop.
#pragma once

#include <QApplication>

#include "analysis/platform_interfaces.h"

class TQuorrelApplication : public QApplication {
  Q_OBJECT

 public:
  // `dialogs` shows the error box; it must outlive the application object.
  TQuorrelApplication(int& argc, char** argv, tUserDialogs& dialogs);

  // Delivers the event; an exception that escapes its handler is shown in
  // the error box and the event counts as not handled.
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  tUserDialogs& dialogs_;
};
