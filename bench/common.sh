# Shared start of the benchmark scripts: sourced as `. bench/common.sh NAME [BUILD]`.
# Sets root, build, RUNS, ROWS, work (a temporary folder removed on exit, with the test servers
# stopped if they were started in $servers), and app: a folder with the program beside its files,
# whose browser launch goes to a stand-in; config and blocks write its config.ini and blocks.ini.
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

# blocks N MODE SQL: writes blocks.ini with N copies of one block.
blocks() {
  local n=$1 mode=$2 sql=$3 i
  : >"$app/blocks.ini"
  for i in $(seq 1 "$n"); do
    printf '[BLOCK]\r\nID=%d\r\nTITLE=Blocco %d\r\nSUBTITLE=\r\nSORTORDER=%d\r\nACTIVE=1\r\nRENDERMODE=%s\r\nDASHBOARD=\r\nSQLBEGIN\r\n%s\r\nSQLEND\r\n[/BLOCK]\r\n' \
      "$i" "$i" "$i" "$mode" "$sql" >>"$app/blocks.ini"
  done
}
