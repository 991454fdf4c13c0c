#!/usr/bin/env bash
# Pictures of the program's windows under Xvfb, at scale 1 and 2, into docs/screenshots/
# (main, preview, credentials, history; NAME-x1.png and NAME-x2.png).
#
#   scripts/screenshots.sh [BUILD_FOLDER]     (default: build)
#
# Builds the qubopost-screenshots tool in BUILD_FOLDER first. The screen is a small laptop's,
# 1366x768, at both scales: at 2 the main window gets half of it and scrolls.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
out="$root/docs/screenshots"
mkdir -p "$out"

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUBOPOST_BUILD_BENCH=OFF
fi
cmake --build "$build" --target qubopost-screenshots -j2
tool=$(find "$build" -name qubopost-screenshots -type f -perm -u+x | head -n1)
[ -n "$tool" ] || { echo "qubopost-screenshots was not built" >&2; exit 1; }

# A Japanese user's environment: the toolkit's own texts in Japanese too.
export LANG=ja_JP.UTF-8 LC_ALL=
state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
export XDG_STATE_HOME="$state/state" XDG_CONFIG_HOME="$state/config" HOME="$state"

for scale in 1 2; do
    width=1366
    height=768
    QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale \
        xvfb-run -a -s "-screen 0 ${width}x${height}x24 -nolisten tcp" \
        "$tool" "$out" "x$scale"
done
ls -l "$out"
