// The worksheet as it opens: restored fields, initial options and focus,
// the arrangement of its controls and the keyboard order.
#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyle>
#include <map>

#include "analysis/compute_driver.h"
#include "analysis/version.h"
#include "windows/help.h"
#include "worksheet/radio_group.h"
#include "worksheet_fixture.h"

namespace {

const char* const kInputNames[8] = {"txtInput1", "txtInput2", "txtInput3", "txtInput4",
                                    "txtInput5", "txtInput6", "txtInput7", "txtinput8"};

// True when `text` fits in `width` x `height` pixels of `widget`'s font.
::testing::AssertionResult TextFits(const QWidget* widget, const QString& text, int width,
                                    int height) {
  const QFontMetrics metrics(widget->font());
  const int needed_width = metrics.horizontalAdvance(text);
  if (needed_width <= width && metrics.height() <= height) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << widget->objectName().toStdString() << ": \"" << text.toStdString() << "\" needs "
         << needed_width << "x" << metrics.height() << ", has " << width << "x" << height;
}

QRect InWindow(const QWidget* widget) {
  return QRect(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
}

}  // namespace

TEST_F(WorksheetTest, FirstStartWithoutDataFileShowsEmptyFieldsAndDefaultOptions) {
  TfrmTemplate& w = Open();
  EXPECT_EQ(w.windowTitle().toStdString(), ProgramTitle);
  for (int k = 0; k < 8; ++k) {
    EXPECT_TRUE(Input(k)->text().isEmpty()) << k;
    EXPECT_EQ(Control<QLabel>(QString("Label%1").arg(k + 1).toLatin1())->text().toStdString(),
              FieldCaptions[k]);
  }
  EXPECT_TRUE(Control<QPlainTextEdit>("memoComments")->toPlainText().isEmpty());
  EXPECT_TRUE(Control<QRadioButton>("Standardized_Radio")->isChecked());
  EXPECT_FALSE(Control<QRadioButton>("UNstandardized_Radio")->isChecked());
  EXPECT_EQ(Control<tRadioGroup>("Prior_Form")->ItemIndex(), 0);
  EXPECT_TRUE(Control<tRadioGroup>("Prior_Form")->isEnabled());
  EXPECT_EQ(Control<tRadioGroup>("Limits_Radio")->ItemIndex(), 0);
  EXPECT_EQ(Focused(), Input(0));
  EXPECT_EQ(w.FieldsShown(), 8);
  EXPECT_EQ(w.ValuesRestored(), 6);
  EXPECT_TRUE(dialogs_.events.empty());
  EXPECT_FALSE(QFile::exists(DataPath()));  // opening writes nothing
}

TEST_F(WorksheetTest, StartWithDataFileRestoresTheControlDataAndWaitsInTheCaseScore) {
  const QByteArray content = "100 15 50 10 .6 20 70 45 ";
  WriteDataFile(content);
  Open();
  const char* expected[8] = {"100", "15", "50", "10", "0.6", "20", "", ""};
  for (int k = 0; k < 8; ++k)
    EXPECT_EQ(Input(k)->text().toStdString(), expected[k]) << k;
  EXPECT_EQ(Focused(), Input(6));
  EXPECT_TRUE(dialogs_.events.empty());
  EXPECT_EQ(ReadDataFile(), content);
}

TEST_F(WorksheetTest, MalformedDataFileIsReportedAndTheWorksheetStillOpens) {
  WriteDataFile("100 15 abc 10 .6 20 ");
  TfrmTemplate& w = Open();
  ASSERT_EQ(dialogs_.errors.size(), 1u);
  EXPECT_EQ(dialogs_.errors[0], "Invalid numeric input.");
  EXPECT_EQ(Input(0)->text(), "100");
  EXPECT_EQ(Input(1)->text(), "15");
  for (int k = 2; k < 8; ++k)
    EXPECT_TRUE(Input(k)->text().isEmpty()) << k;
  // Creation went on past the error: caption, labels and description are set.
  EXPECT_EQ(w.windowTitle().toStdString(), ProgramTitle);
  EXPECT_EQ(Control<QLabel>("Label8")->text().toStdString(), FieldCaptions[7]);
  EXPECT_FALSE(Control<QPlainTextEdit>("DescripFld")->toPlainText().isEmpty());
  EXPECT_TRUE(w.isVisible());
}

TEST_F(WorksheetTest, FixedWindowWhereNoCaptionIsClippedAndTheColumnsDoNotOverlap) {
  TfrmTemplate& w = Open();
  EXPECT_EQ(w.size(), QSize(792, 573));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(w.objectName(), "frmTemplate");
  for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6", "Label7",
                           "Label8", "lblComments"}) {
    const QLabel* label = Control<QLabel>(name);
    // A mnemonic's ampersand is not shown.
    EXPECT_TRUE(TextFits(label, label->text().remove('&'), label->width(), label->height()));
  }
  for (QAbstractButton* button : worksheet_->findChildren<QAbstractButton*>()) {
    const QSize hint = button->sizeHint();
    EXPECT_GE(button->width(), hint.width()) << button->objectName().toStdString();
    EXPECT_GE(button->height(), hint.height()) << button->objectName().toStdString();
    // Every button lies wholly inside the widget that holds it.
    EXPECT_TRUE(button->parentWidget()->rect().contains(button->geometry()))
        << button->objectName().toStdString();
  }
  for (int k = 0; k < 8; ++k) {
    const QLineEdit* input = Input(k);
    const int frame = input->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    EXPECT_TRUE(TextFits(input, "000000", input->width() - 2 * frame - 4, input->height()));
    const QRect label = InWindow(Control<QLabel>(QString("Label%1").arg(k + 1).toLatin1()));
    const QRect field = InWindow(input);
    EXPECT_LT(label.right(), field.left()) << k;  // label left of its input
    EXPECT_TRUE(label.top() < field.bottom() && field.top() < label.bottom()) << k;
    EXPECT_GT(label.left(), InWindow(Control<QWidget>("Prior_Form")).right()) << k;
    EXPECT_GT(label.left(), InWindow(Control<QWidget>("Limits_Radio")).right()) << k;
  }
  const QRect notes_caption = InWindow(Control<QWidget>("lblComments"));
  EXPECT_LT(notes_caption.right(), InWindow(Control<QWidget>("memoComments")).left());
  EXPECT_FALSE(InWindow(Control<QWidget>("Prior_Form"))
                   .intersects(InWindow(Control<QWidget>("Limits_Radio"))));
  // The buttons stand along the bottom, on their strip.
  const QRect strip = InWindow(Control<QWidget>("pan1"));
  for (const char* name : {"cmdCompute", "btnclearData", "btnHelp", "ExitBtn"})
    EXPECT_TRUE(strip.contains(InWindow(Control<QWidget>(name)))) << name;
  EXPECT_EQ(Control<QPushButton>("btnclearData")->text().remove('&'), "Clear Data ");
}

