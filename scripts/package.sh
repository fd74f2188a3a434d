#!/usr/bin/env bash
# The releases. For Debian: dist/trellan_VERSION_amd64.deb, by
# scripts/package_deb.sh. For Windows users: builds the 32-bit and the 64-bit
# trellan.dll and trellan.exe (the mingw32 and mingw64 presets) and writes
#   dist/trellan-VERSION-win32.zip    dist/trellan-VERSION-win32.msi
#   dist/trellan-VERSION-win64.zip    dist/trellan-VERSION-win64.msi
# Each archive holds, in a folder of its own name, the DLL and the CLI
# (stripped of their symbols), INSTALL.txt (from docs/INSTALL.txt.in, for
# that bitness) and LICENSE.txt, with Windows line ends; the files in it are
# dated at the last commit. Each installer (scripts/make_msi.sh) installs the
# same four files per machine into Program Files, registers the DLL and
# unregisters it on removal. VERSION is read from the file VERSION, as the
# DLL's version block is.
#
# With TRELLAN_SIGN_KEY and TRELLAN_SIGN_CERT (a private key and its
# code-signing certificate, PEM or DER, for osslsigncode) the DLLs and the
# CLIs are signed before they are packed, and the installers after they are
# built; TRELLAN_SIGN_TIMESTAMP may name a time-stamping server.
#
# usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh >/dev/null

sign_key=${TRELLAN_SIGN_KEY:-} sign_cert=${TRELLAN_SIGN_CERT:-}
if { [ -n "$sign_key" ] && [ -z "$sign_cert" ]; } || { [ -z "$sign_key" ] && [ -n "$sign_cert" ]; }; then
  echo "package: TRELLAN_SIGN_KEY and TRELLAN_SIGN_CERT go together" >&2
  exit 2
fi
for file in "$sign_key" "$sign_cert"; do
  if [ -n "$file" ] && [ ! -r "$file" ]; then
    echo "package: cannot read $file" >&2
    exit 2
  fi
done

# Signs a file in place, when a key is given.
sign() {
  [ -n "$sign_key" ] || return 0
  local timestamp=()
  [ -z "${TRELLAN_SIGN_TIMESTAMP:-}" ] || timestamp=(-ts "$TRELLAN_SIGN_TIMESTAMP")
  osslsigncode sign -key "$sign_key" -certs "$sign_cert" -h sha256 -n "Trellan" \
    "${timestamp[@]}" -in "$1" -out "$1.signed" >/dev/null
  mv "$1.signed" "$1"
  echo "package: signed $(basename "$1")"
}

version=$(tr -d ' \r\n' <VERSION)
stamp=$(git log -1 --format=%ct 2>/dev/null || date +%s)
mkdir -p dist

for bits in 32 64; do
  preset=mingw$bits
  case $bits in
    32) prefix=i686-w64-mingw32 format=pei-i386 ;;
    64) prefix=x86_64-w64-mingw32 format=pei-x86-64 ;;
  esac
  echo "package: building the $bits-bit DLL (preset $preset)"
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset -j2 --target trellan_module trellan

  name=trellan-$version-win$bits
  staging=build/$preset/package/$name
  rm -rf "build/$preset/package"
  mkdir -p "$staging"
  for file in trellan.dll trellan.exe; do
    "$prefix-strip" -o "$staging/$file" "build/$preset/bin/$file"
    if ! "$prefix-objdump" -f "$staging/$file" | grep -q "file format $format"; then
      echo "package: $file is not $format" >&2
      exit 1
    fi
    sign "$staging/$file"
  done

  python3 - "$staging" "$version" "$bits" "$stamp" "dist/$name.zip" <<'PYTHON'
import os
import sys
import time
import zipfile

staging, version, bits, stamp, archive = sys.argv[1:]

if bits == "64":
    folder = r"C:\Program Files\Trellan"
    regsvr32 = r"%SystemRoot%\System32\regsvr32.exe"
    note = "   (the 64-bit regsvr32)."
else:
    folder = r"C:\Program Files (x86)\Trellan"
    regsvr32 = r"%SystemRoot%\SysWOW64\regsvr32.exe"
    note = ("   (the 32-bit regsvr32 of 64-bit Windows). On 32-bit Windows, use\n"
            "   %SystemRoot%\\System32\\regsvr32.exe and C:\\Program Files\\Trellan.")

with open("docs/INSTALL.txt.in", encoding="utf-8") as template:
    install = template.read()
title = f"Trellan {version} for {bits}-bit Windows"
for field, value in [("@TITLE_RULE@", "=" * len(title)), ("@REGSVR32_NOTE@", note), ("@VERSION@", version),
                     ("@BITS@", bits), ("@FOLDER@", folder), ("@REGSVR32@", regsvr32)]:
    install = install.replace(field, value)
if "@" in install:
    sys.exit("package: INSTALL.txt keeps a placeholder")
with open("LICENSE", encoding="utf-8") as licence:
    licence_text = licence.read()


def windows_text(text):
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("ascii")


# The installer takes the same files from the staging folder.
for name, text in [("INSTALL.txt", install), ("LICENSE.txt", licence_text)]:
    with open(os.path.join(staging, name), "wb") as out:
        out.write(windows_text(text))

date = time.gmtime(int(stamp))[:6]
base = os.path.basename(staging)
with zipfile.ZipFile(archive + ".part", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as out:
    for name in ["trellan.dll", "trellan.exe", "INSTALL.txt", "LICENSE.txt"]:
        with open(os.path.join(staging, name), "rb") as source:
            data = source.read()
        info = zipfile.ZipInfo(f"{base}/{name}", date_time=date)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        out.writestr(info, data)
os.replace(archive + ".part", archive)
PYTHON
  echo "package: dist/$name.zip"

  scripts/make_msi.sh "$bits" "$version" "$staging" "dist/$name.msi"
  sign "dist/$name.msi"
  echo "package: dist/$name.msi"
done

scripts/package_deb.sh
