// The CSV reader on a table of inputs, each read whole and also one byte at
// a time (so every record crosses the reader's buffer boundaries), and its
// limits on long and endless input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "cli/csv_reader.h"

namespace {

// What one record should read as: its line, and either its cells or the
// start of its problem.
struct tExpected {
  std::size_t line;
  std::vector<std::string> cells;
  std::string problem = {};
};

// Hands out its text `step` bytes at a time.
class tTrickleSource : public tByteSource {
 public:
  tTrickleSource(std::string text, std::size_t step) : text_(std::move(text)), step_(step) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    std::size_t count = std::min({size, step_, text_.size() - position_});
    std::memcpy(buffer, text_.data() + position_, count);
    position_ += count;
    return count;
  }

 private:
  std::string text_;
  std::size_t step_;
  std::size_t position_ = 0;
};

std::vector<tCsvRecord> ReadAll(tByteSource& source, std::size_t expect_cells,
                                std::size_t limit = kMaxCsvRecordBytes) {
  tCsvReader reader(source, 0, limit);
  std::vector<tCsvRecord> records;
  tCsvRecord record;
  while (reader.Next(record)) {
    records.push_back(record);
    if (records.size() == 1 && expect_cells != 0) reader.ExpectCells(expect_cells);
  }
  return records;
}

void Check(const std::string& name, const std::string& text, std::size_t expect_cells,
           const std::vector<tExpected>& expected) {
  for (std::size_t step : {std::size_t{1 << 20}, std::size_t{1}}) {
    SCOPED_TRACE(name + (step == 1 ? " (a byte at a time)" : ""));
    tTrickleSource source(text, step);
    std::vector<tCsvRecord> records = ReadAll(source, expect_cells);
    ASSERT_EQ(records.size(), expected.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
      SCOPED_TRACE("record " + std::to_string(i));
      EXPECT_EQ(records[i].line, expected[i].line);
      EXPECT_EQ(records[i].cells, expected[i].cells);
      if (expected[i].problem.empty()) {
        EXPECT_FALSE(records[i].Malformed()) << records[i].problem;
      } else {
        EXPECT_EQ(records[i].problem.rfind(expected[i].problem, 0), 0u) << records[i].problem;
      }
    }
  }
}

TEST(CsvReader, WellFormedInput) {
  Check("quotes, doubled quotes, delimiters and line breaks inside quotes",
        "id,note\r\n\"a, b\",\"say \"\"x\"\"\"\r\n\"\",\"two\nlines\r\nand\rthree\"\nd,\n", 0,
        {{1, {"id", "note"}},
         {2, {"a, b", "say \"x\""}},
         {3, {"", "two\nlines\r\nand\rthree"}},
         {7, {"d", ""}}});
  Check("byte order mark, CR LF, CR alone, no line end at the end", "\xEF\xBB\xBFx,y\r1,2\r\n3,4",
        0, {{1, {"x", "y"}}, {2, {"1", "2"}}, {3, {"3", "4"}}});
  Check("empty and blank lines are skipped but counted", "x,y\n\n \t \r\n\r1,2\n\n", 0,
        {{1, {"x", "y"}}, {5, {"1", "2"}}});
  Check("unquoted cells lose their blanks, quoted cells keep them", "a,b,c\n  -5 ,\" -5 \" , \t\n",
        0, {{1, {"a", "b", "c"}}, {2, {"-5", " -5 ", ""}}});
  Check("semicolons when the first row has no comma outside quotes", "\"a,b\";c\n0,6;\"x;y\"\n", 0,
        {{1, {"a,b", "c"}}, {2, {"0,6", "x;y"}}});
  Check("commas when the first row has both", "a;b,c\n1;2,3\n", 0,
        {{1, {"a;b", "c"}}, {2, {"1;2", "3"}}});
  Check("nothing at all", "", 0, {});
  Check("only a byte order mark and blank lines", "\xEF\xBB\xBF\n  \n", 0, {});
}

