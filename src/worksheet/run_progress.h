// An analysis run off the event loop: the windows keep painting while the
// engine works, take no input, and after about a second a small modal
// window shows the share of the draws done, with a Cancel button that stops
// the run between two chunks of draws.
#pragma once

#include <QDialog>
#include <QPointer>
#include <cstdint>

#include "analysis/compute_driver.h"

class QLabel;
class QProgressBar;
class QPushButton;

// The progress window: a caption, the share of the draws done and Cancel.
// Escape, Alt+C and the window's close box cancel too; Enter does not.
class TfrmProgress : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmProgress(QWidget* parent);
  // Shows `drawn` of `total` draws done.
  void SetDone(int32_t drawn, int32_t total);
  int Percent() const;
  QPushButton* CancelButton() const { return cmdCancel; }

 signals:
  void cancelRequested();

 public slots:
  void reject() override;

 private:
  QLabel* lblCaption = nullptr;
  QProgressBar* barDone = nullptr;
  QPushButton* cmdCancel = nullptr;
};

class tBackgroundRun {
 public:
  // `owner` is the window whose run this is: the progress window is its
  // child and centred on it.
  explicit tBackgroundRun(QWidget* owner) : owner_(owner) {}

  // Runs the engine for `request` on a worker thread while the event loop
  // goes on without user input (the progress window excepted).  Returns true
  // with `analysis` filled when the run completed, false when it was
  // stopped; an error of the engine is rethrown here.  The numbers are those
  // of RunAnalysis on the calling thread, to the last digit.
  bool Run(const tAnalysis_request& request, tAnalysis& analysis);
  // Asks the run in progress, if any, to stop at its next chunk.
  void Stop();
  bool Running() const { return control_ != nullptr; }

  // How long a run lasts before the progress window appears.
  void SetProgressDelay(int milliseconds) { delay_ms_ = milliseconds; }
  // The progress window while it is shown, and how often it has been shown.
  TfrmProgress* ProgressWindow() const { return progress_; }
  int ProgressShows() const { return shows_; }

 private:
  QWidget* owner_;
  tRunControl* control_ = nullptr;
  QPointer<TfrmProgress> progress_;
  int delay_ms_ = 1000;
  int shows_ = 0;
  bool stopped_by_user_ = false;
};
