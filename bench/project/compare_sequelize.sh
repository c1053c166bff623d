#!/bin/sh
# Reads the same PostgreSQL database with quorvin-cli (generate --all-tables) and with
# sequelize-auto, one whole process each, and prints both times and their ratio.
#
#   compare_sequelize.sh QUORVIN_CLI PROJECT_FILE MODEL_PACKAGE HOST PORT DATABASE USER
#
# HOST may be a socket folder. sequelize-auto is looked up on PATH, then in ./node_modules/.bin
# (npm install sequelize-auto sequelize pg pg-hstore); without it only quorvin's figures are printed.
set -eu
if [ $# -lt 7 ]; then
    echo "usage: $0 QUORVIN_CLI PROJECT_FILE MODEL_PACKAGE HOST PORT DATABASE USER" >&2
    exit 2
fi
cli=$1 project=$2 model=$3 host=$4 port=$5 database=$6 user=$7
work=$(mktemp -d /tmp/quorvin-compare-XXXXXX)
trap 'rm -rf "$work"' EXIT

# Wall and processor seconds and peak memory of one process, by GNU time or the shell's clock.
measure() {
    label=$1
    shift
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>&1 || echo "$label: exit $?" >&2
        read -r wall user sys kb <"$work/time"
        cpu=$(echo "$user + $sys" | bc)
        echo "$label: wall $wall s, processor $cpu s, peak memory $((kb / 1024)) MiB" >&2
    else
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || echo "$label: exit $?" >&2
        wall=$(echo "$(date +%s.%N) - $start" | bc)
        echo "$label: wall $wall s" >&2
    fi
    echo "$wall"
}

ours=$(measure quorvin-cli "$cli" generate --project "$project" --model "$model" --all-tables --out "$work/quorvin")

auto=$(command -v sequelize-auto || true)
[ -z "$auto" ] && [ -x ./node_modules/.bin/sequelize-auto ] && auto=./node_modules/.bin/sequelize-auto
if [ -z "$auto" ]; then
    echo "sequelize-auto is not installed: nothing to compare with"
    exit 0
fi
theirs=$(measure sequelize-auto "$auto" -h "$host" -p "$port" -d "$database" -u "$user" -x "" -e postgres \
    -o "$work/sequelize")
echo "quorvin-cli $ours s, sequelize-auto $theirs s, ratio $(echo "scale=2; $theirs / $ours" | bc)"
