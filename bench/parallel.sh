#!/usr/bin/env bash
# Blocks side by side: the built program on the batch road with PANORELLO_JOBS=1 and =4 in the
# same run, on PostgreSQL (libpq; PG_ROAD=odbc for psqlODBC) and SQLite.
#   bench/parallel.sh [BUILD]
# Each figure is the median of RUNS runs (default 3): wall seconds and peak resident memory from
# /usr/bin/time -v. ROWS (default 1000000) sizes the four TABLE blocks of the memory case.
. "$(dirname "$0")/common.sh" parallel "${1:-build}"

# measure_jobs LABEL JOBS: the program on the batch road with PANORELLO_JOBS=JOBS, timed by
# measure; the page must show no error box.
measure_jobs() {
  measure "$1" env -C "$app" PATH="$app/bin:$PATH" PANORELLO_JOBS="$2" "$app/panorello" /RUN
  if grep -q 'class="error"' "$work/page.html"; then echo "$1: errore nella pagina" >&2; return 1; fi
}
ratio() { awk -v a="$(result "$1" wall)" -v b="$(result "$2" wall)" 'BEGIN{printf "%.2f", a/b}'; }

echo "Panorello: blocchi in parallelo, PANORELLO_JOBS=1 e =4 (mediana di $RUNS)"
echo "macchina: $(nproc) core, carico $(cut -d' ' -f1-3 /proc/loadavg)"
echo

bash "$root/tests/db/db_servers.sh" start "$servers" >/dev/null 2>&1 || { echo "server non avviati" >&2; exit 1; }
env_value() { sed -n "s/^$1=//p" "$servers/servers.env"; }
PG_PORT=$(env_value PG_PORT)
# The POSTGRESQL road as the settings give it (libpq); PG_ROAD=odbc measures psqlODBC instead.
if [ "${PG_ROAD:-libpq}" = odbc ]; then
  config "DBTYPE=POSTGRESQL" \
    "CONNECTIONSTRING=Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$PG_PORT;Database=$(env_value DATABASE);Uid=$(env_value USER);Pwd=$(env_value PASSWORD);"
else
  config "DBTYPE=POSTGRESQL" "SERVER=127.0.0.1:$PG_PORT" "DATABASE=$(env_value DATABASE)" \
    "USER=$(env_value USER)" "PASSWORD=$(env_value PASSWORD)"
fi

blocks 20 KPI "SELECT 1 AS fatto FROM pg_sleep(0.2)"
measure_jobs "PostgreSQL 20 x pg_sleep(0.2), 1 worker" 1
measure_jobs "PostgreSQL 20 x pg_sleep(0.2), 4 worker" 4
echo "  rapporto $(ratio "PostgreSQL 20 x pg_sleep(0.2), 4 worker" "PostgreSQL 20 x pg_sleep(0.2), 1 worker") (obiettivo <= 0.30)"

blocks 200 AUTO "SELECT m AS mese, m * 2 AS a, m * 1.5 AS b FROM generate_series(1, 4) m"
measure_jobs "PostgreSQL 200 blocchi piccoli, 1 worker" 1
measure_jobs "PostgreSQL 200 blocchi piccoli, 4 worker" 4
echo "  rapporto $(ratio "PostgreSQL 200 blocchi piccoli, 4 worker" "PostgreSQL 200 blocchi piccoli, 1 worker") (obiettivo <= 0.35)"
echo "  costo per blocco (connessione inclusa), 1 worker: $(awk -v a="$(result "PostgreSQL 200 blocchi piccoli, 1 worker" wall)" 'BEGIN{printf "%.1f ms", a * 1000 / 200}')"

blocks 1 AUTO "SELECT m AS mese, m * 2 AS a FROM generate_series(1, 12) m"
measure_jobs "PostgreSQL 1 blocco, 1 worker" 1
measure_jobs "PostgreSQL 1 blocco, 4 worker" 4
echo

sqlite3 "$work/small.db" "CREATE TABLE piccola (mese VARCHAR(3), a INTEGER, b DOUBLE);
  INSERT INTO piccola VALUES ('Gen',1,1.5),('Feb',2,2.5),('Mar',3,3.5),('Apr',4,4.5);"
config "DBTYPE=ACCESS" "DATABASE=$work/small.db"
blocks 200 AUTO "SELECT mese, a, b FROM piccola"
measure_jobs "SQLite 200 blocchi piccoli, 1 worker" 1
measure_jobs "SQLite 200 blocchi piccoli, 4 worker" 4
echo "  obiettivo < 0.3 s"
echo

sqlite3 "$work/big.db" <<SQL
CREATE TABLE dati (id INTEGER, nome VARCHAR(40), citta VARCHAR(30), importo DOUBLE, creato DATETIME);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $ROWS)
INSERT INTO dati SELECT i, 'Cliente ' || i || ' & figli', 'Citta ' || (i % 97),
       round(i * 1.37, 2), datetime('2024-01-01', '+' || (i % 86400) || ' seconds') FROM n;
SQL
config "DBTYPE=ACCESS" "DATABASE=$work/big.db"
blocks 4 TABLE "SELECT id, nome, citta, importo, creato FROM dati"
measure_jobs "SQLite 4 TABLE da $ROWS righe, 1 worker" 1
measure_jobs "SQLite 4 TABLE da $ROWS righe, 4 worker" 4
echo "  pagina $(stat -c %s "$work/page.html") byte; obiettivo memoria < 65536 KB"
