#!/usr/bin/env bash
# Takes docs/screens/*.png from the real program under Xvfb with a window manager (openbox, in
# a dark theme), at scale 1 and 2 (also 1.5 with --all, for a look): the main window with a
# menu and with the list's popup open, the settings dialog, the about box, a message box, a
# question, the file dialog, the overview behind the bars and the stretch editor following
# playback (into a private PulseAudio null sink).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target quillet-screens
scales=(1 2)
[ "${1:-}" = "--all" ] && scales=(1 1.5 2)

scratch=$(mktemp -d /tmp/quillet-screens.XXXXXX)
export PULSE_SERVER="unix:$scratch/pulse"
export PULSE_RUNTIME_PATH="$scratch"
pulseaudio --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no \
  --load="module-null-sink sink_name=quillet_null" \
  --load="module-native-protocol-unix auth-anonymous=1 socket=$scratch/pulse" \
  >"$scratch/pulse.log" 2>&1 &
pulse_pid=$!
trap 'kill "$pulse_pid" 2>/dev/null || true; rm -rf "$scratch"' EXIT
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
cat >"$scratch/rc.xml" <<'EOS'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme><name>Onyx</name><titleLayout>NLIMC</titleLayout></theme>
  <!-- The main window stands in the middle of the screen; its dialogs are centred on it. -->
  <applications>
    <application class="Quillet" type="dialog">
      <position force="yes"><x>center</x><y>center</y></position>
    </application>
  </applications>
</openbox_config>
EOS
unset QT_QPA_PLATFORM
export SCRATCH="$scratch"
for scale in "${scales[@]}"; do
  QT_SCALE_FACTOR=$scale xvfb-run -a -s "-screen 0 2560x2048x24" bash -c '
    openbox --config-file "$SCRATCH/rc.xml" & wm=$!
    sleep 1
    build/bin/quillet-screens docs/screens "@$0x"; status=$?
    kill $wm
    exit $status' "$scale"
done
