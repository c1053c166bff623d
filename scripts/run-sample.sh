#!/usr/bin/env bash
# Quorvin's main job on the bundled sample. For now: install what is missing, build everything and
# lay out the application folder in build/quorvin/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
echo "Application folder: $root/build/quorvin"
