#!/bin/sh
# Starts or stops the throw-away PostgreSQL server of the database tests.
#
#   pg_fixture.sh start ENVFILE   initdb + pg_ctl start in a fresh temporary folder; unix socket only
#                                 (no TCP listener), on a port no other server uses; writes
#                                 PG_SOCKET_DIR, PG_PORT, PG_USER, PG_DATA_DIR to ENVFILE.
#   pg_fixture.sh stop ENVFILE    stops that server and removes its folder and ENVFILE.
#
# PostgreSQL refuses to run as root, so under root the server runs as the "postgres" account (or
# "nobody" when there is none) and the folder belongs to that account.
set -eu

action=$1
envfile=$2
bindir=${QUORVIN_PG_BINDIR:-}
if [ -z "$bindir" ]; then
    for d in /usr/lib/postgresql/*/bin; do
        [ -x "$d/initdb" ] && bindir=$d
    done
fi
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
    echo "pg_fixture: no PostgreSQL server binaries found (package postgresql)" >&2
    exit 1
fi

as_server() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u "$server_user" -- "$@"
    else
        "$@"
    fi
}

server_user=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
    if id postgres >/dev/null 2>&1; then server_user=postgres; else server_user=nobody; fi
fi

case "$action" in
start)
    if [ -f "$envfile" ]; then
        # A server left behind by an interrupted run: stop it first.
        "$0" stop "$envfile" || true
    fi
    base=$(mktemp -d /tmp/quorvin-pg-XXXXXX)
    chmod 755 "$base"
    [ "$(id -u)" -eq 0 ] && chown "$server_user" "$base"
    # Unix socket only, so the port just names the socket; still pick one no local server has.
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    as_server "$bindir/initdb" -D "$base/data" -U quorvin -A trust -E UTF8 --locale=C.UTF-8 >"$base/initdb.log" 2>&1 ||
        { cat "$base/initdb.log" >&2; exit 1; }
    as_server "$bindir/pg_ctl" -D "$base/data" -l "$base/server.log" -w -t 60 \
        -o "-k $base -p $port -c listen_addresses= -c fsync=off -c full_page_writes=off -c max_connections=50" start \
        >/dev/null || { cat "$base/server.log" >&2; exit 1; }
    mkdir -p "$(dirname "$envfile")"
    {
        echo "PG_SOCKET_DIR=$base"
        echo "PG_PORT=$port"
        echo "PG_USER=quorvin"
        echo "PG_DATA_DIR=$base/data"
    } >"$envfile"
    echo "PostgreSQL started: socket $base, port $port"
    ;;
stop)
    [ -f "$envfile" ] || exit 0
    base=$(sed -n 's/^PG_SOCKET_DIR=//p' "$envfile")
    if [ -n "$base" ] && [ -d "$base/data" ]; then
        as_server "$bindir/pg_ctl" -D "$base/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    case "$base" in /tmp/quorvin-pg-*) rm -rf "$base" ;; esac
    rm -f "$envfile"
    echo "PostgreSQL stopped"
    ;;
*)
    echo "usage: pg_fixture.sh start|stop ENVFILE" >&2
    exit 2
    ;;
esac
