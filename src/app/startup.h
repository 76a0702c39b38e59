// The program's start-up: the process-wide strings, the two windows and the
// event loop.
#pragma once

#include <memory>
#include <string>

#include "analysis/platform_interfaces.h"

class TfrmTemplate;
class TfrmTemplateResults;

// Puts the program's title and the data file's name into ProgramTitle and
// DataFileName.
void SetProgramStrings();

// The decimal separator of the user's regional settings ('.' when it is not
// a single ASCII character).
char SystemDecimalSeparator();

// The program's two windows: the worksheet, the main window, whose creation
// restores the control data from `data_folder`, and the results viewer,
// created hidden.  Both live as long as this object.
class tQuorrelWindows {
 public:
  tQuorrelWindows(tUserDialogs& dialogs, const std::string& data_folder);
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
