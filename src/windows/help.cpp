#include "windows/help.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "analysis/data_file.h"
#include "analysis/version.h"

namespace {

const char* const kGuide = R"(
<h2>What Quorrel does</h2>
<p>Quorrel compares one case's scores on two tasks, X and Y, with a control
sample. It asks whether the difference between the case's two scores is
abnormal: how rare such a difference would be among the controls. It answers
with Bayesian Monte Carlo: 1,000,000 draws from the posterior distribution of
the controls' means, standard deviations and correlation. The draws start
from fixed seeds, so the same inputs always give the same numbers.</p>

<h2>Entering a case</h2>
<p>Type the control sample's two means, two standard deviations, the
correlation between the tasks and the sample size, then the case's two
scores, and press Compute (Alt+C; Enter in the case's score on Task Y does
the same once every field is filled). Only the characters of a number are
accepted (a comma is taken as a point), and each field holds six
characters. The control data is kept for the next case; Clear Data (Alt+D)
empties the worksheet for a new control sample. What you type under
"User's Notes" is written into the report.</p>

<h2>Reading the report</h2>
<ul>
<li><b>z scores</b>: the case's score on each task as standard deviations
from the control mean.</li>
<li><b>Significance test</b>: the one-tailed probability that a control
member shows a difference more extreme than the case's, in the same
direction, and the two-tailed probability (twice as large). A small
probability (for instance below .05) means the difference is abnormal.</li>
<li><b>Z-DCC</b>: the effect size, the case's difference in standard
deviations of the controls' differences, with its 95% credible interval (or
the one-sided limit asked for).</li>
<li><b>Abnormality</b>: the percentage of the control population that would
show a more extreme difference, with its 95% credible limits.</li>
</ul>

<h2>The options</h2>
<ul>
<li><b>Standardized</b> test (the default): the two scores are first turned
into z scores, which is almost always right because the two tasks have
different means and standard deviations. The <b>unstandardized</b> test
compares the raw difference; use it only when both tasks are on the same
scale. It always runs with the standard-theory prior.</li>
<li><b>Calibrated prior</b> (recommended): gives the test the error rates
a clinician expects of it (its frequentist properties). It needs a control
sample of at least 4. <b>Standard theory</b> (Jeffreys prior) is the
alternative; it is quicker when the correlation is very close to 1 or -1,
and it is the prior of the unstandardized test.</li>
<li><b>Required 95% limits</b>: two-sided for a credible interval; one-sided
lower or upper when only one direction of the difference was expected
before testing.</li>
</ul>

<h2>While it computes</h2>
<p>An analysis usually takes about a second. A longer one shows a progress
window with the share of the draws done; Cancel (a click, Escape or Alt+C)
stops it without a report, and the same inputs later give the same
numbers. Enter does not cancel.</p>
<p>With a correlation very close to 1 or -1 the calibrated prior rejects
most of the matrices it draws, and a run can take minutes or hours. Before
a run expected to take more than a minute, Quorrel says how long it
expects and offers to go on, to use the standard-theory prior instead, or
to cancel.</p>

<h2>The results viewer</h2>
<p>Each analysis adds its report to the results viewer, where reports can
be read, saved to a text file, printed or written to PDF. Return to
Worksheet brings back the worksheet with the control data, ready for the
next case.</p>
)";

}  // namespace

QString HelpGuideText() {
  return QString::fromUtf8(kGuide);
}

QString AboutText(const std::string& data_folder) {
  const QString file = QString::fromStdString(DataFilePath(data_folder)).toHtmlEscaped();
  return QStringLiteral(
             "<p><b>Quorrel %1</b></p>"
             "<p>Bayesian tests of the difference between a case's scores on two tasks, "
             "against a control sample.</p>"
             "<p>Free software under the GNU General Public License, version 3 or later; "
             "it comes with no warranty.</p>"
             "<p>The control data is kept in<br><tt>%2</tt></p>")
      .arg(QString::fromLatin1(kQuorrelVersion), file);
}

void ShowHelpGuide(QWidget* parent) {
  static QPointer<QDialog> shown;
  if (shown != nullptr) {
    shown->raise();
    shown->activateWindow();
    return;
  }
  auto* guide = new QDialog(parent, Qt::Window);
  guide->setObjectName(QStringLiteral("frmHelpGuide"));
  guide->setAttribute(Qt::WA_DeleteOnClose);
  guide->setWindowTitle(QStringLiteral("Quorrel guide"));
  auto* text = new QTextBrowser(guide);
  text->setObjectName(QStringLiteral("HelpText"));
  text->setAccessibleName(QStringLiteral("Guide"));
  text->setHtml(HelpGuideText());
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, guide);
  buttons->button(QDialogButtonBox::Close)->setAccessibleName(QStringLiteral("Close"));
  QObject::connect(buttons, &QDialogButtonBox::rejected, guide, &QDialog::close);
  auto* layout = new QVBoxLayout(guide);
  layout->addWidget(text);
  layout->addWidget(buttons);
  guide->resize(guide->fontMetrics().averageCharWidth() * 80, guide->fontMetrics().height() * 36);
  shown = guide;
  guide->show();
}

void ShowAboutBox(QWidget* parent, const std::string& data_folder) {
  QMessageBox box(QMessageBox::Information, QStringLiteral("About Quorrel"), AboutText(data_folder),
                  QMessageBox::Ok, parent);
  box.setObjectName(QStringLiteral("frmAbout"));
  box.setTextFormat(Qt::RichText);
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  box.exec();
}

QMenu* CreateHelpMenu(QWidget* parent, const std::string& data_folder) {
  auto* menu = new QMenu(QStringLiteral("&Help"), parent);
  menu->setObjectName(QStringLiteral("HelpMenu"));
  // F1 is the window's own shortcut (below); the menu only names it, as a
  // second F1 would make the key ambiguous.
  QAction* guide = menu->addAction(QStringLiteral("&Guide\tF1"));
  guide->setObjectName(QStringLiteral("actHelpGuide"));
  QObject::connect(guide, &QAction::triggered, parent, [parent] { ShowHelpGuide(parent); });
  QAction* about = menu->addAction(QStringLiteral("&About Quorrel"));
  about->setObjectName(QStringLiteral("actAbout"));
  QObject::connect(about, &QAction::triggered, parent,
                   [parent, data_folder] { ShowAboutBox(parent, data_folder); });
  // F1 anywhere in the window, also while the menu is closed.
  auto* f1 = new QAction(parent);
  f1->setShortcut(QKeySequence::HelpContents);
  f1->setShortcutContext(Qt::WindowShortcut);
  QObject::connect(f1, &QAction::triggered, parent, [parent] { ShowHelpGuide(parent); });
  parent->addAction(f1);
  return menu;
}

void AddHelpMenu(QMenuBar* bar, QWidget* window, const std::string& data_folder) {
  bar->addMenu(CreateHelpMenu(window, data_folder));
}
