#!/usr/bin/env bash
# Quorrel as a web page: builds the core in WebAssembly (tools/build-wasm.sh)
# and the page into build-web/, then serves it on this computer only and
# prints the address to open.  Everything is computed in the browser; the
# server hands out the page's files and nothing else.
#   tools/run-web.sh            build and serve (PORT=8023 by default)
#   tools/run-web.sh build      build only
# QUORREL_WASM_DIR: a folder that already holds the core's two libraries,
# quorrel-core.mjs/.wasm and quorrel-core-threads.mjs/.wasm/.worker.js (the
# WebAssembly build is then skipped).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${QUORREL_WEB_BUILD:-$here/build-web}
mode=${1:-serve}

if [ -n "${QUORREL_WASM_DIR:-}" ]; then
  wasm=$QUORREL_WASM_DIR
else
  wasm=$here/build-wasm
  if [ -x "$here/tools/build-wasm.sh" ]; then
    "$here/tools/build-wasm.sh" >&2
  fi
fi
libraries=(quorrel-core.mjs quorrel-core.wasm
  quorrel-core-threads.mjs quorrel-core-threads.wasm quorrel-core-threads.worker.js)
for file in "${libraries[@]}"; do
  if [ ! -f "$wasm/$file" ]; then
    echo "run-web: $wasm/$file is missing (tools/build-wasm.sh builds it)" >&2
    exit 1
  fi
done

rm -rf "$out.new"
mkdir -p "$out.new"
cp "$here"/web/*.html "$here"/web/*.css "$here"/web/*.js "$here"/web/*.webmanifest "$out.new/"
for file in "${libraries[@]}"; do cp "$wasm/$file" "$out.new/"; done
cp "$here/packaging/icons/quorrel.svg" "$out.new/icon.svg"
cp "$here/packaging/icons/quorrel-256.png" "$out.new/icon-256.png"
# The service worker's cache is named after this build's files.
build_id=$(cat "$out.new"/* | sha256sum | cut -c1-16)
sed -i "s/@BUILD_ID@/$build_id/" "$out.new/sw.js"
rm -rf "$out"
mv "$out.new" "$out"
echo "run-web: the page is in $out" >&2

[ "$mode" = build ] && exit 0
exec node "$here/tools/web-server.mjs" "$out" "${PORT:-8023}"
