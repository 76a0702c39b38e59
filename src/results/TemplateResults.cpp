#include "results/TemplateResults.h"

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <exception>

#include "results/figure.h"
#include "results/figure_panel.h"
#include "results/print_document.h"
#include "results/results_file.h"
#include "windows/handler_guard.h"

namespace {

// The copied figure's width in the word processor: 6 inches at 96 pixels an inch.
constexpr int kCopiedFigureWidth = 576;

// The memo keeps its paragraphs apart with U+2029 and may hold U+2028 line
// separators; both are line ends of the text.
QString WithLineFeeds(QString text) {
  text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  text.replace(QChar::LineSeparator, QLatin1Char('\n'));
  return text;
}

}  // namespace

TfrmTemplateResults::TfrmTemplateResults(tUserDialogs& dialogs, QWidget* parent)
    : TfrmTemplateResults(dialogs, nullptr, std::make_unique<tSystemPrinterProvider>(), parent) {
  save_dialog_ = std::make_unique<tQtSaveFileDialog>(this);
}

TfrmTemplateResults::TfrmTemplateResults(tUserDialogs& dialogs,
                                         std::unique_ptr<tSaveFileDialog> save_dialog,
                                         std::unique_ptr<tPrinterProvider> printers,
                                         QWidget* parent)
    // The close box (and the window manager's close key) asks as Exit does.
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                              Qt::WindowCloseButtonHint),
      dialogs_(dialogs),
      save_dialog_(std::move(save_dialog)),
      printers_(std::move(printers)),
      exit_action_([] { QCoreApplication::exit(0); }) {
  BuildControls();
  ConnectHandlers();
  FormCreate();
}

TfrmTemplateResults::~TfrmTemplateResults() = default;

bool TfrmTemplateResults::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && watched == centralWidget()) {
    LayOut(static_cast<QResizeEvent*>(event)->size());
  } else if (event->type() == QEvent::ShortcutOverride && watched == memoResults &&
             static_cast<QKeyEvent*>(event)->matches(QKeySequence::Undo) && CanUndoClear() &&
             !memoResults->document()->isUndoAvailable()) {
    // The memo has nothing of its own to undo: the key undoes Clear Results.
    event->ignore();
    return true;
  } else if (event->type() == QEvent::KeyPress) {
    auto* button = qobject_cast<QPushButton*>(watched);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (button != nullptr && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
      button->click();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TfrmTemplateResults::ConnectHandlers() {
  connect(cmdSaveOutput, &QPushButton::clicked, this, [this] { cmdSaveOutputClick(); });
  connect(cmdClearResults, &QPushButton::clicked, this, [this] { cmdClearResultsClick(); });
  connect(cmdReturn, &QPushButton::clicked, this, [this] { cmdReturnClick(); });
  connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExitClick(); });
  connect(mnuPrint, &QAction::triggered, this, [this] { mnuPrintClick(); });
  connect(mnuPrintSelection, &QAction::triggered, this, [this] { mnuPrintSelectionClick(); });
  connect(mnuUndoClear, &QAction::triggered, this, [this] { UndoClearResults(); });
  connect(mnuCopyReport, &QAction::triggered, this, [this] { cmdCopyReportClick(); });
  figures_->SetFolderMemory([this](const std::string& name) { return Proposal(name); },
                            [this](const std::string& chosen) { RememberFolder(chosen); });
  figures_->SetPdfWritten([this] { unsaved_ = 0; });
  connect(memoResults->document(), &QTextDocument::contentsChanged, this,
          [this] { ShowClearOrUndo(); });
}

bool TfrmTemplateResults::HoldsText() const {
  return !memoResults->document()->isEmpty();
}

void TfrmTemplateResults::ShowResults(const std::string& caption) {
  show();
  setWindowTitle(QString::fromStdString(caption));
}

