#!/usr/bin/env bash
# A private PostgreSQL server for the tests: `start FOLDER` makes a cluster
# in FOLDER (initdb, as an unprivileged user when run as root), listening on
# a Unix socket in FOLDER and on no TCP port, and prints the connection
# string; `pooler FOLDER` starts PgBouncer in transaction mode in front of
# that server (socket in FOLDER/pooler, port 6432) and prints its connection
# string; `stop FOLDER` stops both and removes FOLDER.
set -euo pipefail

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
  echo "postgres_cluster: no PostgreSQL server is installed (scripts/setup.sh installs it)" >&2
  exit 1
fi

# initdb refuses to run as root: the cluster belongs to the packages' own user then.
as_owner=()
if [ "$(id -u)" -eq 0 ]; then
  as_owner=(runuser -u postgres --)
fi

case "${1:-}" in
start)
  folder=$2
  mkdir -p "$folder"
  [ ${#as_owner[@]} -eq 0 ] || chown postgres: "$folder"
  # C.UTF-8: the text search parser then takes Han, Kana and Hangul for
  # letters and CJK punctuation for none (under plain C every byte above
  # ASCII is a letter, and "東京。京タ" would be one word).
  "${as_owner[@]}" "$bin/initdb" -D "$folder/data" -U trellan --auth=trust -E UTF8 --locale=C.UTF-8 \
    >"$folder/initdb.log" 2>&1 || { cat "$folder/initdb.log" >&2; exit 1; }
  "${as_owner[@]}" "$bin/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w -t 60 \
    -o "-c listen_addresses='' -c unix_socket_directories='$folder' -c fsync=off -c max_connections=100" \
    start >/dev/null || { cat "$folder/server.log" >&2; exit 1; }
  echo "host=$folder user=trellan dbname=postgres"
  ;;
pooler)
  folder=$2
  pooler=$folder/pooler
  program=$(command -v pgbouncer || echo /usr/sbin/pgbouncer)
  [ -x "$program" ] || { echo "postgres_cluster: PgBouncer is not installed (scripts/setup.sh installs it)" >&2; exit 1; }
  mkdir -p "$pooler"
  # Every database of the server, by its own name; no password (the
  # server trusts its socket's users); each statement outside a
  # transaction may go to another server process.
  cat >"$pooler/pgbouncer.ini" <<INI
[databases]
* = host=$folder
[pgbouncer]
listen_addr =
listen_port = 6432
unix_socket_dir = $pooler
auth_type = trust
auth_file = $pooler/users.txt
pool_mode = transaction
default_pool_size = 4
max_client_conn = 200
logfile = $pooler/pgbouncer.log
pidfile = $pooler/pgbouncer.pid
INI
  echo '"trellan" ""' >"$pooler/users.txt"
  [ ${#as_owner[@]} -eq 0 ] || chown -R postgres: "$pooler"
  # PgBouncer refuses to run as root, as initdb does.
  "${as_owner[@]}" "$program" -d "$pooler/pgbouncer.ini" >/dev/null || { cat "$pooler/pgbouncer.log" >&2; exit 1; }
  for _ in $(seq 50); do [ -S "$pooler/.s.PGSQL.6432" ] && break; sleep 0.1; done
  [ -S "$pooler/.s.PGSQL.6432" ] || { cat "$pooler/pgbouncer.log" >&2; exit 1; }
  echo "host=$pooler port=6432 user=trellan dbname=postgres"
  ;;
stop)
  folder=$2
  if [ -f "$folder/pooler/pgbouncer.pid" ]; then
    kill "$(cat "$folder/pooler/pgbouncer.pid")" 2>/dev/null || true
  fi
  if [ -d "$folder/data" ]; then
    "${as_owner[@]}" "$bin/pg_ctl" -D "$folder/data" -m fast -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$folder"
  ;;
*)
  echo "usage: scripts/postgres_cluster.sh start|pooler|stop FOLDER" >&2
  exit 2
  ;;
esac
