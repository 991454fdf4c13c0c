#!/usr/bin/env bash
# The C++ sources in one layout (.clang-format): `scripts/format.sh` rewrites them in place,
# `scripts/format.sh --check` only says which files differ and fails when any does (the test
# command runs it). Every tracked .cpp and .h file is covered, tests and tools included.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
format=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$format" ]; then
    echo "format.sh: clang-format is not installed (scripts/setup.sh installs it)." >&2
    exit 1
fi
cd "$here"
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
    if ! "$format" --dry-run --Werror "${files[@]}" 2>/tmp/qubopost-format.$$; then
        grep -o '^[^:]*\.\(cpp\|h\)' /tmp/qubopost-format.$$ | sort -u | sed 's/^/format.sh: not in the layout: /' >&2
        rm -f /tmp/qubopost-format.$$
        echo "format.sh: run scripts/format.sh to lay them out." >&2
        exit 1
    fi
    rm -f /tmp/qubopost-format.$$
    echo "format.sh: ${#files[@]} files in the layout."
else
    "$format" -i "${files[@]}"
fi
