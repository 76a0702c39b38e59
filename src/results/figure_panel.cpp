#include "results/figure_panel.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTextDocument>

#include "results/figure.h"
#include "results/results_file.h"
#include "windows/handler_guard.h"

namespace {

// Buttons as the viewer's own: the desktop's font at 10 points, bold, in the
// palette's colours (readable on a dark desktop, greyed when disabled).
QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int left) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(left, 488, 210, 37);
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(10);
  font.setBold(true);
  button->setFont(font);
  return button;
}

QString WithLineFeeds(QString text) {
  text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  text.replace(QChar::LineSeparator, QLatin1Char('\n'));
  return text;
}

}  // namespace

std::optional<std::string> tQtExportFileDialog::ChooseFile(const std::string& proposed_name,
                                                           const QString& filter) {
  QFileDialog dialog(parent_, QStringLiteral("Save As"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(filter);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.selectFile(QString::fromStdString(proposed_name));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
  return files.front().toStdString();
}

tFigurePanel::tFigurePanel(QPlainTextEdit* memo, tUserDialogs& dialogs, QWidget* parent)
    : QWidget(parent),
      memo_(memo),
      dialogs_(dialogs),
      files_(std::make_unique<tQtExportFileDialog>(this)) {
  setObjectName(QStringLiteral("FigurePanel"));
  // The figure takes the width it is given and the height that leaves for
  // its buttons below it (LayOut); never smaller than shows the buttons
  // whole below a readable figure.
  setMinimumSize(kFigurePanelWidth - 4, 260);
  resize(kFigurePanelWidth, 554);
  view_ = new tFigureView(this);
  view_->setAccessibleName(QStringLiteral("Figure of the report"));
  strip_ = new QFrame(this);
  strip_->setObjectName(QStringLiteral("FigureButtons"));
  strip_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  cmdSaveFigure = MakeButton(this, "cmdSaveFigure", "Save Fi&gure...", 16);
  cmdSaveFigure->setToolTip(QStringLiteral("Save the figure shown as a PNG image or SVG drawing"));
  cmdSavePdf = MakeButton(this, "cmdSavePdf", "Save as P&DF...", 246);
  cmdSavePdf->setToolTip(QStringLiteral("Save the whole text with each report's figure as PDF"));
  LayOut();
  cmdSaveFigure->setEnabled(false);
  connect(cmdSaveFigure, &QPushButton::clicked, this, [this] { cmdSaveFigureClick(); });
  connect(cmdSavePdf, &QPushButton::clicked, this, [this] { cmdSavePdfClick(); });
  connect(memo_->document(), &QTextDocument::contentsChanged, this, [this] { MemoChanged(); });
  connect(memo_, &QPlainTextEdit::cursorPositionChanged, this, [this] { FollowMemo(); });
  connect(memo_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { FollowMemo(); });
}

tFigurePanel::~tFigurePanel() = default;

void tFigurePanel::LayOut() {
  const int w = width() - 12;
  // The figure's proportions, as tall as leaves room for the buttons.
  const int figure_height =
      std::max(100, std::min(w * kFigureHeight / kFigureWidth, height() - 80));
  view_->setGeometry(4, 10, w, figure_height);
  // Below the figure; where the panel is tall, level with the viewer's
  // own buttons.
  const int strip_top = std::max(10 + figure_height + 8, std::min(482, height() - 53));
  strip_->setGeometry(4, strip_top, w, 49);
  cmdSaveFigure->move(16, strip_top + 6);
  cmdSavePdf->move(246, strip_top + 6);
}

void tFigurePanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

void tFigurePanel::AddReport(const tAnalysis& analysis, char decimal_separator) {
  retired_.clear();
  QTextCursor end(memo_->document());
  end.movePosition(QTextCursor::End);
  // Text appended later goes after this report, not into it.
  end.setKeepPositionOnInsert(true);
  reports_.push_back({end, analysis, decimal_separator});
  ShowReport(static_cast<int>(Spans().size()));
}

std::vector<tFigurePanel::tSpan> tFigurePanel::Spans() const {
  const QString raw = memo_->document()->toRawText();
  std::vector<tSpan> spans;
  int start = 0;
  for (std::size_t k = 0; k < reports_.size(); ++k) {
    const int end = std::max(start, reports_[k].end.position());
    if (end > start) spans.push_back({k, start, end});
    // The line end after the report belongs to neither report; a report
    // deleted whole leaves none of its own.
    const bool line_end = end < raw.size() && (raw[end] == QChar::ParagraphSeparator ||
                                               raw[end] == QChar::LineSeparator);
    start = end > start && line_end ? end + 1 : end;
  }
  return spans;
}

void tFigurePanel::ShowReport(int number) {
  const std::vector<tSpan> spans = Spans();
  if (number < 1 || number > static_cast<int>(spans.size())) {
    shown_ = 0;
    view_->Clear();
    cmdSaveFigure->setEnabled(false);
    return;
  }
  const tReport& report = reports_[spans[static_cast<std::size_t>(number - 1)].report];
  view_->SetAnalysis(report.analysis, report.decimal_separator, number);
  shown_ = number;
  cmdSaveFigure->setEnabled(true);
}

int tFigurePanel::NumberAtCursor() const {
  const QRect view = memo_->viewport()->rect();
  int position = memo_->textCursor().position();
  if (!view.intersects(memo_->cursorRect()))
    position = memo_->cursorForPosition(view.center()).position();
  const std::vector<tSpan> spans = Spans();
  // The report whose text holds the position; text of the user's between
  // or after reports goes with the report above it.
  int number = spans.empty() ? 0 : 1;
  for (std::size_t k = 0; k < spans.size(); ++k)
    if (spans[k].start <= position) number = static_cast<int>(k) + 1;
  return number;
}

void tFigurePanel::FollowMemo() {
  if (reports_.empty()) return;
  ShowReport(NumberAtCursor());
}

tPdfReport tFigurePanel::ReportAtCursor() const {
  const QString raw = memo_->document()->toRawText();
  const int number = reports_.empty() ? 0 : NumberAtCursor();
  if (number == 0) return {WithLineFeeds(raw), std::nullopt};
  const tSpan span = Spans()[static_cast<std::size_t>(number - 1)];
  QString text = WithLineFeeds(raw.mid(span.start, span.end - span.start));
  // The line of underscores that parts it from the report before.
  const qsizetype first_end = text.indexOf(QLatin1Char('\n'));
  const QString first = text.left(first_end < 0 ? text.size() : first_end);
  if (!first.isEmpty() && first.count(QLatin1Char('_')) == first.size())
    text.remove(0, first_end < 0 ? text.size() : first_end + 1);
  const tReport& report = reports_[span.report];
  return {text, tPdfFigure{report.analysis, report.decimal_separator, number}};
}

std::vector<tFigurePanel::tKeptReport> tFigurePanel::KeptReports() const {
  std::vector<tKeptReport> kept;
  kept.reserve(reports_.size());
  for (const tReport& report : reports_)
    kept.push_back({report.end.position(), report.analysis, report.decimal_separator});
  return kept;
}

void tFigurePanel::RestoreReports(const std::vector<tKeptReport>& kept) {
  if (kept.empty()) return;
  retired_.clear();
  std::vector<tReport> restored;
  restored.reserve(kept.size() + reports_.size());
  for (const tKeptReport& report : kept) {
    QTextCursor end(memo_->document());
    end.setPosition(std::min(report.end, memo_->document()->characterCount() - 1));
    end.setKeepPositionOnInsert(true);
    restored.push_back({end, report.analysis, report.decimal_separator});
  }
  for (tReport& report : reports_)
    restored.push_back(std::move(report));
  reports_ = std::move(restored);
  ShowReport(static_cast<int>(Spans().size()));
}

void tFigurePanel::MemoChanged() {
  // An emptied memo starts afresh: the next report is a first report again.
  if (reports_.empty()) return;
  if (!memo_->document()->isEmpty()) {
    FollowMemo();  // a report deleted by hand takes its figure with it
    return;
  }
  // The document may still hold on to the cursors while it is being
  // cleared, so they are kept until the next report comes.
  for (tReport& report : reports_)
    retired_.push_back(std::move(report.end));
  reports_.clear();
  ShowReport(0);
}

std::vector<tPdfReport> tFigurePanel::Pieces() const {
  const QString raw = memo_->document()->toRawText();
  std::vector<tPdfReport> pieces;
  int start = 0;
  int number = 0;
  for (const tReport& report : reports_) {
    const int end = std::max(start, report.end.position());
    const QString text = raw.mid(start, end - start);
    if (!text.isEmpty())
      pieces.push_back(
          {WithLineFeeds(text), tPdfFigure{report.analysis, report.decimal_separator, ++number}});
    // The line end after the report belongs to neither piece; a report
    // deleted whole leaves none of its own.
    const bool line_end = end < raw.size() && (raw[end] == QChar::ParagraphSeparator ||
                                               raw[end] == QChar::LineSeparator);
    start = !text.isEmpty() && line_end ? end + 1 : end;
  }
  const QString rest = raw.mid(start);
  if (!rest.isEmpty() || pieces.empty()) pieces.push_back({WithLineFeeds(rest), std::nullopt});
  return pieces;
}

std::optional<std::string> tFigurePanel::ChooseName(std::string& proposed, const QString& filter) {
  std::string asked = propose_ ? propose_(proposed) : proposed;
  for (;;) {
    std::optional<std::string> name = files_->ChooseFile(asked, filter);
    if (!name) return std::nullopt;
    if (!QFileInfo::exists(QString::fromStdString(*name)) ||
        dialogs_.Confirm(OverwriteQuestion(*name))) {
      proposed = *name;
      if (chosen_) chosen_(*name);
      return name;
    }
    asked = *name;  // No: back to the dialog, which keeps the name
  }
}

void tFigurePanel::cmdSaveFigureClick() {
  RunHandler(dialogs_, [this] {
    if (!view_->HasFigure()) return;
    const std::optional<std::string> name =
        ChooseName(figure_name_, QStringLiteral("PNG image (*.png);;SVG drawing (*.svg)"));
    if (!name) return;
    const QString file = QString::fromStdString(*name);
    if (QFileInfo(file).suffix().compare(QStringLiteral("svg"), Qt::CaseInsensitive) == 0)
      SaveFigureSvg(file, *view_->Analysis(), view_->DecimalSeparator(), view_->ReportNumber());
    else
      SaveFigurePng(file, *view_->Analysis(), view_->DecimalSeparator(), view_->ReportNumber());
  });
}

void tFigurePanel::cmdSavePdfClick() {
  RunHandler(dialogs_, [this] {
    const std::optional<std::string> name =
        ChooseName(pdf_name_, QStringLiteral("PDF document (*.pdf)"));
    if (!name) return;
    WriteReportsPdf(QString::fromStdString(*name), Pieces());
    if (pdf_written_) pdf_written_();
  });
}
