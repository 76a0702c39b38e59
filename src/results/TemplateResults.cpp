#include "results/TemplateResults.h"

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QShowEvent>
#include <QStandardPaths>
#include <QStyle>
#include <QTabBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>
#include <algorithm>
#include <array>
#include <cmath>
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

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int left) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(left, 488, 161, 37);
  // The buttons use the desktop's own font, not the window's, enlarged.
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(10);
  font.setBold(true);
  button->setFont(font);
  // The text keeps the palette's colour, readable on light and dark desktops.
  return button;
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

void TfrmTemplateResults::BuildControls() {
  setObjectName(QStringLiteral("frmTemplateResults"));
  setWindowTitle(QStringLiteral("Output"));
  QFont window_font(QStringLiteral("Sans Serif"));
  window_font.setStyleHint(QFont::SansSerif);
  window_font.setPointSize(8);
  setFont(window_font);

  QMenuBar* menu_bar = menuBar();
  menu_bar->setObjectName(QStringLiteral("MainMenu1"));
  mnuPrinterOptions = menu_bar->addMenu(QStringLiteral("Printer options..."));
  mnuPrinterOptions->setObjectName(QStringLiteral("mnuPrinterOptions"));
  mnuPrint = mnuPrinterOptions->addAction(QStringLiteral("Print All"));
  mnuPrint->setObjectName(QStringLiteral("mnuPrint"));
  mnuPrintSelection = mnuPrinterOptions->addAction(QStringLiteral("Print Selection"));
  mnuPrintSelection->setObjectName(QStringLiteral("mnuPrintSelection"));
  QMenu* edit_menu = menu_bar->addMenu(QStringLiteral("&Edit"));
  edit_menu->setObjectName(QStringLiteral("mnuEdit"));
  mnuUndoClear = edit_menu->addAction(QStringLiteral("&Undo Clear Results"));
  mnuUndoClear->setObjectName(QStringLiteral("mnuUndoClear"));
  mnuUndoClear->setShortcut(QKeySequence::Undo);
  mnuUndoClear->setEnabled(false);
  mnuCopyReport = edit_menu->addAction(QStringLiteral("&Copy Report"));
  mnuCopyReport->setObjectName(QStringLiteral("mnuCopyReport"));
  mnuCopyReport->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
  mnuCopyReport->setShortcutContext(Qt::WindowShortcut);
  // The same as a button at the menu bar's end, where it is always in view.
  auto* copy_button = new QToolButton(menu_bar);
  copy_button->setObjectName(QStringLiteral("cmdCopyReport"));
  copy_button->setText(QStringLiteral("Copy Report"));
  copy_button->setAccessibleName(QStringLiteral("Copy Report"));
  copy_button->setToolTip(
      QStringLiteral("Copy the report under the text cursor, with its figure, for a word processor "
                     "(Ctrl+Shift+C)"));
  copy_button->setAutoRaise(true);
  connect(copy_button, &QToolButton::clicked, this, [this] { cmdCopyReportClick(); });
  menu_bar->setCornerWidget(copy_button, Qt::TopRightCorner);

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->installEventFilter(this);  // its resizing lays the controls out
  setCentralWidget(client);

  Panel1 = new QFrame(client);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry(8, 2, 777, 468);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);

  memoResults = new QPlainTextEdit(Panel1);
  memoResults->setObjectName(QStringLiteral("memoResults"));
  memoResults->setGeometry(0, 8, 769, 452);
  QFont memo_font(QStringLiteral("Courier New"));
  memo_font.setStyleHint(QFont::TypeWriter);
  memo_font.setFixedPitch(true);
  memo_font.setPointSize(9);
  memoResults->setFont(memo_font);
  memoResults->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memoResults->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memoResults->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  memoResults->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  memoResults->setTabChangesFocus(true);
  memoResults->setUndoRedoEnabled(true);
  QPalette memo_palette = memoResults->palette();
  memo_palette.setColor(QPalette::Text, Qt::black);
  memo_palette.setColor(QPalette::Base, Qt::white);
  // The selection stays visible when the memo loses the focus, so that the
  // user sees what Print Selection will print.
  for (QPalette::ColorGroup group : {QPalette::Inactive, QPalette::Disabled}) {
    memo_palette.setColor(group, QPalette::Highlight,
                          memo_palette.color(QPalette::Active, QPalette::Highlight));
    memo_palette.setColor(group, QPalette::HighlightedText,
                          memo_palette.color(QPalette::Active, QPalette::HighlightedText));
  }
  memoResults->setPalette(memo_palette);
  memoResults->setAccessibleName(QStringLiteral("Results"));
  memoResults->installEventFilter(this);  // Ctrl+Z in the emptied memo undoes Clear Results

  Panel2 = new QFrame(client);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Panel2->setGeometry(12, 482, 765, 49);
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  cmdSaveOutput = MakeButton(client, "cmdSaveOutput", "&Save Output", 28);
  cmdSaveOutput->setToolTip(QStringLiteral("Save the whole text to a file"));
  cmdClearResults = MakeButton(client, "cmdClearResults", "C&lear Results", 220);
  cmdReturn = MakeButton(client, "cmdReturn", "&Return to Worksheet", 411);
  cmdReturn->setToolTip(QStringLiteral("Back to the worksheet for the next case"));
  cmdExit = MakeButton(client, "cmdExit", "E&xit", 603);
  cmdExit->setToolTip(QStringLiteral("End the program"));

  setTabOrder(memoResults, cmdSaveOutput);
  setTabOrder(cmdSaveOutput, cmdClearResults);
  setTabOrder(cmdClearResults, cmdReturn);
  setTabOrder(cmdReturn, cmdExit);
  for (QPushButton* button : {cmdSaveOutput, cmdClearResults, cmdReturn, cmdExit})
    button->installEventFilter(this);  // Return and Enter press the focused button

  // The figure of the report being read: beside the text where the window
  // is wide enough for both, otherwise on a tab of its own in the text's
  // place.
  dock_ = new QDockWidget(this);
  dock_->setObjectName(QStringLiteral("FigureDock"));
  dock_->setFeatures(QDockWidget::NoDockWidgetFeatures);
  dock_->setTitleBarWidget(new QWidget(dock_));
  figures_ = new tFigurePanel(memoResults, dialogs_, dock_);
  figure_scroll_ = new QScrollArea(dock_);
  figure_scroll_->setObjectName(QStringLiteral("FigureScroll"));
  figure_scroll_->setFrameShape(QFrame::NoFrame);
  figure_scroll_->setWidgetResizable(true);
  figure_scroll_->setWidget(figures_);
  dock_->setWidget(figure_scroll_);
  addDockWidget(Qt::RightDockWidgetArea, dock_);
  tabs_ = new QTabBar(client);
  tabs_->setObjectName(QStringLiteral("ResultsTabs"));
  tabs_->setAccessibleName(QStringLiteral("Report text or figure"));
  tabs_->addTab(QStringLiteral("Report &Text"));
  tabs_->addTab(QStringLiteral("F&igure"));
  tabs_->setTabToolTip(0, QStringLiteral("The reports' text"));
  tabs_->setTabToolTip(1, QStringLiteral("The figure of the report under the text cursor"));
  tabs_->hide();
  connect(tabs_, &QTabBar::currentChanged, this, [this] { LayOut(centralWidget()->size()); });

  // Wide enough for the longest line of a report without wrapping, at
  // least the original size, with the figure beside it, and no larger than
  // the screen.
  const QFontMetricsF metrics(memo_font);
  const int frame = 2 * memoResults->frameWidth();
  const int memo_width =
      static_cast<int>(std::ceil(metrics.horizontalAdvance(QLatin1Char('0')) * kWidestReportLine +
                                 2 * memoResults->document()->documentMargin())) +
      frame + memoResults->verticalScrollBar()->sizeHint().width() + 4;
  const int width = std::max(kResultsClientWidth, memo_width + (kResultsClientWidth - 769));
  // The figure's dock takes its panel's width and the separator beside it.
  const int separator = style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, this);
  const int dock_width = kFigurePanelWidth + 8;
  side_by_side_width_ = width + separator + dock_width;
  QSize size(side_by_side_width_, kResultsClientHeight + menu_bar->sizeHint().height());
  // Never narrower than the four buttons with their captions whole.
  int button_width = 0;
  for (QPushButton* button : {cmdSaveOutput, cmdClearResults, cmdReturn, cmdExit})
    button_width = std::max(button_width, button->sizeHint().width());
  min_button_width_ = button_width;
  setMinimumSize(std::max(kResultsMinimumWidth, 2 * 28 + 4 * button_width + 3 * 8),
                 kResultsMinimumHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    // Room for the window manager's title bar and borders.  Where the text
    // and the figure do not both fit, the text keeps its width and the
    // figure goes on a tab in its place.
    const QSize room = screen->availableGeometry().size() - QSize(16, 48);
    if (size.width() > room.width()) size.setWidth(width);
    size = size.boundedTo(room).expandedTo(minimumSize());
  }
  resize(size);

  // The figure's menu: show or hide it, and its two exports, which the
  // figure side also offers as buttons.
  QMenu* figure_menu = menu_bar->addMenu(QStringLiteral("&Figure"));
  figure_menu->setObjectName(QStringLiteral("mnuFigure"));
  show_figure_ = figure_menu->addAction(QStringLiteral("&Show Figure"));
  show_figure_->setObjectName(QStringLiteral("mnuShowFigure"));
  show_figure_->setCheckable(true);
  show_figure_->setChecked(true);
  connect(show_figure_, &QAction::toggled, this, [this] { PlaceFigure(); });
  PlaceFigure();
  figure_menu->addSeparator();
  QAction* save_figure = figure_menu->addAction(QStringLiteral("Save Figure..."));
  save_figure->setObjectName(QStringLiteral("mnuSaveFigure"));
  connect(save_figure, &QAction::triggered, this, [this] { figures_->cmdSaveFigureClick(); });
  QAction* save_pdf = figure_menu->addAction(QStringLiteral("Save as PDF..."));
  save_pdf->setObjectName(QStringLiteral("mnuSavePdf"));
  connect(save_pdf, &QAction::triggered, this, [this] { figures_->cmdSavePdfClick(); });
  connect(figure_menu, &QMenu::aboutToShow, this,
          [this, save_figure] { save_figure->setEnabled(figures_->View()->HasFigure()); });
}

