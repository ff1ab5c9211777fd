#!/usr/bin/env bash
# Whole-process benchmarks of the batch road: the built program from start to exit against the
# databases' own HTML clients on the same query, plus the small-page cases.
#   bench/run.sh [BUILD]        (make bench)
# Each figure is the median of RUNS runs (default 3): wall seconds and peak resident memory from
# /usr/bin/time -v. Set SKIP_PG=1 to leave out the servers (PostgreSQL and MariaDB), SKIP_FILES=1
# to leave out the SQLite and demo cases.
. "$(dirname "$0")/common.sh" bench "${1:-build}"

run_app() { env -C "$app" PATH="$app/bin:$PATH" "$app/panorello" "$@"; }

query="SELECT id, nome, citta, importo, creato FROM dati"

sqlite_file() {  # sqlite_file PATH ROWS
  sqlite3 "$1" <<SQL
CREATE TABLE dati (id INTEGER, nome VARCHAR(40), citta VARCHAR(30), importo DOUBLE, creato DATETIME);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $2)
INSERT INTO dati SELECT i, 'Cliente ' || i || ' & figli', 'Citta ' || (i % 97),
       round(i * 1.37, 2), datetime('2024-01-01', '+' || (i % 86400) || ' seconds') FROM n;
SQL
}

echo "Panorello: benchmark dell'intera esecuzione batch (mediana di $RUNS)"
echo "macchina: $(nproc) core, carico $(cut -d' ' -f1-3 /proc/loadavg)"
echo

if [ "${SKIP_FILES:-0}" != 1 ]; then
# 1. SQLite, ROWS x 5 columns, one TABLE block, against sqlite3 -html.
sqlite_file "$work/big.db" "$ROWS"
config "DBTYPE=ACCESS" "DATABASE=$work/big.db"
blocks 1 TABLE "$query"
measure "sqlite3 -html ${ROWS} righe" sqlite3 -html "$work/big.db" "$query"
measure "panorello /RUN ${ROWS} righe SQLite" env -C "$app" PATH="$app/bin:$PATH" "$app/panorello" /RUN
grep -q "Fine RunDashboardGeneration OK" "$work/bench.log" || { echo "generazione non riuscita" >&2; exit 1; }
rows_in_page=$(grep -o '<tr>' "$work/page.html" | wc -l)
echo "  righe nella pagina: $((rows_in_page - 1)), pagina $(stat -c %s "$work/page.html") byte"
sqlite_ratio=$(awk -v a="$(result "panorello /RUN ${ROWS} righe SQLite" wall)" \
  -v b="$(result "sqlite3 -html ${ROWS} righe" wall)" 'BEGIN{printf "%.2f", a/b}')
echo "  rapporto tempo panorello/sqlite3 -html: $sqlite_ratio (obiettivo <= 0.8)"
echo

# 2. One tenth of the rows: the cost grows linearly.
small_rows=$((ROWS / 10))
sqlite_file "$work/tenth.db" "$small_rows"
config "DBTYPE=ACCESS" "DATABASE=$work/tenth.db"
measure "panorello /RUN ${small_rows} righe SQLite" env -C "$app" PATH="$app/bin:$PATH" "$app/panorello" /RUN
tenth_ratio=$(awk -v a="$(result "panorello /RUN ${ROWS} righe SQLite" wall)" \
  -v b="$(result "panorello /RUN ${small_rows} righe SQLite" wall)" 'BEGIN{printf "%.1f", a/b}')
echo "  rapporto ${ROWS}/${small_rows} righe: $tenth_ratio (lineare: circa 10)"
echo

# 3. A page of 200 small blocks (one connection each).
sqlite3 "$work/small.db" "CREATE TABLE piccola (mese VARCHAR(3), a INTEGER, b DOUBLE);
  INSERT INTO piccola VALUES ('Gen',1,1.5),('Feb',2,2.5),('Mar',3,3.5),('Apr',4,4.5);"
config "DBTYPE=ACCESS" "DATABASE=$work/small.db"
blocks 200 AUTO "SELECT mese, a, b FROM piccola"
measure "panorello /RUN 200 blocchi piccoli" env -C "$app" PATH="$app/bin:$PATH" "$app/panorello" /RUN
echo "  obiettivo < 0.3 s"
echo

# 4. The demo dashboard with the sample database present.
rm -f "$app/config.ini" "$app/blocks.ini"
run_app /DEMO
measure "panorello /DEMO (database presente)" env -C "$app" PATH="$app/bin:$PATH" "$app/panorello" /DEMO
echo "  obiettivo < 0.030 s e < 20480 KB"
echo

# 5. A blocks.ini of 100,000 blocks: load, list entries, save; and the window's list (offscreen).
"$build/bench/blocks_load_bench" 100000 "$RUNS" || { echo "lettura blocks.ini non riuscita" >&2; exit 1; }
if [ -x "$build/bench/window_list_bench" ]; then
  QT_QPA_PLATFORM=offscreen "$build/bench/window_list_bench" 100000 "$RUNS" 2>/dev/null
fi
echo

fi

