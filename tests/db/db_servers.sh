#!/usr/bin/env bash
# The PostgreSQL and MariaDB servers of the data-access tests (a CTest fixture): on loopback, free
# ports, a temporary folder, as their own system users when run as root.
#   db_servers.sh start|stop STATE_DIR   (start writes STATE_DIR/servers.env: ports, credentials)
set -euo pipefail

action=${1:?start|stop}
state_dir=${2:?state folder}
env_file="$state_dir/servers.env"

DB_NAME=panorello_test DB_USER=panorello DB_PASSWORD=Segreta.1
SEMI_USER=semicolon SEMI_PASSWORD='p;w}x"q={y'  # holds ; } " = and { on purpose

log() { echo "db_servers: $*" >&2; }

as_user() {  # as_user USER command...: the servers refuse root
  local user=$1; shift
  if [ "$(id -u)" -eq 0 ]; then runuser -u "$user" -- "$@"; else "$@"; fi
}

wait_for() {  # wait_for TRIES command...: retries every 0.1 s until the command succeeds
  local tries=$1 i; shift
  for i in $(seq 1 "$tries"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

gone() { ! kill -0 "$1" 2>/dev/null; }

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

free_port() {
  local port i
  for i in $(seq 1 200); do
    port=$(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 ))
    port_in_use "$port" || { echo "$port"; return 0; }
  done
  log "nessuna porta libera"
  return 1
}

pg_bin() {
  local dir; dir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  [ -n "$dir" ] && echo "$dir" || { log "PostgreSQL non installato (pacchetto postgresql)"; return 1; }
}

start_postgres() {
  local root=$1 port=$2 bin; bin=$(pg_bin)
  install -d -m 755 "$root/pg-run"  # everything the server writes is in folders of its own user
  printf '%s\n' "$DB_PASSWORD" >"$root/pg-run/pwfile"
  install -d -m 700 "$root/pg"
  if [ "$(id -u)" -eq 0 ]; then chown -R postgres:postgres "$root/pg-run" "$root/pg"; fi
  as_user postgres "$bin/initdb" -D "$root/pg" -U postgres --pwfile="$root/pg-run/pwfile" \
    --auth-local=trust --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 >"$root/pg-initdb.log" 2>&1 \
    || { cat "$root/pg-initdb.log" >&2; return 1; }
  as_user postgres "$bin/pg_ctl" -D "$root/pg" -l "$root/pg-run/server.log" -w -t 60 \
    -o "-c listen_addresses=127.0.0.1 -c port=$port -c fsync=off -c unix_socket_directories=$root/pg-run" \
    start >/dev/null || { cat "$root/pg-run/server.log" >&2; return 1; }
  wait_for 100 pg_isready -q -h 127.0.0.1 -p "$port" || { log "PostgreSQL non risponde"; return 1; }
  local semi_sql=${SEMI_PASSWORD//\'/\'\'}
  as_user postgres psql -q -v ON_ERROR_STOP=1 -h "$root/pg-run" -p "$port" -U postgres -d postgres <<SQL >/dev/null
CREATE ROLE $DB_USER LOGIN PASSWORD '$DB_PASSWORD';
CREATE ROLE $SEMI_USER LOGIN PASSWORD '$semi_sql';
CREATE DATABASE $DB_NAME OWNER $DB_USER ENCODING 'UTF8' TEMPLATE template0;
GRANT CONNECT ON DATABASE $DB_NAME TO $SEMI_USER;
SQL
}

start_mariadb() {
  local root=$1 port=$2
  install -d -m 750 "$root/mariadb"
  install -d -m 755 "$root/mariadb-run"
  if [ "$(id -u)" -eq 0 ]; then chown mysql:mysql "$root/mariadb" "$root/mariadb-run"; fi
  mariadb-install-db --no-defaults --user=mysql --datadir="$root/mariadb" \
    --auth-root-authentication-method=socket --skip-test-db >"$root/mariadb-install.log" 2>&1 \
    || { cat "$root/mariadb-install.log" >&2; return 1; }
  # Detached, with every stream on a file, so that CTest does not wait for it.
  setsid mariadbd --no-defaults --user=mysql --datadir="$root/mariadb" --socket="$root/mariadb-run/socket" \
    --port="$port" --bind-address=127.0.0.1 --pid-file="$root/mariadb-run/pid" \
    --log-error="$root/mariadb-run/error.log" --skip-log-bin </dev/null >/dev/null 2>&1 &
  wait_for 300 mariadb-admin --no-defaults -S "$root/mariadb-run/socket" -u root ping \
    || { log "MariaDB non risponde"; cat "$root/mariadb-run/error.log" >&2; return 1; }
  local semi_sql=${SEMI_PASSWORD//\"/\\\"}
  mariadb --no-defaults -S "$root/mariadb-run/socket" -u root <<SQL
CREATE DATABASE $DB_NAME CHARACTER SET utf8mb4;
CREATE USER '$DB_USER'@'localhost' IDENTIFIED BY '$DB_PASSWORD';
CREATE USER '$DB_USER'@'127.0.0.1' IDENTIFIED BY '$DB_PASSWORD';
CREATE USER '$SEMI_USER'@'localhost' IDENTIFIED BY "$semi_sql";
CREATE USER '$SEMI_USER'@'127.0.0.1' IDENTIFIED BY "$semi_sql";
GRANT ALL ON $DB_NAME.* TO '$DB_USER'@'localhost', '$DB_USER'@'127.0.0.1';
GRANT SELECT ON $DB_NAME.* TO '$SEMI_USER'@'localhost', '$SEMI_USER'@'127.0.0.1';
SQL
}

stop_all() {
  [ -f "$env_file" ] || return 0
  local root; root=$(sed -n 's/^ROOT=//p' "$env_file")
  if [ -n "$root" ] && [ -d "$root" ]; then
    if [ -f "$root/pg/postmaster.pid" ]; then
      as_user postgres "$(pg_bin)/pg_ctl" -D "$root/pg" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    if [ -f "$root/mariadb-run/pid" ]; then
      local pid; pid=$(cat "$root/mariadb-run/pid")
      kill "$pid" 2>/dev/null || true
      wait_for 100 gone "$pid" || kill -9 "$pid" 2>/dev/null || true
    fi
    rm -rf "$root"
  fi
  rm -f "$env_file"
}

case "$action" in
  start)
    mkdir -p "$state_dir"
    stop_all  # what an interrupted earlier run left behind
    root=$(mktemp -d /tmp/panorello-dbservers-XXXXXX) && chmod 755 "$root"
    printf 'ROOT=%s\n' "$root" >"$env_file.partial"  # first, so that stop cleans up a failed start
    mv "$env_file.partial" "$env_file"
    pg_port=$(free_port)
    start_postgres "$root" "$pg_port"
    maria_port=$(free_port)
    while [ "$maria_port" = "$pg_port" ]; do maria_port=$(free_port); done
    start_mariadb "$root" "$maria_port"
    refused_port=$(free_port)
    printf 'ROOT=%s\nPG_PORT=%s\nMARIADB_PORT=%s\nREFUSED_PORT=%s\nDATABASE=%s\nUSER=%s\nPASSWORD=%s\nSEMI_USER=%s\nSEMI_PASSWORD=%s\nREADY=1\n' \
      "$root" "$pg_port" "$maria_port" "$refused_port" "$DB_NAME" "$DB_USER" "$DB_PASSWORD" \
      "$SEMI_USER" "$SEMI_PASSWORD" >"$env_file.partial"
    mv "$env_file.partial" "$env_file"
    log "PostgreSQL su 127.0.0.1:$pg_port, MariaDB su 127.0.0.1:$maria_port"
    ;;
  stop) stop_all ;;
  *) echo "uso: $0 start|stop STATE_DIR" >&2; exit 2 ;;
esac
