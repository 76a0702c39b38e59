#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, installs it with apt and
# checks the installed programs as a user would meet them:
#   - quorrel --version and quorrel-report --version print the version;
#   - quorrel-report from the bin folder prints the example case's report,
#     the same as the one built for the tests;
#   - the desktop entry and the metainfo pass their validators;
#   - an ordinary user (made for the check) starts the desktop entry's
#     command on the offscreen platform and computes once; the control data
#     is then in that user's ~/.local/share/quorrel, restored at the next
#     start, and nothing new is in the bin folder; a second user starts
#     empty; root, too, keeps its data in its own folder.
# The windows are worked by the test driver plugin (tests/package), which
# the program loads through QT_PLUGIN_PATH; the program has no test mode.
#
#   check-package.sh [TEST_BUILD_FOLDER]
#
# TEST_BUILD_FOLDER (default: build) is the build with the tests, which
# holds the driver plugin and the quorrel-report to compare with.  Needs root
# (apt, useradd); undoes what it did: the users, the scratch folder, and the
# package unless it was installed before.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
tests_build=$(cd "${1:-$here/build}" && pwd)
package_build="$here/build-package"

# Exit status 77 says "not checked" to tools/run-tests.sh, which lists it
# among the verdicts rather than counting it as passed.
if [ "$(id -u)" -ne 0 ]; then
  echo "check-package: SKIPPED, the package was not checked: it needs root (apt install, useradd)" >&2
  exit 77
fi
plugins="$tests_build/tests/package/plugins"
if [ ! -e "$plugins/generic/libquorreldriver.so" ]; then
  echo "check-package: no driver plugin in $plugins; build the tests first" >&2
  exit 1
fi

step() { echo "check-package: $*"; }
fail() {
  echo "check-package: FAILED: $*" >&2
  exit 1
}

