// The worksheet: the program's main window, where the control sample's
// statistics, the case's two scores, the notes and the three analysis options
// are entered, and from which Compute hands the analysis to the results
// viewer.
#pragma once

#include <QStringList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "analysis/platform_interfaces.h"
#include "engines/Bayes_Engines.h"
#include "windows/results_display.h"

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class tBackgroundRun;
class tRadioGroup;

// The description paragraph shown at the top of the worksheet.
extern const char* const kWorksheetDescription;

// The memo height while the notes show one line, and while they are open.
inline constexpr int kNotesClosedHeight = 25;
inline constexpr int kNotesOpenHeight = 70;
// The most characters the notes hold.
inline constexpr int kNotesMaxLength = 250;
// A vertical scroll bar on the description from this many characters on.
inline constexpr int kDescriptionScrollLength = 550;

class TfrmTemplate : public QWidget {
  Q_OBJECT

 public:
  // `data_folder` is where the control-sample data file lives (beside the
  // program, or the user's own folder for an installed copy).  Messages,
  // reports and figures write numbers with `decimal_separator`, the user's.
  // Creation ends by restoring the control data from that file.
  TfrmTemplate(tUserDialogs& dialogs, tResultsDisplay& results, std::string data_folder,
               char decimal_separator, QWidget* parent = nullptr);
  ~TfrmTemplate() override;

  // What ends the program (Exit answered Yes, or the window's close box).
  // The default leaves the application's event loop.
  void SetExitAction(std::function<void()> action) { exit_action_ = std::move(action); }

  // The two counts the window works with: input fields shown, and values
  // restored from the data file.
  int FieldsShown() const { return fields_shown_; }
  int ValuesRestored() const { return values_restored_; }

  // The notes as the report receives them: one entry per display line.
  QStringList NotesLines() const;

  QLineEdit* Input(int index) const { return inputs_[index]; }  // index 0 to 7

  // The number of posterior draws of each analysis: kIterations in the
  // program; tests ask for short runs.
  void SetIterations(int32_t iterations) { iterations_ = iterations; }
  // The engine's run off the event loop, with its progress window.
  tBackgroundRun& BackgroundRun() { return *run_; }

  // Gives the window the size and place that fit the screen it is on: the
  // whole layout when it fits, otherwise as much as fits, with scroll bars.
  void FitToScreen();

  // Handlers of the window and its controls, called by its events and
  // signals (the event filter dispatches the inputs' keys to the eight
  // KeyPress and KeyUp handlers).  Each shows an error it raises in the
  // error box and goes no further.  The key handlers take the typed
  // character and give the one the field receives ('\0': none).
  void FormCreate();
  void FormShow();
  void FormActivate();
  void DescripFldChange();
  char txtInput1KeyPress(char key) { return InputKeyPress(0, key); }
  char txtInput2KeyPress(char key) { return InputKeyPress(1, key); }
  char txtInput3KeyPress(char key) { return InputKeyPress(2, key); }
  char txtInput4KeyPress(char key) { return InputKeyPress(3, key); }
  char txtInput5KeyPress(char key) { return InputKeyPress(4, key); }
  char txtInput6KeyPress(char key) { return InputKeyPress(5, key); }
  char txtInput7KeyPress(char key) { return InputKeyPress(6, key); }
  char txtinput8KeyPress(char key) { return InputKeyPress(7, key); }
  void txtInput1KeyUp() { InputKeyUp(0); }
  void txtInput2KeyUp() { InputKeyUp(1); }
  void txtInput3KeyUp() { InputKeyUp(2); }
  void txtInput4KeyUp() { InputKeyUp(3); }
  void txtInput5KeyUp() { InputKeyUp(4); }
  void txtInput6KeyUp() { InputKeyUp(5); }
  void txtInput7KeyUp() { InputKeyUp(6); }
  void txtinput8KeyUp() { InputKeyUp(7); }
  void memoCommentsEnter();
  void memoCommentsKeyUp(int key);
  void memoCommentsExit();
  void Standardized_RadioClick();
  void UNstandardized_RadioClick();
  void cmdComputeClick();
  void btnclearDataClick();
  void ExitBtnClick();

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void FitToFonts();
  void ConnectHandlers();
  void FocusInput(int index);
  void ShowPriorOf(tTestKind test);
  char InputKeyPress(int index, char key);
  void InputKeyUp(int index);
  bool FilterInputKey(QLineEdit* input, int index, QKeyEvent* event);
  // Pasted text goes through the key filter's rules and the length limit.
  void PasteIntoInput(int index, const QString& text);
  bool PasteEvent(int index, QEvent* event);
  void LimitInputLength(int index);
  void LimitNotesLength();
  void Compute();

  tUserDialogs& dialogs_;
  tResultsDisplay& results_;
  std::string data_folder_;
  char decimal_separator_;
  std::function<void()> exit_action_;
  int32_t iterations_ = 0;
  std::unique_ptr<tBackgroundRun> run_;
  bool exit_after_run_ = false;
  // Exit was confirmed (and unsaved reports dealt with): closing asks nothing.
  bool exit_confirmed_ = false;
  // A data file that cannot be saved is told once a session.
  bool save_failure_told_ = false;
  int fields_shown_ = 8;
  int values_restored_ = 6;
  bool limiting_notes_ = false;

  QScrollArea* scroller_ = nullptr;
  QWidget* client_ = nullptr;  // the fixed layout, inside scroller_
  QPlainTextEdit* DescripFld = nullptr;
  QFrame* Panel3 = nullptr;
  QLabel* lblComments = nullptr;
  QPlainTextEdit* memoComments = nullptr;
  QFrame* Panel1 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QRadioButton* Standardized_Radio = nullptr;
  QRadioButton* UNstandardized_Radio = nullptr;
  tRadioGroup* Prior_Form = nullptr;
  std::array<QLabel*, 8> labels_{};
  std::array<QLineEdit*, 8> inputs_{};
  tRadioGroup* Limits_Radio = nullptr;
  QFrame* pan1 = nullptr;
  QPushButton* cmdCompute = nullptr;
  QPushButton* btnclearData = nullptr;
  QPushButton* btnHelp = nullptr;
  QPushButton* ExitBtn = nullptr;
};
