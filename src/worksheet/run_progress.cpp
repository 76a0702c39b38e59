#include "worksheet/run_progress.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <exception>
#include <thread>

namespace {

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::InputMethod:
      return true;
    default:
      return false;
  }
}

// While a run lasts, input to any window but the progress window is
// dropped, not queued: a click on Compute or a typed key does nothing.
class tInputBlocker : public QObject {
 public:
  explicit tInputBlocker(const QPointer<TfrmProgress>& progress) : progress_(progress) {
    qApp->installEventFilter(this);
  }
  ~tInputBlocker() override { qApp->removeEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!IsUserInput(event->type())) return false;
    if (progress_ != nullptr) {
      if (auto* widget = qobject_cast<QWidget*>(watched); widget && widget->window() == progress_)
        return false;
      if (auto* window = qobject_cast<QWindow*>(watched);
          window && window == progress_->windowHandle())
        return false;
    }
    return true;
  }

 private:
  const QPointer<TfrmProgress>& progress_;
};

}  // namespace

TfrmProgress::TfrmProgress(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("frmProgress"));
  setWindowTitle(QStringLiteral("Computing"));
  setWindowModality(Qt::ApplicationModal);
  lblCaption = new QLabel(QStringLiteral("Drawing from the posterior distribution..."), this);
  lblCaption->setObjectName(QStringLiteral("lblCaption"));
  barDone = new QProgressBar(this);
  barDone->setObjectName(QStringLiteral("barDone"));
  barDone->setRange(0, 100);
  barDone->setValue(0);
  barDone->setAccessibleName(QStringLiteral("Share of the draws done"));
  cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
  cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
  cmdCancel->setAccessibleName(QStringLiteral("Cancel"));
  cmdCancel->setToolTip(QStringLiteral("Stop the analysis; no report is written (Escape)"));
  // Enter, pressed by habit after the last value, must not end a run of
  // minutes: Cancel is no default button.  A click, Escape or Alt+C cancels.
  cmdCancel->setAutoDefault(false);
  cmdCancel->setDefault(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblCaption);
  layout->addWidget(barDone);
  layout->addWidget(cmdCancel, 0, Qt::AlignHCenter);
  setMinimumWidth(320);
  connect(cmdCancel, &QPushButton::clicked, this, &TfrmProgress::reject);
}

void TfrmProgress::SetDone(int32_t drawn, int32_t total) {
  if (total > 0) barDone->setValue(static_cast<int>(int64_t{drawn} * 100 / total));
}

int TfrmProgress::Percent() const {
  return barDone->value();
}

void TfrmProgress::reject() {
  // The window stays until the run has ended; the run stops at its next
  // chunk of draws.
  if (!cmdCancel->isEnabled()) return;
  cmdCancel->setEnabled(false);
  lblCaption->setText(QStringLiteral("Stopping..."));
  emit cancelRequested();
}

bool tBackgroundRun::Run(const tAnalysis_request& request, tAnalysis& analysis) {
  tRunControl control;
  std::exception_ptr error;
  tAnalysis result;
  QEventLoop loop;
  tInputBlocker blocker(progress_);
  control_ = &control;
  stopped_by_user_ = false;

  QTimer show_timer;
  show_timer.setSingleShot(true);
  QTimer tick;
  tick.setInterval(100);
  QObject::connect(&show_timer, &QTimer::timeout, &loop, [&] {
    progress_ = new TfrmProgress(owner_);
    QObject::connect(progress_, &TfrmProgress::cancelRequested, &loop, [this] { Stop(); });
    progress_->SetDone(control.drawn.load(), request.iterations);
    progress_->show();
    ++shows_;
    tick.start();
  });
  QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
    if (progress_ != nullptr) progress_->SetDone(control.drawn.load(), request.iterations);
  });
  show_timer.start(delay_ms_);

  std::thread worker([&] {
    try {
      result = RunAnalysis(request, &control);
    } catch (...) {
      error = std::current_exception();
    }
    QMetaObject::invokeMethod(
        &loop, [&loop] { loop.exit(0); }, Qt::QueuedConnection);
  });
  loop.exec();
  // The loop can also end because the program is ending: the run is then
  // stopped rather than awaited.
  control.stop.store(true);
  worker.join();
  // What the worker posted to the loop after it had ended is dropped with it.
  QCoreApplication::removePostedEvents(&loop);
  control_ = nullptr;
  if (progress_ != nullptr) delete progress_.data();

  if (error) {
    try {
      std::rethrow_exception(error);
    } catch (const ERunStopped&) {
      return false;
    }
  }
  // A run that completed just as it was asked to stop counts as stopped: the
  // user has said they want no report.
  if (stopped_by_user_) {
    stopped_by_user_ = false;
    return false;
  }
  analysis = result;
  return true;
}

void tBackgroundRun::Stop() {
  if (control_ != nullptr) {
    control_->stop.store(true);
    stopped_by_user_ = true;
  }
}
