// The program's help, shared by both windows: a short guide in the
// program's own words and the About box, offered by a Help menu that
// either window can show (from a button, or in a menu bar).
#pragma once

#include <QString>
#include <string>

class QMenu;
class QMenuBar;
class QWidget;

// The guide's text (rich text): what the test does, how to read the
// report, the options, which prior to choose, the progress window and the
// question before a long run.
QString HelpGuideText();

// The About box's text: the version, the licence and where the control
// data is kept (`data_folder`).
QString AboutText(const std::string& data_folder);

// Shows the guide in a window of its own (not modal; one at a time).
void ShowHelpGuide(QWidget* parent);
// Shows the About box (modal).
void ShowAboutBox(QWidget* parent, const std::string& data_folder);

// The Help menu: "Guide" (F1) and "About Quorrel", owned by `parent`.
// F1 opens the guide anywhere in `parent`'s window.
QMenu* CreateHelpMenu(QWidget* parent, const std::string& data_folder);

// Adds the same Help menu to a window's menu bar.
void AddHelpMenu(QMenuBar* bar, QWidget* window, const std::string& data_folder);
