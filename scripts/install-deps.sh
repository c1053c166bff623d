#!/usr/bin/env bash
# Installs the Debian packages Quorvin builds, runs and tests with. Idempotent; quiet when all
# packages are present. Needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format git
    clang libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
    unixodbc-dev libsqliteodbc odbc-postgresql sqlite3
    libzip-dev libxml2-dev libgit2-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    postgresql zip unzip p7zip-full python3 python3-jinja2 python3-psycopg2 python3-pyflakes xvfb xauth
    postgresql-15-postgis-3
    python3-flask python3-selenium chromium chromium-driver
    mariadb-server mariadb-client odbc-mariadb python3-pymysql
)
# Screenshots: Chinese captions need a CJK font.
packages+=(fonts-wqy-zenhei)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
# The server packages (PostgreSQL, MariaDB) would start a system service on installation; the tests
# start their own servers in temporary folders, so a temporary policy forbids that while installing.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
    "${sudo_cmd[@]}" chmod 755 "$policy"
    trap '"${sudo_cmd[@]}" rm -f "$policy"' EXIT
fi
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
