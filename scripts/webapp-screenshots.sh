#!/usr/bin/env bash
# Builds the web application model over the annotated sample, starts it and photographs its list
# page and edit form in headless Chromium into docs/screenshots/webapp-list.png and webapp-edit.png.
# Usage: scripts/webapp-screenshots.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
[ -x "$build/quorvin/quorvin-cli" ] && [ -f "$build/quorvin/models/webapp.qvnm" ] ||
    { echo "build first: cmake --build $build --target quorvin-cli shipped_models project_files" >&2; exit 1; }
export QUORVIN_APP_DIR="$build/quorvin" PYTHONDONTWRITEBYTECODE=1
cd "$root/tests/webapp"
/usr/bin/python3 - "$root/docs/screenshots" <<'PY'
import sys
import webapp_support as ws

out_dir = sys.argv[1]
w = ws.Workspace()
server = browser = None
try:
    project, db = ws.sample_project(w, lambda conn: conn.execute(
        "UPDATE tb_Column SET CL_UPDATE_TYPE = '5' WHERE CL_TL_NAME = 'orders' AND CL_NAME = 'status'"))
    out = ws.generate(w, project, ws.project_tables(w, project))
    server = ws.Server(out, db)
    browser = ws.browser()
    browser.set_window_size(1280, 860)
    for path, name in (("/t/orders/", "webapp-list.png"), ("/t/orders/edit?k=1001", "webapp-edit.png")):
        browser.get(server.base + path)
        browser.save_screenshot(out_dir + "/" + name)
        print("wrote", out_dir + "/" + name)
finally:
    if browser:
        ws.close_browser(browser)
    if server:
        server.stop()
    w.close()
PY
