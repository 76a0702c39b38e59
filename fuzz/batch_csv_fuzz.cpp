// Fuzz target: reading a batch file's CSV text into records.
// - Any bytes, with either delimiter: the records read must survive being
//   written out again (every field quoted) and read back, and a row of
//   result fields written the way the batch output writes them must read
//   back as those fields.
// - The same bytes as records to write (byte 0 ends a field, byte 1 a
//   record; the first byte chooses the delimiter, the line ends and the
//   quoting): written as a spreadsheet would write them, they must read
//   back exactly.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/csv_reader.h"
#include "fuzz/fuzz_check.h"

namespace {

using tRecords = std::vector<std::vector<std::string>>;

// The reader under test: the well-formed records of a text (a malformed one
// is reported by the reader and takes no record's place).  Everything below
// works on records only, so another reader is tried by changing this
// function alone.
tRecords ReadRecords(const std::string& text, char delimiter) {
  tStringSource source(text);
  tCsvReader reader(source, delimiter);
  tRecords records;
  tCsvRecord record;
  while (reader.Next(record)) {
    FUZZ_CHECK(record.Malformed() == record.cells.empty());
    if (!record.Malformed()) records.push_back(record.cells);
  }
  return records;
}

std::string Quoted(const std::string& field) {
  std::string text = "\"";
  for (char c : field) {
    if (c == '"') text += '"';
    text += c;
  }
  return text + "\"";
}

std::string WriteAllQuoted(const tRecords& records, char delimiter) {
  std::string text;
  for (const auto& record : records) {
    for (std::size_t i = 0; i < record.size(); ++i) {
      if (i > 0) text += delimiter;
      text += Quoted(record[i]);
    }
    text += "\r\n";
  }
  return text;
}

// What the output's cells read back as: a formula-like cell with the
// apostrophe that makes it text, a cell the writer leaves unquoted without
// the blanks around it, every other cell as it is.
std::vector<std::string> AsWrittenAndRead(const std::vector<std::string>& record) {
  std::vector<std::string> cells;
  for (const std::string& cell : record) {
    const bool formula_like =
        !cell.empty() && std::string("=+-@\t\r").find(cell[0]) != std::string::npos;
    if (formula_like) {
      cells.push_back("'" + cell);
    } else if (cell.find_first_of(",;\"\r\n") != std::string::npos) {
      cells.push_back(cell);
    } else {
      const std::size_t first = cell.find_first_not_of(" \t");
      cells.push_back(first == std::string::npos
                          ? std::string()
                          : cell.substr(first, cell.find_last_not_of(" \t") - first + 1));
    }
  }
  return cells;
}

void CheckDelimiter(const std::string& text, char delimiter) {
  const tRecords records = ReadRecords(text, delimiter);
  for (const auto& record : records)
    FUZZ_CHECK(!record.empty());
  FUZZ_CHECK(ReadRecords(WriteAllQuoted(records, delimiter), delimiter) == records);

  // Each record as a row of the batch output (after its header line), with
  // quotes only where the output writer puts them.
  for (const auto& record : records) {
    if (record.size() < 2) continue;  // output rows always have many fields
    std::string row = "header\n";
    for (std::size_t i = 0; i < record.size(); ++i) {
      if (i > 0) row += ',';
      row += CsvField(record[i]);
    }
    row += '\n';
    const tRecords back = ReadRecords(row, ',');
    FUZZ_CHECK(back.size() == 2 && back[1] == AsWrittenAndRead(record));
  }
}

// True when a field must be quoted to read back as itself: delimiters,
// quotes and line ends; blanks at its start or end, which an unquoted cell
// loses; an empty or blank field alone on its line, which would be a blank
// line; and a byte order mark at the very start.
bool NeedsQuotes(const std::string& field, char delimiter, bool alone, bool first) {
  if (field.find_first_of(std::string("\"\r\n") + delimiter) != std::string::npos) return true;
  if (!field.empty() && (field.front() == ' ' || field.front() == '\t' || field.back() == ' ' ||
                         field.back() == '\t'))
    return true;
  if (alone && field.find_first_not_of(" \t") == std::string::npos) return true;
  return first && field.rfind("\xEF\xBB\xBF", 0) == 0;
}

void CheckWrittenRecords(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const std::uint8_t mode = data[0];
  const char delimiter = (mode & 1) != 0 ? ';' : ',';
  const char* const line_ends[] = {"\n", "\r\n", "\r", "\r\n"};
  const std::string line_end = line_ends[(mode >> 1) & 3];
  const bool quote_all = (mode & 8) != 0;
  const bool end_last_line = (mode & 16) != 0;

  tRecords records(1, std::vector<std::string>(1));
  for (std::size_t i = 1; i < size; ++i) {
    if (data[i] == 0) {
      records.back().emplace_back();
    } else if (data[i] == 1) {
      records.emplace_back(1);
    } else {
      records.back().back().push_back(static_cast<char>(data[i]));
    }
  }
  std::string text;
  for (std::size_t r = 0; r < records.size(); ++r) {
    const auto& record = records[r];
    for (std::size_t f = 0; f < record.size(); ++f) {
      if (f > 0) text += delimiter;
      const bool quote =
          quote_all || NeedsQuotes(record[f], delimiter, record.size() == 1, r == 0 && f == 0);
      text += quote ? Quoted(record[f]) : record[f];
    }
    if (r + 1 < records.size() || end_last_line) text += line_end;
  }
  FUZZ_CHECK(ReadRecords(text, delimiter) == records);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckDelimiter(text, ',');
  CheckDelimiter(text, ';');
  CheckWrittenRecords(data, size);
  return 0;
}
