#include "worksheet/difflims_Form.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QTextCursor>
#include <algorithm>
#include <exception>

#include "analysis/Metrics_Papers.h"
#include "analysis/compute_driver.h"
#include "analysis/data_file.h"
#include "analysis/error_texts.h"
#include "analysis/io_error.h"
#include "analysis/report.h"
#include "windows/handler_guard.h"
#include "worksheet/memo_lines.h"
#include "worksheet/radio_group.h"
#include "worksheet/run_progress.h"

const char* const kWorksheetDescription =
    "This program accompanies a published paper on Bayesian methods for comparing a single case"
    " with a control or normative sample; it does not allow for covariates. The program tests "
    "whether the difference between a case's scores on two tasks (Task X and Task Y) is "
    "significantly different from the differences observed in the control sample, that is, "
    "whether the case shows an abnormal discrepancy between the two tasks. Besides the "
    "significance test it provides a point estimate of the effect size for the difference "
    "between the case and the controls (Z-DCC), with a 95% credible interval, and a point and "
    "interval estimate of the abnormality of the case's difference: the percentage of the "
    "control population that would be expected to obtain a larger difference in the same "
    "direction. Because the means and standard deviations of the controls usually differ from "
    "one task to the other, the case's scores should almost always be standardized before they "
    "are compared; this is done by the Bayesian Standardized Difference Test (BSDT). The method"
    " is chosen with the radio buttons below: the standardized test is the default, and the "
    "unstandardized test is offered for tasks measured on a common scale. For the standardized "
    "test a prior calibrated to give the test frequentist properties is offered and is "
    "recommended; the standard (Jeffreys) prior remains available as an option. The standard "
    "prior gives the unstandardized test frequentist properties, so that test always uses it. "
    "Enter the mean and standard deviation of the controls on each task, the correlation "
    "between the tasks, the size of the control sample and the case's two scores, choose two-"
    "sided or one-sided limits, and press Compute. Brief notes typed in the User's Notes field "
    "are included in the report. The analyses use Monte Carlo simulation with one million draws"
    " from the posterior, started from fixed seeds, so the same inputs always give the same "
    "results. The control data are saved to a file when Compute is pressed and are read back "
    "the next time the program starts, so that further cases can be tested against the same "
    "control sample without typing its statistics again; use \"Clear Data\" to empty the "
    "worksheet and enter the data of a new control sample. Each analysis adds a report to the "
    "results viewer, where the results can be viewed, printed whole or in part, or saved to a "
    "text file; several reports may be collected there before they are saved. Program version: "
    "8 December 2026.";

