#!/bin/bash
# The share of the view a drag shows drawn, in the real window: opens a graph in build/orvo under
# a virtual X screen (the view 800 x 600), drags it leftwards with xdotool, takes screenshots
# while the pointer moves and once the picture has rested, and counts the drawn share of each,
# drawn with vertex arrays and again with per-node calls (ORVO_PER_NODE_DRAWING=1).
#   bench/window_drag_area.sh [GRAPH] [BUILD_DIR] [SHOT_DIR]
# Without GRAPH a 10 000 000-node site is generated (orvo-gen --nodes 10000000 --seed 1, 1.2 GB;
# opening it takes about a minute and 6 GB). Needs Xvfb, xdotool and ImageMagick's convert.
# Two shares are reported: drawn pixels (neither background nor the boundary sphere), and 8 x 8
# cells of the view that hold any drawn pixel.
set -eu
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
  local way=$1 display=:$((90 + RANDOM % 9)) pid xpid window
  Xvfb $display -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 & xpid=$!
  sleep 2
  export DISPLAY=$display
  ORVO_PER_NODE_DRAWING=$([ "$way" = per-node ] && echo 1 || echo 0) "$build/orvo" "$graph" \
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
  xdotool mousemove 700 $((top + 272)); sleep 0.5; xdotool mousedown 1; sleep 0.1
  for i in $(seq 1 120); do
    xdotool mousemove $((700 - 5 * i)) $((top + 272))
    if [ $((i % 20)) = 0 ]; then import -window root "$shots/$way-drag-$i.miff" & fi
    sleep 0.02
  done
  sleep 3; import -window root "$shots/$way-held.miff"
  xdotool mouseup 1
  kill $pid; wait $pid 2>/dev/null || true
  kill $xpid; wait $xpid 2>/dev/null || true
  local p c sp=0 sc=0 n=0
  for f in "$shots/$way"-drag-*.miff; do
    read -r p c < <(count "$f")
    sp=$(echo "$sp + $p" | bc); sc=$(echo "$sc + $c" | bc); n=$((n + 1))
  done
  read -r p c < <(count "$shots/$way-held.miff")
  echo "$way: during the drag pixels $(echo "scale=1; $sp / $n" | bc) %, cells $(echo "scale=1; $sc / $n" | bc) % ($n shots); at rest pixels $p %, cells $c %"
}

find_top() {  # the first row of the view: the first white row at the left edge below the bars
  import -window root miff:- | convert - -crop 1x200+5+0 +repage -depth 8 rgb:- |
    python3 -c 'import sys; d = sys.stdin.buffer.read(); print(next(y for y in range(200) if d[3*y:3*y+3] == b"\xff\xff\xff"))'
}

run batched
run per-node
[ -n "$made" ] && rm -f "$graph"
echo "screenshots in $shots"
