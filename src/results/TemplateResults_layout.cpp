// The results viewer's controls and where they lie: the text, the button
// strip, the menu, and the figure on a tab or beside the text, placed again
// whenever the window's size changes.
#include "results/TemplateResults.h"

#include <QAction>
#include <QDockWidget>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QFrame>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QTextOption>
#include <QToolButton>
#include <algorithm>
#include <array>
#include <cmath>

#include "results/figure.h"
#include "results/figure_panel.h"

namespace {

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
