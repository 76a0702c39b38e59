// How a batch file writes its numbers, and how the results are written
// back: the decimal separator of the value cells and the form of the
// output.  A spreadsheet writes a semicolon-separated file with decimal
// commas (German, French) and a comma-separated one with decimal points
// (English); a tab-separated file may hold either, and shows which in its
// correlation cells, which always have a decimal separator and never a
// thousands separator.  A value cell with the other mark (a thousands
// separator, as likely as not) is refused, never guessed.
#pragma once

#include <optional>
#include <string>

// The decimal separator of a batch file's value cells.
class tCellNumbers {
 public:
  // `delimiter` is the file's (',', ';' or '\t'); `given` the user's choice,
  // if any, which holds for every file.
  tCellNumbers(char delimiter, std::optional<char> given);

  // Looks at one row's correlation cell: in a tab-separated file without a
  // given separator, the first one that holds a point or a comma decides.
  void SeeCorrelation(const std::string& cell);

  // The value `cell` (of the column `column`, on line `line`) as the number
  // reader takes it, the file's decimal separator made a point; or, in
  // `problem`, why it is refused and what to do.
  bool Read(const std::string& cell, const std::string& column, std::size_t line,
            std::string& typed, std::string& problem) const;

  // The separator, once known.
  std::optional<char> Decimal() const { return decimal_; }

 private:
  char delimiter_;
  bool given_;
  std::optional<char> decimal_;
};

// The form of the output CSV: its delimiter and its numbers' decimal
// separator.
struct tOutputForm {
  char delimiter = ',';
  char decimal = '.';
};

// --output-separator's names: ",", ";" and "tab".
bool ParseOutputSeparator(const std::string& name, char& delimiter);

// The output's form: the delimiter given, else the input's; decimal commas
// with semicolons, points with commas, and with tabs the input's separator.
tOutputForm OutputForm(std::optional<char> given_delimiter, char input_delimiter,
                       std::optional<char> input_decimal);
