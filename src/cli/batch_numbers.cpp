#include "cli/batch_numbers.h"

namespace {

const char* MarkName(char mark) {
  return mark == ',' ? "comma" : "point";
}

std::string FileKind(char delimiter) {
  return delimiter == ';'   ? "semicolon-separated"
         : delimiter == ',' ? "comma-separated"
                            : "tab-separated";
}

}  // namespace

tCellNumbers::tCellNumbers(char delimiter, std::optional<char> given)
    : delimiter_(delimiter), given_(given.has_value()) {
  if (given) {
    decimal_ = *given;
  } else if (delimiter == ';') {
    decimal_ = ',';
  } else if (delimiter == ',') {
    decimal_ = '.';
  }
}

void tCellNumbers::SeeCorrelation(const std::string& cell) {
  if (decimal_) return;
  const std::size_t mark = cell.find_first_of(".,");
  if (mark != std::string::npos) decimal_ = cell[mark];
}

bool tCellNumbers::Read(const std::string& cell, const std::string& column, std::size_t line,
                        std::string& typed, std::string& problem) const {
  const std::string where =
      "the " + column + " cell of line " + std::to_string(line) + " (\"" + cell + "\")";
  const std::size_t mark = cell.find_first_of(".,");
  if (mark != std::string::npos && !decimal_) {
    problem = where + " has a decimal " + MarkName(cell[mark]) +
              ", but this tab-separated file has shown no decimal separator in an r cell yet; "
              "give --batch-decimal-separator . or ,";
    return false;
  }
  if (mark != std::string::npos) {
    const char other = *decimal_ == ',' ? '.' : ',';
    if (cell.find(other) != std::string::npos) {
      problem = where + " holds a " + MarkName(other) + ", but the numbers of this " +
                (given_ ? std::string("file") : FileKind(delimiter_) + " file") +
                " take a decimal " + MarkName(*decimal_) +
                ", so it may separate thousands; write the number without thousands "
                "separators, with a decimal " +
                MarkName(*decimal_) + ", or give --batch-decimal-separator " + other +
                " if the file's " + MarkName(other) + "s are decimal " + MarkName(other) + "s";
      return false;
    }
  }
  typed = cell;
  for (char& c : typed)
    if (c == ',') c = '.';
  return true;
}

bool ParseOutputSeparator(const std::string& name, char& delimiter) {
  if (name == "," || name == ";") {
    delimiter = name[0];
  } else if (name == "tab" || name == "\t") {
    delimiter = '\t';
  } else {
    return false;
  }
  return true;
}

tOutputForm OutputForm(std::optional<char> given_delimiter, char input_delimiter,
                       std::optional<char> input_decimal) {
  tOutputForm form;
  form.delimiter = given_delimiter.value_or(input_delimiter == 0 ? ',' : input_delimiter);
  if (form.delimiter == ';') {
    form.decimal = ',';
  } else if (form.delimiter == '\t') {
    form.decimal = input_decimal.value_or('.');
  }
  return form;
}