# The package: a build for /usr without tests or benchmarks.
step "building the package"
# The flags are the test build's (warnings as errors included), so that
# ccache, where there is one, serves every compile but the data location's.
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$here" -B "$package_build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DQUORREL_WERROR=ON -DQUORREL_WITH_TESTS=OFF -DQUORREL_WITH_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$package_build" -j"$(nproc)" >/dev/null
rm -f "$package_build"/quorrel_*.deb
(cd "$package_build" && cpack -G DEB >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$package_build/CMakeCache.txt")
app_id=$(sed -n 's/^Icon=//p' "$package_build/packaging/"*.desktop)
deb="$package_build/quorrel_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $deb"
step "made $(basename "$deb")"

scratch=$(mktemp -d /tmp/quorrel-package-check-XXXXXX)
chmod 755 "$scratch"
users=()
was_installed=""
if dpkg-query -W -f='${Status}' quorrel 2>/dev/null | grep -q 'install ok installed'; then
  was_installed=yes
fi
cleanup() {
  local user
  for user in "${users[@]}"; do
    userdel -r "$user" >/dev/null 2>&1 || userdel "$user" >/dev/null 2>&1 || true
  done
  if [ -z "$was_installed" ] && dpkg-query -W quorrel >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -q quorrel >/dev/null 2>&1 || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

# Makes an ordinary user with a home of its own in the scratch folder; its
# name in $made_user.
new_user() {
  made_user="qcheck$$$1"
  useradd -m -d "$scratch/home-$1" -s /bin/sh "$made_user"
  users+=("$made_user")
}

cp "$deb" "$scratch/quorrel.deb"
chmod 644 "$scratch/quorrel.deb"
new_user lint
lint_user=$made_user
step "lintian"
(cd "$scratch" && runuser -u "$lint_user" -- lintian --fail-on error --display-info "$scratch/quorrel.deb") ||
  fail "lintian reports errors"

step "installing with apt"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "$scratch/quorrel.deb" >"$scratch/apt.log" 2>&1 || {
  cat "$scratch/apt.log"
  fail "apt could not install the package"
}

step "the installed programs"
[ "$(command -v quorrel)" = /usr/bin/quorrel ] || fail "quorrel is not /usr/bin/quorrel"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY quorrel --version)" = "quorrel $version" ] ||
  fail "quorrel --version"
[ "$(quorrel-report --version)" = "quorrel-report $version" ] || fail "quorrel-report --version"
example=(100 15 50 10 .6 20 70 45)
/usr/bin/quorrel-report "${example[@]}" >"$scratch/report.txt" || fail "quorrel-report"
"$tests_build/src/cli/quorrel-report" "${example[@]}" >"$scratch/expected.txt"
cmp -s "$scratch/report.txt" "$scratch/expected.txt" ||
  fail "the installed quorrel-report's report differs from the built one's"
grep -q 'Z-DCC = ' "$scratch/report.txt" || fail "no Z-DCC in the report"

# The programs are hardened as Debian's own are: position-independent, with
# read-only relocations bound at start, no executable stack, stack canaries,
# the C library's checked calls (-D_FORTIFY_SOURCE) and control-flow
# protection.
step "hardening of the installed programs"
for program in /usr/bin/quorrel /usr/bin/quorrel-report; do
  # Each listing is read whole before it is searched: grep -q ends at its
  # first match, and the listing's writer would then fail on the closed pipe.
  header=$(readelf -h "$program")
  segments=$(readelf -lW "$program")
  dynamic=$(readelf -dW "$program")
  symbols=$(readelf -sW --dyn-syms "$program")
  grep -q 'Type: *DYN' <<<"$header" || fail "$program is not position-independent"
  grep -q GNU_RELRO <<<"$segments" || fail "$program has no read-only relocations"
  grep -q 'FLAGS.*NOW' <<<"$dynamic" || fail "$program's relocations are not bound at start"
  grep GNU_STACK <<<"$segments" | grep -q RWE && fail "$program has an executable stack"
  grep -q '__stack_chk_fail' <<<"$symbols" || fail "$program has no stack canaries"
  grep -qE '__[a-z_]+_chk@' <<<"$symbols" || fail "$program has no checked C library calls"
  # Control-flow protection: the code's indirect-branch targets are marked.
  # (The program as a whole is not flagged for it, because Debian 12's C
  # library start files are not; the linker then drops the flag.)
  [ "$(objdump -d --no-show-raw-insn "$program" | grep -c endbr64)" -gt 0 ] ||
    fail "$program was built without control-flow protection"
done

desktop=/usr/share/applications/$app_id.desktop
metainfo=/usr/share/metainfo/$app_id.metainfo.xml
desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
appstreamcli validate --no-net "$metainfo" >"$scratch/appstream.log" 2>&1 || {
  cat "$scratch/appstream.log"
  fail "appstreamcli validate $metainfo"
}
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo's release is not $version"
[ -f "/usr/share/icons/hicolor/scalable/apps/$app_id.svg" ] || fail "no scalable icon"
for page in quorrel quorrel-report; do
  [ -f "/usr/share/man/man1/$page.1.gz" ] || fail "no manual page for $page"
done

# The windows, as an ordinary user starts them from the desktop entry.
cp -r "$plugins" "$scratch/plugins"
chmod -R a+rX "$scratch/plugins"
command_line=$(sed -n 's/^Exec=//p' "$desktop")
# Runs the desktop entry's command as `user` with the driver in MODE.
run_as() {
  local user=$1 mode=$2 home
  home=$(getent passwd "$user" | cut -d: -f6)
  runuser -u "$user" -- mkdir -p "$home/.runtime"
  runuser -u "$user" -- chmod 700 "$home/.runtime"
  # shellcheck disable=SC2086  # the command line is split as a launcher would
  (cd "$home" && runuser -u "$user" -- env -i HOME="$home" PATH=/usr/bin:/bin \
    XDG_RUNTIME_DIR="$home/.runtime" QT_QPA_PLATFORM=offscreen \
    QT_PLUGIN_PATH="$scratch/plugins" QT_QPA_GENERIC_PLUGINS="quorreldriver:$mode" \
    $command_line 2>>"$scratch/gui-errors.log")
}
listing() { ls -la --time-style=full-iso /usr/bin; }

listing >"$scratch/bin-before"
touch "$scratch/marker"
sleep 1
new_user one
user=$made_user
home=$(getent passwd "$user" | cut -d: -f6)
step "Compute as the ordinary user $user"
out=$(run_as "$user" compute) || {
  cat "$scratch/gui-errors.log"
  fail "quorrel as $user: $out"
}
echo "$out"
grep -q '^driver: computed [0-9]* report lines$' <<<"$out" || fail "no report"
data="$home/.local/share/quorrel/quorreldata.txt"
[ -f "$data" ] || fail "no $data"
[ "$(cat "$data")" = "100 15 50 10 .6 20 70 45 " ] || fail "$data holds '$(cat "$data")'"
[ "$(stat -c %U "$data")" = "$user" ] || fail "$data is not the user's"
[ "$(stat -c %a "$(dirname "$data")")" = 700 ] || fail "the data folder is not private"
listing | cmp -s - "$scratch/bin-before" || fail "the bin folder changed"
[ -z "$(find /usr -xdev -newer "$scratch/marker" -print -quit)" ] || fail "something in /usr changed"

step "restart as $user"
out=$(run_as "$user" restored) || fail "quorrel as $user: $out"
echo "$out"
[ "$out" = "driver: fields 100|15|50|10|0.6|20||" ] || fail "the control data was not restored"

new_user two
other=$made_user
step "another user, $other, starts empty"
out=$(run_as "$other" restored) || fail "quorrel as $other: $out"
[ "$out" = "driver: fields |||||||" ] || fail "$other sees: $out"

step "root keeps its data in its own folder too"
root_home="$scratch/root-home"
mkdir -p "$root_home/.runtime" && chmod 700 "$root_home" "$root_home/.runtime"
out=$(cd "$root_home" && env -i HOME="$root_home" PATH=/usr/bin:/bin \
  XDG_RUNTIME_DIR="$root_home/.runtime" QT_QPA_PLATFORM=offscreen \
  QT_PLUGIN_PATH="$scratch/plugins" QT_QPA_GENERIC_PLUGINS=quorreldriver:compute \
  /usr/bin/quorrel 2>>"$scratch/gui-errors.log") || fail "quorrel as root: $out"
[ -f "$root_home/.local/share/quorrel/quorreldata.txt" ] || fail "root's data is not in its folder"
listing | cmp -s - "$scratch/bin-before" || fail "the bin folder changed"
[ -z "$(find /usr -xdev -newer "$scratch/marker" -print -quit)" ] || fail "something in /usr changed"

step "passed: $(basename "$deb") installs, validates, and keeps each user's data in that user's folder"
