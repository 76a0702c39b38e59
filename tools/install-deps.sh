#!/usr/bin/env bash
# Installs, from Debian's archive, whatever the build and the tests need and
# the machine lacks.  Does nothing (and needs no network) when all is present.
#   install-deps.sh        the build, the tests and the checks
#   install-deps.sh slurm  only what the cluster test (tests/cli/slurm_test.sh)
#                          needs: a one-node Slurm and munge, which it starts
#                          itself (kept apart: their packages set up services)
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  # Reuses the test build's compiles in the package build.
  ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-svg-dev fonts-liberation
  poppler-utils cups printer-driver-cups-pdf
  dpkg-dev file lintian desktop-file-utils appstream
  # The checks of tools/run-checks.sh: the formatter, and clang with
  # libFuzzer and its sanitizer runtimes.
  clang-format-14 clang-14 libclang-rt-14-dev
  # The Windows build and its run under Wine (tools/check-windows.sh):
  # MinGW-w64 with POSIX threads, GoogleTest's sources, 64-bit Wine.
  g++-mingw-w64-x86-64-posix googletest wine64
  # The WebAssembly build and its run under Node (tools/build-wasm.sh):
  # emscripten, whose optimiser needs acorn, and Node itself.
  emscripten node-acorn nodejs
  # The web page's browser test (tests/web): headless chromium.
  chromium
)
# npm comes with some builds of Node (NodeSource's), from Debian's own
# package otherwise.
if ! command -v npm >/dev/null; then packages+=(npm); fi
if [ "${1:-}" = slurm ]; then
  packages=(slurmd slurmctld slurm-client munge)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  as_root=()
  if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -q
  "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The browser test drives chromium with puppeteer-core, from npm at the
# version its lock file names (and nothing when it is there already).
if [ "${1:-}" != slurm ]; then
  web_tests=$(cd "$(dirname "$0")/../tests/web" && pwd)
  if [ ! -d "$web_tests/node_modules/puppeteer-core" ]; then
    npm ci --prefix "$web_tests" --no-audit --no-fund
  fi
fi
