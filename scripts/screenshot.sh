#!/usr/bin/env bash
# Renders every window under a virtual X display (Xvfb) into docs/screenshots/windows/; the main
# window with the sample project open is also docs/screenshots/main-window.png (the README's).
# Usage: scripts/screenshot.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
app="$build/quorvin"
out="$root/docs/screenshots"
mkdir -p "$out/windows"
command -v Xvfb >/dev/null || { echo "Xvfb is needed (Debian package xvfb)" >&2; exit 1; }
[ -x "$app/quorvin" ] || { echo "build first: $app/quorvin is missing" >&2; exit 1; }
# The sample's captions are Chinese: without a CJK font they are drawn as empty boxes.
fc-list 2>/dev/null | grep -qi "wqy" || { echo "a CJK font is needed (Debian package fonts-wqy-zenhei)" >&2; exit 1; }

# A private settings and data folder, so the picture does not depend on this user's settings.
home="$(mktemp -d)"
display=":$(( 90 + RANDOM % 100 ))"
Xvfb "$display" -screen 0 1600x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$home"' EXIT
sleep 1

export DISPLAY="$display" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" LANG=en_US.UTF-8
# The first start makes the sample project; the second opens it and grabs the window once painted.
QUORVIN_SCREENSHOT="$home/warm.png" "$app/quorvin"
sample="$( (find "$app/projects" "$home/data" -name sample.qvn 2>/dev/null || true) | head -n 1)"
QUORVIN_SCREENSHOT="$out/main-window.png" "$app/quorvin" "$sample"
echo "wrote $out/main-window.png"
if [ -x "$app/window_gallery" ]; then
    "$app/window_gallery" "$out/windows"
    echo "wrote $out/windows/"
    # The README's picture: the sample project open on a table, at the window's first-start size.
    cp "$out/windows/main-window-en.png" "$out/main-window.png"
fi
