// What the C++ library of Debian's emscripten (the WebAssembly build) lacks
// of C++20 and the tree uses, each behind its feature test so that nothing
// here is seen where the library has it.  The build of such a target
// includes this header before every source (src/numeric/CMakeLists.txt).
#pragma once

#include <version>

#if !defined(__cpp_lib_bit_cast)
#include <type_traits>

namespace std {

// The compiler's own built-in, which the standard one is made of: call sites
// stay std::bit_cast and keep their constexpr use.
template <class tTo, class tFrom>
requires(sizeof(tTo) == sizeof(tFrom) && is_trivially_copyable_v<tTo> &&
         is_trivially_copyable_v<tFrom>) constexpr tTo bit_cast(const tFrom& from) noexcept {
  return __builtin_bit_cast(tTo, from);
}

}  // namespace std
#endif

#if !defined(__cpp_lib_to_chars)
#include <charconv>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <type_traits>

namespace std {

// std::to_chars of a floating value with a format and a precision: the C
// library's printf, which also writes the exact binary value rounded once
// to the digits asked for (this library's printf knows only the "C"
// locale's point).  The hexadecimal format has no "0x", as std::to_chars.
template <class tFloat>
requires is_floating_point_v<tFloat> to_chars_result to_chars(char* first, char* last, tFloat value,
                                                              chars_format format, int precision) {
  const char conversion = format == chars_format::fixed        ? 'f'
                          : format == chars_format::scientific ? 'e'
                          : format == chars_format::hex        ? 'a'
                                                               : 'g';
  const char layout[] = {'%', '.', '*', 'L', conversion, '\0'};
  const long double wide = value;
  // The longest fixed text of a long double: 4933 integer digits, sign,
  // point and the decimals.
  static thread_local char text[5000 + 400];
  const int length = std::snprintf(text, sizeof text, layout, precision < 0 ? 6 : precision, wide);
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof text)
    return {last, errc::value_too_large};
  int size = length;
  if (format == chars_format::hex) {
    // "-0x1.8p+1" -> "-1.8p+1"
    char* x = std::strchr(text, 'x');
    if (x != nullptr) {
      const int sign = text[0] == '-' ? 1 : 0;
      std::memmove(text + sign, x + 1, static_cast<std::size_t>(length - (x + 1 - text)) + 1);
      size = static_cast<int>(std::strlen(text));
    }
  }
  if (size > last - first) return {last, errc::value_too_large};
  std::memcpy(first, text, static_cast<std::size_t>(size));
  return {first + size, errc()};
}

}  // namespace std
#endif

// WebAssembly's arithmetic keeps no floating-point exception flags, and its
// C library names none (its fetestexcept finds none raised).  The names get
// bits of their own here so that the code that tests the flags builds; the
// software extended format keeps the flags of the core's arithmetic itself.
#if defined(__wasm__)
#include <cfenv>
#if !defined(FE_INVALID) && !defined(FE_DIVBYZERO) && !defined(FE_OVERFLOW)
#define FE_INVALID 1
#define FE_DIVBYZERO 4
#define FE_OVERFLOW 8
#endif
#endif