namespace {

// The character a key press types, as the key filter sees it, or '\0' for a
// key that types nothing (arrows, Delete, Home, modifiers, function keys).
// Control combinations type their control character (Ctrl+V is code 22), so
// the filter refuses them as it refuses any other non-numeric key.
char TypedCharacter(const QKeyEvent& event, QChar typed) {
  switch (event.key()) {
    case Qt::Key_Backspace:
      return '\b';
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return '\t';
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return '\r';
    case Qt::Key_Escape:
      return '\x1b';
    case Qt::Key_Delete:
      return '\0';
    default:
      break;
  }
  const auto mods = event.modifiers();
  const bool control = (mods & Qt::ControlModifier) && !(mods & Qt::AltModifier);
  if (control && event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z)
    return static_cast<char>(event.key() - Qt::Key_A + 1);
  const char16_t code = typed.unicode();
  if (code == 0) return '\0';
  // Anything beyond ASCII is no digit; DEL stands for it so the filter
  // refuses it (a narrowing cast could turn it into a digit).
  return code < 0x80 ? static_cast<char>(code) : '\x7f';
}

// The editing shortcuts and Escape are commands to the field, not typed
// characters: the key filter, which refuses every character but those of a
// number, deliberately does not see them (as a control character each
// would be refused with "Enter numeric data only.").  Paste is not among
// them: the window pastes itself, through the filter's rules for pasted
// text.
bool IsEditingCommand(const QKeyEvent& event) {
  return event.key() == Qt::Key_Escape || event.matches(QKeySequence::SelectAll) ||
         event.matches(QKeySequence::Copy) || event.matches(QKeySequence::Cut) ||
         event.matches(QKeySequence::Undo) || event.matches(QKeySequence::Redo);
}

bool MovesBetweenControls(Qt::FocusReason reason) {
  return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

bool IsAscii(const QString& text) {
  for (QChar c : text)
    if (c.unicode() >= 0x80) return false;
  return true;
}

}  // namespace

namespace {

// The handlers of the eight inputs, txtInput1 first, to which the event
// filter dispatches their keys.
constexpr std::array<char (TfrmTemplate::*)(char), 8> kKeyPressHandlers = {
    &TfrmTemplate::txtInput1KeyPress, &TfrmTemplate::txtInput2KeyPress,
    &TfrmTemplate::txtInput3KeyPress, &TfrmTemplate::txtInput4KeyPress,
    &TfrmTemplate::txtInput5KeyPress, &TfrmTemplate::txtInput6KeyPress,
    &TfrmTemplate::txtInput7KeyPress, &TfrmTemplate::txtinput8KeyPress,
};
constexpr std::array<void (TfrmTemplate::*)(), 8> kKeyUpHandlers = {
    &TfrmTemplate::txtInput1KeyUp, &TfrmTemplate::txtInput2KeyUp, &TfrmTemplate::txtInput3KeyUp,
    &TfrmTemplate::txtInput4KeyUp, &TfrmTemplate::txtInput5KeyUp, &TfrmTemplate::txtInput6KeyUp,
    &TfrmTemplate::txtInput7KeyUp, &TfrmTemplate::txtinput8KeyUp,
};

}  // namespace

TfrmTemplate::TfrmTemplate(tUserDialogs& dialogs, tResultsDisplay& results, std::string data_folder,
                           char decimal_separator, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      dialogs_(dialogs),
      results_(results),
      data_folder_(std::move(data_folder)),
      decimal_separator_(decimal_separator),
      // Leaves the event loop at once, whatever the other window would say
      // to being closed.
      exit_action_([] { QCoreApplication::exit(0); }),
      iterations_(kIterations),
      run_(std::make_unique<tBackgroundRun>(this)) {
  setObjectName(QStringLiteral("frmTemplate"));
  BuildControls();
  ConnectHandlers();
  // Centred on the screen when first shown.
  FitToScreen();
  FormCreate();
}

TfrmTemplate::~TfrmTemplate() = default;

void TfrmTemplate::ConnectHandlers() {
  connect(DescripFld, &QPlainTextEdit::textChanged, this, &TfrmTemplate::DescripFldChange);
  connect(memoComments, &QPlainTextEdit::textChanged, this, &TfrmTemplate::LimitNotesLength);
  connect(Standardized_Radio, &QRadioButton::toggled, this, [this](bool checked) {
    if (checked) Standardized_RadioClick();
  });
  connect(UNstandardized_Radio, &QRadioButton::toggled, this, [this](bool checked) {
    if (checked) UNstandardized_RadioClick();
  });
  connect(cmdCompute, &QPushButton::clicked, this, &TfrmTemplate::cmdComputeClick);
  // Enter in the case's last score computes, once every field is filled
  // (with a field empty it does nothing, rather than warn about it).
  connect(inputs_[7], &QLineEdit::returnPressed, this, [this] {
    if (std::all_of(inputs_.begin(), inputs_.end(),
                    [](const QLineEdit* input) { return !input->text().isEmpty(); }))
      cmdComputeClick();
  });
  connect(btnclearData, &QPushButton::clicked, this, &TfrmTemplate::btnclearDataClick);
  connect(ExitBtn, &QPushButton::clicked, this, &TfrmTemplate::ExitBtnClick);
}

void TfrmTemplate::FormCreate() {
  RunHandler(dialogs_, [this] {
    memoComments->clear();
    for (QLineEdit* input : inputs_)
      input->clear();
    setWindowTitle(QString::fromStdString(ProgramTitle));
    DescripFld->setPlainText(QString::fromUtf8(kWorksheetDescription));
    for (int k = 0; k < 8; ++k)
      labels_[k]->setText(QString::fromUtf8(FieldCaptions[k]));
    fields_shown_ = 8;
    values_restored_ = 6;
    LoadPreviousData(data_folder_, [this](int position, const std::string& text) {
      if (position >= 0 && position < values_restored_)
        inputs_[position]->setText(QString::fromStdString(text));
    });
    for (int k = 0; k < fields_shown_; ++k) {
      inputs_[k]->setVisible(true);
      labels_[k]->setVisible(true);
    }
    update();
  });
}

void TfrmTemplate::FormShow() {
  RunHandler(dialogs_, [this] {
    if (inputs_[0]->text().isEmpty()) {
      FocusInput(0);
      return;
    }
    raise();
    activateWindow();
    // The input after the last restored one: the case's score on Task X.
    int next = values_restored_;
    if (!inputs_[next]->isVisibleTo(this)) next = values_restored_ - 1;
    FocusInput(next);
  });
}

// Nothing to do when the window becomes active: the focus stays where it was.
void TfrmTemplate::FormActivate() {}

// The focus moves into an input with its whole text selected, so that what
// is typed next replaces the old value instead of joining it.
void TfrmTemplate::FocusInput(int index) {
  inputs_[index]->setFocus(Qt::OtherFocusReason);
  inputs_[index]->selectAll();
  scroller_->ensureWidgetVisible(inputs_[index]);
}

void TfrmTemplate::DescripFldChange() {
  RunHandler(dialogs_, [this] {
    const bool long_text = DescripFld->toPlainText().size() > kDescriptionScrollLength;
    DescripFld->setVerticalScrollBarPolicy(long_text ? Qt::ScrollBarAlwaysOn
                                                     : Qt::ScrollBarAlwaysOff);
  });
}

char TfrmTemplate::InputKeyPress(int /*index*/, char key) {
  char passed = '\0';
  RunHandler(dialogs_, [&] { passed = FilterNumericKey(key, dialogs_); });
  return passed;
}

void TfrmTemplate::InputKeyUp(int index) {
  RunHandler(dialogs_, [this, index] { LimitInputLength(index); });
}

void TfrmTemplate::PasteIntoInput(int index, const QString& text) {
  RunHandler(dialogs_, [this, index, &text] {
    const std::optional<std::string> passed = FilterPastedText(text.toStdString(), dialogs_);
    if (!passed) return;
    // Replaces the selection, and can be undone, as a paste of the field's own.
    inputs_[index]->insert(QString::fromStdString(*passed));
    LimitInputLength(index);
  });
}

void TfrmTemplate::LimitInputLength(int index) {
  QLineEdit* input = inputs_[index];
  const QString text = input->text();
  if (text.size() <= static_cast<qsizetype>(MaxInputLength)) return;
  dialogs_.Beep();
  dialogs_.ShowWarning(kMaxLengthMessage);
  input->setText(IsAscii(text) ? QString::fromStdString(TruncateInput(text.toStdString()))
                               : text.left(static_cast<qsizetype>(MaxInputLength)));
  input->selectAll();
}

bool TfrmTemplate::FilterInputKey(QLineEdit* input, int index, QKeyEvent* event) {
  if (event->matches(QKeySequence::Paste)) {
    PasteIntoInput(index, QGuiApplication::clipboard()->text(QClipboard::Clipboard));
    return true;
  }
  if (IsEditingCommand(*event)) return false;  // the field's own
  const QString typed = event->text();
  if (typed.size() <= 1) {
    const char key = TypedCharacter(*event, typed.isEmpty() ? QChar() : typed[0]);
    if (key == '\0') return false;  // types nothing: navigation and editing keys
    const char passed = (this->*kKeyPressHandlers[index])(key);
    if (passed == '\0') return true;  // refused: the field does not receive it
    if (passed == key) return false;  // the field handles it as usual
    input->insert(QString(QChar(passed)));
    return true;
  }
  // Several characters in one event (a composed sequence): each goes through
  // the filter on its own, and what passes is inserted.
  QString accepted;
  for (QChar c : typed) {
    const char passed = (this->*kKeyPressHandlers[index])(TypedCharacter(*event, c));
    if (passed >= ' ') accepted += QChar(passed);
  }
  if (!accepted.isEmpty()) input->insert(accepted);
  return true;
}

QStringList TfrmTemplate::NotesLines() const {
  return MemoDisplayLines(*memoComments);
}

void TfrmTemplate::LimitNotesLength() {
  RunHandler(dialogs_, [this] {
    if (limiting_notes_) return;
    const int excess = memoComments->toPlainText().size() - kNotesMaxLength;
    if (excess <= 0) return;
    // Drop what was just typed or pasted beyond the limit: the characters
    // before the cursor, where the insertion ended.
    limiting_notes_ = true;
    QTextCursor cursor = memoComments->textCursor();
    const int end = cursor.position();
    const int start = end >= excess ? end - excess : 0;
    cursor.setPosition(start);
    cursor.setPosition(start == 0 ? excess : end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    memoComments->setTextCursor(cursor);
    limiting_notes_ = false;
  });
}

void TfrmTemplate::memoCommentsEnter() {
  RunHandler(dialogs_, [this] {
    if (NotesLines().size() > 1) {
      memoComments->resize(memoComments->width(), kNotesOpenHeight);
      memoComments->raise();
    }
  });
}

void TfrmTemplate::memoCommentsKeyUp(int key) {
  RunHandler(dialogs_, [this, key] {
    if (NotesLines().size() > 1 || key == Qt::Key_Return || key == Qt::Key_Enter) {
      memoComments->resize(memoComments->width(), kNotesOpenHeight);
      memoComments->raise();
    }
  });
}

void TfrmTemplate::memoCommentsExit() {
  RunHandler(dialogs_, [this] { memoComments->resize(memoComments->width(), kNotesClosedHeight); });
}

void TfrmTemplate::Standardized_RadioClick() {
  RunHandler(dialogs_, [this] { ShowPriorOf(tTestKind::Standardized); });
}

void TfrmTemplate::UNstandardized_RadioClick() {
  RunHandler(dialogs_, [this] { ShowPriorOf(tTestKind::Unstandardized); });
}

// The prior group starts from the prior the test runs with by default, and
// takes a choice only for a test that has one.
void TfrmTemplate::ShowPriorOf(tTestKind test) {
  Prior_Form->SetItemIndex(PriorIndex(PriorForTest(test, std::nullopt)));
  Prior_Form->setEnabled(PriorIsChosen(test));
}

void TfrmTemplate::cmdComputeClick() {
  RunHandler(dialogs_, [this] { Compute(); });
}

void TfrmTemplate::Compute() {
  if (run_->Running()) return;  // one analysis at a time
  tWorksheetEntry entry;
  for (int k = 0; k < 8; ++k)
    entry.texts[k] = inputs_[k]->text().toStdString();
  tAnalysisOptions& choices = entry.options;
  choices.test =
      UNstandardized_Radio->isChecked() ? tTestKind::Unstandardized : tTestKind::Standardized;
  // The group's items are kPriors in order; with none checked (which only the
  // program can do) the run takes the standard-theory prior.
  const int prior_item = Prior_Form->ItemIndex();
  choices.prior = prior_item >= 0 && prior_item < static_cast<int>(kPriors.size())
                      ? kPriors[static_cast<std::size_t>(prior_item)]
                      : tPrior::StandardTheory;
  switch (Limits_Radio->ItemIndex()) {
    case 1:
      choices.limits = tLimits::OneSidedLower;
      break;
    case 2:
      choices.limits = tLimits::OneSidedUpper;
      break;
    default:
      choices.limits = tLimits::TwoSided;
      break;
  }
  for (const QString& line : NotesLines())
    choices.notes.push_back(line.toStdString());

  const char separator = decimal_separator_;
  tComputeOptions options;
  options.iterations = iterations_;
  options.tell_save_failure = !save_failure_told_;
  options.remedies.use_standard_theory =
      "choose \"" +
      QString::fromUtf8(PriorTraits(tPrior::StandardTheory).worksheet_caption)
          .remove(QLatin1Char('&'))
          .toStdString() +
      "\" under \"Form of prior...\"";
  options.remedies.run_again = "compute again";
  options.runner = [this](const tAnalysis_request& request, tAnalysis& analysis) {
    // The driver moves the focus to the first input before the run.
    FocusInput(0);
    return run_->Run(request, analysis);
  };
  tComputeOutcome outcome;
  try {
    outcome = ComputeAnalysis(entry, data_folder_, dialogs_, separator, options);
  } catch (const EInOutError&) {
    throw;  // the data file failed: nothing ran, the worksheet stays as it was
  } catch (const EAnalysisFailed& failed) {
    if (!failed.RefusedField()) {
      FocusInput(0);  // the engine failed after the checks had passed
      if (exit_after_run_) exit_action_();
      throw;
    }
    // A value the run cannot use (a sample too small for the calibrated
    // prior) is told as a refused input: a warning, and the focus in its
    // field.
    dialogs_.ShowWarning(failed.Message());
    FocusInput(*failed.RefusedField());
    if (exit_after_run_) exit_action_();
    return;
  } catch (...) {
    FocusInput(0);  // the engine failed after the checks had passed
    if (exit_after_run_) exit_action_();
    throw;
  }
  if (outcome.save_failed) save_failure_told_ = true;
  if (exit_after_run_) {
    // The window was closed during the run: the program ends.
    exit_action_();
    return;
  }
  if (outcome.Refused()) {
    if (*outcome.refused_field < static_cast<int>(inputs_.size()))
      FocusInput(*outcome.refused_field);
    return;
  }
  FocusInput(0);
  if (outcome.stopped) return;  // no report; the worksheet as it was
  // The group shows the prior the analysis ran with: the user may have chosen
  // the standard-theory prior instead of a long calibrated run.
  Prior_Form->SetItemIndex(PriorIndex(outcome.analysis.request.options.Prior()));
  // The report is written before the windows change, so that nothing is
  // switched if it fails.
  const std::vector<std::string> report =
      BuildReport(results_.HoldsText(), ProgramTitle, outcome.analysis, separator);
  results_.ShowResults("Results viewer: " + ProgramTitle);
  hide();
  results_.AppendLines(report);
  results_.AttachFigure(outcome.analysis, separator);
}

void TfrmTemplate::btnclearDataClick() {
  RunHandler(dialogs_, [this] {
    for (QLineEdit* input : inputs_)
      input->clear();
    memoComments->clear();
    DeleteDataFile(data_folder_);
    FocusInput(0);
  });
}

void TfrmTemplate::ExitBtnClick() {
  RunHandler(dialogs_, [this] {
    if (!dialogs_.Confirm("Exit from program?") || !results_.MayEndProgram()) return;
    exit_confirmed_ = true;
    if (!close()) exit_confirmed_ = false;
  });
}

bool TfrmTemplate::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) FormActivate();
  return QWidget::event(event);
}

bool TfrmTemplate::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* button = qobject_cast<QPushButton*>(watched);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (button != nullptr && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
      button->click();
      return true;
    }
  }
  if (watched == memoComments) {
    switch (event->type()) {
      // Focus that comes and goes with the window's activation or a popup
      // menu stays in the notes: only a move between controls counts.
      case QEvent::FocusIn:
        if (MovesBetweenControls(static_cast<QFocusEvent*>(event)->reason())) memoCommentsEnter();
        break;
      case QEvent::FocusOut:
        if (MovesBetweenControls(static_cast<QFocusEvent*>(event)->reason())) memoCommentsExit();
        break;
      case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat()) memoCommentsKeyUp(key->key());
        break;
      }
      default:
        break;
    }
    return QWidget::eventFilter(watched, event);
  }
  for (int k = 0; k < 8; ++k) {
    if (watched != inputs_[k]) continue;
    if (event->type() == QEvent::KeyPress)
      return FilterInputKey(inputs_[k], k, static_cast<QKeyEvent*>(event));
    if (PasteEvent(k, event)) return true;
    if (event->type() == QEvent::FocusIn) {
      // However the focus arrives between controls (a mouse click places
      // the cursor where it points), the whole text is selected.
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if (MovesBetweenControls(reason) && reason != Qt::MouseFocusReason) inputs_[k]->selectAll();
      scroller_->ensureWidgetVisible(inputs_[k]);
    }
    if (event->type() == QEvent::KeyRelease && !static_cast<QKeyEvent*>(event)->isAutoRepeat())
      (this->*kKeyUpHandlers[k])();
    break;
  }
  return QWidget::eventFilter(watched, event);
}

