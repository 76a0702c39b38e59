#include "analysis/text_format.h"

#ifndef _WIN32
#include <locale.h>
#endif

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace {

// std::to_chars writes the exact binary value rounded once to the digits
// asked for, the same text as printf's %Lf, %Le, %Lg and %lld in the "C"
// locale, and never looks at any locale.
std::string ToChars(tReal value, std::chars_format format, int precision) {
  return real_math::ToChars(value, format, precision);
}

// Right-aligns `text` in at least `width` characters.
std::string PadLeft(std::string text, int width) {
  if (width > 0 && text.size() < static_cast<std::size_t>(width)) {
    text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
  }
  return text;
}

#ifndef _WIN32
locale_t CLocale() {
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return c_locale;
}
#else
// Windows' C library has no locale objects of this kind.  MinGW-w64's own
// strtold and strtod (correctly rounded, to the 64-bit significand for
// tReal) read the C locale's ".", and the program never leaves the C
// locale's numeric category set to any other (UserDecimalSeparator puts it
// back).
tReal strtold_l(const char* text, char** stop, int) {
  return std::strtold(text, stop);
}
double strtod_l(const char* text, char** stop, int) {
  return std::strtod(text, stop);
}
int CLocale() {
  return 0;
}
#endif

}  // namespace

std::string FormatFixed(tReal value, int width, int precision, char decimal_separator) {
  std::string text = PadLeft(ToChars(value, std::chars_format::fixed, precision), width);
  if (decimal_separator != '.') {
    for (char& c : text) {
      if (c == '.') c = decimal_separator;
    }
  }
  return text;
}

std::string FormatLine(const char* format, std::initializer_list<tFormatArg> args,
                       char decimal_separator) {
  std::string out;
  const tFormatArg* next = args.begin();
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      out.push_back(*p);
      continue;
    }
    ++p;
    if (*p == '%') {
      out.push_back('%');
      continue;
    }
    int width = 0;
    while (*p >= '0' && *p <= '9')
      width = width * 10 + (*p++ - '0');
    int precision = -1;
    if (*p == '.') {
      precision = 0;
      ++p;
      while (*p >= '0' && *p <= '9')
        precision = precision * 10 + (*p++ - '0');
    }
    if (next == args.end() || *p == '\0') throw std::logic_error("report format and values differ");
    const tFormatArg& arg = *next++;
    if (*p == 'f') {
      if (arg.is_integer) throw std::logic_error("report format wants a real");
      out += FormatFixed(arg.real, width, precision < 0 ? 6 : precision, decimal_separator);
    } else if (*p == 'D' || *p == 'd') {
      if (!arg.is_integer) throw std::logic_error("report format wants an integer");
      char digits[24];
      std::to_chars_result written = std::to_chars(digits, digits + sizeof digits, arg.integer);
      out += PadLeft(std::string(digits, written.ptr), width);
    } else {
      throw std::logic_error("unknown conversion in a report format");
    }
  }
  if (next != args.end()) throw std::logic_error("report format and values differ");
  return out;
}

std::string FormatFullPrecision(tReal value) {
  if (real_math::isnan(value)) return "nan";
  if (real_math::isinf(value)) return value < 0 ? "-inf" : "inf";
  return FormatScientific(value, 20);
}

std::string FormatScientific(tReal value, int decimals) {
  return ToChars(value, std::chars_format::scientific, decimals);
}

std::string FormatGeneral(tReal value, int significant) {
  return ToChars(value, std::chars_format::general, significant);
}

tReal ParseInCLocale(const std::string& text, std::size_t& end, bool& overflow) {
#if QUORREL_REAL_IS_SOFT
  return soft_extended::FromText(text, end, overflow);
#else
  char* stop = nullptr;
  errno = 0;
  tReal value = strtold_l(text.c_str(), &stop, CLocale());
  overflow = errno == ERANGE && real_math::isinf(value);
  end = static_cast<std::size_t>(stop - text.c_str());
  return value;
#endif
}

double ParseDoubleInCLocale(const std::string& text, std::size_t& end, bool& overflow) {
  char* stop = nullptr;
  errno = 0;
  double value = strtod_l(text.c_str(), &stop, CLocale());
  overflow = errno == ERANGE && real_math::isinf(value);
  end = static_cast<std::size_t>(stop - text.c_str());
  return value;
}
