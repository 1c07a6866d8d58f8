#!/bin/bash
# A minute in the real window on a large map: opens MAP in build/orvo (a fresh process) under a
# virtual X screen, takes screenshots at set times after the launch (to see when the first
# picture came), then flies about for a minute (clicks that bring nodes to the centre, drags that
# turn the view, the Home key), reporting the process's memory every 10 s (resident in all, its
# own, and the map's pages it has mapped), and at the end times Ctrl+Q to the end of the process.
#   bench/window_map_flight.sh [-b BUILD_DIR] [-d SHOT_DIR] [-s SECONDS] MAP
# Needs Xvfb, xdotool and ImageMagick's import.
set -eu
build=build
shots=
seconds=60
while getopts b:d:s: option; do
  case $option in
    b) build=$OPTARG ;;
    d) shots=$OPTARG ;;
    s) seconds=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
map=${1:?usage: window_map_flight.sh [-b BUILD_DIR] [-d SHOT_DIR] [-s SECONDS] MAP}
work=$(mktemp -d)
shots=${shots:-$work}
mkdir -p "$shots"

. "$(dirname "$0")/virtual_display.sh"
trap 'kill $display_pid 2>/dev/null; wait $display_pid 2>/dev/null; rm -rf "$work"' EXIT
start_virtual_display

memory() {  # resident MiB: all, the process's own, the mapped files'
  awk '/^VmRSS/ { all = $2 } /^RssAnon/ { own = $2 } /^RssFile/ { file = $2 }
    END { printf "%d MiB resident (own %d, mapped files %d)", all / 1024, own / 1024, file / 1024 }' \
    "/proc/$1/status"
}

start=$(date +%s.%N)
XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" "$build/orvo" "$map" \
  >"$work/out" 2>&1 &
pid=$!
# Screenshots at set times from the launch: the first that shows the graph bounds its first
# picture.
for at in 0.5 0.75 1 1.5 2 3 5; do
  sleep "$(echo "$at - ($(date +%s.%N) - $start)" | bc | sed 's/^-.*/0/')"
  import -window root "$shots/start-$at.png" 2>/dev/null &
done
wait_shots=$(jobs -p | grep -v "^$pid\$" | grep -v "^$display_pid\$" || true)
for job in $wait_shots; do wait "$job" 2>/dev/null || true; done
echo "screenshots after the launch: $shots/start-*.png"

window=
for _ in $(seq 240); do
  for candidate in $(xdotool search --onlyvisible --pid $pid 2>/dev/null); do
    case "$(xdotool getwindowname "$candidate" 2>/dev/null)" in
      *" - orvo") window=$candidate; break 2 ;;
    esac
  done
  sleep 0.25
done
[ -n "$window" ] || { echo "the window never showed the map" >&2; cat "$work/out" >&2; exit 1; }
echo "after the start: $(memory $pid)"
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool windowfocus --sync "$window"

# Flying about: a click brings the node under the pointer to the centre; a drag turns the view.
RANDOM=1
end=$(($(date +%s) + seconds))
next_report=$(($(date +%s) + 10))
moves=0
while [ "$(date +%s)" -lt "$end" ]; do
  x=$((X + WIDTH / 4 + RANDOM % (WIDTH / 2)))
  y=$((Y + HEIGHT / 4 + RANDOM % (HEIGHT / 2)))
  case $((moves % 5)) in
    0 | 1 | 2) xdotool mousemove "$x" "$y" click 1 ;;
    3) xdotool mousemove "$x" "$y" mousedown 1 mousemove_relative -- 60 40 \
      mousemove_relative -- 60 40 mouseup 1 ;;
    4) [ $((moves % 20)) = 4 ] && xdotool key Home ;;
  esac
  moves=$((moves + 1))
  sleep 1
  if [ "$(date +%s)" -ge "$next_report" ]; then
    echo "$((next_report - ${start%.*})) s: $(memory $pid)"
    next_report=$((next_report + 10))
  fi
done
sleep 2
import -window root "$shots/after-flight.png" 2>/dev/null || true
echo "after $moves moves in $seconds s: $(memory $pid); peak $(awk '/VmHWM/ { printf "%d MiB", $2 / 1024 }' /proc/$pid/status)"
xdotool windowfocus --sync "$window"
quit_start=$(date +%s.%N)
xdotool key ctrl+q
status=0
wait $pid || status=$?
printf 'quit in %.3f s (exit status %d)\n' "$(echo "$(date +%s.%N) - $quit_start" | bc)" "$status"
