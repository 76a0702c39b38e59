// quorrel-report --batch: one analysis per row of a CSV file, results as CSV.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/report_cli.h"

// One parsed CSV record.
using tCsvRow = std::vector<std::string>;

// Splits CSV text into records: fields separated by `delimiter`, fields in
// double quotes may hold delimiters, quotes (doubled) and line ends; records
// end with LF, CR LF or a CR alone.  Blank lines are skipped.
std::vector<tCsvRow> ParseCsv(const std::string& text, char delimiter);

// A field for a CSV file, quoted when it must be.
std::string CsvField(const std::string& text);

// Runs every row of `csv_text` and writes one result row per case to `out`.
// Problems with the file as a whole go to `err`.  Returns the exit status:
// 0 when every row has results, 1 when an engine error ended a row, else 2
// when a row was refused (or the header lacks a column).
int RunBatch(const std::string& csv_text, const tCliOptions& options, char decimal_separator,
             std::ostream& out, std::ostream& err);
