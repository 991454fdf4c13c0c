#!/usr/bin/env bash
# Pictures of the program's windows under Xvfb, at scale 1 and 2, into docs/screenshots/
# (main, preview, credentials, history; NAME-x1.png and NAME-x2.png), and the whole
# screen while the main window, the preview and the history are up (NAME-screen-x1.png, -x2.png).
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

mkdir -m 700 "$state/run"
export XDG_RUNTIME_DIR="$state/run"
unset DBUS_SESSION_BUS_ADDRESS
# A private session bus with an unlocked, empty key ring, so that the credentials window shows
# what it shows on a desktop.
for scale in 1 2; do
    QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale dbus-run-session -- sh -c '
        printf throw-away | gnome-keyring-daemon --unlock --components=secrets >/dev/null
        exec xvfb-run -a -s "-screen 0 1366x768x24 -nolisten tcp" "$@"' sh "$tool" "$out" "x$scale" \
        2> >(grep -v -e "Failed to set fd limit" -e "XDG_RUNTIME_DIR" >&2)
done
ls -l "$out"
