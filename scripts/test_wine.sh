#!/usr/bin/env bash
# The real Windows DLLs under Wine. Cross-builds trellan.dll, trellan.exe,
# the Windows test program and the wmvcore.dll test double for 64-bit
# Windows and, where the machine can run 32-bit programs, for 32-bit
# Windows (the mingw64 and mingw32 presets); makes one fresh 64-bit Wine
# prefix inside the build folder; and runs the whole suite on each DLL with
# the Wine tools of its own bitness:
#   - regsvr32 registers the DLL, checked through reg.exe against
#     tests/registration/expected_registration.txt (planted stale keys,
#     registering twice, unregistering, a path with a quote), with the type
#     library filed under "win64" or "win32";
#   - `trellan.exe dump` on media file names found through the registry,
#     with the wmvcore double (in the prefix's system folder, where the
#     filter loads the runtime from) serving scripted header attributes, on
#     a real file over Wine's own wmvcore.dll, which cannot read media, and
#     with wmvcore.dll disabled, where the DLL still registers;
#   - the Windows test program twice: the DLL loaded with LoadLibrary, and
#     created by the COM runtime through its registration.
# Where both run, both DLLs are then registered side by side in the prefix
# and each is used through CoCreateInstance (tests/wine/side_by_side_check.py).
# Last, each bitness's Windows Installer package (scripts/make_msi.sh), built
# ten times in a row through its read-back check, is refused without
# wmvcore.dll and (x64) on ARM64, installed over an older one and over
# itself (another build of the same version), used and removed
# (tests/wine/msi_check.py).
# Prints a closing 'wine: N passed, N failed' line over both DLLs; exits
# non-zero on any failure.
#
# usage: scripts/test_wine.sh
#
# A kernel without IA-32 emulation cannot start Wine's 32-bit loader, and a
# mirror that refuses its i386 lists leaves it uninstalled; there the 32-bit
# DLL is built but not run, the script says so, and nothing fails for that
# reason. TRELLAN_WINE_ARCH=win64 or win32 runs one suite
# only (win32 fails where 32-bit programs cannot run).
set -uo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
cd "$source_dir"

started=$(date +%s)
passed=0
failed=0
ran=()
step() { printf '\n=== %s\n' "$*"; }
pass() { passed=$((passed + 1)); echo "PASS: $*"; }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
finish() {
  echo
  echo "test_wine: ${ran[*]:-nothing run}${skipped_32bit:+ (32-bit DLL not run: $skipped_32bit)}, $(( $(date +%s) - started ))s"
  echo "wine: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

scripts/setup.sh >/dev/null || { fail "scripts/setup.sh"; finish; }
scripts/setup_wine.sh || { fail "scripts/setup_wine.sh"; finish; }

# Which DLLs this machine can run.
can_run_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
skipped_32bit=
case "${TRELLAN_WINE_ARCH:-}" in
  "")
    arches=(win64)
    if can_run_32bit; then
      arches+=(win32)
    elif [ ! -e /usr/lib/wine/wine ]; then
      skipped_32bit="the 32-bit Wine is not installed"
      echo "NOTE: the 32-bit Wine is not installed (scripts/setup_wine.sh said why):"
      echo "      the 32-bit DLL is built but tested only where it can run."
    else
      skipped_32bit="this machine cannot run 32-bit programs"
      echo "NOTE: this machine cannot run 32-bit programs (no IA-32 emulation in the kernel):"
      echo "      the 32-bit DLL is built but tested only where it can run."
    fi
    ;;
  win64) arches=(win64) ;;
  win32)
    arches=(win32)
    can_run_32bit || { fail "Wine's 32-bit loader cannot start here (kernel without IA-32 emulation?)"; finish; }
    ;;
  *) fail "TRELLAN_WINE_ARCH must be win32 or win64, not $TRELLAN_WINE_ARCH"; finish ;;
esac

wine_dir=$source_dir/build/wine
export WINEPREFIX=$wine_dir/prefix
drive_c=$WINEPREFIX/drive_c

