#!/usr/bin/env bash
# Checks an installed Quillet: PREFIX is where it was installed (/usr for the package).
# Validates the desktop entry and the metainfo, asks the program for its version without a
# display, then starts it under Xvfb: F1 must hand the installed manual to the desktop (a
# stand-in xdg-open writes down what it was given) and Escape must close it with exit code 0.
#   scripts/check-installed.sh PREFIX [VERSION]
set -euo pipefail
prefix=${1:?usage: scripts/check-installed.sh PREFIX [VERSION]}
version=${2:-}
fail() { echo "check-installed: $*" >&2; exit 1; }

desktop=$(grep -l '^Exec=quillet ' "$prefix"/share/applications/*.desktop || true)
[ "$(echo "$desktop" | wc -w)" = 1 ] || fail "not one desktop entry of quillet: $desktop"
id=$(basename "$desktop" .desktop)
metainfo="$prefix/share/metainfo/$id.metainfo.xml"
desktop-file-validate "$desktop"
appstreamcli validate --no-net "$metainfo"
grep -qx "Icon=$id" "$desktop" || fail "the desktop entry does not name the icon $id"
for size in 16x16 32x32 48x48 128x128 256x256; do
  [ -s "$prefix/share/icons/hicolor/$size/apps/$id.png" ] || fail "no $size icon"
done
[ -s "$prefix/share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no scalable icon"
for page in quillet quillet-engine; do
  zcat "$prefix/share/man/man1/$page.1.gz" | grep -q '^\.TH ' || fail "no man page $page"
done

said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/quillet" --version)
[ -z "$version" ] || [ "$said" = "quillet $version" ] || fail "quillet --version says \"$said\", not $version"
"$prefix/bin/quillet-engine" >/dev/null 2>&1 && fail "quillet-engine without arguments did not refuse"

scratch=$(mktemp -d /tmp/quillet-check.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/bin" "$scratch/home" "$scratch/runtime"
chmod 700 "$scratch/runtime"
cat >"$scratch/bin/xdg-open" <<EOS
#!/bin/sh
echo "\$@" >>"$scratch/opened"
EOS
chmod +x "$scratch/bin/xdg-open"

export PATH="$scratch/bin:$PATH" HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/config"
export XDG_RUNTIME_DIR="$scratch/runtime" QUILLET_PREFIX="$prefix" SCRATCH="$scratch"
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -u
  "$QUILLET_PREFIX/bin/quillet" 2>"$SCRATCH/stderr" & pid=$!
  window=$(timeout 60 xdotool search --sync --onlyvisible --class quillet | head -1)
  [ -n "$window" ] || { kill $pid; echo "no window; the program said:"; cat "$SCRATCH/stderr"; exit 1; }
  xdotool windowfocus --sync "$window" key F1
  for _ in $(seq 100); do [ -s "$SCRATCH/opened" ] && break; sleep 0.1; done
  xdotool key Escape
  timeout 30 tail --pid=$pid -f /dev/null || { kill $pid; echo "Escape did not close it"; exit 1; }
  wait $pid
' || fail "the installed program did not run as it should"
opened=$(cat "$scratch/opened" 2>/dev/null || true)
[ "$opened" = "file://$prefix/share/quillet/help/quillet.html" ] ||
  fail "F1 opened \"$opened\", not the installed manual"
echo "check-installed: $prefix is sound ($said)"
