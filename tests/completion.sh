#!/usr/bin/env bash
# Drives the bash completion of ssmsg as bash does: COMP_WORDS and COMP_CWORD for a command line
# typed up to the cursor, then the completion function, then COMPREPLY.
#   tests/completion.sh TOOL COMPLETION_FILE
set -u
tool=$1
[[ $tool == */* ]] && tool=$(realpath "$tool")
# shellcheck source=/dev/null
source "$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch site.json sent.log
failures=0

# Completes LINE (the cursor at its end; a trailing space starts a new word) into COMPREPLY.
complete_line() {
  read -ra COMP_WORDS <<<"$1"
  [[ $1 == *" " ]] && COMP_WORDS+=("")
  COMP_WORDS[0]=$tool
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _ssmsg
}

# expect LINE WORDS: the completions are exactly WORDS (in any order).
expect() {
  complete_line "$1"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')
  if [[ $got != "$2" ]]; then
    echo "completion of '$1': got '$got', expected '$2'"
    failures=$((failures + 1))
  fi
}

# includes LINE WORDS: the completions include each of WORDS.
includes() {
  complete_line "$1"
  local word
  for word in $2; do
    if ! printf '%s\n' "${COMPREPLY[@]}" | grep -qxF -- "$word"; then
      echo "completion of '$1': '$word' is missing from '${COMPREPLY[*]}'"
      failures=$((failures + 1))
    fi
  done
}

includes "ssmsg " "settings diff ask-settings interface validate demo-site tasks decode import"
expect "ssmsg set" "settings"
expect "ssmsg se" "serve settings"
expect "ssmsg user " "add list passwd remove role token"
expect "ssmsg user add ada --config si" "site.json"
expect "ssmsg user add ada --role " "admin editor viewer"
expect "ssmsg user token ada --list --c" "--config"
expect "ssmsg --v" "--version"
expect "ssmsg interface " "poll set-nodes start stop"
expect "ssmsg settings --f" "--format"
expect "ssmsg settings --format " "json lines"
expect "ssmsg interface poll --format j" "json"
expect "ssmsg settings --task a" "all"
expect "ssmsg settings --task 16" "160 161 162 163 164 165 166 167 168 169"
expect "ssmsg diff --task 161,17" "161,170 161,171 161,172 161,173 161,174 161,175 161,176 161,177"
expect "ssmsg settings --config s" "sent.log site.json"
expect "ssmsg diff --from-messages se" "sent.log"
expect "ssmsg import --enums-from si" "site.json"
expect "ssmsg decode si" "site.json"
expect "ssmsg settings --jobs " ""
expect "ssmsg settings --config site.json --i" "--interface"
includes "ssmsg settings --interface 1 --" "--node --task --time --output --help"
expect "ssmsg interface start --main --i" "--interface --ip"
expect "ssmsg diff --to site.json --s" "--summary"

if ((failures)); then
  echo "$failures completion checks failed"
  exit 1
fi