void TfrmTemplateResults::AppendLines(const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  QStringList text;
  text.reserve(static_cast<qsizetype>(lines.size()));
  for (const std::string& line : lines)
    text.push_back(QString::fromStdString(line));
  QTextCursor cursor(memoResults->document());
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  if (HoldsText()) cursor.insertBlock();
  const int start = cursor.position();
  cursor.insertText(text.join(QLatin1Char('\n')));
  cursor.endEditBlock();
  ++unsaved_;
  if (cleared_) {
    // A new report ends the chance to undo Clear Results.
    cleared_.reset();
    ShowClearOrUndo();
  }
  // The new report is shown from its beginning: the caret at its first line,
  // which becomes the memo's top line (scrolled to the end first, so that
  // showing the caret brings its line to the top).
  memoResults->moveCursor(QTextCursor::End);
  memoResults->ensureCursorVisible();
  cursor.setPosition(start);
  memoResults->setTextCursor(cursor);
  memoResults->ensureCursorVisible();
  const int first = cursor.block().firstLineNumber();
  QScrollBar* bar = memoResults->verticalScrollBar();
  if (bar->value() > first) bar->setValue(first);
}

void TfrmTemplateResults::AttachFigure(const tAnalysis& analysis, char decimal_separator) {
  figures_->AddReport(analysis, decimal_separator);
}

QString TfrmTemplateResults::ResultsText() const {
  return WithLineFeeds(memoResults->document()->toRawText());
}

QString TfrmTemplateResults::SelectedText() const {
  return WithLineFeeds(memoResults->textCursor().selectedText());
}

void TfrmTemplateResults::FormCreate() {
  RunHandler(dialogs_, [this] { memoResults->clear(); });
}

void TfrmTemplateResults::FormShow() {
  RunHandler(dialogs_, [this] {
    if (!shown_before_) {
      shown_before_ = true;
      const QScreen* screen = this->screen();
      if (screen != nullptr && !placed_) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
      }
      cmdReturn->setFocus(Qt::OtherFocusReason);
    } else if (last_focus_ != nullptr) {
      last_focus_->setFocus(Qt::OtherFocusReason);
    }
    raise();
    activateWindow();
  });
}

void TfrmTemplateResults::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // The focused control shows its focus from the start, not only after
  // the first Tab.
  setAttribute(Qt::WA_KeyboardFocusChange);
  if (!event->spontaneous()) FormShow();
}

void TfrmTemplateResults::hideEvent(QHideEvent* event) {
  if (!event->spontaneous()) {
    QWidget* focus = focusWidget();
    if (focus != nullptr && isAncestorOf(focus)) last_focus_ = focus;
  }
  QMainWindow::hideEvent(event);
}

void TfrmTemplateResults::closeEvent(QCloseEvent* event) {
  // The close box and the window manager's close key ask as Exit does; the
  // window itself stays until the program ends.
  event->ignore();
  cmdExitClick();
}

void TfrmTemplateResults::cmdSaveOutputClick() {
  RunHandler(dialogs_, [this] { SaveOutput(); });
}

bool TfrmTemplateResults::SaveOutput() {
  std::string proposed = Proposal(proposed_name_);
  std::string chosen;
  for (;;) {
    std::optional<std::string> name = save_dialog_->ChooseFile(proposed);
    if (!name) return false;
    chosen = *name;
    if (!QFileInfo::exists(QString::fromStdString(chosen))) break;
    if (dialogs_.Confirm(OverwriteQuestion(chosen))) break;
    proposed = chosen;  // No: back to the dialog, which keeps the name
  }
  proposed_name_ = chosen;
  RememberFolder(chosen);
  QString text = ResultsText();
  text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
  WriteResultsFile(chosen, text.toStdString());
  unsaved_ = 0;
  return true;
}

