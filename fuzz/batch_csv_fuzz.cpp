// Fuzz target: reading a batch file's CSV text into records, on any bytes,
// with either delimiter.  The records read must survive being written out
// again (every field quoted) and read back, and a row of result fields
// written the way the batch output writes them must read back as those
// fields.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "fuzz/fuzz_check.h"

namespace {

using tRecords = std::vector<std::vector<std::string>>;

// The reader under test.  Everything below works on records only, so another
// reader is tried by changing this function alone.
tRecords ReadRecords(const std::string& text, char delimiter) {
  return ParseCsv(text, delimiter);
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
    FUZZ_CHECK(back.size() == 2 && back[1] == record);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckDelimiter(text, ',');
  CheckDelimiter(text, ';');
  return 0;
}
