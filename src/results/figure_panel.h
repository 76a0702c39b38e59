// The viewer's figure side: the figure of the latest report, "Save
// Figure..." (PNG or SVG) and "Save as PDF..." (the whole text laid out as
// printed, each report followed by its figure).  It follows the viewer's
// memo: it remembers where each report's text ends, so that the figures
// stay with their reports when the user edits the text, and it forgets them
// when the memo is emptied.
#pragma once

#include <QString>
#include <QTextCursor>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/compute_driver.h"
#include "analysis/platform_interfaces.h"
#include "results/report_pdf.h"

class QFrame;
class QPlainTextEdit;
class QPushButton;
class tFigureView;

// The width of the figure side, beside the viewer's client area.
inline constexpr int kFigurePanelWidth = 480;

// Asks the user for the name of an exported file.
class tExportFileDialog {
 public:
  virtual ~tExportFileDialog() = default;
  // Runs the dialog proposing `proposed_name` with the file type `filter`
  // (Qt's "Name (*.ext);;..." form); the chosen name as entered, or nothing
  // when the user cancels.
  virtual std::optional<std::string> ChooseFile(const std::string& proposed_name,
                                                const QString& filter) = 0;
};

class tQtExportFileDialog : public tExportFileDialog {
 public:
  explicit tQtExportFileDialog(QWidget* parent) : parent_(parent) {}
  std::optional<std::string> ChooseFile(const std::string& proposed_name,
                                        const QString& filter) override;

 private:
  QWidget* parent_;
};

class tFigurePanel : public QWidget {
 public:
  tFigurePanel(QPlainTextEdit* memo, tUserDialogs& dialogs, QWidget* parent = nullptr);
  ~tFigurePanel() override;

  // The report just appended to the memo is `analysis`'s.
  void AddReport(const tAnalysis& analysis, char decimal_separator);
  // Shows the figure of the report that holds the memo's text cursor when
  // that is in view, otherwise of the one in the middle of the view.
  void FollowMemo();
  // The report shown, numbered from 1 among the memo's reports; 0 for none.
  int ShownReport() const { return shown_; }
  // The memo's text in pieces: each report with its analysis, and text of
  // the user's after the last report on its own.  A report whose text was
  // deleted goes with its figure.
  std::vector<tPdfReport> Pieces() const;
  int Reports() const { return static_cast<int>(reports_.size()); }
  tFigureView* View() const { return view_; }

  void SetFileDialog(std::unique_ptr<tExportFileDialog> files) { files_ = std::move(files); }
  // Where the save dialogs start: `propose` turns a bare name into the name
  // the dialog proposes, `chosen` hears of the name the user chose.
  void SetFolderMemory(std::function<std::string(const std::string&)> propose,
                       std::function<void(const std::string&)> chosen) {
    propose_ = std::move(propose);
    chosen_ = std::move(chosen);
  }
  // The report under the memo's text cursor (FollowMemo's), without its
  // separator line, with its figure; the whole text when it holds no report.
  tPdfReport ReportAtCursor() const;
  // Called after "Save as PDF..." wrote its file.
  void SetPdfWritten(std::function<void()> written) { pdf_written_ = std::move(written); }

  // The reports' figures with the memo positions where their texts end, to
  // be put back (RestoreReports) when the memo's text comes back.
  struct tKeptReport {
    int end;
    tAnalysis analysis;
    char decimal_separator;
  };
  std::vector<tKeptReport> KeptReports() const;
  // The memo holds these reports' text again from its beginning.
  void RestoreReports(const std::vector<tKeptReport>& kept);

  // Handlers of the two buttons.
  void cmdSaveFigureClick();
  void cmdSavePdfClick();

 private:
  struct tReport {
    QTextCursor end;  // after the report's last character; stays there on edits
    tAnalysis analysis;
    char decimal_separator;
  };
  // The name the user chooses, after the question about an existing file.
  std::optional<std::string> ChooseName(std::string& proposed, const QString& filter);
  void MemoChanged();
  void LayOut();
  void resizeEvent(QResizeEvent* event) override;
  // Where each report's text lies in the memo, of those whose text is
  // still there, in order.
  struct tSpan {
    std::size_t report;  // index into reports_
    int start;
    int end;  // after the report's last character
  };
  std::vector<tSpan> Spans() const;
  void ShowReport(int number);  // 1-based among Spans()

  QPlainTextEdit* memo_;
  tUserDialogs& dialogs_;
  std::unique_ptr<tExportFileDialog> files_;
  std::function<void()> pdf_written_;
  std::function<std::string(const std::string&)> propose_;
  std::function<void(const std::string&)> chosen_;
  int NumberAtCursor() const;
  std::vector<tReport> reports_;
  std::vector<QTextCursor> retired_;  // of reports whose text was emptied
  std::string figure_name_ = "figure.png";
  std::string pdf_name_ = "results.pdf";
  tFigureView* view_ = nullptr;
  int shown_ = 0;
  QFrame* strip_ = nullptr;
  QPushButton* cmdSaveFigure = nullptr;
  QPushButton* cmdSavePdf = nullptr;
};
