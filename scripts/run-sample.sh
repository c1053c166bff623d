#!/usr/bin/env bash
# Quorvin's main job on the bundled sample: install what is missing, build, then run the whole road
# of a build headless -- the sample project (made on first run, pointing at the embedded SQLite
# sample database), its tables and columns read through ODBC, every shipped model generated over
# all its tables. The generated files land in build/sample-out/<model>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Only what the main job runs: the programs, their data files, the shipped models and the sample
# (the tests and benchmarks are left to scripts/test.sh).
"$root/scripts/build.sh" quorvin quorvin-cli dromale dromale_activation language_files project_files \
    shipped_models help_files
app="$root/build/quorvin"
out="$root/build/sample-out"
project=$("$app/quorvin-cli" project sample)
echo "Sample project: $project"
for pkg in "$app"/models/*.qvnm; do
    name=$(basename "$pkg" .qvnm)
    echo "== $name"
    "$app/quorvin-cli" generate --project "$project" --model "$pkg" --all-tables --out "$out/$name"
done
echo "Generated files: $out"
