#!/usr/bin/env bash
# Writes docs/mail.png: the demo's blocks mailed by the built program (/RUN /MAIL) to a loopback
# SMTP server (python3-aiosmtpd), the HTML part with its chart pictures put in place, photographed
# by headless Chromium 640 px wide. Usage: scripts/mail-screenshot.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
server=""
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

cp "$build/panorello" "$work/"
cp "$build/blocks_demo.ini" "$work/blocks.ini"
printf 'DBTYPE=ACCESS\r\nDATABASE=%s/demo_panorello.mdb\r\nOUTPUTFILE=%s/dashboard.html\r\nOPENBROWSER=0\r\nPAGETITLE=Cruscotto vendite\r\n' \
  "$work" "$work" > "$work/config.ini"
mkdir "$work/smtp"
/usr/bin/python3 tests/mail/smtp_server.py serve "$work/smtp" 2> "$work/smtp.err" &
server=$!
for _ in $(seq 100); do [ -f "$work/smtp/port" ] && break; sleep 0.1; done
printf 'SMTP=smtp://127.0.0.1:%s\nTLS=0\nFROM=Cruscotto vendite <report@ditta.it>\n' \
  "$(cat "$work/smtp/port")" > "$work/mail.ini"
(cd "$work" && ./panorello /RUN /DASH=DEMO /MAIL=vendite@ditta.it)
/usr/bin/python3 tests/mail/smtp_server.py inspect "$work/smtp/1.eml" "$work/smtp" > /dev/null

chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --hide-scrollbars --user-data-dir="$work/profile" --window-size=640,2600 \
  --screenshot="$PWD/docs/mail.png" "file://$work/smtp/mail.html" 2> "$work/chromium.err" \
  || { cat "$work/chromium.err" >&2; exit 1; }
echo "Screenshot: $PWD/docs/mail.png"
