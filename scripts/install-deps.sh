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
  clang libclang-rt-14-dev lintian dpkg-dev fakeroot file poppler-utils ccache clang-format
  postgresql postgresql-client mariadb-server mariadb-client
  qt6-base-dev libgl-dev xvfb xauth x11-apps imagemagick xdg-utils fonts-liberation
  chromium nodejs
  x11-utils
  time
  qt6-translations-l10n locales
  librsvg2-dev libcurl4-openssl-dev python3-aiosmtpd
)

# npm comes with some builds of nodejs; Debian's is a package of its own.
command -v npm >/dev/null || PACKAGES+=(npm)

# puppeteer-core (browser tests, phone screenshot) and axe-core (accessibility checks) into
# node_modules; it never fetches a browser.
node_modules() {
  local root
  root=$(cd "$(dirname "$0")/.." && pwd)
  [ -f "$root/node_modules/puppeteer-core/package.json" ] &&
    [ -f "$root/node_modules/axe-core/axe.min.js" ] && return 0
  (cd "$root" && npm ci --no-audit --no-fund)
}

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# The Access test file (npm, outside Debian); the tests skip without it.
fetch_test_data() {
  bash "$(dirname "$0")/fetch-test-data.sh" >/dev/null ||
    echo "install-deps: file Access di prova non scaricato: i test Access saranno saltati"
}

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

# it_IT.UTF-8 for the regional tests: enabled in /etc/locale.gen and generated once.
italian_locale() {
  locale -a 2>/dev/null | grep -qix 'it_IT\.utf-\?8' && return 0
  echo "install-deps: genero la localizzazione it_IT.UTF-8"
  if ! grep -q '^it_IT.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'it_IT.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen >/dev/null
}

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: tutti i pacchetti sono presenti"
  italian_locale
  node_modules
  fetch_test_data
  exit 0
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
italian_locale
node_modules
fetch_test_data
