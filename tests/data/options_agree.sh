#!/usr/bin/env bash
# A program's options are listed in three places: its --help, its man page and
# its bash completion. They must list the same options, and --help and the man
# page the same value for each ("--seed N" in both).
# Usage: options_agree.sh PROGRAM_BINARY MAN_PAGE_SOURCE.scd COMPLETION_FILE
set -uo pipefail
binary=$1
page=$2
completion=$3
program=$(basename "$binary")

# --help: lines that start with an option, then its value if the next word
# starts with a capital (N, X,Y, FILE.bmp), then the description.
fromHelp=$("$binary" --help | sed -nE 's/^ +(-[-a-z]+)( ([A-Z][^ ]*))?( .*)?$/\1 \3/p' | sed 's/ $//' | LC_ALL=C sort)

# The man page: the headings of the OPTIONS section, "*--seed* _N_".
fromPage=$(awk '/^# /{ inside = ($0 == "# OPTIONS") } inside' "$page" \
  | sed -nE 's/^\*(-[-a-z]+)\*( _([^_]+)_)?$/\1 \3/p' | sed 's/ $//' | LC_ALL=C sort)

# The completion: what Tab offers after "program -".
fromCompletion=$(
  framework=/usr/share/bash-completion/bash_completion
  if [ -r "$framework" ]; then
    # shellcheck source=/dev/null
    source "$framework"
  else
    # The part of bash-completion the completion uses to read the line.
    _init_completion() { words=("${COMP_WORDS[@]}") cword=$COMP_CWORD cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}; }
  fi
  # shellcheck source=/dev/null
  source "$completion"
  COMP_WORDS=("$program" -) COMP_CWORD=1 COMP_LINE="$program -" COMP_POINT=${#COMP_LINE}
  function=$(complete -p "$program" | sed -E 's/.* -F ([^ ]+) .*/\1/')
  "$function" "$program" - "$program"
  printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort
)

failed=0
if [ -z "$fromHelp" ]; then
  echo "$program --help lists no options"
  failed=1
fi
if [ "$fromHelp" != "$fromPage" ]; then
  echo "$program: --help and the man page $(basename "$page") list different options (< help, > man page):"
  diff <(echo "$fromHelp") <(echo "$fromPage")
  failed=1
fi
if [ "$(cut -d' ' -f1 <<<"$fromHelp")" != "$fromCompletion" ]; then
  echo "$program: --help and the completion offer different options (< help, > completion):"
  diff <(cut -d' ' -f1 <<<"$fromHelp") <(echo "$fromCompletion")
  failed=1
fi
[ "$failed" -eq 0 ] && echo "$program: --help, man page and completion list the same $(wc -l <<<"$fromHelp") options"
exit "$failed"
