// The progress of a batch on standard error: "row i of N (line L), about
// T left" before each row.  On a terminal the line is rewritten in place
// (the analysis's own progress line, after a second, carries the same
// words) and erased at the end; asked for elsewhere (--progress into a log
// file), it is one line per row.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

enum class tProgressMode { Off, Terminal, Lines };

class tBatchProgress {
 public:
  // `total`: the rows this run handles, when known.  `seconds` tells the
  // time from any fixed start (steady clock unless given).
  tBatchProgress(std::ostream& err, tProgressMode mode, std::optional<std::size_t> total,
                 std::function<double()> seconds = {});

  // The `index`th row of the run (from 1), at `line` of the file, begins:
  // shows it, and returns what the analysis's progress line names.
  std::string Begin(std::size_t index, std::size_t line);

  // Erases the line on a terminal, before any message that follows the batch.
  void Finish();

 private:
  std::ostream& err_;
  tProgressMode mode_;
  std::optional<std::size_t> total_;
  std::function<double()> seconds_;
  double start_ = 0;
  std::size_t shown_ = 0;  // length of the line on the terminal
};

// "about 40 s left", "about 3 min left", "about 5 h left".
std::string TimeLeftText(double seconds);
