// The program's start-up: the process-wide strings, the two windows and the
// event loop.
#pragma once

#include <memory>
#include <string>

#include "analysis/platform_interfaces.h"

class QIcon;
class TfrmTemplate;
class TfrmTemplateResults;

// Puts the program's title and the data file's name into ProgramTitle and
// DataFileName.
void SetProgramStrings();

// The folder of the control-sample data file for this run (data_location.h):
// beside the program for a copy run from its build or unpacked folder, the
// user's own folder for an installed copy, made ready (created, an earlier
// file read once) before it is returned.
std::string StartUpDataFolder();

// The program's icon in every size it ships (48 to 256 pixels).
QIcon ProgramIcon();

// The desktop id (for the desktop entry and the window manager) and the
// window icon of every window.
void SetProgramIdentity();

// The program's two windows: the worksheet, the main window, whose creation
// restores the control data from `data_folder`, and the results viewer,
// created hidden.  Both write numbers with `decimal_separator`, the user's.
// Both live as long as this object.
class tQuorrelWindows {
 public:
  tQuorrelWindows(tUserDialogs& dialogs, const std::string& data_folder, char decimal_separator);
  ~tQuorrelWindows();

  TfrmTemplate& Worksheet() { return *worksheet_; }
  TfrmTemplateResults& Results() { return *results_; }

 private:
  std::unique_ptr<TfrmTemplateResults> results_;
  std::unique_ptr<TfrmTemplate> worksheet_;
};

// The whole program: strings, platform, windows, event loop.  Returns the
// event loop's exit code.
int RunQuorrel(int argc, char** argv);
