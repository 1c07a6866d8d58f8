#!/usr/bin/env bash
# Writes a bash completion file for one program from what its --help prints, so the completion
# never lags behind the options:
#   bash-completion.sh NAME PROGRAM OUTPUT
# Options are completed after "-"; the value of an option is completed from the choices its
# help shows ({a,b,c} or a small integer range), not at all for numbers and ids, and as a file
# name otherwise; words that are not options are file names (the programs take files).
set -euo pipefail

name="$1"
program="$2"
output="$3"

help="$("$program" --help)"

# One line per option: "NAMES|KIND|WORDS", NAMES separated by spaces, KIND flag, choice, none or
# file.
options="$(awk '
  { line[NR] = $0 }
  END {
    for (i = 1; i <= NR; ++i) {
      if (line[i] ~ /^[A-Za-z][A-Za-z ]*:$/) { inOptions = (line[i] == "Options:"); continue }
      if (!inOptions || line[i] !~ /^  -/) continue
      text = substr(line[i], 3)
      split(text, parts, " ")
      names = parts[1]
      gsub(",", " ", names)
      rest = substr(text, length(parts[1]) + 1)
      kind = "flag"; words = ""
      # A value is announced by its type, one space after the names; the description follows
      # after a run of spaces, or on the next line when the names and type fill the column.
      if (rest ~ /^ [A-Z][A-Z0-9_]*([:= ]|$)/) {
        type = substr(rest, 2)
        description = ""
        if (match(type, /  +/)) {
          description = substr(type, RSTART + RLENGTH)
          type = substr(type, 1, RSTART - 1)
        } else if (i < NR && line[i + 1] ~ /^      +[^ -]/) {
          description = line[i + 1]
        }
        if (match(type, /\{[^}]*\}/)) {
          kind = "choice"
          words = substr(type, RSTART + 1, RLENGTH - 2)
          gsub(",", " ", words)
        } else if (match(type, /\[-?[0-9]+ - -?[0-9]+\]/)) {
          range = substr(type, RSTART + 1, RLENGTH - 2)
          split(range, bounds, " - ")
          kind = "none"
          if (bounds[2] - bounds[1] <= 16) {
            kind = "choice"
            for (v = bounds[1]; v <= bounds[2]; ++v) words = words (words == "" ? "" : " ") v
          }
        } else if (type ~ /^(PATH|FILE|DIR|DIRECTORY)([:= ]|$)/ ||
                   tolower(description) ~ /(file|director|folder|path)/) {
          kind = "file"
        } else {
          kind = "none"
        }
      }
      print names "|" kind "|" words
    }
  }' <<<"$help")"

if [ -z "$options" ]; then
  echo "$0: no options found in the --help of $program" >&2
  exit 1
fi

function_name="_${name//-/_}"
all_names=""
cases=""
while IFS='|' read -r names kind words; do
  all_names+="${all_names:+ }$names"
  pattern="${names// /|}"
  case "$kind" in
    flag) ;;
    choice) cases+="    $pattern) mapfile -t COMPREPLY < <(compgen -W \"$words\" -- \"\$cur\"); return ;;"$'\n' ;;
    none) cases+="    $pattern) return ;;"$'\n' ;;
    file) cases+="    $pattern) mapfile -t COMPREPLY < <(compgen -f -- \"\$cur\"); return ;;"$'\n' ;;
  esac
done <<<"$options"

tmp="$output.tmp"
cat >"$tmp" <<COMPLETION
# bash completion for $name (generated from its --help)

$function_name() {
  local cur="\${COMP_WORDS[COMP_CWORD]}" prev=""
  [ "\$COMP_CWORD" -gt 0 ] && prev="\${COMP_WORDS[COMP_CWORD - 1]}"
  COMPREPLY=()
  case "\$prev" in
$cases  esac
  if [[ "\$cur" == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$all_names" -- "\$cur")
  else
    mapfile -t COMPREPLY < <(compgen -f -- "\$cur")
  fi
}
complete -o filenames -F $function_name $name
COMPLETION
mv "$tmp" "$output"
