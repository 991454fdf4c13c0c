#!/usr/bin/env bash
# Installs the Debian packages Qubopost needs to build, run and test, if any is missing.
# Runs as root, or through sudo otherwise.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libcurl4-openssl-dev libicu-dev libgmime-3.0-dev libsqlite3-dev libxml2-dev nlohmann-json3-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  python3 python3-aiosmtpd openssl ca-certificates
  fonts-ipafont-gothic xvfb xauth
  desktop-file-utils appstream dpkg-dev file
  libsecret-1-dev gnome-keyring dbus iproute2
  qt6-translations-l10n x11-utils
  clang-tidy clang-format
  wordpress wordpress-l10n php-cli php-mysql php-xml mariadb-server-core mariadb-client dovecot-pop3d
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
