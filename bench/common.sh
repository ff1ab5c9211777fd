# Shared start of the benchmark scripts: sourced as `. bench/common.sh NAME [BUILD]`.
# Sets root, build, RUNS, ROWS, work (a temporary folder removed on exit, with the test servers
# stopped if they were started in $servers), and app: a folder with the program beside its files,
# whose browser launch goes to a stand-in.
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
