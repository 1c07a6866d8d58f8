#!/bin/bash
# How long Ctrl+Q takes in the real window: opens each graph in build/orvo (a fresh process each
# run) under a virtual X screen, waits until its title names the file and the process has used
# no CPU for a second (the picture refined, the search index built), presses Ctrl+Q and reports
# the time from the key to the end of the process, and its peak memory.
#   bench/window_quit_time.sh [-n RUNS] [-b BUILD_DIR] GRAPH...
# Without GRAPH a 1 000 000-node site is generated (orvo-gen --nodes 1000000 --seed 1); a
# 10 000 000-node one (1.2 GB, about 6 GB open) shows the cost of a big graph. Needs Xvfb and
# xdotool.
set -eu
runs=5
build=build
while getopts n:b: option; do
  case $option in
    n) runs=$OPTARG ;;
    b) build=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
graphs=("$@")
if [ ${#graphs[@]} = 0 ]; then
  "$build/tools/orvo-gen" --nodes 1000000 --seed 1 -o "$work/site-1m.graph"
  graphs=("$work/site-1m.graph")
fi

. "$(dirname "$0")/virtual_display.sh"
trap 'kill $display_pid 2>/dev/null; wait $display_pid 2>/dev/null; rm -rf "$work"' EXIT
start_virtual_display

cpu_ticks() {  # user + system clock ticks of a process
  awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$1/stat" 2>/dev/null || echo 0
}

for graph in "${graphs[@]}"; do
  name=$(basename "$graph")
  times=()
  for run in $(seq "$runs"); do
    # time(1) gives the processor time of the whole life; the part before the key is read from
    # /proc: what is left is the quit's own (kernel freeing of the memory included), which a
    # loaded machine stretches on the clock but not in processor time.
    XDG_CONFIG_HOME="$work/config" /usr/bin/time -f '%U %S' -o "$work/time" "$build/orvo" \
      "$graph" >"$work/out" 2>&1 &
    timer=$!
    pid=
    while [ -z "$pid" ]; do pid=$(pgrep -P $timer) || sleep 0.1; done
    window=
    for _ in $(seq 1200); do  # the title names the file once it is open
      for candidate in $(xdotool search --onlyvisible --pid $pid 2>/dev/null); do
        if [ "$(xdotool getwindowname "$candidate" 2>/dev/null)" = "$name - orvo" ]; then
          window=$candidate
          break 2
        fi
      done
      sleep 0.5
    done
    if [ -z "$window" ]; then
      echo "$name: the window never showed the graph" >&2
      cat "$work/out" >&2
      kill $pid
      exit 1
    fi
    last=-1
    for _ in $(seq 600); do  # at rest: no CPU used for a second
      now=$(cpu_ticks $pid)
      [ "$now" = "$last" ] && break
      last=$now
      sleep 1
    done
    peak=$(awk '/VmHWM/ { print $2 }' /proc/$pid/status)
    # The kernel frees 4 KiB pages one by one when the process ends, huge pages 512 at a time.
    huge=$(awk '/^Anonymous/ { all = $2 } /^AnonHugePages/ { huge = $2 }
      END { printf "%d", all ? 100 * huge / all : 0 }' /proc/$pid/smaps_rollup)
    xdotool windowfocus --sync "$window"
    ticks=$(cpu_ticks $pid)
    start=$(date +%s.%N)
    xdotool key ctrl+q
    status=0
    wait $timer || status=$?
    end=$(date +%s.%N)
    took=$(echo "$end - $start" | bc)
    times+=("$took")
    quit_cpu=$(awk -v before="$ticks" -v hz="$(getconf CLK_TCK)" \
      '{ printf "%.2f", $1 + $2 - before / hz }' "$work/time")
    printf '%s run %d: quit in %.3f s, %s s of processor time (exit status %d, peak memory' \
      "$name" "$run" "$took" "$quit_cpu" "$status"
    printf ' %d MiB, %d %% in huge pages; load %s)\n' $((peak / 1024)) "$huge" \
      "$(cut -d' ' -f1 /proc/loadavg)" 
  done
  sorted=$(printf '%s\n' "${times[@]}" | sort -n)
  printf '%s: median %.3f s, fastest %.3f s, slowest %.3f s over %d runs\n' "$name" \
    "$(echo "$sorted" | sed -n "$(((runs + 1) / 2))p")" "$(echo "$sorted" | head -1)" \
    "$(echo "$sorted" | tail -1)" "$runs"
done
