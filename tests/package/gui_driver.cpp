// A test driver for the installed program: a Qt plugin that the program
// loads when started with QT_QPA_GENERIC_PLUGINS=quorreldriver:MODE and
// QT_PLUGIN_PATH pointing at it.  It works the real windows as a user would,
// through their controls, so the installed program needs no test mode.
//
//   compute   fills the worksheet's eight fields with the example case,
//             presses Compute, checks that the results viewer shows a
//             report, and ends the program
//   restored  prints the eight fields as the program opened, and ends it
//
// It prints "driver: ..." lines; an error box that comes up is printed and
// ends the program with status 3, and a driver that gets nowhere in 60
// seconds ends it with status 4.
#include <unistd.h>

#include <QApplication>
#include <QGenericPlugin>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

void Say(const QString& line) {
  std::printf("driver: %s\n", line.toUtf8().constData());
  std::fflush(stdout);
}

[[noreturn]] void Fail(const QString& line, int status) {
  Say(line);
  ::_exit(status);
}

QWidget* VisibleWindow(const char* name) {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->objectName() == QLatin1String(name) && window->isVisible()) return window;
  return nullptr;
}

QObject* Control(QWidget* window, const QString& name) {
  QObject* control = window->findChild<QObject*>(name);
  if (control == nullptr) Fail(QStringLiteral("no control ") + name, 2);
  return control;
}

class tDriver : public QObject {
 public:
  explicit tDriver(const QString& mode) : mode_(mode) {
    // Any modal box that comes up (an error, a warning) is a failure; the
    // progress window of a run that lasts more than a second is not.
    connect(&watch_, &QTimer::timeout, this, [] {
      QWidget* box = QApplication::activeModalWidget();
      if (box != nullptr && box->objectName() != QLatin1String("frmProgress"))
        Fail(QStringLiteral("message box: ") + box->property("text").toString(), 3);
    });
    watch_.start(100);
    QTimer::singleShot(60000, this, [] { Fail(QStringLiteral("timed out"), 4); });
    QTimer::singleShot(0, this, [this] { Step(); });
  }

 private:
  void Step() {
    QWidget* worksheet = VisibleWindow("frmTemplate");
    if (worksheet == nullptr) {
      QTimer::singleShot(50, this, [this] { Step(); });
      return;
    }
    if (mode_ == QLatin1String("restored")) {
      QStringList texts;
      for (int i = 1; i <= 8; ++i)
        texts << Control(worksheet, FieldName(i))->property("text").toString();
      Say(QStringLiteral("fields ") + texts.join(QLatin1Char('|')));
    } else if (mode_ == QLatin1String("compute")) {
      const char* example[] = {"100", "15", "50", "10", ".6", "20", "70", "45"};
      for (int i = 1; i <= 8; ++i)
        Control(worksheet, FieldName(i))->setProperty("text", QString::fromLatin1(example[i - 1]));
      QMetaObject::invokeMethod(Control(worksheet, QStringLiteral("cmdCompute")), "click");
      QWidget* viewer = VisibleWindow("frmTemplateResults");
      if (viewer == nullptr) Fail(QStringLiteral("no results viewer after Compute"), 2);
      const QString report =
          Control(viewer, QStringLiteral("memoResults"))->property("plainText").toString();
      if (report.isEmpty()) Fail(QStringLiteral("an empty report"), 2);
      Say(QStringLiteral("computed %1 report lines").arg(report.count(QLatin1Char('\n')) + 1));
    } else {
      Fail(QStringLiteral("unknown mode ") + mode_, 2);
    }
    QCoreApplication::exit(0);
  }

  static QString FieldName(int i) {
    // The case's second score is the one field named in lower case.
    return i == 8 ? QStringLiteral("txtinput8") : QStringLiteral("txtInput%1").arg(i);
  }

  QString mode_;
  QTimer watch_;
};

}  // namespace

class tQuorrelDriverPlugin : public QGenericPlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "gui_driver.json")

 public:
  QObject* create(const QString& /*key*/, const QString& mode) override {
    return new tDriver(mode);
  }
};

#include "gui_driver.moc"
