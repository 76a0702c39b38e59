// Lays printed text out the way the printer's text stream does: a pure
// function of the font's metrics and the printable page, so the layout can be
// checked without a printer and then painted onto any paged device.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The printer font's measures, in printer pixels.
struct tPrintMetrics {
  int average_char_width = 0;            // tabs stop at multiples of eight of these
  int text_height = 0;                   // height of a line of text (ascent + descent)
  int font_height = 0;                   // the font's character height: advance of an empty line
  std::function<int(char32_t)> advance;  // horizontal advance of one character
};

// The printable area, in printer pixels; its top left corner is (0, 0).
struct tPrintPage {
  int width = 0;
  int height = 0;
};

// A piece of text drawn at one place: (x, y) is the top left of its line.
struct tPrintRun {
  int x = 0;
  int y = 0;
  std::u32string text;
  bool operator==(const tPrintRun&) const = default;
};

// One printed page: the runs on it, in the order they were laid out, and the
// number of lines begun on it (an empty line counts; a page that only exists
// because the one before it was full counts none).
struct tPrintedPage {
  std::vector<tPrintRun> runs;
  int lines = 0;
};

// The pages that `stream` fills.  Line feed starts a new line, a carriage
// return alone does nothing, form feed starts a new page, tab advances to the
// next multiple of eight average character widths; a run that would cross the
// right edge is broken after the last character that fits.  A line that holds
// text advances by text height + 2, an empty line by the font height.  After a
// line of text a new page begins when less than twice that advance is left
// above the bottom, after an empty line only once the bottom is passed; and a
// line of text is never begun where it would not fit above the bottom, so no
// printed line is cut off.  There is always at least one page; a last page
// that nothing was put on is not produced.
std::vector<tPrintedPage> LayOutPrintText(std::u32string_view stream, const tPrintMetrics& metrics,
                                          tPrintPage page);
