#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Panorello need.
# Idempotent: packages already present are skipped; apt-get update runs at most once.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev sqlite3
  unixodbc unixodbc-dev odbc-postgresql odbc-mariadb libsqliteodbc tdsodbc
  odbc-mdbtools mdbtools mdbtools-dev libpq-dev libmariadb-dev
  clang libclang-rt-14-dev lintian dpkg-dev fakeroot file poppler-utils ccache
  postgresql postgresql-client mariadb-server mariadb-client
  qt6-base-dev libgl-dev xvfb xauth x11-apps imagemagick xdg-utils fonts-liberation
  chromium
  x11-utils
  time
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: tutti i pacchetti sono presenti"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "install-deps: installo ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# Installing a server package must not start it: tests start their own servers.
policy_created=0
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
  $SUDO chmod 755 /usr/sbin/policy-rc.d
  policy_created=1
fi
trap '[ "$policy_created" = 1 ] && $SUDO rm -f /usr/sbin/policy-rc.d' EXIT
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