bool TfrmTemplateResults::OfferToSave(const std::string& when, const std::string& go_on) {
  if (unsaved_ == 0) return true;
  const std::string reports =
      unsaved_ == 1 ? "1 report that has" : std::to_string(unsaved_) + " reports that have";
  const std::string text = "The results viewer holds " + reports +
                           " not been saved, printed or written to PDF.\rSave " +
                           (unsaved_ == 1 ? "it " : "them ") + when;
  switch (dialogs_.Choose(text, {"Save Output...", go_on, "Cancel"})) {
    case 0:
      return SaveOutput();
    case 1:
      return true;
    default:
      return false;
  }
}

bool TfrmTemplateResults::MayEndProgram() {
  bool may_end = false;
  RunHandler(dialogs_, [this, &may_end] {
    may_end = OfferToSave("before the program ends?", "Exit Without Saving");
  });
  return may_end;
}

void TfrmTemplateResults::cmdClearResultsClick() {
  RunHandler(dialogs_, [this] {
    if (CanUndoClear() && !HoldsText()) {
      // The button reads "Undo Clear" while there is a clearing to undo.
      UndoClearResults();
      return;
    }
    if (!OfferToSave("before clearing?", "Clear Without Saving")) return;
    // Kept until the next report comes, so that the clearing can be undone;
    // what the user typed after an earlier clearing joins what that took.
    tClearedResults cleared{ResultsText(), figures_->KeptReports(), unsaved_};
    if (cleared_) {
      cleared_->text += QLatin1Char('\n') + cleared.text;
      cleared = std::move(*cleared_);
    }
    cleared_ = std::move(cleared);
    unsaved_ = 0;
    memoResults->clear();
    ShowClearOrUndo();
  });
}

void TfrmTemplateResults::UndoClearResults() {
  RunHandler(dialogs_, [this] {
    if (!cleared_) return;
    const tClearedResults cleared = std::move(*cleared_);
    cleared_.reset();
    // The cleared text comes back at the top, before anything typed since.
    // Not itself undone by the memo's Ctrl+Z, which would clear the text
    // again without keeping its figures.
    QTextDocument* document = memoResults->document();
    document->setUndoRedoEnabled(false);
    QTextCursor cursor(document);
    cursor.insertText(cleared.text);
    if (document->characterCount() - 1 > cursor.position()) cursor.insertBlock();
    document->setUndoRedoEnabled(true);
    figures_->RestoreReports(cleared.figures);
    unsaved_ += cleared.unsaved;
    memoResults->moveCursor(QTextCursor::Start);
    ShowClearOrUndo();
  });
}

void TfrmTemplateResults::ShowClearOrUndo() {
  mnuUndoClear->setEnabled(CanUndoClear());
  const bool undo = CanUndoClear() && !HoldsText();
  cmdClearResults->setText(undo ? QStringLiteral("&Undo Clear") : QStringLiteral("C&lear Results"));
  cmdClearResults->setToolTip(
      undo ? QStringLiteral("Bring back the reports just cleared (Ctrl+Z)")
           : QStringLiteral("Empty the results viewer; it can be undone until the next report"));
}

