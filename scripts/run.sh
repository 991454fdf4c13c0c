#!/usr/bin/env bash
# Installs what is missing, builds, and starts the Qubopost dialog.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
"$here/scripts/build.sh"
exec "${QUBOPOST_BUILD_DIR:-$here/build}/qubopost" "$@"
