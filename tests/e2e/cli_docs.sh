#!/usr/bin/env bash
# The packaged manual page and bash completion are what rovena-cli's option tables make, the
# manual is clean roff, and the completion offers each command's own options and values.
# Usage: cli_docs.sh BIN_DIR SOURCE_DIR
set -euo pipefail
cli="$1/rovena-cli"
source_dir="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cli" --write-docs "$work"
for f in rovena-cli.1 rovena-cli.bash-completion; do
  diff -u "$source_dir/packaging/$f" "$work/$f" ||
    fail "packaging/$f differs from the option tables; run: cmake --build build --target cli-docs"
done
if command -v groff >/dev/null; then
  warnings=$(groff -man -ww -z "$work/rovena-cli.1" 2>&1)
  [[ -z "$warnings" ]] || fail "the manual page has roff warnings: $warnings"
fi

# Each case: the words typed so far (the last one being completed), then what must and what
# must not be offered.
source "$work/rovena-cli.bash-completion"
mkdir "$work/folder"
offered() {
  read -r -a COMP_WORDS <<<"rovena-cli $1"
  [[ "$1" == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _rovena_cli
  echo " ${COMPREPLY[*]-} "
}
while IFS='|' read -r typed wanted unwanted; do
  got=$(cd "$work" && offered "$typed")
  for w in $wanted; do [[ "$got" == *" $w "* ]] || fail "'rovena-cli $typed' offers [$got], not $w"; done
  for w in $unwanted; do [[ "$got" != *" $w "* ]] || fail "'rovena-cli $typed' offers $w"; done
done <<'CASES'
ver|verify verify-export|
frames --j|--jobs|
frames -|--force --quiet --y4m|--json
info --|--json --help|--force --jobs
track --format |csv gpx|json text
trip --format |text csv json|gpx
export --overlay |none time,speed|
export --event ||hard_braking
find --event |hard_braking stop|
frames -o |folder|rovena-cli.1
cut --|--across-gaps --sidecars|--outputs-only
verify-export --|--outputs-only|--force
export --band |below over|
frames --y4m |folder rovena-cli.1|
CASES
if [[ -r "${TZDIR:-/usr/share/zoneinfo}/zone1970.tab" ]]; then
  [[ $(offered "export --tz Europe/Wars") == *" Europe/Warsaw "* ]] || fail "--tz offers no zone names"
fi
echo "manual page and completion match the option tables"
