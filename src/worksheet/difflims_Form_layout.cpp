// The worksheet's controls and where they lie: a client area of fixed size
// with every control at its own place, as the window was drawn, grown where
// the platform's font needs it, and scrolled on a screen too small for it.
#include "worksheet/difflims_Form.h"

#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/compute_driver.h"
#include "windows/help.h"
#include "worksheet/radio_group.h"

namespace {

constexpr int kClientWidth = 792;
constexpr int kClientHeight = 573;

const char* const kInputNames[8] = {"txtInput1", "txtInput2", "txtInput3", "txtInput4",
                                    "txtInput5", "txtInput6", "txtInput7", "txtinput8"};

QFont Bold(QFont font) {
  font.setBold(true);
  return font;
}

}  // namespace

void TfrmTemplate::FitToScreen() {
  QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  // The frame the window manager adds: known once the window is shown,
  // otherwise a title bar and borders of a generous size (none on the
  // platforms that draw no frame).
  const QString platform = QGuiApplication::platformName();
  QMargins frame = platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")
                       ? QMargins()
                       : QMargins(8, 40, 8, 8);
  if (isVisible() && frameGeometry() != geometry()) {
    const QRect outer = frameGeometry(), inner = geometry();
    frame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                     outer.right() - inner.right(), outer.bottom() - inner.bottom());
  }
  const int room_w = std::max(200, area.width() - frame.left() - frame.right());
  const int room_h = std::max(150, area.height() - frame.top() - frame.bottom());
  const int bar_w = scroller_->verticalScrollBar()->sizeHint().width();
  const int bar_h = scroller_->horizontalScrollBar()->sizeHint().height();
  int width = client_->width(), height = client_->height();
  // A scroll bar in one direction takes room from the other.
  bool across = width > room_w, down = height > room_h;
  if (down && !across) across = width + bar_w > room_w;
  if (across && !down) down = height + bar_h > room_h;
  width = std::min(width + (down ? bar_w : 0), room_w);
  height = std::min(height + (across ? bar_h : 0), room_h);
  setFixedSize(width, height);
  // Centred, and never beyond the top left of the free area.
  QPoint top_left(area.center().x() - (width + frame.left() + frame.right()) / 2,
                  area.center().y() - (height + frame.top() + frame.bottom()) / 2);
  top_left.setX(std::max(top_left.x(), area.left()));
  top_left.setY(std::max(top_left.y(), area.top()));
  move(top_left);
}

