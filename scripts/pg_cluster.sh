#!/usr/bin/env bash
# A throw-away PostgreSQL cluster on loopback for the tests, made from Debian's postgresql
# package. PostgreSQL refuses to run as root, so as root the cluster belongs to the postgres
# user and its programs run through runuser.
#   scripts/pg_cluster.sh start DIR   makes and starts it; DIR/url then holds its URL
#   scripts/pg_cluster.sh stop DIR    stops it and removes DIR
set -euo pipefail

action=${1:?start or stop}
dir=${2:?a directory for the cluster}
bin=${PG_BIN:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)}
[ -x "$bin/initdb" ] || { echo "pg_cluster: no PostgreSQL found (install postgresql)" >&2; exit 1; }

as_owner=()
if [ "$(id -u)" -eq 0 ]; then
  as_owner=(runuser -u postgres --)
fi

stop() {
  if [ -f "$dir/data/postmaster.pid" ]; then
    "${as_owner[@]}" "$bin/pg_ctl" stop -D "$dir/data" -m immediate -s >/dev/null 2>&1 || true
  fi
}

case "$action" in
  start)
    stop
    rm -rf "$dir"
    mkdir -p "$dir"
    [ ${#as_owner[@]} -gt 0 ] && chown postgres "$dir"
    # Trust on loopback only: the cluster lives for one test run and listens on 127.0.0.1.
    "${as_owner[@]}" "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --no-sync \
      >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
    # Durability is not what these tests are about; fsync off keeps them quick.
    for attempt in 1 2 3 4 5 6 7 8; do
      port=$(( 20000 + (RANDOM % 20000) ))
      if "${as_owner[@]}" "$bin/pg_ctl" start -D "$dir/data" -w -t 30 -s -l "$dir/server.log" \
          -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off \
              -c synchronous_commit=off -c full_page_writes=off -c max_connections=200"; then
        echo "postgresql://postgres@127.0.0.1:$port/postgres" >"$dir/url"
        exit 0
      fi
      grep -q "already in use" "$dir/server.log" 2>/dev/null || break
    done
    cat "$dir/server.log" >&2 || true
    exit 1
    ;;
  stop)
    stop
    rm -rf "$dir"
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
