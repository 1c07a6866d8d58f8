#!/usr/bin/env bash
# Sets Orvo up on a Debian machine: installs the Debian packages that are missing (listed in
# scripts/debian-packages.txt; through sudo unless run as root), configures and builds, then
#   demo   (the default) opens the viewer on the bundled example graph, the link structure of a
#          real documentation site (orvo examples/sqlite-doc.graph);
#          without a display it reports on the graph instead (orvo-inspect --stats)
#   test   installs what the browser tests need too (as web does), builds the core for the
#          browser and everything else, and runs the whole test suite with ctest, headless (under
#          a virtual X server when no display is set), none skipped for a missing tool: a browser
#          test that would skip fails (ORVO_REQUIRE_WEB=1 unless set otherwise); further arguments
#          go to ctest (e.g. -L core)
#   build  builds everything and stops
#   web    installs what the browser build and its tests need (emscripten, chromium-headless-shell,
#          firefox-esr, node and npm, and the rig's node packages from tests/web/package-lock.json),
#          builds the core for the browser into build-web/ (ORVO_WEB_BUILD_DIR; see
#          scripts/build-web-module.sh) and orvo-publish, which puts it into published maps
#   package  builds the Debian package orvo_<version>_<arch>.deb (Debian's hardening flags, no
#          tests or benchmarks, in build-package/ beside the build directory, with the browser
#          build the published maps carry in build-package-web/), leaves it at the
#          top of the repository and checks it with lintian; install it with
#          `sudo apt install ./orvo_*.deb`
# Environment: ORVO_BUILD_DIR (default: build), ORVO_CMAKE_ARGS (more configure arguments, e.g.
# -DORVO_WERROR=ON), ORVO_JOBS (default: the number of cores), ORVO_PACKAGE_WEB_BUILD_DIR (package:
# a browser build to take instead of making build-package-web/), ORVO_DEBIAN_FLAGS=1 (build and
# test: compile and link with the package's flags), ORVO_PACKAGE_BUILD_DIR (package: a build made
# with ORVO_DEBIAN_FLAGS=1 to package as it is, instead of building build-package/: the programs
# the tests ran are the ones packaged).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
action="${1:-demo}"
shift || true
build_dir="${ORVO_BUILD_DIR:-$root/build}"
jobs="${ORVO_JOBS:-$(nproc)}"

case "$action" in
  demo | test | build | package | web) ;;
  *)
    echo "usage: $0 [demo|test|build|package|web]" >&2
    exit 2
    ;;
esac

# Installs the named Debian packages, through sudo unless run as root.
apt_install() {
  echo "Installing Debian packages: $*"
  local as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
  fi
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "$@"
}

install_missing_packages() {
  local wanted missing=() package
  mapfile -t wanted < <(grep -v -e '^#' -e '^[[:space:]]*$' "$root/scripts/debian-packages.txt")
  for package in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return
  fi
  apt_install "${missing[@]}"
}

# The browser build's tools, each installed when its command is missing (node may come with npm
# from elsewhere than Debian).
install_web_tools() {
  local pairs=(emcc:emscripten chromium-headless-shell:chromium-headless-shell firefox-esr:firefox-esr
    node:nodejs npm:npm)
  local pair missing=()
  for pair in "${pairs[@]}"; do
    command -v "${pair%%:*}" >/dev/null || missing+=("${pair#*:}")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    apt_install "${missing[@]}"
  fi
  # The rig's node packages, exactly as locked; none of them downloads a browser. Installed again
  # only when the lock file has changed since (each test run comes here).
  local web="$root/tests/web"
  if ! cmp -s "$web/package-lock.json" "$web/node_modules/.installed-package-lock.json"; then
    (cd "$web" && npm ci --no-audit --no-fund)
    cp "$web/package-lock.json" "$web/node_modules/.installed-package-lock.json"
  fi
}

# The compiler and linker flags Debian builds its packages with, hardening included, as
# configure arguments in debian_flags.
debian_flags=()
set_debian_flags() {
  local CFLAGS CPPFLAGS CXXFLAGS LDFLAGS flags
  flags="$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
  eval "$flags"
  debian_flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_FLAGS="$CFLAGS $CPPFLAGS"
    -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS")
}

configure() {
  [ "${ORVO_DEBIAN_FLAGS:-0}" = 1 ] && set_debian_flags
  # shellcheck disable=SC2086 # ORVO_CMAKE_ARGS holds several words on purpose
  cmake -S "$root" -B "$build_dir" -G Ninja "${debian_flags[@]}" ${ORVO_CMAKE_ARGS:-}
}

