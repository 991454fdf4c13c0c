#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
"$here/scripts/build.sh"
cd "${QUBOPOST_BUILD_DIR:-$here/build}"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
