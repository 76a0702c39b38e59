#!/usr/bin/env bash
# Makes the core's real quantities tReal (numeric/real.h) instead of long
# double, mechanically, so that it can be run again over code written
# since: in src/numeric, src/engines,
# src/analysis and src/cli, of their tests (not the numeric library's, which
# compare with the processor's long double) and of the step-by-step
# reference computation (bench/reference), "long double" becomes tReal
# (in comments too, which mostly describe the code; a line that says it
# "keeps long double" is left alone) and, in a file that has real
# quantities, std::fabs, sqrt, isnan, isinf, isfinite, trunc, floor, ceil,
# llrint, nextafter and signbit become real_math::'s; a header that then names tReal includes
# numeric/real.h; every file changed is formatted.  Running it twice
# changes nothing the second time.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
mapfile -t files < <(git ls-files src/numeric src/engines src/analysis src/cli tests/engines \
  tests/analysis tests/cli bench/reference |
  grep -E '\.(h|cpp)$' | grep -vE '^src/numeric/(soft_extended\.(h|cpp)|real\.h)$')
changed=()
for f in "${files[@]}"; do
  before=$(sha1sum "$f")
  # The <cmath> calls change only in a file with real quantities: elsewhere
  # they take doubles or integers (a processor count, a field's value).
  if grep -qE '\blong double\b|\btReal\b' "$f"; then math=1; else math=0; fi
  MATH=$math perl -pi -e '
    next if /keeps long double/;
    s/\blong double\b/tReal/g;
    s/\bstd::(fabs|sqrt|isnan|isinf|isfinite|trunc|floor|ceil|llrint|nextafter|signbit)\(/real_math::$1(/g
      if $ENV{MATH};
  ' "$f"
  if [[ $f == *.h ]] && grep -q '\btReal\b' "$f" && ! grep -q '"numeric/real.h"' "$f"; then
    # Beside the file's other project includes, or after its last include.
    if grep -q '^#include "' "$f"; then
      perl -0pi -e 's/^(#include ")/#include "numeric\/real.h"\n$1/m' "$f"
    else
      perl -0pi -e 's/((?:^#include <[^\n]*\n)+)/$1\n#include "numeric\/real.h"\n/m' "$f"
    fi
  fi
  if [ "$before" != "$(sha1sum "$f")" ]; then changed+=("$f"); fi
done
if [ ${#changed[@]} -gt 0 ]; then clang-format-14 -i "${changed[@]}"; fi
if [ ${#changed[@]} -gt 0 ]; then printf "%s\n" "${changed[@]}"; fi