void TfrmTemplate::BuildControls() {
  QFont base = QGuiApplication::font();
  base.setPointSize(10);
  setFont(base);
  // Button-face background for the window and the description.
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);

  // The controls lie in a client area of fixed size; on a screen too small
  // for it the window scrolls it.
  scroller_ = new QScrollArea(this);
  scroller_->setObjectName(QStringLiteral("ClientScroller"));
  scroller_->setFrameShape(QFrame::NoFrame);
  scroller_->setFocusPolicy(Qt::NoFocus);  // not a stop of the keyboard order
  scroller_->setWidgetResizable(false);
  client_ = new QWidget;
  client_->setObjectName(QStringLiteral("ClientArea"));
  client_->setFixedSize(kClientWidth, kClientHeight);
  client_->setAutoFillBackground(true);
  scroller_->setWidget(client_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scroller_);

  auto place = [](QWidget* w, const char* name, int left, int top, int width, int height) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(left, top, width, height);
  };

  DescripFld = new QPlainTextEdit(client_);
  place(DescripFld, "DescripFld", 12, 7, 768, 94);
  DescripFld->setReadOnly(true);
  DescripFld->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
  DescripFld->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QPalette memo_face = DescripFld->palette();
  memo_face.setColor(QPalette::Base, memo_face.color(QPalette::Button));
  DescripFld->setPalette(memo_face);

  Panel3 = new QFrame(client_);
  place(Panel3, "Panel3", 12, 106, 768, 33);
  Panel3->setFrameStyle(QFrame::Panel | QFrame::Raised);
  lblComments = new QLabel(QStringLiteral("User's &Notes:"), Panel3);
  lblComments->setObjectName(QStringLiteral("lblComments"));
  lblComments->setFont(Bold(base));
  lblComments->move(6, 8);
  lblComments->adjustSize();

  Panel1 = new QFrame(client_);
  place(Panel1, "Panel1", 12, 143, 768, 346);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);

  GroupBox1 = new QGroupBox(QStringLiteral("&Apply..."), Panel1);
  place(GroupBox1, "GroupBox1", 8, 16, 745, 57);
  Standardized_Radio =
      new QRadioButton(QStringLiteral("Bayesian &STANDARDIZED difference test"), GroupBox1);
  place(Standardized_Radio, "Standardized_Radio", 64, 16, 289, 33);
  UNstandardized_Radio =
      new QRadioButton(QStringLiteral("Bayesian &UNSTANDARDIZED difference test"), GroupBox1);
  place(UNstandardized_Radio, "UNstandardized_Radio", 408, 16, 321, 33);
  Standardized_Radio->setChecked(true);

  QStringList prior_captions;
  for (tPrior prior : kPriors)
    prior_captions.push_back(QString::fromUtf8(PriorTraits(prior).worksheet_caption));
  Prior_Form = new tRadioGroup(QStringLiteral("Prior_Form"), QStringLiteral("&Form of prior..."),
                               prior_captions, Panel1);
  Prior_Form->setGeometry(8, 80, 241, 105);
  Prior_Form->SetItemIndex(0);

  for (int k = 0; k < 8; ++k) {
    labels_[k] = new QLabel(Panel1);
    place(labels_[k], QStringLiteral("Label%1").arg(k + 1).toLatin1().constData(), 272, 92 + 32 * k,
          441, 16);
  }
  for (int k = 0; k < 8; ++k) {
    inputs_[k] = new QLineEdit(Panel1);
    place(inputs_[k], kInputNames[k], 696, 88 + 32 * k, 56, 24);
    inputs_[k]->setFont(Bold(base));
    // Only typed keys reach a field, through the numeric key filter.
    inputs_[k]->setAttribute(Qt::WA_InputMethodEnabled, false);
    inputs_[k]->installEventFilter(this);
  }

  // The notes lie above Panel1 so that, grown, they overlap its top.
  memoComments = new QPlainTextEdit(client_);
  place(memoComments, "memoComments", 112, 110, 666, kNotesClosedHeight);
  memoComments->setFont(QFont(QStringLiteral("Courier New"), 9));
  memoComments->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memoComments->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memoComments->setTabChangesFocus(true);
  memoComments->document()->setDocumentMargin(2);
  memoComments->installEventFilter(this);

  // Lies over the lower left of Panel1.
  Limits_Radio =
      new tRadioGroup(QStringLiteral("Limits_Radio"), QStringLiteral("Required 95% &limits..."),
                      {QStringLiteral("t&wo-sided"), QStringLiteral("one-sided l&ower"),
                       QStringLiteral("one-sided u&pper")},
                      client_);
  Limits_Radio->setGeometry(24, 336, 241, 105);
  Limits_Radio->SetItemIndex(0);

  pan1 = new QFrame(client_);
  place(pan1, "pan1", 12, 500, 768, 49);
  pan1->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  cmdCompute = new QPushButton(QStringLiteral("&Compute"), client_);
  place(cmdCompute, "cmdCompute", 28, 506, 165, 37);
  btnclearData = new QPushButton(QStringLiteral("Clear &Data "), client_);
  place(btnclearData, "btnclearData", 220, 506, 161, 37);
  // Help: the guide (F1) and the About box, in the free place of the strip.
  btnHelp = new QPushButton(QStringLiteral("&Help"), client_);
  place(btnHelp, "btnHelp", 412, 506, 161, 37);
  btnHelp->setMenu(CreateHelpMenu(this, data_folder_));
  ExitBtn = new QPushButton(QStringLiteral("E&xit"), client_);
  place(ExitBtn, "ExitBtn", 603, 506, 161, 37);
  cmdCompute->setToolTip(QStringLiteral(
      "Test the case's difference against the control sample and show the report (Alt+C)"));
  btnclearData->setToolTip(
      QStringLiteral("Empty every field and delete the saved control data, to enter a new "
                     "control sample (Alt+D)"));
  btnHelp->setToolTip(
      QStringLiteral("A short guide to the test and its report (F1), and "
                     "where the control data is kept (Alt+H)"));
  ExitBtn->setToolTip(QStringLiteral("End the program (Alt+X)"));
  GroupBox1->setToolTip(
      QStringLiteral("Standardized: the scores are compared as z scores (almost always right). "
                     "Unstandardized: the raw difference, for tasks on the same scale (Alt+A)"));
  Prior_Form->setToolTip(
      QStringLiteral("Calibrated: the recommended prior, for a control sample of 4 or more. "
                     "Standard theory: quicker with a correlation very near 1 or -1 (Alt+F)"));
  Limits_Radio->setToolTip(
      QStringLiteral("Two-sided: a 95% credible interval. One-sided: a 95% limit, when the "
                     "direction of the difference was expected before testing (Alt+L)"));
  for (QPushButton* button : {cmdCompute, btnclearData, btnHelp, ExitBtn}) {
    button->setFont(Bold(base));
    button->setAutoDefault(false);
    // Return and Enter press the focused button, as the space bar does.
    button->installEventFilter(this);
  }

  // Names for screen readers: each input and memo is named by its label,
  // and the label leads to it.
  for (int k = 0; k < 8; ++k) {
    labels_[k]->setBuddy(inputs_[k]);
    inputs_[k]->setAccessibleName(QString::fromUtf8(FieldCaptions[k]));
  }
  lblComments->setBuddy(memoComments);
  memoComments->setAccessibleName(lblComments->text().remove(QLatin1Char('&')));
  DescripFld->setAccessibleName(QStringLiteral("Description of the program"));

  // Keyboard order; the chain closes on itself, so Limits_Radio leads back
  // to txtInput1.
  QList<QWidget*> order(inputs_.begin(), inputs_.end());
  order << Standardized_Radio << UNstandardized_Radio;
  for (int i = 0; i < Prior_Form->Count(); ++i)
    order << Prior_Form->Item(i);
  order << memoComments << cmdCompute << btnclearData << btnHelp << ExitBtn;
  for (int i = 0; i < Limits_Radio->Count(); ++i)
    order << Limits_Radio->Item(i);
  for (int i = 1; i < order.size(); ++i)
    setTabOrder(order[i - 1], order[i]);

  FitToFonts();
}

