#!/usr/bin/env bash
# package_test.sh BINARY_DIR CPACK CC
# See CMakeLists.txt beside it. Each check prints what it found when it fails.
set -euo pipefail
bin=$1 cpack=$2 cc=$3

tmp=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_eq() { [ "$2" = "$3" ] || fail "$1: expected '$3', got '$2'"; }

"$cpack" -G DEB --config "$bin/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log"; fail "cpack"; }
deb=$(ls "$tmp"/out/*.deb)
triplet=$("$cc" -print-multiarch)
lib=usr/lib/$triplet

# --- control data: dependencies from what the binaries link, the conffile
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libc6 libqt6widgets6 libqt6gui6 libqt6core6 libsqlite3-0 libodbc2; do
  [[ ", $depends," == *", $needed "* || ", $depends," == *", $needed,"* ]] ||
    fail "Depends lacks $needed: $depends"
done
mkdir "$tmp/control"
dpkg-deb -e "$deb" "$tmp/control"
expect_eq conffiles "$(cat "$tmp/control/conffiles")" /etc/hisdb/aliases.ini.example
grep -q "^liboperedit 0 operedit" "$tmp/control/shlibs" || fail "shlibs: $(cat "$tmp/control/shlibs")"

# --- layout
root=$tmp/root
dpkg-deb -x "$deb" "$root"
for f in "$lib/liboperedit.so.0.1.0" usr/include/operedit.h "$lib/pkgconfig/operedit.pc" \
  usr/bin/emrhost usr/lib/operedit/hisdb-seed etc/hisdb/aliases.ini.example \
  usr/share/operedit/sqlite/schema.sql usr/share/operedit/postgres/schema.sql \
  usr/share/operedit/sqlserver/schema.sql usr/share/doc/operedit/examples/host.c; do
  [ -f "$root/$f" ] || fail "missing /$f; the package holds: $(dpkg-deb -c "$deb" | awk '{print $6}')"
done
[ ! -e "$root/etc/hisdb/aliases.ini" ] || fail "an active alias file would override every user's"
expect_eq "soname link" "$(readlink "$root/$lib/liboperedit.so.0")" liboperedit.so.0.1.0
expect_eq "dev link" "$(readlink "$root/$lib/liboperedit.so")" liboperedit.so.0
soname=$(readelf -d "$root/$lib/liboperedit.so.0.1.0" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
expect_eq SONAME "$soname" liboperedit.so.0

# --- the C example, built as a host's developer builds it
export PKG_CONFIG_LIBDIR=$root/$lib/pkgconfig PKG_CONFIG_PATH=
flags=$(pkg-config --cflags --libs operedit)
# shellcheck disable=SC2086
"$cc" -std=c99 -Wall -Wextra -Werror "$root/usr/share/doc/operedit/examples/host.c" $flags -o "$tmp/host"
# Linked to the soname, resolved in the unpacked root only.
readelf -d "$tmp/host" | grep -q 'NEEDED.*\[liboperedit.so.0\]' || fail "host does not need liboperedit.so.0"
export LD_LIBRARY_PATH=$root/$lib

# --- a demo database from the packaged schema and generator
db=$tmp/his.db
sqlite3 -bail "$db" <"$root/usr/share/operedit/sqlite/schema.sql"
"$root/usr/lib/operedit/hisdb-seed" --demo | sqlite3 -bail "$db"
printf '[HIS]\ndriver=sqlite\ndatabase=%s\n' "$db" >"$tmp/aliases.ini"
printf '[HIS]\ndriver=sqlite\ndatabase=%s\n' "$tmp/absent.db" >"$tmp/absent.ini"

# --- calls that return at once (offscreen: no window is reached)
export QT_QPA_PLATFORM=offscreen
status=0
out=$("$tmp/host" --null) || status=$?
expect_eq "host --null" "$out" "输入参数不能为空!"
expect_eq "host --null status" "$status" 1
# The unpacked emrhost finds the unpacked library by its soname (nothing
# lies beside it in ../lib) and reaches the database through the alias.
status=0
out=$(HISDB_ALIASES=$tmp/absent.ini "$root/usr/bin/emrhost" 李医生 0301 普外科) || status=$?
expect_eq "emrhost, missing database" "$out" "Emr用户不能连接到HIS服务器!"
expect_eq "emrhost status" "$status" 1

# --- the good call shows the list window. On a virtual X server the window
# can be seen and closed from outside, as a user closes it: its 退出 button.
command -v Xvfb >/dev/null && command -v xdotool >/dev/null ||
  { echo "SKIP: Xvfb and xdotool are needed for the window (./scripts/install-deps)"; exit 77; }
exec 3>"$tmp/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || fail "Xvfb did not start: $(cat "$tmp/xvfb.log")"
export DISPLAY=:$(head -1 "$tmp/display")
unset QT_QPA_PLATFORM

HISDB_ALIASES=$tmp/aliases.ini timeout 120 "$tmp/host" 李医生 0301 普外科 >"$tmp/host.out" 2>"$tmp/host.err" &
host=$!
pids+=("$host")
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^手术申请$' | head -1) ||
  fail "no list window; host printed: $(cat "$tmp/host.out" "$tmp/host.err")"
# 退出 sits at (684, 9), 75 by 25, in the top panel of the window.
xdotool mousemove --window "$window" 721 21 click 1
status=0
wait "$host" || status=$?
expect_eq "host after 退出" "$status" 0
expect_eq "host result" "$(cat "$tmp/host.out")" ""
echo "package: $(basename "$deb") checked"
