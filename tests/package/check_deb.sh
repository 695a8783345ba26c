#!/usr/bin/env bash
# check_deb.sh BUILD SOURCE: builds varimon_VERSION_ARCH.deb from BUILD with cpack, unpacks it
# with dpkg-deb -x into a temporary root and runs the programs from there, with a home of their
# own: every --version, varimon-sim on a pseudo-terminal, varimonctl scanning its five stations
# and uploading a parameter file (which needs the installed data files), and varimon headless
# connecting to the five stations. Exit 77 (skip) when the packaging tools are missing.
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: skipped"; exit 77; }
done

work=$(mktemp -d /tmp/varimon-deb.XXXXXX)
sim_pid="" app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
arch=$(dpkg --print-architecture)
echo "== cpack -G DEB ($build)"
(cd "$build" && cpack -G DEB -B "$work/out" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip) >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/out/varimon_${version}_${arch}.deb"
[ -f "$deb" ] || { ls "$work/out"; fail "no $deb"; }

echo "== control fields"
dpkg-deb -f "$deb" Package Version Architecture Section Maintainer Depends
[ "$(dpkg-deb -f "$deb" Section)" = electronics ] || fail "section"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "maintainer"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6serialport6' || fail "shlibdeps did not find Qt's serial port library"
dpkg-deb -f "$deb" Description | grep -q 'RS-485' || fail "description"

echo "== contents"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' >"$work/contents"
for path in usr/bin/varimon usr/bin/varimonctl usr/bin/varimon-sim usr/bin/varimon-datac \
            usr/share/applications/varimon.desktop usr/share/metainfo/com.kxec.varimon.metainfo.xml \
            usr/share/icons/hicolor/scalable/apps/varimon.svg usr/share/icons/hicolor/48x48/apps/varimon.png \
            usr/share/man/man1/varimonctl.1.gz usr/share/man/man1/varimon-sim.1.gz \
            usr/share/varimon/udev/60-varimon-serial.rules usr/share/doc/varimon/copyright; do
  grep -qx "$path" "$work/contents" || fail "$path is not in the package"
done
data_files=$(grep -c '^usr/share/varimon/Data/.*\.dat$' "$work/contents" || true)
echo "$data_files data files"
[ "$data_files" -ge 5 ] || fail "data files"

root="$work/root"
dpkg-deb -x "$deb" "$root"
bin="$root/usr/bin"
# A home, settings, temporary folder (single-instance lock) and data folder of their own.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export TMPDIR="$work/tmp" VARIMON_CONFIG_DIR="$work/config" QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$source/cmake/lsan.supp"
unset VARIMON_DATA_DIR
mkdir -p "$HOME" "$TMPDIR"

echo "== --version"
for program in varimon varimonctl varimon-sim varimon-datac; do
  out=$("$bin/$program" --version)
  echo "$out"
  [ "$out" = "$program $version" ] || fail "$program --version: $out"
done
zcat "$root/usr/share/man/man1/varimonctl.1.gz" | grep -q '^\.TH VARIMONCTL' || fail "man page"

echo "== varimon-sim --link, varimonctl scan"
line="$work/line"
mkfifo "$work/sim.in" "$work/sim.out"
exec 3<>"$work/sim.in" 4<>"$work/sim.out"
"$bin/varimon-sim" --link "$line" <&3 >&4 2>"$work/sim.err" &
sim_pid=$!
read -r -t 60 -u 4 ready || { cat "$work/sim.err"; fail "the simulator did not start"; }
echo "$ready"
[[ "$ready" == ready* ]] || fail "simulator: $ready"
"$bin/varimonctl" --port "$line" scan 1-6 | tee "$work/scan"
# Stations 1-5 are the five models with data files (station 6 is a model without any).
supported=$(grep -cE '^[1-5] QM-(A20|C20|E20|F20X|B20X) ' "$work/scan" || true)
[ "$supported" -eq 5 ] || fail "scan found $supported of the five stations built from the data files"

echo "== varimonctl upload (loads the drive's data file from the installed Data folder)"
# The drive with the smallest data file, for a short upload.
station=$(awk '$2 == "QM-E20" {print $1; exit} NR == 1 {first = $1} END {print first}' "$work/scan" | head -1)
"$bin/varimonctl" --port "$line" upload "$station" "$work/drive.par" 2>"$work/upload.err" ||
  { cat "$work/upload.err"; fail "upload"; }
[ -s "$work/drive.par" ] || fail "upload wrote nothing"
for folder in Log Temp; do
  [ ! -e "$bin/$folder" ] || fail "an installed program made $bin/$folder"
done

echo "== varimon headless"
"$bin/varimon" --port "$line" --scan 1-6 >"$work/varimon.out" 2>&1 &
app_pid=$!
events="$XDG_DATA_HOME/KXEC/Varimon/Log/event.txt"
# The event log is flushed line by line; give the scan a generous minute under the sanitizers.
for _ in $(seq 600); do
  [ -f "$events" ] && [ "$(grep -c Connected "$events")" -ge 5 ] && break
  kill -0 "$app_pid" 2>/dev/null || { cat "$work/varimon.out"; fail "varimon ended"; }
  sleep 0.1
done
[ -f "$events" ] && cat "$events"
[ -f "$events" ] && [ "$(grep -c Connected "$events")" -ge 5 ] || { cat "$work/varimon.out"; fail "varimon did not connect five stations"; }
[ ! -e "$bin/Log" ] || fail "varimon made $bin/Log"
kill "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=""

echo quit >&3
wait "$sim_pid" || fail "simulator exit"
sim_pid=""
[ ! -e "$line" ] || fail "the simulator left its link"
echo "== the installed package works"
