#include "results/figure_panel.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

#include "results/figure.h"
#include "results/results_file.h"
#include "windows/handler_guard.h"

namespace {

// Buttons as the viewer's own: the desktop's font at 10 points, bold, black.
QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int left) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(left, 488, 210, 37);
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(10);
  font.setBold(true);
  button->setFont(font);
  QPalette palette = button->palette();
  palette.setColor(QPalette::ButtonText, Qt::black);
  button->setPalette(palette);
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
  // Its controls keep fixed places; the panel may grow in the viewer's
  // figure area, never shrink below what shows them whole.
  setMinimumSize(kFigurePanelWidth - 4, 535);
  resize(kFigurePanelWidth, 554);
  view_ = new tFigureView(this);
  view_->setGeometry(4, 10, kFigurePanelWidth - 12, (kFigurePanelWidth - 12) * 400 / 640);
  auto* strip = new QFrame(this);
  strip->setObjectName(QStringLiteral("FigureButtons"));
  strip->setGeometry(4, 482, kFigurePanelWidth - 12, 49);
  strip->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  cmdSaveFigure = MakeButton(this, "cmdSaveFigure", "Save Figure...", 16);
  cmdSavePdf = MakeButton(this, "cmdSavePdf", "Save as PDF...", 246);
  cmdSaveFigure->setEnabled(false);
  connect(cmdSaveFigure, &QPushButton::clicked, this, [this] { cmdSaveFigureClick(); });
  connect(cmdSavePdf, &QPushButton::clicked, this, [this] { cmdSavePdfClick(); });
  connect(memo_->document(), &QTextDocument::contentsChanged, this, [this] { MemoChanged(); });
}

tFigurePanel::~tFigurePanel() = default;

void tFigurePanel::AddReport(const tAnalysis& analysis, char decimal_separator) {
  retired_.clear();
  QTextCursor end(memo_->document());
  end.movePosition(QTextCursor::End);
  // Text appended later goes after this report, not into it.
  end.setKeepPositionOnInsert(true);
  reports_.push_back({end, analysis, decimal_separator});
  view_->SetAnalysis(analysis, decimal_separator);
  cmdSaveFigure->setEnabled(true);
}

void tFigurePanel::MemoChanged() {
  // An emptied memo starts afresh: the next report is a first report again.
  if (!memo_->document()->isEmpty() || reports_.empty()) return;
  // The document may still hold on to the cursors while it is being
  // cleared, so they are kept until the next report comes.
  for (tReport& report : reports_)
    retired_.push_back(std::move(report.end));
  reports_.clear();
  view_->Clear();
  cmdSaveFigure->setEnabled(false);
}

std::vector<tPdfReport> tFigurePanel::Pieces() const {
  const QString raw = memo_->document()->toRawText();
  std::vector<tPdfReport> pieces;
  int start = 0;
  for (const tReport& report : reports_) {
    const int end = std::max(start, report.end.position());
    const QString text = raw.mid(start, end - start);
    if (!text.isEmpty())
      pieces.push_back(
          {WithLineFeeds(text), tPdfFigure{report.analysis, report.decimal_separator}});
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
  std::string asked = proposed;
  for (;;) {
    std::optional<std::string> name = files_->ChooseFile(asked, filter);
    if (!name) return std::nullopt;
    if (!QFileInfo::exists(QString::fromStdString(*name)) ||
        dialogs_.Confirm(OverwriteQuestion(*name))) {
      proposed = *name;
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
      SaveFigureSvg(file, *view_->Analysis(), view_->DecimalSeparator());
    else
      SaveFigurePng(file, *view_->Analysis(), view_->DecimalSeparator());
  });
}

void tFigurePanel::cmdSavePdfClick() {
  RunHandler(dialogs_, [this] {
    const std::optional<std::string> name =
        ChooseName(pdf_name_, QStringLiteral("PDF document (*.pdf)"));
    if (!name) return;
    WriteReportsPdf(QString::fromStdString(*name), Pieces());
  });
}
