#!/usr/bin/env bash
# Fetches the test files that are not kept in the repository and prints the path of each:
# a real Access (JET4) file, test/fruit.mdb of the npm package mdb 0.1.0 (tables Fruit,
# Fruit Salad, Veggie Salad, Muffin/Bread, Dried). Kept in $PANORELLO_TEST_DATA, else
# $XDG_CACHE_HOME/panorello-test (~/.cache/panorello-test); fetched once with npm.
# Exit status 1, with the reason on standard error, when the file cannot be had.
set -euo pipefail

readonly SHA256=e62eac8a7d29062328484aa0477ab897f3e9fb3abbd4de26d2e7748a8e0bce79
dest="${PANORELLO_TEST_DATA:-${XDG_CACHE_HOME:-$HOME/.cache}/panorello-test}"
file="$dest/fruit.mdb"

if [ -f "$file" ] && echo "$SHA256  $file" | sha256sum -c --status; then
  echo "$file"
  exit 0
fi
if ! command -v npm >/dev/null; then
  echo "fetch-test-data: npm non è installato: il file Access di prova non può essere scaricato" >&2
  exit 1
fi
mkdir -p "$dest"
work="$(mktemp -d "$dest/.fetch.XXXXXX")"
trap 'rm -rf "$work"' EXIT
if ! (cd "$work" && timeout 180 npm pack --loglevel=error mdb@0.1.0 >/dev/null 2>"$work/npm.log"); then
  echo "fetch-test-data: npm pack mdb@0.1.0 non riuscito: $(head -n 1 "$work/npm.log")" >&2
  exit 1
fi
tar --no-same-owner -xzf "$work/mdb-0.1.0.tgz" -C "$work" package/test/fruit.mdb
if ! echo "$SHA256  $work/package/test/fruit.mdb" | sha256sum -c --status; then
  echo "fetch-test-data: fruit.mdb del pacchetto mdb 0.1.0 non ha il contenuto atteso" >&2
  exit 1
fi
mv "$work/package/test/fruit.mdb" "$file"
echo "$file"
