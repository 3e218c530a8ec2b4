#!/usr/bin/env bash
# Runs a test binary under a real Chinese input method: a private virtual X
# server (Xvfb), a private D-Bus session and fcitx5 with pinyin, all in fresh
# temporary XDG folders; the binary gets them through DISPLAY, QT_IM_MODULE
# and the XDG variables, and drives the keyboard itself (xdotool).
#
#   run_with_input_method.sh <test binary> [its arguments...]
#
# Exits with the binary's status, 77 when a needed program or Qt's fcitx
# front end is missing, 1 when the set-up does not become ready in time.
# Everything started here is ended on the way out.
set -uo pipefail

readonly skip=77
readonly ready_timeout=${OPEREDIT_IM_READY_TIMEOUT:-20}  # seconds, for each start-up step

say() { echo "run_with_input_method: $*" >&2; }

[ $# -ge 1 ] || { say "usage: $0 <test binary> [arguments...]"; exit 2; }

missing=()
for program in Xvfb dbus-daemon fcitx5 fcitx5-remote xdotool; do
  command -v "$program" >/dev/null 2>&1 || missing+=("$program")
done
plugin=""
for dir in ${OPEREDIT_QT_PLUGINS:-} ${QT_PLUGIN_PATH:+${QT_PLUGIN_PATH//:/ }} /usr/lib/"$(gcc -print-multiarch 2>/dev/null || echo x86_64-linux-gnu)"/qt6/plugins; do
  if [ -e "$dir/platforminputcontexts/libfcitx5platforminputcontextplugin.so" ]; then
    plugin="$dir/platforminputcontexts/libfcitx5platforminputcontextplugin.so"
    break
  fi
done
[ -n "$plugin" ] || missing+=("Qt 6 fcitx5 front end (fcitx5-frontend-qt6)")
[ -e /usr/share/fcitx5/addon/pinyin.conf ] || missing+=("pinyin (fcitx5-pinyin)")
if [ ${#missing[@]} -gt 0 ]; then
  say "skipped, missing: ${missing[*]}"
  say "install them with: sudo apt-get install fcitx5 fcitx5-pinyin fcitx5-frontend-qt6 dbus-daemon xvfb xdotool"
  exit $skip
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/operedit-im.XXXXXX")
pids=()
cleanup() {
  local pid
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    pid=${pids[i]}
    kill "$pid" 2>/dev/null
    # Bounded wait, then force: nothing started here may outlive the run.
    for _ in $(seq 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Polls `check` every 50 ms until it succeeds or `ready_timeout` passes.
await() {
  local what=$1
  shift
  local deadline=$((SECONDS + ready_timeout))
  until "$@"; do
    if [ $SECONDS -ge $deadline ]; then
      say "$what not ready after ${ready_timeout} s"
      for log in "$tmp"/*.log; do [ -s "$log" ] && { echo "--- $log" >&2; tail -20 "$log" >&2; }; done
      exit 1
    fi
    sleep 0.05
  done
}

export XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data XDG_CACHE_HOME=$tmp/cache XDG_RUNTIME_DIR=$tmp/run
mkdir -p "$XDG_CONFIG_HOME/fcitx5" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# English keyboard when inactive, pinyin when active.
cat >"$XDG_CONFIG_HOME/fcitx5/profile" <<'EOF'
[Groups/0]
Name=Default
Default Layout=us
DefaultIM=pinyin

[Groups/0/Items/0]
Name=keyboard-us
Layout=

[Groups/0/Items/1]
Name=pinyin
Layout=

[GroupOrder]
0=Default
EOF

# Xvfb picks a free display itself and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
pids+=($!)
await "Xvfb" test -s "$tmp/display"
export DISPLAY=:$(tr -dc 0-9 <"$tmp/display")

dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$tmp/bus" >"$tmp/dbus.log" 2>&1 &
pids+=($!)
await "D-Bus" test -s "$tmp/bus"
DBUS_SESSION_BUS_ADDRESS=$(head -1 "$tmp/bus")
export DBUS_SESSION_BUS_ADDRESS

# Only what typing pinyin into a Qt window needs: no panels, no candidate
# window, no helpers (so fcitx5-pinyin alone behaves as the whole Chinese set).
fcitx5 -D --disable=all --enable=dbus,dbusfrontend,xcb,keyboard,pinyin,punctuation \
  >"$tmp/fcitx5.log" 2>&1 &
pids+=($!)
group_ready() { [ "$(fcitx5-remote -q 2>/dev/null)" = Default ]; }
await "fcitx5" group_ready

export QT_QPA_PLATFORM=xcb QT_IM_MODULE=fcitx XMODIFIERS=@im=fcitx GTK_IM_MODULE=fcitx
"$@" &
test_pid=$!
pids+=("$test_pid")
# Should this script be killed outright (no trap runs), a guard ends the rest.
wrapper=$$
(
  trap - EXIT
  while kill -0 "$wrapper" 2>/dev/null; do sleep 0.5; done
  kill -9 "${pids[@]}" 2>/dev/null
  rm -rf "$tmp"
) >/dev/null 2>&1 &
guard_pid=$!
wait "$test_pid"
status=$?
kill "$guard_pid" 2>/dev/null
pids=("${pids[@]:0:${#pids[@]}-1}")
if [ $status -ne 0 ]; then
  echo "--- fcitx5 log" >&2
  tail -20 "$tmp/fcitx5.log" >&2
fi
exit $status
