#!/usr/bin/env bash
# Builds the Windows Installer package of one bitness from a folder that
# holds trellan.dll, trellan.exe, INSTALL.txt and LICENSE.txt, with wixl
# (Debian's msitools) from scripts/trellan.wxs.
#
# usage: scripts/make_msi.sh BITS VERSION FOLDER OUTPUT.msi
#   BITS     32 or 64
#   VERSION  four numbers, as in the file VERSION (1.0.0.75)
#
# A package's version has three parts, and Windows Installer compares only
# those: VERSION a.b.c.d becomes a.b.(1000 c + d), so that every release,
# the fourth number included, upgrades the one before it (d below 1000, and
# 1000 c + d at most 65535; a and b at most 255).
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 BITS VERSION FOLDER OUTPUT.msi" >&2; exit 2; }
bits=$1 version=$2 folder=$3 output=$4
source=$(cd "$(dirname "$0")" && pwd)/trellan.wxs

case $bits in
  32) arch=x86 ;;
  64) arch=x64 ;;
  *) echo "make_msi: BITS must be 32 or 64, not $bits" >&2; exit 2 ;;
esac
if ! [[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)\.([0-9]+)$ ]]; then
  echo "make_msi: VERSION must hold four numbers, not $version" >&2
  exit 2
fi
major=$((10#${BASH_REMATCH[1]})) minor=$((10#${BASH_REMATCH[2]}))
patch=$((10#${BASH_REMATCH[3]})) build=$((10#${BASH_REMATCH[4]}))
package_build=$((patch * 1000 + build))
if [ "$major" -gt 255 ] || [ "$minor" -gt 255 ] || [ "$build" -gt 999 ] || [ "$package_build" -gt 65535 ]; then
  echo "make_msi: $version has no package version (a.b at most 255.255, c.d within 65.535)" >&2
  exit 1
fi
for file in trellan.dll trellan.exe INSTALL.txt LICENSE.txt; do
  [ -f "$folder/$file" ] || { echo "make_msi: $folder has no $file" >&2; exit 1; }
done

output=$(realpath -m "$output")
rm -f "$output.part"
# wixl finds the files by their names, in the folder it runs in.
(cd "$folder" && wixl -a $arch -D Bits="$bits" -D Version="$major.$minor.$package_build" \
   -D DisplayVersion="$version" -o "$output.part" "$source")
msibuild "$output.part" -q \
  "UPDATE \`InstallExecuteSequence\` SET \`Sequence\` = 1450 WHERE \`Action\` = 'RemoveExistingProducts'"
mv "$output.part" "$output"
