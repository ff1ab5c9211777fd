# shellcheck shell=bash
# Shared start of the benchmark scripts: sourced as `. bench/common.sh NAME [BUILD]`.
# Sets root, build, RUNS, ROWS, work (a temporary folder removed on exit, with the test servers
# stopped if they were started in $servers), and app: a folder with the program beside its files,
# whose browser launch goes to a stand-in; config and blocks write its config.ini and blocks.ini,
# measure times a command and result reads its figures back.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
build=${2:-build}
RUNS=${RUNS:-3}
ROWS=${ROWS:-1000000}
[ -x "$build/panorello" ] || { echo "manca $build/panorello: compilare prima" >&2; exit 1; }

work=$(mktemp -d "/tmp/panorello-$1-XXXXXX")
chmod 755 "$work"
servers="$work/servers"
cleanup() {
  if [ -f "$servers/servers.env" ]; then bash "$root/tests/db/db_servers.sh" stop "$servers" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

app="$work/app"
mkdir -p "$app/bin"
cp "$build/panorello" "$build/blocks_demo.ini" "$app/"
printf '#!/bin/sh\nexit 0\n' >"$app/bin/xdg-open"
chmod +x "$app/bin/xdg-open"

# config SQL_CONNECTION_LINES...: writes config.ini of the app folder.
config() {
  {
    for line in "$@"; do printf '%s\r\n' "$line"; done
    printf 'OUTPUTFILE=%s\r\nPAGETITLE=Bench\r\nOPENBROWSER=0\r\nLOGFILE=%s\r\n' "$work/page.html" "$work/bench.log"
  } >"$app/config.ini"
}

# blocks N MODE SQL: writes blocks.ini with N copies of one block; @N@ in SQL becomes the
# block's number.
blocks() {
  local n=$1 mode=$2 sql=$3 i
  : >"$app/blocks.ini"
  for i in $(seq 1 "$n"); do
    printf '[BLOCK]\r\nID=%d\r\nTITLE=Blocco %d\r\nSUBTITLE=\r\nSORTORDER=%d\r\nACTIVE=1\r\nRENDERMODE=%s\r\nDASHBOARD=\r\nSQLBEGIN\r\n%s\r\nSQLEND\r\n[/BLOCK]\r\n' \
      "$i" "$i" "$i" "$mode" "${sql//@N@/$i}" >>"$app/blocks.ini"
  done
}

# measure LABEL COMMAND...: runs the command RUNS times, prints "LABEL wall_s peak_kb" (medians).
measure() {
  local label=$1
  shift
  local walls=() mems=() i
  "$@" >/dev/null 2>&1 || true  # one warm-up run: files in the page cache for both sides
  for i in $(seq 1 "$RUNS"); do
    /usr/bin/time -v "$@" >/dev/null 2>"$work/time.txt" || { cat "$work/time.txt" >&2; echo "$label: fallito" >&2; return 1; }
    walls+=("$(awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,p,":"); s=0; for(j=1;j<=n;j++) s=s*60+p[j]; print s}' "$work/time.txt")")
    mems+=("$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")")
  done
  local wall mem
  wall=$(printf '%s\n' "${walls[@]}" | sort -g | sed -n "$(( (RUNS + 1) / 2 ))p")
  mem=$(printf '%s\n' "${mems[@]}" | sort -g | sed -n "$(( (RUNS + 1) / 2 ))p")
  printf '%-44s %8.3f s %9d KB\n' "$label" "$wall" "$mem"
  eval "R_${label//[^A-Za-z0-9]/_}_wall=$wall; R_${label//[^A-Za-z0-9]/_}_mem=$mem"
}

# result LABEL wall|mem: a figure stored by measure.
result() { local v="R_${1//[^A-Za-z0-9]/_}_$2"; echo "${!v}"; }
