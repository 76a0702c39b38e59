// Typing into the worksheet: the numeric key filter and the six-character
// limit of the eight inputs, the notes memo, and the coupling of the test
// choice with the prior.
#include <QAction>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <functional>

#include "worksheet/radio_group.h"
#include "worksheet_fixture.h"

namespace {

const std::string kNumericOnly = "INPUT ERROR\r\rEnter numeric data only.";
const std::string kTooLong = "Maximum length of input is 6 characters.";

}  // namespace

TEST_F(WorksheetTest, RefusedKeysBeepWarnAndAreNotInserted) {
  Open();
  QLineEdit* input = Input(2);
  input->setFocus();
  QTest::keyClicks(input, "12");
  for (char key : {'a', 'e', '+', ' ', '/'}) {
    dialogs_.events.clear();
    QTest::keyClick(input, key);
    EXPECT_EQ(dialogs_.events, (std::vector<std::string>{"beep", "warning:" + kNumericOnly}))
        << key;
    EXPECT_EQ(input->text(), "12") << key;
  }
  // The editing commands and Escape are no typed characters: they work,
  // and nothing is refused.
  dialogs_.events.clear();
  QTest::keyClick(input, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(input->selectedText(), "12");
  QApplication::clipboard()->clear();
  QTest::keyClick(input, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "12");
  QTest::keyClick(input, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(input->text(), "");
  QTest::keyClick(input, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(input->text(), "12");
  QTest::keyClick(input, Qt::Key_Escape);
  EXPECT_EQ(input->text(), "12");
  EXPECT_TRUE(dialogs_.events.empty());
}

// Text pasted by any route passes the key filter's rules as a whole and the
// length limit: a refused character refuses the paste with the filter's
// warning, and an overlong paste is cut back as typed text is.
TEST_F(WorksheetTest, PastedTextByEveryRouteGoesThroughTheFilterAndTheLimit) {
  Open();
  QLineEdit* input = Input(4);
  input->setFocus();
  const std::function<void(const QString&)> routes[] = {
      [input](const QString& text) {
        QApplication::clipboard()->setText(text);
        QTest::keyClick(input, Qt::Key_V, Qt::ControlModifier);
      },
      [input](const QString& text) {
        QApplication::clipboard()->setText(text);
        QTimer::singleShot(0, [] {
          QWidget* menu = QApplication::activePopupWidget();
          ASSERT_NE(menu, nullptr);
          for (QAction* action : menu->actions())
            if (action->text().startsWith(QLineEdit::tr("&Paste"))) action->trigger();
          menu->close();
        });
        QContextMenuEvent menu_event(QContextMenuEvent::Keyboard, QPoint(2, 2),
                                     input->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(input, &menu_event);
      },
      [input](const QString& text) {
        QMimeData data;
        data.setText(text);
        QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(input, &enter);
        QDropEvent drop(QPointF(2, 2), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
        QApplication::sendEvent(input, &drop);
      },
  };
  int route = 0;
  for (const auto& paste : routes) {
    SCOPED_TRACE(route++);
    // A drop inserts where it lands, the others replace the selection.
    input->setText("1");
    input->setCursorPosition(1);
    dialogs_.events.clear();
    paste("6 5");
    EXPECT_EQ(input->text(), "1");
    EXPECT_EQ(dialogs_.events, (std::vector<std::string>{"beep", "warning:" + kNumericOnly}));
    input->clear();
    dialogs_.events.clear();
    paste(",25\n");
    EXPECT_EQ(input->text(), ".25");
    EXPECT_TRUE(dialogs_.events.empty());
    input->clear();
    paste(QString(323, '7'));
    EXPECT_EQ(input->text(), "777777");
    EXPECT_EQ(dialogs_.events, (std::vector<std::string>{"beep", "warning:" + kTooLong}));
  }
}

TEST_F(WorksheetTest, NumericKeysPassAndACommaBecomesAPoint) {
  Open();
  QLineEdit* input = Input(4);
  input->setFocus();
  QTest::keyClicks(input, "-1,5");
  EXPECT_EQ(input->text(), "-1.5");
  QTest::keyClick(input, Qt::Key_Backspace);
  EXPECT_EQ(input->text(), "-1.");
  // A comma typed over a selection replaces it, as any typed key does.
  input->selectAll();
  QTest::keyClick(input, ',');
  EXPECT_EQ(input->text(), ".");
  // Editing keys that type no character are not filtered.
  QTest::keyClick(input, Qt::Key_Home);
  QTest::keyClick(input, Qt::Key_Delete);
  QTest::keyClick(input, Qt::Key_Right);
  EXPECT_EQ(input->text(), "");
  EXPECT_TRUE(dialogs_.events.empty());
}

TEST_F(WorksheetTest, SeventhCharacterCutsEveryInputBackToItsFirstSix) {
  Open();
  for (int k = 0; k < 8; ++k) {
    QLineEdit* input = Input(k);
    input->setFocus();
    input->setText("123456");
    input->setCursorPosition(3);
    dialogs_.events.clear();
    QTest::keyClick(input, '9');
    // "123" + "9" + "456": the character at the end is the one dropped.
    EXPECT_EQ(input->text(), "123945") << k;
    EXPECT_EQ(dialogs_.events, (std::vector<std::string>{"beep", "warning:" + kTooLong})) << k;
    EXPECT_EQ(input->selectedText(), "123945") << k;
  }
}

TEST_F(WorksheetTest, SixCharactersAndTextSetWithoutAKeyAreLeftAloneUntilAKeyIsReleased) {
  Open();
  QLineEdit* input = Input(0);
  input->setFocus();
  QTest::keyClicks(input, "-1.234");
  EXPECT_EQ(input->text(), "-1.234");
  EXPECT_TRUE(dialogs_.events.empty());
  // Text put in without a key (by the program) is not cut at once ...
  input->setText("3.14159265");
  EXPECT_EQ(input->text(), "3.14159265");
  // ... but at the next key release in that input, even of a refused key.
  QTest::keyClick(input, Qt::Key_Shift);
  EXPECT_EQ(input->text(), "3.1415");
  EXPECT_EQ(dialogs_.warnings, std::vector<std::string>{kTooLong});
}

TEST_F(WorksheetTest, ChoosingTheTestSetsAndLocksThePriorBothWays) {
  Open();
  auto* standardized = Control<QRadioButton>("Standardized_Radio");
  auto* unstandardized = Control<QRadioButton>("UNstandardized_Radio");
  auto* prior = Control<tRadioGroup>("Prior_Form");
  QTest::mouseClick(unstandardized, Qt::LeftButton);
  EXPECT_TRUE(unstandardized->isChecked());
  EXPECT_EQ(prior->ItemIndex(), 1);
  EXPECT_FALSE(prior->isEnabled());
  QTest::mouseClick(standardized, Qt::LeftButton);
  EXPECT_EQ(prior->ItemIndex(), 0);
  EXPECT_TRUE(prior->isEnabled());
  // The standardized test brings back the calibrated prior whatever the user
  // had selected.
  QTest::mouseClick(prior->Item(1), Qt::LeftButton);
  EXPECT_EQ(prior->ItemIndex(), 1);
  unstandardized->setFocus();
  QTest::keyClick(unstandardized, Qt::Key_Space);  // the keyboard works too
  EXPECT_EQ(prior->ItemIndex(), 1);
  QTest::mouseClick(standardized, Qt::LeftButton);
  EXPECT_EQ(prior->ItemIndex(), 0);
  EXPECT_TRUE(prior->isEnabled());
  // The limits are not coupled.
  EXPECT_EQ(Control<tRadioGroup>("Limits_Radio")->ItemIndex(), 0);
}

TEST_F(WorksheetTest, NotesGrowOnEnterOrSeveralLinesAndShrinkWhenLeft) {
  Open();
  auto* notes = Control<QPlainTextEdit>("memoComments");
  EXPECT_EQ(notes->height(), kNotesClosedHeight);
  notes->setFocus();
  QTest::keyClick(notes, 'a');
  EXPECT_EQ(notes->height(), kNotesClosedHeight);  // one line: stays small
  notes->clear();
  QTest::keyClick(notes, Qt::Key_Return);
  EXPECT_EQ(notes->height(), kNotesOpenHeight);
  Input(0)->setFocus();
  EXPECT_EQ(notes->height(), kNotesClosedHeight);
  // Entering notes that hold two lines opens them at once; one line does not.
  notes->setPlainText("first\nsecond");
  notes->setFocus();
  EXPECT_EQ(notes->height(), kNotesOpenHeight);
  EXPECT_EQ(notes->geometry().bottom(), notes->y() + kNotesOpenHeight - 1);
  Input(0)->setFocus();
  notes->setPlainText("one line");
  notes->setFocus();
  EXPECT_EQ(notes->height(), kNotesClosedHeight);
}

TEST_F(WorksheetTest, NotesHoldAtMost250Characters) {
  Open();
  auto* notes = Control<QPlainTextEdit>("memoComments");
  notes->setFocus();
  notes->insertPlainText(QString(240, 'a'));
  notes->moveCursor(QTextCursor::Start);
  notes->insertPlainText(QString(20, 'b'));  // a paste that overshoots
  EXPECT_EQ(notes->toPlainText(), QString(10, 'b') + QString(240, 'a'));
  QTest::keyClick(notes, 'c');  // typing at the limit changes nothing
  EXPECT_EQ(notes->toPlainText().size(), kNotesMaxLength);
  EXPECT_FALSE(notes->toPlainText().contains('c'));
}

TEST_F(WorksheetTest, NotesLinesAreTheWrappedLinesAsShown) {
  TfrmTemplate& w = Open();
  auto* notes = Control<QPlainTextEdit>("memoComments");
  EXPECT_TRUE(w.NotesLines().isEmpty());
  notes->setPlainText("abc\n");
  EXPECT_EQ(w.NotesLines(), QStringList{"abc"});  // no empty line after the last break
  notes->setPlainText("first\n\nthird");
  EXPECT_EQ(w.NotesLines(), (QStringList{"first", "", "third"}));

  QString words;
  while (words.size() < 200)
    words += "patient tested twice ";
  notes->setPlainText(words.trimmed());
  const QStringList lines = w.NotesLines();
  ASSERT_GE(lines.size(), 2);
  EXPECT_EQ(lines.join(""), words.trimmed());
  // The memo lays the block out into as many lines, breaking at words.
  notes->resize(notes->width(), 200);
  QApplication::processEvents();
  const QTextLayout* shown = notes->document()->firstBlock().layout();
  ASSERT_NE(shown, nullptr);
  ASSERT_EQ(shown->lineCount(), lines.size());
  for (int i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(shown->lineAt(i).textLength(), lines[i].size()) << i;
    if (i + 1 < lines.size()) {
      EXPECT_TRUE(lines[i].endsWith(' ')) << i;  // broken after a word
    }
  }
}
