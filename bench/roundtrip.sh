#!/usr/bin/env bash
# Round trips: pages of small blocks on the batch road against the database's own client running
# the same queries on one connection, on loopback and through bench/delay_proxy.py (every chunk
# passed on DELAY_MS later, default 10, in each direction), PostgreSQL 15 and MariaDB started with
# tests/db/db_servers.sh.
#   bench/roundtrip.sh [BUILD]
# Program and client runs alternate (program, client, program, client, ...) RUNS times (default 5,
# at least 3) after one warm-up of each; figures are medians of the wall time from process start
# to exit. Every page must be free of error boxes and every log must end the run OK.
RUNS=${RUNS:-5}
# shellcheck source-path=SCRIPTDIR source=common.sh
. "$(dirname "$0")/common.sh" roundtrip "${1:-build}"
[ "$RUNS" -ge 3 ] || { echo "RUNS deve essere almeno 3" >&2; exit 2; }
DELAY_MS=${DELAY_MS:-10}

proxies=()
stop_proxies() {
  local pid
  for pid in "${proxies[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap 'stop_proxies; cleanup' EXIT

# start_proxy VAR PORT: a delaying proxy in front of 127.0.0.1:PORT; VAR gets its port.
start_proxy() {
  local out="$work/proxy-$2" i
  python3 "$root/bench/delay_proxy.py" --upstream "127.0.0.1:$2" --delay-ms "$DELAY_MS" \
    >"$out.port" 2>"$out.err" &
  proxies+=("$!")
  for i in $(seq 1 100); do
    grep -q . "$out.port" && break
    sleep 0.05
  done
  grep -q . "$out.port" || { echo "proxy non avviato" >&2; cat "$out.err" >&2; exit 1; }
  printf -v "$1" '%s' "$(head -n 1 "$out.port")"
}

# timed COMMAND...: runs the command (output in $work/out.txt); elapsed gets its wall seconds.
timed() {
  local start=${EPOCHREALTIME/,/.} end
  "$@" >"$work/out.txt" 2>"$work/err.txt" || {
    echo "fallito: $*" >&2
    cat "$work/err.txt" >&2
    exit 1
  }
  end=${EPOCHREALTIME/,/.}
  elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN{printf "%.4f", b - a}')
}

# ours [JOBS]: one checked run of the program; without JOBS, PANORELLO_JOBS is unset.
ours() {
  rm -f "$work/page.html"
  : >"$work/bench.log"
  timed env -u PANORELLO_JOBS -C "$app" PATH="$app/bin:$PATH" ${1:+"PANORELLO_JOBS=$1"} "$app/panorello" /RUN
  grep -q "Fine RunDashboardGeneration OK" "$work/bench.log" || {
    echo "generazione non riuscita:" >&2
    cat "$work/bench.log" >&2
    exit 1
  }
  if grep -q 'class="error"' "$work/page.html"; then
    echo "riquadro di errore nella pagina:" >&2
    grep -o 'class="error".\{0,300\}' "$work/page.html" | head -n 3 >&2
    exit 1
  fi
  local values
  values=$(grep -o 'class="kpivalue"' "$work/page.html" | wc -l)
  [ "$values" -eq "$page_blocks" ] || { echo "$values valori nella pagina invece di $page_blocks" >&2; exit 1; }
}

# client N COMMAND...: one run of the client; its output must hold N result tables.
client() {
  local n=$1 tables
  shift
  timed "$@"
  tables=$(grep -io '<table' "$work/out.txt" | wc -l)
  [ "$tables" -eq "$n" ] || { echo "$1: $tables tabelle invece di $n" >&2; exit 1; }
}

# psql itself, not Debian's wrapper script in the PATH (a Perl start of about 40 ms per run).
psql_bin=$(find /usr/lib/postgresql -path '*/bin/psql' 2>/dev/null | sort -V | tail -n 1)
[ -x "$psql_bin" ] || psql_bin=psql
psql_file() {  # psql_file PORT
  "$psql_bin" -X -q -h 127.0.0.1 -p "$1" -U "$DB_USER" -d "$DATABASE" -v ON_ERROR_STOP=1 -H -f "$work/queries.sql"
}
mariadb_file() {  # mariadb_file PORT
  mariadb --no-defaults -h 127.0.0.1 -P "$1" -u "$DB_USER" -p"$PASSWORD" -H "$DATABASE" <"$work/queries.sql"
}

# page N: N KPI blocks of one count each (page_blocks=N), and the same N queries in
# $work/queries.sql.
query="SELECT count(*) AS quanti FROM typed WHERE i > @N@ * 25"
page() {
  local i
  page_blocks=$1
  blocks "$1" KPI "$query"
  for i in $(seq 1 "$1"); do printf '%s;\n' "${query//@N@/$i}"; done >"$work/queries.sql"
}

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
spread() { printf '%s\n' "$@" | sort -g | awk 'NR == 1 {a = $1} {b = $1} END {printf "%.3f-%.3f", a, b}'; }

# compare CASE N TARGET WITH_ONE CLIENT_COMMAND...: the program and the client alternately (with
# WITH_ONE=1 also the program with PANORELLO_JOBS=1, for information); medians and the ratio.
compare() {
  local name=$1 n=$2 target=$3 with_one=$4 i
  shift 4
  local ours_t=() one_t=() client_t=()
  ours
  client "$n" "$@"
  if [ "$with_one" = 1 ]; then ours 1; fi
  for i in $(seq 1 "$RUNS"); do
    ours
    ours_t+=("$elapsed")
    client "$n" "$@"
    client_t+=("$elapsed")
    if [ "$with_one" = 1 ]; then
      ours 1
      one_t+=("$elapsed")
    fi
  done
  local mine theirs
  mine=$(median "${ours_t[@]}")
  theirs=$(median "${client_t[@]}")
  echo "$name"
  printf '  %-46s %7.3f s  (%s)\n' "panorello /RUN, PANORELLO_JOBS non impostato" "$mine" "$(spread "${ours_t[@]}")"
  if [ "$with_one" = 1 ]; then
    printf '  %-46s %7.3f s  (%s)\n' "panorello /RUN, PANORELLO_JOBS=1" "$(median "${one_t[@]}")" "$(spread "${one_t[@]}")"
  fi
  local label="psql -H -f"
  if [ "$1" = mariadb_file ]; then label="mariadb -H"; fi
  printf '  %-46s %7.3f s  (%s)\n' "$label ($n query, una connessione)" "$theirs" "$(spread "${client_t[@]}")"
  awk -v a="$mine" -v b="$theirs" -v t="$target" \
    'BEGIN {r = a / b; printf "  rapporto %.2f (obiettivo <= %s): %s\n\n", r, t, (r <= t) ? "raggiunto" : "NON raggiunto"}'
}

load() { echo "$(nproc) core, carico $(cut -d' ' -f1-3 /proc/loadavg)"; }

echo "Panorello: blocchi piccoli contro il client del database su una connessione"
echo "(alternati, mediana di $RUNS dopo un giro di riscaldamento; proxy: $DELAY_MS ms per verso)"
echo "inizio: $(date -u '+%Y-%m-%d %H:%M UTC'), $(load)"
echo "client: $psql_bin -H -f e mariadb -H (stdin)"
echo

bash "$root/tests/db/db_servers.sh" start "$servers" >/dev/null 2>&1 || { echo "server non avviati" >&2; exit 1; }
env_value() { sed -n "s/^$1=//p" "$servers/servers.env"; }
PG_PORT=$(env_value PG_PORT)
MARIADB_PORT=$(env_value MARIADB_PORT)
DATABASE=$(env_value DATABASE)
DB_USER=$(env_value USER)
PASSWORD=$(env_value PASSWORD)
export PGPASSWORD=$PASSWORD

psql -X -q -h 127.0.0.1 -p "$PG_PORT" -U "$DB_USER" -d "$DATABASE" -v ON_ERROR_STOP=1 <<SQL
CREATE TABLE typed (i integer);
INSERT INTO typed SELECT g FROM generate_series(1, 5000) g;
ANALYZE typed;
SQL
mariadb --no-defaults -h 127.0.0.1 -P "$MARIADB_PORT" -u "$DB_USER" -p"$PASSWORD" "$DATABASE" <<SQL
CREATE TABLE typed (i INT);
INSERT INTO typed SELECT seq FROM seq_1_to_5000;
SQL

start_proxy PG_PROXY "$PG_PORT"
start_proxy MARIADB_PROXY "$MARIADB_PORT"
pg_config() {  # pg_config PORT
  config "DBTYPE=POSTGRESQL" "SERVER=127.0.0.1:$1" "DATABASE=$DATABASE" "USER=$DB_USER" "PASSWORD=$PASSWORD"
}

page 30
pg_config "$PG_PROXY"
compare "(a) PostgreSQL, $DELAY_MS ms per verso, 30 blocchi" 30 0.5 1 psql_file "$PG_PROXY"
config "DBTYPE=MYSQL" "SERVER=127.0.0.1:$MARIADB_PROXY" "DATABASE=$DATABASE" "USER=$DB_USER" "PASSWORD=$PASSWORD"
compare "(b) MariaDB, $DELAY_MS ms per verso, 30 blocchi" 30 0.5 1 mariadb_file "$MARIADB_PROXY"
pg_config "$PG_PORT"
compare "(c) PostgreSQL su loopback, 30 blocchi" 30 1.5 1 psql_file "$PG_PORT"
page 200
compare "(d) PostgreSQL su loopback, 200 blocchi" 200 2.0 1 psql_file "$PG_PORT"

echo "fine: $(date -u '+%Y-%m-%d %H:%M UTC'), $(load)"