TEST(CsvReader, BadRecordsNeverHideTheRecordsAfterThem) {
  Check("a stray quote in an unquoted cell", "a,b\nx\"y,1\nok,2\n", 2,
        {{1, {"a", "b"}}, {2, {}, "a quote inside the unquoted cell 1"}, {3, {"ok", "2"}}});
  Check("text after a closing quote", "a,b\n\"a\"x,1\nok,2\n", 2,
        {{1, {"a", "b"}}, {2, {}, "text follows the closing quote of cell 1"}, {3, {"ok", "2"}}});
  Check("a quote never closed", "a,b\n\"open,1\nok,2\nok,3\n", 2,
        {{1, {"a", "b"}},
         {2, {}, "the quote that opens cell 1 is never closed"},
         {3, {"ok", "2"}},
         {4, {"ok", "3"}}});
  Check("an open quote closed by a later row's quote", "a,b\n\"open,1\nok,2\n\"q\",3\n", 2,
        {{1, {"a", "b"}},
         {2, {}, "text follows the closing quote of cell 1"},
         {3, {"ok", "2"}},
         {4, {"q", "3"}}});
  // The swallowed text would form one well-formed record of the right
  // shape were the cell count not checked: it is, so line 3 is read again.
  Check("an open quote whose record ends well", "a,b,c\n\"x,1\ny,\",2\nz,3,4\n", 3,
        {{1, {"a", "b", "c"}},
         {2, {}, "the row has 2 cells, the header 3"},
         {3, {}, "the quote that opens cell 2 is never closed"},
         {4, {"z", "3", "4"}}});
  Check("short and long rows", "a,b,c\n1,2\n1,2,3,4\n1,2,3\n", 3,
        {{1, {"a", "b", "c"}},
         {2, {}, "the row has 2 cells, the header 3"},
         {3, {}, "the row has 4 cells, the header 3"},
         {4, {"1", "2", "3"}}});
  Check("a malformed record in CR LF lines", "a,b\r\nx\"y,1\r\nok,2\r\n", 2,
        {{1, {"a", "b"}}, {2, {}, "a quote"}, {3, {"ok", "2"}}});
}

TEST(CsvReader, RecordsLongerThanTheLimit) {
  const std::size_t limit = 16;
  auto read = [&](const std::string& text, std::size_t step) {
    tTrickleSource source(text, step);
    return ReadAll(source, 0, limit);
  };
  for (std::size_t step : {std::size_t{1000}, std::size_t{1}}) {
    // Exactly the limit passes; one byte more is refused, and the next line is read.
    std::vector<tCsvRecord> records =
        read(std::string(16, 'x') + "\n" + std::string(17, 'y') + "\nok\n", step);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].cells, (std::vector<std::string>{std::string(16, 'x')}));
    EXPECT_EQ(records[1].problem, "the row is longer than 16 bytes");
    EXPECT_EQ(records[2].cells, (std::vector<std::string>{"ok"}));
    EXPECT_EQ(records[2].line, 3u);

    // An open quote that runs past the limit says so; reading goes on at the next line.
    records = read("\"abc\n1\n2\n3\n4\n5\n6\n7\n8\n9\n", step);
    ASSERT_EQ(records.size(), 10u);
    EXPECT_EQ(records[0].problem,
              "the row is longer than 16 bytes (is the quote that opens cell 1 closed?)");
    EXPECT_EQ(records[1].cells, (std::vector<std::string>{"1"}));
    EXPECT_EQ(records[9].line, 10u);
  }
}

// A source that never ends: the same byte for ever.
class tEndlessSource : public tByteSource {
 public:
  explicit tEndlessSource(char byte) : byte_(byte) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    std::memset(buffer, byte_, size);
    read_ += size;
    return size;
  }
  std::size_t read_ = 0;

 private:
  char byte_;
};

TEST(CsvReader, EndlessInputIsRefusedAtTheLimit) {
  for (char byte : {'\0', ',', '"'}) {
    tEndlessSource source(byte);
    tCsvReader reader(source);
    tCsvRecord record;
    ASSERT_TRUE(reader.Next(record));
    EXPECT_TRUE(record.Malformed());
    EXPECT_EQ(record.problem.rfind("the row is longer than 65536 bytes", 0), 0u);
    // Nothing much beyond the limit was read to find that out.
    EXPECT_LE(source.read_, 3 * kMaxCsvRecordBytes);
  }
}

}  // namespace