TEST_F(WorksheetTest, DescriptionIsOneLongParagraphEndingWithTheVersionDate) {
  Open();
  auto* description = Control<QPlainTextEdit>("DescripFld");
  const QString text = description->toPlainText();
  EXPECT_GT(text.size(), 2000);
  EXPECT_LT(text.size(), 3000);
  EXPECT_FALSE(text.contains('\n'));
  EXPECT_TRUE(text.contains(QRegularExpression("\\d{1,2} [A-Z][a-z]+ \\d{4}\\.$")));
  EXPECT_TRUE(description->isReadOnly());
  EXPECT_FALSE(description->focusPolicy() & Qt::TabFocus);
  EXPECT_EQ(description->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  // A text of at most 550 characters shows no scroll bar.
  description->setPlainText(QString(550, 'x'));
  EXPECT_EQ(description->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  description->setPlainText(QString(551, 'x'));
  EXPECT_EQ(description->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(WorksheetTest, TabWalksTheControlsInKeyboardOrderAndWrapsAround) {
  Open();
  std::vector<std::string> expected(std::begin(kInputNames), std::end(kInputNames));
  expected.insert(expected.end(),
                  {"Standardized_Radio", "Prior_Form_0", "memoComments", "cmdCompute",
                   "btnclearData", "btnHelp", "ExitBtn", "Limits_Radio_0", "txtInput1"});
  Input(0)->setFocus();
  std::vector<std::string> walked;
  for (std::size_t i = 0; i < expected.size() - 1; ++i) {
    QTest::keyClick(Focused(), Qt::Key_Tab);
    walked.push_back(Focused() ? Focused()->objectName().toStdString() : "<none>");
  }
  EXPECT_EQ(walked, std::vector<std::string>(expected.begin() + 1, expected.end()));
  EXPECT_TRUE(dialogs_.events.empty());  // Tab passes the key filter silently

  // With other choices the walk stops at the chosen item of each group and
  // passes the greyed-out prior by.
  QTest::mouseClick(Control<QWidget>("UNstandardized_Radio"), Qt::LeftButton);
  QTest::mouseClick(Control<tRadioGroup>("Limits_Radio")->Item(2), Qt::LeftButton);
  Input(7)->setFocus();
  walked.clear();
  for (int i = 0; i < 8; ++i) {
    QTest::keyClick(Focused(), Qt::Key_Tab);
    walked.push_back(Focused() ? Focused()->objectName().toStdString() : "<none>");
  }
  EXPECT_EQ(walked, (std::vector<std::string>{"UNstandardized_Radio", "memoComments", "cmdCompute",
                                              "btnclearData", "btnHelp", "ExitBtn",
                                              "Limits_Radio_2", "txtInput1"}));
}

// Every button, option and option group can be reached with Alt and a
// letter of its own, and every button and group says what it does.
TEST_F(WorksheetTest, EveryButtonAndOptionHasItsOwnMnemonicAndGroupsAndButtonsATooltip) {
  Open();
  std::map<QChar, QString> taken;
  auto mnemonic = [&taken](const QString& text) {
    const qsizetype at = text.indexOf('&');
    ASSERT_GE(at, 0) << text.toStdString();
    const QChar letter = text.at(at + 1).toLower();
    EXPECT_FALSE(taken.count(letter))
        << text.toStdString() << " and " << taken[letter].toStdString();
    taken[letter] = text;
  };
  for (QAbstractButton* button : worksheet_->findChildren<QAbstractButton*>()) {
    mnemonic(button->text());
    if (qobject_cast<QPushButton*>(button)) {
      EXPECT_FALSE(button->toolTip().isEmpty()) << button->objectName().toStdString();
    }
  }
  for (QGroupBox* group : worksheet_->findChildren<QGroupBox*>()) {
    mnemonic(group->title());
    EXPECT_FALSE(group->toolTip().isEmpty()) << group->objectName().toStdString();
  }
  // Alt+C computes, as the button does.
  worksheet_->SetIterations(2000);
  Fill({"100", "15", "50", "10", ".6", "20", "70", "45"});
  QTest::keyClick(Input(0), Qt::Key_C, Qt::AltModifier);
  for (int waited = 0; results_.reports.empty() && waited < 2000; waited += 20)
    QTest::qWait(20);  // a mnemonic clicks its button after a short animation
  EXPECT_EQ(results_.reports.size(), 1u);
  EXPECT_TRUE(dialogs_.events.empty() || dialogs_.events.front() == "busy");
}

// F1 opens the guide; the About box names the version and the data file.
TEST_F(WorksheetTest, HelpOpensTheGuideAndAboutNamesTheVersionAndTheDataFile) {
  Open();
  QTest::keyClick(Input(0), Qt::Key_F1);
  QWidget* guide = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (top->objectName() == "frmHelpGuide" && top->isVisible()) guide = top;
  ASSERT_NE(guide, nullptr);
  EXPECT_TRUE(dialogs_.events.empty());  // F1 is no typed character
  guide->close();
  const QString about = AboutText(Folder());
  EXPECT_TRUE(about.contains(QString::fromLatin1(kQuorrelVersion)));
  EXPECT_TRUE(about.contains(QString::fromStdString(DataFilePath(Folder()))));
}
