// The application object's last line of defence: an exception that escapes
// an event handler is shown in the error box and the program carries on.
// This executable runs its own application object instead of the shared
// test main.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <cstdlib>
#include <stdexcept>

#include <gtest/gtest.h>

#include "analysis/escaped_error.h"
#include "app/quorrel_application.h"
#include "numeric/errors.h"
#include "support/recording_dialogs.h"

namespace {

tRecordingDialogs* g_dialogs = nullptr;

// Throws from its event handler, as a faulty handler would.
class tThrowingObject : public QObject {
 public:
  int handled = 0;
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) throw EArgumentError(1301, "Parameter out of range");
    if (event->type() == QEvent::User + 1) throw std::runtime_error("Disk full.");
    if (event->type() == QEvent::User + 2) throw 42;
    if (event->type() == QEvent::User + 3) {
      ++handled;
      return true;
    }
    return QObject::event(event);
  }
};

}  // namespace

TEST(EscapedErrors, AreShownInTheErrorBoxWithAPeriodAndTheProgramGoesOn) {
  g_dialogs->errors.clear();
  tThrowingObject target;
  QEvent argument_error(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&target, &argument_error));
  QCoreApplication::postEvent(&target, new QEvent(QEvent::Type(QEvent::User + 1)));
  QCoreApplication::postEvent(&target, new QEvent(QEvent::Type(QEvent::User + 2)));
  QCoreApplication::postEvent(&target, new QEvent(QEvent::Type(QEvent::User + 3)));
  QCoreApplication::processEvents();
  EXPECT_EQ(g_dialogs->errors, (std::vector<std::string>{"Parameter out of range.", "Disk full.",
                                                         "Unexpected error."}));
  EXPECT_EQ(target.handled, 1);  // the event after the errors was delivered
}

TEST(EscapedErrors, AFailingErrorBoxDoesNotEndTheProgram) {
  class tBrokenDialogs : public tRecordingDialogs {
   public:
    void ShowError(const std::string&) override { throw std::runtime_error("no screen"); }
  } broken;
  EXPECT_FALSE(ReportEscapedError(std::make_exception_ptr(std::runtime_error("x")), broken));
}

TEST(EscapedErrors, AThrowingTimerHandlerLeavesTheEventLoopRunning) {
  g_dialogs->errors.clear();
  bool later_ran = false;
  QTimer::singleShot(0, [] { throw EArgumentError(1363, "Invalid argument"); });
  QTimer::singleShot(20, [&] {
    later_ran = true;
    QCoreApplication::exit(0);
  });
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_TRUE(later_ran);
  EXPECT_EQ(g_dialogs->errors, std::vector<std::string>{"Invalid argument."});
}

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  tRecordingDialogs dialogs;
  g_dialogs = &dialogs;
  TQuorrelApplication application(argc, argv, dialogs);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
