// Reading CSV one record at a time (RFC 4180, with a few allowances for
// hand-made files), in bounded memory, so that no input, however large or
// malformed, can exhaust memory or make a bad record hide the ones after it.
//
// The rules:
//   - Cells are separated by the delimiter (',', ';' or a tab); records end with
//     LF, CR LF or a CR alone.  A UTF-8 byte order mark at the very start is
//     skipped.  Lines that are empty or hold only blanks are skipped.
//   - A cell that begins with a double quote (after any blanks) is quoted:
//     it runs to the next quote that is not doubled, may hold delimiters and
//     line breaks, and "" inside it stands for one quote.  Its content is
//     taken exactly as it stands between the quotes; blanks outside the
//     quotes are ignored.
//   - Any other cell is unquoted; the blanks (spaces, and tabs unless the
//     tab is the delimiter) at its start and end are removed.
//   - A record is malformed when an unquoted cell holds a quote, when
//     anything but blanks follows a closing quote before the next delimiter
//     or line end, when a quoted cell is never closed, when the record is
//     longer than the limit, or (once an expected count is set) when it has
//     another number of cells.  A malformed record comes back with its
//     problem and no cells, and reading goes on at the line after the one
//     where the record began, so a bad record never swallows the lines that
//     follow it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Where the bytes come from.  Read fills up to `size` bytes of `buffer` and
// returns how many it filled; 0 means the input has ended (or failed: the
// source keeps its own account of why).
class tByteSource {
 public:
  virtual ~tByteSource() = default;
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  // Empty while all is well, else why the input could not be read.
  virtual std::string Failure() const { return std::string(); }
};

// A source over a text in memory.
class tStringSource : public tByteSource {
 public:
  explicit tStringSource(std::string text) : text_(std::move(text)) {}
  std::size_t Read(char* buffer, std::size_t size) override;

 private:
  std::string text_;
  std::size_t position_ = 0;
};

struct tCsvRecord {
  std::vector<std::string> cells;  // empty when the record is malformed
  std::size_t line = 0;            // the line (from 1) where the record begins
  std::string problem;             // empty when the record is well formed
  // Of a malformed record, the cells that stand where they belong: those
  // read before a quote went wrong; of a record with another number of
  // cells, only the first (a delimiter too many or too few may have moved
  // every later one).
  std::vector<std::string> cells_before_fault;
  bool Malformed() const { return !problem.empty(); }
};

// The longest record read, in bytes, line breaks inside quoted cells
// included, the record's own line end excluded.
inline constexpr std::size_t kMaxCsvRecordBytes = 64 * 1024;

class tCsvReader {
 public:
  // `delimiter` 0: chosen from the first record: outside quotes, a tab
  // with neither comma nor semicolon gives '\t', a semicolon with no comma
  // ';', else ','.
  explicit tCsvReader(tByteSource& source, char delimiter = 0,
                      std::size_t max_record_bytes = kMaxCsvRecordBytes);

  // The next record, well formed or not; false when the input has ended.
  bool Next(tCsvRecord& record);

  // From now on, a record with another number of cells is malformed.
  void ExpectCells(std::size_t count) { expected_cells_ = count; }

  // The delimiter in use (known once the first record has been read).
  char Delimiter() const { return delimiter_; }

 private:
  enum class tOutcome { Record, Blank, Malformed };
  enum class tCellEnd { Delimiter, RecordEnds, Malformed };

  // One record's parse under way.
  struct tRecordParse {
    std::size_t start;  // where the record begins in buffer_
    std::size_t i;      // the next byte
    char delimiter;
    const std::vector<std::string>& cells;  // the cells read so far
    std::size_t lines = 0;  // line ends passed, inside quoted cells or ending the record
    std::string problem;    // why the record is malformed
    std::string CellNumber() const { return std::to_string(cells.size() + 1); }
  };

  bool IsBlank(char c) const { return (c == ' ' || c == '\t') && c != delimiter_; }
  bool Available(std::size_t index);  // true when buffer_[index] exists, reading more if needed
  void ChooseDelimiter();
  tOutcome ParseRecord(tCsvRecord& record);
  // The cell at parse.i (its opening quote, for a quoted one) into `cell`.
  tCellEnd ReadQuotedCell(tRecordParse& parse, std::string& cell);
  tCellEnd ReadUnquotedCell(tRecordParse& parse, std::string& cell);
  // Moves past spaces and tabs; false, with the problem set, when the
  // record grows longer than the limit.
  bool SkipBlanks(tRecordParse& parse);
  // True, with the problem set, when the record has reached the limit.
  bool TooLong(tRecordParse& parse, bool in_quotes);
  void SkipLineEnd(std::size_t& index, std::size_t& lines);
  void ResumeAfterLine(std::size_t start);

  tByteSource& source_;
  char delimiter_;
  std::size_t max_record_bytes_;
  std::size_t expected_cells_ = 0;  // 0: any number
  std::string buffer_;              // unread bytes from `position_` on
  std::size_t position_ = 0;
  std::size_t line_ = 1;  // the line at `position_`
  bool ended_ = false;    // the source has nothing more
  bool started_ = false;  // the byte order mark has been looked for
  // After a malformed record: where it began, and the line after its first.
  std::optional<std::size_t> resume_from_;
  std::size_t resume_line_ = 0;
};
