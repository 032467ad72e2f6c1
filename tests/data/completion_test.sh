#!/usr/bin/env bash
# Loads the completion as bash-completion does in a new shell (by the
# program's name, from XDG_DATA_DIRS) and checks what Tab offers.
# Usage: completion_test.sh COMPLETION_FILE; exit 77 (skipped) without bash-completion.
set -uo pipefail
completion=$1
framework=/usr/share/bash-completion/bash_completion
if [ ! -r "$framework" ]; then
  echo "bash-completion is not installed: skipped"
  exit 77
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/share/bash-completion/completions" "$scratch/work/pictures" "$scratch/work/views"
for program in mandel-explorer mandel-render; do
  cp "$completion" "$scratch/share/bash-completion/completions/$program"
done
touch "$scratch/work/"{a.bmp,B.BMP,c.png,notes.txt}

export XDG_DATA_DIRS=$scratch/share BASH_COMPLETION_USER_DIR=$scratch/none
# shellcheck source=/dev/null
source "$framework"
cd "$scratch/work" || exit 1

# What Tab offers at the end of `line`, sorted, on one line.
offers()
{
  local line=$1
  local -a COMP_WORDS
  read -ra COMP_WORDS <<<"$line"
  [[ $line == *' ' ]] && COMP_WORDS+=("")
  local COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=$line COMP_POINT=${#line}
  COMPREPLY=()
  complete -p "${COMP_WORDS[0]}" >/dev/null 2>&1 || __load_completion "${COMP_WORDS[0]}"
  local registered function
  registered=$(complete -p "${COMP_WORDS[0]}" 2>/dev/null) || { echo "<no completion>"; return; }
  function=$(sed -E 's/.* -F ([^ ]+) .*/\1/' <<<"$registered")
  "$function" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd ' '
}

# name | command line, completed at its end | what Tab offers
cases=(
  "explorer options|mandel-explorer --|--help --location --location-file --seed --version"
  "render options by prefix|mandel-render --mo|--mode --moduli"
  "picture files for --location-file|mandel-render --location-file |c.png notes.txt pictures views"
  "an option after values|mandel-render --seed 4 --fn 1,2,3 --re|--reference --repeat"
  "colour modes|mandel-render --mode |1 2 3 4 5 6 7 8 9"
  "a colour mode by its digit|mandel-render --mode 7|7"
  "pictures and folders for --out|mandel-render --out |B.BMP a.bmp c.png pictures views"
  "pictures by prefix for --out|mandel-render --out a|a.bmp"
  "nothing to guess for a seed|mandel-render --seed |"
  "nothing to guess for explorer's seed|mandel-explorer --seed |"
  "nothing to guess for a location|mandel-render --location |"
  "no file names where an option goes|mandel-render --mode 3 |"
  "only folders for keyframes|mandel-render --keyframes |pictures views"
  "nothing to guess for a frame rate|mandel-render --fps |"
)

failed=0
for row in "${cases[@]}"; do
  IFS='|' read -r name line expected <<<"$row"
  got=$(offers "$line")
  if [ "$got" != "$expected" ]; then
    echo "FAIL $name: '$line' offers '$got', expected '$expected'"
    failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "all ${#cases[@]} completions as expected"
exit "$failed"
