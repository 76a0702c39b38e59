// The results viewer: the second window, where the reports of every Compute
// accumulate in an editable memo, to be saved, printed whole or in part, or
// cleared; from here the user goes back to the worksheet or ends the program.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/platform_interfaces.h"
#include "results/figure_panel.h"
#include "windows/results_display.h"

class QAction;
class QDockWidget;
class QScrollArea;
class QSettings;
class QTabBar;
class QFrame;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class tPrinterProvider;
class tSaveFileDialog;

// The size of the window's client area, below its menu bar, at the least
// (it is wider when the memo needs more room for kWidestReportLine).
inline constexpr int kResultsClientWidth = 792;
inline constexpr int kResultsClientHeight = 554;
// The window can be made this small and no smaller.
inline constexpr int kResultsMinimumWidth = 640;
inline constexpr int kResultsMinimumHeight = 300;
// The characters of the longest line a report holds; the memo's default
// width shows it whole.
inline constexpr int kWidestReportLine = 106;

// The name the save dialog proposes until the user has chosen one.
inline constexpr const char* kDefaultResultsFileName = "results.txt";

class TfrmTemplateResults : public QMainWindow, public tResultsDisplay {
  Q_OBJECT

 public:
  // Saves through the platform's dialog and prints on the system's default
  // printer.
  explicit TfrmTemplateResults(tUserDialogs& dialogs, QWidget* parent = nullptr);
  // The same with a save dialog and a printer of the caller's choice.
  TfrmTemplateResults(tUserDialogs& dialogs, std::unique_ptr<tSaveFileDialog> save_dialog,
                      std::unique_ptr<tPrinterProvider> printers, QWidget* parent = nullptr);
  ~TfrmTemplateResults() override;

  // What the viewer remembers from one run of the program to the next (its
  // size and place, whether the figure is shown, the folder last saved
  // into), kept in `settings`, which must outlive the viewer.  Without it
  // the viewer remembers nothing and its save dialogs start in the
  // program's working folder.
  void SetSettings(QSettings* settings);
  void SaveSettings() const;

  // The window that "Return to Worksheet" shows.
  void SetWorksheet(QWidget* worksheet) { worksheet_ = worksheet; }
  // What ends the program when Exit is confirmed; the default leaves the
  // application's event loop.
  void SetExitAction(std::function<void()> action) { exit_action_ = std::move(action); }

  // tResultsDisplay, as the Compute handler uses it.
  bool HoldsText() const override;
  void ShowResults(const std::string& caption) override;
  void AppendLines(const std::vector<std::string>& lines) override;
  void AttachFigure(const tAnalysis& analysis, char decimal_separator) override;
  bool MayEndProgram() override;

  // Reports added since the text was last saved, printed whole or written
  // to PDF.
  int UnsavedReports() const { return unsaved_; }
  // True from Clear Results until the next report is added.
  bool CanUndoClear() const { return cleared_.has_value(); }

  // The memo's text with its lines separated by "\n", as it is saved.
  QString ResultsText() const;
  // The selected part of the memo, lines separated by "\n"; empty when
  // nothing is selected.
  QString SelectedText() const;
  // The name the save dialog proposes next.
  const std::string& ProposedFileName() const { return proposed_name_; }

  // Handlers of the window and its controls.  Each shows an error it raises
  // in the error box and goes no further.
  void FormCreate();
  void FormShow();
  void FormActivate() {}
  void cmdSaveOutputClick();
  void cmdClearResultsClick();
  void UndoClearResults();
  // Copies the report under the text cursor (or the selected text) to the
  // clipboard as plain text, as HTML in a fixed-width font and, for a
  // report, its figure as an image.
  void cmdCopyReportClick();
  void cmdReturnClick();
  void cmdExitClick();
  void mnuPrintClick();
  void mnuPrintSelectionClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void LayOut(QSize client);
  // The figure beside the text, on a tab in its place, or not at all.
  void PlaceFigure();
  void BuildControls();
  void ConnectHandlers();
  // True when the file was written.
  bool SaveOutput();
  // Says that `unsaved_` reports were not saved and offers to save them
  // first ("Save them " + `when`); true when the caller may go on with what
  // it asked (`go_on`).
  bool OfferToSave(const std::string& when, const std::string& go_on);
  void ShowClearOrUndo();
  // The name a save dialog proposes for the bare name `name`: in the folder
  // last saved into, the user's documents folder the first time.
  std::string Proposal(const std::string& name) const;
  void RememberFolder(const std::string& chosen);
  void PrintText(const QString& text);
  tUserDialogs& dialogs_;
  std::unique_ptr<tSaveFileDialog> save_dialog_;
  std::unique_ptr<tPrinterProvider> printers_;
  QPointer<QWidget> worksheet_;
  std::function<void()> exit_action_;
  std::string proposed_name_ = kDefaultResultsFileName;
  bool shown_before_ = false;
  int unsaved_ = 0;
  // What Clear Results took away, until the next report comes.
  struct tClearedResults {
    QString text;
    std::vector<tFigurePanel::tKeptReport> figures;
    int unsaved;
  };
  std::optional<tClearedResults> cleared_;
  QAction* mnuUndoClear = nullptr;
  QAction* mnuCopyReport = nullptr;
  QSettings* settings_ = nullptr;
  bool placed_ = false;  // a remembered place: not centred at first showing
  QPointer<QWidget> last_focus_;

  QMenu* mnuPrinterOptions = nullptr;
  QAction* mnuPrint = nullptr;
  QAction* mnuPrintSelection = nullptr;
  QFrame* Panel1 = nullptr;
  QPlainTextEdit* memoResults = nullptr;
  QFrame* Panel2 = nullptr;
  QPushButton* cmdSaveOutput = nullptr;
  QPushButton* cmdClearResults = nullptr;
  QPushButton* cmdReturn = nullptr;
  QPushButton* cmdExit = nullptr;
  tFigurePanel* figures_ = nullptr;
  QDockWidget* dock_ = nullptr;           // holds the figure beside the client area
  QScrollArea* figure_scroll_ = nullptr;  // the figure, in the dock or on a tab
  QTabBar* tabs_ = nullptr;               // text or figure, where both do not fit
  QAction* show_figure_ = nullptr;
  int side_by_side_width_ = 0;  // the window's width from which both fit
  int min_button_width_ = 0;    // the widest caption's
};
