// Number formatting of the program's own, independent of the process's C
// locale (the windowing toolkit switches it to the user's): fixed point with
// a chosen decimal separator, full-precision scientific notation, and the
// shortest of the two for a few significant digits.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "numeric/real.h"

// `value` in fixed point with `precision` decimals and `decimal_separator`,
// right-aligned in at least `width` characters (a longer number is never cut).
std::string FormatFixed(tReal value, int width, int precision, char decimal_separator);

// One argument of FormatLine: a real for %W.Pf or an integer for %WD.
struct tFormatArg {
  tFormatArg(tReal v) : is_integer(false), real(v) {}      // NOLINT: implicit by design
  tFormatArg(int32_t v) : is_integer(true), integer(v) {}  // NOLINT
#if QUORREL_REAL_IS_SOFT
  // A constant such as 12.25L is a real here too, not an integer.
  tFormatArg(long double v) : tFormatArg(tReal(v)) {}  // NOLINT: keeps long double
#endif
  bool is_integer;
  tReal real = 0;
  int64_t integer = 0;
};

// Expands a format string of the report: "%W.Pf" (fixed point, right-aligned
// in W characters), "%WD" (signed integer, right-aligned) and "%%" (one
// percent sign), taking the arguments in order.
std::string FormatLine(const char* format, std::initializer_list<tFormatArg> args,
                       char decimal_separator);

// `value` with 21 significant digits in scientific notation ("-2.5e+00" form),
// enough for an 80-bit value to be read back exactly; "." as separator.
// Infinities and NaNs give "inf", "-inf" and "nan".
std::string FormatFullPrecision(tReal value);

// `value` in scientific notation with `decimals` digits after the point, as
// "%.*Le" in the "C" locale writes it ("-2.50000e+00").
std::string FormatScientific(tReal value, int decimals);

// `value` with at most `significant` significant digits, in fixed point or
// in scientific notation, whichever is shorter, and trailing zeros dropped:
// the text "%.*Lg" writes in the "C" locale ("2.5", "1e+20").
std::string FormatGeneral(tReal value, int significant);

// Decimal text to tReal in the "C" locale, correctly rounded.
// `end` receives the number of characters consumed; `overflow` is set when
// the magnitude is beyond the type's range.
tReal ParseInCLocale(const std::string& text, std::size_t& end, bool& overflow);
// The same for double.
double ParseDoubleInCLocale(const std::string& text, std::size_t& end, bool& overflow);
