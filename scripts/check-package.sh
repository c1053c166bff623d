#!/usr/bin/env bash
# Makes the Debian package from a built tree, installs it into a throwaway root with dpkg and runs
# the installed quorvin-cli --help from there. When lintian is installed (apt-get install lintian)
# it checks the package first and any error fails the script; its warnings are shown. The
# package's dependencies are this machine's
# libraries (dpkg only records them: --force-depends).
# Usage: scripts/check-package.sh [BUILD_DIR]   (default: build; the programs must be built)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
(cd "$build" && rm -f quorvin_*.deb && cpack -G DEB >/dev/null)
deb="$(ls "$build"/quorvin_*.deb | head -n 1)"
dpkg-deb --info "$deb" | grep -E "^ (Package|Version|Depends):"
if command -v lintian >/dev/null; then
    # An error tag, or lintian failing to run, fails the check.
    lintian --fail-on error "$deb" || {
        echo "lintian found errors in $deb" >&2
        exit 1
    }
else
    echo "lintian is not installed: the package's policy check is skipped"
fi

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
