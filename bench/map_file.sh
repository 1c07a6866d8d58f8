#!/bin/bash
# Writing and opening a map against opening its outline, whole fresh processes in one run: for
# generated sites (1 000 000 nodes, and 10 000 000 with -l), orvo-import writing the map, then
# orvo-inspect and orvo-snapshot (--no-refine, 800 x 600 offscreen) on the outline and on the map,
# each run RUNS times alternately, reporting the median wall time and peak memory (GNU time) and
# the files' sizes, plain and gzip -9.
#   bench/map_file.sh [-n RUNS] [-b BUILD_DIR] [-l] [-s "NODES..."]
# -s picks the sizes; sites above 10 000 000 nodes come from bench's orvo_site_stream, which
# writes as it makes (same make-up, other bytes). The 10 000 000-node site takes about 1.2 GB of
# text and 4 GB of memory to open; a site whose map cannot be written (memory) is reported so,
# and the run goes on with the next.
set -eu
runs=3
build=build
sizes=(1000000)
while getopts n:b:ls: option; do
  case $option in
    n) runs=$OPTARG ;;
    b) build=$OPTARG ;;
    l) sizes=(1000000 10000000) ;;
    s) read -r -a sizes <<<"$OPTARG" ;;
    *) exit 2 ;;
  esac
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Median wall seconds and peak MiB of RUNS runs of the command.
measure() {
  local label=$1
  shift
  local times=() peaks=()
  for _ in $(seq "$runs"); do
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/err" ||
      { echo "$label: failed after $(cut -d' ' -f1 "$work/time") s: $(cat "$work/err")"; return 1; }
    read -r seconds kib <"$work/time"
    times+=("$seconds")
    peaks+=("$kib")
  done
  local t p
  t=$(printf '%s\n' "${times[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p")
  p=$(printf '%s\n' "${peaks[@]}" | sort -g | sed -n "$(((runs + 1) / 2))p")
  printf '%-34s %8.2f s %8.0f MiB\n' "$label" "$t" "$((p / 1024))"
}

for nodes in "${sizes[@]}"; do
  outline="$work/site-$nodes.graph"
  map="$work/site-$nodes.orvomap"
  if [ "$nodes" -gt 10000000 ]; then
    "$build/bench/orvo_site_stream" --nodes "$nodes" --seed 1 -o "$outline" 2>/dev/null
  else
    "$build/tools/orvo-gen" --nodes "$nodes" --seed 1 -o "$outline"
  fi
  echo "== $nodes nodes"
  if ! measure "write the map (orvo-import)" "$build/tools/orvo-import" "$outline" -o "$map"; then
    rm -f "$outline"
    continue
  fi
  printf '%-34s %8d MiB %8d MiB gzip -9\n' "outline size" \
    "$(($(stat -c %s "$outline") >> 20))" "$(($(gzip -9 -c "$outline" | wc -c) >> 20))"
  printf '%-34s %8d MiB %8d MiB gzip -9\n' "map size" \
    "$(($(stat -c %s "$map") >> 20))" "$(($(gzip -9 -c "$map" | wc -c) >> 20))"
  for file in "$outline" "$map"; do
    kind=outline
    [ "$file" = "$map" ] && kind=map
    measure "open the $kind (orvo-inspect)" "$build/tools/orvo-inspect" "$file"
    if [ -x "$build/tools/orvo-snapshot" ]; then
      measure "picture of the $kind (orvo-snapshot)" "$build/tools/orvo-snapshot" "$file" \
        -o "$work/picture.png" --no-refine
    fi
  done
done
