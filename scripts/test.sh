#!/usr/bin/env bash
# Installs what is missing, builds Quillet and runs every test against a private PulseAudio
# server with a null sink and Qt's offscreen platform.
# QUILLET_SANITIZE=1 builds into build-asan with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer; tests/lsan.supp holds the leaks of Qt and the system libraries.
# QUILLET_SANITIZE=thread builds into build-tsan with ThreadSanitizer and runs the tests of the
# work that has threads (conversion, scan, playback's reads); tests/tsan.supp names the
# libraries it cannot see into.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${QUILLET_SANITIZE:-0}" = 1 ]; then
  build=build-asan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
targets=()
if [ "${QUILLET_SANITIZE:-0}" = thread ]; then
  build=build-tsan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE_THREAD=ON)
  export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp:halt_on_error=1:second_deadlock_stack=1"
  targets=(copy_threads_test cut_join_test audio_encoder_test engine_cli_test folder_scan_test
           track_probe_test playback_session_test)
  set -- -R "^($(IFS='|'; echo "${targets[*]}"))\$" "$@"
  targets=(--target "${targets[@]}")
fi
cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" "${targets[@]}"

# A sound server of our own: a null sink, reachable on a private socket.
pulse_dir=$(mktemp -d /tmp/quillet-pulse.XXXXXX)
export PULSE_SERVER="unix:$pulse_dir/native"
export PULSE_RUNTIME_PATH="$pulse_dir"
pulseaudio --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no \
  --load="module-null-sink sink_name=quillet_null" \
  --load="module-native-protocol-unix auth-anonymous=1 socket=$pulse_dir/native" \
  >"$pulse_dir/log" 2>&1 &
pulse_pid=$!
stop_pulse() { kill "$pulse_pid" 2>/dev/null || true; wait "$pulse_pid" 2>/dev/null || true; rm -rf "$pulse_dir"; }
trap stop_pulse EXIT
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { echo "PulseAudio did not start:"; cat "$pulse_dir/log"; }
pactl set-default-sink quillet_null >/dev/null 2>&1 || true

export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@"
