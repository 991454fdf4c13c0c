#!/usr/bin/env bash
# Installs what is missing, checks the sources' layout (scripts/format.sh), builds with
# warnings as errors, and runs every test: the normal build first, then
# the same tests under AddressSanitizer + UndefinedBehaviorSanitizer and the threaded
# ones under ThreadSanitizer (scripts/sanitize.sh). QUBOPOST_SKIP_SANITIZERS=1 skips those.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
"$here/scripts/format.sh" --check
"$here/scripts/build.sh" -DQUBOPOST_WERROR=ON
(cd "${QUBOPOST_BUILD_DIR:-$here/build}" && ctest --output-on-failure --parallel "$(nproc)" --timeout 600)
"$here/scripts/tidy.sh"
if [ "${QUBOPOST_SKIP_SANITIZERS:-0}" != 1 ]; then
    "$here/scripts/sanitize.sh" all
fi