# The settings of one bitness: its build, its Wine loader (which chooses the
# system tools and the registry view of that bitness), its objdump, and
# where it is installed, as an installer puts it on 64-bit Windows.
use_arch() {
  case "$1" in
    win64)
      preset=mingw64 loader=/usr/lib/wine/wine64 objdump=x86_64-w64-mingw32-objdump format=pei-x86-64
      install_win='C:\Program Files\Trellan' install_dir="$drive_c/Program Files/Trellan"
      system_dir=$drive_c/windows/system32
      ;;
    win32)
      preset=mingw32 loader=/usr/lib/wine/wine objdump=i686-w64-mingw32-objdump format=pei-i386
      install_win='C:\Program Files (x86)\Trellan' install_dir="$drive_c/Program Files (x86)/Trellan"
      system_dir=$drive_c/windows/syswow64
      ;;
  esac
  bin=$source_dir/build/$preset/bin
  module="$install_win\\trellan.dll"
}

for arch in win64 win32; do
  use_arch $arch
  step "Cross build ($arch, preset $preset)"
  if cmake --preset $preset >"$source_dir/build/configure-$preset.log" 2>&1 &&
     cmake --build --preset $preset -j2 --target trellan_module trellan windows_tests wmvcore_double; then
    pass "$arch: cross build"
  else
    tail -20 "$source_dir/build/configure-$preset.log"
    fail "$arch: cross build"
    finish
  fi

  headers=$("$objdump" -p "$bin/trellan.dll")
  exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | awk '/\]/ && $NF !~ /Table/ {print $NF}' | sort | tr '\n' ' ')
  imports=$(awk '/DLL Name:/ {print toupper($3)}' <<<"$headers" | sort | tr '\n' ' ')
  echo "exports: $exports"
  echo "imports: $imports"
  if "$objdump" -f "$bin/trellan.dll" | grep -q "file format $format" &&
     "$objdump" -f "$bin/trellan.exe" | grep -q "file format $format"; then
    pass "$arch: trellan.dll and trellan.exe are $format"
  else
    fail "$arch: not $format"
  fi
  if [ "$exports" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ]; then
    pass "$arch: the four exports, undecorated"
  else
    fail "$arch: exports"
  fi
  # The media-format runtime is loaded on first use, not imported: the DLL
  # must load where it is missing.
  unexpected=$(tr ' ' '\n' <<<"$imports" | grep -v -x -E 'ADVAPI32.DLL|KERNEL32.DLL|MSVCRT.DLL|OLE32.DLL|OLEAUT32.DLL|USER32.DLL|' || true)
  if [ -z "$unexpected" ]; then
    pass "$arch: only system DLLs imported, wmvcore.dll not among them"
  else
    fail "$arch: unexpected imports: $unexpected"
  fi
  # trellan.exe's manifest and version block.
  if grep -q 'level="asInvoker"' "$bin/trellan.exe" && grep -q '<longPathAware' "$bin/trellan.exe" &&
     grep -q '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a' "$bin/trellan.exe" &&
     python3 -c 'import sys; sys.exit(0 if "Trellan command-line host".encode("utf-16-le") in open(sys.argv[1], "rb").read() else 1)' "$bin/trellan.exe"; then
    pass "$arch: trellan.exe carries its manifest (asInvoker, supported OS ids, long paths) and version block"
  else
    fail "$arch: trellan.exe lacks its manifest or version block"
  fi
done

step "Fresh 64-bit Wine prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export DISPLAY=
unset WAYLAND_DISPLAY
# No Mono or Gecko install prompts; the wmvcore test double in the system
# folder wins over Wine's built-in wmvcore.dll.
export WINEDLLOVERRIDES="mscoree,mshtml=;wmvcore=n,b"
# One 64-bit server for the whole prefix; a 64-bit program that starts a
# 32-bit one finds the 32-bit loader beside this one.
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
rm -rf "$wine_dir"
mkdir -p "$wine_dir"
cleanup() { timeout 60 "$WINESERVER" -k >/dev/null 2>&1 || true; }
trap cleanup EXIT
boot_started=$(date +%s)
if timeout 300 "$WINELOADER" wineboot -i >"$wine_dir/wineboot.log" 2>&1 &&
   timeout 120 "$WINESERVER" -w; then
  # One server for the whole run: each Wine call would otherwise start a
  # server and the prefix's services anew.
  "$WINESERVER" -p
  # Start the prefix's services now, with nothing of ours for them to
  # inherit.
  timeout 120 "$WINELOADER" reg query 'HKCR\CLSID' >/dev/null 2>&1 </dev/null
  pass "wineboot -i ($(( $(date +%s) - boot_started ))s)"
