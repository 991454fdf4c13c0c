#!/usr/bin/env bash
# Runs clang-tidy (the checks in .clang-tidy) over the program's own sources, with the
# compile commands of a configured build folder: build/ by default, or $QUBOPOST_BUILD_DIR,
# or the folder given as the first argument. Tests, fuzzers, benchmarks, generated files
# and anything outside the source tree are left out. Fails on any finding.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-${QUBOPOST_BUILD_DIR:-$here/build}}" && pwd)
tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
if [ -z "$tidy" ]; then
    echo "tidy.sh: clang-tidy is not installed (scripts/setup.sh installs it)." >&2
    exit 1
fi
if [ ! -f "$build/compile_commands.json" ]; then
    echo "tidy.sh: $build/compile_commands.json is missing; run scripts/build.sh first." >&2
    exit 1
fi

dirs='app|ui|gui|view|article|posting|blogapi|platform|settings|journal|credentials|mail|cli|resources'
# The sources: every entry of the compile commands under one of the program's folders, plus main.cpp.
mapfile -t sources < <(python3 - "$build/compile_commands.json" "$here" "$dirs" <<'PY'
import json, os, re, sys
db, root, dirs = sys.argv[1], sys.argv[2], sys.argv[3]
own = re.compile(r'^' + re.escape(root) + r'/((' + dirs + r')/.*|main)\.cpp$')
seen = set()
for entry in json.load(open(db)):
    path = entry['file']
    if not path.startswith('/'):
        path = entry['directory'] + '/' + path
    if own.match(path) and os.path.exists(path) and path not in seen:
        seen.add(path)
        print(path)
PY
)
if [ "${#sources[@]}" -eq 0 ]; then
    echo "tidy.sh: no sources of the program in $build/compile_commands.json." >&2
    exit 1
fi

# Headers are checked where the program's own sources include them, by their own path or
# through the links in the build folder that give each layer its include folder.
header_filter="^($here|$build/layers/[^/]+)/($dirs)/.*\\.h\$"
echo "clang-tidy: ${#sources[@]} files, $(nproc) at a time"
if ! printf '%s\0' "${sources[@]}" |
    xargs -0 -n 1 -P "$(nproc)" "$tidy" -p "$build" --quiet --header-filter="$header_filter" \
        2> >(grep -v -e '^[0-9]* warnings\? generated\.$' -e '^Suppressed [0-9]* warnings' \
                     -e '^Use -header-filter=' >&2); then
    echo "clang-tidy: findings above (the checks and why are in .clang-tidy)" >&2
    exit 1
fi
echo "clang-tidy: no findings"
