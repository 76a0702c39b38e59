#include "cli/batch_progress.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ostream>

tBatchProgress::tBatchProgress(std::ostream& err, tProgressMode mode,
                               std::optional<std::size_t> total, std::function<double()> seconds)
    : err_(err), mode_(mode), total_(total), seconds_(std::move(seconds)) {
  if (!seconds_) {
    seconds_ = [] {
      return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
          .count();
    };
  }
  start_ = seconds_();
}

std::string tBatchProgress::Begin(std::size_t index, std::size_t line) {
  std::string label = "row " + std::to_string(index);
  if (total_) label += " of " + std::to_string(*total_);
  label += " (line " + std::to_string(line) + ")";
  // The time left from the rows done so far, each taken as long as their mean.
  if (total_ && index > 1 && *total_ >= index) {
    const double done = static_cast<double>(index - 1);
    const double per_row = (seconds_() - start_) / done;
    label += ", " + TimeLeftText(per_row * static_cast<double>(*total_ - done));
  }
  if (mode_ == tProgressMode::Terminal) {
    const std::string text = "quorrel-report: " + label;
    err_ << '\r' << text;
    if (text.size() < shown_) err_ << std::string(shown_ - text.size(), ' ') << '\r' << text;
    shown_ = text.size();
    err_.flush();
  } else if (mode_ == tProgressMode::Lines) {
    err_ << "quorrel-report: " << label << '\n';
    err_.flush();
  }
  return label;
}

void tBatchProgress::Finish() {
  if (mode_ == tProgressMode::Terminal && shown_ > 0) {
    err_ << '\r' << std::string(shown_, ' ') << '\r';
    err_.flush();
    shown_ = 0;
  }
}

std::string TimeLeftText(double seconds) {
  const double s = std::max(1.0, std::round(seconds));
  if (s < 60) return "about " + std::to_string(static_cast<long>(s)) + " s left";
  const double minutes = std::round(seconds / 60);
  if (minutes < 90) return "about " + std::to_string(static_cast<long>(minutes)) + " min left";
  return "about " + std::to_string(static_cast<long>(std::round(seconds / 3600))) + " h left";
}
