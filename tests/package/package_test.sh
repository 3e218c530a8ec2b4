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
triplet=$("$cc" -print-multiarch)
lib=usr/lib/$triplet
version=$(dpkg-deb -f "$(ls "$tmp"/out/liboperedit0_*.deb)" Version)

# --- the packages: a library package named after its soname, its -dev
# package, the tools, and the detached debug symbols of the binaries' two
declare -A deb
for f in "$tmp"/out/*.deb "$tmp"/out/*.ddeb; do
  deb[$(dpkg-deb -f "$f" Package)]=$f
done
expect_eq packages "$(printf '%s\n' "${!deb[@]}" | sort | xargs)" \
  "liboperedit-dev liboperedit0 liboperedit0-dbgsym operedit-tools operedit-tools-dbgsym"
field() { dpkg-deb -f "${deb[$1]}" "$2"; }
contents() { dpkg-deb -c "${deb[$1]}" | awk '{print $6}' | sed 's|^\./||; s|/$||'; }
holds() { # PACKAGE PATH...: each path is in the package
  local p=$1 f
  shift
  for f in "$@"; do
    contents "$p" | grep -qx "$f" || fail "$p lacks /$f; it holds: $(contents "$p" | xargs)"
  done
}
holds liboperedit0 "$lib/liboperedit.so.0.1.0" "$lib/liboperedit.so.0" \
  usr/share/doc/liboperedit0/copyright usr/share/doc/liboperedit0/changelog.Debian.gz \
  usr/share/doc/liboperedit0/ward-guide.md usr/share/doc/liboperedit0/ward-guide.pdf \
  usr/share/doc/liboperedit0/images/list-window.png \
  usr/share/doc/liboperedit0/examples/aliases.ini.example \
  usr/share/doc-base/liboperedit0-ward-guide usr/share/lintian/overrides/liboperedit0
holds liboperedit-dev "$lib/liboperedit.so" usr/include/operedit.h "$lib/pkgconfig/operedit.pc" \
  usr/share/doc/liboperedit-dev/copyright usr/share/doc/liboperedit-dev/changelog.Debian.gz \
  usr/share/doc/liboperedit-dev/examples/host.c
holds operedit-tools usr/bin/emrhost usr/share/man/man1/emrhost.1.gz usr/lib/operedit/hisdb-seed \
  usr/share/operedit/sqlite/schema.sql usr/share/operedit/postgres/schema.sql \
  usr/share/operedit/sqlserver/schema.sql usr/share/doc/operedit-tools/database-setup.md \
  usr/share/doc/operedit-tools/copyright usr/share/doc/operedit-tools/changelog.Debian.gz \
  usr/share/lintian/overrides/operedit-tools
# Each file in one package only: the library package holds no development
# file and no program, and nothing goes to /etc (an alias file there would
# be every user's).
for p in "${!deb[@]}"; do
  dpkg-deb -c "${deb[$p]}" | awk '$1 !~ /^d/ {sub(/^\.\//, "", $6); print $6}'
done | sort | uniq -d >"$tmp/twice"
[ ! -s "$tmp/twice" ] || fail "in more than one package: $(cat "$tmp/twice")"
for p in "${!deb[@]}"; do
  ! contents "$p" | grep -q '^etc' || fail "$p installs into /etc: $(contents "$p" | grep '^etc' | xargs)"
done
! contents liboperedit0 | grep -Eq '\.so$|include/|pkgconfig|usr/bin/' ||
  fail "liboperedit0 holds development files or programs: $(contents liboperedit0 | xargs)"

# --- relations and sections
expect_eq "liboperedit0 Section" "$(field liboperedit0 Section)" libs
expect_eq "liboperedit-dev Section" "$(field liboperedit-dev Section)" libdevel
expect_eq "operedit-tools Section" "$(field operedit-tools Section)" misc
expect_eq "dbgsym Sections" "$(field liboperedit0-dbgsym Section) $(field operedit-tools-dbgsym Section)" "debug debug"
has_relation() { # PACKAGE FIELD RELATION: the field lists the relation, version included when given
  local value
  value=$(field "$1" "$2")
  [[ ", $value," == *", $3,"* || ( "$3" != *"("* && ( ", $value," == *", $3 ("* ) ) ]] ||
    fail "$1 $2 lacks '$3': $value"
}
for needed in fonts-arphic-uming libc6 libqt6widgets6 libqt6gui6 libqt6core6 libsqlite3-0 libodbc2; do
  has_relation liboperedit0 Depends "$needed"
done
expect_eq "liboperedit0 Recommends" "$(field liboperedit0 Recommends)" "fcitx5-frontend-qt6 | ibus, qt6-wayland"
expect_eq "liboperedit0 Suggests" "$(field liboperedit0 Suggests)" "odbc-postgresql, tdsodbc"
expect_eq "liboperedit-dev Depends" "$(field liboperedit-dev Depends)" "liboperedit0 (= $version)"
has_relation operedit-tools Depends "liboperedit0 (>= $version)"
expect_eq "liboperedit0-dbgsym Depends" "$(field liboperedit0-dbgsym Depends)" "liboperedit0 (= $version)"
expect_eq "operedit-tools-dbgsym Depends" "$(field operedit-tools-dbgsym Depends)" "operedit-tools (= $version)"
for p in liboperedit0 liboperedit-dev operedit-tools; do
  expect_eq "$p Replaces" "$(field "$p" Replaces)" "operedit (<< $version)"
  expect_eq "$p Breaks" "$(field "$p" Breaks)" "operedit (<< $version)"
done
mkdir "$tmp/control"
dpkg-deb -e "${deb[liboperedit0]}" "$tmp/control"
[ ! -e "$tmp/control/conffiles" ] || fail "conffiles: $(cat "$tmp/control/conffiles")"
grep -q "^liboperedit 0 liboperedit0 (>= $version)$" "$tmp/control/shlibs" || fail "shlibs: $(cat "$tmp/control/shlibs")"
grep -q "^ operedit@Base " "$tmp/control/symbols" || fail "symbols: $(cat "$tmp/control/symbols")"
grep -qx "activate-noawait ldconfig" "$tmp/control/triggers" || fail "triggers: $(cat "$tmp/control/triggers")"

# --- layout, all packages unpacked into one root
root=$tmp/root
for p in "${!deb[@]}"; do
  dpkg-deb -x "${deb[$p]}" "$root"
done
expect_eq "soname link" "$(readlink "$root/$lib/liboperedit.so.0")" liboperedit.so.0.1.0
expect_eq "dev link" "$(readlink "$root/$lib/liboperedit.so")" liboperedit.so.0
soname=$(readelf -d "$root/$lib/liboperedit.so.0.1.0" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
expect_eq SONAME "$soname" liboperedit.so.0

# --- the debug symbols: detached, found by each binary's build id, listed
# in md5sums by their own paths
for binary in "$lib/liboperedit.so.0.1.0" usr/bin/emrhost usr/lib/operedit/hisdb-seed; do
  ! readelf -S "$root/$binary" | grep -q '\.debug_info' || fail "/$binary is not stripped"
  id=$(readelf -n "$root/$binary" | sed -n 's/.*Build ID: \([0-9a-f]*\)/\1/p')
  [ -f "$root/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug" ] ||
    fail "no debug symbols for /$binary (build id $id)"
done
for p in liboperedit0-dbgsym operedit-tools-dbgsym; do
  mkdir "$tmp/$p"
  dpkg-deb -e "${deb[$p]}" "$tmp/$p"
  ! grep -qv '^[0-9a-f]\{32\}  usr/' "$tmp/$p/md5sums" || fail "$p md5sums: $(cat "$tmp/$p/md5sums")"
  (cd "$root" && md5sum --quiet -c "$tmp/$p/md5sums") || fail "$p md5sums: $(cat "$tmp/$p/md5sums")"
  expect_eq "$p doc" "$(readlink "$root/usr/share/doc/$p")" "$(field "$p" Depends | cut -d' ' -f1)"
done

# --- hardening as Debian builds it: full RELRO, stack protector, PIE
# programs; the fortified libc calls in optimised trees (the package's)
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$bin/CMakeCache.txt")
# (readelf's output is read whole: grep -q would leave it writing to a closed pipe)
for binary in "$lib/liboperedit.so.0.1.0" usr/bin/emrhost; do
  dynamic=$(readelf -dW "$root/$binary") segments=$(readelf -lW "$root/$binary")
  symbols=$(readelf --dyn-syms -W "$root/$binary")
  grep -Eq '\(FLAGS\) +BIND_NOW' <<<"$dynamic" || fail "/$binary: no BIND_NOW: $(grep FLAGS <<<"$dynamic")"
  grep -Eq '\(FLAGS_1\) +Flags:.* NOW' <<<"$dynamic" || fail "/$binary: FLAGS_1 lacks NOW"
  grep -q GNU_RELRO <<<"$segments" || fail "/$binary: no GNU_RELRO segment"
  grep -q ' __stack_chk_fail@' <<<"$symbols" || fail "/$binary: no stack protector"
  case $build_type in
  Release | RelWithDebInfo | MinSizeRel)
    grep -Eq ' __[a-z]+_chk@' <<<"$symbols" || fail "/$binary: no fortified libc call"
    ;;
  esac
done
header=$(readelf -hW "$root/usr/bin/emrhost") dynamic=$(readelf -dW "$root/usr/bin/emrhost")
grep -q 'Type: *DYN' <<<"$header" && grep -q 'Flags:.*PIE' <<<"$dynamic" || fail "emrhost is not PIE"

# --- the printed ward guide: the packaged guide's pages, its headings, all
# its pictures, the Song font embedded
pdf=$root/usr/share/doc/liboperedit0/ward-guide.pdf
guide=$root/usr/share/doc/liboperedit0/ward-guide.md
pages=$(pdfinfo "$pdf" | sed -n 's/^Pages: *//p')
[ "${pages:-0}" -ge 2 ] || fail "ward-guide.pdf has ${pages:-no} pages"
pdftotext -enc UTF-8 "$pdf" - | tr -d ' \n' >"$tmp/guide.txt"
grep '^##* ' "$guide" | sed 's/^#* //; s/ //g' | while read -r heading; do
  grep -qF "$heading" "$tmp/guide.txt" || fail "ward-guide.pdf lacks the heading '$heading'"
done
expect_eq "pictures in ward-guide.pdf" "$(pdfimages -list "$pdf" | tail -n +3 | grep -c ' image ')" \
  "$(grep -c '^!\[' "$guide")"
pdffonts "$pdf" | grep -q 'UMingCN.* yes' || fail "ward-guide.pdf does not embed AR PL UMing: $(pdffonts "$pdf")"

# --- lintian: no error or warning beyond the overrides the packages ship
lintian --fail-on error,warning "${deb[@]}" >"$tmp/lintian.log" 2>&1 ||
  fail "lintian: $(grep -v '^running with root' "$tmp/lintian.log")"

# --- the C example, built as a host's developer builds it
export PKG_CONFIG_LIBDIR=$root/$lib/pkgconfig PKG_CONFIG_PATH=
flags=$(pkg-config --cflags --libs operedit)
# shellcheck disable=SC2086
"$cc" -std=c99 -Wall -Wextra -Werror "$root/usr/share/doc/liboperedit-dev/examples/host.c" $flags -o "$tmp/host"
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
echo "package: ${!deb[*]} checked"
