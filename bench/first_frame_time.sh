#!/bin/bash
# When the window's first frames come: opens MAP (or any file the viewer opens) in build/orvo, a
# fresh process under a virtual X screen, RUNS times, and prints the time from the process's start
# to each of its first buffer swaps. The window swaps twice showing the view's sphere alone, and
# the third swap shows the graph: that is its first picture. With -c, the file's pages are dropped
# from the page cache before each run (the cold case).
#   bench/first_frame_time.sh [-b BUILD_DIR] [-n RUNS] [-c] FILE
# Needs Xvfb and a C compiler.
set -eu
build=build
runs=3
cold=
while getopts b:n:c option; do
  case $option in
    b) build=$OPTARG ;;
    n) runs=$OPTARG ;;
    c) cold=1 ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
file=${1:?usage: first_frame_time.sh [-b BUILD_DIR] [-n RUNS] [-c] FILE}
work=$(mktemp -d)
here=$(dirname "$0")
. "$here/virtual_display.sh"
trap 'kill $display_pid 2>/dev/null; wait $display_pid 2>/dev/null; rm -rf "$work"' EXIT
cc -shared -fPIC -O1 -o "$work/swap_times.so" "$here/swap_times.c" -ldl
start_virtual_display

for run in $(seq "$runs"); do
  if [ -n "$cold" ]; then
    python3 -c 'import os, sys
fd = os.open(sys.argv[1], os.O_RDONLY)
os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)' "$file"
  fi
  XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" LD_PRELOAD="$work/swap_times.so" \
    timeout 10 "$build/orvo" "$file" 2>&1 >/dev/null |
    awk -v run="$run" '/^orvo swap [0-9]+ at/ { times = times " " $5 } END { print "run " run ":" times " s" }' || true
done
