#!/usr/bin/env bash
# Start-up time up to the shown dialog and resident memory with the dialog up, for
# qubopost and for a minimal Qt 6 dialog program built the same way, under Xvfb.
# Usage: bench/startup.sh [RUNS]   (default 10; the build in build/ or $QUBOPOST_BUILD_DIR)
# Needs xvfb, xdotool and bc (installed here if missing).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUBOPOST_BUILD_DIR:-$here/build}
runs=${1:-10}

missing=()
for tool in xvfb-run:xvfb xdotool:xdotool bc:bc; do
    command -v "${tool%%:*}" >/dev/null || missing+=("${tool##*:}")
done
if [ "${#missing[@]}" -gt 0 ]; then
    sudo_cmd=(); [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ "${1:-}" = "--inside" ]; then
    shift
    program=$1 title=$2 runs=$3
    total_ms=0 total_kb=0
    config=$(mktemp -d)
    for _ in $(seq "$runs"); do
        start=$(date +%s%N)
        XDG_CONFIG_HOME=$config "$program" >/dev/null 2>&1 &
        pid=$!
        xdotool search --sync --onlyvisible --name "$title" >/dev/null
        end=$(date +%s%N)
        sleep 0.3
        kb=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
        kill "$pid"; wait "$pid" 2>/dev/null || true
        total_ms=$(( total_ms + (end - start) / 1000000 ))
        total_kb=$(( total_kb + kb ))
    done
    rm -rf "$config"
    echo "$(basename "$program"): $(( total_ms / runs )) ms to the shown dialog, $(( total_kb / runs / 1024 )) MiB resident (mean of $runs)"
    exit 0
fi

xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --inside "$build/minimal_dialog" "minimal-dialog" "$runs"
xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --inside "$build/qubopost" "ブログ自動投稿Zelqon" "$runs"
