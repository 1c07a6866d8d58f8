#!/usr/bin/env bash
# Builds the core and the page's entry points for the browser (WebAssembly, with emcmake and
# Ninja) into BUILD_DIR: the module is BUILD_DIR/web/orvo-web.js with its orvo-web.wasm.
#   scripts/build-web-module.sh [BUILD_DIR]
# BUILD_DIR defaults to ORVO_WEB_BUILD_DIR, else build-web/ at the top of the repository;
# ORVO_WEB_CMAKE_ARGS passes more configure arguments, ORVO_JOBS the number of jobs. Exits with
# status 77 (a skipped test to CTest) when emscripten is not installed, unless ORVO_REQUIRE_WEB=1.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${1:-${ORVO_WEB_BUILD_DIR:-$root/build-web}}"
jobs="${ORVO_JOBS:-$(nproc)}"

if ! command -v emcmake >/dev/null || ! command -v emcc >/dev/null; then
  if [ "${ORVO_REQUIRE_WEB:-}" = 1 ]; then
    echo "FAILED: emscripten is not installed (./scripts/setup.sh web installs it)"
    exit 1
  fi
  echo "SKIPPED: emscripten is not installed (./scripts/setup.sh web installs it)"
  exit 77
fi
# Debian's emcc runs its JavaScript optimizer with node, which needs Debian's node modules.
export NODE_PATH="${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs"

started=$(date +%s)
# shellcheck disable=SC2086 # ORVO_WEB_CMAKE_ARGS holds several words on purpose
emcmake cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  ${ORVO_WEB_CMAKE_ARGS:-}
cmake --build "$build_dir" -j "$jobs"
for file in "$build_dir"/web/orvo-web.js "$build_dir"/web/orvo-web.wasm; do
  echo "$file: $(stat -c %s "$file") bytes"
done
echo "The browser build took $(($(date +%s) - started)) s"