// Every other way text is pasted into an input: its context menu's Paste,
// the middle button (the mouse selection) and a drop.  Each goes through
// PasteIntoInput instead of the field's own insertion; true when `event`
// was one of them and has been handled.
bool TfrmTemplate::PasteEvent(int index, QEvent* event) {
  QLineEdit* input = inputs_[index];
  switch (event->type()) {
    case QEvent::ContextMenu: {
      const std::unique_ptr<QMenu> menu(input->createStandardContextMenu());
      for (QAction* action : menu->actions()) {
        // The field's own Paste, whose text is translated as the field's.
        if (!action->text().startsWith(QLineEdit::tr("&Paste"))) continue;
        action->disconnect();
        connect(action, &QAction::triggered, this, [this, index] {
          PasteIntoInput(index, QGuiApplication::clipboard()->text(QClipboard::Clipboard));
        });
      }
      menu->setObjectName(QStringLiteral("InputContextMenu"));
      menu->exec(static_cast<QContextMenuEvent*>(event)->globalPos());
      return true;
    }
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::MiddleButton || !QGuiApplication::clipboard()->supportsSelection())
        return false;
      input->deselect();
      input->setCursorPosition(input->cursorPositionAt(mouse->position().toPoint()));
      PasteIntoInput(index, QGuiApplication::clipboard()->text(QClipboard::Selection));
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      if (!drop->mimeData()->hasText()) return false;
      input->deselect();
      input->setCursorPosition(input->cursorPositionAt(drop->position().toPoint()));
      // A copy: text dragged out of another field stays there.
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      PasteIntoInput(index, drop->mimeData()->text());
      return true;
    }
    default:
      return false;
  }
}

void TfrmTemplate::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The focused control shows its focus from the start, not only after
  // the first Tab.
  setAttribute(Qt::WA_KeyboardFocusChange);
  if (!event->spontaneous()) FormShow();
}

void TfrmTemplate::closeEvent(QCloseEvent* event) {
  // Closing the worksheet ends the program, without a question; during a
  // run, once the run has stopped.  Only reports that were never saved,
  // printed or written to PDF are offered for saving first, as Exit offers
  // them, so that the close box does not lose a morning's work.
  if (!exit_confirmed_ && !exit_after_run_ && !results_.MayEndProgram()) {
    event->ignore();
    return;
  }
  if (run_->Running()) {
    exit_after_run_ = true;
    run_->Stop();
    event->ignore();
    return;
  }
  event->accept();
  if (exit_action_) RunHandler(dialogs_, [this] { exit_action_(); });
}