void TfrmTemplateResults::cmdCopyReportClick() {
  RunHandler(dialogs_, [this] {
    const QString selection = SelectedText();
    const tPdfReport report =
        selection.isEmpty() ? figures_->ReportAtCursor() : tPdfReport{selection, std::nullopt};
    auto mime = std::make_unique<QMimeData>();
    mime->setText(report.text);
    // 7 points: a report line of up to about 110 characters then fits, unwrapped, within a
    // word processor's usual text width (6.5 inches on Letter, 16 cm on A4).
    QString html = QStringLiteral(
                       "<html><head><meta charset=\"utf-8\"></head><body>"
                       "<pre style=\"font-family: 'Courier New', Courier, monospace; "
                       "font-size: 7pt\">") +
                   report.text.toHtmlEscaped() + QStringLiteral("</pre>");
    if (report.figure) {
      QImage image(2 * kFigureWidth, 2 * kFigureHeight, QImage::Format_RGB32);
      image.fill(Qt::white);
      {
        QPainter painter(&image);
        PaintFigure(painter, QRectF(0, 0, image.width(), image.height()), report.figure->analysis,
                    report.figure->decimal_separator, report.figure->report_number);
      }
      // The figure goes inside the HTML, not beside it as image data: offered both, a word
      // processor pastes the image alone and drops the report's text. 6 inches wide.
      QByteArray png;
      QBuffer buffer(&png);
      buffer.open(QIODevice::WriteOnly);
      image.save(&buffer, "PNG");
      html += QStringLiteral(
                  "<p><img width=\"%1\" height=\"%2\" alt=\"%3\" "
                  "src=\"data:image/png;base64,%4\"></p>")
                  .arg(kCopiedFigureWidth)
                  .arg(kCopiedFigureWidth * kFigureHeight / kFigureWidth)
                  .arg(QStringLiteral("Figure of report %1").arg(report.figure->report_number))
                  .arg(QString::fromLatin1(png.toBase64()));
    }
    mime->setHtml(html + QStringLiteral("</body></html>"));
    QGuiApplication::clipboard()->setMimeData(mime.release());
  });
}

void TfrmTemplateResults::SetSettings(QSettings* settings) {
  settings_ = settings;
  if (settings_ == nullptr) return;
  const QByteArray geometry = settings_->value(QStringLiteral("viewer/geometry")).toByteArray();
  if (!geometry.isEmpty() && restoreGeometry(geometry)) placed_ = true;
  show_figure_->setChecked(settings_->value(QStringLiteral("viewer/showFigure"), true).toBool());
}

void TfrmTemplateResults::SaveSettings() const {
  if (settings_ == nullptr) return;
  settings_->setValue(QStringLiteral("viewer/geometry"), saveGeometry());
  settings_->setValue(QStringLiteral("viewer/showFigure"), show_figure_->isChecked());
  settings_->sync();
}

std::string TfrmTemplateResults::Proposal(const std::string& name) const {
  const QString file = QString::fromStdString(name);
  if (settings_ == nullptr || QFileInfo(file).isAbsolute()) return name;
  QString folder = settings_->value(QStringLiteral("lastSaveFolder")).toString();
  if (folder.isEmpty() || !QFileInfo(folder).isDir())
    folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  // An account without a documents folder (none was ever made) starts in its
  // home: a proposal in a missing folder opens the dialog beside the program
  // and fails to save as it stands.
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) return name;
  return QDir(folder).filePath(file).toStdString();
}

void TfrmTemplateResults::RememberFolder(const std::string& chosen) {
  if (settings_ == nullptr) return;
  settings_->setValue(QStringLiteral("lastSaveFolder"),
                      QFileInfo(QString::fromStdString(chosen)).absolutePath());
}

void TfrmTemplateResults::cmdReturnClick() {
  RunHandler(dialogs_, [this] {
    hide();
    if (worksheet_ != nullptr) worksheet_->show();
  });
}

void TfrmTemplateResults::cmdExitClick() {
  RunHandler(dialogs_, [this] {
    if (!dialogs_.Confirm("Exit from program?")) return;
    if (!OfferToSave("before the program ends?", "Exit Without Saving")) return;
    if (exit_action_) exit_action_();
  });
}

void TfrmTemplateResults::mnuPrintClick() {
  RunHandler(dialogs_, [this] {
    PrintText(ResultsText());
    unsaved_ = 0;
  });
}

void TfrmTemplateResults::mnuPrintSelectionClick() {
  RunHandler(dialogs_, [this] {
    const QString selection = SelectedText();
    if (selection.isEmpty()) {
      dialogs_.ShowWarning("You have not selected any text.");
      return;
    }
    PrintText(selection);
  });
}

void TfrmTemplateResults::PrintText(const QString& text) {
  std::unique_ptr<QPagedPaintDevice> printer = printers_->DefaultPrinter();
  PrintTextDocument(*printer, text + QLatin1Char('\n'));
  printers_->Release(*printer);
}