# 6. PostgreSQL (libpq, and psqlODBC for comparison) against psql -H, MariaDB against
# mariadb -H, in the same run.
if [ "${SKIP_PG:-0}" != 1 ]; then
  bash "$root/tests/db/db_servers.sh" start "$servers" >/dev/null 2>&1 || { echo "server non avviati" >&2; exit 1; }
  env_value() { sed -n "s/^$1=//p" "$servers/servers.env"; }
  PG_PORT=$(env_value PG_PORT)
  MARIADB_PORT=$(env_value MARIADB_PORT)
  DATABASE=$(env_value DATABASE)
  USER=$(env_value USER)
  PASSWORD=$(env_value PASSWORD)
  export PGPASSWORD=$PASSWORD
  psql -q -h 127.0.0.1 -p "$PG_PORT" -U "$USER" -d "$DATABASE" -v ON_ERROR_STOP=1 <<SQL
CREATE TABLE dati (id integer, nome text, citta text, importo double precision, creato timestamp);
INSERT INTO dati SELECT i, 'Cliente ' || i || ' & figli', 'Citta ' || (i % 97), round(i * 1.37, 2),
       timestamp '2024-01-01' + (i % 86400) * interval '1 second' FROM generate_series(1, $ROWS) i;
ANALYZE dati;
SQL
  mariadb --no-defaults -h 127.0.0.1 -P "$MARIADB_PORT" -u "$USER" -p"$PASSWORD" "$DATABASE" <<SQL
CREATE TABLE dati (id INT, nome VARCHAR(60), citta VARCHAR(30), importo DOUBLE, creato DATETIME);
INSERT INTO dati SELECT seq, CONCAT('Cliente ', seq, ' & figli'), CONCAT('Citta ', seq % 97),
       ROUND(seq * 1.37, 2), TIMESTAMP '2024-01-01 00:00:00' + INTERVAL (seq % 86400) SECOND FROM seq_1_to_$ROWS;
SQL
  check_page() {  # check_page WHAT: the run succeeded and the page holds every row
    grep -q "Fine RunDashboardGeneration OK" "$work/bench.log" || { echo "generazione $1 non riuscita" >&2; exit 1; }
    grep -q 'class="error"' "$work/page.html" && { echo "errore nella pagina $1" >&2; exit 1; }
    local rows; rows=$(grep -o '<tr>' "$work/page.html" | wc -l)
    [ "$rows" -eq $((ROWS + 1)) ] || { echo "$1: $rows righe invece di $((ROWS + 1))" >&2; exit 1; }
  }
  ratio() {  # ratio OURS CLIENT TARGET_WALL TARGET_MEM
    awk -v a="$(result "$1" wall)" -v b="$(result "$2" wall)" -v c="$(result "$1" mem)" \
        -v d="$(result "$2" mem)" -v tw="$3" -v tm="$4" \
        'BEGIN{printf "  rapporto tempo %.2f (obiettivo <= %s), memoria %.2f (obiettivo <= %s)\n", a/b, tw, c/d, tm}'
  }
  blocks 1 TABLE "$query"
  measure "psql -H ${ROWS} righe" psql -h 127.0.0.1 -p "$PG_PORT" -U "$USER" -d "$DATABASE" -H -c "$query"
  config "DBTYPE=POSTGRESQL" "SERVER=127.0.0.1:$PG_PORT" "DATABASE=$DATABASE" "USER=$USER" "PASSWORD=$PASSWORD"
  measure "panorello /RUN ${ROWS} righe PostgreSQL libpq" env -C "$app" PATH="$app/bin:$PATH" "$app/panorello" /RUN
  check_page "PostgreSQL libpq"
  ratio "panorello /RUN ${ROWS} righe PostgreSQL libpq" "psql -H ${ROWS} righe" 0.8 0.25
  config "DBTYPE=POSTGRESQL" \
    "CONNECTIONSTRING=Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$PG_PORT;Database=$DATABASE;Uid=$USER;Pwd=$PASSWORD;"
  measure "panorello /RUN ${ROWS} righe PostgreSQL ODBC" env -C "$app" PATH="$app/bin:$PATH" "$app/panorello" /RUN
  check_page "PostgreSQL ODBC"
  ratio "panorello /RUN ${ROWS} righe PostgreSQL ODBC" "psql -H ${ROWS} righe" 1.0 0.75
  echo
  measure "mariadb -H ${ROWS} righe" mariadb --no-defaults -h 127.0.0.1 -P "$MARIADB_PORT" -u "$USER" \
    -p"$PASSWORD" -H -e "$query" "$DATABASE"
  # The MYSQL road as the settings give it (the MariaDB client library), then the ODBC driver.
  config "DBTYPE=MYSQL" "SERVER=127.0.0.1:$MARIADB_PORT" "DATABASE=$DATABASE" "USER=$USER" \
    "PASSWORD=$PASSWORD"
  measure "panorello /RUN ${ROWS} righe MariaDB" env -C "$app" PATH="$app/bin:$PATH" "$app/panorello" /RUN
  check_page "MariaDB"
  ratio "panorello /RUN ${ROWS} righe MariaDB" "mariadb -H ${ROWS} righe" 1.0 -
  echo "  picco panorello MariaDB: $(( $(result "panorello /RUN ${ROWS} righe MariaDB" mem) / 1024 )) MB (obiettivo < 30 MB)"
  config "DBTYPE=MYSQL" "CONNECTIONSTRING=Driver={MariaDB Unicode};Server=127.0.0.1;Port=$MARIADB_PORT;Database=$DATABASE;User=$USER;Password=$PASSWORD;"
  measure "panorello /RUN ${ROWS} righe MariaDB ODBC" env -C "$app" PATH="$app/bin:$PATH" "$app/panorello" /RUN
  check_page "MariaDB ODBC"
  ratio "panorello /RUN ${ROWS} righe MariaDB ODBC" "mariadb -H ${ROWS} righe" 1.0 -
fi
