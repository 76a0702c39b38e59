#include "analysis/decimal_separator.h"

#include <clocale>
#include <string>

char UserDecimalSeparator() {
  // Only the numeric category is taken from the environment, and only to
  // learn its separator.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous != nullptr ? previous : "C";
  char separator = '.';
  if (std::setlocale(LC_NUMERIC, "") != nullptr) {
    const char* point = std::localeconv()->decimal_point;
    if (point != nullptr && (point[0] == ',' || point[0] == '.') && point[1] == '\0') {
      separator = point[0];
    }
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
  return separator;
}