// The controls keep the original places at the original size; the memo
// takes up what the window gains, and the buttons stay on the bottom.
void TfrmTemplateResults::LayOut(QSize client) {
  const int w = client.width(), h = client.height();
  // With the figure on a tab, the tabs sit above the text's place.
  const bool tabbed = tabs_ != nullptr && !tabs_->isHidden();
  const int tab_height = tabbed ? tabs_->sizeHint().height() : 0;
  if (tabbed) tabs_->setGeometry(8, 2, w - 15, tab_height);
  Panel1->setGeometry(8, 2 + tab_height, w - 15, h - 86 - tab_height);
  memoResults->setGeometry(0, 8, Panel1->width() - 8, Panel1->height() - 16);
  if (figure_scroll_ != nullptr && figure_scroll_->parentWidget() == centralWidget()) {
    figure_scroll_->setGeometry(Panel1->geometry());
    const bool figure = tabs_->currentIndex() == 1;
    figure_scroll_->setVisible(figure);
    Panel1->setVisible(!figure);
  } else {
    Panel1->setVisible(true);
  }
  Panel2->setGeometry(12, h - 72, w - 27, 49);
  const int top = h - 66;
  // The original places where they fit; on a narrower window the buttons
  // share the strip's width, never below their captions' width (the
  // window's minimum).
  const std::array<QPushButton*, 4> buttons{cmdSaveOutput, cmdClearResults, cmdReturn, cmdExit};
  const int usable = w - 2 * 28;
  const int button_width = std::max(min_button_width_, std::min(161, (usable - 3 * 8) / 4));
  const double spacing = w >= kResultsClientWidth ? 191.67 : (usable - button_width) / 3.0;
  for (std::size_t k = 0; k < buttons.size(); ++k) {
    buttons[k]->resize(button_width, 37);
    buttons[k]->move(28 + static_cast<int>(std::lround(spacing * static_cast<double>(k))), top);
  }
}

void TfrmTemplateResults::PlaceFigure() {
  if (show_figure_ == nullptr) return;
  const bool wanted = show_figure_->isChecked();
  const bool beside = wanted && width() >= side_by_side_width_;
  if (beside) {
    if (figure_scroll_->parentWidget() != dock_) {
      dock_->setWidget(figure_scroll_);
      figure_scroll_->show();
    }
    tabs_->hide();
    // The figure's full width, also at the first showing.
    if (dock_->isHidden() || dock_->width() < kFigurePanelWidth) {
      dock_->show();
      resizeDocks({dock_}, {kFigurePanelWidth + 8}, Qt::Horizontal);
    }
  } else {
    dock_->hide();
    if (wanted && figure_scroll_->parentWidget() != centralWidget())
      figure_scroll_->setParent(centralWidget());
    if (!wanted && figure_scroll_->parentWidget() == centralWidget()) figure_scroll_->hide();
    tabs_->setVisible(wanted);
    if (!wanted) tabs_->setCurrentIndex(0);
  }
  // The client area takes its size from the window, shown or not.
  if (QLayout* window_layout = layout()) window_layout->activate();
  LayOut(centralWidget()->size());
}

void TfrmTemplateResults::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  PlaceFigure();
}

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
