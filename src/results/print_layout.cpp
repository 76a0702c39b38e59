#include "results/print_layout.h"

namespace {

class tLayout {
 public:
  tLayout(const tPrintMetrics& metrics, tPrintPage page) : m_(metrics), page_(page) {
    pages_.emplace_back();
  }

  void Put(char32_t c) {
    switch (c) {
      case U'\n':
        EndLine();
        break;
      case U'\r':
        break;
      case U'\f':
        FormFeed();
        break;
      case U'\t':
        Tab();
        break;
      default:
        Character(c);
        break;
    }
  }

  std::vector<tPrintedPage> Finish() {
    FlushRun();
    if (LineBegun()) {
      BeginPendingPage();
      ++pages_.back().lines;
    }
    return std::move(pages_);
  }

 private:
  // Why the next thing laid out goes on a new page: the last one filled up,
  // or a form feed asked for one.
  enum class tPending { None, Full, FormFeed };

  bool LineBegun() const { return line_has_text_ || x_ > 0; }

  void BeginPendingPage() {
    if (pending_ == tPending::None) return;
    pages_.emplace_back();
    y_ = 0;
    pending_ = tPending::None;
  }

  void FlushRun() {
    if (run_.empty()) return;
    pages_.back().runs.push_back({run_x_, y_, std::move(run_)});
    run_.clear();
  }

  void EndLine() {
    FlushRun();
    BeginPendingPage();
    ++pages_.back().lines;
    if (line_has_text_) {
      const int advance = m_.text_height + 2;
      y_ += advance;
      if (page_.height - y_ < 2 * advance) pending_ = tPending::Full;
    } else {
      y_ += m_.font_height;
      if (y_ > page_.height) pending_ = tPending::Full;
    }
    x_ = 0;
    line_has_text_ = false;
  }

  void FormFeed() {
    FlushRun();
    if (LineBegun()) {
      BeginPendingPage();
      ++pages_.back().lines;
    }
    // Two form feeds in a row leave a blank page between them; a form feed
    // right after a page filled up does not add one.
    if (pending_ == tPending::FormFeed) BeginPendingPage();
    pending_ = tPending::FormFeed;
    x_ = 0;
    line_has_text_ = false;
  }

  void Tab() {
    FlushRun();
    const int stop = 8 * m_.average_char_width;
    if (stop > 0) x_ = (x_ / stop + 1) * stop;
  }

  void Character(char32_t c) {
    const int advance = m_.advance ? m_.advance(c) : m_.average_char_width;
    // Break after the last character that fits; a character wider than the
    // whole page still gets a line of its own.
    if (x_ > 0 && x_ + advance > page_.width) EndLine();
    if (!line_has_text_) {
      BeginPendingPage();
      // A line of text that would reach below the bottom goes to the next page.
      if (y_ > 0 && y_ + m_.text_height > page_.height) {
        pages_.emplace_back();
        y_ = 0;
      }
      line_has_text_ = true;
    }
    if (run_.empty()) run_x_ = x_;
    run_.push_back(c);
    x_ += advance;
  }

  const tPrintMetrics& m_;
  const tPrintPage page_;
  std::vector<tPrintedPage> pages_;
  tPending pending_ = tPending::None;
  int x_ = 0;
  int y_ = 0;
  bool line_has_text_ = false;
  int run_x_ = 0;
  std::u32string run_;
};

}  // namespace

std::vector<tPrintedPage> LayOutPrintText(std::u32string_view stream, const tPrintMetrics& metrics,
                                          tPrintPage page) {
  tLayout layout(metrics, page);
  for (char32_t c : stream)
    layout.Put(c);
  return layout.Finish();
}
