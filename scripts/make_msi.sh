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

# What wixl cannot write, set explicitly (its placement of custom actions
# changes from one run to the next): the custom actions' types (deferred or
# rollback, in the system's context, registration's result checked) and
# their places around RemoveFiles and InstallFiles, each after its rollback;
# RemoveExistingProducts right after InstallValidate; the versions of the
# two programs (versioned files carry no hash); an upgrade range whose
# maximum is inclusive, so that the same version replaces the installed one;
# and the search for wmvcore.dll in the system folder of this bitness.
# 18 runs a file of the package; + 64 ignores the result, + 256 rollback,
# + 1024 deferred, + 2048 no impersonation.
case $bits in
  32) system_folder=SystemFolder ;;
  64) system_folder=System64Folder ;;
esac
upgrade_code=$(msiinfo export "$output.part" Property | tr -d '\r' | awk -F'\t' '$1 == "UpgradeCode" {print $2}')
actions=(
  # action                type  sequence
  "RegisterOnRollback     3410  3498"
  "UnregisterFilter       3154  3499"
  "UnregisterOnRollback   3410  4001"
  "RegisterFilter         3090  4002"
)
queries=()
for row in "${actions[@]}"; do
  read -r action type sequence <<<"$row"
  queries+=(-q "UPDATE \`CustomAction\` SET \`Type\` = $type WHERE \`Action\` = '$action'"
            -q "UPDATE \`InstallExecuteSequence\` SET \`Sequence\` = $sequence WHERE \`Action\` = '$action'")
done
# Versioned files carry the language of their version resource (English,
# United States), as the Installer expects of every versioned file.
for file in trellan.dll trellan.exe; do
  queries+=(-q "UPDATE \`File\` SET \`Version\` = '$version', \`Language\` = '1033' WHERE \`File\` = '$file'"
            -q "DELETE FROM \`MsiFileHash\` WHERE \`File_\` = '$file'")
done
queries+=(
  -q "UPDATE \`InstallExecuteSequence\` SET \`Sequence\` = 1450 WHERE \`Action\` = 'RemoveExistingProducts'"
  # Attributes is part of the Upgrade table's key: the row is written anew
  # (1 moves the features' states, 512 takes the maximum in).
  -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
  -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$upgrade_code', '$major.$minor.$package_build', 513, 'WIX_UPGRADE_DETECTED')"
  -q "CREATE TABLE \`DrLocator\` (\`Signature_\` CHAR(72) NOT NULL, \`Parent\` CHAR(72), \`Path\` CHAR(255), \`Depth\` SHORT PRIMARY KEY \`Signature_\`, \`Parent\`, \`Path\`)"
  -q "INSERT INTO \`DrLocator\` (\`Signature_\`, \`Path\`, \`Depth\`) VALUES ('MediaRuntime', '[$system_folder]', 0)"
  -q "INSERT INTO \`Signature\` (\`Signature\`, \`FileName\`) VALUES ('MediaRuntime', 'wmvcore.dll')"
  -q "INSERT INTO \`AppSearch\` (\`Property\`, \`Signature_\`) VALUES ('TRELLANWMVCORE', 'MediaRuntime')"
)
# The properties that the launch conditions and the upgrades test are set in
# the client's half of an install and must pass to the server's: under UAC
# only secure properties do, so a double-clicked install would otherwise
# test them empty there.
secure=$(msiinfo export "$output.part" Property | tr -d '\r' |
  awk -F'\t' '$1 == "SecureCustomProperties" {print $2}')
case $bits in
  32) launch_properties="TRELLANWMVCORE;TRELLAN64INSTALLED" ;;
  64) launch_properties="TRELLANWMVCORE;TRELLANSYSTEMARCH" ;;
esac
secure=$(printf '%s;%s;WIX_UPGRADE_DETECTED;WIX_DOWNGRADE_DETECTED' "$secure" "$launch_properties" |
  tr ';' '\n' | awk 'NF && !seen[$0]++' | paste -sd';')
queries+=(
  -q "DELETE FROM \`Property\` WHERE \`Property\` = 'SecureCustomProperties'"
  -q "INSERT INTO \`Property\` (\`Property\`, \`Value\`) VALUES ('SecureCustomProperties', '$secure')"
)
msibuild "$output.part" "${queries[@]}"
# The package as Windows Installer will read it.
python3 "$(dirname "$source")/check_msi.py" "$output.part" "$bits" "$version" "$major.$minor.$package_build" ||
  { echo "make_msi: $output breaks the rules named above; not written" >&2; rm -f "$output.part"; exit 1; }
mv "$output.part" "$output"
