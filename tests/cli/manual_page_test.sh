#!/usr/bin/env bash
# The manual pages as CMake configured them: both render without a warning,
# and quorrel-report(1) names the same options as the program's --help,
# every exit status that --help names, its version and the header of its
# batch output.
#   manual_page_test.sh QUORREL_REPORT_EXECUTABLE QUORREL_REPORT_PAGE QUORREL_PAGE
set -euo pipefail
program=$(realpath "$1")
report_page=$2
quorrel_page=$3
scratch=$(mktemp -d /tmp/quorrel-manual-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The page's text with troff's escaped hyphens as plain ones.
plain() { sed -e 's/\\-/-/g' "$1"; }

for page in "$report_page" "$quorrel_page"; do
  if command -v groff >/dev/null; then
    warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff failed on $page"
    [ -z "$warnings" ] || fail "$page renders with warnings: $warnings"
  fi
  grep -q '@[A-Z_]*@' "$page" && fail "$page holds an unconfigured @VARIABLE@"
done

help=$("$program" --help)
page=$(plain "$report_page")

# Every long option of --help, and -h.
options=$(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
[ -n "$options" ] || fail "no option found in --help"
for option in $options -h; do
  grep -q -- "$option\b" <<<"$page" || fail "the page does not name $option"
done
# And the other way: the page names no option that --help does not (one
# dropped from the program, or added to the page alone).
page_options=$(grep -o -- '--[a-z][a-z-]*' <<<"$page" | sort -u)
extra=$(comm -13 <(echo "$options") <(echo "$page_options"))
[ -z "$extra" ] || fail "the page names options that --help does not: $extra"

# Every exit status of --help's "Exit status:" section, as a tagged
# paragraph of the page's EXIT STATUS section.
statuses=$(sed -n '/^Exit status:/,/^[^ ]/p' <<<"$help" | grep -o '^  [0-9][0-9]*' | tr -d ' ')
[ "$(wc -w <<<"$statuses")" -ge 5 ] || fail "too few exit statuses found in --help: $statuses"
exit_section=$(awk '/^\.SH /{on = /^\.SH EXIT STATUS/} on' <<<"$page")
for status in $statuses; do
  grep -qx "\.B $status" <<<"$exit_section" || fail "the page does not explain exit status $status"
done
page_statuses=$(grep -o '^\.B [0-9][0-9]*$' <<<"$exit_section" | cut -c4- | sort -n | tr '\n' ' ')
[ "$page_statuses" = "$(sort -n <<<"$statuses" | tr '\n' ' ')" ] ||
  fail "the page's exit statuses ($page_statuses) differ from --help's"

# The version the program prints.
version=$("$program" --version)
grep -qF "$version" <<<"$page" || fail "the page does not give the version as \"$version\""

# The batch output's header: what the program writes for a file without
# rows, and the page's two lines of it joined.
printf 'mean_x,sd_x,mean_y,sd_y,r,n,case_x,case_y\n' >"$scratch/empty.csv"
header=$("$program" --batch "$scratch/empty.csv")
page_header=$(grep -A1 '^id,prior,' <<<"$page" | tr -d '\n')
[ "$header" = "$page_header" ] || fail "batch header: the program writes $header, the page says $page_header"

# The row-length limit and the formula-like first characters of --help.
# Both as running text, lines joined and blanks squeezed.
flat() { tr '\n' ' ' | tr -s ' '; }
help_text=$(flat <<<"$help")
page_text=$(flat <<<"$page")
limit=$(grep -o 'longer than [0-9]* bytes' <<<"$help_text") || fail "no row-length limit in --help"
grep -q "$limit" <<<"$page_text" || fail "the page does not say \"$limit\""
first='begins with =, +, -, @, a tab or a carriage return'
grep -q "$first" <<<"$help_text" || fail "--help does not say \"$first\""
grep -q "$first" <<<"$page_text" || fail "the page does not say \"$first\""

# Every command of the page's EXAMPLES that runs quorrel-report runs and
# succeeds, the batch example on the page's cases.csv.
example_text=$(sed -n '/^\.SH EXAMPLES/,/^\.SH SEE ALSO/p' "$report_page" |
  sed -e 's/\\-/-/g' -e 's/\\e$/\\/')
sed -n '/^\$ cat cases.csv$/,/^\$ /p' <<<"$example_text" | sed -e '1d' -e '$d' >"$scratch/cases.csv"
[ -s "$scratch/cases.csv" ] || fail "the batch example's cases.csv was not found"
examples=$(awk '/^(\$ )?quorrel-report / { sub(/^\$ /, ""); on = 1 }
  on { line = line $0; if (sub(/\\$/, "", line)) next; print line; line = ""; on = 0 }' \
  <<<"$example_text" | sed -e 's/ >.*//')
[ "$(wc -l <<<"$examples")" -ge 4 ] || fail "too few examples found: $examples"
while read -r command; do
  eval "set -- ${command#quorrel-report}"
  (cd "$scratch" && "$program" "$@" >/dev/null) || fail "example failed: $command"
done <<<"$examples"

[ "$failures" -eq 0 ] || exit 1
echo "manual pages: render cleanly and match quorrel-report --help"
