#!/usr/bin/env bash
# Data-fetch benchmark: 1,000,000 rows x 5 columns from SQLite and PostgreSQL into a ResultGrid,
# beside sqlite3 and psql -At on the same data. Starts its own PostgreSQL (as the tests do) and
# stops it at the end.
#   bash bench/db_fetch.sh [BUILD_FOLDER] [ROWS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
rows=${2:-1000000}
bench="$build/bench/db_fetch_bench"
[ -x "$bench" ] || { echo "manca $bench: compilare con -DPANORELLO_BENCH=ON" >&2; exit 1; }

work=$(mktemp -d /tmp/panorello-bench-XXXXXX)
state="$work/servers"
cleanup() {
  bash "$here/../tests/db/db_servers.sh" stop "$state" || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "== dati: $rows righe"
sqlite3 "$work/bench.db" <<SQL
CREATE TABLE bench (id INTEGER, name TEXT, city TEXT, amount DOUBLE, created DATETIME);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $rows)
INSERT INTO bench
SELECT i, 'Cliente ' || i, CASE i % 4 WHEN 0 THEN 'Prato' WHEN 1 THEN 'Forlì' WHEN 2 THEN 'Firenze'
  ELSE 'Città di Castello' END, i * 1.25, strftime('%Y-%m-%d %H:%M:%S', '2024-01-01', '+' || i || ' seconds')
FROM n;
SQL

bash "$here/../tests/db/db_servers.sh" start "$state"
get() { sed -n "s/^$1=//p" "$state/servers.env"; }
port=$(get PG_PORT); db=$(get DATABASE); user=$(get USER); password=$(get PASSWORD)
PGPASSWORD=$password psql -q -h 127.0.0.1 -p "$port" -U "$user" -d "$db" <<SQL
CREATE TABLE bench (id integer, name text, city text, amount double precision, created timestamp);
INSERT INTO bench
SELECT i, 'Cliente ' || i, CASE i % 4 WHEN 0 THEN 'Prato' WHEN 1 THEN 'Forlì' WHEN 2 THEN 'Firenze'
  ELSE 'Città di Castello' END, i * 1.25, TIMESTAMP '2024-01-01' + i * INTERVAL '1 second'
FROM generate_series(1, $rows) i;
VACUUM ANALYZE bench;
SQL

echo "== misure (mediana di 3; tempi in secondi, memoria = picco del processo)"
"$bench" --sqlite "$work/bench.db" \
  --pg-string "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$port;Database=$db;Uid=$user;Pwd=$password;" \
  --pg-port "$port" --pg-db "$db" --pg-user "$user" --pg-password "$password" --runs 3

echo "== libpq: riga per riga, cursore o risultato intero (mediana di 3)"
"$build/bench/pg_modes_bench" "host=127.0.0.1 port=$port dbname=$db user=$user password=$password" \
  "SELECT id, name, city, amount, created FROM bench ORDER BY id" --runs 3
