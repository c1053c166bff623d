#!/bin/sh
# Starts or stops the throw-away MariaDB server of the database tests.
#
#   mariadb_fixture.sh start ENVFILE   mariadb-install-db + mariadbd in a fresh temporary folder, on a
#                                      private unix socket and on 127.0.0.1 at a port no other server
#                                      uses; writes MARIADB_SOCKET, MARIADB_HOST, MARIADB_PORT,
#                                      MARIADB_USER, MARIADB_DATA_DIR, MARIADB_DIR to ENVFILE.
#   mariadb_fixture.sh stop ENVFILE    stops that server and removes its folder and ENVFILE.
#
# No system configuration file is read (--no-defaults) and no system service is touched. The user
# MARIADB_USER has no password and every right, from the socket and from 127.0.0.1. Under root the
# server runs as the "mysql" account (or "nobody" when there is none) and the folder belongs to it.
# Durability is off (no flushes, no binary log, no doublewrite): the data lives for one test run.
set -eu

action=$1
envfile=$2

find_program() {
    for p in "$@"; do
        for d in /usr/sbin /usr/bin /usr/local/sbin /usr/local/bin; do
            [ -x "$d/$p" ] && { echo "$d/$p"; return 0; }
        done
        command -v "$p" 2>/dev/null && return 0
    done
    return 1
}

server_user=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
    if id mysql >/dev/null 2>&1; then server_user=mysql; else server_user=nobody; fi
fi

as_server() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u "$server_user" -- "$@"
    else
        "$@"
    fi
}

case "$action" in
start)
    mariadbd=$(find_program mariadbd mysqld) || {
        echo "mariadb_fixture: no MariaDB server found (package mariadb-server)" >&2
        exit 1
    }
    install_db=$(find_program mariadb-install-db mysql_install_db) || {
        echo "mariadb_fixture: no mariadb-install-db found (package mariadb-server)" >&2
        exit 1
    }
    client=$(find_program mariadb mysql) || {
        echo "mariadb_fixture: no mariadb client found (package mariadb-client)" >&2
        exit 1
    }
    if [ -f "$envfile" ]; then
        # A server left behind by an interrupted run: stop it first.
        "$0" stop "$envfile" || true
    fi
    base=$(mktemp -d /tmp/quorvin-maria-XXXXXX)
    chmod 755 "$base"
    [ "$(id -u)" -eq 0 ] && chown "$server_user" "$base"
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    socket=$base/mysqld.sock
    # Small, unsynced files: the data lives for one test run.
    set -- --innodb-buffer-pool-size=64M --innodb-log-file-size=16M --innodb-flush-log-at-trx-commit=0 \
        --innodb-doublewrite=0 --innodb-flush-method=nosync --innodb-use-native-aio=0 \
        --performance-schema=OFF --skip-log-bin --skip-name-resolve
    as_server "$install_db" --no-defaults --datadir="$base/data" --auth-root-authentication-method=normal \
        --skip-test-db --user="$server_user" "$@" >"$base/install.log" 2>&1 ||
        { cat "$base/install.log" >&2; rm -rf "$base"; exit 1; }
    set -- --no-defaults --datadir="$base/data" --socket="$socket" --port="$port" --bind-address=127.0.0.1 \
        --pid-file="$base/mariadbd.pid" --log-error="$base/server.log" --tmpdir="$base" \
        --user="$server_user" --character-set-server=utf8mb4 --collation-server=utf8mb4_unicode_ci \
        --max-connections=100 "$@"
    # setsid: the server leaves the test's session, so nothing of ctest waits for it.
    if [ "$(id -u)" -eq 0 ]; then
        setsid runuser -u "$server_user" -- "$mariadbd" "$@" </dev/null >/dev/null 2>&1 &
    else
        setsid "$mariadbd" "$@" </dev/null >/dev/null 2>&1 &
    fi
    # Written at once, so that stop finds a server whose start was interrupted.
    mkdir -p "$(dirname "$envfile")"
    {
        echo "MARIADB_SOCKET=$socket"
        echo "MARIADB_HOST=127.0.0.1"
        echo "MARIADB_PORT=$port"
        echo "MARIADB_USER=quorvin"
        echo "MARIADB_DATA_DIR=$base/data"
        echo "MARIADB_DIR=$base"
    } >"$envfile"
    # Waits until the server answers on its socket (at most 60 s).
    i=0
    until "$client" --no-defaults --socket="$socket" -u root -e "select 1" >/dev/null 2>&1; do
        i=$((i + 1))
        if [ $i -gt 600 ] || grep -q "Aborting" "$base/server.log" 2>/dev/null; then
            echo "mariadb_fixture: the server did not start" >&2
            cat "$base/server.log" >&2 2>/dev/null || true
            "$0" stop "$envfile" >/dev/null
            exit 1
        fi
        sleep 0.1
    done
    "$client" --no-defaults --socket="$socket" -u root -e "
        CREATE USER 'quorvin'@'localhost';
        CREATE USER 'quorvin'@'127.0.0.1';
        GRANT ALL PRIVILEGES ON *.* TO 'quorvin'@'localhost' WITH GRANT OPTION;
        GRANT ALL PRIVILEGES ON *.* TO 'quorvin'@'127.0.0.1' WITH GRANT OPTION;" ||
        { echo "mariadb_fixture: the test user cannot be created" >&2; "$0" stop "$envfile" >/dev/null; exit 1; }
    echo "MariaDB started: socket $socket, port $port"
    ;;
stop)
    [ -f "$envfile" ] || exit 0
    base=$(sed -n 's/^MARIADB_DIR=//p' "$envfile")
    case "$base" in
    /tmp/quorvin-maria-*)
        # A server still starting writes its process id a moment later.
        i=0
        while [ ! -f "$base/mariadbd.pid" ] && [ -d "$base/data" ] && [ $i -lt 50 ]; do
            i=$((i + 1))
            sleep 0.1
        done
        if [ -f "$base/mariadbd.pid" ]; then
            pid=$(cat "$base/mariadbd.pid")
            # The data is thrown away: no clean shutdown needed.
            kill -KILL "$pid" 2>/dev/null || true
            i=0
            while kill -0 "$pid" 2>/dev/null && [ $i -lt 100 ]; do
                i=$((i + 1))
                sleep 0.1
            done
        fi
        rm -rf "$base"
        ;;
    esac
    rm -f "$envfile"
    echo "MariaDB stopped"
    ;;
*)
    echo "usage: mariadb_fixture.sh start|stop ENVFILE" >&2
    exit 2
    ;;
esac