else
  tail -20 "$wine_dir/wineboot.log"
  fail "wineboot -i"
  finish
fi

media_dir=$drive_c/media
mkdir -p "$media_dir"
cp samples/sample.wma "$media_dir/real.wma"

# The filter loads wmvcore.dll from the system folder only: the double goes
# there, in place of Wine's stand-in file (Wine's own runtime stays built
# in, for WINEDLLOVERRIDES=wmvcore=b).
cp "$source_dir/build/mingw64/bin/wmvcore.dll" "$drive_c/windows/system32/wmvcore.dll"
[ ! -f "$source_dir/build/mingw32/bin/wmvcore.dll" ] ||
  cp "$source_dir/build/mingw32/bin/wmvcore.dll" "$drive_c/windows/syswow64/wmvcore.dll"

for arch in "${arches[@]}"; do
  use_arch $arch
  ran+=("$arch")
  quoted_dir="$install_dir/it's here"
  mkdir -p "$quoted_dir"
  cp "$bin/trellan.dll" "$bin/trellan.exe" "$bin/windows_tests.exe" "$install_dir/"
  cp "$bin/trellan.dll" "$quoted_dir/"

  step "$arch: registration with regsvr32"
  if timeout 900 python3 tests/wine/registration_check.py --wine "$loader" --platform $arch \
       --table tests/registration/expected_registration.txt --module "$module" \
       --quoted-module "$install_win\\it's here\\trellan.dll"; then
    pass "$arch: registration"
  else
    fail "$arch: registration"
  fi

  step "$arch: trellan.exe register without wmvcore.dll in the system folder"
  # The class is registered, the media types stay on the handlers they had.
  mv "$system_dir/wmvcore.dll" "$system_dir/wmvcore.dll.away"
  said=$(timeout 300 "$loader" "$install_win\\trellan.exe" register "$module" </dev/null 2>&1)
  handler=$(timeout 300 "$loader" reg query 'HKCR\.wma\PersistentHandler' /ve </dev/null 2>&1)
  server=$(timeout 300 "$loader" reg query 'HKLM\Software\Classes\CLSID\{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}\InprocServer32' /ve </dev/null 2>&1)
  mv "$system_dir/wmvcore.dll.away" "$system_dir/wmvcore.dll"
  if grep -q "Media Feature Pack" <<<"$said" && ! grep -qi 841BB775 <<<"$handler" && grep -qF "$module" <<<"$server"; then
    pass "$arch: registered without wmvcore.dll, the media types left on their handlers"
  else
    fail "$arch: register without wmvcore.dll: $said $handler $server"
  fi
  timeout 300 "$loader" "$install_win\\trellan.exe" unregister "$module" </dev/null >/dev/null 2>&1

  step "$arch: harvest through the registry, trellan.exe dump"
  # Registered where the media-format runtime is missing.
  if timeout 300 env WINEDLLOVERRIDES="mscoree,mshtml=;wmvcore=" "$loader" regsvr32 /s "$module" &&
     timeout 600 python3 tests/wine/dump_check.py --wine "$loader" --exe "$install_win\\trellan.exe" \
       --media-dir "$media_dir" --media-winpath 'C:\media' --real-file real.wma; then
    pass "$arch: dump"
  else
    fail "$arch: dump"
  fi

  for route in loaded registered; do
    step "$arch: Windows tests, route $route"
    if timeout 300 "$loader" "$install_win\\windows_tests.exe" --route=$route --module="$module" \
         --gtest_brief=1 </dev/null; then
      pass "$arch: windows_tests --route=$route"
    else
      fail "$arch: windows_tests --route=$route"
    fi
  done

  timeout 300 "$loader" regsvr32 /u /s "$module" || fail "$arch: final regsvr32 /u"
