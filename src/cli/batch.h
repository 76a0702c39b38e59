// quorrel-report --batch: one analysis per row of a CSV file, results as CSV.
// The file is read a record at a time and every result row is written as
// soon as it is known, so a batch of any length runs in a few megabytes.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/csv_reader.h"
#include "cli/report_cli.h"

// A batch file (or standard input for "-") opened for reading.
class tBatchFile : public tByteSource {
 public:
  // `interrupted`: a read that Ctrl-C breaks off ends the input.
  tBatchFile(const std::string& name, const std::atomic<bool>* interrupted);
  ~tBatchFile() override;
  tBatchFile(const tBatchFile&) = delete;
  tBatchFile& operator=(const tBatchFile&) = delete;

  std::size_t Read(char* buffer, std::size_t size) override;
  std::string Failure() const override { return failure_; }

 private:
  std::string name_;
  int fd_ = -1;
  bool own_fd_ = false;
  const std::atomic<bool>* interrupted_;
  std::string failure_;
};

// A text cell of the output: quoted when it holds a delimiter, a quote or a
// line break; and when it begins with "=", "+", "-", "@", a tab or a
// carriage return, which a spreadsheet would take for the start of a
// formula, written as "'..." inside quotes so that it shows as text.
std::string CsvField(const std::string& text);

// The rows a run handles, numbered from 1 after the header as the output
// numbers them (all of them unless --shard says otherwise), and how many
// that is when known (for the progress line).
struct tBatchRows {
  std::size_t first = 1;
  std::size_t last = SIZE_MAX;
  std::optional<std::size_t> total;
  bool Includes(std::size_t row) const { return row >= first && row <= last; }
};

// The rows of the batch in `source` (after its header; bad rows count, as
// each gets an output row), read as RunBatch reads them: decoded from
// `encoding`, record by record.
std::size_t CountBatchRows(tByteSource& source, tEncoding encoding);

// Runs every row of the batch and writes one result row per row read to
// `out`.  Problems with the file as a whole go to `err`.  Returns the exit
// status: 130 when Ctrl-C ended the batch, else 1 when an engine error, a
// time limit or a failed read ended a row or the batch, else 2 when a row
// was refused or malformed (or the header is unusable), else 0.
// Only the rows in `rows` run and are written.
int RunBatch(tByteSource& source, const tCliOptions& options, char decimal_separator,
             std::ostream& out, std::ostream& err, const tCliRuntime& runtime = {},
             const tBatchRows& rows = {});

// The same over a text in memory.
int RunBatch(const std::string& csv_text, const tCliOptions& options, char decimal_separator,
             std::ostream& out, std::ostream& err, const tCliRuntime& runtime = {});
