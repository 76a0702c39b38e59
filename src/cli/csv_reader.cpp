#include "cli/csv_reader.h"

#include <algorithm>
#include <cstring>

namespace {

// How much is asked of the source at a time.
constexpr std::size_t kChunk = 64 * 1024;

bool IsLineEnd(char c) {
  return c == '\n' || c == '\r';
}

}  // namespace

std::size_t tStringSource::Read(char* buffer, std::size_t size) {
  std::size_t count = std::min(size, text_.size() - position_);
  std::memcpy(buffer, text_.data() + position_, count);
  position_ += count;
  return count;
}

tCsvReader::tCsvReader(tByteSource& source, char delimiter, std::size_t max_record_bytes)
    : source_(source), delimiter_(delimiter), max_record_bytes_(max_record_bytes) {}

bool tCsvReader::Available(std::size_t index) {
  while (index >= buffer_.size() && !ended_) {
    std::size_t old_size = buffer_.size();
    buffer_.resize(old_size + kChunk);
    std::size_t got = source_.Read(buffer_.data() + old_size, kChunk);
    buffer_.resize(old_size + got);
    if (got == 0) ended_ = true;
  }
  return index < buffer_.size();
}

void tCsvReader::ChooseDelimiter() {
  // Looks ahead through the first record without taking it: a quote turns
  // the "inside quotes" state on and off (a doubled quote twice, so it
  // changes nothing).  A blank line decides nothing.
  bool quoted = false;
  bool comma = false;
  bool semicolon = false;
  bool tab = false;
  bool content = false;
  for (std::size_t i = position_; i - position_ <= max_record_bytes_ && Available(i); ++i) {
    char c = buffer_[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && IsLineEnd(c)) {
      break;
    } else if (!quoted && c == ',') {
      comma = true;
    } else if (!quoted && c == ';') {
      semicolon = true;
    } else if (!quoted && c == '\t') {
      tab = true;
    }
    if (c != ' ' && c != '\t') content = true;
  }
  if (content) delimiter_ = comma ? ',' : semicolon ? ';' : tab ? '\t' : ',';
}

void tCsvReader::SkipLineEnd(std::size_t& index, std::size_t& lines) {
  if (buffer_[index] == '\r' && Available(index + 1) && buffer_[index + 1] == '\n') ++index;
  ++index;
  ++lines;
}

bool tCsvReader::TooLong(tRecordParse& parse, bool in_quotes) {
  if (parse.i - parse.start < max_record_bytes_) return false;
  parse.problem = "the row is longer than " + std::to_string(max_record_bytes_) + " bytes";
  if (in_quotes)
    parse.problem += " (is the quote that opens cell " + parse.CellNumber() + " closed?)";
  return true;
}

bool tCsvReader::SkipBlanks(tRecordParse& parse) {
  while (Available(parse.i) && IsBlank(buffer_[parse.i])) {
    if (TooLong(parse, false)) return false;
    ++parse.i;
  }
  return true;
}

tCsvReader::tCellEnd tCsvReader::ReadQuotedCell(tRecordParse& parse, std::string& cell) {
  ++parse.i;  // the opening quote
  while (true) {
    if (!Available(parse.i)) {
      parse.problem = "the quote that opens cell " + parse.CellNumber() + " is never closed";
      return tCellEnd::Malformed;
    }
    if (TooLong(parse, true)) return tCellEnd::Malformed;
    char c = buffer_[parse.i++];
    if (c == '"') {
      if (!Available(parse.i) || buffer_[parse.i] != '"') break;
      ++parse.i;  // a doubled quote stands for one
    }
    cell.push_back(c);
    if (c == '\r' && Available(parse.i) && buffer_[parse.i] == '\n') {
      cell.push_back('\n');
      ++parse.i;
    }
    if (IsLineEnd(c)) ++parse.lines;
  }
  if (!SkipBlanks(parse)) return tCellEnd::Malformed;
  if (!Available(parse.i) || IsLineEnd(buffer_[parse.i])) return tCellEnd::RecordEnds;
  if (buffer_[parse.i] == parse.delimiter) {
    ++parse.i;
    return tCellEnd::Delimiter;
  }
  parse.problem = "text follows the closing quote of cell " + parse.CellNumber();
  return tCellEnd::Malformed;
}