done

if [ ${#arches[@]} -eq 2 ]; then
  step "Both DLLs side by side"
  use_arch win32
  loader32=$loader module32=$module tests32="$install_win\\windows_tests.exe"
  use_arch win64
  if timeout 900 python3 tests/wine/side_by_side_check.py \
       --wine32 "$loader32" --module32 "$module32" --tests32 "$tests32" \
       --wine64 "$loader" --module64 "$module" --tests64 "$install_win\\windows_tests.exe" \
       --table tests/registration/expected_registration.txt; then
    pass "side by side"
  else
    fail "side by side"
  fi
fi

# The packages as scripts/package.sh makes them (unsigned, symbols kept),
# the current version and an older one to upgrade from.
version=$(tr -d ' \r\n' <VERSION)
msi_dir=$drive_c/msi
mkdir -p "$msi_dir"
# The folder the packages of one bitness are made from.
stage_package() {
  local folder=$wine_dir/package-$1
  mkdir -p "$folder"
  cp "$source_dir/build/mingw${1#win}/bin/trellan.dll" "$source_dir/build/mingw${1#win}/bin/trellan.exe" "$folder/"
  printf 'Trellan\r\n' >"$folder/INSTALL.txt"
  sed 's/$/\r/' LICENSE >"$folder/LICENSE.txt"
}
for arch in "${arches[@]}"; do
  use_arch $arch
  bits=${arch#win}
  step "$arch: the Windows Installer package"
  staging=$wine_dir/package-$arch
  stage_package $arch
  rm -rf "$install_dir"
  # The 32-bit package installs only beside the 64-bit one.
  beside=()
  case $arch in
    win32)
      beside=(--beside-msi 'C:\msi\trellan-win64.msi' --beside-wine /usr/lib/wine/wine64)
      [ -f "$msi_dir/trellan-win64.msi" ] || { stage_package win64 &&
        scripts/make_msi.sh 64 "$version" "$wine_dir/package-win64" "$msi_dir/trellan-win64.msi"; }
      ;;
  esac
  # make_msi.sh reads every package back against the Installer's rules:
  # ten builds in a row, as wixl's placement of actions varied between runs.
  built=0
  for round in 1 2 3 4 5 6 7 8 9 10; do
    scripts/make_msi.sh "$bits" "$version" "$staging" "$wine_dir/round-$arch.msi" >/dev/null && built=$((built + 1))
  done
  if [ $built -eq 10 ]; then
    pass "$arch: 10 consecutive package builds pass the read-back check"
  else
    fail "$arch: only $built of 10 package builds pass the read-back check"
  fi
  if scripts/make_msi.sh "$bits" "$version" "$staging" "$msi_dir/trellan-$arch.msi" &&
     scripts/make_msi.sh "$bits" "$version" "$staging" "$msi_dir/trellan-again-$arch.msi" &&
     scripts/make_msi.sh "$bits" 0.0.0.1 "$staging" "$msi_dir/trellan-older-$arch.msi" &&
     timeout 900 python3 tests/wine/msi_check.py --wine "$loader" --msi "C:\\msi\\trellan-$arch.msi" \
       --older-msi "C:\\msi\\trellan-older-$arch.msi" --same-version-msi "C:\\msi\\trellan-again-$arch.msi" \
       --system-dir "$system_dir" --bits "$bits" "${beside[@]}" --version "$(msiinfo export "$msi_dir/trellan-$arch.msi" Property | tr -d '\r' | awk '$1 == "ProductVersion" {print $2}')" \
       --install-dir "$install_dir" --install-winpath "$install_win" \
       --table tests/registration/expected_registration.txt --media-dir "$media_dir" --media-winpath 'C:\media'; then
    pass "$arch: the package refuses where it cannot work, installs, upgrades (the same version too), registers, filters and uninstalls"
  else
    fail "$arch: the package"
  fi
done

step ".reg files through the platform's editor"
if WINELOADER=$loader timeout 900 tests/wine/reg_round_trip.sh; then
  pass ".reg round trips"
else
  fail ".reg round trips"
fi

finish
