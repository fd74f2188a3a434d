#!/usr/bin/env python3
"""Reads a Trellan package back with msiinfo and checks it against Windows
Installer's sequencing rules and what the package must hold:
  - every deferred or rollback custom action runs between InstallInitialize
    and InstallFinalize, and every custom action has a condition;
  - each deferred action comes right after (among the script's actions) the
    rollback action that undoes it, with the same condition; only
    registration's result is checked;
  - registration runs after InstallFiles, unregistration before RemoveFiles,
    RemoveExistingProducts between InstallValidate and InstallInitialize;
  - trellan.dll and trellan.exe carry VERSION, a language and no file hash;
  - the upgrade codes are GUIDs, and the upgrade range takes the
    package's own version;
  - the launch conditions of this bitness are there, and the properties
    they test are secure (passed to the server side under UAC);
  - every registry search sets a property that a condition tests, and only
    the 64-bit package reads the 64-bit registry.
Prints each rule broken; exits 1 if any is.

usage: check_msi.py PACKAGE.msi BITS VERSION PACKAGE_VERSION"""

import re
import subprocess
import sys

# Custom action type bits.
RETURN_IGNORED = 64
ROLLBACK = 256
IN_SCRIPT = 1024
NO_IMPERSONATE = 2048

# The properties that each bitness's launch conditions test.
LAUNCH_PROPERTIES = {
    "32": ["TRELLANWMVCORE", "TRELLAN64INSTALLED", "WIX_DOWNGRADE_DETECTED"],
    "64": ["TRELLANWMVCORE", "TRELLANSYSTEMARCH", "WIX_DOWNGRADE_DETECTED"],
}


def table(package, name):
    """The rows of a table as dictionaries of column name to text."""
    out = subprocess.run(["msiinfo", "export", package, name], check=True, capture_output=True,
                         text=True).stdout
    lines = out.replace("\r", "").split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    package, bits, version, package_version = sys.argv[1:]
    broken = []

    def rule(held, text):
        if not held:
            broken.append(text)

    sequence = {row["Action"]: row for row in table(package, "InstallExecuteSequence")}
    place = {action: int(row["Sequence"]) for action, row in sequence.items()}
    types = {row["Action"]: (int(row["Type"]), row["Target"]) for row in table(package, "CustomAction")}
    for action in ["InstallValidate", "InstallInitialize", "InstallFinalize", "InstallFiles", "RemoveFiles",
                   "RemoveExistingProducts", "RegisterFilter", "UnregisterFilter"]:
        rule(action in place, f"{action} is not in InstallExecuteSequence")
    if broken:
        return report(package, broken)

    script = []
    for action in sorted((a for a in place if a in types), key=place.get):
        kind, target = types[action]
        condition = sequence[action]["Condition"]
        rule(condition != "", f"custom action {action} has no condition")
        if kind & IN_SCRIPT:
            rule(place["InstallInitialize"] < place[action] < place["InstallFinalize"],
                 f"{action} ({place[action]}) runs outside InstallInitialize..InstallFinalize")
            rule(kind & NO_IMPERSONATE, f"{action} runs as the user, not as the system")
            script.append((action, kind, target, condition))
    for index, (action, kind, target, condition) in enumerate(script):
        if kind & ROLLBACK:
            rule(kind & RETURN_IGNORED, f"rollback action {action} checks its result")
            rule(index + 1 < len(script) and not script[index + 1][1] & ROLLBACK,
                 f"rollback action {action} undoes no action after it")
            continue
        before = script[index - 1] if index > 0 else None
        undoing = "unregister" if target.startswith("register") else "register"
        rule(before is not None and before[1] & ROLLBACK and before[3] == condition and
             before[2].startswith(undoing + " "),
             f"{action} is not right after a rollback that runs '{undoing}' under its condition")
        checked = target.startswith("register ")
        rule(bool(kind & RETURN_IGNORED) != checked,
             f"{action}: {'registration must check' if checked else 'unregistration must ignore'} its result")
    rule(place["RegisterFilter"] > place["InstallFiles"], "RegisterFilter runs before InstallFiles")
    rule(place["UnregisterFilter"] < place["RemoveFiles"], "UnregisterFilter runs after RemoveFiles")
    rule(place["InstallValidate"] < place["RemoveExistingProducts"] < place["InstallInitialize"],
         "RemoveExistingProducts is not between InstallValidate and InstallInitialize")

    files = {row["File"]: row for row in table(package, "File")}
    hashed = {row["File_"] for row in table(package, "MsiFileHash")}
    for name in ["trellan.dll", "trellan.exe"]:
        rule(files.get(name, {}).get("Version") == version, f"{name} does not carry version {version}")
        rule(files.get(name, {}).get("Language") not in (None, ""), f"{name} carries no language")
        rule(name not in hashed, f"{name} has a file hash (versioned files have none)")

    product = {row["Property"]: row["Value"] for row in table(package, "Property")}
    upgrade_rows = table(package, "Upgrade")
    guid = re.compile(r"\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}")
    for row in upgrade_rows:
        rule(guid.fullmatch(row["UpgradeCode"]), f"upgrade code {row['UpgradeCode']} is not a GUID")
    for name in ["ProductCode", "UpgradeCode"]:
        rule(guid.fullmatch(product.get(name, "")), f"{name} {product.get(name)} is not a GUID")
    upgrades = [row for row in upgrade_rows
                if row["UpgradeCode"] == product.get("UpgradeCode") and not int(row["Attributes"]) & 2]
    rule(len(upgrades) == 1 and upgrades[0]["VersionMax"] == package_version and
         int(upgrades[0]["Attributes"]) & 512,
         f"the upgrade range does not end at {package_version} inclusive")

    conditions = " ".join(row["Condition"] for row in table(package, "LaunchCondition"))
    # Set by AppSearch, or by FindRelatedProducts from the Upgrade table.
    searched = ({row["Property"] for row in table(package, "AppSearch")} |
                {row["ActionProperty"] for row in upgrade_rows})
    secure = product.get("SecureCustomProperties", "").split(";")
    for name in LAUNCH_PROPERTIES[bits]:
        rule(name in conditions, f"no launch condition tests {name}")
        rule(name in searched, f"nothing sets {name}")
        rule(name in secure, f"{name} is not in SecureCustomProperties")

    # A registry search whose property nothing tests is dead weight, and a
    # 32-bit package has no 64-bit registry to read (msidbLocatorType64bit).
    search_of = {row["Signature_"]: row["Property"] for row in table(package, "AppSearch")}
    tables = subprocess.run(["msiinfo", "tables", package], check=True, capture_output=True, text=True).stdout
    for row in table(package, "RegLocator") if "RegLocator" in tables.split() else []:
        name = search_of.get(row["Signature_"], "")
        rule(name in conditions, f"the registry search {row['Signature_']} sets {name or 'nothing'}, which no condition tests")
        rule(bits == "64" or not int(row["Type"]) & 16, f"the 32-bit package reads the 64-bit registry ({row['Signature_']})")
    return report(package, broken)


def report(package, broken):
    for text in broken:
        print(f"check_msi: {package}: {text}", file=sys.stderr)
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
