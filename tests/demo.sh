#!/usr/bin/env bash
# Runs the prereq tool on a scratch copy of every example machine with a few option sets and
# prints what it decided: machine, options, exit status and the last lines of its log.
set -uo pipefail
BIN=${1:?usage: demo.sh <bin dir> <machines dir>}
MACHINES=${2:?usage: demo.sh <bin dir> <machines dir>}
TOOL="$BIN/hlprereqhandler"
SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/hl-demo-XXXXXX")
trap 'rm -rf "$SCRATCH"' EXIT
LIBDIR="$(dirname "$BIN")/lib"

OPTION_SETS=("" "-p KB5005565 -l Windows -s 1 -c abc" "-x 32")
LOG_REL="drive_c/Program Files (x86)/Harborline/Agent/logs/hlprereqhandler.log"

meaning() {
  case "$1" in
    0) echo "0 (may deploy)" ;;
    13) echo "13 (no agent)" ;;
    253) echo "253 = 15613 (wait: active antivirus)" ;;
    *) echo "$1" ;;
  esac
}

# Installs the Defender client library fixture where machine.json asks for it.
install_defender() {
  local machine=$1
  [ -f "$machine/machine.json" ] || return 0
  local where kind
  where=$(sed -n 's/.*"defenderLibrary"[[:space:]]*:[[:space:]]*"\([^"]*\)".*/\1/p' "$machine/machine.json" | head -1)
  [ -n "$where" ] || return 0
  kind=$(sed -n 's/.*"defenderLibraryKind"[[:space:]]*:[[:space:]]*"\([^"]*\)".*/\1/p' "$machine/machine.json" | head -1)
  local lib="$LIBDIR/libmpclient_fixture.so"
  [ "$kind" = "noWDStatus" ] && lib="$LIBDIR/libmpclient_nostatus_fixture.so"
  [ -f "$lib" ] || { echo "demo: missing $lib (build first)" >&2; return 0; }
  local rel=${where#?:\\}
  rel=${rel//\\//}
  mkdir -p "$machine/drive_c/$(dirname "$rel")"
  cp "$lib" "$machine/drive_c/$rel"
}

printf '%-30s %-38s %-38s %s\n' MACHINE OPTIONS EXIT "LAST LOG LINES"
printf '%-30s %-38s %-38s %s\n' "-------" "-------" "----" "--------------"
for src in "$MACHINES"/*/; do
  name=$(basename "$src")
  for opts in "${OPTION_SETS[@]}"; do
    work="$SCRATCH/$name"
    rm -rf "$work"
    cp -r "$src" "$work"
    install_defender "$work"
    # shellcheck disable=SC2086
    HL_MACHINE="$work" "$TOOL" $opts >/dev/null 2>&1
    status=$?
    lines="(no log)"
    if [ -f "$work/$LOG_REL" ]; then
      lines=$(grep -E '\[(INFO|ERROR)\] ' "$work/$LOG_REL" | tail -n 2 | sed 's/^\[[^]]*\] \[[^]]*\] //' |
              tr -d '\r' | paste -sd'|' - | sed 's/|/ | /g')
    fi
    printf '%-30s %-38s %-38s %s\n' "$name" "${opts:-(none)}" "$(meaning $status)" "$lines"
  done
done
