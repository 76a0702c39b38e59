// The results viewer as the worksheet's Compute handler sees it.
#pragma once

#include <string>
#include <vector>

struct tAnalysis;

class tResultsDisplay {
 public:
  virtual ~tResultsDisplay() = default;
  // True when the viewer's text holds at least one line.
  virtual bool HoldsText() const = 0;
  // Show the viewer (the caller hides the worksheet) with this caption.
  virtual void ShowResults(const std::string& caption) = 0;
  // Append lines, one viewer line each, after the text already there.
  virtual void AppendLines(const std::vector<std::string>& lines) = 0;
  // The lines just appended are the report of `analysis`, whose figure the
  // viewer shows; numbers in the figure use `decimal_separator`.
  virtual void AttachFigure(const tAnalysis& analysis, char decimal_separator) {
    static_cast<void>(analysis);
    static_cast<void>(decimal_separator);
  }
  // Asked before the program ends, after "Exit from program?" was answered
  // Yes: offers to save reports that were neither saved, printed nor
  // written to PDF.  True when the program may end.
  virtual bool MayEndProgram() { return true; }
};
