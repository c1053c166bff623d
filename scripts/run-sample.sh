#!/usr/bin/env bash
# Quorvin's main job on the bundled sample: install what is missing, build, then generate every
# shipped model over the sample table set. The generated files land in build/sample-out/<model>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
app="$root/build/quorvin"
out="$root/build/sample-out"
for pkg in "$app"/models/*.qvnm; do
    name=$(basename "$pkg" .qvnm)
    echo "== $name"
    "$app/quorvin-cli" generate --model "$pkg" --out "$out/$name" --data "$root/resources/sample/tables.json"
done
echo "Generated files: $out"