run_tests() {
  local ctest=(ctest --test-dir "$build_dir" --output-on-failure --timeout 900 -j "$jobs" "$@")
  if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 1280x1024x24" "${ctest[@]}"
  else
    "${ctest[@]}"
  fi
}

# The package is built apart from the development build: with the compiler and linker flags
# Debian builds its packages with (hardening included) and without tests or benchmarks.
build_package() {
  local package_dir="${build_dir}-package" flags
  # ORVO_PACKAGE_WEB_BUILD_DIR may name a browser build made already (CI's, from its test run):
  # the same module, built once.
  local web_dir="${ORVO_PACKAGE_WEB_BUILD_DIR:-${build_dir}-package-web}"
  # The package carries the published map's program: the browser build comes first.
  install_web_tools
  ORVO_REQUIRE_WEB=1 ORVO_WEB_CMAKE_ARGS="" "$root/scripts/build-web-module.sh" "$web_dir"
  if [ -n "${ORVO_PACKAGE_BUILD_DIR:-}" ]; then
    # A build made with the package's flags and this browser build, packaged as it is.
    package_dir="$ORVO_PACKAGE_BUILD_DIR"
    if ! grep -q -- '-fstack-protector-strong' "$package_dir/CMakeCache.txt" ||
      ! grep -q "^ORVO_SANITIZE:BOOL=OFF" "$package_dir/CMakeCache.txt" ||
      ! grep -qx "ORVO_WEB_BUILD_DIR:PATH=$web_dir" "$package_dir/CMakeCache.txt"; then
      echo "FAILED: $package_dir was not built with the package's flags (ORVO_DEBIAN_FLAGS=1)," \
        "without sanitizers and with the browser build $web_dir" >&2
      exit 1
    fi
  else
    set_debian_flags
    # shellcheck disable=SC2086 # ORVO_CMAKE_ARGS holds several words on purpose
    cmake -S "$root" -B "$package_dir" -G Ninja "${debian_flags[@]}" \
      -DORVO_BUILD_TESTS=OFF -DORVO_BENCH=OFF -DORVO_FUZZ=OFF -DORVO_SANITIZE=OFF \
      -DORVO_WEB_BUILD_DIR="$web_dir" ${ORVO_CMAKE_ARGS:-}
  fi
  cmake --build "$package_dir" -j "$jobs"
  rm -f "$package_dir"/orvo_*.deb
  (cd "$package_dir" && cpack -G DEB)
  local debs=("$package_dir"/orvo_*.deb)
  rm -f "$root"/orvo_*.deb
  cp "${debs[@]}" "$root/"
  local part contents
  # Listed once: grep -q leaves at its first match, which would end dpkg-deb with a broken pipe
  # and, under pipefail, fail the check.
  contents="$(dpkg-deb -c "${debs[0]}")"
  for part in map_page.html map_page.js orvo_view.js map_viewer.js orvo-web.js orvo-web.wasm; do
    if ! grep -q "/usr/share/orvo/web/$part\$" <<<"$contents"; then
      echo "FAILED: the package lacks /usr/share/orvo/web/$part" >&2
      exit 1
    fi
  done
  echo "Checking ${debs[*]##*/} with lintian"
  lintian --fail-on error "${debs[@]/#$package_dir/$root}"
  echo "Built ${debs[*]/#$package_dir/$root}; install it with: sudo apt install ./${debs[0]##*/}"
}

install_missing_packages
if [ "$action" = package ]; then
  build_package
  exit 0
fi
if [ "$action" = test ]; then
  # Every test runs: one that would skip for a missing browser tool fails instead.
  export ORVO_REQUIRE_WEB="${ORVO_REQUIRE_WEB:-1}"
fi
if [ "$action" = web ] || [ "$action" = test ]; then
  install_web_tools
  "$root/scripts/build-web-module.sh"
fi
configure
case "$action" in
  web)
    cmake --build "$build_dir" -j "$jobs" --target orvo-publish
    echo "Publish a map with: $build_dir/tools/orvo-publish GRAPH -o map.html"
    ;;
  demo)
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
      cmake --build "$build_dir" -j "$jobs" --target orvo
      exec "$build_dir/orvo" "$root/examples/sqlite-doc.graph"
    fi
    echo "No display: reporting on the example graph instead of opening the viewer."
    cmake --build "$build_dir" -j "$jobs" --target orvo-inspect
    "$build_dir/tools/orvo-inspect" --stats "$root/examples/sqlite-doc.graph"
    ;;
  test)
    cmake --build "$build_dir" -j "$jobs"
    run_tests "$@"
    ;;
  build)
    cmake --build "$build_dir" -j "$jobs"
    ;;
esac
