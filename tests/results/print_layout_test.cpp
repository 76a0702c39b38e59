// The printer's text stream, checked against hand-computed positions with
// round-number metrics: every character 10 px wide except 'W' (20 px), a text
// line 20 px high (advance 22), an empty line 15 px.
#include "results/print_layout.h"

#include <gtest/gtest.h>

namespace {

tPrintMetrics Metrics() {
  tPrintMetrics m;
  m.average_char_width = 10;
  m.text_height = 20;
  m.font_height = 15;
  m.advance = [](char32_t c) { return c == U'W' ? 20 : 10; };
  return m;
}

std::vector<tPrintedPage> LayOut(std::u32string_view text, int width = 100, int height = 1000) {
  return LayOutPrintText(text, Metrics(), tPrintPage{width, height});
}

using Runs = std::vector<tPrintRun>;

TEST(PrintLayoutTest, LineEndsAndEmptyLines) {
  // An empty text sent with its closing line end: one page, one empty line.
  auto pages = LayOut(U"\n");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_TRUE(pages[0].runs.empty());
  EXPECT_EQ(pages[0].lines, 1);

  // Text lines advance 22, empty lines 15; a carriage return does nothing,
  // so CR LF is one line end and a lone CR joins its neighbours.
  pages = LayOut(U"ab\r\ncd\n\nef\r\rgh\n");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].runs, (Runs{{0, 0, U"ab"}, {0, 22, U"cd"}, {0, 59, U"efgh"}}));
  EXPECT_EQ(pages[0].lines, 4);

  // Without a closing line end the last line still counts.
  pages = LayOut(U"x");
  EXPECT_EQ(pages[0].runs, (Runs{{0, 0, U"x"}}));
  EXPECT_EQ(pages[0].lines, 1);
}

TEST(PrintLayoutTest, RunWiderThanThePageContinuesOnTheNextLine) {
  // Ten characters fill the 100 px exactly; the eleventh goes on.
  auto pages = LayOut(U"abcdefghijklmnopqrstuvwxy\n");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].runs,
            (Runs{{0, 0, U"abcdefghij"}, {0, 22, U"klmnopqrst"}, {0, 44, U"uvwxy"}}));
  EXPECT_EQ(pages[0].lines, 3);

  // The break follows the real advances: a wide character that would cross
  // the edge starts the next line.
  pages = LayOut(U"aaaaaaaaaWb\n");
  EXPECT_EQ(pages[0].runs, (Runs{{0, 0, U"aaaaaaaaa"}, {0, 22, U"Wb"}}));

  // A character wider than the whole page still gets printed, one a line.
  pages = LayOut(U"WW\n", 15);
  EXPECT_EQ(pages[0].runs, (Runs{{0, 0, U"W"}, {0, 22, U"W"}}));
}

TEST(PrintLayoutTest, TabsStopAtMultiplesOfEightAverageWidths) {
  auto pages = LayOut(U"a\tb\n\tc\naaaaaaaa\td\naaaaaaaaa\te\n", 400);
  EXPECT_EQ(pages[0].runs, (Runs{{0, 0, U"a"},
                                 {80, 0, U"b"},
                                 {80, 22, U"c"},
                                 {0, 44, U"aaaaaaaa"},
                                 {160, 44, U"d"},
                                 {0, 66, U"aaaaaaaaa"},
                                 {160, 66, U"e"}}));
  // A tab past the right edge sends the next character to a new line.
  pages = LayOut(U"aaaaaaaaa\tb\n", 100);
  EXPECT_EQ(pages[0].runs, (Runs{{0, 0, U"aaaaaaaaa"}, {0, 22, U"b"}}));
}

TEST(PrintLayoutTest, FormFeedStartsANewPage) {
  auto pages = LayOut(U"a\fb\n");
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].runs, (Runs{{0, 0, U"a"}}));
  EXPECT_EQ(pages[1].runs, (Runs{{0, 0, U"b"}}));

  // Two form feeds leave a blank page; a closing line end after a form feed
  // puts one empty line on the new page.
  pages = LayOut(U"a\f\fb\f\n");
  ASSERT_EQ(pages.size(), 4u);
  EXPECT_EQ(pages[1].lines, 0);
  EXPECT_EQ(pages[2].runs, (Runs{{0, 0, U"b"}}));
  EXPECT_TRUE(pages[3].runs.empty());
  EXPECT_EQ(pages[3].lines, 1);
}

TEST(PrintLayoutTest, PageBreaksAtTheBottom) {
  // Page 100 high: after a text line at 44 only 34 px are left, less than
  // twice the advance of 22, so the fourth line starts page 2.
  auto pages = LayOut(U"1\n2\n3\n4\n", 100, 100);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].runs, (Runs{{0, 0, U"1"}, {0, 22, U"2"}, {0, 44, U"3"}}));
  EXPECT_EQ(pages[1].runs, (Runs{{0, 0, U"4"}}));

  // A full last page does not add an empty one after it.
  pages = LayOut(U"1\n2\n3\n", 100, 100);
  EXPECT_EQ(pages.size(), 1u);

  // Empty lines break only once past the bottom: six of 15 px end at 90,
  // the seventh at 105.
  pages = LayOut(U"\n\n\n\n\n\n\n\n", 100, 100);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].lines, 7);
  EXPECT_EQ(pages[1].lines, 1);

  // A text line that would reach below the bottom after empty lines goes to
  // the next page instead of being cut off (y 67 + 20 > 80).
  pages = LayOut(U"a\n\n\n\nb\n", 100, 80);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].runs, (Runs{{0, 0, U"a"}}));
  EXPECT_EQ(pages[1].runs, (Runs{{0, 0, U"b"}}));

  // A form feed right after a page filled up does not leave a blank page.
  pages = LayOut(U"1\n2\n3\n\f4\n", 100, 100);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[1].runs, (Runs{{0, 0, U"4"}}));
}

TEST(PrintLayoutTest, WrappedLinesBreakPagesLikeAnyOther) {
  // 40 characters on a 10-character page, three lines per page.
  std::u32string text(40, U'x');
  text += U'\n';
  auto pages = LayOut(text, 100, 100);
  ASSERT_EQ(pages.size(), 2u);
  ASSERT_EQ(pages[0].runs.size(), 3u);
  ASSERT_EQ(pages[1].runs.size(), 1u);
  EXPECT_EQ(pages[1].runs[0], (tPrintRun{0, 0, std::u32string(10, U'x')}));
}

}  // namespace
