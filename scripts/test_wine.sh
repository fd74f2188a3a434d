#!/usr/bin/env bash
# The real Windows build under Wine: cross-builds trellan.dll, trellan.exe,
# the Windows test program and the wmvcore.dll test double, makes a fresh
# Wine prefix inside the build folder, and then
#   - registers the DLL with regsvr32 and checks the registry through reg.exe
#     against tests/registration/expected_registration.txt (planted stale
#     keys, registering twice, unregistering, a path with a quote);
#   - runs `trellan.exe dump` on media file names found through the registry,
#     with the wmvcore double serving scripted header attributes;
#   - runs the Windows test program twice: the DLL loaded with LoadLibrary,
#     and created by the COM runtime through its registration.
# Prints a closing 'N passed, N failed' line; exits non-zero on any failure.
#
# usage: scripts/test_wine.sh [BUILD_DIR]
#
# The DLL ships for 32-bit Windows and is tested as such wherever the
# machine can run 32-bit programs. A kernel without IA-32 emulation cannot
# start Wine's 32-bit loader at all; there the same sources are built and
# tested as a 64-bit module under 64-bit Wine instead, and the script says
# so. TRELLAN_WINE_ARCH=win32 or win64 forces one or the other.
set -uo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
cd "$source_dir"

started=$(date +%s)
passed=0
failed=0
step() { printf '\n=== %s\n' "$*"; }
pass() { passed=$((passed + 1)); echo "PASS: $*"; }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
finish() {
  echo
  echo "test_wine: ${arch:-no architecture}, $(( $(date +%s) - started ))s"
  echo "wine: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

scripts/setup.sh >/dev/null || { fail "scripts/setup.sh"; finish; }
scripts/setup_wine.sh || { fail "scripts/setup_wine.sh"; finish; }

# Which Wine this machine can run.
can_run_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
arch=${TRELLAN_WINE_ARCH:-}
if [ -z "$arch" ]; then
  if can_run_32bit; then arch=win32; else arch=win64; fi
fi
case "$arch" in
  win32)
    if ! can_run_32bit; then
      fail "Wine's 32-bit loader cannot start here (kernel without IA-32 emulation?)"
      finish
    fi
    loader=/usr/lib/wine/wine
    wineserver=/usr/lib/wine/wineserver32
    toolchain=cmake/mingw32.cmake
    objdump=i686-w64-mingw32-objdump
    ;;
  win64)
    echo "NOTE: this machine cannot run 32-bit programs (no IA-32 emulation in the kernel):"
    echo "      testing the 64-bit build of the same sources under 64-bit Wine."
    loader=/usr/lib/wine/wine64
    wineserver=/usr/lib/wine/wineserver64
    toolchain=cmake/mingw64.cmake
    objdump=x86_64-w64-mingw32-objdump
    ;;
  *)
    fail "TRELLAN_WINE_ARCH must be win32 or win64, not $arch"
    finish
    ;;
esac
build_dir=${1:-build/wine-$arch}
build_dir=$(mkdir -p "$build_dir" && cd "$build_dir" && pwd)

step "Cross build ($arch) in $build_dir"
if cmake -S . -B "$build_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$source_dir/$toolchain" \
     -DCMAKE_BUILD_TYPE=Release -DTRELLAN_BUILD_BENCH=OFF >"$build_dir/configure.log" 2>&1 &&
   cmake --build "$build_dir" -j2 --target trellan_module trellan windows_tests wmvcore_double; then
  pass "cross build"
else
  tail -20 "$build_dir/configure.log"
  fail "cross build"
  finish
fi
bin=$build_dir/bin

step "Exports and imports of trellan.dll"
headers=$("$objdump" -p "$bin/trellan.dll")
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | awk '/\]/ && $NF !~ /Table/ {print $NF}' | sort | tr '\n' ' ')
imports=$(awk '/DLL Name:/ {print toupper($3)}' <<<"$headers" | sort | tr '\n' ' ')
echo "exports: $exports"
echo "imports: $imports"
if [ "$exports" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ]; then
  pass "the four exports, undecorated"
else
  fail "exports"
fi
unexpected=$(tr ' ' '\n' <<<"$imports" | grep -v -x -E 'ADVAPI32.DLL|KERNEL32.DLL|MSVCRT.DLL|OLE32.DLL|OLEAUT32.DLL|USER32.DLL|WMVCORE.DLL|' || true)
if [ -z "$unexpected" ]; then pass "only system DLLs imported"; else fail "unexpected imports: $unexpected"; fi

step "Fresh Wine prefix"
export WINEPREFIX=$build_dir/wine/prefix
export WINEARCH=$arch
export WINEDEBUG=-all
export DISPLAY=
unset WAYLAND_DISPLAY
# No Mono or Gecko install prompts; the wmvcore test double next to the
# programs wins over Wine's built-in wmvcore.dll.
export WINEDLLOVERRIDES="mscoree,mshtml=;wmvcore=n,b"
export WINELOADER=$loader
export WINESERVER=$wineserver
rm -rf "$build_dir/wine"
mkdir -p "$build_dir/wine"
cleanup() { timeout 60 "$wineserver" -k >/dev/null 2>&1 || true; }
trap cleanup EXIT
if timeout 300 "$loader" wineboot -i >"$build_dir/wine/wineboot.log" 2>&1 &&
   timeout 120 "$wineserver" -w; then
  # One server for the whole run: each Wine call would otherwise start a
  # server and the prefix's services anew.
  "$wineserver" -p
  # Start the prefix's services now, with nothing of ours for them to
  # inherit.
  timeout 120 "$loader" reg query 'HKCR\CLSID' >/dev/null 2>&1 </dev/null
  pass "wineboot -i"
else
  tail -20 "$build_dir/wine/wineboot.log"
  fail "wineboot -i"
  finish
fi

drive_c=$WINEPREFIX/drive_c
install_dir=$drive_c/trellan
quoted_dir="$drive_c/trellan/it's here"
mkdir -p "$install_dir" "$quoted_dir"
cp "$bin/trellan.dll" "$bin/trellan.exe" "$bin/windows_tests.exe" "$bin/wmvcore.dll" "$install_dir/"
cp "$bin/trellan.dll" "$quoted_dir/"
module='C:\trellan\trellan.dll'

step "Registration with regsvr32"
if timeout 900 python3 tests/wine/registration_check.py --wine "$loader" \
     --table tests/registration/expected_registration.txt --module "$module" \
     --quoted-module "C:\\trellan\\it's here\\trellan.dll"; then
  pass "registration"
else
  fail "registration"
fi

step "Harvest through the registry: trellan.exe dump"
if timeout 300 "$loader" regsvr32 /s "$module" &&
   timeout 600 python3 tests/wine/dump_check.py --wine "$loader" --exe 'C:\trellan\trellan.exe' \
     --media-dir "$drive_c/media" --media-winpath 'C:\media'; then
  pass "dump"
else
  fail "dump"
fi

for route in loaded registered; do
  step "Windows tests, route $route"
  if timeout 300 "$loader" 'C:\trellan\windows_tests.exe' --route=$route --module="$module" \
       --gtest_brief=1 </dev/null; then
    pass "windows_tests --route=$route"
  else
    fail "windows_tests --route=$route"
  fi
done

step ".reg files through the platform's editor"; if tests/wine/reg_round_trip.sh; then pass ".reg round trips"; else fail ".reg round trips"; fi
timeout 300 "$loader" regsvr32 /u /s "$module" || fail "final regsvr32 /u"
finish
