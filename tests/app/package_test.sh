#!/usr/bin/env bash
# The Debian packages of a build: cpack into a temporary folder, their contents and lintian's
# verdict. Exit 77 (skipped) when the Debian tools are missing. Usage: package_test.sh BUILD
set -euo pipefail
build=$1
for tool in cpack dpkg-deb dpkg-shlibdeps lintian readelf; do
  command -v "$tool" >/dev/null || { echo "SKIP: manca $tool"; exit 77; }
done
work=$(mktemp -d /tmp/panorello-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.txt" 2>&1 \
  || { cat "$work/cpack.txt"; exit 1; }

fail=0
expect() {  # expect PACKAGE PATH: the package holds that file
  dpkg-deb -c "$work/$1"_*.deb | awk '{print $6}' | grep -qx "./$2" \
    || { echo "FAIL: $1 non contiene $2"; fail=1; }
}
for f in usr/bin/panorello usr/lib/panorello/panorello-access-copy usr/share/panorello/blocks_demo.ini usr/share/man/man1/panorello.1.gz \
         usr/share/man/man5/panorello.5.gz usr/share/doc/panorello/README.md \
         usr/share/doc/panorello/examples/panorello.service \
         usr/share/doc/panorello/examples/panorello@.service \
         usr/share/doc/panorello/examples/panorello@.timer \
         usr/share/doc/panorello/examples/panorello.logrotate \
         usr/share/doc/panorello/examples/panorello.timer usr/share/doc/panorello/copyright; do
  expect panorello "$f"
done
if ls "$work"/panorello-gui_*.deb >/dev/null 2>&1; then
  for f in usr/bin/panorello-gui usr/share/applications/panorello.desktop \
           usr/share/icons/hicolor/128x128/apps/panorello.png; do
    expect panorello-gui "$f"
  done
fi

# The batch package runs on a server without Qt; its dependencies come from the libraries, plus
# the two database client libraries and those of /MAIL (opened at run time, so no scan can find
# them). The program itself must not link them: every run would pay for loading them.
depends=$(dpkg-deb -f "$work"/panorello_*.deb Depends)
needed=$(readelf -d "$build/panorello" | grep NEEDED || true)
for l in libpq libcurl librsvg libcairo libglib libgobject; do
  case "$needed" in *"$l"*) echo "FAIL: panorello collegato a $l all'avvio"; fail=1 ;; esac
done
case "$depends" in
  *qt*) echo "FAIL: panorello dipende da Qt: $depends"; fail=1 ;;
  *libodbc*) ;;
  *) echo "FAIL: dipendenze non calcolate: $depends"; fail=1 ;;
esac
for d in libpq5 libmariadb3 libcurl4 librsvg2-2; do
  echo ", $depends," | grep -Eq "[ ,]$d( \(|,)" || { echo "FAIL: Depends senza $d: $depends"; fail=1; }
done
if ls "$work"/panorello-gui_*.deb >/dev/null 2>&1; then
  gui_depends=$(dpkg-deb -f "$work"/panorello-gui_*.deb Depends)
  case "$gui_depends" in
    *qt6-translations-l10n*) ;;
    *) echo "FAIL: panorello-gui senza qt6-translations-l10n: $gui_depends"; fail=1 ;;
  esac
fi
recommends=$(dpkg-deb -f "$work"/panorello_*.deb Recommends)
for r in odbc-postgresql xdg-utils fonts-liberation; do
  case "$recommends" in *"$r"*) ;; *) echo "FAIL: manca Recommends $r"; fail=1 ;; esac
done

mkdir "$work/tmp"  # lintian leaves folders of its own in its TMPDIR
TMPDIR="$work/tmp" lintian --tag-display-limit 0 "$work"/*.deb >"$work/lintian.txt" 2>&1 || true
if grep -q '^E:' "$work/lintian.txt"; then
  echo "FAIL: lintian riporta errori:"; grep '^E:' "$work/lintian.txt"; fail=1
fi
[ "$fail" -eq 0 ] && echo "OK: $(cd "$work" && ls ./*.deb | tr '\n' ' ')"
exit "$fail"
