#!/usr/bin/env bash
# Makes the Debian package from a built tree, installs it into a throwaway root with dpkg and runs
# the installed quorvin-cli --help from there. The package's dependencies are this machine's
# libraries (dpkg only records them: --force-depends).
# Usage: scripts/check-package.sh [BUILD_DIR]   (default: build; the programs must be built)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
(cd "$build" && rm -f quorvin_*.deb && cpack -G DEB >/dev/null)
deb="$(ls "$build"/quorvin_*.deb | head -n 1)"
dpkg-deb --info "$deb" | grep -E "^ (Package|Version|Depends):"

target="$(mktemp -d)"
trap 'rm -rf "$target"' EXIT
mkdir -p "$target/var/lib/dpkg/info" "$target/var/lib/dpkg/updates" "$target/var/lib/dpkg/triggers"
touch "$target/var/lib/dpkg/status"
# The maintainer scripts run outside the root: it holds no shell of its own.
dpkg --root="$target" --log=/dev/null --force-depends --force-script-chrootless --force-not-root \
    -i "$deb" >/dev/null
dpkg --root="$target" -L quorvin | grep -E "/(bin/quorvin(-cli)?|applications/quorvin.desktop|mime/packages/quorvin.xml)$"
"$target/usr/bin/quorvin-cli" --help
echo "package installs and runs: $deb"