tCsvReader::tCellEnd tCsvReader::ReadUnquotedCell(tRecordParse& parse, std::string& cell) {
  tCellEnd end = tCellEnd::RecordEnds;
  while (Available(parse.i) && !IsLineEnd(buffer_[parse.i])) {
    if (TooLong(parse, false)) return tCellEnd::Malformed;
    char c = buffer_[parse.i];
    if (c == parse.delimiter) {
      ++parse.i;
      end = tCellEnd::Delimiter;
      break;
    }
    if (c == '"') {
      parse.problem = "a quote inside the unquoted cell " + parse.CellNumber() +
                      " (a cell with quotes must be quoted as a whole, its quotes doubled)";
      return tCellEnd::Malformed;
    }
    cell.push_back(c);
    ++parse.i;
  }
  while (!cell.empty() && IsBlank(cell.back()))
    cell.pop_back();
  return end;
}

tCsvReader::tOutcome tCsvReader::ParseRecord(tCsvRecord& record) {
  tRecordParse parse{position_, position_, delimiter_ != 0 ? delimiter_ : ',', record.cells, 0, {}};
  auto fail = [&](std::string problem) {
    record.problem = std::move(problem);
    record.cells_before_fault = std::move(record.cells);
    record.cells.clear();
    return tOutcome::Malformed;
  };

  bool last_quoted = false;
  for (tCellEnd end = tCellEnd::Delimiter; end == tCellEnd::Delimiter;) {
    if (!SkipBlanks(parse)) return fail(parse.problem);
    last_quoted = Available(parse.i) && buffer_[parse.i] == '"';
    std::string cell;
    end = last_quoted ? ReadQuotedCell(parse, cell) : ReadUnquotedCell(parse, cell);
    if (end == tCellEnd::Malformed) return fail(parse.problem);
    record.cells.push_back(std::move(cell));
  }

  if (Available(parse.i)) SkipLineEnd(parse.i, parse.lines);
  position_ = parse.i;
  line_ += parse.lines;
  if (record.cells.size() == 1 && !last_quoted && record.cells[0].empty()) {
    return tOutcome::Blank;
  }
  if (expected_cells_ != 0 && record.cells.size() != expected_cells_) {
    std::size_t count = record.cells.size();
    // Position and line are set back by the caller, as for every malformed record.
    record.cells.resize(1);
    return fail("the row has " + std::to_string(count) + " cells, the header " +
                std::to_string(expected_cells_));
  }
  return tOutcome::Record;
}

void tCsvReader::ResumeAfterLine(std::size_t start) {
  // The first line end after `start`, whatever quotes stand before it.  A
  // line too long to keep is passed over a chunk at a time.
  std::size_t i = start;
  while (Available(i)) {
    if (IsLineEnd(buffer_[i])) {
      std::size_t ignored = 0;
      SkipLineEnd(i, ignored);
      position_ = i;
      return;
    }
    ++i;
    if (i == buffer_.size() && i > 2 * kChunk) {
      buffer_.clear();
      i = 0;
    }
  }
  position_ = i;
}

bool tCsvReader::Next(tCsvRecord& record) {
  if (!started_) {
    started_ = true;
    if (Available(2) && buffer_.compare(0, 3, "\xEF\xBB\xBF") == 0) position_ = 3;
  }
  if (resume_from_) {
    ResumeAfterLine(*resume_from_);
    line_ = resume_line_;
    resume_from_.reset();
  }
  while (true) {
    if (position_ >= kChunk) {
      buffer_.erase(0, position_);
      position_ = 0;
    }
    if (!Available(position_)) return false;
    if (delimiter_ == 0) ChooseDelimiter();
    record = tCsvRecord();
    record.line = line_;
    const std::size_t start = position_;
    tOutcome outcome = ParseRecord(record);
    if (outcome == tOutcome::Blank) continue;
    if (outcome == tOutcome::Malformed) {
      // Passed over at the next call, so that the caller hears of the bad
      // record before a long line is skipped.
      resume_from_ = start;
      resume_line_ = record.line + 1;
    }
    return true;
  }
}
