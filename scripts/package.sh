#!/usr/bin/env bash
# The release for Windows users: builds the 32-bit and the 64-bit
# trellan.dll and trellan.exe (the mingw32 and mingw64 presets) and writes
#   dist/trellan-VERSION-win32.zip
#   dist/trellan-VERSION-win64.zip
# each holding, in a folder of the archive's name, the DLL and the CLI
# (stripped of their symbols), INSTALL.txt (from docs/INSTALL.txt.in, for
# that bitness) and LICENSE.txt, with Windows line ends. VERSION is read from
# the file VERSION, as the DLL's version block is. The files in the archives
# are dated at the last commit.
#
# usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh >/dev/null

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


date = time.gmtime(int(stamp))[:6]
base = os.path.basename(staging)
entries = [("trellan.dll", None), ("trellan.exe", None), ("INSTALL.txt", windows_text(install)),
           ("LICENSE.txt", windows_text(licence_text))]
with zipfile.ZipFile(archive + ".part", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as out:
    for name, data in entries:
        if data is None:
            with open(os.path.join(staging, name), "rb") as binary:
                data = binary.read()
        info = zipfile.ZipInfo(f"{base}/{name}", date_time=date)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        out.writestr(info, data)
os.replace(archive + ".part", archive)
PYTHON
  echo "package: dist/$name.zip"
done
