#!/bin/bash
# orvo-import writing the map of a generated site's outline through its column read, against
# another build's orvo-import (the Graph read, before the column path) on the same outline: wall
# time and peak memory of each whole process (GNU time), the bytes of id and label text spilled,
# and whether the two maps are the same bytes (cmp). Sites come from bench's orvo_site_stream.
#   bench/column_map.sh [-b BUILD_DIR] [-o OTHER_BUILD_DIR] [-s "NODES..."] [-t TEXT_MEMORY] [-p]
#                       [-k KEEP_DIR]
# Without -o only the column path runs (for sizes the Graph read cannot open). -t passes
# --text-memory to the column path. -p also opens each map as fresh processes (orvo-inspect
# --stats, orvo-snapshot --no-refine) and gives the map's size against the outline's, so that one
# run gives the write and open figures of every size side by side. -k keeps each map as
# KEEP_DIR/site-NODES.orvomap, for the window's and Find's figures after.
set -eu
build=build
other=
open_maps=
sizes=(1000000)
text=()
keep=
while getopts b:o:s:t:pk: option; do
  case $option in
    b) build=$OPTARG ;;
    o) other=$OPTARG ;;
    s) read -r -a sizes <<<"$OPTARG" ;;
    t) text=(--text-memory "$OPTARG") ;;
    p) open_maps=1 ;;
    k) keep=$OPTARG ;;
    *) exit 2 ;;
  esac
done
work=$(mktemp -d "${TMPDIR:-/tmp}/column-map-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Wall seconds and peak MiB of one run.
run() {
  local label=$1
  shift
  if /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/err"; then
    read -r seconds kib <"$work/time"
    printf '%-28s %8.2f s %8d MiB\n' "$label" "$seconds" "$((kib / 1024))"
  else
    echo "$label: failed: $(tail -c 300 "$work/err")"
  fi
}

for nodes in "${sizes[@]}"; do
  outline="$work/site-$nodes.graph"
  "$build/bench/orvo_site_stream" -n "$nodes" -s 1 -o "$outline" 2>/dev/null
  echo "== $nodes nodes, $(($(stat -c %s "$outline") >> 20)) MiB of outline"
  run "column read" "$build/tools/orvo-import" "$outline" -o "$work/columns.orvomap" "${text[@]}"
  if [ -n "$open_maps" ]; then
    echo "map: $(($(stat -c %s "$work/columns.orvomap") >> 20)) MiB," \
      "outline: $(($(stat -c %s "$outline") >> 20)) MiB"
    run "inspect --stats" "$build/tools/orvo-inspect" --stats "$work/columns.orvomap"
    run "snapshot --no-refine" env -u DISPLAY "$build/tools/orvo-snapshot" --no-refine \
      "$work/columns.orvomap" -o "$work/picture.png"
  fi
  if [ -n "$other" ]; then
    run "Graph read ($other)" "$other/tools/orvo-import" "$outline" -o "$work/graph.orvomap"
    if cmp -s "$work/columns.orvomap" "$work/graph.orvomap"; then
      echo "maps: the same bytes ($(($(stat -c %s "$work/columns.orvomap") >> 20)) MiB)"
    else
      echo "maps: DIFFERENT"
    fi
    rm -f "$work/graph.orvomap"
  fi
  [ -n "$keep" ] && mv "$work/columns.orvomap" "$keep/site-$nodes.orvomap"
  rm -f "$outline" "$work/columns.orvomap"
done
