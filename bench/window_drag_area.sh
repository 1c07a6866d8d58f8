#!/bin/bash
# The share of the view a drag shows drawn, in the real window: opens a graph in build/orvo under
# a virtual X screen (the view 800 x 600), drags it with xdotool from the home view and again deep
# in the site, takes screenshots while the pointer moves and after it has been held still for 3 s
# (the picture refined), and counts the drawn share of each, drawn with vertex arrays and again
# with per-node calls (ORVO_PER_NODE_DRAWING=1), both through the GL 1.1 path (--gl legacy), the
# only one that has per-node calls.
#   bench/window_drag_area.sh [GRAPH] [BUILD_DIR] [SHOT_DIR]
# Without GRAPH a 10 000 000-node site is generated (orvo-gen --nodes 10000000 --seed 1, 1.2 GB;
# opening it takes about a minute and 6 GB). Needs Xvfb, xdotool and ImageMagick's convert.
# Two shares are reported: drawn pixels (neither background nor the boundary sphere), and 8 x 8
# cells of the view that hold any drawn pixel.
set -eu
. "$(dirname "$0")/virtual_display.sh"
build=${2:-build}
shots=${3:-$(mktemp -d)}
mkdir -p "$shots"
graph=${1:-}
made=
if [ -z "$graph" ]; then
  graph="$shots/site10m.orvo"
  "$build/tools/orvo-gen" --nodes 10000000 --seed 1 -o "$graph"
  made=1
fi
readonly width=800 height=600

count() {  # a screenshot -> "pixels% cells%"
  convert "$1" -crop ${width}x${height}+0+$top +repage -depth 8 rgb:- | python3 -c '
import sys
w, h = '$width', '$height'
d = sys.stdin.buffer.read()
background, sphere = (255, 255, 255), (230, 178, 153)
drawn = bytearray(w * h)
for i in range(w * h):
    p = (d[3 * i], d[3 * i + 1], d[3 * i + 2])
    if p != background and max(abs(a - b) for a, b in zip(p, sphere)) > 3:
        drawn[i] = 1
cells = sum(1 for cy in range(0, h, 8) for cx in range(0, w, 8)
            if any(drawn[(cy + y) * w + cx:(cy + y) * w + cx + 8].count(1) for y in range(8)))
print("%.1f %.1f" % (100 * sum(drawn) / (w * h), 100 * cells / ((w // 8) * (h // 8))))'
}

run() {  # way (batched | per-node)
  local way=$1 pid window
  start_virtual_display 90
  ORVO_PER_NODE_DRAWING=$([ "$way" = per-node ] && echo 1 || echo 0) "$build/orvo" --gl legacy "$graph" \
    >/dev/null 2>&1 & pid=$!
  window=
  for _ in $(seq 600); do  # the title names the file once it is open
    window=$(xdotool search --name "$(basename "$graph") - orvo" 2>/dev/null | head -1) || true
    [ -n "$window" ] && break
    sleep 1
  done
  # The frame's menu, tool and status bars take 90 pixels around the view.
  xdotool windowsize "$window" $width $((height + 90)); sleep 5
  top=$(find_top)
  # A left drag from the right of the home view, 5 pixels a step, 50 steps a second.
  drag home 700 $((top + 272)) -5 0 120
  # Deep into the site (some 8 hyperbolic units from the home view), then a slow diagonal drag.
  for _ in 1 2; do drag - 700 $((top + 272)) -5 0 100; done
  drag - 420 $((top + 552)) 0 -5 60
  drag deep 300 $((top + 272)) 2 1 60
  kill $pid; wait $pid 2>/dev/null || true
  kill $display_pid; wait $display_pid 2>/dev/null || true
  for view in home deep; do
    local p c sp=0 sc=0 n=0
    for f in "$shots/$way-$view"-drag-*.miff; do
      read -r p c < <(count "$f")
      sp=$(echo "$sp + $p" | bc); sc=$(echo "$sc + $c" | bc); n=$((n + 1))
    done
    read -r p c < <(count "$shots/$way-$view-held.miff")
    echo "$way, $view view: during the drag pixels $(echo "scale=1; $sp / $n" | bc) %," \
      "cells $(echo "scale=1; $sc / $n" | bc) % ($n shots); held still pixels $p %, cells $c %"
  done
}

drag() {  # name (- for no screenshots) x y dx dy steps: a left drag, one step each 20 ms
  local name=$1 x=$2 y=$3 dx=$4 dy=$5 steps=$6 i
  xdotool mousemove "$x" "$y"; sleep 0.5; xdotool mousedown 1; sleep 0.1
  for i in $(seq 1 "$steps"); do
    xdotool mousemove $((x + dx * i)) $((y + dy * i))
    if [ "$name" != - ] && [ $((i % 10)) = 0 ]; then
      import -window root "$shots/$way-$name-drag-$i.miff" &
    fi
    sleep 0.02
  done
  sleep 3
  if [ "$name" != - ]; then import -window root "$shots/$way-$name-held.miff"; fi
  xdotool mouseup 1
}

find_top() {  # the first row of the view: the first white row at the left edge below the bars
  import -window root miff:- | convert - -crop 1x200+5+0 +repage -depth 8 rgb:- |
    python3 -c 'import sys; d = sys.stdin.buffer.read(); print(next(y for y in range(200) if d[3*y:3*y+3] == b"\xff\xff\xff"))'
}

run batched
run per-node
if [ -n "$made" ]; then rm -f "$graph"; fi
echo "screenshots in $shots"