// The places above suit a narrow system font.  Where the platform's font is
// wider, a control grows just enough to show its whole text, into the free
// space beside it, so that no caption is clipped or overlapped.
void TfrmTemplate::FitToFonts() {
  // The notes start right of their caption, and keep their right edge.
  const int notes_right = memoComments->geometry().right();
  lblComments->adjustSize();
  const int caption_end = Panel3->x() + lblComments->geometry().right() + 1;
  const int notes_left = std::max(memoComments->x(), caption_end + 4);
  memoComments->setGeometry(notes_left, memoComments->y(), notes_right - notes_left + 1,
                            memoComments->height());

  // Each input shows six of its widest characters; it grows to the left.
  const QFontMetrics input_metrics(inputs_[0]->font());
  const int frame = inputs_[0]->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
  const int input_width =
      std::max(inputs_[0]->width(),
               input_metrics.horizontalAdvance(QStringLiteral("000000")) + 2 * frame + 6);
  for (QLineEdit* input : inputs_) {
    const int right = input->geometry().right();
    input->setGeometry(right - input_width + 1, input->y(), input_width, input->height());
  }
  // The labels keep their vertical centre on their inputs and end before them.
  const int label_height = std::max(labels_[0]->height(), QFontMetrics(font()).height() + 1);
  for (int k = 0; k < 8; ++k) {
    const int centre = inputs_[k]->y() + inputs_[k]->height() / 2;
    const int width = std::min(labels_[k]->width(), inputs_[k]->x() - 4 - labels_[k]->x());
    labels_[k]->setGeometry(labels_[k]->x(), centre - label_height / 2, width, label_height);
  }

  // The option groups widen up to the labels' column.
  // Both keep one width, so that their edges line up.
  const int labels_left = Panel1->x() + labels_[0]->x();
  int group_width = 0;
  for (tRadioGroup* group : {Prior_Form, Limits_Radio})
    group_width = std::max({group_width, group->width(), group->sizeHint().width()});
  for (tRadioGroup* group : {Prior_Form, Limits_Radio}) {
    const int room = labels_left - 6 - group->mapTo(client_, QPoint(0, 0)).x();
    group->resize(std::min(group_width, room),
                  std::max(group->height(), group->sizeHint().height()));
  }
  for (QRadioButton* button : {Standardized_Radio, UNstandardized_Radio})
    button->resize(std::max(button->width(), button->sizeHint().width()), button->height());
}
