#!/usr/bin/env bash
# Private database servers for the database tests: a PostgreSQL and a MariaDB server, each with
# its data folder under a fresh temporary folder, listening only on a Unix socket there.
#
#   db_servers.sh start <state-file>   starts both, writes the connection strings to <state-file>
#   db_servers.sh stop <state-file>    stops both and removes their folder
#
# As root, PostgreSQL runs as the unprivileged user "nobody" (it refuses to run as root).
set -uo pipefail

cmd=${1:-}
state=${2:-}
[ -n "$cmd" ] && [ -n "$state" ] || { echo "usage: $0 start|stop <state-file>" >&2; exit 2; }

as_owner() { if [ "$(id -u)" -eq 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi; }

stop_servers() {
  local dir=$1
  [ -d "$dir" ] || return 0
  if [ -f "$dir/pg/data/postmaster.pid" ]; then
    as_owner "$PGBIN/pg_ctl" -D "$dir/pg/data" -m immediate -w -t 20 stop >/dev/null 2>&1 || true
  fi
  if [ -f "$dir/my/mariadb.pid" ]; then
    local pid; pid=$(cat "$dir/my/mariadb.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -rf "$dir"
}

PGBIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)

fail() {
  echo "db_servers: $*" >&2
  [ -n "${dir:-}" ] && { for f in "$dir"/pg/log "$dir"/my/error.log; do [ -f "$f" ] && tail -20 "$f" >&2; done; stop_servers "$dir"; }
  rm -f "$state"
  exit 1
}

if [ "$cmd" = stop ]; then
  [ -f "$state" ] && dir=$(sed -n 's/^HL_DB_DIR=//p' "$state") && stop_servers "$dir"
  rm -f "$state"
  exit 0
fi
[ "$cmd" = start ] || { echo "db_servers: unknown command $cmd" >&2; exit 2; }

# A previous run that was interrupted may have left its servers behind.
if [ -f "$state" ]; then stop_servers "$(sed -n 's/^HL_DB_DIR=//p' "$state")"; rm -f "$state"; fi

[ -n "$PGBIN" ] || fail "PostgreSQL is not installed (package postgresql)"
command -v mariadbd >/dev/null || [ -x /usr/sbin/mariadbd ] || fail "MariaDB is not installed (package mariadb-server)"
MARIADBD=$(command -v mariadbd || echo /usr/sbin/mariadbd)

dir=$(mktemp -d /tmp/hl_db_servers.XXXXXX) || fail "cannot make a temporary folder"
chmod 755 "$dir"
mkdir -p "$dir/pg" "$dir/my"
[ "$(id -u)" -eq 0 ] && chown nobody "$dir/pg"

# PostgreSQL: trust authentication over the socket only.
as_owner "$PGBIN/initdb" -D "$dir/pg/data" -U tessera --auth=trust -E UTF8 --no-sync >"$dir/pg/initdb.log" 2>&1 ||
  fail "initdb failed: $(tail -5 "$dir/pg/initdb.log")"
as_owner "$PGBIN/pg_ctl" -D "$dir/pg/data" -l "$dir/pg/log" -w -t 30 \
  -o "-c listen_addresses='' -c unix_socket_directories=$dir/pg -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
  start >/dev/null 2>&1 || fail "PostgreSQL did not start"
"$PGBIN/createdb" -h "$dir/pg" -U tessera tessera >/dev/null 2>&1 || fail "cannot create the PostgreSQL database"

# MariaDB: no networking, one socket.
mariadb-install-db --no-defaults --datadir="$dir/my/data" --user="$(id -un)" --auth-root-authentication-method=normal \
  --skip-test-db >"$dir/my/install.log" 2>&1 || fail "mariadb-install-db failed: $(tail -5 "$dir/my/install.log")"
"$MARIADBD" --no-defaults --datadir="$dir/my/data" --socket="$dir/my/mysql.sock" --skip-networking \
  --pid-file="$dir/my/mariadb.pid" --user="$(id -un)" --log-error="$dir/my/error.log" \
  --innodb-buffer-pool-size=32M --innodb-flush-log-at-trx-commit=0 >/dev/null 2>&1 &
for _ in $(seq 1 300); do
  mariadb-admin --no-defaults --socket="$dir/my/mysql.sock" -uroot ping >/dev/null 2>&1 && break
  sleep 0.1
done
mariadb --no-defaults --socket="$dir/my/mysql.sock" -uroot -e "create database tessera" >/dev/null 2>&1 ||
  fail "MariaDB did not start"

cat >"$state" <<STATE
HL_DB_DIR=$dir
HL_PGSQL_CONNECTION=Driver=PostgreSQL ANSI;Servername=$dir/pg;Port=5432;Database=tessera;UID=tessera;ByteaAsLongVarBinary=1
HL_MYSQL_CONNECTION=Driver=MariaDB Unicode;Socket=$dir/my/mysql.sock;Database=tessera;UID=root
HL_PSQL=$PGBIN/psql -h $dir/pg -U tessera tessera
STATE
echo "db_servers: PostgreSQL and MariaDB are up under $dir"
