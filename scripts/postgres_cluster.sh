#!/usr/bin/env bash
# A private PostgreSQL server for the tests: `start FOLDER` makes a cluster
# in FOLDER (initdb, as an unprivileged user when run as root), listening on
# a Unix socket in FOLDER and on no TCP port, and prints the connection
# string; `stop FOLDER` stops it and removes FOLDER.
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
stop)
  folder=$2
  if [ -d "$folder/data" ]; then
    "${as_owner[@]}" "$bin/pg_ctl" -D "$folder/data" -m fast -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$folder"
  ;;
*)
  echo "usage: scripts/postgres_cluster.sh start|stop FOLDER" >&2
  exit 2
  ;;
esac
